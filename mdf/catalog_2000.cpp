// The catalogue of a 2000-format data file: the object rows (object 1) become the engine's tables, stored
// objects, foreign-key and check-constraint rows; the column reader then completes the tables.
#include "mdf/catalog_2000.h"

#include <algorithm>

#include "mdf/catalog_page.h"
#include "mdf/recovery_engine.h"
#include "platform/text.h"

namespace mdf {

namespace sql2000 {

bool IsRecordSlot(std::uint16_t entry, std::uint64_t slot_count) {
    const std::uint64_t slots = std::min<std::uint64_t>(slot_count, kMaxSlotEntries);
    return entry >= kRecordAreaStart && entry < kPageSize - 2 * slots;
}

bool ReadRowName(CRecoveryEngine& engine, std::uint64_t record, std::uint32_t record_in_page,
                 std::uint32_t name_start, std::uint16_t end_offset, std::u16string& name) {
    name.clear();
    if (end_offset <= name_start || record_in_page + end_offset > kPageSize) return false;
    const std::size_t units = (end_offset - name_start) / 2;
    if (units == 0) return false;
    const auto bytes = engine.ReadBytes(record + name_start, units * 2, Fixup::Single);
    name.resize(units);
    for (std::size_t i = 0; i < units; ++i) {
        name[i] = static_cast<char16_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
    }
    return true;
}

}  // namespace sql2000

namespace {

constexpr std::uint16_t TypeCode(char a, char b) {
    return static_cast<std::uint16_t>(static_cast<std::uint8_t>(a) | (static_cast<std::uint8_t>(b) << 8));
}

// Reads one object row and files it by its type code. True when it created a node or an array element.
bool ReadObjectRow2000(CRecoveryEngine& engine, std::uint64_t record, std::uint32_t record_in_page) {
    if (IsGhostRecord(engine.Read8(record))) return false;
    if (engine.Read8(record + 2) != sql2000::kObjectRowFixedEnd) return false;
    const auto object_id = static_cast<std::int32_t>(engine.Read32(record + 4, Fixup::Single));
    const std::uint16_t type = static_cast<std::uint16_t>(engine.Read32(record + 8, Fixup::Single));
    // Every object the rows hold, whatever its kind: the checks of the catalogue against the pages ask for them.
    engine.m_catalogue.objects[object_id] = {static_cast<char16_t>(type & 0xFF), static_cast<char16_t>(type >> 8)};

    auto read_name = [&](std::u16string& name) {
        const auto place = sql2000::ObjectRowNamePlace(engine.Read8(record + 42));
        const std::uint16_t end = engine.Read16(record + place.end_offset_at, Fixup::Single);
        return sql2000::ReadRowName(engine, record, record_in_page, place.name_start, end, name);
    };
    auto& app = engine.m_app;
    std::u16string name;
    // The object's 32-bit status: ANSI_NULLS (0x20000000) and QUOTED_IDENTIFIER (0x40000000) of a module as it
    // was created, and for a trigger, disabled (0x800).
    auto module_settings = [&] {
        const std::uint32_t status = engine.Read32(record + 16, Fixup::Single);
        ModuleSettings settings;
        settings.m_bKnown = true;
        settings.m_bAnsiNulls = (status & 0x20000000u) != 0;
        settings.m_bQuotedIdentifier = (status & 0x40000000u) != 0;
        return settings;
    };

    switch (type) {
        case TypeCode('U', ' '): {
            if (!read_name(name)) return false;
            if (platform::EqualsNoCase(name, u"dtproperties")) return false;
            auto& table = engine.AddTable();
            table.m_nObjectId = object_id;
            table.m_pszName = name;
            table.m_nColumnCount = 0;
            ++app.m_nTableCount;
            return true;
        }
        case TypeCode('P', ' '): {
            if (!read_name(name)) return false;
            auto& procedure = engine.AddProcedure();
            procedure.m_strName = name;
            procedure.m_nObjectId = object_id;
            procedure.m_settings = module_settings();
            ++app.m_nProcedureCount;
            return true;
        }
        case TypeCode('F', 'N'):
        case TypeCode('I', 'F'):
        case TypeCode('T', 'F'): {
            if (!read_name(name)) return false;
            auto& function = engine.AddFunction();
            function.m_pszName = name;
            function.m_nObjectId = object_id;
            function.m_settings = module_settings();
            ++app.m_nFunctionCount;
            return true;
        }
        case TypeCode('D', ' '): {
            const auto parent = static_cast<std::int32_t>(engine.Read32(record + 28, Fixup::Single));
            const std::uint16_t parent_column = engine.Read16(record + 14, Fixup::Single);
            const std::uint16_t status_high = engine.Read16(record + 16, Fixup::Single);
            if (!read_name(name)) return false;
            auto& fallback = engine.AddDefault();
            fallback.m_pszName = name;
            fallback.m_nObjectId = object_id;
            fallback.m_nParentObjectId = parent;
            fallback.m_nParentColumnId = parent_column;
            fallback.m_nStatusHigh = status_high;
            ++app.m_nDefaultCount;
            return true;
        }
        case TypeCode('R', ' '): {
            if (!read_name(name)) return false;
            auto& rule = engine.AddRule();
            rule.m_pszName = name;
            rule.m_nObjectId = object_id;
            ++app.m_nRuleCount;
            return true;
        }
        case TypeCode('V', ' '): {
            // System views are part of every database; the target server has its own.
            if (engine.Read8(record + 19) >= 0x80) return false;
            if (!read_name(name)) return false;
            auto& view = engine.AddView();
            view.m_pszName = name;
            view.m_nObjectId = object_id;
            view.m_settings = module_settings();
            ++app.m_nViewCount;
            return true;
        }
        case TypeCode('T', 'R'): {
            if (!read_name(name)) return false;
            auto& trigger = engine.AddTrigger();
            trigger.m_pszName = name;
            trigger.m_nObjectId = object_id;
            trigger.m_settings = module_settings();
            trigger.m_bDisabled = (engine.Read32(record + 16, Fixup::Single) & 0x800u) != 0;
            ++app.m_nTriggerCount;
            return true;
        }
        case TypeCode('F', ' '): {
            const std::uint8_t status = engine.Read8(record + 17);
            // Read with restoration like every other multi-byte field: a torn byte here would tie the key to
            // the wrong table.
            const auto parent = static_cast<std::int32_t>(engine.Read32(record + 28, Fixup::Single));
            if (!read_name(name)) return false;
            auto& key = engine.m_arrForeignKeys2000.emplace_back();
            key.m_strName = name;
            key.m_nObjectId = object_id;
            key.m_nStatus = status;
            key.m_nParentObjectId = parent;
            return true;
        }
        case TypeCode('C', ' '): {
            const auto parent = static_cast<std::int32_t>(engine.Read32(record + 28, Fixup::Single));
            const std::uint8_t status = engine.Read8(record + 17);
            if (!read_name(name)) return false;
            auto& check = engine.m_arrCheckConstraints.emplace_back();
            check.m_strName = name;
            check.m_nObjectId = object_id;
            check.m_nParentObjectId = parent;
            check.m_nStatus = status;
            return true;
        }
        default:
            return false;
    }
}

}  // namespace

int CRecoveryEngine::ReadCatalog2000() {
    if (!ScanPages2000()) return 0;

    m_app.m_nTableCount = m_app.m_nProcedureCount = m_app.m_nFunctionCount = 0;
    m_app.m_nDefaultCount = m_app.m_nViewCount = m_app.m_nRuleCount = m_app.m_nTriggerCount = 0;
    m_app.m_nTopSiteCount = m_app.m_nSubSiteCount = m_app.m_nListCount = 0;
    m_app.m_nFolderCount = m_app.m_nDocumentCount = 0;

    const std::size_t pages = m_plObjects.size();
    SendProgress(platform::kProgressStart, static_cast<platform::LPARAM>(pages));
    int result = 0;
    for (std::size_t i = 0; i < pages; ++i) {
        const std::uint64_t page = m_plObjects.m_arrOffsets[i];
        const std::uint64_t slot_count = m_plObjects.m_arrSlotCounts[i];
        LoadTornBits(page);
        const auto entries = ReadSlotEntries(page, slot_count);
        if (StopRequested()) return 0;
        for (const std::uint16_t entry : entries) {
            if (!sql2000::IsRecordSlot(entry, slot_count)) continue;
            if (ReadObjectRow2000(*this, page + entry, entry)) result = 1;
        }
        SendProgress(platform::kProgressStep, 0);
        if (StopRequested()) return 0;
    }
    SendProgress(platform::kProgressEnd, 0);
    m_plObjects.clear();

    ReadColumns2000();
    // A stop inside the column reader or the allocation walk leaves tables without columns or pages: that is
    // a stopped scan, not a complete catalogue.
    if (m_app.m_bStopJob.load()) {
        StopRequested();
        return 0;
    }
    return result;
}

}  // namespace mdf
