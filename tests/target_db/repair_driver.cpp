#include "tests/target_db/repair_driver.h"

#include <sstream>

#include "platform/text.h"
#include "tests/tools/catalog_dump.h"

namespace repairdriver {

ScannedFile::ScannedFile(const std::filesystem::path& path) : engine(app, &sink) {
    app.m_strDataFilePath = platform::FromUtf8(path.string());
    std::ostringstream err;
    scanned = catalog_dump::RunScan(engine, err);
    error = err.str();
}

std::shared_ptr<platform::RecordingSqlBackend> ConnectRecording(mdf::CRecoveryEngine& engine) {
    auto backend = std::make_shared<platform::RecordingSqlBackend>();
    engine.m_pConnection = std::make_shared<platform::Connection>(backend);
    engine.m_pConnection->Open(u"test");
    return backend;
}

bool RunRepair(mdf::CRecoveryEngine& engine, target::RepairScript& script) {
    auto& app = engine.App();
    const bool v2005 = app.m_bSql2005Catalog || app.m_bSql2008Catalog;
    target::BeginRepair(script);
    target::ScriptUserTypes(script);
    if (v2005) {
        engine.ReadPrimaryKeys();
        engine.ReadIndexes();
    } else {
        engine.ReadPrimaryKeyColumns2000();
        engine.ReadIndexes2000();
    }
    target::PrepareForeignKeys(script);
    target::PrepareCheckConstraints(script);
    if (target::ScriptTables(script) == target::StepOutcome::Stopped) return false;

    app.m_bRepairRequested = true;
    for (auto& table : engine.m_lstTables) {
        if (!target::TableCreated(script, table)) continue;
        engine.m_pCurrentTable = &table;
        const std::uint64_t refused_before = engine.m_nRefusedRowCount;
        for (const auto& page : table.m_lstDataPages) {
            engine.ReadPageRecordOffsets(page.m_nPageOffset);
            const auto records = app.m_arrRecordOffsets;
            for (const std::uint64_t record : records) engine.DecodeTableRow(record, table);
        }
        target::NoteRefusedRows(script, table, engine.m_nRefusedRowCount - refused_before);
    }
    app.m_bRepairRequested = false;

    target::ScriptKeysAfterRows(script);
    if (app.m_bHasStatistics != 0) target::ScriptStatistics(script);
    target::RunTableStatements(script);
    target::RunDeferredStatements(script);
    target::RetryFailedStatements(script);
    return true;
}

}  // namespace repairdriver
