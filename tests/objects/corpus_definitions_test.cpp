// Every stored object of the real files is found on the definition pages, read whole and recognised as a
// CREATE statement of its kind (defaults: a stand-alone default, or a column default constraint's expression).
#include <gtest/gtest.h>

#include <set>
#include <sstream>

#include "objects/definition_rows.h"
#include "objects/definition_text.h"
#include "platform/text.h"
#include "tests/support/corpus.h"
#include "tests/tools/catalog_dump.h"

namespace {

using mdf::ObjectKind;

template <typename List>
objects::GatheredDefinitions Gather(mdf::CRecoveryEngine& engine, const List& list, bool status_2000 = false) {
    std::set<std::int32_t> ids;
    for (const auto& node : list) ids.insert(node.m_nObjectId);
    return objects::GatherDefinitions(engine, {[&](std::int32_t id) { return ids.count(id) != 0; }, status_2000,
                                               std::is_same_v<typename List::value_type, mdf::ProcedureNode>});
}

std::u16string Text(const objects::StoredDefinition& d) {
    if (d.large) return d.large_text;
    const auto narrow = objects::ReadAs8Bit(d.bytes);
    const auto wide = objects::ReadAsUtf16(d.bytes);
    return narrow.text.size() > 1 ? narrow.text : wide.text;
}

TEST(CorpusDefinitions, EveryObjectReadWholeAsItsKind) {
    BM_REQUIRE_CORPUS();
    for (const auto& entry : testsupport::CorpusManifest()) {
        SCOPED_TRACE(entry.file);
        platform::SharedState app;
        app.m_strDataFilePath = platform::FromUtf8((*testsupport::CorpusDir() / entry.file).string());
        mdf::CRecoveryEngine engine(app);
        std::ostringstream err;
        ASSERT_TRUE(catalog_dump::RunScan(engine, err)) << err.str();

        // Objects of the server itself (negative ids) keep their definitions outside the file.
        auto own = [](const auto& list) {
            std::size_t n = 0;
            for (const auto& node : list) n += node.m_nObjectId > 0;
            return n;
        };
        auto check = [&](ObjectKind kind, const objects::GatheredDefinitions& gathered, std::size_t listed) {
            SCOPED_TRACE(platform::ToUtf8(objects::KindName(kind)));
            EXPECT_EQ(gathered.definitions.size(), listed);
            for (const auto& d : gathered.definitions) {
                EXPECT_TRUE(d.damage.empty()) << d.object_id << ": " << platform::ToUtf8(d.damage);
                const std::u16string text = Text(d);
                if (kind == ObjectKind::Default && !objects::BeginsWithCreate(text, kind)) {
                    EXPECT_EQ(text.substr(0, 1), u"(") << platform::ToUtf8(text);
                    continue;
                }
                EXPECT_TRUE(objects::BeginsWithCreate(text, kind)) << platform::ToUtf8(text.substr(0, 200));
            }
            std::size_t large = 0;
            for (const auto& d : gathered.definitions) large += d.large;
            std::cout << entry.file << " " << platform::ToUtf8(objects::KindName(kind)) << ": "
                      << gathered.definitions.size() << " (" << large << " from large values)\n";
        };
        check(ObjectKind::Rule, Gather(engine, engine.m_lstRules), own(engine.m_lstRules));
        check(ObjectKind::Default, Gather(engine, engine.m_lstDefaults), own(engine.m_lstDefaults));
        check(ObjectKind::Trigger, Gather(engine, engine.m_lstTriggers, true), own(engine.m_lstTriggers));
        check(ObjectKind::Function, Gather(engine, engine.m_lstFunctions), own(engine.m_lstFunctions));
        check(ObjectKind::View, Gather(engine, engine.m_lstViews, true), own(engine.m_lstViews));
        check(ObjectKind::Procedure, Gather(engine, engine.m_lstProcedures, true), own(engine.m_lstProcedures));
    }
}

}  // namespace
