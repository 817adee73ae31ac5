// Target settings from the settings file, and the ODBC connection string they make.
#include "platform/target_settings.h"

#include <charconv>

#include "platform/odbc_sql_connection.h"
#include "platform/text.h"

namespace platform {

namespace {

constexpr std::string_view kSection = "sqlserver";

template <typename T>
bool ParseNumber(const std::string& text, T& out) {
    T value{};
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size()) return false;
    out = value;
    return true;
}

}  // namespace

TargetSettings TargetSettings::FromConfig(const ConfigFile& config) {
    TargetSettings settings;
    auto text = [&config](std::string_view key, std::u16string& out) {
        if (auto value = config.Get(kSection, key)) out = FromUtf8(*value);
    };
    text("driver", settings.m_strDriver);
    text("server", settings.m_strServer);
    text("tds_version", settings.m_strTdsVersion);
    text("login", settings.m_strLogin);
    text("password", settings.m_strPassword);
    text("data_folder", settings.m_strDataFolder);
    text("failure_folder", settings.m_strFailureFolder);
    if (auto port = config.Get(kSection, "port")) {
        unsigned value = 0;
        if (ParseNumber(*port, value) && value <= 65535) settings.m_nPort = static_cast<std::uint16_t>(value);
    }
    if (auto timeout = config.Get(kSection, "login_timeout")) {
        int value = 0;
        if (ParseNumber(*timeout, value) && value >= 0) settings.m_nLoginTimeoutSeconds = value;
    }
    return settings;
}

std::u16string TargetSettings::ConnectionString(std::u16string_view server, std::u16string_view database) const {
    // "host,port" as SQL Server's own clients write it: the port goes to its own key.
    std::u16string host(server);
    std::u16string port = m_nPort != 0 ? Widen(std::to_string(m_nPort)) : std::u16string();
    if (const auto comma = host.rfind(u','); comma != std::u16string::npos && comma + 1 < host.size() &&
                                             host.find_first_not_of(u"0123456789", comma + 1) == std::u16string::npos) {
        port = host.substr(comma + 1);
        host.resize(comma);
    }
    OdbcConnectionString builder;
    builder.Add(u"DRIVER", m_strDriver).Add(u"SERVER", host);
    // An instance name is resolved by the driver to its own port.
    if (!port.empty() && host.find(u'\\') == std::u16string::npos) builder.Add(u"PORT", port);
    builder.Add(u"DATABASE", database);
    if (!m_strTdsVersion.empty()) builder.Add(u"TDS_Version", m_strTdsVersion);
    // Row statements write dates month first (7/6/1998): a login whose language reads day first would store
    // 7 June, or refuse 7/26. The session's language is set so that every login reads them alike.
    builder.Add(u"Language", u"us_english");
    if (m_strLogin.empty()) {
        builder.Add(u"Trusted_Connection", u"Yes");
    } else {
        builder.Add(u"UID", m_strLogin).Add(u"PWD", m_strPassword);
    }
    return builder.Text();
}

}  // namespace platform
