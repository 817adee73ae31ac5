// Schema and object rows of the 2005-and-later catalogue, shared by the full and the SharePoint readers.
#include "mdf/object_rows_2005.h"

#include <array>

#include "mdf/catalog_page.h"
#include "platform/text.h"

namespace mdf {

namespace {

constexpr std::uint8_t kObjectRowFixedEnd = 0x2C;
constexpr std::uint8_t kObjectRowFixedEnd2012 = 0x30;

// UTF-16 text of `length` bytes at pos, or empty when the stored length is not positive or the text would
// run past the end of the record's page.
std::u16string ReadNameBytes(CRecoveryEngine& engine, std::uint64_t record, std::uint32_t start, std::int32_t end) {
    const std::int64_t length = static_cast<std::int64_t>(end) - static_cast<std::int64_t>(start);
    const std::uint64_t in_page = record % kPageSize;
    if (length <= 0 || in_page + static_cast<std::uint64_t>(end) > kPageSize) return {};
    const auto bytes = engine.ReadBytes(record + start, static_cast<std::size_t>(length), Fixup::Single);
    return platform::Utf16LeToString(bytes);
}

}  // namespace

bool ReadSchemaRows2005(CRecoveryEngine& engine) {
    const PageList& list = engine.m_plSchemas;
    for (std::size_t i = 0; i < list.size(); ++i) {
        if (engine.StopRequested()) return false;
        const std::uint64_t page = list.m_arrOffsets[i];
        // Pages of the schema table's other indexes carry the same object id; only index 1 holds the rows.
        if (engine.Read8(page + kPageHeaderIndexIdOffset) != 1) continue;
        engine.LoadTornBits(page);
        for (std::uint16_t e : engine.ReadSlotEntries(page, list.m_arrSlotCounts[i])) {
            if (!IsRecordOffset(e)) continue;
            const std::uint64_t record = page + e;
            if (IsGhostRecord(engine.Read8(record, Fixup::Single))) continue;
            OwnerNode& owner = engine.AddOwner();
            owner.m_nId = engine.Read16(record + 5, Fixup::Single);
            const std::uint16_t end = engine.Read16(record + 40, Fixup::Single);
            owner.m_strName = ReadNameBytes(engine, record, 42, end);
        }
    }
    return true;
}

std::u16string ReadObjectName2005(CRecoveryEngine& engine, std::uint64_t record) {
    const bool wide = engine.App().m_bSql2012Catalog;
    const std::uint8_t columns = engine.Read8(record + (wide ? 48 : 44), Fixup::Single);
    const std::uint32_t end_at = (columns < 16 ? 50u : 52u) + (wide ? 4u : 0u);
    const std::uint32_t start = end_at + 2;
    const std::uint16_t end = engine.Read16(record + end_at, Fixup::Single);
    return ReadNameBytes(engine, record, start, end);
}

bool ReadObjectRows2005(CRecoveryEngine& engine, bool step_every_page,
                        const std::function<void(const ObjectRow2005&)>& handle_row) {
    auto& app = engine.App();
    app.m_nTableCount = app.m_nProcedureCount = app.m_nFunctionCount = app.m_nDefaultCount = 0;
    app.m_nViewCount = app.m_nRuleCount = app.m_nTriggerCount = 0;
    const PageList& list = engine.m_plObjects;
    engine.SendProgress(platform::kProgressStart, static_cast<platform::LPARAM>(list.size()));
    for (std::size_t i = 0; i < list.size(); ++i) {
        const std::uint64_t page = list.m_arrOffsets[i];
        engine.LoadTornBits(page);
        const auto entries = engine.ReadSlotEntries(page, list.m_arrSlotCounts[i]);
        if (engine.StopRequested()) return false;
        for (std::uint16_t e : entries) {
            // An empty slot (offset 0 would read the page header as a row) or an entry off the page.
            if (!IsRecordOffset(e)) continue;
            const std::uint64_t record = page + e;
            if (IsGhostRecord(engine.Read8(record, Fixup::Single))) continue;
            const std::uint8_t fixed_end = engine.Read8(record + 2, Fixup::Single);
            if (fixed_end != kObjectRowFixedEnd && fixed_end != kObjectRowFixedEnd2012) continue;
            std::array<std::uint8_t, 34> f{};  // zeros past the page end
            engine.ReadAt(record + 4, f.data(), BytesOnPage(e + 4u, f.size()), Fixup::Single);
            auto u16 = [&](std::size_t at) { return static_cast<std::uint16_t>(f[at - 4] | (f[at - 3] << 8)); };
            auto u32 = [&](std::size_t at) {
                return static_cast<std::uint32_t>(u16(at)) | (static_cast<std::uint32_t>(u16(at + 2)) << 16);
            };
            ObjectRow2005 row;
            row.record = record;
            row.object_id = static_cast<std::int32_t>(u32(4));
            row.schema_id = u16(8);
            row.status_byte14 = f[14 - 4];
            row.status_byte15 = f[15 - 4];
            row.status_high = u16(15);
            row.status = u32(13);
            row.type[0] = f[17 - 4];
            row.type[1] = f[18 - 4];
            row.parent_id = static_cast<std::int32_t>(u32(19));
            row.property16 = u16(24);
            // Every object the rows hold, whatever its kind: the checks of the catalogue against itself and
            // against the pages ask for them.
            engine.m_catalogue.objects[row.object_id] = {row.type[0], row.type[1]};
            handle_row(row);
        }
        if (step_every_page || i % 2 == 0) engine.SendProgress(platform::kProgressStep, 0);
        if (engine.StopRequested()) return false;
    }
    engine.SendProgress(platform::kProgressEnd, 0);
    engine.m_plObjects.clear();
    return true;
}

ModuleSettings ModuleSettingsOf2005(std::uint32_t status) {
    ModuleSettings settings;
    settings.m_bKnown = true;
    settings.m_bAnsiNulls = (status & 0x40000) != 0;
    settings.m_bQuotedIdentifier = (status & 0x80000) != 0;
    return settings;
}

std::map<std::uint16_t, const OwnerNode*> IndexOwners(const CRecoveryEngine& engine) {
    std::map<std::uint16_t, const OwnerNode*> owners;
    for (const auto& owner : engine.m_lstOwners) owners.emplace(owner.m_nId, &owner);  // the first one stays
    return owners;
}

std::u16string SchemaNameForTable(const std::u16string& owner_name) {
    static constexpr std::u16string_view kReserved[] = {
        u"PRIMARY",          u"db_accessadmin",    u"db_backupoperator", u"db_datareader", u"db_datawriter",
        u"db_ddladmin",      u"db_denydatareader", u"db_denydatawriter", u"db_owner",      u"db_securityadmin",
        u"dbo",              u"guest",             u"INFORMATION_SCHEMA", u"sys"};
    if (owner_name.empty()) return u"dbo";
    for (auto reserved : kReserved) {
        if (platform::EqualsNoCase(owner_name, reserved)) return u"dbo";
    }
    return owner_name;
}

void AddTableFromRow2005(CRecoveryEngine& engine, const std::map<std::uint16_t, const OwnerNode*>& owners,
                         const ObjectRow2005& row, const std::u16string& name) {
    // The schemas every database has keep their ids: a table of one of them is read even when the schema's row
    // is lost. A table of another schema whose row is lost is named as lost.
    static constexpr std::u16string_view kFixedSchemas[] = {u"dbo", u"guest", u"INFORMATION_SCHEMA", u"sys"};
    const auto owner = owners.find(row.schema_id);
    if (owner == owners.end() && (row.schema_id == 0 || row.schema_id > std::size(kFixedSchemas))) {
        engine.m_catalogue.unlisted_tables.push_back({row.object_id, row.schema_id, name});
        return;
    }
    const std::u16string owner_name = owner != owners.end() ? owner->second->m_strName
                                                            : std::u16string(kFixedSchemas[row.schema_id - 1]);
    // Tables of the sys schema (id 4 in every database) are the server's own (files of 2012 and later list some
    // as user tables): no user table lives there. A user's schema of another id is read whatever its name.
    if (row.schema_id == 4) return;
    const std::u16string schema = SchemaNameForTable(owner_name);
    TableNode& table = engine.AddTable();
    table.m_strSchema = schema;
    table.m_nObjectId = row.object_id;
    table.m_nSchemaId = row.schema_id;
    table.m_pszName = schema + u"." + name;
    ++engine.App().m_nTableCount;
}

}  // namespace mdf
