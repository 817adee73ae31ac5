// Large-value chains built page by page: small roots, roots over data records, internal nodes, damaged and
// repeated pointers, torn sectors, the record limit, stop, and the three consumers (text, file, bytes).
#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "mdf/recovery_engine.h"
#include "platform/text.h"
#include "tests/support/page_builder.h"

using namespace testsupport;
using mdf::LargeValueEnd;
using namespace std::string_literals;

namespace {

std::vector<std::uint8_t> Concat(std::initializer_list<std::vector<std::uint8_t>> parts) {
    std::vector<std::uint8_t> out;
    for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

std::vector<std::uint8_t> Ascii(std::string_view s) { return {s.begin(), s.end()}; }

// Record header: status, unused byte, length, 8-byte value id, record type.
constexpr std::uint64_t kValueId = 0x1234;
std::vector<std::uint8_t> Header(std::uint16_t length, std::uint16_t type, std::uint64_t id = kValueId) {
    return Concat({{0x08, 0x00}, LE16(length), LE64(id), LE16(type)});
}

std::vector<std::uint8_t> DataRecord(const std::vector<std::uint8_t>& data, std::uint64_t id = kValueId) {
    return Concat({Header(static_cast<std::uint16_t>(14 + data.size()), 3, id), data});
}

std::vector<std::uint8_t> SmallRoot(const std::vector<std::uint8_t>& data) {
    return Concat({Header(static_cast<std::uint16_t>(20 + data.size()), 0), LE16(static_cast<std::uint16_t>(data.size())),
                   {0, 0, 0, 0}, data});
}

struct Ptr {
    std::uint32_t page;
    std::uint16_t slot;
};

// Internal node (type 2, 16-byte entries) or large root (type 4 or 5, 12-byte entries).
std::vector<std::uint8_t> Node(std::uint16_t type, const std::vector<Ptr>& entries) {
    const std::size_t entry_size = type == 2 ? 16 : 12;
    const auto length = static_cast<std::uint16_t>(28 + entry_size * entries.size());
    auto out = Concat({Header(length, type), LE16(0), LE16(static_cast<std::uint16_t>(entries.size())),
                       std::vector<std::uint8_t>(10, 0)});
    for (const auto& e : entries) {
        out = Concat({out, LE32(e.page), LE16(1), LE16(e.slot), std::vector<std::uint8_t>(entry_size - 8, 0)});
    }
    return out;
}

// A data file made of the given pages, opened by an engine.
class Chain {
public:
    Chain() { file_.PageCount(16); }
    PageBuilder& Page(std::uint32_t number) { return pages_[number]; }

    mdf::CRecoveryEngine& Open() {
        // A page without a type of its own is a text page.
        for (auto& [number, page] : pages_) {
            if (page.Build()[0] == 0 && page.Build()[1] == 0) page.Type(0x0301);
            file_.SetPage(number, page);
        }
        const auto path = dir_ / "chain.mdf";
        file_.WriteTo(path);
        app.m_strDataFilePath = platform::FromUtf8(path.string());
        engine = std::make_unique<mdf::CRecoveryEngine>(app, &sink);
        engine->m_sleep = [](std::chrono::milliseconds) {};
        EXPECT_TRUE(engine->OpenDataFile());
        return *engine;
    }

    std::string Bytes(std::uint32_t page, std::uint16_t slot, LargeValueEnd expected_end = LargeValueEnd::Complete,
                      const mdf::LargeValueOrigin& origin = {}) {
        std::vector<std::uint8_t> out;
        EXPECT_EQ(engine->ReadLargeValueBytes(std::uint64_t{page} * kPageSize, slot, out, origin), expected_end)
            << platform::ToUtf8(engine->m_strLargeValueLoss);
        return {out.begin(), out.end()};
    }

    TempDir dir_;
    FileBuilder file_;
    std::map<std::uint32_t, PageBuilder> pages_;
    platform::SharedState app;
    platform::RecordingSink sink;
    std::unique_ptr<mdf::CRecoveryEngine> engine;
};

TEST(LargeValueWalk, SmallRootDeliversExactlyItsBytes) {
    Chain chain;
    // Bytes after the value on the page must not leak into it.
    chain.Page(3).AddRecord(Concat({SmallRoot(Ascii("0123456789")), Ascii("NEIGHBOUR")}));
    auto& engine = chain.Open();
    EXPECT_EQ(chain.Bytes(3, 0), "0123456789");
    EXPECT_EQ(engine.ReadLargeValueText(3 * kPageSize, 0).text, u"0123456789");
}

TEST(LargeValueWalk, ChainsAreDeliveredBreadthFirstInPointerOrder) {
    struct Case {
        const char* name;
        std::vector<std::uint8_t> root;  // slot 0 of page 2
        std::string expected;
        LargeValueEnd end = LargeValueEnd::Complete;
    };
    // Page 4 holds data records "A".."E" in slots 0..4 and a type-1 record in slot 5; page 5 holds two
    // internal nodes (slots 0, 1) and a node that points back to the root and to itself (slot 2).
    const std::vector<Case> cases = {
        {"large root over three data records", Node(5, {{4, 2}, {4, 0}, {4, 1}}), "CAB"},
        {"root type 4", Node(4, {{4, 3}, {4, 4}}), "DE"},
        {"root over two internal nodes", Node(5, {{5, 0}, {5, 1}}), "ABCD"},
        {"same pointer twice", Node(5, {{4, 0}, {4, 0}, {4, 1}}), "AB"},
        {"pointer met again below a node", Node(5, {{4, 0}, {5, 0}}), "AB"},
        {"cycle back to the root and to itself", Node(5, {{5, 2}}), "E"},
        // A record the chain names but that cannot be read: the rest is read, the value is not whole.
        {"type 1 record carries nothing", Node(5, {{4, 5}, {4, 0}}), "A", LargeValueEnd::Damaged},
        {"slot beyond the page's slots", Node(5, {{4, 40}, {4, 1}}), "B", LargeValueEnd::Damaged},
        {"page past the end of the file", Node(5, {{4, 0}, {900000, 0}, {4, 1}}), "AB", LargeValueEnd::Damaged},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Chain chain;
        chain.Page(2).AddRecord(c.root);
        for (const char* letter : {"A", "B", "C", "D", "E"}) chain.Page(4).AddRecord(DataRecord(Ascii(letter)));
        chain.Page(4).AddRecord(Concat({Header(20, 1), Ascii("XXXXXX")}));
        chain.Page(5).AddRecord(Node(2, {{4, 0}, {4, 1}}));
        chain.Page(5).AddRecord(Node(2, {{4, 2}, {4, 3}}));
        chain.Page(5).AddRecord(Node(2, {{2, 0}, {5, 2}, {4, 4}, {2, 0}}));
        chain.Open();
        EXPECT_EQ(chain.Bytes(2, 0, c.end), c.expected);
    }
}

TEST(LargeValueWalk, DamagedRecordsContributeNothingAndReadNoNeighbours) {
    struct Case {
        const char* name;
        std::vector<std::uint8_t> record;  // slot 1 of page 4, between two sound records
    };
    const std::vector<Case> cases = {
        {"data record length below its header", Concat({Header(13, 3), Ascii("zzzz")})},
        {"data record length past the page", Concat({Header(9000, 3), Ascii("zzzz")})},
        {"small root length past the page", Concat({Header(30, 0), LE16(8100), Ascii("zzzzzzzz")})},
        {"node whose entries run past the page", Concat({Header(40, 5), LE16(0), LE16(2000), Ascii("zzzzzzzzzz")})},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Chain chain;
        chain.Page(2).AddRecord(Node(5, {{4, 0}, {4, 1}, {4, 2}}));
        chain.Page(4).AddRecord(DataRecord(Ascii("A")));
        chain.Page(4).AddRecord(c.record);
        chain.Page(4).AddRecord(DataRecord(Ascii("C")));
        chain.Open();
        EXPECT_EQ(chain.Bytes(2, 0, LargeValueEnd::Damaged), "AC");
    }
    // A record that starts so close to the slot array that its header cannot fit.
    Chain chain;
    chain.Page(2).AddRecord(Node(5, {{4, 0}, {4, 1}}));
    chain.Page(4).AddRecord(DataRecord(Ascii("A")));
    chain.Page(4).SlotCount(2).Slot(1, 8180);
    chain.Open();
    EXPECT_EQ(chain.Bytes(2, 0, LargeValueEnd::Damaged), "A");
}

TEST(LargeValueWalk, FirstPointerPastTheEndGivesALostValue) {
    Chain chain;
    auto& engine = chain.Open();
    EXPECT_EQ(chain.Bytes(5000, 0, LargeValueEnd::Damaged), "");
    const auto text = engine.ReadLargeValueText(5000 * kPageSize, 0);
    EXPECT_EQ(text.text, u"");
    EXPECT_EQ(text.end, LargeValueEnd::Damaged);
    EXPECT_EQ(engine.m_strLargeValueLoss, u"page 5000, slot 0 lies beyond the end of the file");
}

TEST(LargeValueWalk, TextEndsEachPieceAtItsFirstZeroAndJoinsSplitCharacters) {
    Chain chain;
    chain.Page(2).AddRecord(Node(5, {{4, 0}, {4, 1}}));
    chain.Page(4).AddRecord(DataRecord(Concat({Ascii("abc"), {0, 0, 'x'}})));
    chain.Page(4).AddRecord(DataRecord(Ascii("de")));
    // U+1F600 (3D D8 00 DE) split inside its first code unit: one record ends with 3D, the next goes on D8.
    chain.Page(4).AddRecord(DataRecord(Concat({Utf16Le(u"h"), {0x3D}})));
    chain.Page(4).AddRecord(DataRecord(Concat({{0xD8, 0x00, 0xDE, 'i', 0, 0, 0}, Utf16Le(u"lost")})));
    chain.Page(6).AddRecord(Node(5, {{4, 2}, {4, 3}}));
    auto& engine = chain.Open();
    engine.m_bWideText = false;
    EXPECT_EQ(engine.ReadLargeValueText(2 * kPageSize, 0).text, u"abcde");
    engine.m_bWideText = true;
    EXPECT_EQ(engine.ReadLargeValueText(6 * kPageSize, 0).text, u"h\U0001F600i");

    // A definition's reading keeps every zero and what follows it, for its caller to judge.
    using mdf::LargeTextZeros;
    engine.m_bWideText = false;
    EXPECT_EQ(engine.ReadLargeValueText(2 * kPageSize, 0, LargeTextZeros::Keep).text, u"abc\0\0xde"s);
    engine.m_bWideText = true;
    EXPECT_EQ(engine.ReadLargeValueText(6 * kPageSize, 0, LargeTextZeros::Keep).text, u"h\U0001F600i\0lost"s);
}

TEST(LargeValueWalk, TornSectorsOfDataAreRestoredAndCallerTornBitsKept) {
    Chain chain;
    chain.Page(2).AddRecord(Node(5, {{4, 0}}));
    // 1600 data bytes of 0xFF from page offset 110 cover the ends of sectors 1 and 2 (page offsets 1023 and
    // 1535); tearing leaves 0xFC there.
    std::vector<std::uint8_t> data(1600, 0xFF);
    chain.Page(4).AddRecord(DataRecord(data));
    chain.Page(4).Tear(0);
    auto& engine = chain.Open();
    chain.app.m_bCreatedOn2000 = true;
    chain.app.m_abTornBits = {9, 8, 7, 6};
    const std::string bytes = chain.Bytes(2, 0);
    EXPECT_EQ(bytes, std::string(1600, '\xFF'));
    EXPECT_EQ(chain.app.m_abTornBits, (std::array<std::uint8_t, 4>{9, 8, 7, 6}));
    // Without restoration the torn pattern shows at each sector end inside the data.
    chain.app.m_bCreatedOn2000 = false;
    const std::string raw = chain.Bytes(2, 0);
    const std::size_t data_start = 96 + 14;
    for (std::size_t end : {1023u, 1535u}) EXPECT_EQ(static_cast<std::uint8_t>(raw[end - data_start]), 0xFC);
    EXPECT_EQ(raw.size(), 1600u);
    EXPECT_EQ(engine.m_arrVisitedPages.size(), 0u);
}

TEST(LargeValueWalk, PairCountBeyond65536IsFollowedToTheEnd) {
    Chain chain;
    // 140 internal nodes of 500 pointers each list 70000 pairs (slots that do not exist); the last node
    // also names the one data record, which must still be reached.
    std::vector<Ptr> nodes;
    for (std::uint32_t n = 0; n < 140; ++n) {
        std::vector<Ptr> entries;
        for (std::uint32_t k = 0; k < 500; ++k) {
            entries.push_back({3 + n / 100, static_cast<std::uint16_t>(100 + (n % 100) * 500 + k)});
        }
        if (n == 139) entries.back() = {3, 0};
        chain.Page(10 + n).AddRecord(Node(2, entries));
        nodes.push_back({10 + n, 0});
    }
    chain.Page(2).AddRecord(Node(5, nodes));
    chain.Page(3).AddRecord(DataRecord(Ascii("end")));
    chain.file_.PageCount(200);
    chain.Open();
    chain.app.m_bDocumentMode = true;
    EXPECT_EQ(chain.Bytes(2, 0, LargeValueEnd::Damaged), "end");
}

// Each record is held against its page and against what led to it. Page 2 holds the root over the data
// records "A" (page 4) and "B" (page 5); each case changes one thing, and the value is read with a pointer that
// names the root's id, the table object 77 (the owner of pages 2, 4 and 5 in this 2000-format file) and 2 bytes.
TEST(LargeValueWalk, EachRecordIsHeldAgainstItsPageAndItsPointer) {
    struct Case {
        const char* name;
        std::function<void(Chain&)> change;
        std::string expected;
        const char* why;  // in m_strLargeValueLoss; nullptr for a whole value
    };
    const std::vector<Case> cases = {
        {"sound", [](Chain&) {}, "AB", nullptr},
        {"page header naming another page", [](Chain& c) { c.Page(5).U32(32, 9); }, "A",
         "page 5 is not the page its pointer names (its header says page 9)"},
        {"data page in the chain", [](Chain& c) { c.Page(5).Type(0x0101); }, "A",
         "page 5 is no large-value page (page type 1)"},
        {"page without header", [](Chain& c) { c.Page(5).U16(0, 0x0300); }, "A", "page 5 has no page header"},
        {"page of another table", [](Chain& c) { c.Page(5).ObjectId(78); }, "A",
         "page 5 belongs to another object (owner 78)"},
        {"record of another value", [](Chain& c) { c.Page(5).U64(96 + 4, 0x9999); }, "A",
         "page 5, slot 0 holds another value's record (id 0x9999, its pointer names 0x1234)"},
        {"root of another value", [](Chain& c) { c.Page(2).U64(96 + 4, 0x9999); }, "",
         "page 2, slot 0 holds another value's record (id 0x9999, its pointer names 0x1234)"},
        {"a piece longer than the pointer says", [](Chain& c) { c.Page(5).Bytes(96 + 14, Ascii("BB")).U16(96 + 2, 16); },
         "ABB", "3 bytes read of the 2 its pointer names"},
        {"page whose checksum failed in the scan",
         [](Chain& c) { c.engine->m_arrDamagedPages.push_back({5, 77, mdf::PageDamage::Checksum, 0}); }, "A",
         "page 5 failed its check (checksum mismatch)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Chain chain;
        chain.Page(2).ObjectId(77).AddRecord(Node(5, {{4, 0}, {5, 0}}));
        chain.Page(4).ObjectId(77).AddRecord(DataRecord(Ascii("A")));
        chain.Page(5).ObjectId(77).AddRecord(DataRecord(Ascii("B")));
        const bool after_open = std::string(c.name).find("scan") != std::string::npos;
        if (!after_open) c.change(chain);
        auto& engine = chain.Open();
        if (after_open) c.change(chain);
        mdf::LargeValueOrigin origin;
        origin.table_object_id = 77;
        origin.record_id = kValueId;
        origin.length = 2;
        EXPECT_EQ(chain.Bytes(2, 0, c.why ? LargeValueEnd::Damaged : LargeValueEnd::Complete, origin), c.expected);
        EXPECT_EQ(platform::ToUtf8(engine.m_strLargeValueLoss), c.why ? c.why : "");
    }
}

TEST(LargeValueWalk, RecordLimitCutsTheValueAndLogsIt) {
    Chain chain;
    // A root over 55 internal nodes over 25811 one-byte data records: 25866 records after the root.
    constexpr std::uint32_t kNodes = 55;
    constexpr std::uint32_t kData = 25811;
    constexpr std::uint32_t kPerPage = 470;
    std::vector<Ptr> data;
    for (std::uint32_t k = 0; k < kData; ++k) {
        const std::uint32_t page = 100 + k / kPerPage;
        chain.Page(page).AddRecord(DataRecord({static_cast<std::uint8_t>('a' + k % 26)}));
        data.push_back({page, static_cast<std::uint16_t>(k % kPerPage)});
    }
    std::vector<Ptr> nodes;
    for (std::uint32_t n = 0; n < kNodes; ++n) {
        const auto first = data.begin() + n * kPerPage;
        const auto last = n + 1 == kNodes ? data.end() : first + kPerPage;
        chain.Page(10 + n).AddRecord(Node(2, std::vector<Ptr>(first, last)));
        nodes.push_back({10 + n, 0});
    }
    chain.Page(2).AddRecord(Node(5, nodes));
    chain.file_.PageCount(200);
    chain.Open();
    // Complete Repair: the root and 25856 further records, 55 of them nodes.
    EXPECT_EQ(chain.Bytes(2, 0, LargeValueEnd::Cut).size(), 25856u - kNodes);
    EXPECT_NE(chain.app.m_strLogLine.find(u"cut"), std::u16string::npos);
    chain.app.m_bDocumentMode = true;
    EXPECT_EQ(chain.Bytes(2, 0).size(), kData);
}

TEST(LargeValueWalk, StopIsDistinctFromAnEmptyValue) {
    Chain chain;
    chain.Page(2).AddRecord(Node(5, {{4, 0}}));
    chain.Page(4).AddRecord(DataRecord(Ascii("A")));
    auto& engine = chain.Open();
    chain.app.m_bStopJob = true;
    const auto text = engine.ReadLargeValueText(2 * kPageSize, 0);
    EXPECT_EQ(text.end, LargeValueEnd::Stopped);
    EXPECT_EQ(text.text, u"");
    EXPECT_EQ(chain.sink.Count(platform::WM_JOB_ENDED), 1u);
}

TEST(LargeValueWalk, CopyWritesTheBytesAndReportsAWriteFailure) {
    Chain chain;
    chain.Page(2).AddRecord(Node(5, {{4, 0}, {4, 1}}));
    chain.Page(4).AddRecord(DataRecord(Ascii("hello ")));
    chain.Page(4).AddRecord(DataRecord(Ascii("world")));
    auto& engine = chain.Open();

    const auto out_path = chain.dir_ / "out.bin";
    engine.m_hOutputFile = std::fopen(out_path.c_str(), "wb");
    ASSERT_NE(engine.m_hOutputFile, nullptr);
    EXPECT_EQ(engine.CopyLargeValueToFile(2 * kPageSize, 0), LargeValueEnd::Complete);
    std::fclose(engine.m_hOutputFile);
    engine.m_hOutputFile = nullptr;
    std::FILE* in = std::fopen(out_path.c_str(), "rb");
    char buffer[32] = {};
    const std::size_t n = std::fread(buffer, 1, sizeof buffer, in);
    std::fclose(in);
    EXPECT_EQ(std::string(buffer, n), "hello world");

    // A handle open for reading only refuses every write; so does no handle at all.
    engine.m_hOutputFile = std::fopen(out_path.c_str(), "rb");
    EXPECT_EQ(engine.CopyLargeValueToFile(2 * kPageSize, 0), LargeValueEnd::WriteFailed);
    std::fclose(engine.m_hOutputFile);
    engine.m_hOutputFile = nullptr;
    EXPECT_EQ(engine.CopyLargeValueToFile(2 * kPageSize, 0), LargeValueEnd::WriteFailed);
}

}  // namespace
