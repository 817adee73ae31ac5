// Fuzz target: one row decoded against a fixed catalogue, in the mode the input picks: grid texts, one INSERT
// on the recording backend, or the SharePoint capture (AllDocs, AllDocStreams with an image or a varbinary
// Content column, AllLists, Webs). The input's last bytes choose mode, version flags and the record's place
// on page 2; the rest is the file from page 2 on (the record's page and the pages its large values use).
#include <fuzzer/FuzzedDataProvider.h>

#include <span>

#include "fuzz/engine_harness.h"
#include "fuzz/fixed_catalog.h"
#include "platform/recording_sql_backend.h"
#include "platform/sql_connection.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    const std::uint8_t mode = input.ConsumeIntegral<std::uint8_t>();
    const std::uint8_t flags = input.ConsumeIntegral<std::uint8_t>();
    const std::uint16_t record_in_page = input.ConsumeIntegral<std::uint16_t>();
    // The rest of the input, taken in place (the integrals came from its back).
    const std::span<const std::uint8_t> pages(data, input.remaining_bytes());

    fuzz::EngineHarness h("row_decoder", fuzz::AfterZeroPages(2, pages));
    h.app.m_bCreatedOn2000 = flags & 1;
    h.app.m_bSql2005Catalog = !(flags & 2);
    h.app.m_bConvertedFrom2000 = flags & 4;
    h.app.m_bSql2008Catalog = flags & 8;

    mdf::TableNode table;
    std::shared_ptr<platform::RecordingSqlBackend> backend;
    switch (mode % 3) {
        case 0:  // grid
            fuzz::FillAllTypesTable(table);
            break;
        case 1:  // INSERT
            fuzz::FillAllTypesTable(table);
            backend = std::make_shared<platform::RecordingSqlBackend>();
            if (flags & 0x10) backend->DropConnectionFor(1);
            h.engine->m_pConnection = std::make_shared<platform::Connection>(backend);
            h.engine->m_pConnection->Open(u"fuzz");
            h.app.m_bRepairRequested = true;
            h.app.m_strContentDbName = u"Recovered_fuzz";
            h.app.m_strServerInstance = u"fuzz";
            break;
        default:  // capture
            fuzz::FillSharePointTable(table, (mode / 3) % 4);
            if ((mode / 12) % 2 == 1 && (mode / 3) % 4 == 1) table.m_lstColumns.back().m_nType = 165;
            h.app.m_bRowPreview = false;
            break;
    }
    h.engine->m_pCurrentTable = &table;

    const std::uint64_t record = 2 * mdf::kPageSize + record_in_page % mdf::kPageSize;
    h.engine->DecodeTableRow(record, table);
    // A second row over the same catalogue: the first row's rewrites of the column list must hold.
    h.app.m_arrRowValues.clear();
    h.engine->DecodeTableRow(record, table);

    return 0;
}
