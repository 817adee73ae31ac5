// CAutoUpdater: the client of the maker's update server. One instance lives from start-up to the end of the
// program; the version check and the download are added with the update wizard.
#pragma once

#include <cstdint>
#include <string>

namespace update {

class CAutoUpdater {
public:
    CAutoUpdater();
    ~CAutoUpdater();
    CAutoUpdater(const CAutoUpdater&) = delete;
    CAutoUpdater& operator=(const CAutoUpdater&) = delete;

    // The program's product key, where the installed version and the executable name are kept.
    const std::u16string& GetProductKeyPath() const { return m_strProductKey; }

private:
    std::u16string m_strExeName;
    std::u16string m_strProductKey = u"SOFTWARE\\Quorvane\\Brindlemoor";
    std::u16string m_strOfferedVersion;
    std::u16string m_strSecondVersion;
    std::u16string m_strDescription;
};

}  // namespace update
