// The engine of one scan: the open data file, the catalogue it rebuilds, the rows captured from the
// SharePoint tables and the document tree, and the connection to the target server. Its operations live in
// the files of the subsystem that owns them (catalogue readers here, the row decoder in rows/, the document
// side in sharepoint/, scripting in target/ and objects/).
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <list>
#include <memory>
#include <string>
#include <vector>

#include "mdf/catalog_records.h"
#include "mdf/data_file.h"
#include "mdf/sharepoint_records.h"
#include "platform/messages.h"
#include "platform/shared_state.h"
#include "platform/user_prompts.h"

namespace platform {
class Connection;
class Command;
class Recordset;
}  // namespace platform

namespace mdf {

// Which torn-sector fix-up a read takes: none, the first sector end inside the read only, or every sector end
// inside the read (reads of whole values).
enum class Fixup { None, Single, Multi };

class CRecoveryEngine {
public:
    // progress receives the worker messages; prompts answers the dialogs a reader shows. Either may be null.
    explicit CRecoveryEngine(platform::SharedState& app, platform::IMessageSink* progress = nullptr,
                             platform::IUserPrompts* prompts = nullptr);
    ~CRecoveryEngine();
    CRecoveryEngine(const CRecoveryEngine&) = delete;
    CRecoveryEngine& operator=(const CRecoveryEngine&) = delete;

    platform::SharedState& App() { return m_app; }
    const platform::SharedState& App() const { return m_app; }

    // ---- Data file access and torn-sector restoration ----
    // Opens the application's data file read-only; six attempts a second apart.
    bool OpenDataFile();
    // The byte with its low two bits replaced by the torn bits (of the page entered last) for its sector.
    std::uint8_t RestoreTornBits(std::uint8_t value, std::int64_t offset) const;
    // Applies the fix-up to bytes just read from absolute position pos.
    void ApplyFixup(std::uint8_t* buffer, std::size_t n, std::uint64_t pos, Fixup fixup) const;
    // Reads n bytes at pos (zeros beyond the end of the file) and applies the fix-up; remembers pos.
    void ReadAt(std::uint64_t pos, void* dst, std::size_t n, Fixup fixup = Fixup::None);
    std::vector<std::uint8_t> ReadBytes(std::uint64_t pos, std::size_t n, Fixup fixup = Fixup::None);
    std::uint8_t Read8(std::uint64_t pos, Fixup fixup = Fixup::None);
    std::uint16_t Read16(std::uint64_t pos, Fixup fixup = Fixup::None);
    std::uint32_t Read32(std::uint64_t pos, Fixup fixup = Fixup::None);
    std::uint64_t Read64(std::uint64_t pos, Fixup fixup = Fixup::None);
    // Loads the 4 torn-bit bytes of the page at page_offset into the application's m_abTornBits.
    void LoadTornBits(std::uint64_t page_offset);
    // Lists the live (non-ghost) records of the page into the application's m_arrRecordOffsets, in slot order.
    bool ReadPageRecordOffsets(std::uint64_t page_offset);

    // ---- Jobs: stop, progress and log ----
    // True when the user asked to stop; the first time in a job it posts WM_JOB_ENDED.
    bool StopRequested();
    // Called at the start of each job: a new stop may post its job-ended message again.
    void BeginJob() { m_bStopPosted = false; }
    void SendProgress(platform::WPARAM stage, platform::LPARAM amount);
    void SendRecordCount();
    void LogLine(const std::u16string& line);
    void ShowMessage(const std::u16string& title, const std::u16string& text);

    // ---- Catalogue lists ----
    TableNode& AddTable() { return m_lstTables.emplace_back(); }
    ProcedureNode& AddProcedure() { return m_lstProcedures.emplace_back(); }
    FunctionNode& AddFunction() { return m_lstFunctions.emplace_back(); }
    DefaultNode& AddDefault() { return m_lstDefaults.emplace_back(); }
    ViewNode& AddView() { return m_lstViews.emplace_back(); }
    RuleNode& AddRule() { return m_lstRules.emplace_back(); }
    TriggerNode& AddTrigger() { return m_lstTriggers.emplace_back(); }
    UserTypeNode& AddUserType() { return m_lstUserTypes.emplace_back(); }
    OwnerNode& AddOwner() { return m_lstOwners.emplace_back(); }
    StatisticsNode& AddStatistics() { return m_lstStatistics.emplace_back(); }
    IndexColumnNode& AddIndexColumnNode() { return m_lstIndexColumns.emplace_back(); }
    // Name of the first owner whose id is the table's schema id; empty when there is none.
    std::u16string GetOwnerName(const TableNode& table) const;

    // ---- Members of the catalogue readers (mdf/) ----

    // ---- Members of the row decoder (rows/) ----

    // ---- Members of the document side (sharepoint/) ----

    // ---- Members of the target server side (target/, objects/) ----

public:
    platform::SharedState& m_app;
    platform::IMessageSink* m_hProgressWnd;
    platform::IUserPrompts* m_pPrompts;
    // How OpenDataFile and the version probe wait between attempts; tests replace it.
    std::function<void(std::chrono::milliseconds)> m_sleep;

    // Data file, output and progress.
    std::u16string m_strFailureFolder;
    DataFile m_hDataFile;
    std::u16string m_strTempFile;
    std::uint64_t m_nFileSize = 0;
    std::u16string m_strTargetDatabase;
    bool m_bFileOpen = false;
    bool m_bWideText = false;
    std::uint64_t m_nReadPos = 0;
    std::uint64_t m_nFirstDataPage = 0;

    // Catalogue lists.
    std::list<TableNode> m_lstTables;
    std::list<ProcedureNode> m_lstProcedures;
    std::list<FunctionNode> m_lstFunctions;
    std::list<DefaultNode> m_lstDefaults;
    std::list<ViewNode> m_lstViews;
    std::list<RuleNode> m_lstRules;
    std::list<TriggerNode> m_lstTriggers;
    std::list<UserTypeNode> m_lstUserTypes;
    std::list<OwnerNode> m_lstOwners;
    std::list<StatisticsNode> m_lstStatistics;
    std::list<IndexColumnNode> m_lstIndexColumns;
    TableNode* m_pCurrentTable = nullptr;

    // Page lists filed by the whole-file scan.
    PageList m_plObjects;
    PageList m_plColumns;
    PageList m_plIndexes;
    PageList m_plReferences;
    PageList m_plDefinitions;
    PageList m_plTypes;
    PageList m_plRowsetColumns;
    PageList m_plRowsets;
    PageList m_plAllocationUnits;
    PageList m_plColumnLayouts;
    PageList m_plIndexStats;
    PageList m_plSchemas;
    PageList m_plForeignKeyColumns;

    std::vector<std::uint64_t> m_arrIamPages;
    std::vector<std::uint64_t> m_arrVisitedPages;
    std::vector<std::uint16_t> m_arrVisitedSlots;
    std::vector<FilterTableDataOffset> m_arrFilterTableDataOffset;

    // Catalogue rows of keys and constraints.
    std::vector<structFkey> m_arrForeignKeys2000;
    std::vector<structCheckCons> m_arrCheckConstraints;
    std::vector<Fkey2005> m_arrForeignKeys2005;
    std::vector<std::u16string> m_arrDeferredStatements;
    std::vector<std::u16string> m_arrRetryStatements;

    // Row decoder scratch: the variable-value table of the row being decoded.
    std::vector<std::int64_t> m_arrVarValueOffsets;
    std::vector<std::uint64_t> m_arrVarValueLengths;
    std::vector<std::uint16_t> m_arrVarValueFlags;
    bool m_bCaptureDocs = false;
    bool m_bCaptureStreams = false;
    bool m_bCaptureWebs = false;
    bool m_bCaptureLists = false;

    // SharePoint rows and the document tree.
    std::u16string m_strTempFolder;
    std::vector<SharepointDocs> m_arrDocRows;
    std::vector<AllWebs> m_arrWebRows;
    std::vector<AllList> m_arrListRows;
    std::vector<SPSDocStream> m_arrStreamRows;
    std::vector<SPServerDocumentData> m_arrDocuments;
    std::vector<std::unique_ptr<WebList>> m_lstWebs;
    std::u16string m_strSaveFolder;
    std::vector<std::u16string> m_arrSavePath;

    // Target server.
    std::shared_ptr<platform::Connection> m_pConnection;
    std::shared_ptr<platform::Command> m_pCommand;
    std::shared_ptr<platform::Recordset> m_pRecordset;

private:
    platform::NullSink m_nullSink;
    platform::SilentPrompts m_silentPrompts;
    bool m_bStopPosted = false;
};

}  // namespace mdf
