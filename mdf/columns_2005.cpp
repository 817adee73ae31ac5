// Column definitions of 2005-and-later files (rows of object 41): one ColumnNode per column row of a kept
// table, with its type, lengths, name, identity seed and increment, and its default and rule bindings. The
// reader ends by running the position readers and the data-page finisher.
#include <array>
#include <cstdio>
#include <map>

#include "mdf/columns_2005.h"
#include "mdf/catalog_page.h"
#include "mdf/recovery_engine.h"
#include "platform/text.h"

namespace mdf {

namespace {

constexpr std::uint8_t kColumnRowFixedEnd = 0x2D;
constexpr std::uint8_t kTypeDecimal = 106;
constexpr std::uint8_t kTypeNumeric = 108;
constexpr std::uint8_t kTypeMoney = 60;

std::u16string Number(std::int64_t v) {
    const std::string s = std::to_string(v);
    return std::u16string(s.begin(), s.end());
}

// A stored decimal value has one of the four storage lengths of its precision ranges.
bool IsDecimalStorageLength(std::uint8_t length) { return length == 5 || length == 9 || length == 13 || length == 17; }

}  // namespace

// The text of an integer identity value of storage length L (little-endian bytes).
std::u16string IntegerIdentityText(const std::uint8_t* bytes, std::uint8_t length) {
    if (length > 8) return {};  // does not fit the 64-bit value: refused
    std::uint64_t v = 0;
    for (std::uint8_t i = 0; i < length; ++i) v |= static_cast<std::uint64_t>(bytes[i]) << (8 * i);
    switch (length) {
        case 4: return Number(static_cast<std::int32_t>(static_cast<std::uint32_t>(v)));
        case 8: return Number(static_cast<std::int64_t>(v));
        case 2: return Number(static_cast<std::int16_t>(static_cast<std::uint16_t>(v)));
        default: return Number(static_cast<std::int64_t>(v));
    }
}

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
            if (e == 0) continue;  // an empty slot, not a row
            const std::uint64_t r = page + e;
            if (IsGhostRecord(Read8(r, Fixup::Single))) continue;
            if (Read8(r + 2, Fixup::Single) != kColumnRowFixedEnd) continue;
            std::array<std::uint8_t, 5> head{};
            ReadAt(r + 4, head.data(), head.size(), Fixup::Single);
            const auto object_id = static_cast<std::int32_t>(head[0] | (head[1] << 8) | (head[2] << 16) |
                                                             (static_cast<std::uint32_t>(head[3]) << 24));
            const auto found = tables.find(object_id);
            if (found == tables.end() || head[4] != 0) continue;
            TableNode& table = *found->second;

            std::array<std::uint8_t, 45> f{};
            ReadAt(r + 8, f.data(), f.size(), Fixup::Single);
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
            const std::uint64_t in_page = r % kPageSize;
            if (name_end > name_start && in_page + name_end <= kPageSize) {
                column.m_pszName = platform::Utf16LeToString(ReadBytes(r + name_start, name_end - name_start, Fixup::Single));
            }
            const std::uint64_t block = r + std::max<std::uint32_t>(name_end, name_start);

            if (var_count == 2) {
                table.m_bHasIdentity = true;
                if (u8(29) != 0) table.m_bIdentityNotForReplication = true;
                if (column.m_nType == kTypeDecimal || column.m_nType == kTypeNumeric) {
                    const std::uint8_t increment_length = Read8(block + 20, Fixup::Single);
                    if (IsDecimalStorageLength(increment_length)) {
                        const std::uint64_t at = block + 23;
                        column.m_strIdentityIncrement = DecimalToText(increment_length, table, static_cast<std::uint32_t>(at),
                                                                      static_cast<std::uint32_t>(at >> 32));
                    }
                    const std::uint8_t seed_length = Read8(block + 40, Fixup::Single);
                    if (IsDecimalStorageLength(seed_length)) {
                        const std::uint64_t at = block + 43;
                        column.m_strIdentitySeed = DecimalToText(seed_length, table, static_cast<std::uint32_t>(at),
                                                                 static_cast<std::uint32_t>(at >> 32));
                    }
                } else {
                    const std::uint8_t length = static_cast<std::uint8_t>(column.m_nMaxInRowLength & 0xFF);
                    if (length <= 8) {
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
            }
            if (const auto def = defaults.find(static_cast<std::int32_t>(default_id)); def != defaults.end()) {
                DefaultBinding& binding = def->second->AddBinding();
                binding.m_strTableName = table.m_pszName;
                binding.m_strColumnName = column.m_pszName;
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
