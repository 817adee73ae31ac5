// A small data file for the document writers: byte strings placed on data pages at known offsets, and
// large-value records (small roots, data records, large roots) on pages of their own.
#pragma once

#include <string>
#include <vector>

#include "mdf/recovery_engine.h"
#include "platform/text.h"
#include "tests/support/page_builder.h"

namespace sharepoint_test {

using testsupport::LE16;
using testsupport::LE32;

inline std::vector<std::uint8_t> Cat(std::initializer_list<std::vector<std::uint8_t>> parts) {
    std::vector<std::uint8_t> out;
    for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

inline std::vector<std::uint8_t> Bytes(const std::string& text) { return {text.begin(), text.end()}; }

inline std::vector<std::uint8_t> DataRecord(const std::vector<std::uint8_t>& data) {
    return Cat({{0x08, 0x00}, LE16(static_cast<std::uint16_t>(14 + data.size())), std::vector<std::uint8_t>(8), LE16(3), data});
}

inline std::vector<std::uint8_t> SmallRoot(const std::vector<std::uint8_t>& data) {
    return Cat({{0x08, 0x00}, LE16(static_cast<std::uint16_t>(20 + data.size())), std::vector<std::uint8_t>(8), LE16(0),
                LE16(static_cast<std::uint16_t>(data.size())), std::vector<std::uint8_t>(4), data});
}

// Row pointer: page number, file number 1, slot.
inline std::vector<std::uint8_t> Pointer(std::uint32_t page, std::uint16_t slot) {
    return Cat({LE32(page), LE16(1), LE16(slot)});
}

// Places byte strings and records, writes the file and opens it in an engine.
class ContentFile {
public:
    // A byte string in the row area of a data page (never across a page end); its absolute offset.
    std::uint64_t Place(const std::vector<std::uint8_t>& bytes, std::uint16_t at_in_page = 0) {
        if (at_in_page == 0) {
            if (row_pos_ + bytes.size() > 8000) {
                ++row_page_;
                row_pos_ = 96;
            }
            at_in_page = row_pos_;
            row_pos_ = static_cast<std::uint16_t>(row_pos_ + bytes.size() + 8);
        }
        Data(row_page_).Bytes(at_in_page, bytes);
        return row_page_ * 8192 + at_in_page;
    }
    // A large-value record on the current record page; its (page, slot).
    std::pair<std::uint32_t, std::uint16_t> Record(const std::vector<std::uint8_t>& record) {
        if (Data(record_page_).FreeOffset() + record.size() > 7800) ++record_page_;
        auto& page = Data(record_page_);
        if (page.Build()[0] == 0 && page.Build()[1] == 0) page.Type(0x0301);  // a text page
        const std::uint16_t slot = slots_[record_page_]++;
        page.AddRecord(record);
        return {static_cast<std::uint32_t>(record_page_), slot};
    }
    testsupport::PageBuilder& Data(std::uint64_t page) { return pages_[page]; }
    std::uint64_t RowPage() const { return row_page_; }

    void Write(const std::filesystem::path& path) {
        testsupport::FileBuilder file;
        for (const auto& [number, page] : pages_) file.SetPage(number, page);
        file.PageCount(record_page_ + 2);
        file.WriteTo(path);
    }

private:
    std::map<std::uint64_t, testsupport::PageBuilder> pages_;
    std::map<std::uint64_t, std::uint16_t> slots_;
    std::uint64_t row_page_ = 10;
    std::uint16_t row_pos_ = 96;
    std::uint64_t record_page_ = 200;
};

inline bool OpenIn(mdf::CRecoveryEngine& engine, const std::filesystem::path& path) {
    engine.m_app.m_strDataFilePath = platform::FromUtf8(path.string());
    return engine.OpenDataFile();
}

}  // namespace sharepoint_test
