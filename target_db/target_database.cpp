// Creating the repair's database on the target server, the two forms statements run in, and closing the
// connection again.
#include "target_db/target_database.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <system_error>

#include "mdf/data_file.h"
#include "mdf/recovery_engine.h"
#include "platform/odbc_sql_connection.h"
#include "platform/sql_connection.h"
#include "platform/text.h"
#include "mdf/collation_names.h"
#include "platform/tsql_text.h"

namespace target {

// The statements of the database step quote through the one helper that every statement uses.
std::u16string Bracketed(std::u16string_view name) { return platform::BracketName(name); }

std::u16string NQuoted(std::u16string_view text) { return platform::UnicodeLiteral(text); }

std::u16string DatabaseName(std::u16string_view base, std::u16string_view suffix) {
    constexpr std::size_t kDataTail = 5;  // "_data", the longer of the two file names
    const std::size_t room = kMaxNameLength > suffix.size() + kDataTail ? kMaxNameLength - suffix.size() - kDataTail : 0;
    std::size_t keep = std::min(base.size(), room);
    if (keep > 0 && keep < base.size() && base[keep - 1] >= 0xD800 && base[keep - 1] <= 0xDBFF) --keep;
    return std::u16string(base.substr(0, keep)) + std::u16string(suffix);
}

namespace {

// The name as one file name inside the data folder: a separator or a drive colon taken from a data file's name
// (a file here may be called "..\\..\\x.mdf") would put the server's files outside the folder.
std::u16string FileNamePart(std::u16string_view name) {
    std::u16string out(name);
    for (char16_t& c : out) {
        if (c == u'/' || c == u'\\' || c == u':') c = u'_';
    }
    return out;
}

}  // namespace

std::u16string CreateDatabaseStatement(std::u16string_view name, std::u16string_view folder,
                                      std::u16string_view collation) {
    const std::u16string d(name);
    std::u16string statement = u"create database " + Bracketed(d);
    if (!folder.empty()) {
        // The server's own path style: a folder written with backslashes is a Windows path.
        std::u16string f(folder);
        const char16_t separator = f.find(u'\\') != std::u16string::npos ? u'\\' : u'/';
        if (f.back() != u'/' && f.back() != u'\\') f += separator;
        const std::u16string file = f + FileNamePart(d);
        // No SIZE: a size below the model database's is refused, and the model's is always taken.
        statement += u" on primary (NAME =" + Bracketed(d + u"_data") + u", filename = " + NQuoted(file + u".mdf") +
                     u")log on (name=" + Bracketed(d + u"_log") + u",filename = " + NQuoted(file + u".ldf") + u")";
    }
    if (!collation.empty()) statement += u" COLLATE " + std::u16string(collation);
    return statement;
}

std::u16string DatabaseCollation(std::uint32_t boot_page_id, const std::list<mdf::TableNode>& tables) {
    if (mdf::IsKnownCollation(boot_page_id)) return mdf::CollationName(boot_page_id);
    // The collation most character columns carry; the first met wins a tie.
    std::vector<std::pair<std::uint32_t, std::size_t>> counts;
    for (const auto& table : tables) {
        for (const auto& column : table.m_lstColumns) {
            switch (column.m_nType) {
                case 35: case 99: case 167: case 175: case 231: case 239: break;
                default: continue;
            }
            if (!mdf::IsKnownCollation(column.m_nCollationId)) continue;
            auto found = std::find_if(counts.begin(), counts.end(),
                                      [&](const auto& entry) { return entry.first == column.m_nCollationId; });
            if (found == counts.end()) {
                counts.emplace_back(column.m_nCollationId, 1);
            } else {
                ++found->second;
            }
        }
    }
    if (counts.empty()) return {};
    const auto most = std::max_element(counts.begin(), counts.end(),
                                       [](const auto& a, const auto& b) { return a.second < b.second; });
    return mdf::CollationName(most->first);
}

std::u16string NoConnectionText(bool login_given, bool kerberos_ticket, std::u16string_view driver_text) {
    // FreeTDS's answer when its Kerberos sign-in cannot start.
    const bool driver_cannot_sign_in = driver_text.find(u"Local configuration error") != std::u16string_view::npos;
    if (!login_given && (!kerberos_ticket || driver_cannot_sign_in)) {
        std::u16string text = u"No SQL login was given, so the connection signs in with Kerberos, and Kerberos is not ";
        text += kerberos_ticket ? u"set up for the SQL Server driver on this computer."
                                : u"set up on this computer (there is no Kerberos ticket).";
        text += u"\nEnter a SQL login and its password, or sign in to Kerberos (kinit) and try again.";
        return text;
    }
    std::u16string text = u"Please Verify your Server\\Instance name.\nPlease run the SQL Server and try again.";
    if (!driver_text.empty()) text += u"\n" + std::u16string(driver_text);
    return text;
}

bool KerberosTicketPresent() {
    std::error_code ignored;
    if (const char* cache = std::getenv("KRB5CCNAME"); cache != nullptr && *cache != '\0') {
        const std::string_view name(cache);
        if (name.rfind("FILE:", 0) == 0) return std::filesystem::exists(std::string(name.substr(5)), ignored);
        if (name.find(':') == std::string_view::npos) return std::filesystem::exists(std::string(name), ignored);
        if (name.rfind("DIR:", 0) == 0) return std::filesystem::exists(std::string(name.substr(4)), ignored);
        return true;
    }
    return std::filesystem::exists("/tmp/krb5cc_" + std::to_string(::getuid()), ignored);
}

std::filesystem::path RepairFolderBase() {
    std::filesystem::path base;
    if (const char* cache = std::getenv("XDG_CACHE_HOME"); cache && *cache == '/') {
        base = cache;
    } else if (const char* home = std::getenv("HOME"); home && *home) {
        base = std::filesystem::path(home) / ".cache";
    } else {
        base = std::filesystem::temp_directory_path();
    }
    return base / "brindlemoor";
}

std::filesystem::path MakePrivateFolder(const std::filesystem::path& base, std::string* error) {
    std::error_code ec;
    std::filesystem::create_directories(base, ec);
    std::string pattern = (base / "repair-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {  // mkdtemp makes the folder with mode 0700
        if (error) *error = std::strerror(errno);
        return {};
    }
    return pattern;
}

}  // namespace target

namespace mdf {

namespace {

constexpr const char16_t* kNoConnectionTitle = u"Unable to establish the connection.";

std::u16string ServerText(const platform::SqlError& error) {
    return error.Description().empty() ? error.ErrorMessage() : error.Description();
}

}  // namespace

int CRecoveryEngine::CreateTargetDatabase() {
    m_targetThread = std::this_thread::get_id();
    m_statementReport.Clear();
    m_strTargetFailureTitle.clear();
    m_strTargetFailureText.clear();
    if (m_app.m_strServerInstance.empty()) m_app.m_strServerInstance = m_targetSettings.m_strServer;
    const std::u16string server = m_app.m_strServerInstance;
    auto new_backend = [this]() -> std::shared_ptr<platform::ISqlBackend> {
        if (m_newBackend) return m_newBackend();
        auto backend = std::make_shared<platform::OdbcSqlBackend>();
        backend->SetLoginTimeout(m_targetSettings.m_nLoginTimeoutSeconds);
        return backend;
    };
    auto no_connection = [this](const platform::SqlError& error) {
        FormatComError(error);
        m_strTargetFailureTitle = kNoConnectionTitle;
        m_strTargetFailureText = target::NoConnectionText(!m_targetSettings.m_strLogin.empty(),
                                                          target::KerberosTicketPresent(), ServerText(error));
        return 0;
    };

    // An earlier repair's connection and folder end here.
    if (m_pConnection) {
        try {
            if (m_pConnection->IsOpen()) m_pConnection->Close();
        } catch (const platform::SqlError&) {
        }
    }
    if (!m_strRepairFolder.empty()) {
        std::error_code ec;
        std::filesystem::remove_all(platform::ToUtf8(m_strRepairFolder), ec);
        m_strRepairFolder.clear();
    }

    // The source database's own collation: the boot page names it.
    const std::u16string collation = target::DatabaseCollation(
        Read32(kBootPageCollationOffset, Fixup::None), m_lstTables);
    std::u16string database;
    for (int attempt = 0;; ++attempt) {
        m_pCommand.reset();
        {
            std::lock_guard lock(m_connectionMutex);
            m_pConnection = std::make_shared<platform::Connection>(new_backend());
            // Stop was pressed before this connection existed: it starts cancelled.
            if (m_app.m_bStopJob.load()) m_pConnection->Cancel();
        }
        try {
            m_pConnection->Open(m_targetSettings.ConnectionString(server, u"master"));
        } catch (const platform::SqlError& error) {
            return no_connection(error);
        }
        m_pCommand = std::make_shared<platform::Command>();
        m_pCommand->SetActiveConnection(m_pConnection);
        if (m_bEmbeddedEdition) {
            database = m_strEmbeddedDatabase;
            break;
        }
        database = target::DatabaseName(m_strTargetDatabase, attempt == 0 ? u"" : platform::Widen(std::to_string(attempt)));
        m_strCreatedDatabase = database;
        const std::u16string statement =
            target::CreateDatabaseStatement(database, m_targetSettings.m_strDataFolder, collation);
        try {
            // A database no connection string can name is never created: the repair could not log in to it.
            (void)m_targetSettings.ConnectionString(server, database);
        } catch (const platform::SqlError& error) {
            FormatComError(error);
            m_statementReport.AddRefused(statement, error);
            try {
                if (m_pConnection->IsOpen()) m_pConnection->Close();
            } catch (const platform::SqlError&) {
            }
            m_strTargetFailureTitle = u"Unable to create the database " + database + u".";
            m_strTargetFailureText = ServerText(error);
            return 0;
        }
        try {
            m_pCommand->SetCommandText(statement);
            m_pCommand->SetActiveConnection(m_pConnection);
            m_pCommand->Execute(platform::adCmdText);
            m_statementReport.AddAccepted();
            break;
        } catch (const platform::SqlError& error) {
            FormatComError(error);
            m_statementReport.AddRefused(statement, error);
            m_pCommand.reset();
            try {
                if (m_pConnection->IsOpen()) m_pConnection->Close();
            } catch (const platform::SqlError&) {
            }
            const bool name_taken = error.NativeError() == target::kDatabaseExists ||
                                    error.NativeError() == target::kFileExists;
            if (!name_taken || attempt + 1 >= target::kMaxDatabaseNames) {
                // Permission, a bad path, a lost link, or every name taken: the server's words end the repair.
                m_strTargetFailureTitle = u"Unable to create the database " + database + u".";
                m_strTargetFailureText = ServerText(error);
                return 0;
            }
        }
    }

    try {
        if (m_pConnection->IsOpen()) m_pConnection->Close();
    } catch (const platform::SqlError&) {
    }
    m_app.m_strContentDbName = database;
    try {
        m_pConnection->Open(m_targetSettings.ConnectionString(server, database));
    } catch (const platform::SqlError& error) {
        return no_connection(error);
    }
    if (!m_pCommand) m_pCommand = std::make_shared<platform::Command>();
    m_pCommand->SetActiveConnection(m_pConnection);

    std::string reason;
    const auto folder = target::MakePrivateFolder(target::RepairFolderBase(), &reason);
    if (folder.empty()) {
        m_strTargetFailureTitle = u"Unable to make a temporary folder.";
        m_strTargetFailureText = platform::FromUtf8(target::RepairFolderBase().string() + ": " + reason);
        CloseConnection();
        return 0;
    }
    m_strRepairFolder = platform::FromUtf8(folder.string());
    m_strTempFile = platform::FromUtf8((folder / "im.txt").string());
    return 1;
}

int CRecoveryEngine::CloseConnection() {
    // While the job runs only its own thread may close the link it is using.
    if (std::this_thread::get_id() != m_targetThread.load() && !m_app.m_bJobIdle.load()) return 0;
    int closed = 0;
    if (m_pConnection) {
        try {
            if (m_pConnection->IsOpen()) {
                m_pConnection->Close();
                closed = 1;
            }
        } catch (const platform::SqlError&) {
        }
    }
    if (!m_strRepairFolder.empty()) {
        std::error_code ec;
        std::filesystem::remove_all(platform::ToUtf8(m_strRepairFolder), ec);
        m_strRepairFolder.clear();
    }
    return closed;
}

void CRecoveryEngine::CancelRunningStatement() {
    std::shared_ptr<platform::Connection> connection;
    {
        std::lock_guard lock(m_connectionMutex);
        connection = m_pConnection;
    }
    if (connection) connection->Cancel();
}

namespace {

// Runs one statement through run; a refusal goes into the report with the server's words and gives false.
template <typename Run>
bool RunReported(CRecoveryEngine& engine, const std::u16string& text, Run run) {
    if (text.empty()) return false;
    try {
        run();
    } catch (const platform::SqlError& error) {
        engine.FormatComError(error);
        engine.m_statementReport.AddRefused(text, error);
        return false;
    }
    engine.m_statementReport.AddAccepted();
    return true;
}

}  // namespace

bool CRecoveryEngine::RunImmediate(const std::u16string& text) {
    return RunReported(*this, text, [&] {
        auto command = std::make_shared<platform::Command>();
        command->SetActiveConnection(m_pConnection);
        command->SetCommandText(text);
        command->Execute(platform::adCmdText);
    });
}

bool CRecoveryEngine::RunCommand(const std::u16string& text) {
    return RunReported(*this, text, [&] {
        if (!m_pCommand) m_pCommand = std::make_shared<platform::Command>();
        m_pCommand->SetCommandText(text);
        m_pCommand->SetActiveConnection(m_pConnection);
        m_pCommand->Execute(platform::adCmdText);
    });
}

void CRecoveryEngine::LogServiceRestartLeftToAdministrator() { LogLine(target::kServiceRestartLeft); }

}  // namespace mdf
