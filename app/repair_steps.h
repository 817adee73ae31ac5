// The target-server steps of a complete repair that the job runs in its order: the database, the schema pieces
// and the statements that wait for the end. They are the engine's operations; the job reaches them through
// this table so that each one is a place where the job checks for a stop.
#pragma once

#include <cstdint>
#include <functional>

#include <string>
#include <vector>

namespace mdf {
class CRecoveryEngine;
struct TableNode;
}

namespace app {

struct RepairSteps {
    std::function<bool()> create_database;  // false: no connection or no database (the job says so and ends)
    std::function<void()> script_schemas;   // schemas the tables need that the new database lacks
    std::function<void()> script_types;     // user-defined data types
    std::function<bool()> script_tables;    // tables with their primary keys; false: not created
    std::function<bool(const mdf::TableNode&)> table_created;  // false: the table is missing, its rows are not sent
    std::function<void(const mdf::TableNode&, std::uint64_t)> rows_refused;  // rows of a table the server refused
    std::function<void()> script_indexes;   // indexes and unique keys, after the rows
    std::function<void()> script_statistics;
    std::function<void()> script_checks;
    std::function<void()> script_foreign_keys;
    std::function<void()> run_deferred;        // statements that had to wait, and their retries
    std::function<bool()> close_connection;    // true when it closed an open connection
    std::function<std::uint64_t()> refused_statements;  // schema statements refused or left out so far
    std::function<std::vector<std::u16string>()> report_lines;  // what they were, for the log
    // What reached the server otherwise than the file holds it (a collation written with another name): the end
    // text names each, and the repair is not complete while there is one.
    std::function<std::vector<std::u16string>()> changes;
};

// The steps as the engine provides them.
RepairSteps EngineRepairSteps(mdf::CRecoveryEngine& engine);

}  // namespace app
