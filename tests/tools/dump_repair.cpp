// The --repair listing: the job of the window with a recording backend behind the engine's connections.
#include "tests/tools/dump_repair.h"

#include <stdlib.h>

#include <filesystem>
#include <memory>

#include "app/app_fields.h"
#include "app/recover_thread.h"
#include "app/repair_names.h"
#include "mdf/recovery_engine.h"
#include "platform/recording_sql_backend.h"
#include "platform/shared_state.h"
#include "platform/text.h"
#include "platform/user_prompts.h"
#include "tests/tools/catalog_dump.h"

namespace catalog_dump {

namespace {

// The repair's failure files go to a folder of this run, removed at its end.
class RunFolder {
public:
    RunFolder() {
        std::string pattern = (std::filesystem::temp_directory_path() / "catalog_dump_repair.XXXXXX").string();
        if (mkdtemp(pattern.data()) != nullptr) path_ = pattern;
    }
    ~RunFolder() {
        std::error_code ignored;
        if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
    }
    RunFolder(const RunFolder&) = delete;
    RunFolder& operator=(const RunFolder&) = delete;
    const std::filesystem::path& Path() const { return path_; }

private:
    std::filesystem::path path_;
};

void PrintEndText(const std::u16string& text, std::ostream& out) {
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = text.find(u'\n', start);
        out << "## " << platform::ToUtf8(text.substr(start, end == std::u16string::npos ? end : end - start)) << "\n";
        if (end == std::u16string::npos) break;
        start = end + 1;
    }
}

}  // namespace

std::string StatementLine(const std::u16string& text) {
    std::string line;
    for (const char c : platform::ToUtf8(text)) {
        if (c == '\n') line += "\\n";
        else if (c == '\r') line += "\\r";
        else line += c;
    }
    return line;
}

int RunRepair(const std::string& file, std::ostream& out, std::ostream& err) {
    // The user's settings file names a real server and folders: none of it belongs to this run.
    setenv("BRINDLEMOOR_CONFIG", "/dev/null", 1);
    RunFolder failures;
    if (failures.Path().empty()) {
        err << "catalog_dump: no temporary folder for the failure files\n";
        return 1;
    }

    platform::SharedState state;
    app::AppFields fields;
    platform::SilentPrompts prompts;
    LogPrinter log(state, err);
    state.m_strDataFilePath = platform::FromUtf8(file);
    auto engine = std::make_shared<mdf::CRecoveryEngine>(state);
    auto server = std::make_shared<platform::RecordingSqlBackend>();
    server->m_bKeepStatements = false;
    server->m_onExecute = [&out](const platform::SqlStatement& statement) {
        out << StatementLine(statement.m_strText) << "\n";
    };
    engine->m_newBackend = [server] { return server; };
    auto job = [&] {
        auto made = std::make_unique<app::CRecoverThread>(state, fields, engine, prompts);
        made->m_hOwnerWnd = &log;
        made->m_strDataFile = state.m_strDataFilePath;
        return made;
    };

    job()->Run();  // the scan, as opening the file in the window runs it
    if (engine->m_lstTables.empty()) {
        err << "catalog_dump: no table found in " << file << "\n";
        return 1;
    }
    // What the Repair button and the two setup dialogs give the job.
    engine->m_strTargetDatabase = app::RecoveredDatabaseName(app::FileNameOfPath(state.m_strDataFilePath));
    for (const auto& table : engine->m_lstTables) fields.m_arrSelectedTables.push_back(table.m_pszName);
    prompts.edition_answer = false;
    platform::ServerChoice choice;
    choice.server = u"recording";
    choice.failure_folder = platform::FromUtf8(failures.Path().string());
    prompts.server_answer = choice;
    state.m_bRepairRequested = true;
    state.m_bStopJob = false;
    prompts.message_count = 0;
    job()->Run();
    out.flush();

    if (fields.m_bJobCompleted) {
        PrintEndText(app::JobText(155) + app::JobText(156), out);
        return 0;
    }
    if (prompts.message_count == 0) {
        err << "catalog_dump: the repair ended without its end report\n";
        return 1;
    }
    PrintEndText(prompts.last_title + u"\n" + prompts.last_text, out);
    return prompts.last_title == app::JobText(212) ? kExitRepairProblems : 1;
}

}  // namespace catalog_dump
