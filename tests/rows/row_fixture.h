// Test fixture of the row decoder tests: hand-built data records on a page of a temporary file, a table of
// chosen columns, and an engine with recording message sink, prompts and (for INSERT mode) backend.
#pragma once

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "mdf/recovery_engine.h"
#include "platform/recording_sql_backend.h"
#include "platform/sql_connection.h"
#include "platform/text.h"
#include "platform/user_prompts.h"
#include "rows/insert_statement.h"
#include "tests/support/page_builder.h"

namespace rowtest {

using namespace testsupport;

inline std::string U8(const std::u16string& s) { return platform::ToUtf8(s); }

inline std::vector<std::string> U8(const std::vector<std::u16string>& v) {
    std::vector<std::string> out;
    for (const auto& s : v) out.push_back(U8(s));
    return out;
}

// One data record: header, fixed part, column count, null bitmap and (optionally) the variable part.
struct Record {
    std::uint8_t status = 0x30;
    std::vector<std::uint8_t> fixed;  // bytes from record offset 4 on
    std::uint16_t n = 1;
    std::vector<std::uint8_t> bitmap = {0};
    // Raw end-offset entries (ends counted from the record start, flags in the high bits); none: no count.
    std::vector<std::uint16_t> ends;
    bool var_part = false;  // whether the record has the variable-value count and entries
    std::vector<std::uint8_t> var_data;

    std::uint16_t FixedEnd() const { return static_cast<std::uint16_t>(4 + fixed.size()); }
    std::vector<std::uint8_t> Bytes() const {
        std::vector<std::uint8_t> out = {status, 0};
        auto put = [&out](const std::vector<std::uint8_t>& b) { out.insert(out.end(), b.begin(), b.end()); };
        put(LE16(FixedEnd()));
        put(fixed);
        put(LE16(n));
        put(bitmap);
        if (var_part) {
            put(LE16(static_cast<std::uint16_t>(ends.size())));
            for (auto e : ends) put(LE16(e));
            put(var_data);
        }
        return out;
    }
};

struct Prompts final : platform::IUserPrompts {
    void ShowMessage(const std::u16string& title, const std::u16string&) override { shown.push_back(title); }
    bool SelectSourceVersion(platform::SharedState&) override { return false; }
    std::vector<std::u16string> shown;
};

inline constexpr std::uint64_t kRecordOffset = 2 * kPageSize + 96;

class RowFixture {
public:
    RowFixture() : engine_(app_, &sink_, &prompts_) {
        app_.m_bSql2005Catalog = true;
        table_.m_pszName = u"dbo.T";
        table_.m_strSchema = u"dbo";
        engine_.m_pCurrentTable = &table_;
    }

    mdf::ColumnNode& Column(std::uint16_t id, std::uint8_t type, std::int16_t leaf, const char16_t* name,
                            bool not_null = false) {
        auto& c = table_.AddColumn(id);
        c.m_nColumnId = id;
        c.m_nPhysicalColumn = id;
        c.m_nType = type;
        c.m_nLeafOffset = leaf;
        c.m_pszName = name;
        c.m_nStatus = not_null ? 1 : 0;
        c.m_nMaxInRowLength = DefaultLength(type);
        return c;
    }

    static std::uint16_t DefaultLength(std::uint8_t type) {
        switch (type) {
            case 104: case 48: return 1;
            case 52: return 2;
            case 56: case 122: case 58: case 59: return 4;
            case 127: case 60: case 61: case 62: return 8;
            case 36: return 16;
            case 40: return 3;
            case 41: return 5;
            case 42: return 8;
            case 43: return 10;
            default: return 10;
        }
    }

    // Writes the records onto page 2 (back to back from offset 96) and decodes the first one.
    void Decode(const Record& record, std::uint64_t at = kRecordOffset) {
        PageBuilder page;
        page.Bytes(at % kPageSize, record.Bytes());
        FileBuilder file;
        file.SetPage(at / kPageSize, page).PageCount(4);
        file.WriteTo(dir_ / "data.mdf");
        app_.m_strDataFilePath = platform::FromUtf8((dir_ / "data.mdf").string());
        ASSERT_TRUE(engine_.OpenDataFile());
        app_.m_arrRowValues.clear();
        engine_.DecodeTableRow(at, table_);
    }

    std::vector<std::string> Cells() const { return U8(app_.m_arrRowValues); }

    // INSERT mode on a recording backend.
    std::shared_ptr<platform::RecordingSqlBackend> Connect() {
        auto backend = std::make_shared<platform::RecordingSqlBackend>();
        engine_.m_pConnection = std::make_shared<platform::Connection>(backend);
        engine_.m_pConnection->Open(u"test");
        app_.m_bRepairRequested = true;
        app_.m_strContentDbName = u"Recovered_t";
        app_.m_strServerInstance = u"srv";
        return backend;
    }

    platform::SharedState app_;
    platform::RecordingSink sink_;
    Prompts prompts_;
    mdf::CRecoveryEngine engine_;
    mdf::TableNode table_;
    TempDir dir_;
};

inline std::vector<std::string> Texts(const std::vector<platform::SqlStatement>& statements) {
    std::vector<std::string> out;
    for (const auto& s : statements) out.push_back(U8(s.m_strText));
    return out;
}


// Writes raw record bytes at the given file offset and decodes them with the given texts already in place.
inline void WriteAndDecode(RowFixture& f, const std::vector<std::uint8_t>& bytes, std::uint64_t at,
                           std::vector<std::u16string> before) {
    PageBuilder page;
    page.Bytes(at % kPageSize, bytes);
    FileBuilder file;
    file.SetPage(at / kPageSize, page).PageCount(4);
    file.WriteTo(f.dir_ / "data.mdf");
    f.app_.m_strDataFilePath = platform::FromUtf8((f.dir_ / "data.mdf").string());
    ASSERT_TRUE(f.engine_.OpenDataFile());
    f.app_.m_arrRowValues = std::move(before);
    f.engine_.DecodeTableRow(at, f.table_);
}

}  // namespace rowtest
