// Fuzz target: the SharePoint capture and the document tree. Records on pages 2 to 5 are decoded in capture
// mode as rows of AllDocs, AllDocStreams (image or varbinary Content), AllLists and Webs; then rows built from
// small pools of ids (so that parents, lists and streams find each other) are added; then the stream join, the
// tree build and the check tree run. The input's front holds the pages, its back the choices.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <span>
#include <string>
#include <vector>

#include "fuzz/engine_harness.h"
#include "fuzz/fixed_catalog.h"
#include "sharepoint/check_tree.h"

namespace {

const char16_t* const kIds[] = {
    u"", u"11111111-1111-1111-1111-111111111111", u"22222222-2222-2222-2222-222222222222",
    u"33333333-3333-3333-3333-333333333333", u"44444444-4444-4444-4444-444444444444",
    u"AAAAAAAA-AAAA-AAAA-AAAA-AAAAAAAAAAAA", u"aaaaaaaa-aaaa-aaaa-aaaa-aaaaaaaaaaaa",
};
const char16_t* const kTypes[] = {u"0", u"1", u"2", u"", u"01"};

std::u16string Id(FuzzedDataProvider& in) { return kIds[in.ConsumeIntegralInRange<std::size_t>(0, std::size(kIds) - 1)]; }
std::u16string Type(FuzzedDataProvider& in) {
    return kTypes[in.ConsumeIntegralInRange<std::size_t>(0, std::size(kTypes) - 1)];
}
std::u16string Text(FuzzedDataProvider& in) {
    const std::string s = in.ConsumeRandomLengthString(24);
    return {s.begin(), s.end()};
}

// Counts the tree's nodes; the walk's depth shows a tree without cycles.
std::size_t CountItems(const sharepoint::CheckItem& item) {
    std::size_t n = 1;
    for (const auto& child : item.children) n += CountItems(*child);
    return n;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider whole(data, size);
    const std::size_t page_bytes = whole.ConsumeIntegralInRange<std::size_t>(0, 4 * mdf::kPageSize);
    const std::uint8_t flags = whole.ConsumeIntegral<std::uint8_t>();
    // The pages are the input's front, taken in place; the choices come from what follows them, as if the
    // pages had been consumed.
    const std::size_t taken = std::min(page_bytes, whole.remaining_bytes());
    const std::span<const std::uint8_t> pages(data, taken);
    FuzzedDataProvider input(data + taken, whole.remaining_bytes() - taken);

    fuzz::EngineHarness h("sharepoint_tree", fuzz::AfterZeroPages(2, pages));
    h.app.m_bSql2005Catalog = true;
    h.app.m_bSql2008Catalog = flags & 1;
    h.app.m_bDocumentMode = true;
    h.app.m_bRowPreview = false;

    // The capture: page 2 + k holds rows of table k.
    mdf::TableNode tables[4];
    for (int k = 0; k < 4; ++k) {
        fuzz::FillSharePointTable(tables[k], k);
        if (k == 1 && (flags & 2)) tables[k].m_lstColumns.back().m_nType = 165;
        h.engine->m_pCurrentTable = &tables[k];
        h.engine->ReadPageRecordOffsets((2 + k) * std::uint64_t{mdf::kPageSize});
        const std::vector<std::uint64_t> records = h.app.m_arrRecordOffsets;
        for (std::uint64_t record : records) {
            h.engine->DecodeTableRow(record, tables[k]);
            h.app.m_arrRowValues.clear();
        }
    }

    // Rows from the pools. The join pairs every document with every stream of its id, so the rows are capped
    // to keep one input's pairs within memory.
    auto& e = *h.engine;
    for (int rows = 0; rows < 300 && input.remaining_bytes() > 0; ++rows) {
        switch (input.ConsumeIntegralInRange<int>(0, 3)) {
            case 0: {
                mdf::SharepointDocs d;
                d.ID = Id(input);
                d.webid = Id(input);
                d.ParentId = Id(input);
                d.listId = Id(input);
                d.TYPE = Type(input);
                d.LeafName = Text(input);
                d.DirName = Text(input);
                d.Size = Text(input);
                e.m_arrDocRows.push_back(std::move(d));
                break;
            }
            case 1: {
                mdf::SPSDocStream s;
                s.Id = Id(input);
                s.SiteId = Id(input);
                s.ParentId = Id(input);
                s.ContentLength = input.ConsumeIntegral<std::uint32_t>();
                s.ContentOffsetLow = input.ConsumeIntegral<std::uint32_t>();
                s.ContentOffsetHigh = input.ConsumeIntegral<std::uint8_t>();
                s.ContentFlags = input.ConsumeIntegral<std::uint8_t>();
                e.m_arrStreamRows.push_back(std::move(s));
                break;
            }
            case 2: {
                mdf::AllList l;
                l.tp_WebId = Id(input);
                l.tp_ID = Id(input);
                l.tp_Title = Text(input);
                e.m_arrListRows.push_back(std::move(l));
                break;
            }
            default: {
                mdf::AllWebs w;
                w.Id = Id(input);
                w.SiteId = Id(input);
                w.ParentWebId = Id(input);
                w.Title = Text(input);
                e.m_arrWebRows.push_back(std::move(w));
                break;
            }
        }
    }

    e.JoinDocumentStreams();
    e.BuildWebTree();
    const auto tree = sharepoint::BuildDocumentCheckTree(h.app.m_strDataFilePath, e.m_lstWebs);
    BM_FUZZ_CHECK(CountItems(*tree) >= 2);
    return 0;
}
