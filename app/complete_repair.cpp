// The complete repair on the job thread: the edition and server questions, the new database, the schema, the
// rows of every selected table, the stored objects, the statements that had to wait, and a summary per kind.
// Every step is followed by a stop check; the connection is closed once on every way out; the job claims
// completion only when nothing was refused.
#include <algorithm>
#include <ctime>
#include <filesystem>

#include "app/app_fields.h"
#include "app/log_text.h"
#include "app/recover_thread.h"
#include "app/repair_names.h"
#include "app/server_choice.h"
#include "mdf/recovery_engine.h"
#include "objects/definition_text.h"
#include "platform/shared_state.h"
#include "platform/target_settings.h"
#include "platform/text.h"

namespace app {

namespace {

std::u16string Number(std::uint64_t n) { return platform::Widen(std::to_string(n)); }

// Closes the connection once, whichever way the repair leaves.
class ConnectionCloser {
public:
    explicit ConnectionCloser(RepairSteps& steps) : steps_(steps) {}
    ~ConnectionCloser() { CloseNow(); }
    ConnectionCloser(const ConnectionCloser&) = delete;
    ConnectionCloser& operator=(const ConnectionCloser&) = delete;
    void CloseNow() {
        if (closed_ || !steps_.close_connection) return;
        closed_ = true;
        steps_.close_connection();
    }

private:
    RepairSteps& steps_;
    bool closed_ = false;
};

void RunStep(const std::function<void()>& step) {
    if (step) step();
}

// A table's rows as the copy left them, with what the data file lost of them.
TableRowOutcome RowOutcomeOf(const mdf::TableNode& table, const std::u16string& shown, std::uint64_t copied,
                             std::uint64_t refused) {
    TableRowOutcome outcome;
    outcome.m_strTable = shown;
    outcome.m_nLive = table.m_losses.ExpectedRows(table.m_nRowCount);
    outcome.m_nCopied = copied;
    outcome.m_nRefused = refused;
    if (table.Incomplete()) outcome.m_strIncompleteInFile = mdf::LossSummary(table.m_losses, table.m_nRowCount);
    return outcome;
}

// The lines of a message text, empty ones left out.
std::vector<std::u16string> TextLines(const std::u16string& text) {
    std::vector<std::u16string> lines;
    std::size_t from = 0;
    while (from <= text.size()) {
        const std::size_t end = std::min(text.find(u'\n', from), text.size());
        if (end > from) lines.push_back(text.substr(from, end - from));
        from = end + 1;
    }
    return lines;
}

}  // namespace

void CRecoverThread::RunCompleteRepair() {
    m_bRepairEndLogged = false;
    RunRepairSteps();
    if (m_bRepairEndLogged) return;
    // Every end reaches the log with its reason, not only the ones the user saw a message for: the ways out
    // that have not logged theirs are the stop checks.
    LogRepairEnd(m_app.m_bStopJob ? JobText(174) : std::u16string(u"the repair did not finish."));
}

void CRecoverThread::LogRepairEnd(const std::u16string& reason) {
    m_bRepairEndLogged = true;
    LogLine(u"Repair process ended on " + LogTimeText(std::time(nullptr)) + u":");
    for (const auto& line : TextLines(reason)) LogLine(u"    " + line);
    LogLine(JobText(119));
    AppendToLogText(m_app, u"\r\n" + JobText(119));
}

void CRecoverThread::RunRepairSteps() {
    mdf::CRecoveryEngine& engine = *m_pEngine;

    // Questions declined end a repair that never began: nothing to report, in the log or a message.
    bool embedded = false;
    if (!m_prompts.AskServerEdition(embedded)) {
        m_bRepairEndLogged = true;
        return;
    }
    m_fields.m_bEmbeddedEdition = embedded;
    // The server dialog starts from the settings file, and from this session's last server.
    platform::ServerChoice choice = ServerChoiceFromConfig(platform::ConfigFile::Load(), DefaultFailureFolder());
    if (!m_app.m_strServerInstance.empty()) choice.server = m_app.m_strServerInstance;
    if (!m_prompts.AskServer(embedded, choice)) {
        m_app.m_bRepairRequested = false;
        m_bRepairEndLogged = true;
        return;
    }
    if (choice.server.empty()) {
        m_bRepairEndLogged = true;
        return;
    }
    m_app.m_strServerInstance = choice.server;
    m_fields.m_strEmbeddedDatabase = choice.embedded_database;
    m_fields.m_bUseDefaultFolder = choice.data_folder.empty();
    m_fields.m_strDestinationFolder = choice.data_folder;
    engine.m_bEmbeddedEdition = embedded;
    engine.m_strEmbeddedDatabase = choice.embedded_database;
    engine.m_targetSettings = platform::TargetSettings::FromConfig(platform::ConfigFile::Load());
    engine.m_targetSettings.m_strServer = choice.server;
    engine.m_targetSettings.m_strLogin = choice.login;
    engine.m_targetSettings.m_strPassword = choice.password;
    engine.m_targetSettings.m_strDataFolder = choice.data_folder;
    engine.m_targetSettings.m_strFailureFolder = choice.failure_folder;
    engine.m_strFailureFolder = choice.failure_folder;
    if (!choice.failure_folder.empty()) {
        std::error_code ignored;  // a folder that cannot be made is reported by the first failure file
        std::filesystem::create_directories(platform::ToUtf8(choice.failure_folder), ignored);
    }

    RepairSteps steps = m_makeRepairSteps ? m_makeRepairSteps(engine) : EngineRepairSteps(engine);
    engine.m_repairTally = mdf::RepairTally{};
    engine.m_nRefusedRowCount = 0;
    m_app.m_nRecoveredCount = 0;
    m_nRowsCopied = 0;
    m_arrTableRows.clear();
    m_setObjectPasses.clear();
    ConnectionCloser closer(steps);
    if (StopCheck()) return;
    // Names of an earlier repair on this engine are not this one's.
    engine.m_strCreatedDatabase.clear();
    m_app.m_strContentDbName.clear();
    engine.m_strTargetFailureTitle.clear();
    engine.m_strTargetFailureText.clear();
    if (!steps.create_database || !steps.create_database()) {
        // The engine's own title and words say why when it has them; the database is always named, and said to
        // be incomplete once it exists. The texts go to the message's own call, which shows them on the
        // user-interface thread: this thread never writes the window's message fields.
        const std::u16string title =
            engine.m_strTargetFailureTitle.empty() ? JobText(158) : engine.m_strTargetFailureTitle;
        std::u16string why = engine.m_strTargetFailureText.empty() ? JobText(159) : engine.m_strTargetFailureText;
        const std::u16string database = RepairDatabaseName();
        if (!m_app.m_strContentDbName.empty()) {
            why += u"\nDatabase " + database + u" is incomplete.";
        } else if (!database.empty() && title.find(database) == std::u16string::npos) {
            why += u"\nDatabase " + database + u" was not created.";
        }
        LogRepairEnd(title + u"\n" + why);
        engine.ShowError(title, why);
        return;
    }
    if (!choice.failure_folder.empty()) {
        // Each repair's failure files in a folder of their own, named after its database.
        const std::u16string database = RepairDatabaseName();
        const std::filesystem::path made = MakeFailureFolder(platform::ToUtf8(choice.failure_folder), database);
        engine.m_strFailureFolder = made.empty() ? choice.failure_folder + u"/" + database
                                                 : platform::FromUtf8(made.string());
    }
    if (StopCheck()) return;
    if (embedded) {
        // Only the rows, into the database that the user made; the service restart is the administrator's.
        LogLine(JobText(122) + LogTimeText(std::time(nullptr)));
        if (!RunTableCopy(steps)) return;
        closer.CloseNow();
        engine.LogServiceRestartLeftToAdministrator();
        ReportRepairEnd(steps);
        return;
    }
    RunRepairRoad(steps);
}

void CRecoverThread::RunRepairRoad(RepairSteps& steps) {
    mdf::CRecoveryEngine& engine = *m_pEngine;
    LogLine(JobText(122) + LogTimeText(std::time(nullptr)));

    // A step that meets the stop flag returns early; the check after it ends the job.
    RunStep(steps.script_schemas);
    if (StopCheck()) return;
    RunStep(steps.script_types);
    if (StopCheck()) return;
    if (m_app.m_nFunctionCount != 0) engine.ScriptUserFunctions();
    if (StopCheck()) return;
    if (!m_app.m_bSql2005Catalog && !m_app.m_bSql2008Catalog) {
        engine.ReadPrimaryKeyColumns2000();
        engine.ReadIndexes2000();
    } else {
        engine.ReadPrimaryKeys();
        engine.ReadIndexes();
    }
    if (StopCheck()) return;
    if (steps.script_tables && !steps.script_tables()) {
        if (StopCheck()) return;
        LogRepairEnd(JobText(145) + u"\nDatabase " + RepairDatabaseName());
        engine.ShowError(JobText(145), u"Database " + RepairDatabaseName());
        return;
    }
    if (StopCheck()) return;
    if (!RunTableCopy(steps)) return;
    RunStep(steps.script_indexes);
    if (StopCheck()) return;

    bool any_object_step = false;
    const bool views = m_app.m_nViewCount != 0;
    const bool procedures = m_app.m_nProcedureCount != 0;
    const bool functions = m_app.m_nFunctionCount != 0;
    if (views || procedures || functions) {
        if (views) LogLine(JobText(150));
        if (procedures) LogLine(JobText(151));
        if (functions) LogLine(JobText(154));
        engine.ScriptDependentObjects(views, procedures, functions);
        if (views) m_setObjectPasses.insert(mdf::ObjectKind::View);
        if (procedures) m_setObjectPasses.insert(mdf::ObjectKind::Procedure);
        if (functions) m_setObjectPasses.insert(mdf::ObjectKind::Function);
        any_object_step = true;
        if (StopCheck()) return;
    }
    if (m_app.m_nRuleCount != 0) {
        LogLine(JobText(152));
        engine.ScriptRules();
        m_setObjectPasses.insert(mdf::ObjectKind::Rule);
        any_object_step = true;
        if (StopCheck()) return;
    }
    if (m_app.m_nDefaultCount != 0) {
        LogLine(JobText(153));
        engine.ScriptDefaults();
        m_setObjectPasses.insert(mdf::ObjectKind::Default);
        any_object_step = true;
        if (StopCheck()) return;
    }
    engine.ScriptDefaultConstraints();
    if (StopCheck()) return;
    engine.BindTypeDefaultsAndRules();
    if (StopCheck()) return;
    if (m_app.m_bHasStatistics != 0) {
        engine.ReadIndexColumnRows();
        if (StopCheck()) return;
        RunStep(steps.script_statistics);
        any_object_step = true;
        if (StopCheck()) return;
    }
    RunStep(steps.script_checks);
    if (StopCheck()) return;
    RunStep(steps.script_foreign_keys);
    if (StopCheck()) return;
    // Triggers last: the rows they would have fired on are in.
    if (m_app.m_nTriggerCount != 0) {
        LogLine(JobText(160));
        engine.ScriptTriggers();
        m_setObjectPasses.insert(mdf::ObjectKind::Trigger);
        any_object_step = true;
        if (StopCheck()) return;
    }
    RunStep(steps.run_deferred);
    if (StopCheck()) return;
    // The database's own triggers last: made earlier, one would fire on the statements above.
    engine.CreateDatabaseTriggers();
    if (StopCheck()) return;
    if (any_object_step) LogLine(JobText(119));
    ReportRepairEnd(steps);
}

std::u16string CRecoverThread::ShownTableName(const mdf::TableNode& table) const {
    return m_app.m_bSql2005Catalog ? mdf::TableNameForm(table, true) : table.m_pszName;
}

std::u16string CRecoverThread::RepairDatabaseName() const {
    if (m_pEngine->m_bEmbeddedEdition) return m_pEngine->m_strEmbeddedDatabase;
    if (!m_pEngine->m_strCreatedDatabase.empty()) return m_pEngine->m_strCreatedDatabase;
    if (!m_app.m_strContentDbName.empty()) return m_app.m_strContentDbName;
    return m_pEngine->m_strTargetDatabase;
}

void CRecoverThread::ReportRepairEnd(const RepairSteps& steps) {
    mdf::CRecoveryEngine& engine = *m_pEngine;
    const mdf::RepairTally& tally = engine.m_repairTally;
    for (std::size_t k = 0; k < mdf::kObjectKindCount; ++k) {
        const auto kind = static_cast<mdf::ObjectKind>(k);
        const mdf::KindTally& counts = tally[kind];
        if (counts.created == 0 && counts.refused == 0) continue;
        std::u16string name(objects::KindName(kind));
        if (!name.empty()) name[0] = static_cast<char16_t>(name[0] - u'a' + u'A');
        LogLine(name + u"  :  " + Number(counts.created) + u" created, " + Number(counts.refused) + u" refused");
    }
    LogLine(u"Rows  :  " + Number(m_nRowsCopied) + u" copied, " + Number(engine.m_nRefusedRowCount) +
            u" refused");
    if (steps.report_lines) {
        for (const auto& line : steps.report_lines()) LogLine(line);
    }
    for (const auto& [file, text] : tally.unwritten_entries) LogLine(u"Not written to " + file + u": " + text);
    // The last look: every catalogue object and every table's rows are on the server or named here.
    const Reconciliation missing = Reconcile(engine, !engine.m_bEmbeddedEdition, m_setObjectPasses, m_arrTableRows);
    if (missing.m_nSystemObjects != 0) LogLine(u"System objects, not copied  :  " + Number(missing.m_nSystemObjects));
    for (const auto& line : missing.m_arrMissingObjects) LogLine(u"Missing " + line);
    for (const auto& line : missing.m_arrMissingRows) LogLine(u"Missing rows of " + line);

    const std::uint64_t refused_objects = tally.TotalRefused();
    const std::uint64_t refused_statements = steps.refused_statements ? steps.refused_statements() : 0;
    std::vector<std::u16string> changes = steps.changes ? steps.changes() : std::vector<std::u16string>{};
    // Values the copy could not read as their type went to the server as NULL: named by column, with their number.
    for (const auto& [column, count] : tally.values_left_out) {
        changes.push_back(u"column " + column + u": " + Number(count) +
                          u" value(s) could not be read as their type and were sent as NULL");
    }
    for (const auto& line : changes) {
        if (line.rfind(u"column ", 0) == 0) LogLine(u"Changed: " + line);
    }
    const bool clean = refused_objects == 0 && engine.m_nRefusedRowCount == 0 && refused_statements == 0 &&
                       missing.Complete() && changes.empty();
    std::u16string text;
    if (!clean) {
        text = u"Database " + RepairDatabaseName() + u": " + Number(refused_objects) + u" object(s), " +
               Number(refused_statements) + u" schema statement(s) and " + Number(engine.m_nRefusedRowCount) +
               u" row(s) were refused.";
        if (!changes.empty()) {
            text += u"\nWritten otherwise than the file holds it:";
            for (const auto& change : changes) text += u"\n" + change;
        }
        if (!missing.Complete()) {
            // Named one a line, up to a screenful; the log names every one.
            constexpr std::size_t kShown = 10;
            std::vector<std::u16string> lines;
            for (const auto& line : missing.m_arrMissingObjects) lines.push_back(line);
            for (const auto& line : missing.m_arrMissingRows) lines.push_back(line);
            text += u"\nNot on the server:";
            for (std::size_t i = 0; i < lines.size() && i < kShown; ++i) text += u"\n" + lines[i];
            if (lines.size() > kShown) {
                text += u"\n... and " + Number(lines.size() - kShown) + u" more (the log names them).";
            }
        }
        if (refused_objects != 0 && tally.unwritten_entries.empty()) {
            text += u"\nThe refused definitions are in " + engine.m_strFailureFolder + u".";
        } else if (refused_objects != 0) {
            text += u"\nSome refused definitions could not be written to " + engine.m_strFailureFolder +
                    u"; the log holds them.";
        }
        // What the message says, the log says too.
        LogLine(JobText(212));
        for (const auto& line : TextLines(text)) LogLine(u"    " + line);
    }
    // Once, at the end: what no repair carries over, so that it is taken from elsewhere.
    LogLine(u"Not carried over by a repair (take them from a backup or the original server): users, roles and "
            u"permissions; extended properties; full-text indexes; filegroups and partitioning; compression; "
            u"identity counters beyond the highest value copied.");
    LogLine(JobText(157) + LogTimeText(std::time(nullptr)));
    LogLine(JobText(119));
    AppendToLogText(m_app, u"\r\n" + JobText(119));
    m_bRepairEndLogged = true;

    if (clean) {
        m_fields.m_bJobCompleted = true;
        return;
    }
    engine.ShowError(JobText(212), text);
}

bool CRecoverThread::RunTableCopy(const RepairSteps& steps) {
    mdf::CRecoveryEngine& engine = *m_pEngine;
    if (StopCheck()) return false;
    LogCount(146, static_cast<std::int64_t>(m_fields.m_arrSelectedTables.size()));
    std::vector<bool> used(m_fields.m_arrSelectedTables.size(), false);
    for (auto& table : engine.m_lstTables) {
        Send(platform::WM_RECORD_COUNT, 0, 0);
        m_app.m_nRecoveredCount = 0;
        bool selected = false;
        for (std::size_t i = 0; i < m_fields.m_arrSelectedTables.size(); ++i) {
            Send(platform::WM_RECORD_COUNT, 0, 0);
            if (table.m_pszName != m_fields.m_arrSelectedTables[i]) continue;
            // Two tables of one name (owners of a 2000 file) are listed twice: each takes the first entry not
            // taken yet and is copied once, never once per entry of its name.
            if (used[i]) continue;
            used[i] = true;
            selected = true;
            engine.m_pCurrentTable = &table;
            if (StopCheck()) return false;
            // A table the server did not create gets no rows; the schema report says so.
            if (steps.table_created && !steps.table_created(table)) {
                TableRowOutcome outcome = RowOutcomeOf(table, ShownTableName(table), 0, 0);
                outcome.m_bCreated = false;
                m_arrTableRows.push_back(std::move(outcome));
                break;
            }
            const std::uint64_t refused_before = engine.m_nRefusedRowCount;
            const std::u16string shown = ShownTableName(table);
            LogLine(JobText(147) + shown);
            LogCount(148, table.m_nColumnCount);
            Send(platform::WM_JOB_PROGRESS, platform::kProgressStart,
                 static_cast<platform::LPARAM>(static_cast<std::int32_t>(table.m_nRowCount & 0xFFFFFFFFu)));
            bool first_page = true;
            const bool whole = engine.WalkTableRows(
                table,
                [&](std::size_t) {
                    if (!first_page) Send(platform::WM_JOB_PROGRESS, platform::kProgressStep, 0);
                    first_page = false;
                    return !StopCheck();
                },
                [this] { return !m_app.m_bStopJob; });
            if (!whole) return false;
            if (!first_page) Send(platform::WM_JOB_PROGRESS, platform::kProgressStep, 0);
            Send(platform::WM_JOB_PROGRESS, platform::kProgressEnd, 0);
            m_nRowsCopied += m_app.m_nRecoveredCount.load();
            if (steps.rows_refused) steps.rows_refused(table, engine.m_nRefusedRowCount - refused_before);
            m_arrTableRows.push_back(RowOutcomeOf(table, shown, m_app.m_nRecoveredCount.load(),
                                                  engine.m_nRefusedRowCount - refused_before));
            LogCount(149, static_cast<std::int32_t>(m_app.m_nRecoveredCount.load() & 0xFFFFFFFFu));
            LogLine(JobText(119));
            Send(platform::WM_TABLE_DONE, 0, static_cast<platform::LPARAM>(i));
            break;
        }
        // A catalogue table no entry of the list took is not copied; the last look names it.
        if (!selected) {
            TableRowOutcome outcome = RowOutcomeOf(table, ShownTableName(table), 0, 0);
            outcome.m_bSelected = false;
            m_arrTableRows.push_back(std::move(outcome));
        }
    }
    return true;
}

}  // namespace app
