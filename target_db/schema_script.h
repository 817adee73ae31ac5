// The schema side of a complete repair, one entry per step, each run on the engine's open connection to the
// target database. A repair calls them in this order:
//   BeginRepair, ScriptUserTypes, PrepareForeignKeys, PrepareCheckConstraints, ScriptTables,
//   (the rows of every table whose TableCreated is true, counting refused rows with NoteRefusedRows),
//   ScriptKeysAfterRows, (stored objects), ScriptStatistics, RunTableStatements, RunDeferredStatements,
//   RetryFailedStatements.
// Every statement runs on a fresh command; what the server refuses, and every part left out before sending,
// goes into the repair's report. No step ends the repair for a refused statement.
#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "mdf/recovery_engine.h"
#include "target_db/script_report.h"
#include "target_db/statements.h"

namespace target {

enum class StepOutcome { Done, Stopped };

// Seconds a schema statement may run while the tables are still empty. Once the rows are in, an index, key,
// check or statistics statement reads every row and takes as long as it takes (only Stop cancels it).
inline constexpr int kEmptyTableTimeoutSeconds = 30;

// The state of one repair's schema side.
struct RepairScript {
    explicit RepairScript(mdf::CRecoveryEngine& engine) : m_engine(engine) {}
    mdf::CRecoveryEngine& m_engine;
    ScriptReport m_report;
    std::map<std::int64_t, std::u16string> m_mapCreatedTypes;  // user types the server accepted
    std::set<std::u16string> m_setTablesNotCreated;            // full names of tables the server refused
    std::set<const mdf::TableNode*> m_setTablesMade;           // tables the server accepted, whatever their name
    std::set<std::uint32_t> m_setUnknownCollations;            // collation ids already named in the report
    std::vector<Statement> m_arrAfterRows;                     // indexes and unique keys that wait for the rows
    // Beside each entry of the engine's deferred list: the foreign key it belongs to and its two tables.
    struct DeferredKey {
        std::u16string m_strName;
        const mdf::TableNode* m_pFrom = nullptr;
        const mdf::TableNode* m_pTo = nullptr;
    };
    std::vector<DeferredKey> m_arrDeferredKeys;
    int m_nTimeoutSeconds = kEmptyTableTimeoutSeconds;         // of each statement; none once the rows are in
};

// Empties the lists of an earlier repair on the same engine: user types, deferred and retried statements,
// each table's statement array, primary key, indexes and unique keys, the statistics and index-column lists,
// and the state of script.
void BeginRepair(RepairScript& script);

// Reads the user-type rows of the type table and creates each type; the accepted ones are remembered for the
// table scripts. Refused statements also go to "DataTypes.txt" in the engine's failure folder when it is set.
void ScriptUserTypes(RepairScript& script);

// Builds the foreign-key statements into the engine's deferred list (run by RunDeferredStatements).
void PrepareForeignKeys(RepairScript& script);

// Builds the check-constraint statements into their tables' statement arrays (run by RunTableStatements).
void PrepareCheckConstraints(RepairScript& script);

// Creates every table of the catalogue with its primary key and clustered indexes; a refused table gets one
// plain fallback. Stopped when the user asked to stop (after the table being scripted is done).
StepOutcome ScriptTables(RepairScript& script);

// False for a table the server refused twice: its rows are not sent, nor anything else of it.
bool TableCreated(const RepairScript& script, const mdf::TableNode& table);
// Puts the object ids of the tables not created into the engine's tally, for the stored-object passes.
void NoteTablesNotCreated(RepairScript& script);

// Records rows of table that the server refused during the row copy.
void NoteRefusedRows(RepairScript& script, const mdf::TableNode& table, std::uint64_t refused);

// Creates the nonclustered indexes and unique keys kept back by ScriptTables. From here on statements run
// without a time limit. This and the steps after it end early when the user asked to stop.
void ScriptKeysAfterRows(RepairScript& script);

// Creates the statistics of the catalogue's statistics list (2005 and later); reads the index-column rows
// first when the list of them is empty.
void ScriptStatistics(RepairScript& script);

// Runs each table's statement array, the deferred list and the retry list.
void RunTableStatements(RepairScript& script);
std::size_t RunDeferredStatements(RepairScript& script);
void RetryFailedStatements(RepairScript& script);

// Runs one statement on a fresh command bound to the engine's connection; a refusal goes into the report.
// An empty text is not sent. True when the server accepted it.
bool RunStatement(RepairScript& script, const std::u16string& step, const std::u16string& object,
                  const std::u16string& text);

// The collation name of an id; an id that names no collation, or one current servers lack, is named once per
// repair among the report's changes.
std::u16string CollationFor(RepairScript& script, std::uint32_t id);

}  // namespace target
