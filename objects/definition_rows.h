// The definitions of one kind of stored object as the data file holds them: one walk over the pages of the
// object-definition table (sysobjvalues in 2005-and-later files, syscomments in 2000 files), taking the live rows
// whose object id belongs to the kind. A text is taken only whole: from inside its row and page, or joined from
// its large-value records; 2000 texts split over several rows are joined in their sequence order, one
// definition per object and procedure number. What cannot be read whole is marked damaged, never guessed.
//
// sysobjvalues row: 0 status | 4 value class | 5 object id (32) | 9 sub-object id (32; 0, or a stored
//                   procedure's number from 1) | 24 end of the text
//                   (16; top bits 0x8 mark a large-value root) | 28 text form (2: 8-bit records) | 32 the text,
//                   or the root: 32 type (4), entries of 12 bytes from 48 (page 32, file 16, slot 16, 4 more).
// syscomments row:  0 status | 4 object id (32) | 8 procedure number (16) | 10 sequence (16) | 12 status byte |
//                   19 end of the text (16) | 21 the text.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace mdf {
class CRecoveryEngine;
}

namespace objects {

struct StoredDefinition {
    std::int32_t object_id = 0;
    std::uint16_t number = 0;  // 2000 files: the procedure number of a numbered procedure group
    std::uint64_t page_offset = 0;  // where its (first) row lies
    std::uint16_t slot = 0;
    std::vector<std::uint8_t> bytes;  // the text's bytes, for a text in the row (2000: all rows joined)
    bool large = false;               // the text was joined from large-value records
    std::u16string large_text;
    std::u16string damage;  // not empty: why the text cannot be taken whole; nothing of it is executed
};

struct DefinitionQuery {
    std::function<bool(std::int32_t)> wanted;  // the kind's object ids
    bool status_byte_2000 = false;             // 2000 rows: only those whose byte at offset 12 is 2
    bool numbered = false;  // stored procedures: 2005 rows carry the procedure number as their sub-object id
};

struct GatheredDefinitions {
    std::vector<StoredDefinition> definitions;  // in the order their first rows were met
    bool stopped = false;                      // the user stopped the job during the walk
};

GatheredDefinitions GatherDefinitions(mdf::CRecoveryEngine& engine, const DefinitionQuery& query);

// "object 1234 (page 17, slot 3)" for log lines and failure entries.
std::u16string DescribeDefinition(const StoredDefinition& definition);

}  // namespace objects
