// The main dialog's pages and button rules as tables of control states.
#include "app/main_dialog_rules.h"

#include <gtest/gtest.h>

#include <set>

#include "app/control_ids.h"

namespace app {
namespace {

// Every control of the template, shown and enabled, as a new dialog has them.
ControlTable FreshDialog() {
    ControlTable table;
    for (int id : {kIdCompleteRepair, kIdResultTree, kIdResultList, kIdFileHint, kIdFileType, kIdDriveCombo,
                   kIdSelectFile, kIdSearchFiles, kIdSearchSubfolders, kIdFileTypeCaption, kIdDriveCaption,
                   kIdFoundFileList, kIdSelectedPath, kIdSelectedPathCaption, kIdScanFile, kIdExit, kIdClearList,
                   kIdDocumentRecovery, kIdSearchStatus, kIdScanProgress, kIdStopSearch, kIdRepair, kIdMinimize,
                   kIdHome, kIdBack, kIdAbout, kIdUpdates, kIdHelp, kIdMethodHint, kIdFrame, kIdCompleteRepairCaption,
                   kIdDocumentRecoveryCaption, kIdViewLog, kIdStopJob, kIdResultProgress, kIdPreviewBackdrop,
                   kIdPreviewFrame, kIdRecordCounter, kIdTableBackdrop, kIdDocumentBackdrop}) {
        table[id] = ControlState{};
    }
    return table;
}

std::set<int> ShownIds(const ControlTable& table) {
    std::set<int> ids;
    for (const auto& [id, state] : table) {
        if (state.shown) ids.insert(id);
    }
    return ids;
}

const std::set<int> kHeaderButtons = {kIdAbout, kIdUpdates, kIdViewLog, kIdHelp, kIdMinimize, kIdExit};

std::set<int> With(std::set<int> ids, std::initializer_list<int> more) {
    ids.insert(more);
    return ids;
}

TEST(MainDialogPages, HomeFileAndBackTable) {
    ControlTable table = FreshDialog();
    ApplyChanges(table, InitHomePageChanges());
    const std::set<int> home = With(kHeaderButtons, {kIdCompleteRepair, kIdDocumentRecovery, kIdCompleteRepairCaption,
                                                     kIdDocumentRecoveryCaption, kIdMethodHint, kIdFrame});
    EXPECT_EQ(ShownIds(table), home);
    EXPECT_FALSE(table[kIdPreviewFrame].enabled);
    EXPECT_TRUE(table[kIdCompleteRepair].enabled);

    ApplyChanges(table, FilePageChanges());
    const std::set<int> file =
        With(kHeaderButtons, {kIdBack, kIdHome, kIdFileHint, kIdFileTypeCaption, kIdDriveCaption, kIdSearchSubfolders,
                              kIdDriveCombo, kIdFileType, kIdSelectFile, kIdSearchFiles, kIdFoundFileList,
                              kIdClearList, kIdSelectedPath, kIdSelectedPathCaption, kIdScanFile, kIdFrame});
    EXPECT_EQ(ShownIds(table), file);
    EXPECT_FALSE(table[kIdScanFile].enabled) << "no file chosen yet";
    EXPECT_FALSE(table[kIdClearList].enabled);

    // Back from the file page: the home page again, with the frame.
    ApplyChanges(table, HomePageChanges(true));
    EXPECT_EQ(ShownIds(table), home);
    EXPECT_FALSE(table[kIdScanFile].enabled);
    EXPECT_FALSE(table[kIdStopJob].enabled);

    // Home from the file page.
    ApplyChanges(table, FilePageChanges());
    ApplyChanges(table, ClearResultPageChanges());
    ApplyChanges(table, HomePageChanges(false));
    EXPECT_EQ(ShownIds(table), home);
}

TEST(MainDialogPages, BackFromTheResultPage) {
    ControlTable table = FreshDialog();
    ApplyChanges(table, InitHomePageChanges());
    ApplyChanges(table, FilePageChanges());
    // A result page in table mode, as the scan's end builds it.
    ApplyChanges(table, {{kIdResultTree, true, {}}, {kIdResultList, true, {}}, {kIdRepair, true, {}},
                         {kIdTableBackdrop, true, {}}, {kIdResultProgress, true, {}}, {kIdFileHint, false, {}}});
    ApplyChanges(table, BackToFilePageChanges());
    const std::set<int> file = With(kHeaderButtons, {kIdBack, kIdHome, kIdFileHint, kIdFileTypeCaption,
                                                     kIdDriveCaption, kIdSearchSubfolders, kIdDriveCombo, kIdFileType,
                                                     kIdSelectFile, kIdSearchFiles, kIdFoundFileList, kIdClearList,
                                                     kIdSelectedPath, kIdSelectedPathCaption, kIdScanFile,
                                                     kIdSearchStatus, kIdFrame});
    EXPECT_EQ(ShownIds(table), file);
    EXPECT_TRUE(table[kIdScanFile].enabled) << "Back to the file page enables Scan File";
    EXPECT_TRUE(table[kIdFoundFileList].enabled);
}

TEST(MainDialogPages, BackToHomeKeepsTheTableBackdrop) {
    ControlTable table = FreshDialog();
    ApplyChanges(table, HomePageChanges(true));
    EXPECT_TRUE(table[kIdTableBackdrop].shown);
    ApplyChanges(table, HomePageChanges(false));
    EXPECT_FALSE(table[kIdTableBackdrop].shown);
}

TEST(MainDialogButtons, RulesPerState) {
    struct Case {
        const char* name;
        ButtonRuleInputs in;
        std::map<int, ControlState> expected;  // controls the rules must leave in this state
        std::set<int> untouched;               // controls the rules must not change
    };
    const ControlState on{true, true}, off_hidden{false, false}, on_shown{true, true};
    const ControlState disabled{true, false};
    const Case cases[] = {
        {"idle, no path: Scan File keeps its state", {}, {{kIdViewLog, on}, {kIdUpdates, on}, {kIdAbout, on}},
         {kIdScanFile, kIdClearList, kIdRepair, kIdStopJob, kIdHome}},
        {"idle with a path: Scan File on", {.selected_path_has_text = true}, {{kIdScanFile, on}}, {}},
        {"search: Scan File, log, updates, about off",
         {.selected_path_has_text = true, .search_runs = true},
         {{kIdScanFile, disabled}, {kIdViewLog, disabled}, {kIdUpdates, disabled}, {kIdAbout, disabled}},
         {kIdClearList}},
        {"idle with found rows: Clear List on", {.found_list_has_rows = true}, {{kIdClearList, on}}, {}},
        {"scan job: header buttons and Clear List off, page buttons untouched",
         {.job_runs = true},
         {{kIdClearList, disabled}, {kIdViewLog, disabled}, {kIdUpdates, disabled}, {kIdAbout, disabled}},
         {kIdStopJob, kIdRepair, kIdHome, kIdBack}},
        {"table view running: Stop on, Home/Back/Repair off",
         {.job_runs = true, .table_view_started = true},
         {{kIdStopJob, on_shown}, {kIdHome, disabled}, {kIdBack, disabled}, {kIdRepair, off_hidden}},
         {}},
        {"repair ended: Home/Back/Repair on, Stop off",
         {.repair_started = true},
         {{kIdStopJob, off_hidden}, {kIdHome, on}, {kIdBack, on}, {kIdRepair, on}},
         {}},
        {"document tree unchecked: Repair off",
         {.tree_has_root = true, .document_mode = true, .root_check_state = 1},
         {{kIdRepair, disabled}},
         {}},
        {"document tree partly checked: Repair on",
         {.tree_has_root = true, .document_mode = true, .root_check_state = 3},
         {{kIdRepair, on}},
         {}},
        {"table tree: Repair on whatever the check", {.tree_has_root = true, .root_check_state = 0},
         {{kIdRepair, on}}, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ControlTable before = FreshDialog();
        for (auto& [id, state] : before) state.enabled = id % 2 == 0;  // a mixed starting point
        ControlTable after = before;
        ApplyChanges(after, ButtonRuleChanges(c.in));
        for (const auto& [id, state] : c.expected) {
            EXPECT_EQ(after[id].enabled, state.enabled) << "control " << id;
            if (!state.shown) {
                EXPECT_FALSE(after[id].shown) << "control " << id;
            }
        }
        for (int id : c.untouched) EXPECT_EQ(after[id], before[id]) << "control " << id;
    }
}

TEST(MainDialogExit, AskOrRefuse) {
    struct Case {
        const char* name;
        bool job_idle, by_key, search;
        ExitDecision expected;
    };
    const Case cases[] = {
        {"nothing runs: ask", true, false, false, ExitDecision::Ask},
        {"job runs, Exit button: refuse", false, false, false, ExitDecision::Refuse},
        {"job runs, F4: ask", false, true, false, ExitDecision::Ask},
        {"search runs, Exit button: refuse", true, false, true, ExitDecision::Refuse},
        {"search runs, F4: refuse", true, true, true, ExitDecision::Refuse},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(DecideExit(c.job_idle, c.by_key, c.search), c.expected);
    }
}

}  // namespace
}  // namespace app
