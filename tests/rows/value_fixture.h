// A small data file for the value cases: value bytes placed on page 2, large-value records on later pages,
// and a call of one value case with the variable-value table set up for it.
#pragma once

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "mdf/recovery_engine.h"
#include "platform/text.h"
#include "rows/value_dispatch.h"
#include "tests/support/page_builder.h"

namespace valuetest {

using namespace testsupport;

inline std::vector<std::uint8_t> Concat(std::initializer_list<std::vector<std::uint8_t>> parts) {
    std::vector<std::uint8_t> out;
    for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

inline std::vector<std::uint8_t> Ascii(std::string_view s) { return {s.begin(), s.end()}; }

inline std::string U8(const std::u16string& s) { return platform::ToUtf8(s); }

// A large-value data record (type 3) and a large root (type 5) over (page, slot) pairs.
// Its value id is the one a text pointer of zeros and a root with timestamp 0 name, unless given.
inline std::vector<std::uint8_t> DataRecord(const std::vector<std::uint8_t>& data, std::uint64_t id = 0) {
    return Concat({{0x08, 0x00}, LE16(static_cast<std::uint16_t>(14 + data.size())), LE64(id), LE16(3), data});
}

// A row id as a row keeps it: page number, file number, slot.
inline std::vector<std::uint8_t> RowIdBytes(std::uint32_t page, std::uint16_t slot) {
    return Concat({LE32(page), LE16(1), LE16(slot)});
}

constexpr std::uint32_t kValuePage = 2;
constexpr std::uint16_t kComplex = 0x8;

class ValueFixture {
public:
    ValueFixture() : engine(app, &sink) {
        app.m_bSql2005Catalog = true;
        engine.m_sleep = [](std::chrono::milliseconds) {};
    }

    PageBuilder& Page(std::uint32_t number) { return pages_[number]; }

    // Places value bytes on the value page (from offset 96, one after the other); returns their file offset.
    std::uint64_t Put(const std::vector<std::uint8_t>& bytes, std::size_t gap_after = 0) {
        const std::size_t at = next_;
        pages_[kValuePage].Bytes(at, bytes);
        next_ += bytes.size() + gap_after;
        return kValuePage * kPageSize + at;
    }
    // Places bytes at a given page offset of the value page.
    std::uint64_t PutAt(std::size_t page_offset, const std::vector<std::uint8_t>& bytes) {
        pages_[kValuePage].Bytes(page_offset, bytes);
        return kValuePage * kPageSize + page_offset;
    }

    void Open() {
        FileBuilder file;
        file.PageCount(16);
        for (auto& [number, page] : pages_) {
            // A page of large values without a type of its own is a text page.
            if (number != kValuePage && page.Build()[0] == 0 && page.Build()[1] == 0) page.Type(0x0301);
            file.SetPage(number, page);
        }
        file.WriteTo(dir_ / "values.mdf");
        app.m_strDataFilePath = platform::FromUtf8((dir_ / "values.mdf").string());
        ASSERT_TRUE(engine.OpenDataFile());
    }

    static mdf::ColumnNode Column(std::uint8_t type, std::uint16_t max_in_row, bool not_null = false) {
        mdf::ColumnNode c;
        c.m_nType = type;
        c.m_nMaxInRowLength = max_in_row;
        c.m_nStatus = not_null ? 1 : 0;
        c.m_pszName = u"c";
        return c;
    }

    // A fixed-length value at offset, or a variable one at (offset, length, flags).
    rows::ValueResult Fixed(const mdf::ColumnNode& column, std::uint64_t offset, rows::RowMode mode) {
        rows::ValueRequest request;
        request.recordOffset = offset;
        request.valueOffset = offset;
        request.mode = mode;
        return Call(column, request);
    }
    rows::ValueResult Var(const mdf::ColumnNode& column, std::uint64_t offset, std::uint64_t length,
                          std::uint16_t flags, rows::RowMode mode) {
        engine.m_arrVarValueOffsets = {0, static_cast<std::int64_t>(offset)};
        engine.m_arrVarValueLengths = {0, length};
        engine.m_arrVarValueFlags = {0, flags};
        rows::ValueRequest request;
        request.varIndex = 1;
        request.mode = mode;
        return Call(column, request);
    }

    platform::SharedState app;
    platform::RecordingSink sink;
    mdf::CRecoveryEngine engine;

private:
    rows::ValueResult Call(const mdf::ColumnNode& column, const rows::ValueRequest& request) {
        rows::ValueResult result;
        switch (column.m_nType) {
            case 175: case 239: case 167: case 231: case 35: case 99: case 241:
                engine.DecodeCharacterValue(column, request, result);
                break;
            case 173: case 165: case 34: case 189: case 240:
                engine.DecodeBinaryValue(column, request, result);
                break;
            case 59: case 62:
                engine.DecodeFloatValue(column, request, result);
                break;
            case 106: case 108:
                engine.DecodeDecimalValue(column, request, result);
                break;
            case 98:
                engine.DecodeSqlVariantValue(column, request, result);
                break;
            default:
                ADD_FAILURE() << "no value case for type " << int(column.m_nType);
        }
        return result;
    }

    TempDir dir_;
    std::map<std::uint32_t, PageBuilder> pages_;
    std::size_t next_ = 96;
};

constexpr auto kGrid = rows::RowMode::Grid;
constexpr auto kInsert = rows::RowMode::Insert;

}  // namespace valuetest
