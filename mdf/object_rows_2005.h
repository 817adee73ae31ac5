// Rows of the 2005-and-later catalogue that both the full reader and the SharePoint reader read: schema rows
// (object 64) into the owner list, and object rows (object 34) handed one by one to the reader that keeps them.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>

#include "mdf/recovery_engine.h"

namespace mdf {

// The fixed part of an object row (record offsets 4 to 37) and where the row lies.
struct ObjectRow2005 {
    std::uint64_t record = 0;  // absolute file offset of the record
    std::int32_t object_id = 0;
    std::uint16_t schema_id = 0;
    std::uint8_t status_byte14 = 0;
    std::uint8_t status_byte15 = 0;
    std::uint16_t status_high = 0;  // 16-bit value at 15
    std::uint32_t status = 0;       // the whole 32-bit status at 13 (bytes 13 to 16)
    char16_t type[2] = {0, 0};
    std::int32_t parent_id = 0;
    std::uint16_t property16 = 0;  // 16-bit value at 24 (a default's parent column id)
    bool TypeIs(const char* code) const { return type[0] == char16_t(code[0]) && type[1] == char16_t(code[1]); }
};

// Reads the schema rows of m_plSchemas (index pages passed over) into the owner list. False when stopped.
bool ReadSchemaRows2005(CRecoveryEngine& engine);

// Walks the object rows of m_plObjects: counters reset, progress sent (a step after every page, or after every
// second page when step_every_page is false), ghosts and foreign rows skipped, every other row handed to
// handle_row. False when stopped (then the end message is not sent and m_plObjects is kept).
bool ReadObjectRows2005(CRecoveryEngine& engine, bool step_every_page,
                        const std::function<void(const ObjectRow2005&)>& handle_row);

// What the status of a module's row says (2005 and later): ANSI_NULLS (0x40000) and QUOTED_IDENTIFIER (0x80000)
// as the module was created with, and for a trigger, disabled (0x100).
ModuleSettings ModuleSettingsOf2005(std::uint32_t status);
constexpr std::uint32_t kTriggerDisabled2005 = 0x100;

// The object's name (the row's first variable column); empty when its stored length does not fit the page.
std::u16string ReadObjectName2005(CRecoveryEngine& engine, std::uint64_t record);

// The first owner of each schema id, for the table rule's lookups.
std::map<std::uint16_t, const OwnerNode*> IndexOwners(const CRecoveryEngine& engine);

// The table rule of a "U " row: looks up the owner (none: no table), maps the reserved schema names to "dbo",
// appends the TableNode and counts it.
void AddTableFromRow2005(CRecoveryEngine& engine, const std::map<std::uint16_t, const OwnerNode*>& owners,
                         const ObjectRow2005& row, const std::u16string& name);

// "dbo" for an empty owner name and the reserved schema and role names; the owner's name otherwise.
std::u16string SchemaNameForTable(const std::u16string& owner_name);

}  // namespace mdf
