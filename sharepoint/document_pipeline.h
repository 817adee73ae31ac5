// The documents of a save written on several threads, with every name, number, count and log line still given
// in tree order. The walk of the save (the job's thread) reads each document's content into memory, as it reads
// everything of the data file, and hands the document over; worker threads open the unnamed file, write it and
// close it (each close checked), and check that its folder still lies below the output folder; the walk then
// names the documents one by one in the order they were handed over, counts them and logs what failed. A
// document whose safe name no document before it that is still pending can want (see MayNameEarly) is named by
// its writer when that name is free; whether it is free does not depend on the order then.
//
// While the user is asked whether to stop (platform::JobPause), nothing more is written or named: the writers
// take no new document and the walk commits none until the answer.
//
// A stop is met as a save on one thread meets it: the documents are committed in order, and the stop request is
// looked at before each one that such a save could have been stopped before (a document whose walk did nothing
// else since the one before it). From there on nothing more is named, and the walk ends as after a stop. Before
// the walk does anything else (a folder, a message, a look at the counts) it commits what it handed over.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "mdf/recovery_engine.h"
#include "platform/messages.h"
#include "sharepoint/output_folder.h"

namespace sharepoint {

// One document handed to the pipeline.
struct DocumentJob {
    // The walk's progress step for the document, sent before it is committed.
    platform::WPARAM progress_stage = 0;
    platform::LPARAM progress_amount = 0;
    // A document refused before any file was made: the line logged for it (and no file).
    std::u16string refusal;
    // The output folder the file is started in (held: the engine may open another one meanwhile).
    std::shared_ptr<const OutputFolder> output;
    // Prepared on the walk (its path and folder); started, written and closed by a worker.
    PendingFile file;
    std::u16string preview;  // the path the file was started with
    std::u16string name;     // the document's name, for a ".incomplete" file
    std::u16string leaf;     // the safe name it is started with (the walk's copy)
    bool plain_leaf = false; // PlainName(leaf)
    bool prepared = false;   // a file to write: its folder found (the walk's note; the writer owns the file)
    std::size_t folder_hash = 0;  // of the folder's path text
    std::optional<std::uint64_t> recorded_size;
    std::vector<std::uint8_t> bytes;
    // The sizes of the pieces a large-value chain delivered, written one by one as the copy writes them (only for
    // a content larger than the file's buffer); empty: the content is written at once.
    std::vector<std::uint32_t> pieces;
    bool from_chain = false;
    // No document handed over before it can want its name: the writer may name it (see NameIfFree).
    bool name_early = false;
    // What the worker found.
    bool written = false;              // whole, closed, and its folder still below the output folder
    bool chain_write_failed = false;   // a write of the chain's bytes failed
    bool incomplete = false;           // its size is not its recorded Size
    std::uint64_t gathered = 0;
    std::atomic<bool> done{false};  // the worker is through with it
};

class DocumentPipeline final : public mdf::PendingDocuments {
public:
    // How much may be handed over and not yet committed.
    static constexpr std::size_t kMaxJobs = 64;
    static constexpr std::size_t kMaxBytes = std::size_t{32} << 20;
    // A content larger than this is copied the usual way, not gathered in memory.
    static constexpr std::size_t kMaxGatheredBytes = std::size_t{8} << 20;
    // The buffer of each file's stream (the save on one thread uses the same size).
    static constexpr std::size_t kFileBufferSize = 64 * 1024;
    // The writers are woken once this many documents wait for them.
    static constexpr std::size_t kWakeBatch = 8;

    // Starts the writers (threads, or DefaultThreads() when 0) and attaches the pipeline to the engine until
    // it is destroyed.
    explicit DocumentPipeline(mdf::CRecoveryEngine& engine, unsigned threads = 0);
    // Commits what is left (as CommitAll) and stops the writers.
    ~DocumentPipeline();
    DocumentPipeline(const DocumentPipeline&) = delete;
    DocumentPipeline& operator=(const DocumentPipeline&) = delete;

    // min(6, cores - 1), at least 1.
    static unsigned DefaultThreads();

    // Hands the document over and commits what the writers have finished; false once the save was stopped
    // (the document is then dropped).
    bool Submit(std::unique_ptr<DocumentJob> job);
    void CommitAll() override;
    bool CommitUntilStop() override;
    void NoteWholeWhenCommitted(const void* node) override;
    bool Stopped() const { return stopped_; }
    // The output folder that folder lies in (OutputFolderFor), found again only when the folder changes.
    std::shared_ptr<OutputFolder> OutputFor(const std::u16string& folder);

private:
    void Work();
    // True when no document handed over and not yet committed can want job's name in its folder.
    bool MayNameEarly(const DocumentJob& job) const;
    static void Write(DocumentJob& job, char* buffer);
    void Commit(DocumentJob& job);
    // Commits the finished documents at the front, waiting while more than keep_jobs documents or keep_bytes
    // bytes are not committed; with may_stop, a stop request found before a document that may be cut drops it
    // and all after it.
    void Drain(std::size_t keep_jobs, std::size_t keep_bytes, bool may_stop);
    // Drops every document not committed (waiting for those being written).
    void DropAll(std::unique_lock<std::mutex>& lock);

    // Wakes the writers for the documents handed over since they were last woken.
    void WakeWriters(std::unique_lock<std::mutex>& lock);
    // Waits until the writers are through with job.
    void WaitFor(const DocumentJob& job);

    mdf::CRecoveryEngine& engine_;
    // Guards todo_, running_, quit_ and the waits.
    std::mutex mutex_;
    std::condition_variable work_;  // a job to write, or the end
    std::condition_variable done_;  // a job written while the walk waits
    std::deque<DocumentJob*> todo_;  // handed over, not yet taken by a writer, in order
    std::size_t running_ = 0;
    std::size_t unannounced_ = 0;    // jobs in todo_ the writers were not woken for
    bool quit_ = false;
    std::atomic<bool> walk_waits_{false};
    // The walk's side (its own thread only): handed over and not committed, in order.
    std::deque<std::unique_ptr<DocumentJob>> jobs_;
    std::size_t bytes_ = 0;
    std::uint64_t next_seq_ = 0;     // of the next document handed over
    std::uint64_t next_commit_ = 0;  // of the document at the front of jobs_
    // The first document handed over after the walk last did something else: it and those before it are
    // committed whatever comes, as the walk has gone past them.
    std::uint64_t barrier_ = 0;
    bool committing_ = false;
    std::vector<char> walk_buffer_;  // the stream buffer of the documents the walk writes while it waits
    std::u16string last_folder_;
    std::shared_ptr<OutputFolder> last_output_;
    // Nodes the walk went through to their end, each with the number of documents handed over by then: whole
    // once that many are committed.
    std::deque<std::pair<std::uint64_t, const void*>> whole_marks_;
    bool stopped_ = false;
    std::vector<std::thread> threads_;
};

// The pipeline of the engine's running save; null when the save writes its files itself.
DocumentPipeline* ActivePipeline(mdf::CRecoveryEngine& engine);

// The save's log lines of a document file: one that was not written (path, the reason), and one whose content
// was cut (kept as name.incomplete: the bytes gathered and the recorded Size).
std::u16string NotWrittenLine(const std::u16string& path, const std::u16string& why);
// Why a document's file could not be written: the system's reason, or the loss of the output folder when the
// folder is no longer where the save opened it (a file of a deleted folder fails with "No such file or
// directory", which would hide what happened).
std::u16string WriteFailure(const mdf::CRecoveryEngine& engine, const std::string& error);
std::u16string IncompleteLine(const std::u16string& path, std::uint64_t gathered, std::uint64_t recorded_size);

// How a document handed to SaveDocumentInOrder ended for now.
enum class DocumentOutcome {
    Handed,      // in the pipeline: it is counted and logged when committed
    Written,     // written the usual way (after what was handed over was committed)
    NotWritten,  // the same, and not written (logged)
    Stopped,     // the save was stopped before it
};

// The tree walk's step for one document that is not a folder: its progress step (stage, amount), then its
// content read and handed to the pipeline, or saved the usual way when the pipeline does not take it (a content
// over kMaxGatheredBytes, a chain that did not end whole).
DocumentOutcome SaveDocumentInOrder(mdf::CRecoveryEngine& engine, DocumentPipeline& pipeline,
                                    const mdf::SPServerDocumentData& doc, std::optional<std::uint64_t> recorded_size,
                                    const std::u16string& folder, platform::WPARAM stage, platform::LPARAM amount);

}  // namespace sharepoint
