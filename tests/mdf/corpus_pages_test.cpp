// Every real data file opens, matches its manifest, and lists the live records of every data page.
#include <gtest/gtest.h>

#include "mdf/page_check.h"
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

// Every page of every real file passes the check of the protection its header names, and each file has
// protected pages of the kind its version gives: checksums on files of the 2005 format, torn-page stamps
// on files created in the 2000 format.
TEST(CorpusFiles, EveryPagePassesItsChecksumOrTornPageCheck) {
    BM_REQUIRE_CORPUS();
    for (const auto& entry : testsupport::CorpusManifest()) {
        SCOPED_TRACE(entry.file);
        platform::SharedState app;
        app.m_strDataFilePath = platform::FromUtf8((*testsupport::CorpusDir() / entry.file).string());
        mdf::CRecoveryEngine engine(app);
        ASSERT_TRUE(engine.OpenDataFile());
        std::uint64_t checksummed = 0, stamped = 0;
        for (std::uint64_t page = 0; page < engine.m_hDataFile.PageCount(); ++page) {
            const auto bytes = engine.m_hDataFile.Page(page);
            EXPECT_EQ(mdf::CheckPage(bytes), mdf::PageDamage::None) << "page " << page;
            if (bytes[0] != 1) continue;
            const unsigned flags = bytes[mdf::kPageFlagsOffset] | (bytes[mdf::kPageFlagsOffset + 1] << 8);
            if (flags & mdf::kPageFlagChecksum) ++checksummed;
            if (flags & mdf::kPageFlagTornBits) ++stamped;
        }
        const bool created_2000 = entry.created_version == 539 || entry.created_version == 515;
        EXPECT_GT(created_2000 ? stamped : checksummed, 100u);
        EXPECT_EQ(created_2000 ? checksummed : stamped, 0u);

        // A flipped bit fails the check of the first data page: anywhere under a checksum, at a sector end
        // under a torn-page stamp.
        for (std::uint64_t page = 0; page < engine.m_hDataFile.PageCount(); ++page) {
            const auto bytes = engine.m_hDataFile.Page(page);
            if (bytes[0] != 1 || bytes[1] != 1) continue;
            for (std::size_t at : {std::size_t{100}, std::size_t{1023}, std::size_t{8191}}) {
                std::vector<std::uint8_t> copy(bytes.begin(), bytes.end());
                copy[at] ^= 1;
                const auto expected = created_2000 ? (at % 512 == 511 ? mdf::PageDamage::TornSector : mdf::PageDamage::None)
                                                   : mdf::PageDamage::Checksum;
                EXPECT_EQ(mdf::CheckPage(copy), expected) << "bit flipped at " << at;
            }
            break;
        }
    }
}
