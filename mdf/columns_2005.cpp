// Column definitions of 2005-and-later files (rows of object 41): one ColumnNode per column row of a kept
// table, with its type, lengths, name, identity seed and increment, and its default and rule bindings. The
// reader ends by running the position readers and the data-page finisher.
#include <algorithm>
#include <array>
#include <cstdio>
#include <map>

#include "mdf/catalog_page.h"
#include "mdf/identity_text.h"
#include "mdf/recovery_engine.h"
#include "platform/text.h"

namespace mdf {

namespace {

constexpr std::uint8_t kColumnRowFixedEnd = 0x2D;
constexpr std::uint8_t kTypeMoney = 60;

}  // namespace

int CRecoveryEngine::ReadColumns2005() {
    std::map<std::int32_t, TableNode*> tables;
    for (auto& table : m_lstTables) tables.emplace(table.m_nObjectId, &table);
    std::map<std::int32_t, RuleNode*> rules;
    for (auto& rule : m_lstRules) rules.emplace(rule.m_nObjectId, &rule);
    std::map<std::int32_t, DefaultNode*> defaults;
    for (auto& def : m_lstDefaults) defaults.emplace(def.m_nObjectId, &def);

    const PageList& list = m_plColumns;
    SendProgress(platform::kProgressStart, static_cast<platform::LPARAM>(list.size()));
    for (std::size_t i = 0; i < list.size(); ++i) {
        const std::uint64_t page = list.m_arrOffsets[i];
        if (m_app.m_bCreatedOn2000) LoadTornBits(page);
        const auto entries = ReadSlotEntries(page, list.m_arrSlotCounts[i]);
        if (StopRequested()) return 0;
        for (std::uint16_t e : entries) {
            if (!IsRecordOffset(e)) continue;  // an empty slot or an entry off the page, not a row
            const std::uint64_t r = page + e;
            if (IsGhostRecord(Read8(r, Fixup::Single))) continue;
            if (Read8(r + 2, Fixup::Single) != kColumnRowFixedEnd) continue;
            // Fixed-part reads stop at the page end; the rest of their buffers stays zero.
            std::array<std::uint8_t, 5> head{};
            ReadAt(r + 4, head.data(), BytesOnPage(e + 4u, head.size()), Fixup::Single);
            const auto object_id = static_cast<std::int32_t>(head[0] | (head[1] << 8) | (head[2] << 16) |
                                                             (static_cast<std::uint32_t>(head[3]) << 24));
            const auto found = tables.find(object_id);
            if (found == tables.end() || head[4] != 0) continue;
            TableNode& table = *found->second;

            std::array<std::uint8_t, 45> f{};
            ReadAt(r + 8, f.data(), BytesOnPage(e + 8u, f.size()), Fixup::Single);
            auto u8 = [&](std::size_t at) { return f[at - 8]; };
            auto u16 = [&](std::size_t at) { return static_cast<std::uint16_t>(f[at - 8] | (f[at - 7] << 8)); };
            auto u32 = [&](std::size_t at) {
                return static_cast<std::uint32_t>(u16(at)) | (static_cast<std::uint32_t>(u16(at + 2)) << 16);
            };

            ColumnNode& column = table.AddColumn(u16(10));
            column.m_nColumnId = u16(10);
            column.m_nColumnOrder = u16(8);
            column.m_nType = u8(14);
            column.m_nUserTypeId = u32(15);
            column.m_nUserType = u32(15);  // kept whole: user type ids of 2005 files run past 255
            column.m_nLength = u16(19);
            column.m_nPrecision = u8(21);
            column.m_nScale = u8(22);
            column.m_nCollationId = u32(23);
            column.m_nStatus = u8(27);
            column.m_nMaxInRowLength = u16(31);
            if (column.m_nType == kTypeMoney && column.m_nMaxInRowLength > 8) column.m_nMaxInRowLength = 8;
            if (column.m_nStatus & 0x10) column.m_bComputed = true;
            if (column.m_nStatus & 0x40) column.m_bPersisted = true;
            if ((column.m_nStatus & 0xF0) == 0x90) column.m_bLayoutFound = true;
            const std::uint32_t default_id = u32(37);
            const std::uint32_t rule_id = u32(41);

            // Name: the first variable column; the identity block follows it as the second.
            const std::uint8_t var_count = u8(49);
            const std::uint16_t name_end = u16(51);
            const std::uint32_t name_start = var_count == 2 ? 55 : 53;
            if (name_end > name_start && e + name_end <= kPageSize) {
                column.m_pszName = platform::Utf16LeToString(ReadBytes(r + name_start, name_end - name_start, Fixup::Single));
            }
            const std::uint32_t block_in_row = std::max<std::uint32_t>(name_end, name_start);
            const std::uint64_t block = r + block_in_row;
            // Bytes of the page from the identity block on: a field of the block that would run past the page
            // is not read.
            const std::size_t block_room = BytesOnPage(e + block_in_row, kPageSize);

            if (var_count == 2) {
                table.m_bHasIdentity = true;
                if (u8(29) != 0) table.m_bIdentityNotForReplication = true;
                if (column.m_nType == kTypeDecimal || column.m_nType == kTypeNumeric) {
                    const std::uint8_t increment_length = block_room > 20 ? Read8(block + 20, Fixup::Single) : 0;
                    if (IsDecimalStorageLength(increment_length) && 23u + increment_length <= block_room) {
                        const std::uint64_t at = block + 23;
                        column.m_strIdentityIncrement = DecimalToText(increment_length, table, static_cast<std::uint32_t>(at),
                                                                      static_cast<std::uint32_t>(at >> 32));
                    }
                    const std::uint8_t seed_length = block_room > 40 ? Read8(block + 40, Fixup::Single) : 0;
                    if (IsDecimalStorageLength(seed_length) && 43u + seed_length <= block_room) {
                        const std::uint64_t at = block + 43;
                        column.m_strIdentitySeed = DecimalToText(seed_length, table, static_cast<std::uint32_t>(at),
                                                                 static_cast<std::uint32_t>(at >> 32));
                    }
                } else {
                    const std::uint8_t length = static_cast<std::uint8_t>(column.m_nMaxInRowLength & 0xFF);
                    if (length <= 8 && 3u * length <= block_room) {
                        std::array<std::uint8_t, 16> values{};
                        ReadAt(block + length, values.data(), 2u * length, Fixup::Single);
                        column.m_strIdentityIncrement = IntegerIdentityText(values.data(), length);
                        column.m_strIdentitySeed = IntegerIdentityText(values.data() + length, length);
                    }
                }
            }

            if (const auto rule = rules.find(static_cast<std::int32_t>(rule_id)); rule != rules.end()) {
                RuleBinding& binding = rule->second->AddBinding();
                binding.m_strTableName = table.m_pszName;
                binding.m_strColumnName = column.m_pszName;
                binding.m_nTableObjectId = table.m_nObjectId;
                binding.m_strSchema = table.m_strSchema;
            }
            if (const auto def = defaults.find(static_cast<std::int32_t>(default_id)); def != defaults.end()) {
                DefaultBinding& binding = def->second->AddBinding();
                binding.m_strTableName = table.m_pszName;
                binding.m_strColumnName = column.m_pszName;
                binding.m_nTableObjectId = table.m_nObjectId;
                binding.m_strSchema = table.m_strSchema;
                binding.m_nDefaultObjectId = static_cast<std::int32_t>(default_id);
            }
            ++table.m_nColumnCount;
        }
        SendProgress(platform::kProgressStep, 0);
        if (StopRequested()) return 0;
    }
    SendProgress(platform::kProgressEnd, 0);
    m_plColumns.clear();

    ReadRowsetRows();
    if (StopRequested()) return 0;
    ReadRowsetColumnRows();
    if (StopRequested()) return 0;
    if (!m_app.m_bSql2008Catalog) {
        ReadColumnLayoutRows();
        if (StopRequested()) return 0;
    }
    FinishCatalog2005();
    return 0;
}

}  // namespace mdf
