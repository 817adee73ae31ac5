// Page and button rules of the main dialog.
#include "app/main_dialog_rules.h"

#include "app/control_ids.h"

namespace app {

void ApplyChanges(ControlTable& table, const ControlChanges& changes) {
    for (const auto& change : changes) {
        auto& state = table[change.id];
        if (change.shown) state.shown = *change.shown;
        if (change.enabled) state.enabled = *change.enabled;
    }
}

namespace {

ControlChange Show(int id) { return {id, true, std::nullopt}; }
ControlChange Hide(int id) { return {id, false, std::nullopt}; }
ControlChange HideDisable(int id) { return {id, false, false}; }
ControlChange ShowEnable(int id) { return {id, true, true}; }
ControlChange Enable(int id) { return {id, std::nullopt, true}; }
ControlChange Disable(int id) { return {id, std::nullopt, false}; }

void Append(ControlChanges& to, const ControlChanges& more) { to.insert(to.end(), more.begin(), more.end()); }

}  // namespace

ControlChanges InitHomePageChanges() {
    ControlChanges changes = {Hide(kIdDocumentBackdrop), Hide(kIdTableBackdrop), HideDisable(kIdPreviewBackdrop),
                              HideDisable(kIdRecordCounter), HideDisable(kIdPreviewFrame), Hide(kIdDamageWarning)};
    for (int id : {kIdResultTree, kIdResultList, kIdStopSearch, kIdStopJob, kIdSearchSubfolders, kIdSearchFiles,
                   kIdSelectFile, kIdScanFile, kIdClearList, kIdHome, kIdRepair, kIdBack, kIdDriveCombo, kIdFileType,
                   kIdFoundFileList, kIdSelectedPath, kIdSelectedPathCaption, kIdDriveCaption, kIdFileHint,
                   kIdFileTypeCaption, kIdSearchStatus, kIdScanProgress, kIdResultProgress}) {
        changes.push_back(Hide(id));
    }
    changes.push_back(Enable(kIdCompleteRepair));
    changes.push_back(Enable(kIdDocumentRecovery));
    return changes;
}

ControlChanges ClearResultPageChanges() {
    return {Hide(kIdResultList), Hide(kIdResultTree), Hide(kIdResultProgress), HideDisable(kIdPreviewBackdrop),
            HideDisable(kIdPreviewFrame), Hide(kIdDamageWarning)};
}

ControlChanges HomePageChanges(bool for_back) {
    ControlChanges changes;
    for (int id : {kIdCompleteRepair, kIdDocumentRecovery, kIdCompleteRepairCaption, kIdDocumentRecoveryCaption,
                   kIdMethodHint, kIdExit}) {
        changes.push_back(Show(id));
    }
    changes.push_back(Hide(kIdBack));
    changes.push_back(Hide(kIdHome));
    changes.push_back(HideDisable(kIdStopSearch));
    changes.push_back(HideDisable(kIdStopJob));
    for (int id : {kIdDriveCaption, kIdFileHint, kIdFileTypeCaption, kIdSearchStatus, kIdScanProgress,
                   kIdSearchSubfolders, kIdDriveCombo, kIdFileType, kIdSearchFiles, kIdSelectFile, kIdClearList,
                   kIdFoundFileList, kIdSelectedPath, kIdSelectedPathCaption, kIdRepair, kIdDocumentBackdrop}) {
        changes.push_back(Hide(id));
    }
    if (!for_back) changes.push_back(Hide(kIdTableBackdrop));
    changes.push_back(HideDisable(kIdScanFile));
    if (for_back) changes.push_back(Show(kIdFrame));
    return changes;
}

ControlChanges BackToFilePageChanges() {
    ControlChanges changes = ClearResultPageChanges();
    Append(changes, {Hide(kIdCompleteRepair), Hide(kIdDocumentRecovery), Show(kIdBack), HideDisable(kIdStopSearch),
                     HideDisable(kIdStopJob), ShowEnable(kIdScanFile)});
    for (int id : {kIdDriveCaption, kIdFileHint, kIdFileTypeCaption, kIdSearchStatus, kIdSearchSubfolders,
                   kIdDriveCombo, kIdFileType, kIdSearchFiles, kIdSelectFile, kIdExit, kIdClearList, kIdSelectedPath,
                   kIdSelectedPathCaption}) {
        changes.push_back(Show(id));
    }
    Append(changes, {ShowEnable(kIdFoundFileList), Hide(kIdScanProgress), Hide(kIdRepair), Hide(kIdTableBackdrop),
                     Hide(kIdDocumentBackdrop)});
    return changes;
}

ControlChanges FilePageChanges() {
    ControlChanges changes = {Hide(kIdCompleteRepair), Hide(kIdDocumentRecovery), Hide(kIdCompleteRepairCaption),
                              Hide(kIdDocumentRecoveryCaption), Hide(kIdSearchStatus), HideDisable(kIdStopSearch),
                              HideDisable(kIdStopJob), Hide(kIdMethodHint), Hide(kIdScanProgress)};
    for (int id : {kIdBack, kIdHome, kIdDriveCaption, kIdFileHint, kIdFileTypeCaption, kIdSelectedPathCaption,
                   kIdSearchSubfolders, kIdDriveCombo, kIdFileType, kIdSearchFiles, kIdSelectFile, kIdScanFile,
                   kIdExit, kIdClearList, kIdFoundFileList, kIdSelectedPath}) {
        changes.push_back(Show(id));
    }
    changes.push_back(Disable(kIdScanFile));
    changes.push_back(Disable(kIdClearList));
    return changes;
}

ControlChanges ButtonRuleChanges(const ButtonRuleInputs& in) {
    ControlChanges changes;
    // Scan File: off during a search, on once a path is chosen, else as it was.
    if (in.search_runs) {
        changes.push_back(Disable(kIdScanFile));
    } else if (in.selected_path_has_text) {
        changes.push_back(Enable(kIdScanFile));
    }

    if (in.table_view_started || in.repair_started) {
        if (in.job_runs) {
            Append(changes, {ShowEnable(kIdStopJob), Disable(kIdHome), Disable(kIdBack), HideDisable(kIdRepair)});
        } else {
            Append(changes, {Enable(kIdHome), Enable(kIdBack), ShowEnable(kIdRepair), HideDisable(kIdStopJob)});
        }
    }

    if (in.job_runs) {
        Append(changes, {Disable(kIdClearList), Disable(kIdViewLog), Disable(kIdUpdates), Disable(kIdAbout)});
    } else if (in.search_runs) {
        Append(changes, {Disable(kIdViewLog), Disable(kIdUpdates), Disable(kIdAbout)});
    } else {
        if (in.found_list_has_rows) changes.push_back(Enable(kIdClearList));
        Append(changes, {Enable(kIdViewLog), Enable(kIdUpdates), Enable(kIdAbout)});
    }

    if (in.tree_has_root) {
        const bool checked = in.root_check_state == 2 || in.root_check_state == 3;
        changes.push_back(in.document_mode && !checked ? Disable(kIdRepair) : Enable(kIdRepair));
    }
    return changes;
}

ExitDecision DecideExit(bool job_idle, bool exit_by_key, bool search_runs) {
    if ((!job_idle && !exit_by_key) || search_runs) return ExitDecision::Refuse;
    return ExitDecision::Ask;
}

}  // namespace app
