// What the catalogue's own rows say beyond the tables that the readers keep, and what the page scan saw of the
// data pages' owners: the checks that hold the catalogue against itself and against the pages read them. A loss
// that takes a catalogue row with it (the object row of a table, its rowset or allocation-unit row) leaves the
// other rows and the pages behind, and those still name what was lost.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "mdf/page_runs.h"

namespace mdf {

struct CatalogueFacts {
    // Every object id that an object row holds (user tables, system and internal tables, views, procedures,
    // constraints ...), with its two-character type.
    std::map<std::int32_t, std::u16string> objects;
    // 2005 and later: every rowset row (system object 5).
    struct RowsetRow {
        std::uint32_t key32 = 0;  // rowset id bytes 2 to 5
        std::uint16_t key16 = 0;  // rowset id bytes 6 and 7
        std::uint64_t id = 0;     // the whole rowset id
        std::int32_t object_id = 0;
        std::uint32_t index_id = 0;
        std::uint64_t rows = 0;   // the row count the catalogue keeps for the rowset
        bool allocated = true;    // its page is allocated (or no sound allocation page says otherwise)
    };
    std::vector<RowsetRow> rowsets;
    // 2005 and later: every allocation-unit row (system object 7).
    struct AllocUnitRow {
        std::uint32_t unit_object_id = 0;  // unit id bytes 2 to 5: the object id its pages carry
        std::uint16_t index_word = 0;      // unit id bytes 6 and 7: the index id its pages carry
        std::uint8_t type = 0;             // 1 in-row data, 2 large values, 3 row overflow
        std::uint32_t owner32 = 0;         // the owning rowset's id, bytes 2 to 5 and 6 and 7
        std::uint16_t owner16 = 0;
        std::uint64_t owner = 0;           // the whole owning rowset id
        std::uint64_t id = 0;              // the whole unit id
        std::uint32_t first_page = 0;
        std::uint32_t first_iam = 0;
        bool allocated = true;
    };
    std::vector<AllocUnitRow> units;
    // 2000: the index rows (system object 2) of tables' data (index 0 or 1).
    struct IndexRow2000 {
        std::int32_t object_id = 0;
        std::uint16_t index_id = 0;
        std::uint64_t rows = 0;
        std::uint32_t first_iam = 0;
        std::uint16_t first_iam_file = 0;
        std::u16string name;  // the row's name: a heap's (index 0) is its table's name
    };
    std::vector<IndexRow2000> index_rows;
    // User tables whose object row was read but that could not be listed: their schema's row is lost.
    struct UnlistedTable {
        std::int32_t object_id = 0;
        std::uint16_t schema_id = 0;
        std::u16string name;
    };
    std::vector<UnlistedTable> unlisted_tables;
    // 2005 and later: per table (object id), the column ids that its rowset-column rows name but none of its
    // column rows (a dropped column keeps its rowset column; a lost column row leaves it too).
    std::map<std::int32_t, std::set<std::uint32_t>> unnamed_rowset_columns;

    void Clear() { *this = CatalogueFacts{}; }
};

// The data pages the scan met with a sound header, live records, and not marked free by the file's allocation
// pages, gathered by the owner their header names (2000: the object id; 2005 and later: the allocation unit).
struct DataPageOwner {
    std::uint64_t pages = 0;
    std::uint64_t rows = 0;
    std::uint64_t first_page = 0;
};

// The owner key of a data page: its header's object id and index id.
inline std::uint64_t DataPageOwnerKey(std::uint32_t object_id, std::uint16_t index_word) {
    return (static_cast<std::uint64_t>(index_word) << 32) | object_id;
}

}  // namespace mdf
