// Reconciliation of a complete repair: the catalogue against what the passes met, the scan's row counts
// against the rows copied.
#include "app/repair_reconciliation.h"

#include <algorithm>

#include "mdf/recovery_engine.h"
#include "platform/text.h"

namespace app {

namespace {

std::u16string Number(std::uint64_t n) { return platform::Widen(std::to_string(n)); }

// The singular word of each kind the catalogue lists.
const char16_t* ObjectWord(mdf::ObjectKind kind) {
    switch (kind) {
        case mdf::ObjectKind::View:
            return u"view";
        case mdf::ObjectKind::Procedure:
            return u"stored procedure";
        case mdf::ObjectKind::Function:
            return u"function";
        case mdf::ObjectKind::Trigger:
            return u"trigger";
        case mdf::ObjectKind::Rule:
            return u"rule";
        case mdf::ObjectKind::Default:
            return u"default";
        default:
            return u"object";
    }
}

const std::u16string& NameOf(const mdf::ProcedureNode& node) { return node.m_strName; }
template <typename Node>
const std::u16string& NameOf(const Node& node) {
    return node.m_pszName;
}

template <typename List>
void CompareObjects(const List& list, mdf::ObjectKind kind, const mdf::RepairTally& tally,
                    const std::set<mdf::ObjectKind>& passes_run, std::set<std::int32_t>& system_ids,
                    Reconciliation& result) {
    for (const auto& node : list) {
        if (node.m_nObjectId < 0) {
            system_ids.insert(node.m_nObjectId);
            continue;
        }
        // A definition its pass found was created, or refused and named by that pass.
        if (tally.definitions_found.contains(node.m_nObjectId)) continue;
        const std::u16string why = passes_run.contains(kind)
                                       ? u"no whole definition of it was found on the definition pages"
                                       : u"its kind was not scripted";
        result.m_arrMissingObjects.push_back(std::u16string(ObjectWord(kind)) + u" " + NameOf(node) + u" (object " +
                                             platform::Widen(std::to_string(node.m_nObjectId)) + u"): " + why);
    }
}

}  // namespace

Reconciliation Reconcile(const mdf::CRecoveryEngine& engine, bool compare_objects,
                         const std::set<mdf::ObjectKind>& passes_run, const std::vector<TableRowOutcome>& tables) {
    Reconciliation result;
    const mdf::RepairTally& tally = engine.m_repairTally;
    std::set<std::int32_t> system_ids;  // an object in two lists is one object
    if (compare_objects) {
        CompareObjects(engine.m_lstViews, mdf::ObjectKind::View, tally, passes_run, system_ids, result);
        CompareObjects(engine.m_lstProcedures, mdf::ObjectKind::Procedure, tally, passes_run, system_ids, result);
        CompareObjects(engine.m_lstFunctions, mdf::ObjectKind::Function, tally, passes_run, system_ids, result);
        CompareObjects(engine.m_lstTriggers, mdf::ObjectKind::Trigger, tally, passes_run, system_ids, result);
        CompareObjects(engine.m_lstRules, mdf::ObjectKind::Rule, tally, passes_run, system_ids, result);
        CompareObjects(engine.m_lstDefaults, mdf::ObjectKind::Default, tally, passes_run, system_ids, result);
    }
    result.m_nSystemObjects = system_ids.size();

    for (const auto& table : tables) {
        if (!table.m_bSelected) {
            result.m_arrMissingRows.push_back(u"table " + table.m_strTable + u": not selected: none of its " +
                                              Number(table.m_nLive) + u" row(s) were copied");
            continue;
        }
        if (!table.m_bCreated) {
            if (table.m_nLive != 0) {
                result.m_arrMissingRows.push_back(u"table " + table.m_strTable + u": 0 of " + Number(table.m_nLive) +
                                                  u" row(s) copied: the table was not created");
            }
            continue;
        }
        if (!table.m_strIncompleteInFile.empty()) {
            // Whatever reached the server, the table is not whole: the file lost part of it.
            std::u16string line = u"table " + table.m_strTable + u": incomplete in the data file (" +
                                  table.m_strIncompleteInFile + u"); " + Number(table.m_nCopied) + u" of " +
                                  Number(table.m_nLive) + u" row(s) copied";
            if (table.m_nRefused != 0) line += u", " + Number(table.m_nRefused) + u" refused by the server";
            result.m_arrMissingRows.push_back(std::move(line));
            continue;
        }
        if (table.m_nCopied >= table.m_nLive) continue;
        std::u16string line = u"table " + table.m_strTable + u": " + Number(table.m_nCopied) + u" of " +
                              Number(table.m_nLive) + u" row(s) copied:";
        const std::uint64_t short_by = table.m_nLive - table.m_nCopied;
        const std::uint64_t refused = std::min(table.m_nRefused, short_by);
        if (refused != 0) line += u" " + Number(refused) + u" refused by the server";
        if (short_by > refused) {
            if (refused != 0) line += u",";
            line += u" " + Number(short_by - refused) + u" could not be read from the data file";
        }
        result.m_arrMissingRows.push_back(std::move(line));
    }
    return result;
}

}  // namespace app
