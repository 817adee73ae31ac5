// What one complete repair made of the stored objects and rows, kept by the engine for the job's summary:
// per kind the objects created and refused, the failure entries that could not be written to their files, and
// the functions that were created before the tables (so they are not sent again), the tables the server did
// not create, and the session settings the modules were last created with.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "mdf/catalog_records.h"

namespace mdf {

enum class ObjectKind : int {
    Rule,
    RuleBinding,
    Default,
    DefaultBinding,
    DefaultConstraint,
    TypeBinding,
    Trigger,
    Function,
    View,
    Procedure,
};
constexpr std::size_t kObjectKindCount = 10;

struct KindTally {
    std::uint32_t created = 0;
    std::uint32_t refused = 0;
};

struct RepairTally {
    std::array<KindTally, kObjectKindCount> kinds{};
    // Failure entries whose file could not be written: (file name, body as written), in order.
    std::vector<std::pair<std::u16string, std::u16string>> unwritten_entries;
    // Failure files whose writing failed and was reported (each is reported once).
    std::set<std::u16string> unwritable_files;
    // Functions created by the early pass, by object id.
    std::set<std::int32_t> created_functions;
    // Object ids whose definition a pass found on the definition pages (whole or damaged): each was then
    // created or refused. A catalogue object missing here vanished before any pass could name it.
    std::set<std::int32_t> definitions_found;
    // Tables the server did not create, by object id (two tables of one name in a 2000 file are two ids): nothing
    // of theirs is sent after them, neither rows nor keys, defaults, bindings or statistics.
    std::set<std::int32_t> tables_not_created;
    // The connection's ANSI_NULLS and QUOTED_IDENTIFIER as the last SET statements left them; not known after the
    // connection was opened (again).
    ModuleSettings session;
    // Key and index rows of the catalogue that the readers could not take (disabled, unnamed, without columns):
    // what (index, unique key), its name or place, and why. The schema report names each.
    struct KeyNote {
        std::u16string what;
        std::u16string name;
        std::u16string why;
    };
    std::vector<KeyNote> keys_not_taken;
    // Values of the row copy that could not be read as their type and were sent as NULL: "table.column" to the
    // number of them.
    std::map<std::u16string, std::uint64_t> values_left_out;

    KindTally& operator[](ObjectKind kind) { return kinds[static_cast<std::size_t>(kind)]; }
    const KindTally& operator[](ObjectKind kind) const { return kinds[static_cast<std::size_t>(kind)]; }
    std::uint32_t TotalRefused() const {
        std::uint32_t n = 0;
        for (const auto& k : kinds) n += k.refused;
        return n;
    }
};

}  // namespace mdf
