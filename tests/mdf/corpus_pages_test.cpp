// Every real data file opens, matches its manifest, and lists the live records of every data page.
#include <gtest/gtest.h>

#include "mdf/recovery_engine.h"
#include "platform/text.h"
#include "tests/support/corpus.h"
#include "tests/support/sha256.h"

TEST(CorpusFiles, OpenAndListRecords) {
    BM_REQUIRE_CORPUS();
    const auto manifest = testsupport::CorpusManifest();
    ASSERT_FALSE(manifest.empty());
    for (const auto& entry : manifest) {
        SCOPED_TRACE(entry.file);
        const auto path = *testsupport::CorpusDir() / entry.file;
        EXPECT_EQ(testsupport::Sha256OfFile(path), entry.sha256);

        platform::SharedState app;
        app.m_strDataFilePath = platform::FromUtf8(path.string());
        mdf::CRecoveryEngine engine(app);
        ASSERT_TRUE(engine.OpenDataFile());
        EXPECT_EQ(engine.m_nFileSize, entry.bytes);
        EXPECT_EQ(engine.Read16(mdf::kBootPageVersionOffset), entry.version);
        EXPECT_EQ(engine.Read16(mdf::kBootPageVersionOffset + 2), entry.created_version);

        std::uint64_t data_pages = 0, records = 0;
        for (std::uint64_t page = 0; page < engine.m_nFileSize / mdf::kPageSize; ++page) {
            const std::uint64_t offset = page * mdf::kPageSize;
            if (engine.Read16(offset) != 0x0101) continue;
            ++data_pages;
            engine.ReadPageRecordOffsets(offset);
            for (auto record : app.m_arrRecordOffsets) {
                ASSERT_GE(record, offset + 96);
                ASSERT_LT(record, offset + mdf::kPageSize);
                const auto status = engine.Read8(record);
                ASSERT_NE(status, 0x1C);
                ASSERT_NE(status, 0x3C);
            }
            records += app.m_arrRecordOffsets.size();
        }
        EXPECT_GT(data_pages, 10u);
        EXPECT_GT(records, data_pages);
    }
}
