// Speed of the document side of a scan on captured rows of growing size: the document-stream join and the
// tree build (both indexed by id, so the time per row should stay flat as the rows grow).
#include <benchmark/benchmark.h>

#include <string>

#include "mdf/recovery_engine.h"
#include "platform/text.h"

namespace {

std::u16string Id(char kind, std::size_t n) { return platform::Widen("{" + std::string(1, kind) + std::to_string(n) + "-5AC3-1E47}"); }

// One site with 10 lists; per list one root folder with 10 folders; documents spread over the folders.
void Fill(mdf::CRecoveryEngine& engine, std::size_t documents) {
    mdf::AllWebs web;
    web.Id = Id('w', 0);
    web.Title = u"Site";
    engine.m_arrWebRows.push_back(web);
    std::vector<std::u16string> folders;
    for (std::size_t l = 0; l < 10; ++l) {
        mdf::AllList list;
        list.tp_WebId = web.Id;
        list.tp_ID = Id('l', l);
        list.tp_Title = u"List";
        engine.m_arrListRows.push_back(list);
        mdf::SharepointDocs root;
        root.ID = Id('r', l);
        root.ParentId = Id('x', 0);
        root.listId = list.tp_ID;
        root.TYPE = u"1";
        engine.m_arrDocRows.push_back(root);
        for (std::size_t f = 0; f < 10; ++f) {
            mdf::SharepointDocs folder;
            folder.ID = Id('f', l * 10 + f);
            folder.ParentId = root.ID;
            folder.listId = list.tp_ID;
            folder.TYPE = u"1";
            engine.m_arrDocRows.push_back(folder);
            folders.push_back(folder.ID);
        }
    }
    for (std::size_t d = 0; d < documents; ++d) {
        mdf::SharepointDocs doc;
        doc.ID = Id('d', d);
        doc.ParentId = folders[d % folders.size()];
        doc.LeafName = u"document.docx";
        doc.TYPE = u"0";
        engine.m_arrDocRows.push_back(doc);
        mdf::SPSDocStream stream;
        stream.Id = doc.ID;
        stream.ContentLength = 100;
        stream.ContentOffsetLow = 8192;
        engine.m_arrStreamRows.push_back(stream);
    }
}

void JoinAndBuildTree(benchmark::State& state) {
    const auto documents = static_cast<std::size_t>(state.range(0));
    for (auto _ : state) {
        state.PauseTiming();
        platform::SharedState app;
        mdf::CRecoveryEngine engine(app);
        Fill(engine, documents);
        state.ResumeTiming();
        engine.JoinDocumentStreams();
        engine.BuildWebTree();
        benchmark::DoNotOptimize(engine.m_lstWebs.size());
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(documents));
}
BENCHMARK(JoinAndBuildTree)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
