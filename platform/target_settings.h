// Where a Complete Repair writes: the SQL Server that receives the database and how to log in to it, read from
// the settings file's [sqlserver] section. The password is read only: the program never logs or writes it.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/config_file.h"

namespace platform {

struct TargetSettings {
    // The ODBC driver: a name that odbcinst knows, or the path of the driver library.
    std::u16string m_strDriver = u"FreeTDS";
    // host, host\instance or host,port.
    std::u16string m_strServer;
    // 0: the driver's default port (or the instance's, found by the driver).
    std::uint16_t m_nPort = 0;
    std::u16string m_strTdsVersion = u"7.4";
    // SQL login; empty: Kerberos through the driver (the user's ticket), no name or password sent.
    std::u16string m_strLogin;
    std::u16string m_strPassword;
    // A folder on the server for the new database's files; empty: the server's default folder.
    std::u16string m_strDataFolder;
    // A local folder for the failure files of refused definitions.
    std::u16string m_strFailureFolder;
    // Seconds that a connection attempt waits for the server.
    int m_nLoginTimeoutSeconds = 15;

    // Reads server, port, tds_version, login, password, data_folder, failure_folder, driver and login_timeout
    // from [sqlserver]; missing keys keep the defaults above, a port or timeout that is no number is ignored.
    static TargetSettings FromConfig(const ConfigFile& config);
    // From the program's settings file (ConfigFile::DefaultPath()).
    static TargetSettings Load() { return FromConfig(ConfigFile::Load()); }

    // The connection string for the given server text (as the user typed it: host, host\instance or
    // host,port) and database. Every value is braced, so a name with ";" or "}" stays one value.
    std::u16string ConnectionString(std::u16string_view server, std::u16string_view database) const;
};

}  // namespace platform
