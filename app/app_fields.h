// The application's own shared fields: what the windows, the jobs and the setup dialogs share but the engine
// never reads. The engine's part is platform::SharedState; the application object holds both. Fields that a
// worker writes while the user-interface thread reads them (or the other way round) are atomic.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

namespace app {

class CRecoverThread;  // the job thread of a scan, table view, repair or document save
class FindThread;      // the data-file search thread

// One found data file: path, size in KB (decimal text) and three date-time texts.
struct fileProperty {
    std::u16string m_strPath;
    std::u16string m_strSizeKb;
    std::u16string m_strCreated;
    std::u16string m_strAccessed;
    std::u16string m_strModified;
    bool operator==(const fileProperty&) const = default;
};

struct AppFields {
    // File search.
    int m_nFoundFileCount = 0;
    bool m_bSearchSubfolders = false;
    bool m_bSearchTopFolderOnly = false;
    fileProperty m_stagedFile;
    std::vector<fileProperty> m_arrFoundFiles;  // handed over by a sent WM_FOUND_FILES
    std::u16string m_strSearchFolder;           // where the walk is, written before each sent WM_FOUND_FILES
    std::atomic<FindThread*> m_pFindThread{nullptr};

    // Log.
    std::u16string m_strLogHeader;

    // Repair setup.
    std::u16string m_strDestinationFolder;
    std::u16string m_strDefaultDataFolder;
    bool m_bDefaultDataFolderFound = false;
    bool m_bUseDefaultFolder = false;
    bool m_bEmbeddedEdition = false;
    std::u16string m_strEmbeddedDatabase;
    std::u16string m_strCreatedDatabase;
    std::u16string m_strContentDbServer;
    std::vector<std::u16string> m_arrSelectedTables;

    // Jobs and pages.
    std::atomic<CRecoverThread*> m_pRecoverThread{nullptr};
    std::atomic<bool> m_bJobCompleted{false};
    std::atomic<bool> m_bStoppedByUser{false};
    // Document save: the documents below the checked items when the last save began (written by its job).
    std::atomic<std::uint64_t> m_nDocumentsToSave{0};
    int m_nPageDepth = 0;  // 0 home page, 1 file page, 2 result page
    bool m_bTableViewStarted = false;
    bool m_bRepairStarted = false;
    bool m_bImagePreviewShown = false;
    bool m_bExitByKey = false;

    // Preview helpers found on this machine.
    bool m_bHasAcrobatReader = false;
    bool m_bHasWord = false;
    bool m_bHasExcel = false;
    bool m_bHasPowerPoint = false;
    bool m_bHasInfoPath = false;
    bool m_bOffice2003Only = false;
    std::vector<std::uint8_t> m_arrPreviewData;  // in-memory copy of the previewed image

    // Update.
    std::atomic<bool> m_bUpdateBusy{false};
    std::atomic<bool> m_bUpdateCancelled{false};
    std::u16string m_strDownloadedSetup;

    // Re-attach batch file.
    std::u16string m_strSharePointBin;
    std::u16string m_strBatchFile;
};

}  // namespace app
