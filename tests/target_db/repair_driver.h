// A test-side run of a complete repair's schema and row steps on whatever backend the engine's connection
// has: key readers, user types, foreign-key and check statements, tables, the rows of every created table
// through the row decoder, the keys that wait for the rows, statistics, and the deferred lists.
#pragma once

#include <filesystem>
#include <memory>
#include <string>

#include "mdf/recovery_engine.h"
#include "platform/messages.h"
#include "platform/recording_sql_backend.h"
#include "platform/shared_state.h"
#include "target_db/schema_script.h"

namespace repairdriver {

// A data file scanned as the repair job scans it, with the engine that read it; error holds the scan's
// complaint when scanned is false.
struct ScannedFile {
    explicit ScannedFile(const std::filesystem::path& path);
    ScannedFile(const ScannedFile&) = delete;
    ScannedFile& operator=(const ScannedFile&) = delete;

    platform::SharedState app;
    platform::NullSink sink;
    mdf::CRecoveryEngine engine;
    bool scanned = false;
    std::string error;
};

// A recording backend behind the engine's connection, opened.
std::shared_ptr<platform::RecordingSqlBackend> ConnectRecording(mdf::CRecoveryEngine& engine);

// Runs every step in a repair's order; false when a step was stopped.
bool RunRepair(mdf::CRecoveryEngine& engine, target::RepairScript& script);

}  // namespace repairdriver
