// The last look of a complete repair: every stored object of the catalogue and every table's live rows are
// either on the server or named here with the reason. A separate file because it judges the whole job from
// what the passes left behind (the engine's lists, its tally, the rows of each table) and touches no server.
#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "mdf/repair_tally.h"

namespace mdf {
class CRecoveryEngine;
}

namespace app {

// One table's rows as the copy left them.
struct TableRowOutcome {
    std::u16string m_strTable;     // as the log shows it
    std::uint64_t m_nLive = 0;     // rows the table should give: the catalogue's count, else the live rows
                                   // the scan counted on its pages
    std::uint64_t m_nCopied = 0;   // accepted by the server
    std::uint64_t m_nRefused = 0;  // refused by the server
    bool m_bCreated = true;        // false: the server did not create the table and no row was sent
    bool m_bSelected = true;       // false: the table was in no entry of the repair's list and was not copied
    // Not empty when the data file lost some of the table (pages, records, values, rows against the
    // catalogue's count): what it lost, as LossSummary gives it.
    std::u16string m_strIncompleteInFile;
};

struct Reconciliation {
    // One line per object or table that is not whole on the server, with the reason.
    std::vector<std::u16string> m_arrMissingObjects;
    std::vector<std::u16string> m_arrMissingRows;
    // The server's own objects (negative object ids): never scripted, counted once.
    std::uint64_t m_nSystemObjects = 0;
    bool Complete() const { return m_arrMissingObjects.empty() && m_arrMissingRows.empty(); }
};

// Compares the catalogue's views, procedures, functions, triggers, rules and defaults with the definitions
// the passes found (created, or refused and already named by their pass), and each table's live rows with
// what was copied. passes_run holds the kinds whose pass ran; an object of another kind is named as not
// scripted. Objects already refused by their pass are not named again. Without compare_objects (the embedded
// road, which copies rows only) only the rows are compared.
Reconciliation Reconcile(const mdf::CRecoveryEngine& engine, bool compare_objects,
                         const std::set<mdf::ObjectKind>& passes_run, const std::vector<TableRowOutcome>& tables);

}  // namespace app
