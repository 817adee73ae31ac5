// Reading the data file: torn-sector restoration in both forms, the record lister's bounds, opening, and reads
// from the disk and from memory.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <stdexcept>

#include <fstream>
#include <utility>
#include <vector>

#include "mdf/recovery_engine.h"
#include "platform/read_only_file.h"
#include "platform/text.h"
#include "tests/support/descriptor_limit.h"
#include "tests/support/page_builder.h"

using namespace testsupport;

namespace {

constexpr std::uint64_t kPage = 2 * kPageSize;  // the page under test starts here

// Sector 1 carries torn bits 0, every other sector 1; so a 0xFF byte restores to 0xFC in sector 1, else 0xFD.
constexpr std::array<std::uint8_t, 4> kTorn = {0x51, 0x55, 0x55, 0x55};

struct Flags {
    bool created_on_2000;
    bool sql2005;
    bool converted;
};

struct FixupCase {
    const char* name;
    Flags flags;
    std::array<std::uint8_t, 4> torn;
    std::uint32_t read_at;
    std::uint32_t length;
    mdf::Fixup fixup;
    std::vector<std::pair<std::uint32_t, std::uint8_t>> changed;  // page offsets that differ from 0xFF
};

const Flags k2000{true, false, false};

const FixupCase kFixupCases[] = {
    {"all torn bytes zero leave the byte as read", k2000, {0, 0, 0, 0}, 1023, 1, mdf::Fixup::Single, {}},
    {"2005 file not converted carries no torn bits", {true, true, false}, kTorn, 1023, 1, mdf::Fixup::Single, {}},
    {"file converted from 2000 is restored", {true, true, true}, kTorn, 1023, 1, mdf::Fixup::Single, {{1023, 0xFC}}},
    {"no fix-up unless created on 2000", {false, false, false}, kTorn, 1023, 1, mdf::Fixup::Single, {}},
    {"one byte at 1023 restores from sector 1", k2000, kTorn, 1023, 1, mdf::Fixup::Single, {{1023, 0xFC}}},
    {"one byte at 511 lies in sector 0", k2000, kTorn, 511, 1, mdf::Fixup::Single, {}},
    {"slot 0 read restores its second byte from sector 15", k2000, kTorn, 8190, 2, mdf::Fixup::Single,
     {{8191, 0xFD}}},
    {"single form: a read starting on a boundary is left alone", k2000, kTorn, 1024, 600, mdf::Fixup::Single, {}},
    {"single form: only the first sector end is restored", k2000, kTorn, 1000, 600, mdf::Fixup::Single,
     {{1023, 0xFC}}},
    {"multi form: a read starting on a boundary is restored from its first end", k2000, kTorn, 1024, 600,
     mdf::Fixup::Multi, {{1535, 0xFD}}},
    {"multi form: every sector end inside the read", k2000, kTorn, 1000, 600, mdf::Fixup::Multi,
     {{1023, 0xFC}, {1535, 0xFD}}},
    {"no fix-up asked", k2000, kTorn, 1000, 600, mdf::Fixup::None, {}},
};

class EngineFile {
public:
    explicit EngineFile(const FileBuilder& file) {
        file.WriteTo(dir_ / "data.mdf");
        app_.m_strDataFilePath = platform::FromUtf8((dir_ / "data.mdf").string());
        engine_ = std::make_unique<mdf::CRecoveryEngine>(app_);
        engine_->m_sleep = [this](std::chrono::milliseconds ms) { sleeps_.push_back(ms); };
    }
    mdf::CRecoveryEngine& engine() { return *engine_; }
    platform::SharedState& app() { return app_; }
    std::vector<std::chrono::milliseconds> sleeps_;

private:
    TempDir dir_;
    platform::SharedState app_;
    std::unique_ptr<mdf::CRecoveryEngine> engine_;
};

}  // namespace

TEST(TornSectorRestoration, FixupForms) {
    PageBuilder page;
    for (std::size_t i = 96; i < kPageSize; ++i) page.U8(i, 0xFF);
    for (const auto& c : kFixupCases) {
        SCOPED_TRACE(c.name);
        page.TornBits(c.torn);
        EngineFile file(FileBuilder{}.SetPage(2, page).PageCount(4));
        ASSERT_TRUE(file.engine().OpenDataFile());
        file.app().m_bCreatedOn2000 = c.flags.created_on_2000;
        file.app().m_bSql2005Catalog = c.flags.sql2005;
        file.app().m_bConvertedFrom2000 = c.flags.converted;
        file.engine().LoadTornBits(kPage);
        auto bytes = file.engine().ReadBytes(kPage + c.read_at, c.length, c.fixup);
        for (std::uint32_t i = 0; i < c.length; ++i) {
            std::uint8_t expected = 0xFF;
            for (auto [at, value] : c.changed) {
                if (at == c.read_at + i) expected = value;
            }
            ASSERT_EQ(bytes[i], expected) << "page offset " << c.read_at + i;
        }
    }
}

TEST(TornSectorRestoration, ReplacesOnlyTheLowTwoBits) {
    platform::SharedState app;
    mdf::CRecoveryEngine engine(app);
    app.m_abTornBits = {0x0C, 0, 0, 0};  // sector 1: 3
    EXPECT_EQ(engine.RestoreTornBits(0x00, 1023), 0x03);
    app.m_abTornBits = {0x01, 0x10, 0, 0};  // sector 1: 0, sector 6: 1
    EXPECT_EQ(engine.RestoreTornBits(0xFF, 1023), 0xFC);
    EXPECT_EQ(engine.RestoreTornBits(0xFF, 6 * 512 + 511), 0xFD);
    EXPECT_EQ(engine.RestoreTornBits(0xFF, 512), 0xFF) << "offset 512 is treated as sector 0";
}

TEST(TornSectorRestoration, TornPageReadsBackAsWritten) {
    PageBuilder page;
    for (std::size_t i = 96; i < kPageSize; ++i) page.U8(i, static_cast<std::uint8_t>(i * 7));
    const auto original = page.Build();
    page.Tear(2);
    EngineFile file(FileBuilder{}.SetPage(1, page).PageCount(2));
    ASSERT_TRUE(file.engine().OpenDataFile());
    file.app().m_bCreatedOn2000 = true;
    file.engine().LoadTornBits(kPageSize);
    auto bytes = file.engine().ReadBytes(kPageSize + 96, kPageSize - 96, mdf::Fixup::Multi);
    EXPECT_TRUE(std::equal(bytes.begin(), bytes.end(), original.begin() + 96));
}

namespace {
struct ListerCase {
    const char* name;
    std::uint16_t slot_count;
    std::vector<std::uint16_t> slots;
    std::vector<std::pair<std::uint16_t, std::uint8_t>> statuses;  // record offset, status byte
    std::vector<std::uint16_t> listed;
};

const ListerCase kListerCases[] = {
    {"slot count 0 lists nothing", 0, {200}, {{200, 0x10}}, {}},
    {"live records in slot order", 3, {300, 200, 400}, {{200, 0x10}, {300, 0x30}, {400, 0x70}}, {300, 200, 400}},
    {"ghost records are skipped", 3, {200, 300, 400}, {{200, 0x1C}, {300, 0x3C}, {400, 0x10}}, {400}},
    {"empty slot is skipped", 2, {0, 200}, {{200, 0x10}}, {200}},
    {"entry 95 lies in the header", 2, {95, 200}, {{95, 0x10}, {200, 0x10}}, {200}},
    {"entry 96 is the first record offset", 1, {96}, {{96, 0x10}}, {96}},
    {"entry 8191 lies in the slot array", 2, {8191, 200}, {{200, 0x10}}, {200}},
    {"entry 8192 lies past the page", 2, {8192, 200}, {{200, 0x10}}, {200}},
    {"a huge slot count is held to what fits in a page", 65535, {200, 300}, {{200, 0x10}, {300, 0x10}}, {200, 300}},
};
}  // namespace

TEST(RecordLister, Bounds) {
    for (const auto& c : kListerCases) {
        SCOPED_TRACE(c.name);
        PageBuilder page;
        page.Type(kDataPage).SlotCount(c.slot_count);
        for (std::size_t k = 0; k < c.slots.size(); ++k) page.Slot(static_cast<int>(k), c.slots[k]);
        for (auto [at, status] : c.statuses) page.U8(at, status);
        PageBuilder next;
        next.U8(0, 0x10);  // what entry 8192 would read as a status byte
        EngineFile file(FileBuilder{}.SetPage(2, page).SetPage(3, next));
        ASSERT_TRUE(file.engine().OpenDataFile());
        file.engine().ReadPageRecordOffsets(kPage);
        std::vector<std::uint64_t> expected;
        for (auto offset : c.listed) expected.push_back(kPage + offset);
        EXPECT_EQ(file.app().m_arrRecordOffsets, expected);
    }
}

TEST(RecordLister, PartialLastPageListsNothingBeyondTheFile) {
    PageBuilder page;
    page.Type(kDataPage).SlotCount(2).U8(200, 0x10);
    auto bytes = FileBuilder{}.SetPage(1, page).Bytes();
    bytes.resize(kPageSize + 100);  // only the header of page 1 survives
    TempDir dir;
    {
        std::ofstream out(dir / "cut.mdf", std::ios::binary);
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    }
    platform::SharedState app;
    app.m_strDataFilePath = platform::FromUtf8((dir / "cut.mdf").string());
    mdf::CRecoveryEngine engine(app);
    ASSERT_TRUE(engine.OpenDataFile());
    EXPECT_EQ(engine.m_nFileSize, kPageSize + 100);
    engine.ReadPageRecordOffsets(kPageSize);
    EXPECT_TRUE(app.m_arrRecordOffsets.empty());
}

// Paths that no wait can open fail at the first attempt, with a reason of their own; the named pipe would
// block an open that waits for a writer, so every case runs in a child that an alarm ends.
TEST(OpenDataFile, PathsThatWaitingCannotOpenFailAtOnceWithTheirReason) {
    TempDir dir;
    const auto fifo = dir / "pipe.mdf";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const auto locked = dir / "locked.mdf";
    FileBuilder{}.PageCount(2).WriteTo(locked);
    ASSERT_EQ(::chmod(locked.c_str(), 0), 0);
    struct Case {
        const char* name;
        std::string path;
        const char* reason;
    };
    std::vector<Case> cases = {
        {"missing path", (dir / "missing.mdf").string(), "No such file or directory"},
        {"directory", dir.Path().string(), "it is a directory"},
        {"named pipe", fifo.string(), "it is a named pipe \\(FIFO\\)"},
        {"device", "/dev/null", "it is a character device"},
        {"below a file", (locked / "x.mdf").string(), "Not a directory"},
    };
    if (::geteuid() != 0) cases.push_back({"unreadable file", locked.string(), "Permission denied"});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        // The child prints the reason and exits 0 when both the probe and the open failed without a wait.
        auto open_in_child = [&] {
            ::alarm(10);
            platform::SharedState app;
            app.m_strDataFilePath = platform::FromUtf8(c.path);
            mdf::CRecoveryEngine engine(app);
            int sleeps = 0;
            engine.m_sleep = [&](std::chrono::milliseconds) { ++sleeps; };
            const bool probed = engine.DetectDatabaseVersion();
            const bool opened = engine.OpenDataFile();
            std::fprintf(stderr, "%s\n", platform::ToUtf8(engine.m_strOpenError).c_str());
            std::_Exit(!probed && !opened && !engine.m_bOpenBusy && !engine.m_bFileOpen && sleeps == 0 ? 0 : 1);
        };
        EXPECT_EXIT(open_in_child(), ::testing::ExitedWithCode(0), c.reason);
    }
}

TEST(OpenDataFile, ABusyFileGetsSixAttemptsASecondApart) {
    EngineFile file(FileBuilder{}.PageCount(2));
    {
        testsupport::DescriptorsUsedUp no_descriptors;
        EXPECT_FALSE(file.engine().OpenDataFile());
    }
    EXPECT_TRUE(file.engine().m_bOpenBusy);
    EXPECT_EQ(platform::ToUtf8(file.engine().m_strOpenError), "Too many open files");
    EXPECT_EQ(file.sleeps_, std::vector<std::chrono::milliseconds>(5, std::chrono::milliseconds(1000)));

    // Free again after the second wait: the third attempt opens it.
    file.sleeps_.clear();
    auto no_descriptors = std::make_unique<testsupport::DescriptorsUsedUp>();
    file.engine().m_sleep = [&](std::chrono::milliseconds ms) {
        file.sleeps_.push_back(ms);
        if (file.sleeps_.size() == 2) no_descriptors.reset();
    };
    EXPECT_TRUE(file.engine().OpenDataFile());
    EXPECT_EQ(file.sleeps_.size(), 2u);
    EXPECT_EQ(file.engine().m_nFileSize, 2 * kPageSize);
}

TEST(OpenDataFile, OpensAReadOnlyCopy) {
    EngineFile file(FileBuilder{}.PageCount(3));
    auto path = platform::ToUtf8(file.app().m_strDataFilePath);
    ASSERT_EQ(::chmod(path.c_str(), 0444), 0);
    EXPECT_TRUE(file.engine().OpenDataFile());
    EXPECT_EQ(file.engine().m_nFileSize, 3 * kPageSize);
    EXPECT_TRUE(file.sleeps_.empty());
}

TEST(DataFileReads, ZerosBeyondTheEndOfTheFile) {
    PageBuilder page;
    page.U32(8188, 0xAABBCCDD);
    EngineFile file(FileBuilder{}.SetPage(0, page));
    ASSERT_TRUE(file.engine().OpenDataFile());
    EXPECT_EQ(file.engine().Read64(8188), 0xAABBCCDDull) << "the half beyond the end reads as zeros";
    EXPECT_EQ(file.engine().Read32(1 << 20), 0u);
}

// Held pages: the same bytes as a read from the file, one read per run of neighbouring pages, and no read
// when the cache has dropped them.
TEST(DataFileReads, HeldPagesReadOnceInRunsAndServeTheFileBytes) {
    FileBuilder builder;
    builder.PageCount(40);
    for (std::uint32_t n = 0; n < 12; ++n) {
        PageBuilder page;
        page.U32(100, 0x1000 + n);
        builder.SetPage(n, page);
    }
    EngineFile file(builder);
    ASSERT_TRUE(file.engine().OpenDataFile());
    mdf::DataFile& data = file.engine().m_hDataFile;
    const std::uint64_t before = data.FileReads();
    data.HoldPages({2, 3, 4, 9, 11});
    EXPECT_EQ(data.FileReads() - before, 3u) << "runs 2-4, 9 and 11";
    for (int visit = 0; visit < 2; ++visit) {
        for (std::uint32_t n : {11u, 2u, 9u, 4u, 3u}) EXPECT_EQ(file.engine().Read32(n * kPageSize + 100), 0x1000 + n);
        // 17 other pages push every held page out of the 16-slot cache between the visits.
        for (std::uint32_t n = 0; n < 17; ++n) file.engine().Read8((20 + n) * kPageSize);
    }
    EXPECT_EQ(data.FileReads() - before, 3u + 34u) << "only the pages that are not held were read";
    data.ReleaseHeldPages();
    EXPECT_EQ(file.engine().Read32(9 * kPageSize + 100), 0x1009u);
}

TEST(DataFileReads, SmallGapsAreFilledWithinTheLimit) {
    EXPECT_EQ(mdf::WithSmallGapsFilled({1, 5, 20, 22}, 100), (std::vector<std::uint64_t>{1, 2, 3, 4, 5, 20, 21, 22}));
    EXPECT_EQ(mdf::WithSmallGapsFilled({1, 6}, 100), (std::vector<std::uint64_t>{1, 6})) << "a gap of four stays";
    EXPECT_EQ(mdf::WithSmallGapsFilled({1, 5, 20, 22}, 7), (std::vector<std::uint64_t>{1, 2, 3, 4, 5, 20, 22}));
    EXPECT_TRUE(mdf::WithSmallGapsFilled({}, 10).empty());
}

// The scan's block reads: every block looked at once with the file's bytes, taken in block order, never more
// blocks in flight than the caller keeps slots for; a stop takes no later block, and a failure in a worker
// comes back to the caller.
TEST(DataFileReads, BlocksAreLookedAtInParallelAndTakenInOrder) {
    constexpr std::uint64_t kBlock = mdf::DataFile::kScanBlockPages;
    const std::uint32_t pages = static_cast<std::uint32_t>(5 * kBlock + 7);  // a short last block
    FileBuilder builder;
    builder.PageCount(pages);
    for (std::uint32_t n = 0; n < pages; ++n) {
        PageBuilder page;
        page.U32(100, 0x5000 + n);
        builder.SetPage(n, page);
    }
    EngineFile file(builder);
    ASSERT_TRUE(file.engine().OpenDataFile());
    const mdf::DataFile& data = file.engine().m_hDataFile;
    const std::uint64_t blocks = 6;
    constexpr std::uint64_t kNever = 100;

    struct Case {
        const char* name;
        std::uint64_t first;
        std::uint64_t count;
        std::uint64_t stop_after;  // take returns false for this block (kNever: for none)
    };
    const Case cases[] = {
        {"whole file", 0, pages, kNever},
        {"from page 3, one page short of the end", 3, pages - 4, kNever},
        {"fewer pages than a block", 10, 5, kNever},
        {"stopped at the third block", 0, pages, 2},
        {"nothing to read", 0, 0, kNever},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::uint64_t expected_blocks = (c.count + kBlock - 1) / kBlock;
        std::vector<std::atomic<int>> looked(blocks);
        std::atomic<std::uint64_t> wrong_bytes{0};
        std::atomic<std::uint64_t> highest_looked{0};
        std::vector<std::uint64_t> taken;
        bool over_in_flight = false;
        data.ForEachBlock(
            c.first, c.count,
            [&](std::uint64_t block, std::uint64_t first_page, std::span<const std::uint8_t> bytes) {
                ++looked[block];
                std::uint64_t seen = highest_looked.load();
                while (seen < block + 1 && !highest_looked.compare_exchange_weak(seen, block + 1)) {
                }
                if (first_page != c.first + block * kBlock) ++wrong_bytes;
                for (std::size_t k = 0; k < bytes.size() / kPageSize; ++k) {
                    std::uint32_t stamp = 0;
                    std::memcpy(&stamp, bytes.data() + k * kPageSize + 100, 4);
                    if (stamp != 0x5000 + first_page + k) ++wrong_bytes;
                }
            },
            [&](std::uint64_t block) {
                taken.push_back(block);
                if (highest_looked.load() > block + mdf::DataFile::kBlocksInFlight) over_in_flight = true;
                return block != c.stop_after;
            });
        std::vector<std::uint64_t> in_order;
        for (std::uint64_t b = 0; b < std::min(expected_blocks, c.stop_after + 1); ++b) in_order.push_back(b);
        EXPECT_EQ(taken, in_order);
        EXPECT_EQ(wrong_bytes.load(), 0u);
        EXPECT_FALSE(over_in_flight);
        for (std::uint64_t b = 0; b < blocks; ++b) {
            EXPECT_LE(looked[b].load(), b < expected_blocks ? 1 : 0) << "block " << b;
            if (b < in_order.size()) {
                EXPECT_EQ(looked[b].load(), 1) << "block " << b;
            }
        }
    }

    EXPECT_THROW(data.ForEachBlock(
                     0, pages,
                     [](std::uint64_t block, std::uint64_t, std::span<const std::uint8_t>) {
                         if (block == 3) throw std::runtime_error("look failed");
                     },
                     [](std::uint64_t) { return true; }),
                 std::runtime_error);
}

// A file served from memory gives on every road the bytes the same file gives from the disk: single pages, reads
// across pages and past the end, held pages, and the scan's blocks (the last one cut by the file's end). Once
// no longer served, its path opens nothing.
TEST(DataFileReads, AFileServedFromMemoryReadsAsTheFileOnDisk) {
    constexpr std::uint32_t kPages = 70;
    FileBuilder builder;
    for (std::uint32_t n = 0; n < kPages; ++n) {
        PageBuilder page;
        page.U32(100, 0x5000 + n);
        page.U32(8188, 0x6000 + n);
        builder.SetPage(n, page);
    }
    builder.TrailingBytes(1000);
    const std::vector<std::uint8_t> bytes = builder.Bytes();
    TempDir dir;
    builder.WriteTo(dir / "disk.mdf");
    const std::filesystem::path served = "/brindlemoor-test-memory/data.mdf";
    platform::ServeFromMemory(served, bytes);

    mdf::DataFile disk;
    mdf::DataFile memory;
    ASSERT_TRUE(disk.Open(dir / "disk.mdf"));
    ASSERT_TRUE(memory.Open(served));
    ASSERT_EQ(memory.Size(), bytes.size());
    auto same_page = [&](std::uint64_t n) {
        const auto a = disk.Page(n);
        const std::vector<std::uint8_t> on_disk(a.begin(), a.end());
        const auto b = memory.Page(n);
        EXPECT_TRUE(std::equal(on_disk.begin(), on_disk.end(), b.begin(), b.end())) << "page " << n;
    };
    for (std::uint64_t n = 0; n <= kPages + 1; ++n) same_page(n);  // the partial page and one beyond the end
    for (const std::uint64_t pos : {std::uint64_t{100}, 3 * kPageSize - 6, kPages * kPageSize + 990}) {
        std::vector<std::uint8_t> a(40), b(40);
        disk.Read(pos, a.data(), a.size());
        memory.Read(pos, b.data(), b.size());
        EXPECT_EQ(a, b) << "read at " << pos;
    }
    memory.HoldPages({2, 3, 4, 60});
    disk.HoldPages({2, 3, 4, 60});
    for (const std::uint64_t n : {2, 4, 60}) same_page(n);

    std::vector<std::uint8_t> from_blocks;
    std::vector<std::uint64_t> taken;
    memory.ForEachBlock(
        0, kPages + 1,
        [&](std::uint64_t block, std::uint64_t first_page, std::span<const std::uint8_t> block_bytes) {
            EXPECT_EQ(first_page, block * mdf::DataFile::kScanBlockPages);
            from_blocks.insert(from_blocks.end(), block_bytes.begin(), block_bytes.end());
        },
        [&](std::uint64_t block) {
            taken.push_back(block);
            return true;
        });
    EXPECT_EQ(taken, (std::vector<std::uint64_t>{0, 1}));
    ASSERT_EQ(from_blocks.size(), (kPages + 1) * kPageSize);
    EXPECT_TRUE(std::equal(bytes.begin(), bytes.end(), from_blocks.begin()));
    EXPECT_TRUE(std::all_of(from_blocks.begin() + static_cast<std::ptrdiff_t>(bytes.size()), from_blocks.end(),
                            [](std::uint8_t b) { return b == 0; }))
        << "zeros after the end of the file";

    platform::StopServingFromMemory(served);
    mdf::DataFile gone;
    EXPECT_FALSE(gone.Open(served));
}
