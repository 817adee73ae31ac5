// Binary, image, timestamp and CLR values: the grid's fixed words, the parameters and literals of the
// statement, values gathered from large-value records into memory, and the complex flag as the only judge of
// whether the row holds the value or a pointer to it.
#include <gtest/gtest.h>

#include <filesystem>

#include "tests/rows/value_fixture.h"

using namespace valuetest;

namespace {

constexpr std::uint8_t kBinary = 173, kVarBinary = 165, kImage = 34, kTimestamp = 189, kUdt = 240;

TEST(BinaryValues, GridWords) {
    struct Case {
        std::uint8_t type;
        std::uint32_t user_type;
        const char* grid;
    };
    const Case cases[] = {
        {kBinary, 0, "<BinaryData>"},         {kVarBinary, 0, "VarBinaryData"},   {kImage, 0, "<Binary Data>"},
        {kTimestamp, 0, "<Binary Data>"},     {kUdt, 128, "HierarchyID Data"},   {kUdt, 129, "Geometry Data"},
        {kUdt, 130, "Geography Data"},        {kUdt, 131, ""},
        // A user-defined CLR type whose id only ends in the byte of a system type is not that type.
        {kUdt, 256 + 129, ""},
    };
    ValueFixture f;
    const std::uint64_t at = f.Put({1, 2, 3, 4});
    f.Open();
    for (const auto& c : cases) {
        auto column = ValueFixture::Column(c.type, 4);
        column.m_nUserType = c.user_type;
        const auto result = c.type == kBinary || c.type == kTimestamp ? f.Fixed(column, at, kGrid)
                                                                      : f.Var(column, at, 4, 0, kGrid);
        EXPECT_EQ(U8(result.text), c.grid) << int(c.type) << " " << c.user_type;
    }
}

struct InsertCase {
    const char* name;
    std::uint8_t type;
    std::vector<std::uint8_t> in_row;  // the value's bytes in the row
    std::uint16_t flags;
    std::string text;                  // "?" means a parameter
    platform::DataTypeEnum parameter_type = platform::adEmpty;
    std::vector<std::uint8_t> parameter = {};
};

TEST(BinaryValues, StatementValues) {
    const auto root = [](std::uint8_t type_byte, std::uint32_t page, std::uint16_t slot) {
        return Concat({{type_byte}, std::vector<std::uint8_t>(15, 0), RowIdBytes(page, slot)});
    };
    const auto pointer = [](std::uint8_t first, std::uint32_t page, std::uint16_t slot) {
        return Concat({{first}, std::vector<std::uint8_t>(7, 0), RowIdBytes(page, slot)});
    };
    const std::vector<std::uint8_t> big(8000, 0xAB);
    const std::vector<std::uint8_t> thirty(30, 0x5A);
    // Page 4: slot 0 "LARGE", slot 1 "-MORE", slot 2 an empty data record.
    const std::vector<InsertCase> cases = {
        {"varbinary in the row", kVarBinary, {9, 8, 7}, 0, "?", platform::adVarBinary, {9, 8, 7}},
        {"varbinary of 8000 bytes", kVarBinary, big, 0, "?", platform::adVarBinary, big},
        {"varbinary of length 0", kVarBinary, {}, 0, "0x"},
        {"varbinary root of type 2: row id at 16", kVarBinary, root(2, 4, 0), kComplex, "?",
         platform::adLongVarBinary, Ascii("LARGE")},
        {"varbinary root with two row ids", kVarBinary,
         Concat({root(4, 4, 0), LE32(0), RowIdBytes(4, 1)}), kComplex, "?", platform::adLongVarBinary,
         Ascii("LARGE-MORE")},
        {"varbinary root too short for a row id", kVarBinary, {4, 0, 0, 0, 0}, kComplex, "0x"},
        {"varbinary whose large value is empty", kVarBinary, root(4, 4, 2), kComplex, "0x"},
        {"image in the row", kImage, thirty, 0, "?", platform::adLongVarBinary, thirty},
        // Short in-row images are data too: only the complex flag makes the bytes a pointer.
        {"short image in the row", kImage, {1, 2, 4}, 0, "?", platform::adLongVarBinary, {1, 2, 4}},
        {"image text pointer: row id at 8", kImage, pointer(0x33, 6, 0), kComplex, "?", platform::adLongVarBinary,
         Ascii("-MORE")},
        {"image text pointer starting with 2", kImage, pointer(2, 6, 1), kComplex, "?", platform::adLongVarBinary,
         Ascii("LARGE")},
        {"hierarchyid in the row", kUdt, {0x58, 0x40}, 0, "0x5840"},
        // In-row CLR bytes that begin with 4 are still the value itself.
        {"CLR value beginning with 4", kUdt, {4, 0, 0xE6, 0x10}, 0, "0x0400E610"},
        {"CLR value stored out of the row", kUdt, root(4, 4, 0), kComplex, "0x4C41524745"},
        {"empty CLR value", kUdt, {}, 0, "0x"},
        {"timestamp is left to the server", kTimestamp, {1, 2, 3, 4, 5, 6, 7, 8}, 0, "NULL"},
        {"binary(4)", kBinary, {1, 2, 3, 4}, 0, "?", platform::adBinary, {1, 2, 3, 4}},
        {"binary of length 0", kBinary, {}, 0, "0x"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ValueFixture f;
        f.Page(4).AddRecord(DataRecord(Ascii("LARGE")));
        f.Page(4).AddRecord(DataRecord(Ascii("-MORE")));
        f.Page(4).AddRecord(DataRecord({}));
        // Records of the text pointers, which carry their values' ids.
        f.Page(6).AddRecord(DataRecord(Ascii("-MORE"), 0x33));
        f.Page(6).AddRecord(DataRecord(Ascii("LARGE"), 2));
        // What follows the value on the page is a row id that must never be followed.
        const std::uint64_t at = f.Put(Concat({c.in_row, RowIdBytes(4, 1)}));
        f.Open();
        const auto column = ValueFixture::Column(c.type, static_cast<std::uint16_t>(c.in_row.size()));
        const auto result = c.type == kBinary || c.type == kTimestamp
                                ? f.Fixed(column, at, kInsert)
                                : f.Var(column, at, c.in_row.size(), c.flags, kInsert);
        EXPECT_EQ(U8(result.text), c.text);
        ASSERT_EQ(result.parameter.has_value(), c.text == "?");
        if (result.parameter) {
            EXPECT_EQ(result.parameter->type, c.parameter_type);
            EXPECT_EQ(result.parameter->bytes, c.parameter);
        }
    }
}

TEST(BinaryValues, LargeValuesNeedNoTemporaryFile) {
    // A left-over file where a temporary file would have gone changes nothing.
    ValueFixture f;
    TempDir dir;
    const auto stale = dir / "im.txt";
    {
        std::FILE* out = std::fopen(stale.c_str(), "wb");
        std::fputs("STALE BYTES", out);
        std::fclose(out);
    }
    f.engine.m_strTempFile = platform::FromUtf8(stale.string());
    f.Page(4).AddRecord(DataRecord(Ascii("LARGE"), 0x33));
    const std::uint64_t at = f.Put(Concat({{0x33}, std::vector<std::uint8_t>(7, 0), RowIdBytes(4, 0)}));
    f.Open();
    const auto result = f.Var(ValueFixture::Column(kImage, 16), at, 16, kComplex, kInsert);
    ASSERT_TRUE(result.parameter);
    EXPECT_EQ(result.parameter->bytes, Ascii("LARGE"));
    EXPECT_EQ(f.engine.m_hOutputFile, nullptr);
    EXPECT_EQ(std::filesystem::file_size(stale), 11u);
}

TEST(BinaryValues, StopDuringAWalkAbandonsTheRow) {
    ValueFixture f;
    f.Page(4).AddRecord(DataRecord(Ascii("LARGE")));
    const std::uint64_t at = f.Put(Concat({{4}, std::vector<std::uint8_t>(15, 0), RowIdBytes(4, 0)}));
    f.Open();
    f.app.m_bStopJob = true;
    EXPECT_TRUE(f.Var(ValueFixture::Column(kVarBinary, 8000), at, 24, kComplex, kInsert).abandonRow);
}

}  // namespace
