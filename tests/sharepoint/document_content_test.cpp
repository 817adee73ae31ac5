// The content writers: bytes in the row with torn sectors restored from the value's own page, image text
// pointers and varbinary roots followed into their chains, refusals, and names that clash.
#include <gtest/gtest.h>

#include <fstream>

#include "tests/sharepoint/content_fixture.h"
#include "tests/support/page_builder.h"

namespace {

using namespace sharepoint_test;

std::vector<std::uint8_t> Pattern(std::size_t n, std::uint8_t seed) {
    std::vector<std::uint8_t> out(n);
    for (std::size_t i = 0; i < n; ++i) out[i] = static_cast<std::uint8_t>(seed + i * 7 + (i >> 8));
    return out;
}

std::vector<std::uint8_t> ReadAll(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

class DocumentContent : public ::testing::Test {
protected:
    void Open() {
        content.Write(dir / "data.mdf");
        ASSERT_TRUE(OpenIn(engine, dir / "data.mdf"));
        sink.on_send = [this](unsigned message, platform::WPARAM, platform::LPARAM) {
            if (message == platform::WM_LOG_LINE) log += platform::ToUtf8(app.m_strLogLine) + "\n";
        };
    }
    std::u16string Out() const { return platform::FromUtf8(dir.Path().string()); }

    testsupport::TempDir dir;
    ContentFile content;
    platform::SharedState app;
    platform::RecordingSink sink;
    mdf::CRecoveryEngine engine{app, &sink};
    std::string log;
};

TEST_F(DocumentContent, InRowBytesAreRestoredAtEverySectorEndWithTheValuesOwnTornBits) {
    // A torn page: the last byte of every sector carries the pattern bits until the torn bits restore it.
    const auto value = Pattern(2000, 3);
    const std::uint64_t offset = content.Place(value, 100);
    content.Data(content.RowPage()).Tear(1);
    Open();
    for (const bool varbinary : {false, true}) {
        SCOPED_TRACE(varbinary ? "varbinary" : "image");
        const std::u16string name = varbinary ? u"v.bin" : u"i.bin";
        for (const bool created_on_2000 : {true, false}) {
            app.m_bCreatedOn2000 = created_on_2000;
            app.m_abTornBits = {0xAA, 0xBB, 0xCC, 0xDD};  // the page a reader entered last
            const bool written = varbinary ? engine.SaveVarBinaryColumnDocument(offset, value.size(), name, Out(), 0)
                                           : engine.SaveImageColumnDocument(offset, value.size(), name, Out());
            EXPECT_TRUE(written);
            EXPECT_EQ(app.m_abTornBits, (std::array<std::uint8_t, 4>{0xAA, 0xBB, 0xCC, 0xDD}));
            const auto file = ReadAll(app.m_strPreviewFile.empty() ? dir.Path() : std::filesystem::path(platform::ToUtf8(app.m_strPreviewFile)));
            ASSERT_EQ(file.size(), value.size());
            // Value indexes 411, 923, 1435 and 1947 are the last bytes of the sectors that end inside it.
            std::vector<std::size_t> differing;
            for (std::size_t i = 0; i < value.size(); ++i) {
                if (file[i] != value[i]) differing.push_back(i);
            }
            if (created_on_2000) {
                EXPECT_TRUE(differing.empty());
            } else {
                for (std::size_t i : differing) EXPECT_EQ(i % 512, 411u);
                EXPECT_FALSE(differing.empty());
            }
        }
    }
}

TEST_F(DocumentContent, ImageTextPointerCopiesItsChain) {
    const auto small = content.Record(SmallRoot(Bytes("ten bytes!")));
    const std::uint64_t offset = content.Place(Cat({std::vector<std::uint8_t>(8), Pointer(small.first, small.second)}));
    Open();
    EXPECT_TRUE(engine.SaveImageColumnDocument(offset, 16, u"note.txt", Out()));
    EXPECT_EQ(ReadAll(dir / "note.txt"), Bytes("ten bytes!"));
    EXPECT_EQ(app.m_strPreviewFile, Out() + u"/note.txt");
    EXPECT_EQ(engine.m_hOutputFile, nullptr);
}

TEST_F(DocumentContent, VarbinaryRootCopiesEveryChainInOrder) {
    const auto a = content.Record(DataRecord(Bytes("first chain|")));
    const auto b = content.Record(SmallRoot(Bytes("second chain|")));
    const auto c = content.Record(DataRecord(Bytes("third chain")));
    // Header of 8 bytes (type byte 0), then pointer + 4 skipped bytes, twice, and a last pointer: 40 bytes.
    const auto root = Cat({{0x00}, std::vector<std::uint8_t>(7), Pointer(a.first, a.second), {9, 9, 9, 9},
                           Pointer(b.first, b.second), {9, 9, 9, 9}, Pointer(c.first, c.second)});
    ASSERT_EQ(root.size(), 40u);
    const std::uint64_t offset = content.Place(root);
    Open();
    app.m_bSql2005Catalog = true;
    EXPECT_TRUE(engine.SaveVarBinaryColumnDocument(offset, 40, u"big.bin", Out(), 8 | 4));
    EXPECT_EQ(ReadAll(dir / "big.bin"), Bytes("first chain|second chain|third chain"));

    // The same flag without the 2005 catalogue: the 40 bytes are the document.
    app.m_bSql2005Catalog = false;
    EXPECT_TRUE(engine.SaveVarBinaryColumnDocument(offset, 40, u"raw.bin", Out(), 8));
    EXPECT_EQ(ReadAll(dir / "raw.bin"), root);
}

TEST_F(DocumentContent, RefusalsReadNothingAndCreateNoFile) {
    const std::uint64_t offset = content.Place(Cat({{0x02}, std::vector<std::uint8_t>(30)}));
    Open();
    app.m_bSql2005Catalog = true;
    struct Case {
        const char* name;
        std::uint64_t length;
        std::uint32_t flags;
        bool varbinary;
        const char* logged;
    };
    const Case cases[] = {
        {"a root shorter than its 16-byte header", 12, 8, true, "shorter than its header"},
        {"an item without a stream", 0, 0, true, "no contents"},
        {"an image item without a stream", 0, 0, false, "no contents"},
        {"an image pointer too short for its pointer", 20, 0, false, "too short"},
        {"an in-row length beyond a page", 9000, 0, true, "exceeds a page"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        log.clear();
        const bool written = c.varbinary ? engine.SaveVarBinaryColumnDocument(offset, c.length, u"x.bin", Out(), c.flags)
                                         : engine.SaveImageColumnDocument(offset, c.length, u"x.bin", Out());
        EXPECT_FALSE(written);
        EXPECT_FALSE(std::filesystem::exists(dir / "x.bin"));
        EXPECT_NE(log.find(c.logged), std::string::npos) << log;
        EXPECT_NE(log.find(platform::ToUtf8(Out()) + "/x.bin"), std::string::npos) << log;
    }
}

TEST_F(DocumentContent, SameNameTwiceGivesANumberedFileAndNothingIsOverwritten) {
    const auto one = Pattern(100, 1);
    const auto two = Pattern(100, 2);
    const std::uint64_t first = content.Place(one);
    const std::uint64_t second = content.Place(two);
    Open();
    EXPECT_TRUE(engine.SaveImageColumnDocument(first, 100, u"a.txt", Out()));
    EXPECT_TRUE(engine.SaveVarBinaryColumnDocument(second, 100, u"a.txt", Out(), 0));
    EXPECT_EQ(ReadAll(dir / "a.txt"), one);
    EXPECT_EQ(ReadAll(dir / "a[1].txt"), two);
}

}  // namespace
