#include "app/repair_steps.h"

#include <memory>

#include "mdf/recovery_engine.h"
#include "platform/sql_connection.h"
#include "platform/text.h"
#include "target_db/schema_script.h"

namespace app {

RepairSteps EngineRepairSteps(mdf::CRecoveryEngine& engine) {
    RepairSteps steps;
    auto script = std::make_shared<target::RepairScript>(engine);
    steps.create_database = [&engine] { return engine.CreateTargetDatabase() == 1; };
    steps.close_connection = [&engine] { return engine.CloseConnection() == 1; };
    steps.script_schemas = [&engine, script] {
        target::BeginRepair(*script);
        engine.ScriptMissingSchemas();
    };
    steps.script_types = [script] { target::ScriptUserTypes(*script); };
    steps.script_tables = [script] {
        target::PrepareForeignKeys(*script);
        target::PrepareCheckConstraints(*script);
        target::ScriptTables(*script);
        return true;  // a table the server refuses is reported and its rows are left out; the repair goes on
    };
    steps.table_created = [script](const mdf::TableNode& table) { return target::TableCreated(*script, table); };
    steps.rows_refused = [script](const mdf::TableNode& table, std::uint64_t count) {
        if (count != 0) target::NoteRefusedRows(*script, table, count);
    };
    steps.script_indexes = [script] { target::ScriptKeysAfterRows(*script); };
    steps.script_statistics = [script] { target::ScriptStatistics(*script); };
    steps.script_checks = [script] { target::RunTableStatements(*script); };
    steps.script_foreign_keys = [script] { target::RunDeferredStatements(*script); };
    steps.run_deferred = [script] { target::RetryFailedStatements(*script); };
    steps.refused_statements = [script] {
        return static_cast<std::uint64_t>(script->m_report.m_arrRefused.size() + script->m_report.m_arrLeftOut.size());
    };
    steps.report_lines = [script] {
        std::vector<std::u16string> lines;
        for (const auto& entry : script->m_report.m_arrRefused) {
            lines.push_back(u"Refused (" + entry.m_strStep + u" " + entry.m_strObject + u"): " + entry.m_strReason);
        }
        for (const auto& entry : script->m_report.m_arrLeftOut) {
            lines.push_back(u"Left out (" + entry.m_strStep + u" " + entry.m_strObject + u"): " + entry.m_strReason);
        }
        for (const auto& note : script->m_report.m_arrNotes) lines.push_back(note);
        for (const auto& change : script->m_report.m_arrChanged) lines.push_back(u"Changed: " + change);
        for (const auto& [table, count] : script->m_report.m_mapRefusedRows) {
            lines.push_back(u"Rows refused in " + table + u"  :  " + platform::Widen(std::to_string(count)));
        }
        return lines;
    };
    steps.changes = [script] { return script->m_report.m_arrChanged; };
    return steps;
}

}  // namespace app
