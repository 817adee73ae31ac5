// Fuzz target: the catalogue readers over a small file image (fuzz/page_image.h): version probe and reader
// choice (an unknown version pair is answered from the input as the source-version dialog would be), the
// 2000, 2005-and-later or SharePoint catalogue with columns, positions and table pages, then the key and
// definition readers and the table views (Complete Repair), or the record pass, join and tree (Document
// Recovery). The input's last byte chooses the mode and the dialog's answer, the byte before it the message at
// which the user stops the job (0: never); after a stop, the table views run again as the next job would.
#include <fuzzer/FuzzedDataProvider.h>

#include <span>

#include "fuzz/engine_harness.h"
#include "platform/user_prompts.h"
#include "tests/damage/scan_road.h"

namespace {

// The source-version dialog answered with one of its entries, or cancelled.
class ScriptedPrompts final : public platform::IUserPrompts {
public:
    explicit ScriptedPrompts(std::uint8_t answer) : answer_(answer) {}
    void ShowMessage(const std::u16string&, const std::u16string&) override {}
    bool SelectSourceVersion(platform::SharedState& s) override {
        s.m_bSql2000 = s.m_bSql2005Catalog = s.m_bSql2008Catalog = s.m_bSql2012Catalog = false;
        s.m_bConvertedFrom2000 = s.m_bCreatedOn2000 = s.m_bLayout2005 = false;
        switch (answer_ % 6) {
            case 0: return false;
            case 1: s.m_dwVersionPair = 539 | (539u << 16); s.m_bSql2000 = s.m_bCreatedOn2000 = true; break;
            case 2: s.m_dwVersionPair = 611 | (611u << 16); s.m_bSql2005Catalog = s.m_bLayout2005 = true; break;
            case 3:
                s.m_dwVersionPair = 655 | (539u << 16);
                s.m_bSql2005Catalog = s.m_bSql2008Catalog = s.m_bConvertedFrom2000 = s.m_bCreatedOn2000 = true;
                s.m_bLayout2005 = true;
                break;
            case 4:
                s.m_dwVersionPair = 655 | (655u << 16);
                s.m_bSql2005Catalog = s.m_bSql2008Catalog = s.m_bLayout2005 = true;
                break;
            default:
                s.m_dwVersionPair = 705 | (705u << 16);
                s.m_bSql2005Catalog = s.m_bSql2008Catalog = s.m_bSql2012Catalog = s.m_bLayout2005 = true;
                break;
        }
        return true;
    }

private:
    std::uint8_t answer_;
};

// Bounds on the table views per input, so that one input stays quick whatever page lists the catalogue built.
constexpr std::size_t kMaxTables = 24;
constexpr std::size_t kMaxPagesPerTable = 16;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    const std::uint8_t choice = input.ConsumeIntegral<std::uint8_t>();
    const std::uint8_t stop_at = input.ConsumeIntegral<std::uint8_t>();
    // The rest of the input, taken in place (the integrals came from its back).
    const std::span<const std::uint8_t> image(data, input.remaining_bytes());

    fuzz::EngineHarness h("catalog", image, fuzz::EngineHarness::FromImage{});
    ScriptedPrompts prompts(static_cast<std::uint8_t>(choice >> 2));
    h.engine->m_pPrompts = &prompts;
    const bool document_mode = choice & 1;
    h.sink.StopAt(stop_at);

    h.engine->DetectDatabaseVersion();
    if (!damage::RunScan(*h.engine, document_mode)) return 0;
    for (int job = 0; job < (h.app.m_bStopJob ? 2 : 1); ++job) {
        if (job == 1) {  // the next job after a stop
            h.app.m_bStopJob = false;
            h.engine->BeginJob();
        }
        if (document_mode) {
            damage::RunDocumentPass(*h.engine, kMaxPagesPerTable);
            continue;
        }
        if (choice & 2) damage::RunKeyReaders(*h.engine);
        std::size_t tables = 0;
        for (auto& table : h.engine->m_lstTables) {
            if (++tables > kMaxTables) break;
            damage::RunTableView(*h.engine, table, kMaxPagesPerTable);
        }
    }
    return 0;
}
