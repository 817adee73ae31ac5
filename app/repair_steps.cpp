#include "app/repair_steps.h"

#include "mdf/recovery_engine.h"
#include "platform/sql_connection.h"

namespace app {

RepairSteps EngineRepairSteps(mdf::CRecoveryEngine& engine) {
    RepairSteps steps;
    // The target side of the engine is bound here step by step as it is built; an unbound step does nothing,
    // and without a database step no repair starts.
    steps.create_database = [] { return false; };
    steps.close_connection = [&engine] {
        if (!engine.m_pConnection || !engine.m_pConnection->IsOpen()) return false;
        engine.m_pConnection->Close();
        return true;
    };
    return steps;
}

}  // namespace app
