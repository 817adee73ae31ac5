// The state that the jobs, the engine and the windows share: the plain part of the application object.
// It holds no widget, so the engine and every engine test use it without a display. Flags that one thread
// writes while another reads are atomic; the rest is handed over by a sent message (the receiver has handled
// it before the sender goes on) or between jobs.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "platform/job_pause.h"

namespace platform {

class IMessageSink;

struct SharedState {
    // Data file and version state.
    std::u16string m_strDataFilePath;
    std::u16string m_strSearchRoot;  // folder or drive of the last search; empty when the file was picked directly
    bool m_bFileIs2000 = false;
    bool m_bFileIs2005Plus = false;
    std::uint32_t m_dwVersionPair = 0;  // low word current version, high word creation version
    bool m_bSql2005Catalog = false;
    bool m_bSql2000 = false;
    bool m_bSql2008Catalog = false;
    bool m_bSql2012Catalog = false;
    bool m_bConvertedFrom2000 = false;
    bool m_bCreatedOn2000 = false;
    bool m_bLayout2005 = false;
    std::atomic<bool> m_bFileInUse{false};
    std::array<std::uint8_t, 4> m_abTornBits{};  // torn bits of the page a reader entered last
    std::vector<std::uint64_t> m_arrRecordOffsets;  // live records of the page being walked

    // Job state.
    std::atomic<bool> m_bStopJob{false};
    JobPause m_jobPause;  // held while the user is asked whether to stop the job
    std::atomic<bool> m_bJobIdle{true};
    std::atomic<bool> m_bStopSearch{false};
    std::atomic<bool> m_bDocumentMode{false};
    std::atomic<bool> m_bRowPreview{true};
    std::atomic<bool> m_bRepairRequested{false};
    std::vector<std::u16string> m_arrRowValues;  // display texts of the row being decoded
    std::atomic<std::uint64_t> m_nRecoveredCount{0};
    bool m_bVarBinaryContent = false;
    int m_bHasStatistics = 0;

    // Catalogue counters.
    std::int32_t m_nTableCount = 0;
    std::int32_t m_nProcedureCount = 0;
    std::int32_t m_nFunctionCount = 0;
    std::int32_t m_nDefaultCount = 0;
    std::int32_t m_nViewCount = 0;
    std::int32_t m_nRuleCount = 0;
    std::int32_t m_nTriggerCount = 0;

    // Document tree counters.
    std::int32_t m_nTopSiteCount = 0;
    std::int32_t m_nSubSiteCount = 0;
    std::int32_t m_nListCount = 0;
    std::int32_t m_nFolderCount = 0;
    std::int32_t m_nDocumentCount = 0;

    // Log and messages to the user.
    std::u16string m_strLogLine;
    std::u16string m_strLogText;  // written by the UI and the job thread: only under m_logTextMutex
    // Under m_logTextMutex: counts the times a log window replaced m_strLogText (appends do not count), so a
    // window can tell whether the copy is still the one it last wrote.
    std::uint64_t m_nLogTextReplacements = 0;
    mutable std::mutex m_logTextMutex;
    std::u16string m_strMessageTitle;
    std::u16string m_strMessageText;

    // Document Recovery save.
    std::vector<std::u16string> m_arrSelectedPath;
    std::u16string m_strOutputFolder;
    std::u16string m_strPreviewFile;

    // Target server.
    std::u16string m_strContentDbName;
    std::u16string m_strServerInstance;
};

}  // namespace platform
