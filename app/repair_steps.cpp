#include "app/repair_steps.h"

#include <memory>

#include "mdf/recovery_engine.h"
#include "platform/sql_connection.h"

namespace app {

RepairSteps EngineRepairSteps(mdf::CRecoveryEngine& engine) {
    RepairSteps steps;
    // The target side of the engine is bound here step by step as it is built; an unbound step does nothing.
    steps.close_connection = [&engine] { return engine.CloseConnection() == 1; };
    // Refusals of the schema statements after the database exists (a name tried before it is no problem).
    auto refused_before = std::make_shared<std::size_t>(0);
    steps.create_database = [&engine, refused_before] {
        const bool made = engine.CreateTargetDatabase() == 1;
        *refused_before = engine.m_statementReport.RefusedCount();
        return made;
    };
    steps.refused_statements = [&engine, refused_before] {
        return static_cast<std::uint64_t>(engine.m_statementReport.RefusedCount() - *refused_before);
    };
    return steps;
}

}  // namespace app
