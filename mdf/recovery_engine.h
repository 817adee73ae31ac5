// The engine of one scan: the open data file, the catalogue it rebuilds, the rows captured from the
// SharePoint tables and the document tree, and the connection to the target server. Its operations live in
// the files of the subsystem that owns them (catalogue readers here, the row decoder in rows/, the document
// side in sharepoint/, scripting in target_db/ and objects/).
#pragma once

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdint>
#include <functional>
#include <list>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <string_view>
#include <thread>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "mdf/allocation_maps.h"
#include "mdf/catalog_records.h"
#include "mdf/catalogue_facts.h"
#include "mdf/data_file.h"
#include "mdf/data_page_notes.h"
#include "mdf/key_options.h"
#include "mdf/large_value.h"
#include "mdf/page_check.h"
#include "mdf/page_runs.h"
#include "mdf/repair_tally.h"
#include "mdf/sharepoint_records.h"
#include "platform/messages.h"
#include "platform/shared_state.h"
#include "platform/statement_report.h"
#include "platform/target_settings.h"
#include "platform/user_prompts.h"

namespace platform {
class Connection;
class Command;
class Recordset;
class SqlError;
class ISqlBackend;
class CodePage;
}  // namespace platform

namespace rows {
struct ValueRequest;
struct ValueResult;
class InsertStatement;
class RowCapture;
}  // namespace rows

namespace sharepoint {
struct CheckItem;
class OutputFolder;
}  // namespace sharepoint

namespace objects {
class FailureFile;
}  // namespace objects

namespace mdf {

// The documents of a save that other threads are writing, to be named, counted and logged on the save's own
// thread in tree order (sharepoint/document_pipeline.h). While a save has them, the engine commits them before it
// sends a message of its own and before it tells of a stop, so that every message comes in the order a save on
// one thread gives.
class PendingDocuments {
public:
    // Commits every document handed over: what the save does next comes after all of them.
    virtual void CommitAll() = 0;
    // Commits them in order, but a stop found before one that a save on one thread could have been stopped
    // before drops that one and the rest. True once the save was stopped so (the walk then ends as after a
    // stop).
    virtual bool CommitUntilStop() = 0;
    // The save's walk has gone through node (a web, list or folder) to its end: once every document handed
    // over before now is committed, the node counts as saved whole (CRecoveryEngine::m_setSavedWhole); a stop
    // that drops any of them leaves it out.
    virtual void NoteWholeWhenCommitted(const void* node) = 0;

protected:
    ~PendingDocuments() = default;
};

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
    // Opens the application's data file read-only. A file that is busy gets six attempts a second apart; one
    // that waiting cannot open (missing, not allowed, not a regular file) fails at once. Either way
    // m_strOpenError then says why and m_bOpenBusy which of the two it was.
    bool OpenDataFile();
    // The byte with its low two bits replaced by the torn bits (of the page entered last) for its sector.
    std::uint8_t RestoreTornBits(std::uint8_t value, std::int64_t offset) const;
    // Applies the fix-up to bytes just read from absolute position pos. Only files made by the 2000 format
    // carry torn bits: for the others this is the one test, inline, because the row decoder reads a few bytes
    // at a time, millions of times.
    void ApplyFixup(std::uint8_t* buffer, std::size_t n, std::uint64_t pos, Fixup fixup) const {
        if (fixup == Fixup::None || !m_app.m_bCreatedOn2000 || n == 0) return;
        RestoreSectorEnds(buffer, n, pos, fixup);
    }
    // Reads n bytes at pos (zeros beyond the end of the file) and applies the fix-up; remembers pos.
    void ReadAt(std::uint64_t pos, void* dst, std::size_t n, Fixup fixup = Fixup::None) {
        m_nReadPos = pos;
        m_hDataFile.Read(pos, dst, n);
        ApplyFixup(static_cast<std::uint8_t*>(dst), n, pos, fixup);
    }
    std::vector<std::uint8_t> ReadBytes(std::uint64_t pos, std::size_t n, Fixup fixup = Fixup::None);
    std::uint8_t Read8(std::uint64_t pos, Fixup fixup = Fixup::None) {
        std::uint8_t b = 0;
        ReadAt(pos, &b, 1, fixup);
        return b;
    }
    std::uint16_t Read16(std::uint64_t pos, Fixup fixup = Fixup::None) {
        std::uint8_t b[2] = {};
        ReadAt(pos, b, 2, fixup);
        return static_cast<std::uint16_t>(b[0] | (b[1] << 8));
    }
    std::uint32_t Read32(std::uint64_t pos, Fixup fixup = Fixup::None);
    std::uint64_t Read64(std::uint64_t pos, Fixup fixup = Fixup::None);
    // Loads the 4 torn-bit bytes of the page at page_offset into the application's m_abTornBits.
    void LoadTornBits(std::uint64_t page_offset);
    // Lists the live (non-ghost) records of the page into the application's m_arrRecordOffsets, in slot order.
    bool ReadPageRecordOffsets(std::uint64_t page_offset);

    // ---- The row walk every job takes (table view, repair, document capture, tools) ----
    // Goes over the table's data pages, each page once in list order, a chunk of pages read at a time, and
    // decodes every live record with DecodeTableRow. before_page(i) is asked before list entry i is read and
    // after_record() after each record; either ends the walk by returning false. A walk that reaches the end
    // settles the table's row losses (m_losses) from what it met and returns true; one that was ended leaves
    // them as they were.
    bool WalkTableRows(TableNode& table, const std::function<bool(std::size_t page_index)>& before_page,
                       const std::function<bool()>& after_record);
    // The Document Recovery capture of one table, as the scan job takes it: a page listed twice leaves the list,
    // the documents' and streams' arrays get room for the rows the table counts, then WalkTableRows with the
    // same two calls.
    bool CaptureTableRows(TableNode& table, const std::function<bool(std::size_t page_index)>& before_page,
                          const std::function<bool()>& after_record);
    // What the last DecodeTableRow made of its record.
    enum class RecordOutcome : std::uint8_t {
        Row,         // a row came of it (grid texts, capture, or a statement run)
        RowNotSent,  // read, but a value of it is lost: in insert mode no statement was run
        NotRow,      // no row: not a data record, or the walk was stopped
        Damaged,     // a damaged record: no row came of it (the loss is noted)
    };
    RecordOutcome m_lastRecordOutcome = RecordOutcome::NotRow;
    // What the walk knows of the record it hands to DecodeTableRow: the absolute offset its bytes must end by
    // (the next record's start or the end of its page's records; 0: its page's end), the slot that lists it (-1:
    // not known) and the most columns a record of the table may count (0: the catalogue does not say).
    std::uint64_t m_nRecordRoomEnd = 0;
    int m_nRecordSlot = -1;
    std::uint16_t m_nRecordColumnLimit = 0;
    // A loss the row decoder met in the record at record_offset of table: counted in the running walk of
    // m_losses, and logged (a bounded number of lines per walk). column names the value for a LostValue.
    void NoteRowLoss(TableNode& table, RowLoss loss, std::uint64_t record_offset, std::u16string_view column,
                     std::u16string_view why);
    // The grid text of a value that could not be read whole.
    static constexpr std::u16string_view kLostValueText = u"<lost: damaged in the data file>";
    // One line per table whose rows may be incomplete ("Incomplete table NAME: summary"), and per lost table
    // that the catalogue no longer names, for the end of every report.
    std::vector<std::u16string> IncompleteTableLines() const;

    // ---- Jobs: stop, progress and log ----
    // True when the user asked to stop; the first time in a job it posts WM_JOB_ENDED. Inline: the row walk
    // asks after every column.
    // While the user is asked whether to stop, it waits for the answer first.
    bool StopRequested() {
        if (m_app.m_jobPause.Held()) m_app.m_jobPause.WaitWhileHeld();
        return m_app.m_bStopJob.load() && PostJobEndOnce();
    }
    // Called at the start of each job: a new stop may post its job-ended message again.
    void BeginJob() { m_bStopPosted = false; }
    void SendProgress(platform::WPARAM stage, platform::LPARAM amount);
    void SendRecordCount();
    void LogLine(const std::u16string& line);
    // Adds the current log line and a line break to the application's copy of the log, under its lock (the
    // user-interface thread writes that copy too).
    void KeepLogLine();
    void ShowMessage(const std::u16string& title, const std::u16string& text);
    // A failure: the message dialog with the error sign.
    void ShowError(const std::u16string& title, const std::u16string& text);

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
    // Large values (large_value.cpp): the chain of records that starts at the record (page_offset, slot).
    // The text reader decodes UTF-16 when m_bWideText is set, else 8-bit text through the ANSI code page.
    // Every record is held against its page (its header's page number, a text page type, the owner of origin's
    // table, the scan's checksum and torn checks) and against the record that led to it (the id every record of
    // a value carries); a record that fails is not delivered and ends the walk Damaged (m_strLargeValueLoss).
    LargeValueText ReadLargeValueText(std::uint64_t page_offset, std::uint16_t slot,
                                      LargeTextZeros zeros = LargeTextZeros::EndEachPiece,
                                      const LargeValueOrigin& origin = {});
    // Appends the value's bytes to m_hOutputFile, which the caller opened.
    LargeValueEnd CopyLargeValueToFile(std::uint64_t page_offset, std::uint16_t slot,
                                       const LargeValueOrigin& origin = {});
    // Appends the value's bytes to out.
    LargeValueEnd ReadLargeValueBytes(std::uint64_t page_offset, std::uint16_t slot, std::vector<std::uint8_t>& out,
                                      const LargeValueOrigin& origin = {});
    // Appends the value's bytes to out, and the size of each piece the walk delivered to pieces, without a
    // message of its own: a walk that meets a stop request (looked at, not reported) ends Stopped, one that is
    // cut is not logged, and one that would take out past max_bytes ends WriteFailed. Any end but Complete
    // means the caller copies the value the usual way instead.
    LargeValueEnd GatherLargeValueBytes(std::uint64_t page_offset, std::uint16_t slot, std::vector<std::uint8_t>& out,
                                        std::vector<std::uint32_t>& pieces, std::size_t max_bytes,
                                        const LargeValueOrigin& origin = {});
    // Why the last walk ended Damaged: "page 377 is not the page its pointer names (its header says page 109)".
    std::u16string m_strLargeValueLoss;
    // Whether a text page whose header names this owner (object id, index-id word) may hold large values of the
    // table with the given object id: 2000 files, the table's own id; later files, an allocation unit of the
    // table's rowsets, or, for a table whose large-value units the catalogue lost, a unit of no other table.
    bool LargeValuePageOwnedBy(std::uint32_t page_object_id, std::uint16_t page_index_word, std::int32_t table_object_id);
    // The object id of the table whose allocation unit (the owner a page header names) this is, when the
    // catalogue knows it (2000 files: the object id itself).
    std::optional<std::int32_t> TableOfPageOwner(std::uint32_t page_object_id, std::uint16_t page_index_word);
    // Whether the last page scan found the page damaged (its checksum or torn stamp), and how.
    std::optional<PageDamage> ScanDamageOf(std::uint64_t page_number) const;
    // Version probe (own short-lived handle) and the choice of catalogue reader (version_detection.cpp).
    bool DetectDatabaseVersion();
    bool ReadCatalogForVersion();
    // Whole-file page scans that file system-table pages and IAM pages (page_scan.cpp). Each page is checked
    // against its own checksum or torn-page stamp as it is read; the damaged ones go to m_arrDamagedPages.
    bool ScanPages2000();
    bool ScanPages2005();
    // Logs one line per run of damaged pages with the table (or the part of the catalogue or of the file) it
    // belongs to, one per run of a table's pages beyond the end of the file, one per loss in m_arrTableDamage,
    // per column row that contradicts its table (CheckColumnRows) and per finding of CheckCatalogue, and a line
    // when a damaged catalogue gave no table (a sound one without tables: NoUserTableText, no finding). Returns
    // the number of damaged or missing pages plus the other findings (page_scan.cpp). Run once the catalogue is
    // read and the column positions are computed. Marks every table it names incomplete (m_losses) and keeps
    // the number in m_nDamageCount.
    std::uint64_t ReportDamage();
    // What ReportDamage says of a sound catalogue without user tables (Document Recovery: without SharePoint
    // content tables): the information the window shows.
    std::u16string NoUserTableText() const;
    // What the last ReportDamage found: damaged or missing pages (the window's warning shows the same count).
    std::uint64_t m_nDamageCount = 0;
    // Catalogue readers: 2005 and later (catalog_2005.cpp), SharePoint tables only (sharepoint_catalog.cpp),
    // 2000 (catalog_2000.cpp). Each returns non-zero for a catalogue read to its end.
    int ReadCatalog2005();
    int ReadSharePointCatalog();
    int ReadCatalog2000();
    // Column rows of 2000 files, then FinishCatalog2000 (columns_2000.cpp). Returns 0.
    int ReadColumns2000();
    // 2000 files: settles duplicate tables and columns, then lists each table's data pages through its IAM
    // pages and counts its live rows (table_pages_2000.cpp).
    void FinishCatalog2000();
    void WalkTableAllocations();
    // Column rows of 2005-and-later files; ends with the position readers and the finisher (columns_2005.cpp).
    int ReadColumns2005();
    // Column in-row positions: read from the catalogue, or computed from the types (column_positions.cpp).
    void ReadRowsetColumnRows();
    void ReadColumnLayoutRows();
    void ComputeColumnOffsets();
    // Rowsets, allocation units, IAM walk and live-row counts of 2005-and-later tables; duplicate removal
    // (table_pages_2005.cpp).
    void ReadRowsetRows();
    std::uint32_t ReadAllocationUnitRows(std::uint32_t key32, std::uint16_t key16, const std::u16string& table_name);
    void WalkTableAllocations2005();
    // The chain of a table's allocation maps from the first one its catalogue row names, through each map's
    // next-page link: a damage line for a map that lies beyond the end of the file or is no sound page (a map
    // whose page is free, or a sound page of something else, ends the chain without a word: an out-of-date
    // link). A chain that comes back to a map it passed is followed once. index_word: the index id the unit's
    // maps carry (2005 and later).
    void CheckAllocationMapChain(const TableNode& table, std::uint64_t first_iam, std::uint32_t object_id,
                                 std::optional<std::uint16_t> index_word);
    // 2000 files: the index rows of the tables' data into m_catalogue (table_pages_2000.cpp).
    void ReadIndexRows2000();
    void FinishCatalog2005();
    void RemoveDuplicateTables();
    void RemoveDuplicateColumns();
    // Slot entries of a page in slot order (the count clamped to what the page can hold) (catalog_page.cpp).
    std::vector<std::uint16_t> ReadSlotEntries(std::uint64_t page_offset, std::uint64_t slot_count);
    // Decimal text of a stored decimal value and its digit-string arithmetic (decimal_text.cpp).
    std::u16string DecimalToText(std::uint8_t length, TableNode& table, std::uint32_t pos_low, std::uint32_t pos_high);
    std::u16string AddDigitStrings(std::u16string a, std::u16string b);
    std::u16string MultiplyDigitStrings(std::u16string x, std::u16string y);

    // Keys, indexes and statistics, read when a repair starts (primary_keys.cpp, indexes.cpp). The column
    // readers return false when the user stopped the job.
    void ReadPrimaryKeys();
    bool ReadPrimaryKeyColumns(std::int32_t object_id, std::uint32_t index_id, const std::u16string& name);
    void ReadIndexes();
    bool ReadIndexKeyColumns(std::int32_t object_id, std::uint32_t index_id, const std::u16string& name,
                             const KeyOptions& options);
    bool ReadUniqueKeyColumns(std::int32_t object_id, std::uint32_t index_id, const std::u16string& name,
                              const KeyOptions& options);
    void ReadPrimaryKeyColumns2000();
    void ReadIndexes2000();
    // Index-column rows for the statistics script (index_columns.cpp).
    void ReadIndexColumnRows();
    // Definition text stored for (object id, sub-id): a computed column's expression (table id, column id) or
    // a stored object's text; empty when no row matches (object_text.cpp).
    std::u16string ReadObjectText(std::int32_t object_id, std::uint16_t sub_id);

    // ---- Members of the row decoder (rows/) ----
    // Decodes the record at record_offset of table (callers pass m_pCurrentTable): grid texts into m_app.m_arrRowValues, or (while
    // m_bRepairRequested is set) one INSERT executed on m_pConnection; captures SharePoint rows while
    // m_bRowPreview is clear. Always returns 0.
    int DecodeTableRow(std::uint64_t record_offset, TableNode& table);
    // Takes the strings of m_app.m_arrRowValues back for the cells of later rows and empties it: a caller that
    // lists rows one after another and keeps none calls this in place of clear(), and the walk then writes
    // each cell into a string that already has room instead of allocating one per cell.
    void RecycleRowCells();
    // The four-line text of a caught error of the data-access layer ("null" for a missing source or
    // description; "File is password protected" when the text speaks of an invalid password).
    std::u16string FormatComError(const platform::SqlError& error) const;
    // Re-opens m_pConnection on the target database (m_app.m_strContentDbName on m_app.m_strServerInstance, with
    // m_targetSettings); leaves m_pCommand null. False when the re-open failed.
    bool Reconnect();
    // After a lost connection that could not be opened again: says so (naming the incomplete database), sets
    // the stop flag and posts the job's end; no later statement can reach the server.
    void EndRepairOnLostLink();
    // The value case of a present column's type: integer, date and time and uniqueidentifier values here,
    // the other families through the members below.
    void DecodeColumnValue(const ColumnNode& column, const rows::ValueRequest& request, rows::ValueResult& result);
    // Runs one row's INSERT (with the IDENTITY_INSERT statements around it) on a fresh command; a lost
    // connection is re-opened and the row tried once more; a failed re-open ends the repair with a message.
    void ExecuteRowStatement(const rows::InsertStatement& statement);
    // Value cases of the families filled in rows/ by their own files (contract in rows/value_dispatch.h).
    void DecodeCharacterValue(const ColumnNode& column, const rows::ValueRequest& request,
                              rows::ValueResult& result);
    // An xml value: its stored binary form turned into text (character_values.cpp).
    void DecodeXmlValue(const ColumnNode& column, std::uint64_t recordOffset, std::uint64_t offset, std::uint32_t length,
                        bool complex, bool insert,
                        rows::ValueResult& result);
    void DecodeBinaryValue(const ColumnNode& column, const rows::ValueRequest& request, rows::ValueResult& result);
    void DecodeFloatValue(const ColumnNode& column, const rows::ValueRequest& request, rows::ValueResult& result);
    void DecodeDecimalValue(const ColumnNode& column, const rows::ValueRequest& request,
                            rows::ValueResult& result);
    void DecodeSqlVariantValue(const ColumnNode& column, const rows::ValueRequest& request,
                               rows::ValueResult& result);
    // Plain text of the stored sql_variant value of `length` bytes at `offset` (sql_variant_values.cpp).
    std::u16string SqlVariantToText(std::uint32_t length, std::int64_t offset);
    // The code page that 8-bit text of a collation is read with (character_values.cpp): the collation's own;
    // for a column that stores none (id 0, the short column rows of 2000 files) the database's, which the boot
    // page names; the ANSI code page when neither names one iconv knows.
    const platform::CodePage& CollationCodePage(std::uint32_t collation_id);

    // ---- Members of the document side (sharepoint/) ----
    // Pairs the captured document rows with their stream rows into m_arrDocuments and empties both row
    // arrays (document_join.cpp). 1 when any document found a stream; 0 on a stop request.
    int JoinDocumentStreams();
    // After the record pass, before the join (document_join.cpp): logs a damage line for every content
    // (AllDocStreams) table whose catalogue counts rows while the pass gave no stream row with content, marks
    // it incomplete (m_losses), and returns how many such tables there are.
    std::uint64_t ReportEmptyContentTables();
    // Moves web, list and document rows into the tree web > sub-web > list > folder > item, appends its root
    // to m_lstWebs and logs a summary per site and what found no place (web_tree.cpp). 1 when a top-level
    // web was placed. The Attach/Collect steps work on the id index of the build.
    struct WebTreeIndex;
    int BuildWebTree();
    int AttachSubWebs(WebList& parent, WebTreeIndex& index);
    int CollectWebLists(WebList& web, WebTreeIndex& index);
    int AttachListFolders(structAllList& list, WebTreeIndex& index);
    int AttachChildNodes(sharepointDocsList& node, WebTreeIndex& index);
    // What one top-level site holds below it: the difference of the scan's running counters.
    struct SiteCounts {
        std::int32_t sub_sites = 0, lists = 0, folders = 0, documents = 0;
        SiteCounts operator-(const SiteCounts& o) const {
            return {sub_sites - o.sub_sites, lists - o.lists, folders - o.folders, documents - o.documents};
        }
    };
    SiteCounts CurrentSiteCounts() const;
    void LogSiteSummary(const std::u16string& title, const SiteCounts& counts);
    // Write one document's content as a new file in folder (document_content.cpp); true only when the
    // file was written whole. Failures are logged with the path. With recorded_size (the document's Size), a
    // content that gathers to another size is kept as name + ".incomplete", logged with both sizes and
    // counted in m_nIncompleteDocuments, and the result is false.
    bool SaveImageColumnDocument(std::uint64_t offset, std::uint64_t length, const std::u16string& name,
                                 const std::u16string& folder, std::optional<std::uint64_t> recorded_size = {});
    bool SaveVarBinaryColumnDocument(std::uint64_t offset, std::uint64_t length, const std::u16string& name,
                                     const std::u16string& folder, std::uint32_t flags,
                                     std::optional<std::uint64_t> recorded_size = {});
    // Write whole subtrees as folders and files (site_writers.cpp).
    int SaveWeb(const WebList& web, const std::u16string& parent_folder);
    int SaveSubWeb(const WebList& web, const std::u16string& folder);
    int SaveWebLists(const WebList& web, const std::u16string& folder);
    int SaveListFolders(const structAllList& list, const std::u16string& folder);
    int SaveDocumentTree(const sharepointDocsList& node, const std::u16string& folder);
    // What a save of the checked items met: the documents below them when it began, whether a stop ended it,
    // and whether the output's file system could not be flushed (also counted in m_nSaveFailures).
    struct SaveTally {
        std::uint64_t documents = 0;
        bool stopped = false;
        bool flush_failed = false;
        // The output folder was deleted or moved during the save: the save ended there, and the documents it
        // did not write are counted in m_nSaveFailures.
        bool output_lost = false;
    };
    // Saves every checked item below item (checked_save.cpp): each one from the node it shows, then unchecks
    // it in the model and reports it to on_saved; an item whose save a stop may have cut short stays checked.
    // Flushes the output folder's file system at the end.
    SaveTally SaveCheckedTreeItems(sharepoint::CheckItem& item,
                                   const std::function<void(const sharepoint::CheckItem&)>& on_saved = {});
    void SaveCheckedPath(const sharepoint::CheckItem& item);
    std::uint64_t m_nSaveFailures = 0;  // documents and folders of this engine's saves not written whole
    std::uint64_t m_nIncompleteDocuments = 0;  // of those, documents kept as ".incomplete" files
    // The output folder held open by descriptor while a save writes below it (sharepoint/output_folder.h).
    std::shared_ptr<sharepoint::OutputFolder> m_pOutputFolder;
    // The documents of the running save that other threads write; null when the save writes them itself.
    PendingDocuments* m_pPendingDocuments = nullptr;
    // PendingDocuments::CommitUntilStop of the running save; false when it has none.
    bool CommitPendingDocuments() { return m_pPendingDocuments && m_pPendingDocuments->CommitUntilStop(); }
    // True when the save must end where it is: the user asked to stop (StopRequested), or its output folder
    // was deleted or moved, so nothing more can be written where the user chose.
    bool SaveMustEnd();
    bool OutputLost() const;
    // The nodes (webs, lists, folders) of the running save written whole: the walk went through each to its
    // end and every document below it was committed. A stop keeps these unchecked.
    std::unordered_set<const void*> m_setSavedWhole;
    // The walk reached the end of node without a stop: it counts as saved whole once its documents are
    // committed (at once when the save has no pending documents).
    void NoteSavedWhole(const void* node);
    // Documents the running save has met so far (written or not); each one's progress message carries it.
    std::uint64_t m_nSaveDocumentsMet = 0;

    // ---- Members of the target server side (target_db/, objects/) ----
    // Opens a connection to the server on master, creates the repair's database under the first free name
    // (m_strTargetDatabase, then with 1, 2, ... appended while the server answers that the database or its file
    // exists; at most 100 names) and leaves m_pConnection open on it with m_pCommand bound to it, and a private
    // temporary folder made for this repair (m_strRepairFolder, m_strTempFile inside it). With
    // m_bEmbeddedEdition set no database is created: the connection opens m_strEmbeddedDatabase. Returns 1 on
    // success, 0 with m_strTargetFailureTitle and m_strTargetFailureText saying why (a refused CREATE DATABASE
    // also stays in m_statementReport) (target_database.cpp).
    int CreateTargetDatabase();
    // Closes m_pConnection when it is open; 1 when it closed one. Only the thread that created the database, or
    // any thread once the job is idle (m_app.m_bJobIdle), may close it: otherwise nothing happens and 0 comes
    // back. The repair's temporary folder is removed with it (target_database.cpp).
    int CloseConnection();
    // The Stop button's way into a running statement (any thread): m_pConnection's Cancel, so the statement
    // the job is waiting on ends now and no later one reaches the server. A connection made after the stop
    // flag is set starts cancelled (target_database.cpp).
    void CancelRunningStatement();
    // The two forms every scripted statement runs in: immediate (a fresh command of its own) and command (on
    // m_pCommand, which the create-database step made). An empty text is never sent. A refusal is kept in
    // m_statementReport and false comes back; a lost connection reports the same (target_database.cpp).
    bool RunImmediate(const std::u16string& text);
    bool RunCommand(const std::u16string& text);
    // The line the embedded road logs where the original restarts the edition's local service: a server on
    // another machine cannot be restarted from here (target_database.cpp).
    void LogServiceRestartLeftToAdministrator();

    // Stored objects (objects/): each pass reads its definitions from the definition pages, sends each whole
    // definition that is a CREATE statement of its kind, counts what was created and refused in m_repairTally and
    // writes the refused ones to its failure file in m_strFailureFolder.
    // Creates every schema that a table or a stored object of the catalogue is in and the new database lacks.
    void ScriptMissingSchemas();
    void ScriptRules();
    void ScriptDefaults();             // stand-alone defaults and their column bindings
    void ScriptDefaultConstraints();   // column default constraints as ALTER TABLE statements
    void BindTypeDefaultsAndRules();   // defaults and rules bound to user-defined types; reads no page
    // Triggers of tables and views; the triggers of the database are held for CreateDatabaseTriggers.
    void ScriptTriggers();
    // The database's own (DDL) triggers, last of all: made earlier, one would fire on the repair's own statements.
    void CreateDatabaseTriggers();
    // Sets ANSI_NULLS and QUOTED_IDENTIFIER as a module was created with, sending only what differs from the
    // session's settings; nothing when the catalogue does not say.
    void ApplyModuleSettings(const ModuleSettings& settings);
    // The early pass of the user-defined functions, before the tables exist: what it creates is not sent again,
    // what it cannot create waits for ScriptDependentObjects.
    void ScriptUserFunctions();
    // Views, stored procedures and the functions not created yet, tried in rounds while a round creates
    // something; what the last round refused goes to the failure files.
    void ScriptDependentObjects(bool views, bool procedures, bool functions);
    // Runs one statement of the object passes; false when the server refused it (its words are dropped).
    bool RunObjectStatement(const std::u16string& text);
    // Counts a refusal, logs it and appends its failure entry (when file is set).
    void RefuseObject(ObjectKind kind, const std::u16string& what, const std::u16string& why,
                      objects::FailureFile* file, std::span<const std::uint8_t> body, const std::u16string& text);
    RepairTally m_repairTally;
    // Database triggers found by ScriptTriggers and created by CreateDatabaseTriggers.
    struct HeldTrigger {
        std::u16string what;
        std::vector<std::u16string> texts;  // the readings of its bytes to try, in order
        std::vector<std::uint8_t> body;     // the failure entry of the last reading
        ModuleSettings settings;
        bool disabled = false;
    };
    std::vector<HeldTrigger> m_arrHeldTriggers;
    std::uint64_t m_nRefusedRowCount = 0;  // rows of the row copy that did not go in: refused by the server,
                                           // or given up after the link dropped on the try and the retry

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
    std::FILE* m_hOutputFile = nullptr;  // where CopyLargeValueToFile writes; opened and closed by the caller
    int m_nOutputError = 0;              // the errno of CopyLargeValueToFile's last failed write
    std::uint64_t m_nFileSize = 0;
    std::u16string m_strTargetDatabase;
    bool m_bFileOpen = false;
    std::u16string m_strOpenError;  // why the last OpenDataFile or version probe failed
    bool m_bOpenBusy = false;       // that failure was a busy file rather than a lasting cause
    bool m_bWideText = false;
    std::uint64_t m_nReadPos = 0;
    std::vector<std::uint8_t> m_arrRowBytes;   // the row walk's null bitmap and variable-value table bytes
    std::vector<std::uint8_t> m_arrNullFlags;  // the row walk's null flags, one per column ordinal
    std::vector<std::uint8_t> m_arrValueBytes; // an in-row variable-length value's bytes
    std::vector<std::uint8_t> m_arrPageBytes;  // the row walk's current page, torn sectors restored
    // CollationCodePage's answers by collation id, and the database's collation id once read from the boot page.
    std::vector<std::pair<std::uint32_t, const platform::CodePage*>> m_arrCollationCodePages;
    std::optional<std::uint32_t> m_nDatabaseCollationId;
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
    // Pages whose checksum or torn-page stamp did not match when the last page scan read them.
    struct DamagedPage {
        std::uint64_t page_number;
        std::uint32_t object_id;  // the owner the page header names
        PageDamage damage;
        std::uint16_t index_id = 0;  // the index id the page header names (2005 and later: of its allocation unit)
    };
    std::vector<DamagedPage> m_arrDamagedPages;
    // Pages that a table's allocation maps name but that are not its pages (NoteDamagedPage), or that lie
    // beyond the end of the file (NoteMissingPage), as runs, by table name; found by the allocation walks.
    std::map<std::u16string, PageRuns> m_mapDamagedPageRuns;
    std::map<std::u16string, PageRuns> m_mapMissingPageRuns;
    void NoteDamagedPage(const TableNode& table, std::uint64_t page, std::u16string_view why);
    void NoteMissingPage(const TableNode& table, std::uint64_t page,
                         std::u16string_view why = u"beyond the end of the file");
    // Everything else that keeps rows of a table from being read, found while the table's pages and columns
    // are gathered: a page the table should own that cannot be read as its page, an allocation map that is
    // gone, a data page whose slots list one record twice, a column row that contradicts its table. One line
    // each in the damage report, in the order found.
    struct TableDamage {
        std::u16string table;
        std::u16string line;  // the whole line but its table: "Damaged page 12 (no page header) of table "
    };
    std::vector<TableDamage> m_arrTableDamage;
    void NoteTableDamage(const TableNode& table, std::u16string line) {
        m_arrTableDamage.push_back({table.m_pszName, std::move(line)});
    }
    // Column rows that contradict their table: a column read as computed whose row says otherwise, a
    // computed column without its stored expression, a fixed-length value placed outside any row
    // (column_positions.cpp). Run on the whole catalogue, after the positions are computed.
    std::vector<TableDamage> CheckColumnRows();

    // ---- The catalogue held against itself and against the pages (catalogue_checks.cpp) ----
    // One line of the damage report: line + owner is what is logged ("Damaged page 18 (no page header) of " +
    // "the catalogue (rowsets)"); table names the table whose losses it counts (a listed table, or one the
    // catalogue no longer lists, "object 1977058079"), empty for none; pages counts the pages of a page line.
    struct Finding {
        enum class Kind : std::uint8_t { DamagedPages, MissingPages, Other };
        std::u16string line;
        std::u16string owner;
        std::u16string table;
        Kind kind = Kind::Other;
        std::uint64_t pages = 1;
    };
    // The system tables' own pages, the chains of catalogue rows from data pages to their tables, objects that
    // lost their object row, tables without column rows or with a row count that differs from their pages, a
    // file cut short of what its allocation maps name, allocated pages without a page header, and a catalogue
    // of which nothing could be read. Run by ReportDamage; sets m_bCatalogueDamaged.
    std::vector<Finding> CheckCatalogue();
    // The name of the system table the scan files under object_id ("rowsets"), empty for another object.
    std::u16string CatalogueTableLabel(std::uint32_t object_id) const;
    // Whether a page with this owner in its header is a page of one of those system tables.
    bool IsCataloguePage(std::uint32_t object_id, std::uint16_t index_word) const;
    // The most columns a live record on the table's first data page carries.
    std::uint64_t RecordColumnCount(const TableNode& table);
    // 2005 and later: the object id of each rowset, as the index statistics rows give it.
    std::map<std::uint64_t, std::int32_t> ReadIndexStatsRowsets();
    // 2005 and later: the schema id and name of each object, as the leaf rows of the object rows' index by
    // schema and name give them (they outlive a lost object row).
    std::map<std::int32_t, std::pair<std::int32_t, std::u16string>> ReadObjectNameIndex();
    // Whether the page scan met damage: a checksum, a page without header that the allocation pages mark
    // allocated, a damaged boot page, or allocation pages or maps that name pages beyond the end of the file.
    bool ScanFoundDamage();
    // What the catalogue's rows say beyond the tables (every object id, rowset, allocation-unit and index row).
    CatalogueFacts m_catalogue;
    // The data pages the scan met with live records, by the owner their header names.
    std::map<std::uint64_t, DataPageOwner> m_mapDataPageOwners;
    // Pages the file's allocation pages mark allocated that carry no sound page header, with why.
    PageRuns m_unsoundAllocatedPages;
    // Why the boot page cannot be believed ("no page header", "checksum mismatch"); empty when it is sound.
    std::u16string m_strBootPageDamage;
    // The last ReportDamage found the catalogue damaged (lost pages or rows of it, or a cut file).
    bool m_bCatalogueDamaged = false;
    // The GAM and PFS pages that the last page scan met.
    AllocationMaps m_allocationMaps;
    // Per page number, what the 2005 page scan noted about each data page (files without torn-sector
    // restoration); the allocation walk uses and then frees it.
    DataPageNotes m_arrDataPageNotes;
    std::vector<std::uint64_t> m_arrVisitedPages;
    std::vector<std::uint16_t> m_arrVisitedSlots;
    // Allocation unit (DataPageOwnerKey) -> the object id of the table whose rowset owns it, from m_catalogue;
    // made when first asked after a page scan, which empties it.
    std::unordered_map<std::uint64_t, std::int32_t> m_mapUnitTables;
    std::set<std::int32_t> m_setTablesWithLargeUnits;
    bool m_bUnitTablesMade = false;
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
    // Strings handed back by RecycleRowCells; the walk takes one (emptied) for each cell it writes, in order
    // from m_nSpareCellsTaken (the strings before it are taken).
    std::vector<std::u16string> m_arrSpareCells;
    std::size_t m_nSpareCellsTaken = 0;
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
    DocumentRecords m_arrDocuments;
    std::vector<std::unique_ptr<WebList>> m_lstWebs;
    std::u16string m_strSaveFolder;
    std::vector<std::u16string> m_arrSavePath;

    // Target server.
    std::shared_ptr<platform::Connection> m_pConnection;
    std::shared_ptr<platform::Command> m_pCommand;
    std::shared_ptr<platform::Recordset> m_pRecordset;
    // Login, port, driver and folders of the target (settings file); the server text is m_app.m_strServerInstance.
    platform::TargetSettings m_targetSettings;
    // Makes the backend of each new connection: ODBC unless a test puts another one here.
    std::function<std::shared_ptr<platform::ISqlBackend>()> m_newBackend;
    // The embedded road: rows only, into a database the user created and named.
    bool m_bEmbeddedEdition = false;
    std::u16string m_strEmbeddedDatabase;
    // The last database name tried; after a successful CreateTargetDatabase, the database created.
    std::u16string m_strCreatedDatabase;
    // The private temporary folder of the current repair (mode 0700); empty between repairs.
    std::u16string m_strRepairFolder;
    // Every statement the server refused during the current repair.
    platform::StatementReport m_statementReport;
    // Why CreateTargetDatabase returned 0: the title and words of the message the job then shows. Kept here, on
    // the job's side: the message fields of the shared state belong to the user-interface thread.
    std::u16string m_strTargetFailureTitle;
    std::u16string m_strTargetFailureText;
    // The thread that created the target database: the one that may close its connection while the job runs
    // (atomic: the window's thread reads it while the job's thread sets it).
    std::atomic<std::thread::id> m_targetThread;
    // Held while m_pConnection is replaced on the job's thread and while CancelRunningStatement reads it.
    std::mutex m_connectionMutex;

private:
    // DecodeTableRow's walk of one record, with the row's capture (null when the row captures nothing) and
    // statement (null in grid mode).
    int DecodeTableRecord(std::uint64_t record_offset, TableNode& table, rows::RowCapture* capture,
                          rows::InsertStatement* statement);
    // The fix-up of a file made by the 2000 format (ApplyFixup's work).
    void RestoreSectorEnds(std::uint8_t* buffer, std::size_t n, std::uint64_t pos, Fixup fixup) const;
    // StopRequested once the stop flag is set: posts WM_JOB_ENDED the first time; returns true.
    bool PostJobEndOnce();

    platform::NullSink m_nullSink;
    platform::SilentPrompts m_silentPrompts;
    bool m_bStopPosted = false;
    // Set when a value of the record being decoded was lost (NoteRowLoss): the row is not sent.
    bool m_bRowValueLost = false;
};

}  // namespace mdf
