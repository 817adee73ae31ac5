// The catalogue as the engine holds it: tables with their columns and data pages, stored objects, owners,
// statistics, index columns, keys and constraint rows. Plain records owned by standard containers; a table's
// column list stays sorted by column id.
#pragma once

#include <cstdint>
#include <list>
#include <string>
#include <vector>

#include "mdf/table_losses.h"

namespace mdf {

struct ColumnNode {
    std::uint32_t m_dwTypeInfo2000 = 0;  // 2000 files: type code, type status, 16-bit user type
    std::uint8_t m_nType = 0;            // system type code
    std::uint8_t m_nStatus = 0;          // low byte of the catalogue status; bit 0 = NOT NULL
    std::uint32_t m_nUserType = 0;       // user type (kept at full width)
    std::uint16_t m_nMaxInRowLength = 0;
    std::uint16_t m_nLength = 0;
    std::uint8_t m_nPrecision = 0;
    std::uint8_t m_nScale = 0;
    std::int16_t m_nLeafOffset = 0;      // fixed: offset from the record start; variable: negative ordinal; 0 unknown
    std::uint8_t m_nBitPos = 0;
    std::uint8_t m_nColStat = 0;
    std::uint32_t m_nCollationId = 0;
    std::uint16_t m_nColumnId = 0;
    std::uint16_t m_nColumnOrder = 0;
    bool m_bLayoutFound = false;
    // Its in-row place was read from the catalogue's rowset-column (or column-layout) row, not computed.
    bool m_bPlacedByCatalogue = false;
    std::u16string m_pszName;
    std::uint32_t m_nUserTypeId = 0;
    std::uint16_t m_nPhysicalColumn = 0;
    std::uint16_t m_nRowsetColumnId = 0;
    bool m_bComputed = false;
    std::u16string m_strIdentityIncrement;
    std::u16string m_strIdentitySeed;
    bool m_bPersisted = false;
};

struct DataPageNode {
    std::uint64_t m_nPageOffset = 0;
};

// The offsets of the listed pages, in list order.
inline std::vector<std::uint64_t> PageOffsets(const std::vector<DataPageNode>& pages) {
    std::vector<std::uint64_t> offsets;
    offsets.reserve(pages.size());
    for (const auto& page : pages) offsets.push_back(page.m_nPageOffset);
    return offsets;
}

// One in-row allocation unit of a 2005-or-later table: the object id that the unit's pages carry in their
// header.
struct AllocUnitNode {
    std::uint32_t m_nObjectId = 0;
    // The index-id word the unit's pages carry at header offset 6 (bytes 6 and 7 of the unit id): units of
    // different tables can share the object id part.
    std::uint16_t m_nIndexWord = 0;
    // The page number of the unit's first allocation map, as its row gives it (0: none).
    std::uint32_t m_nFirstIamPage = 0;
    // Whether an in-row allocation-unit row of the rowset was found at all (an empty table's unit has no first
    // page, and then no object id, but has its row).
    bool m_bRowFound = false;
};

struct structColindex {
    std::int32_t m_nColumnId = 0;
    bool m_bDescending = false;
    bool m_bIncluded = false;
};

struct StructPk {
    std::uint16_t m_nColumnId = 0;
    bool m_bDescending = false;
};

struct structIndex {
    std::u16string m_strName;
    std::vector<structColindex> m_arrColumns;
    bool m_bUnique = false;
    bool m_bClustered = false;
    bool m_bIgnoreDupKey = false;
    bool m_bNoRecompute = false;
    bool m_bPadIndex = false;
    std::uint8_t m_nFillFactor = 0;
    bool m_bRowLocksOff = false;
    bool m_bPageLocksOff = false;
    std::uint16_t m_nIncludedColumns = 0;
};

struct structUniqueKey {
    std::u16string m_strName;
    std::vector<structColindex> m_arrColumns;
    bool m_bColumnsFound = false;
    bool m_bClustered = false;
    std::uint8_t m_nFillFactor = 0;
    bool m_bIgnoreDupKey = false;
    bool m_bNoRecompute = false;
    bool m_bPadIndex = false;
    bool m_bRowLocksOff = false;
    bool m_bPageLocksOff = false;
};

struct TableNode {
    std::u16string m_pszName;  // "schema.table" in 2005-and-later files, the table name in 2000 files
    std::u16string m_strPrimaryKeyName2000;
    std::u16string m_strSchema;
    std::u16string m_strPrimaryKeyName;
    std::int32_t m_nObjectId = 0;
    std::uint64_t m_nRowCount = 0;
    std::int32_t m_nColumnCount = 0;
    bool m_bRowsetFound = false;
    bool m_bHasIdentity = false;
    bool m_bIdentityNotForReplication = false;
    bool m_bClusteredPrimaryKey = false;
    // What keeps its rows from being read whole: the scan's findings and the last whole row walk's.
    TableLosses m_losses;
    bool Incomplete() const { return m_losses.Incomplete(m_nRowCount); }
    std::uint32_t m_dwRowsetIdMiddle = 0;
    std::uint16_t m_wRowsetIdHigh = 0;
    std::uint16_t m_nSchemaId = 0;

    std::list<ColumnNode> m_lstColumns;  // sorted by column id
    ColumnNode* m_pCurrentColumn = nullptr;
    std::vector<DataPageNode> m_lstDataPages;
    std::vector<AllocUnitNode> m_lstAllocUnits;
    std::vector<structIndex> m_lstIndexes;
    std::vector<structUniqueKey> m_lstUniqueKeys;
    std::vector<StructPk> m_arrPrimaryKey2000;
    std::vector<StructPk> m_arrPrimaryKey;
    std::vector<std::u16string> m_arrStatements;

    // Inserts an empty column at its place by column id (after any equal ids) and leaves m_pCurrentColumn on
    // it; the caller fills in the column id and the other fields.
    ColumnNode& AddColumn(std::uint16_t column_id);
};

// The table as every statement names it: "[schema].[table]" in the 2005-and-later layout (split by the table's
// schema name), "[table]" in the 2000 layout (platform::TableNameForm).
std::u16string TableNameForm(const TableNode& table, bool layout2005);

// The settings a module (view, procedure, function, trigger) was created with, as its object row keeps them;
// unknown when the row was read without them.
struct ModuleSettings {
    bool m_bKnown = false;
    bool m_bAnsiNulls = true;
    bool m_bQuotedIdentifier = true;
    bool operator==(const ModuleSettings&) const = default;
};

struct ProcedureNode {
    std::u16string m_strName;
    std::int32_t m_nObjectId = 0;
    ModuleSettings m_settings;
};

struct FunctionNode {
    std::u16string m_pszName;
    std::int32_t m_nObjectId = 0;
    ModuleSettings m_settings;
};

// A column bound to a rule or a stand-alone default: the table by its catalogue name, schema and object id.
struct DefaultBinding {
    std::u16string m_strTableName;
    std::u16string m_strColumnName;
    std::int32_t m_nDefaultObjectId = 0;
    std::int32_t m_nTableObjectId = 0;
    std::u16string m_strSchema;
};

struct DefaultNode {
    std::u16string m_pszName;
    std::int32_t m_nObjectId = 0;
    std::int32_t m_nParentObjectId = 0;
    std::uint16_t m_nParentColumnId = 0;
    std::uint16_t m_nStatusHigh = 0;
    std::vector<DefaultBinding> m_lstBindings;
    DefaultBinding& AddBinding() { return m_lstBindings.emplace_back(); }
};

struct ViewNode {
    std::u16string m_pszName;
    std::int32_t m_nObjectId = 0;
    ModuleSettings m_settings;
};

struct RuleBinding {
    std::u16string m_strTableName;
    std::u16string m_strColumnName;
    std::int32_t m_nTableObjectId = 0;
    std::u16string m_strSchema;
};

struct RuleNode {
    std::u16string m_pszName;
    std::int32_t m_nObjectId = 0;
    std::vector<RuleBinding> m_lstBindings;
    RuleBinding& AddBinding() { return m_lstBindings.emplace_back(); }
};

struct TriggerNode {
    std::u16string m_pszName;
    std::int32_t m_nObjectId = 0;
    ModuleSettings m_settings;
    bool m_bDisabled = false;  // the object row marks the trigger disabled
};

struct UserTypeNode {
    std::u16string m_strName;
    std::int32_t m_nDefaultObjectId = 0;
    std::int32_t m_nRuleObjectId = 0;
    std::int32_t m_nTypeId = 0;
};

struct OwnerNode {
    std::uint16_t m_nId = 0;
    std::u16string m_strName;
};

struct StatisticsNode {
    std::int32_t m_nObjectId = 0;
    std::u16string m_strName;
    std::int32_t m_nIndexId = 0;
};

struct IndexColumnNode {
    std::int32_t m_nObjectId = 0;
    std::int32_t m_nIndexId = 0;
    std::int32_t m_nIndexColumnId = 0;
    std::int32_t m_nColumnId = 0;
    std::int32_t m_nStatus = 0;
};

// Foreign-key rows of both catalogue layouts share one record.
struct structFkey {
    std::u16string m_strName;
    std::int32_t m_nObjectId = 0;
    std::uint8_t m_nStatus = 0;
    std::int32_t m_nParentObjectId = 0;
};
using Fkey2005 = structFkey;

struct structCheckCons {
    std::u16string m_strName;
    std::int32_t m_nObjectId = 0;
    std::int32_t m_nParentObjectId = 0;
    std::uint8_t m_nStatus = 0;
};

struct FilterTableDataOffset {
    std::uint64_t m_nFirstPage = 0;
    std::u16string m_strTableName;
};

// A system table's pages, filed by the whole-file scan: page file offsets and slot counts at the same index.
struct PageList {
    std::vector<std::uint64_t> m_arrOffsets;
    std::vector<std::uint64_t> m_arrSlotCounts;
    void Add(std::uint64_t page_offset, std::uint64_t slot_count) {
        m_arrOffsets.push_back(page_offset);
        m_arrSlotCounts.push_back(slot_count);
    }
    std::size_t size() const { return m_arrOffsets.size(); }
    void clear() {
        m_arrOffsets.clear();
        m_arrSlotCounts.clear();
    }
};

}  // namespace mdf
