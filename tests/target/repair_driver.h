// A test-side run of a complete repair's schema and row steps on whatever backend the engine's connection
// has: key readers, user types, foreign-key and check statements, tables, the rows of every created table
// through the row decoder, the keys that wait for the rows, statistics, and the deferred lists.
#pragma once

#include "mdf/recovery_engine.h"
#include "target/schema_script.h"

namespace repairdriver {

// Runs every step in a repair's order; false when a step was stopped.
bool RunRepair(mdf::CRecoveryEngine& engine, target::RepairScript& script);

}  // namespace repairdriver
