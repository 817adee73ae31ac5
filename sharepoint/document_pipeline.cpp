// The writers of the document pipeline and the walk's side of it: handing over, committing in order, and the
// stop between two documents.
#include "sharepoint/document_pipeline.h"

#include <algorithm>
#include <cstdio>
#include <functional>

#include "platform/text.h"
#include "sharepoint/output_names.h"
#include "sharepoint/substitute_folder.h"

namespace sharepoint {

namespace {

std::u16string Decimal(std::uint64_t n) { return platform::Widen(std::to_string(n)); }

char16_t AsciiLower(char16_t c) { return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c - u'A' + u'a') : c; }

bool SameIgnoringAsciiCase(std::u16string_view a, std::u16string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
    }
    return true;
}

// A name that no other document's name can become: ASCII only (a file system that folds case folds some other
// characters to ASCII ones), no "[" (every numbered name has one), not ending in ".incomplete" (what an
// incomplete document's name becomes).
bool PlainName(std::u16string_view name) {
    for (const char16_t c : name) {
        if (c >= 0x80 || c == u'[') return false;
    }
    constexpr std::u16string_view kIncomplete = u".incomplete";
    return name.size() < kIncomplete.size() ||
           !SameIgnoringAsciiCase(name.substr(name.size() - kIncomplete.size()), kIncomplete);
}

}  // namespace

std::u16string NotWrittenLine(const std::u16string& path, const std::u16string& why) {
    return u"  Not written: " + path + u" (" + why + u")";
}

std::u16string WriteFailure(const mdf::CRecoveryEngine& engine, const std::string& error) {
    const auto& folder = engine.m_pOutputFolder;
    if (folder && (folder->Lost() || !folder->RootInPlace())) return platform::FromUtf8(kOutputLostReason);
    return platform::FromUtf8(error);
}

std::u16string IncompleteLine(const std::u16string& path, std::uint64_t gathered, std::uint64_t recorded_size) {
    return u"  Incomplete: " + path + u" (" + Decimal(gathered) + u" bytes gathered, its Size says " +
           Decimal(recorded_size) + u")";
}

DocumentPipeline* ActivePipeline(mdf::CRecoveryEngine& engine) {
    // The pipeline is the only kind of pending documents there is.
    return static_cast<DocumentPipeline*>(engine.m_pPendingDocuments);
}

unsigned DocumentPipeline::DefaultThreads() {
    const unsigned cores = std::thread::hardware_concurrency();
    return std::clamp(cores > 1 ? cores - 1 : 1u, 1u, 6u);
}

DocumentPipeline::DocumentPipeline(mdf::CRecoveryEngine& engine, unsigned threads) : engine_(engine) {
    if (threads == 0) threads = DefaultThreads();
    threads_.reserve(threads);
    for (unsigned k = 0; k < threads; ++k) threads_.emplace_back([this] { Work(); });
    engine_.m_pPendingDocuments = this;
}

DocumentPipeline::~DocumentPipeline() {
    CommitAll();
    engine_.m_pPendingDocuments = nullptr;
    {
        std::unique_lock lock(mutex_);
        DropAll(lock);
        quit_ = true;
    }
    work_.notify_all();
    for (std::thread& thread : threads_) thread.join();
}

void DocumentPipeline::Work() {
    // The stream buffer of the files this thread writes; each file is closed before the next one starts.
    std::vector<char> buffer(kFileBufferSize);
    std::unique_lock lock(mutex_);
    platform::JobPause& pause = engine_.m_app.m_jobPause;
    while (true) {
        work_.wait(lock, [this] { return quit_ || !todo_.empty(); });
        if (todo_.empty()) return;
        if (pause.Held()) {
            // No new file while the user is asked whether to stop.
            lock.unlock();
            pause.WaitWhileHeld();
            lock.lock();
            continue;
        }
        DocumentJob* job = todo_.front();
        todo_.pop_front();
        unannounced_ = std::min(unannounced_, todo_.size());
        ++running_;
        lock.unlock();
        Write(*job, buffer.data());
        job->done.store(true, std::memory_order_release);
        lock.lock();
        --running_;
        if (walk_waits_.load(std::memory_order_relaxed)) done_.notify_all();
    }
}

void DocumentPipeline::WakeWriters(std::unique_lock<std::mutex>&) {
    if (unannounced_ == 0) return;
    if (unannounced_ >= threads_.size()) {
        work_.notify_all();
    } else {
        for (std::size_t k = 0; k < unannounced_; ++k) work_.notify_one();
    }
    unannounced_ = 0;
}

void DocumentPipeline::WaitFor(const DocumentJob& job) {
    if (job.done.load(std::memory_order_acquire)) return;
    std::unique_lock lock(mutex_);
    WakeWriters(lock);
    // Rather than wait idle, the walk writes documents the writers have not taken yet (the one it waits for
    // first, when it is among them).
    while (!job.done.load(std::memory_order_acquire) && !todo_.empty() && !engine_.m_app.m_jobPause.Held()) {
        DocumentJob* taken = todo_.front();
        todo_.pop_front();
        unannounced_ = std::min(unannounced_, todo_.size());
        ++running_;
        lock.unlock();
        if (walk_buffer_.empty()) walk_buffer_.resize(kFileBufferSize);
        Write(*taken, walk_buffer_.data());
        taken->done.store(true, std::memory_order_release);
        lock.lock();
        --running_;
    }
    // A small document is written in a few microseconds: look again a while before going to sleep.
    lock.unlock();
    for (int spin = 0; spin < 200; ++spin) {
        if (job.done.load(std::memory_order_acquire)) return;
        std::this_thread::yield();
    }
    lock.lock();
    walk_waits_.store(true, std::memory_order_relaxed);
    done_.wait(lock, [&job] { return job.done.load(std::memory_order_acquire); });
    walk_waits_.store(false, std::memory_order_relaxed);
}

// What DocumentFile does with a file, from its start to its close: the same writes through the same buffer, the
// size checked against the recorded Size, an incomplete content renamed, the close and the folder check.
void DocumentPipeline::Write(DocumentJob& job, char* buffer) {
    PendingFile& file = job.file;
    job.output->StartFile(file);
    if (!file.IsOpen()) return;
    std::setvbuf(file.Stream(), buffer, _IOFBF, kFileBufferSize);
    bool ok = true;
    if (job.pieces.empty()) {
        ok = file.Write(job.bytes.data(), job.bytes.size());
    } else {
        std::size_t at = 0;
        for (const std::uint32_t piece : job.pieces) {
            ok = file.Write(job.bytes.data() + at, piece);
            if (!ok) break;
            at += piece;
        }
    }
    if (!ok) {
        job.chain_write_failed = job.from_chain;
        file.Discard();
        return;
    }
    if (job.recorded_size) {
        std::uint64_t gathered = 0;
        const bool told = file.BytesWritten(gathered);
        if (!file.Error().empty()) {
            file.Discard();
            return;
        }
        if (told && gathered != *job.recorded_size) {
            job.incomplete = true;
            job.gathered = gathered;
            file.RenameTo(job.name + u".incomplete");
        }
    }
    job.written = file.FinishBeforeNaming();
    if (job.written && job.name_early && !job.incomplete) file.NameIfFree();
}

// The name a document gets is the first free one of its safe name and the numbered forms, in the order of the
// save. A writer may give a document its safe name itself when no document before it that is not named yet
// can want that name: then whether the name is free does not depend on the order.
bool DocumentPipeline::MayNameEarly(const DocumentJob& job) const {
    if (!job.prepared || !job.plain_leaf) return false;
    for (const auto& earlier : jobs_) {
        // Only what the walk noted of the earlier ones: their files belong to the writers now.
        if (!earlier->prepared) continue;
        if (earlier->file.FolderIdentity() != job.file.FolderIdentity() &&
            (earlier->folder_hash != job.folder_hash || earlier->file.FolderPath() != job.file.FolderPath())) {
            continue;
        }
        if (!earlier->plain_leaf || SameIgnoringAsciiCase(earlier->leaf, job.leaf)) return false;
    }
    return true;
}

std::shared_ptr<OutputFolder> DocumentPipeline::OutputFor(const std::u16string& folder) {
    if (!last_output_ || last_output_ != engine_.m_pOutputFolder || folder != last_folder_) {
        OutputFolderFor(engine_, folder);
        last_output_ = engine_.m_pOutputFolder;
        last_folder_ = folder;
    }
    return last_output_;
}

bool DocumentPipeline::Submit(std::unique_ptr<DocumentJob> job) {
    if (stopped_) return false;
    job->prepared = job->refusal.empty() && job->file.Error().empty();
    if (job->prepared) {
        job->plain_leaf = PlainName(job->leaf);
        job->folder_hash = std::hash<std::u16string>{}(job->file.FolderPath());
    }
    job->name_early = MayNameEarly(*job);
    ++next_seq_;
    bytes_ += job->bytes.size();
    DocumentJob* raw = job.get();
    jobs_.push_back(std::move(job));
    if (!raw->prepared) {
        raw->done.store(true, std::memory_order_relaxed);  // nothing to write: the commit logs it
    } else {
        std::unique_lock lock(mutex_);
        todo_.push_back(raw);
        // The writers are woken a few documents at a time (each wake is a system call) and whenever the walk
        // is about to wait for them.
        if (++unannounced_ >= kWakeBatch) WakeWriters(lock);
    }
    Drain(kMaxJobs, kMaxBytes, true);
    return !stopped_;
}

void DocumentPipeline::CommitAll() {
    if (committing_) return;
    barrier_ = next_seq_;  // what the walk does next comes after every document handed over
    Drain(0, 0, false);
}

bool DocumentPipeline::CommitUntilStop() {
    if (!committing_) {
        Drain(0, 0, true);
        barrier_ = next_seq_;
    }
    return stopped_;
}

void DocumentPipeline::Drain(std::size_t keep_jobs, std::size_t keep_bytes, bool may_stop) {
    if (committing_) return;
    committing_ = true;
    platform::JobPause& pause = engine_.m_app.m_jobPause;
    while (!jobs_.empty()) {
        DocumentJob& head = *jobs_.front();
        if (!head.done.load(std::memory_order_acquire)) {
            if (jobs_.size() <= keep_jobs && bytes_ <= keep_bytes) break;
            pause.WaitWhileHeld();
            WaitFor(head);
        }
        // Nothing is named while the user is asked whether to stop; the answer is looked at right after.
        pause.WaitWhileHeld();
        // A save on one thread could have been stopped right before this document: its walk did nothing since
        // the one before it but look at the stop request.
        if (may_stop && next_commit_ > barrier_ && engine_.m_app.m_bStopJob.load()) {
            stopped_ = true;
            std::unique_lock lock(mutex_);
            DropAll(lock);
            break;
        }
        std::unique_ptr<DocumentJob> job = std::move(jobs_.front());
        jobs_.pop_front();
        bytes_ -= job->bytes.size();
        ++next_commit_;
        Commit(*job);
        job.reset();  // a file that was not named is discarded here
        while (!whole_marks_.empty() && whole_marks_.front().first <= next_commit_) {
            engine_.m_setSavedWhole.insert(whole_marks_.front().second);
            whole_marks_.pop_front();
        }
    }
    committing_ = false;
}

void DocumentPipeline::NoteWholeWhenCommitted(const void* node) {
    if (stopped_) return;
    if (jobs_.empty()) {
        engine_.m_setSavedWhole.insert(node);
    } else {
        whole_marks_.emplace_back(next_seq_, node);
    }
}

void DocumentPipeline::DropAll(std::unique_lock<std::mutex>& lock) {
    todo_.clear();
    unannounced_ = 0;
    walk_waits_.store(true, std::memory_order_relaxed);
    done_.wait(lock, [this] { return running_ == 0; });
    walk_waits_.store(false, std::memory_order_relaxed);
    whole_marks_.clear();  // what a dropped document was below is not whole
    next_commit_ += jobs_.size();
    for (const auto& job : jobs_) job->file.RemoveName();
    jobs_.clear();  // the unnamed files go with their descriptors, temporary names are deleted
    bytes_ = 0;
}

// What the tree walk and DocumentFile do once a document's file is written, in the same order: the progress
// step, the preview path, the name, the counts and the log lines.
void DocumentPipeline::Commit(DocumentJob& job) {
    mdf::CRecoveryEngine& engine = engine_;
    engine.SendProgress(job.progress_stage, job.progress_amount);
    if (!job.refusal.empty()) {
        engine.LogLine(job.refusal);
        ++engine.m_nSaveFailures;
        return;
    }
    engine.m_app.m_strPreviewFile = job.preview;
    PendingFile& file = job.file;
    if (!job.written || !file.Name()) {  // a file its writer named has its name already
        if (job.chain_write_failed) engine.LogLine(u"The output file could not be written.");
        engine.LogLine(NotWrittenLine(file.Path(), WriteFailure(engine, file.Error())));
        ++engine.m_nSaveFailures;
        return;
    }
    engine.m_app.m_strPreviewFile = file.Path();
    if (job.incomplete) {
        ++engine.m_nIncompleteDocuments;
        engine.LogLine(IncompleteLine(file.Path(), job.gathered, *job.recorded_size));
        ++engine.m_nSaveFailures;
        return;
    }
    ++engine.m_app.m_nRecoveredCount;
    engine.SendRecordCount();
}

}  // namespace sharepoint
