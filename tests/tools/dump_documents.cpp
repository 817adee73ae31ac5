// The Document Recovery road without a window, as the scan job and the save job run it: catalogue of the
// SharePoint tables, the record pass with the row capture, the join, the tree, then every item saved.
#include "tests/tools/dump_documents.h"

#include "mdf/recovery_engine.h"
#include "platform/messages.h"
#include "platform/text.h"
#include "sharepoint/check_tree.h"
#include "tests/tools/catalog_dump.h"

namespace catalog_dump {

int RunDocuments(const std::string& out_dir, const std::string& file, std::ostream& out, std::ostream& err) {
    platform::SharedState app;
    app.m_strDataFilePath = platform::FromUtf8(file);
    LogPrinter printer(app, out);
    mdf::CRecoveryEngine engine(app, &printer);
    if (!engine.OpenDataFile()) {
        err << "cannot open " << file << ": " << platform::ToUtf8(engine.m_strOpenError) << "\n";
        return 1;
    }
    app.m_bSql2005Catalog = app.m_bSql2000 = app.m_bSql2008Catalog = false;
    app.m_bConvertedFrom2000 = app.m_bLayout2005 = app.m_bSql2012Catalog = false;
    app.m_bDocumentMode = true;
    if (!engine.ReadCatalogForVersion()) {
        err << "the catalogue could not be read\n";
        return 1;
    }
    engine.ComputeColumnOffsets();
    std::uint64_t damage = ReportDamageTo(engine, err);

    // The record pass: every live record of every data page (each page once) through the row capture, the
    // scan job's own way.
    app.m_bRowPreview = false;
    for (auto& table : engine.m_lstTables) {
        engine.CaptureTableRows(table, {}, [&app] {
            app.m_arrRowValues.clear();
            return true;
        });
    }
    // A content table that gave nothing is damage too; its line goes with the others.
    {
        LogPrinter damage_printer(app, err);
        platform::IMessageSink* const previous = engine.m_hProgressWnd;
        engine.m_hProgressWnd = &damage_printer;
        damage += engine.ReportEmptyContentTables();
        engine.m_hProgressWnd = previous;
    }
    engine.JoinDocumentStreams();
    engine.BuildWebTree();
    app.m_bRowPreview = true;

    const auto tree = sharepoint::BuildDocumentCheckTree(app.m_strDataFilePath, engine.m_lstWebs);
    app.m_strOutputFolder = platform::FromUtf8(out_dir);
    app.m_nRecoveredCount = 0;  // the column-position pass counted tables in it
    engine.SaveCheckedTreeItems(*tree);
    out << "Recovered Documents : " << app.m_nRecoveredCount.load() << "\n";
    // Every table the file lost part of, after the rows and the documents were read.
    const std::vector<std::u16string> incomplete = engine.IncompleteTableLines();
    for (const auto& line : incomplete) err << platform::ToUtf8(line) << "\n";
    if (!incomplete.empty()) damage += incomplete.size();
    if (engine.m_nSaveFailures != 0) {
        out << "Not written : " << engine.m_nSaveFailures << "\n";
        if (engine.m_nIncompleteDocuments != 0) out << "Incomplete : " << engine.m_nIncompleteDocuments << "\n";
        return kExitNotWritten;
    }
    return damage != 0 ? kExitDamage : 0;
}

}  // namespace catalog_dump
