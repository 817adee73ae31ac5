// Catalogue records of keys, indexes and definition texts written from code, and an engine opened on a file of
// such pages, for the key and definition-text reader tests.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "mdf/recovery_engine.h"
#include "platform/messages.h"
#include "platform/text.h"
#include "tests/mdf/record_bytes.h"
#include "tests/support/page_builder.h"

namespace keytest {

using Bytes = std::vector<std::uint8_t>;

using recordbytes::Append;
using recordbytes::Put16;
using recordbytes::Put32;

// sysidxstats row: fixed part to 39, 11 columns, 2 bytes of null bitmap, one variable column (the name).
inline Bytes IndexStatsRecord(std::uint32_t object_id, std::uint32_t index_id, std::uint32_t status,
                              std::u16string_view name, std::uint8_t fill_factor = 0) {
    Bytes r(47, 0);
    r[0] = 0x30;
    Put16(r, 2, 39);
    Put32(r, 4, object_id);
    Put32(r, 8, index_id);
    Put32(r, 12, status);
    r[20] = fill_factor;
    Put16(r, 39, 11);
    Put16(r, 43, 1);
    Append(r, testsupport::Utf16Le(name));
    Put16(r, 45, static_cast<std::uint16_t>(r.size()));
    return r;
}

// sysiscols row as the files hold it: 29 bytes, fixed part to 26.
inline Bytes IndexColumnRecord(std::uint32_t object_id, std::uint32_t index_id, std::uint32_t status,
                               std::uint32_t column_id, std::uint16_t ordinal, std::uint32_t index_column_id = 1,
                               std::uint8_t fixed_end = 26) {
    Bytes r(29, 0);
    r[0] = 0x10;
    r[2] = fixed_end;
    Put32(r, 4, object_id);
    Put32(r, 8, index_id);
    Put32(r, 12, index_column_id);
    Put32(r, 16, status);
    Put32(r, 20, column_id);
    Put16(r, 24, ordinal);
    Put16(r, 26, 7);
    return r;
}

struct KeyEntry {
    std::uint16_t column_id;
    std::uint16_t flags;
};

// sysindexes row (2000): fixed part to 82, keys field from 96, then the name.
inline Bytes IndexRecord2000(std::uint32_t object_id, std::uint32_t status, std::uint16_t index_id,
                             std::uint16_t key_count, const std::vector<KeyEntry>& keys, std::u16string_view name,
                             std::uint8_t fill_factor = 0) {
    Bytes r(96, 0);
    r[0] = 0x30;
    Put16(r, 2, 82);
    Put32(r, 4, object_id);
    Put32(r, 8, status);
    Put16(r, 18, index_id);
    Put16(r, 28, key_count);
    r[62] = fill_factor;
    Put16(r, 82, 23);
    Put16(r, 88, 3);
    for (const auto& key : keys) {
        Bytes entry(32, 0);
        Put16(entry, 16, key.column_id);
        Put16(entry, 30, key.flags);
        Append(r, entry);
    }
    Put16(r, 90, static_cast<std::uint16_t>(r.size()));
    Append(r, testsupport::Utf16Le(name));
    Put16(r, 92, static_cast<std::uint16_t>(r.size()));
    Put16(r, 94, static_cast<std::uint16_t>(r.size()));
    return r;
}

// sysobjvalues row (2005+): 8-bit text from offset 32. end_override replaces the stored end of the text.
inline Bytes ObjectValueRecord(std::uint8_t value_class, std::uint32_t object_id, std::uint32_t sub_id,
                               const std::string& text, int end_override = -1) {
    Bytes r(32, 0);
    r[0] = 0x30;
    Put16(r, 2, 17);
    r[4] = value_class;
    Put32(r, 5, object_id);
    Put32(r, 9, sub_id);
    Put16(r, 17, 6);
    Put16(r, 20, 2);
    Put16(r, 22, 32);
    r.insert(r.end(), text.begin(), text.end());
    Put16(r, 24, static_cast<std::uint16_t>(end_override >= 0 ? end_override : static_cast<int>(r.size())));
    return r;
}

// syscomments row (2000): UTF-16 text from offset 21.
inline Bytes CommentRecord(std::uint32_t object_id, std::uint16_t number, std::u16string_view text,
                           int end_override = -1) {
    Bytes r(21, 0);
    r[0] = 0x30;
    Put16(r, 2, 14);
    Put32(r, 4, object_id);
    Put16(r, 8, number);
    Put16(r, 14, 8);
    Put16(r, 17, 1);
    Append(r, testsupport::Utf16Le(text));
    Put16(r, 19, static_cast<std::uint16_t>(end_override >= 0 ? end_override : static_cast<int>(r.size())));
    return r;
}

// A data page of a system table holding the given records in slot order.
inline testsupport::PageBuilder SystemPage(std::uint32_t object_id, const std::vector<Bytes>& records) {
    testsupport::PageBuilder page;
    page.Type(testsupport::kDataPage).ObjectId(object_id);
    for (const auto& r : records) page.AddRecord(r);
    return page;
}

// An engine opened on a file of the given pages (page n at n * 8192), messages recorded.
class KeyEngine {
public:
    explicit KeyEngine(const testsupport::FileBuilder& file) {
        file.WriteTo(dir_ / "keys.mdf");
        app_.m_strDataFilePath = platform::FromUtf8((dir_ / "keys.mdf").string());
        engine_ = std::make_unique<mdf::CRecoveryEngine>(app_, &sink_);
        engine_->m_sleep = [](std::chrono::milliseconds) {};
        opened_ = engine_->OpenDataFile();
    }
    bool opened() const { return opened_; }
    mdf::CRecoveryEngine& engine() { return *engine_; }
    platform::SharedState& app() { return app_; }
    platform::RecordingSink& sink() { return sink_; }

    mdf::TableNode& AddTable(std::int32_t object_id, std::u16string name) {
        auto& table = engine_->AddTable();
        table.m_nObjectId = object_id;
        table.m_pszName = std::move(name);
        return table;
    }

private:
    testsupport::TempDir dir_;
    platform::SharedState app_;
    platform::RecordingSink sink_;
    std::unique_ptr<mdf::CRecoveryEngine> engine_;
    bool opened_ = false;
};

constexpr std::uint64_t PageOffset(std::uint64_t page_number) { return page_number * testsupport::kPageSize; }

}  // namespace keytest
