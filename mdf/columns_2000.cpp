// Column rows of a 2000-format data file (object 3): each becomes a column of every table with its object id,
// with its type, lengths, in-row position, collation, name, identity seed and increment, and the stand-alone
// defaults and rules bound to it. The in-row positions come from the rows, so no position reader follows.
#include <string>
#include <vector>

#include "mdf/catalog_2000.h"
#include "mdf/catalog_page.h"
#include "mdf/decimal_text.h"
#include "mdf/identity_text.h"
#include "mdf/recovery_engine.h"

namespace mdf {

namespace {

std::uint16_t Le16(const std::vector<std::uint8_t>& b, std::size_t i) {
    return static_cast<std::uint16_t>(b[i] | (b[i + 1] << 8));
}
std::uint32_t Le32(const std::vector<std::uint8_t>& b, std::size_t i) {
    return static_cast<std::uint32_t>(b[i]) | (static_cast<std::uint32_t>(b[i + 1]) << 8) |
           (static_cast<std::uint32_t>(b[i + 2]) << 16) | (static_cast<std::uint32_t>(b[i + 3]) << 24);
}

struct ColumnRow2000 {
    std::uint32_t type_info = 0;
    std::uint8_t type = 0;
    std::uint8_t type_status = 0;
    std::uint16_t user_type = 0;
    std::uint16_t length = 0;
    std::uint8_t precision = 0;
    std::uint8_t scale = 0;
    std::uint16_t column_id = 0;
    std::int16_t leaf_offset = 0;
    std::uint8_t bit_position = 0;
    std::uint8_t colstat = 0;
    std::int32_t default_id = 0;
    std::int32_t rule_id = 0;
    std::uint16_t column_order = 0;
    std::uint32_t collation_id = 0;
    std::u16string name;
    bool identity = false;
    std::u16string identity_increment;
    std::u16string identity_seed;
};

// Reads the identity block that follows the name: the increment and the seed. room: the bytes of the page
// from the block on; a field that would run past them is not read.
void ReadIdentityBlock(CRecoveryEngine& engine, std::uint64_t block, std::size_t room, std::uint8_t fixed_end,
                       ColumnRow2000& row) {
    if (row.type == kTypeDecimal || row.type == kTypeNumeric) {
        // Rows of the older 38-byte form keep no storage lengths; their values are always 17 bytes.
        const bool short_form = fixed_end == sql2000::kColumnRowFixedEndShort;
        const std::uint8_t increment_length = short_form ? 17 : (room > 20 ? engine.Read8(block + 20) : 0);
        const std::uint8_t seed_length = short_form ? 17 : (room > 40 ? engine.Read8(block + 40) : 0);
        if (IsDecimalStorageLength(increment_length) && 23u + increment_length <= room) {
            row.identity_increment = DecimalToText(engine.ReadBytes(block + 23, increment_length, Fixup::Single),
                                                   row.precision, row.scale);
        }
        if (IsDecimalStorageLength(seed_length) && 43u + seed_length <= room) {
            row.identity_seed =
                DecimalToText(engine.ReadBytes(block + 43, seed_length, Fixup::Single), row.precision, row.scale);
        }
        return;
    }
    // The values are held in 64 bits; a longer storage length is damage.
    const std::uint8_t length = static_cast<std::uint8_t>(row.length & 0xFF);
    if (length == 0 || length > 8 || 3u * length > room) return;
    const auto values = engine.ReadBytes(block + length, 2u * length, Fixup::Single);
    row.identity_increment = IntegerIdentityText(values.data(), length);
    row.identity_seed = IntegerIdentityText(values.data() + length, length);
}

// Reads a column row at record. False when it is no column row (ghost, wrong fixed part).
bool ReadColumnRow2000(CRecoveryEngine& engine, std::uint64_t record, std::uint32_t record_in_page,
                       std::int32_t& object_id, ColumnRow2000& row) {
    if (IsGhostRecord(engine.Read8(record))) return false;
    const std::uint8_t fixed_end = engine.Read8(record + 2);
    if (fixed_end != sql2000::kColumnRowFixedEnd && fixed_end != sql2000::kColumnRowFixedEndShort) return false;
    object_id = static_cast<std::int32_t>(engine.Read32(record + 4, Fixup::Single));
    bool known = false;
    for (const auto& table : engine.m_lstTables) known = known || table.m_nObjectId == object_id;
    if (!known) return false;

    const bool long_form = fixed_end == sql2000::kColumnRowFixedEnd;
    // Bytes 8 on up to the column count, in one read that stops at the page end (zeros after it).
    std::vector<std::uint8_t> b(long_form ? 48 : 39);
    engine.ReadAt(record + 8, b.data(), BytesOnPage(record_in_page + 8u, b.size()), Fixup::Single);
    row.type_info = Le32(b, 0);
    row.type = b[0];
    row.type_status = b[1];
    row.user_type = Le16(b, 2);
    row.length = Le16(b, 4);
    row.precision = b[6];
    row.scale = b[7];
    row.column_id = Le16(b, 8);
    row.leaf_offset = static_cast<std::int16_t>(Le16(b, 10));
    row.bit_position = b[12];
    row.colstat = b[14];
    row.default_id = static_cast<std::int32_t>(Le32(b, 16));
    row.rule_id = static_cast<std::int32_t>(Le32(b, 20));
    row.column_order = Le16(b, 26);
    if (long_form) row.collation_id = Le32(b, 30);
    const std::uint8_t column_count = b[fixed_end - 8];

    const auto place = sql2000::ColumnRowNamePlace(fixed_end, column_count, (row.colstat & 1) != 0);
    const std::uint8_t variable_count = static_cast<std::uint8_t>(engine.Read16(record + place.variable_count_at, Fixup::Single));
    const std::uint16_t name_end = engine.Read16(record + place.end_offset_at, Fixup::Single);
    // A column whose name is damaged is still a column of its table: its values can be read without the name.
    const bool named = sql2000::ReadRowName(engine, record, record_in_page, place.name_start, name_end, row.name);
    row.identity = variable_count == 2;
    if (row.identity && named) {
        ReadIdentityBlock(engine, record + name_end, BytesOnPage(record_in_page + name_end, kPageSize), fixed_end, row);
    }
    return true;
}

void AddColumn2000(CRecoveryEngine& engine, TableNode& table, const ColumnRow2000& row) {
    ColumnNode& column = table.AddColumn(row.column_id);
    column.m_dwTypeInfo2000 = row.type_info;
    column.m_nType = row.type;
    column.m_nStatus = row.type_status;
    column.m_nUserType = row.user_type;
    column.m_nMaxInRowLength = row.length;
    column.m_nPrecision = row.precision;
    column.m_nScale = row.scale;
    column.m_nColumnId = row.column_id;
    column.m_nLeafOffset = row.leaf_offset;
    column.m_nBitPos = row.bit_position;
    column.m_nColStat = row.colstat & 0x0F;
    column.m_nColumnOrder = row.column_order;
    column.m_nCollationId = row.collation_id;
    column.m_pszName = row.name;
    if (row.identity) {
        table.m_bHasIdentity = true;
        if (row.colstat == 9) table.m_bIdentityNotForReplication = true;
        column.m_strIdentityIncrement = row.identity_increment;
        column.m_strIdentitySeed = row.identity_seed;
    }
    // No object has id 0: an unbound column looks nothing up.
    if (row.rule_id != 0) {
        for (auto& rule : engine.m_lstRules) {
            if (rule.m_nObjectId != row.rule_id) continue;
            auto& binding = rule.AddBinding();
            binding.m_strTableName = table.m_pszName;
            binding.m_strColumnName = row.name;
            binding.m_nTableObjectId = table.m_nObjectId;
            break;
        }
    }
    if (row.default_id != 0) {
        for (auto& fallback : engine.m_lstDefaults) {
            if (fallback.m_nObjectId != row.default_id) continue;
            auto& binding = fallback.AddBinding();
            binding.m_strTableName = table.m_pszName;
            binding.m_strColumnName = row.name;
            binding.m_nTableObjectId = table.m_nObjectId;
            binding.m_nDefaultObjectId = row.default_id;
            break;
        }
    }
    ++table.m_nColumnCount;
}

}  // namespace

int CRecoveryEngine::ReadColumns2000() {
    const std::size_t pages = m_plColumns.size();
    SendProgress(platform::kProgressStart, static_cast<platform::LPARAM>(pages));
    for (std::size_t i = 0; i < pages; ++i) {
        const std::uint64_t page = m_plColumns.m_arrOffsets[i];
        const std::uint64_t slot_count = m_plColumns.m_arrSlotCounts[i];
        LoadTornBits(page);
        const auto entries = ReadSlotEntries(page, slot_count);
        if (StopRequested()) return 0;
        for (const std::uint16_t entry : entries) {
            if (!sql2000::IsRecordSlot(entry, slot_count)) continue;
            std::int32_t object_id = 0;
            ColumnRow2000 row;
            if (ReadColumnRow2000(*this, page + entry, entry, object_id, row)) {
                // Two tables may carry one object id (a row met twice): each gets the column.
                for (auto& table : m_lstTables) {
                    if (table.m_nObjectId == object_id) AddColumn2000(*this, table, row);
                }
            }
            if (StopRequested()) return 0;
        }
        SendProgress(platform::kProgressStep, 0);
        if (StopRequested()) return 0;
    }
    SendProgress(platform::kProgressEnd, 0);
    m_plColumns.clear();
    FinishCatalog2000();
    return 0;
}

}  // namespace mdf
