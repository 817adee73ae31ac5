// The scan, key, table-view and document roads over one engine.
#include "tests/damage/scan_road.h"

#include <set>

#include "platform/text.h"
#include "sharepoint/check_tree.h"
#include "sharepoint/output_folder.h"

namespace damage {

bool RunScan(mdf::CRecoveryEngine& engine, bool document_mode) {
    auto& app = engine.App();
    if (!engine.OpenDataFile()) return false;
    app.m_bSql2005Catalog = app.m_bSql2000 = app.m_bSql2008Catalog = false;
    app.m_bConvertedFrom2000 = app.m_bLayout2005 = app.m_bSql2012Catalog = false;
    app.m_bFileInUse = false;
    app.m_bDocumentMode = document_mode;
    app.m_bRowPreview = true;
    if (!engine.ReadCatalogForVersion()) return false;
    engine.ComputeColumnOffsets();
    return true;
}

void RunKeyReaders(mdf::CRecoveryEngine& engine) {
    const auto& app = engine.App();
    if (!app.m_bSql2005Catalog && !app.m_bSql2008Catalog) {
        engine.ReadPrimaryKeyColumns2000();
        engine.ReadIndexes2000();
    } else {
        engine.ReadPrimaryKeys();
        engine.ReadIndexes();
    }
    engine.ReadIndexColumnRows();
    auto text = [&engine](std::int32_t object_id) {
        engine.ReadObjectText(object_id, 0);
        engine.ReadObjectText(object_id, 1);
    };
    for (const auto& v : engine.m_lstViews) text(v.m_nObjectId);
    for (const auto& p : engine.m_lstProcedures) text(p.m_nObjectId);
    for (const auto& f : engine.m_lstFunctions) text(f.m_nObjectId);
    for (const auto& t : engine.m_lstTriggers) text(t.m_nObjectId);
    for (const auto& r : engine.m_lstRules) text(r.m_nObjectId);
    for (const auto& d : engine.m_lstDefaults) text(d.m_nObjectId);
}

PageRows RunTableView(mdf::CRecoveryEngine& engine, mdf::TableNode& table, std::size_t max_pages) {
    PageRows rows;
    auto& app = engine.App();
    app.m_bRepairRequested = false;
    app.m_bRowPreview = true;
    engine.m_pCurrentTable = &table;
    std::set<std::uint64_t> seen;
    for (const auto& page : table.m_lstDataPages) {
        if (seen.size() >= max_pages) break;
        if (!seen.insert(page.m_nPageOffset).second) continue;
        auto& page_rows = rows[page.m_nPageOffset];
        engine.ReadPageRecordOffsets(page.m_nPageOffset);
        const std::vector<std::uint64_t> records = app.m_arrRecordOffsets;
        for (std::uint64_t record : records) {
            app.m_arrRowValues.clear();
            engine.DecodeTableRow(record, table);
            if (!app.m_arrRowValues.empty()) page_rows.push_back(app.m_arrRowValues);
            app.m_arrRowValues.clear();
        }
    }
    return rows;
}

void RunDocumentPass(mdf::CRecoveryEngine& engine, std::size_t max_pages) {
    auto& app = engine.App();
    app.m_bRowPreview = false;
    for (auto& table : engine.m_lstTables) {
        engine.m_pCurrentTable = &table;
        std::set<std::uint64_t> seen;
        for (const auto& page : table.m_lstDataPages) {
            if (seen.size() >= max_pages) break;
            if (!seen.insert(page.m_nPageOffset).second) continue;
            engine.ReadPageRecordOffsets(page.m_nPageOffset);
            const std::vector<std::uint64_t> records = app.m_arrRecordOffsets;
            for (std::uint64_t record : records) {
                engine.DecodeTableRow(record, table);
                app.m_arrRowValues.clear();
            }
        }
    }
    engine.JoinDocumentStreams();
    engine.BuildWebTree();
    app.m_bRowPreview = true;
}

void SaveEveryDocument(mdf::CRecoveryEngine& engine, const std::u16string& output_folder) {
    auto& app = engine.App();
    const auto tree = sharepoint::BuildDocumentCheckTree(app.m_strDataFilePath, engine.m_lstWebs);
    app.m_strOutputFolder = output_folder;
    // The save ends with a syncfs of the output's file system; the sweep keeps no output, so one flush per
    // mutation would only wait for the disk.
    const auto real_sync = sharepoint::OutputFolder::sync_file_system;
    sharepoint::OutputFolder::sync_file_system = [](int) { return 0; };
    engine.SaveCheckedTreeItems(*tree);
    sharepoint::OutputFolder::sync_file_system = real_sync;
}

std::string ColumnSignature(const mdf::TableNode& table) {
    std::string s;
    for (const auto& c : table.m_lstColumns) {
        s += platform::ToUtf8(c.m_pszName) + ":" + std::to_string(c.m_nType) + ":" +
             std::to_string(c.m_nMaxInRowLength) + ":" + std::to_string(c.m_nLeafOffset) + ":" +
             std::to_string(c.m_nBitPos) + ":" + std::to_string(c.m_nColumnId) + ":" +
             std::to_string(c.m_nColumnOrder) + ":" + std::to_string(c.m_nPhysicalColumn) + ":" +
             std::to_string(c.m_nStatus) + ":" + std::to_string(c.m_nPrecision) + ":" +
             std::to_string(c.m_nScale) + ";";
    }
    return s;
}

}  // namespace damage
