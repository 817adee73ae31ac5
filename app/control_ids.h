// Control and resource numbers of the main dialog and of the small dialogs. The windows use them as their
// window IDs, and the page and button rules below speak of controls by these numbers.
#pragma once

namespace app {

// Main dialog controls.
enum ControlId : int {
    kIdCompleteRepair = 1000,
    kIdResultTree = 1001,
    kIdResultList = 1003,
    kIdFileHint = 1005,
    kIdFileType = 1006,
    kIdDriveCombo = 1007,
    kIdSelectFile = 1008,
    kIdSearchFiles = 1009,
    kIdSearchSubfolders = 1011,
    kIdFileTypeCaption = 1013,
    kIdDriveCaption = 1014,
    kIdFoundFileList = 1016,
    kIdSelectedPath = 1017,
    kIdSelectedPathCaption = 1018,
    kIdScanFile = 1019,
    kIdExit = 1020,
    kIdClearList = 1021,
    kIdDocumentRecovery = 1023,
    kIdSearchStatus = 1025,
    kIdScanProgress = 1026,
    kIdStopSearch = 1027,
    kIdRepair = 1028,
    kIdMinimize = 1029,
    kIdHome = 1032,
    kIdBack = 1033,
    kIdAbout = 1034,
    kIdUpdates = 1035,
    kIdHelp = 1036,
    kIdMethodHint = 1085,
    kIdFrame = 1086,
    kIdCompleteRepairCaption = 1104,
    kIdDocumentRecoveryCaption = 1105,
    kIdViewLog = 1108,
    kIdStopJob = 1112,
    kIdResultProgress = 1117,
    kIdPreviewBackdrop = 1121,
    kIdPreviewFrame = 1122,
    kIdRecordCounter = 1123,
    kIdTableBackdrop = 1126,
    kIdDocumentBackdrop = 1131,
    kIdDamageWarning = 1140,  // result page: the damaged or missing pages the scan met
};

// Dialog results: OK and Yes end a dialog with kIdOk, No, Esc and the close box with kIdCancel.
constexpr int kIdOk = 1;
constexpr int kIdCancel = 2;

// Message dialogs' own controls.
constexpr int kIdExistNo = 1114;
constexpr int kIdMessageUpper = 1034;
constexpr int kIdMessageLower = 1035;
constexpr int kIdMessage2Lower = 1124;
constexpr int kIdQuestionUpper = 1029;
constexpr int kIdQuestionLower = 1030;
constexpr int kIdExistUpper = 1115;
constexpr int kIdExistLower = 1116;

// Log window controls.
constexpr int kIdLogEdit = 1109;
constexpr int kIdClearLog = 1110;
constexpr int kIdSaveLog = 1108;
constexpr int kIdCloseLog = 1111;

}  // namespace app
