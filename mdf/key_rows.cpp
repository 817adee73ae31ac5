// Parsers of the key and index rows, the record-area bounds, and the walks over the index-statistics, index
// (2000) and index-column pages that the primary-key, index and unique-key readers share.
#include "mdf/key_rows.h"

#include <algorithm>

#include "mdf/catalog_page.h"
#include "mdf/recovery_engine.h"
#include "platform/text.h"

namespace mdf {

namespace {

std::uint32_t Get8(std::span<const std::uint8_t> b, std::size_t at) { return at < b.size() ? b[at] : 0; }
std::uint32_t Get16(std::span<const std::uint8_t> b, std::size_t at) { return Get8(b, at) | (Get8(b, at + 1) << 8); }
std::uint32_t Get32(std::span<const std::uint8_t> b, std::size_t at) { return Get16(b, at) | (Get16(b, at + 2) << 16); }

}  // namespace

IndexStatsRow ParseIndexStatsRow(std::span<const std::uint8_t> bytes) {
    // bytes[0] is record offset 1.
    IndexStatsRow row;
    row.m_nObjectId = static_cast<std::int32_t>(Get32(bytes, 4 - kIndexStatsReadAt));
    row.m_nIndexId = Get32(bytes, 8 - kIndexStatsReadAt);
    row.m_nStatus0 = static_cast<std::uint8_t>(Get8(bytes, 12 - kIndexStatsReadAt));
    row.m_nStatus1 = static_cast<std::uint8_t>(Get8(bytes, 13 - kIndexStatsReadAt));
    row.m_nFillFactor = static_cast<std::uint8_t>(Get8(bytes, 20 - kIndexStatsReadAt));
    return row;
}

IndexColumnRow ParseIndexColumnRow(std::span<const std::uint8_t> bytes) {
    // bytes[0] is record offset 2.
    IndexColumnRow row;
    row.m_nFixedEnd = static_cast<std::uint8_t>(Get8(bytes, 0));
    row.m_nObjectId = static_cast<std::int32_t>(Get32(bytes, 4 - kIndexColumnReadAt));
    row.m_nIndexId = Get32(bytes, 8 - kIndexColumnReadAt);
    row.m_nIndexColumnId = Get32(bytes, 12 - kIndexColumnReadAt);
    row.m_nStatus = Get32(bytes, 16 - kIndexColumnReadAt);
    row.m_nColumnId = Get32(bytes, 20 - kIndexColumnReadAt);
    row.m_nOrdinal = static_cast<std::uint16_t>(Get16(bytes, 24 - kIndexColumnReadAt));
    return row;
}

IndexRow2000 ParseIndexRow2000(std::span<const std::uint8_t> bytes) {
    // bytes[0] is record offset 4.
    IndexRow2000 row;
    row.m_nObjectId = static_cast<std::int32_t>(Get32(bytes, 4 - kIndexRow2000ReadAt));
    row.m_nStatus = Get32(bytes, 8 - kIndexRow2000ReadAt);
    row.m_nIndexId = static_cast<std::uint16_t>(Get16(bytes, 18 - kIndexRow2000ReadAt));
    row.m_nKeyCount = static_cast<std::uint16_t>(Get16(bytes, 28 - kIndexRow2000ReadAt));
    row.m_nFillFactor = static_cast<std::uint8_t>(Get8(bytes, 62 - kIndexRow2000ReadAt));
    return row;
}

std::uint32_t RecordAreaEnd(std::uint64_t slot_count) {
    if (slot_count > kMaxSlotEntries) return static_cast<std::uint32_t>(kPageSize);
    return static_cast<std::uint32_t>(kPageSize - 2 * slot_count);
}

TableNode* FindFirstTable(std::list<TableNode>& tables, std::int32_t object_id) {
    for (auto& table : tables) {
        if (table.m_nObjectId == object_id) return &table;
    }
    return nullptr;
}

std::u16string ReadIndexStatsName(CRecoveryEngine& engine, std::uint64_t page, std::uint32_t entry,
                                  std::uint32_t area_end) {
    const std::uint64_t record = page + entry;
    const std::uint16_t end = engine.Read16(record + kIndexNameEndOffset, Fixup::Single);
    if (end < kIndexNameStart || !RecordHolds(entry, end, area_end)) return {};
    return platform::Utf16LeToString(engine.ReadBytes(record + kIndexNameStart, end - kIndexNameStart, Fixup::Single));
}

KeysField2000 ReadKeysField2000(CRecoveryEngine& engine, std::uint64_t page, std::uint32_t entry,
                                std::uint32_t area_end) {
    const std::uint64_t record = page + entry;
    const std::uint16_t keys_end = engine.Read16(record + kKeysEndOffset2000, Fixup::Single);
    const std::uint16_t name_end = engine.Read16(record + kNameEndOffset2000, Fixup::Single);
    KeysField2000 field;
    if (keys_end < kKeysStart2000 || !RecordHolds(entry, keys_end, area_end)) return field;
    field.m_nEntries = (keys_end - kKeysStart2000) / kKeyEntrySize2000;
    if (name_end >= keys_end && RecordHolds(entry, name_end, area_end)) {
        field.m_strName =
            platform::Utf16LeToString(engine.ReadBytes(record + keys_end, name_end - keys_end, Fixup::Single));
    }
    return field;
}

KeyEntry2000 ReadKeyEntry2000(CRecoveryEngine& engine, std::uint64_t record, std::uint32_t k) {
    const std::uint64_t at = record + kKeysStart2000 + static_cast<std::uint64_t>(k) * kKeyEntrySize2000;
    KeyEntry2000 key;
    key.m_nColumnId = engine.Read16(at + 16, Fixup::Single);
    key.m_nFlags = engine.Read16(at + 30, Fixup::Single);
    return key;
}

bool WalkIndexStatsRows(CRecoveryEngine& engine,
                        const std::function<void(const CatalogRowPlace&, const IndexStatsRow&)>& visit) {
    const PageList& pages = engine.m_plIndexStats;
    engine.SendProgress(platform::kProgressStart, static_cast<platform::LPARAM>(pages.size()));
    for (std::size_t p = 0; p < pages.size(); ++p) {
        const std::uint64_t page = pages.m_arrOffsets[p];
        const std::uint64_t slot_count = pages.m_arrSlotCounts[p];
        if (engine.m_app.m_bCreatedOn2000) engine.LoadTornBits(page);
        const auto entries = engine.ReadSlotEntries(page, slot_count);
        const std::uint32_t area_end = RecordAreaEnd(slot_count);
        for (const std::uint16_t entry : entries) {
            if (!RecordHolds(entry, kIndexNameStart, area_end)) continue;
            const CatalogRowPlace place{page, entry, area_end};
            if (IsGhostRecord(engine.Read8(place.Record()))) continue;
            visit(place, ParseIndexStatsRow(
                             engine.ReadBytes(place.Record() + kIndexStatsReadAt, kIndexStatsReadSize, Fixup::Single)));
        }
        engine.SendProgress(platform::kProgressStep, 0);
        if (engine.StopRequested()) return false;
    }
    engine.SendProgress(platform::kProgressEnd, 0);
    return true;
}

bool WalkIndexRows2000(CRecoveryEngine& engine,
                       const std::function<void(const CatalogRowPlace&, const IndexRow2000&)>& visit) {
    const PageList& pages = engine.m_plIndexes;
    engine.SendProgress(platform::kProgressStart, static_cast<platform::LPARAM>(pages.size()));
    for (std::size_t p = 0; p < pages.size(); ++p) {
        const std::uint64_t page = pages.m_arrOffsets[p];
        const std::uint64_t slot_count = pages.m_arrSlotCounts[p];
        engine.LoadTornBits(page);
        const auto entries = engine.ReadSlotEntries(page, slot_count);
        if (engine.StopRequested()) return false;
        const std::uint32_t area_end = RecordAreaEnd(slot_count);
        for (const std::uint16_t entry : entries) {
            if (!RecordHolds(entry, kKeysStart2000, area_end)) continue;
            const CatalogRowPlace place{page, entry, area_end};
            const std::uint64_t record = place.Record();
            if (IsGhostRecord(engine.Read8(record)) || engine.Read8(record + 2) != kIndexRowFixedEnd2000) continue;
            visit(place,
                  ParseIndexRow2000(engine.ReadBytes(record + kIndexRow2000ReadAt, kIndexRow2000ReadSize, Fixup::Single)));
            if (engine.StopRequested()) return false;
        }
        engine.SendProgress(platform::kProgressStep, 0);
        if (engine.StopRequested()) return false;
    }
    engine.SendProgress(platform::kProgressEnd, 0);
    return true;
}

bool WalkIndexColumnRows(CRecoveryEngine& engine, std::int32_t object_id, std::uint32_t index_id,
                         const std::function<void()>& on_page,
                         const std::function<void(const IndexColumnRow&)>& visit) {
    auto& app = engine.m_app;
    const auto saved_torn = app.m_abTornBits;
    const PageList& pages = engine.m_plIndexes;
    for (std::size_t p = 0; p < pages.size(); ++p) {
        const std::uint64_t page = pages.m_arrOffsets[p];
        const std::uint64_t slot_count = pages.m_arrSlotCounts[p];
        engine.LoadTornBits(page);
        const auto entries = engine.ReadSlotEntries(page, slot_count);
        if (engine.StopRequested()) return false;
        on_page();
        const std::uint32_t area_end = RecordAreaEnd(slot_count);
        for (const std::uint16_t entry : entries) {
            if (RecordHolds(entry, kIndexColumnReadAt + kIndexColumnReadSize, area_end)) {
                const std::uint64_t record = page + entry;
                if (!IsGhostRecord(engine.Read8(record))) {
                    const auto bytes =
                        engine.ReadBytes(record + kIndexColumnReadAt, kIndexColumnReadSize, Fixup::Single);
                    const IndexColumnRow row = ParseIndexColumnRow(bytes);
                    if (IsIndexColumnFixedEnd(row.m_nFixedEnd) && row.m_nObjectId == object_id &&
                        row.m_nIndexId == index_id) {
                        visit(row);
                    }
                }
            }
            if (engine.StopRequested()) return false;
        }
    }
    app.m_abTornBits = saved_torn;
    return true;
}

}  // namespace mdf
