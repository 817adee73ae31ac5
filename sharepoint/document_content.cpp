// Writes one document's content as a new file: bytes kept in the stream row itself, or the large-value
// chains that the row points to (an image text pointer, or a varbinary root with one pointer per chain).
// Torn sectors of the row's bytes are restored with the torn bits of the page that holds the value.
#include <array>
#include <cstdio>
#include <memory>
#include <optional>

#include "mdf/recovery_engine.h"
#include "platform/text.h"
#include "sharepoint/document_pipeline.h"
#include "sharepoint/output_names.h"
#include "sharepoint/substitute_folder.h"

namespace mdf {

namespace {

constexpr std::uint32_t kTextPointerMaxLength = 24;  // longer image values lie in the row itself
constexpr std::uint32_t kRootFlag = 8;               // flag nibble: the row holds a root or pointer
constexpr std::uint64_t kEntrySize = 8;              // row pointer: page (32 bits), file (16), slot (16)
constexpr std::uint64_t kEntryGap = 4;               // bytes after each pointer of a varbinary root

bool HasLongHeader(std::uint8_t type_byte) { return type_byte == 2 || type_byte == 4; }

std::u16string Decimal(std::uint64_t n) { return platform::Widen(std::to_string(n)); }

// Reads the row's bytes with the torn bits of the value's own page, then gives the caller's back.
class ValuePageTornBits {
public:
    ValuePageTornBits(CRecoveryEngine& engine, std::uint64_t value_offset)
        : engine_(engine), saved_(engine.m_app.m_abTornBits) {
        engine.LoadTornBits(value_offset - value_offset % kPageSize);
    }
    ~ValuePageTornBits() { engine_.m_app.m_abTornBits = saved_; }
    ValuePageTornBits(const ValuePageTornBits&) = delete;
    ValuePageTornBits& operator=(const ValuePageTornBits&) = delete;

private:
    CRecoveryEngine& engine_;
    std::array<std::uint8_t, 4> saved_;
};

struct RowPointer {
    std::uint64_t page_offset = 0;
    std::uint16_t slot = 0;
};

RowPointer ReadRowPointer(CRecoveryEngine& engine, std::uint64_t pos) {
    const auto b = engine.ReadBytes(pos, kEntrySize, Fixup::Single);
    const std::uint32_t page = static_cast<std::uint32_t>(b[0]) | (static_cast<std::uint32_t>(b[1]) << 8) |
                               (static_cast<std::uint32_t>(b[2]) << 16) | (static_cast<std::uint32_t>(b[3]) << 24);
    return {std::uint64_t{page} * kPageSize, static_cast<std::uint16_t>(b[6] | (b[7] << 8))};
}

// The document file being written: under a temporary name in its folder, shared with the chain copier
// through m_hOutputFile, and given its name (numbered on a clash) only when every write and the close
// succeeded; otherwise it is deleted and the system's reason logged.
class DocumentFile {
public:
    DocumentFile(CRecoveryEngine& engine, const std::u16string& folder, const std::u16string& name,
                 std::optional<std::uint64_t> recorded_size)
        : engine_(engine),
          name_(name),
          recorded_size_(recorded_size),
          pending_(sharepoint::OutputFolderFor(engine, folder).CreateFile(folder, name)) {
        // A buffer of its own, set before the first write: a content up to its size goes out in one write,
        // and the stream need not ask the file system for a block size.
        if (pending_.IsOpen()) std::setvbuf(pending_.Stream(), buffer_.get(), _IOFBF, kBufferSize);
        engine.m_app.m_strPreviewFile = pending_.Path();
        engine.m_hOutputFile = pending_.Stream();
        engine.m_nOutputError = 0;
        if (!pending_.IsOpen()) Fail(sharepoint::WriteFailure(engine_, pending_.Error()));
    }
    ~DocumentFile() {
        engine_.m_hOutputFile = nullptr;
        pending_.Discard();
    }
    DocumentFile(const DocumentFile&) = delete;
    DocumentFile& operator=(const DocumentFile&) = delete;

    bool IsOpen() const { return pending_.IsOpen(); }
    bool Write(const std::vector<std::uint8_t>& bytes) {
        if (!pending_.IsOpen() || !ok_) return false;
        if (pending_.Write(bytes.data(), bytes.size())) return true;
        return Fail(sharepoint::WriteFailure(engine_, pending_.Error()));
    }
    bool CopyChain(const RowPointer& pointer) {
        if (!pending_.IsOpen() || !ok_) return false;
        const LargeValueEnd end = engine_.CopyLargeValueToFile(pointer.page_offset, pointer.slot);
        if (end == LargeValueEnd::Complete) return true;
        if (end == LargeValueEnd::WriteFailed) pending_.NoteWriteError(engine_.m_nOutputError);
        return Fail(end == LargeValueEnd::Cut       ? u"the content's chain is longer than the record limit"
                    : end == LargeValueEnd::Stopped ? u"stopped by the user"
                                                    : platform::FromUtf8(pending_.Error()));
    }
    // Closes the file and names it; true when it holds the whole content. A content whose size is not the
    // document's recorded Size lost bytes on the way (a damaged page gives none): it never gets the document's
    // name, and is kept beside it as name.incomplete for what it is worth.
    bool Finish() {
        engine_.m_hOutputFile = nullptr;
        if (!ok_) {
            pending_.Discard();
            return false;
        }
        std::uint64_t gathered = 0;
        const bool cut = recorded_size_ && pending_.BytesWritten(gathered) && gathered != *recorded_size_;
        if (recorded_size_ && !pending_.Error().empty()) return Fail(sharepoint::WriteFailure(engine_, pending_.Error()));
        if (cut) pending_.RenameTo(name_ + u".incomplete");
        if (!pending_.Commit()) return Fail(sharepoint::WriteFailure(engine_, pending_.Error()));
        engine_.m_app.m_strPreviewFile = pending_.Path();
        if (cut) {
            ++engine_.m_nIncompleteDocuments;
            engine_.LogLine(sharepoint::IncompleteLine(pending_.Path(), gathered, *recorded_size_));
            return false;
        }
        return true;
    }
    bool Fail(const std::u16string& why) {
        if (ok_) engine_.LogLine(sharepoint::NotWrittenLine(pending_.Path(), why));
        ok_ = false;
        engine_.m_hOutputFile = nullptr;
        pending_.Discard();
        return false;
    }

private:
    static constexpr std::size_t kBufferSize = 64 * 1024;
    std::unique_ptr<char[]> buffer_{new char[kBufferSize]};  // lives until after the close
    CRecoveryEngine& engine_;
    std::u16string name_;
    std::optional<std::uint64_t> recorded_size_;
    sharepoint::PendingFile pending_;
    bool ok_ = true;
};

// The line of a document refused before any file is made: the path the file would have had.
std::u16string RefusalLine(const std::u16string& folder, const std::u16string& name, const std::u16string& why) {
    return sharepoint::NotWrittenLine(sharepoint::JoinPath(folder, name), why);
}

// The document's file written as its content is read: the save on one thread.
class FileOutput {
public:
    FileOutput(CRecoveryEngine& engine, const std::u16string& folder, const std::u16string& name,
               std::optional<std::uint64_t> recorded_size)
        : engine_(engine), folder_(folder), name_(name), recorded_size_(recorded_size) {}

    // Refuses before any file is made; logged.
    bool Refuse(const std::u16string& why) {
        engine_.LogLine(RefusalLine(folder_, name_, why));
        return false;
    }
    // Starts the file; false when it could not be (logged).
    bool Start() {
        file_.emplace(engine_, folder_, name_, recorded_size_);
        return file_->IsOpen();
    }
    void Write(std::vector<std::uint8_t> bytes) { file_->Write(bytes); }
    bool CopyChain(const RowPointer& pointer) { return file_->CopyChain(pointer); }
    bool Finish() { return file_->Finish(); }

private:
    CRecoveryEngine& engine_;
    const std::u16string& folder_;
    const std::u16string& name_;
    std::optional<std::uint64_t> recorded_size_;
    std::optional<DocumentFile> file_;
};

// The document's content gathered in memory for the pipeline. Anything that does not end whole here (a chain
// cut, stopped, or larger than the pipeline takes) leaves the document to the usual way.
class GatheredOutput {
public:
    GatheredOutput(CRecoveryEngine& engine, sharepoint::DocumentJob& job) : engine_(engine), job_(job) {}

    bool Refuse(const std::u16string& why) {
        refusal_ = why;
        return false;
    }
    bool Start() { return true; }
    void Write(std::vector<std::uint8_t> bytes) { job_.bytes = std::move(bytes); }
    bool CopyChain(const RowPointer& pointer) {
        if (!whole_) return false;
        job_.from_chain = true;
        whole_ = engine_.GatherLargeValueBytes(pointer.page_offset, pointer.slot, job_.bytes, job_.pieces,
                                               sharepoint::DocumentPipeline::kMaxGatheredBytes) ==
                 LargeValueEnd::Complete;
        return whole_;
    }
    bool Finish() { return whole_; }

    const std::optional<std::u16string>& Refusal() const { return refusal_; }
    bool Whole() const { return whole_; }

private:
    CRecoveryEngine& engine_;
    sharepoint::DocumentJob& job_;
    std::optional<std::u16string> refusal_;
    bool whole_ = true;
};

template <typename Output>
bool RefuseOverPage(Output& out, std::uint64_t length) {
    return out.Refuse(u"its in-row length " + Decimal(length) + u" exceeds a page");
}

// A value kept in the row itself: at most a page, with every sector end inside it restored, not only the first.
template <typename Output>
bool WriteInRowBytes(CRecoveryEngine& engine, Output& out, std::uint64_t offset, std::uint64_t length) {
    if (length > kPageSize) return RefuseOverPage(out, length);
    auto bytes = engine.ReadBytes(offset, static_cast<std::size_t>(length), Fixup::Multi);
    out.Start();
    out.Write(std::move(bytes));
    return out.Finish();
}

template <typename Output>
bool WriteImageColumnDocument(CRecoveryEngine& engine, Output& out, std::uint64_t offset, std::uint64_t length) {
    // A record without a stream carries no location at all; nothing is read for it.
    if (length == 0) return out.Refuse(u"no contents were found for it");
    ValuePageTornBits torn_bits(engine, offset);
    if (length <= kTextPointerMaxLength) {
        const std::uint64_t pointer_at = HasLongHeader(engine.Read8(offset, Fixup::Single)) ? 16 : 8;
        if (length < pointer_at + kEntrySize) {
            return out.Refuse(u"its text pointer of " + Decimal(length) + u" bytes is too short");
        }
        const RowPointer pointer = ReadRowPointer(engine, offset + pointer_at);
        out.Start();
        out.CopyChain(pointer);
        return out.Finish();
    }
    return WriteInRowBytes(engine, out, offset, length);
}

template <typename Output>
bool WriteVarBinaryColumnDocument(CRecoveryEngine& engine, Output& out, std::uint64_t offset, std::uint64_t length,
                                  std::uint32_t flags) {
    if (length == 0) return out.Refuse(u"no contents were found for it");
    ValuePageTornBits torn_bits(engine, offset);
    if (engine.m_app.m_bSql2005Catalog && (flags & kRootFlag) != 0) {
        const std::uint64_t header = HasLongHeader(engine.Read8(offset, Fixup::Single)) ? 16 : 8;
        if (length < header) {
            return out.Refuse(u"its large-value root of " + Decimal(length) + u" bytes is shorter than its header");
        }
        if (length > kPageSize) return RefuseOverPage(out, length);
        if (!out.Start()) return false;
        std::uint64_t pos = offset + header;
        std::uint64_t remaining = length - header;
        while (remaining >= kEntrySize) {
            if (!out.CopyChain(ReadRowPointer(engine, pos))) break;
            pos += kEntrySize;
            remaining -= kEntrySize;
            if (remaining >= kEntrySize) {
                pos += kEntryGap;
                remaining -= kEntryGap;
            } else {
                remaining = 0;
            }
        }
        return out.Finish();
    }
    return WriteInRowBytes(engine, out, offset, length);
}

}  // namespace

bool CRecoveryEngine::SaveImageColumnDocument(std::uint64_t offset, std::uint64_t length, const std::u16string& name,
                                              const std::u16string& folder,
                                              std::optional<std::uint64_t> recorded_size) {
    FileOutput out(*this, folder, name, recorded_size);
    return WriteImageColumnDocument(*this, out, offset, length);
}

bool CRecoveryEngine::SaveVarBinaryColumnDocument(std::uint64_t offset, std::uint64_t length,
                                                  const std::u16string& name, const std::u16string& folder,
                                                  std::uint32_t flags, std::optional<std::uint64_t> recorded_size) {
    FileOutput out(*this, folder, name, recorded_size);
    return WriteVarBinaryColumnDocument(*this, out, offset, length, flags);
}

}  // namespace mdf

namespace sharepoint {

DocumentOutcome SaveDocumentInOrder(mdf::CRecoveryEngine& engine, DocumentPipeline& pipeline,
                                    const mdf::SPServerDocumentData& doc, std::optional<std::uint64_t> recorded_size,
                                    const std::u16string& folder, platform::WPARAM stage, platform::LPARAM amount) {
    const std::uint64_t offset = doc.ContentOffset64();
    const std::uint64_t length = doc.ContentLength64();
    const bool varbinary = engine.m_app.m_bVarBinaryContent;
    // The usual way, once what was handed over is committed.
    auto save_here = [&]() {
        if (pipeline.CommitUntilStop()) return DocumentOutcome::Stopped;
        engine.SendProgress(stage, amount);
        const bool written =
            varbinary ? engine.SaveVarBinaryColumnDocument(offset, length, doc.LeafName, folder, doc.ContentFlags,
                                                           recorded_size)
                      : engine.SaveImageColumnDocument(offset, length, doc.LeafName, folder, recorded_size);
        return written ? DocumentOutcome::Written : DocumentOutcome::NotWritten;
    };
    // A content whose recorded size is already too large for memory is not gathered first.
    if (recorded_size && *recorded_size > DocumentPipeline::kMaxGatheredBytes) return save_here();

    auto job = std::make_unique<DocumentJob>();
    job->progress_stage = stage;
    job->progress_amount = amount;
    mdf::GatheredOutput out(engine, *job);
    if (varbinary) {
        mdf::WriteVarBinaryColumnDocument(engine, out, offset, length, doc.ContentFlags);
    } else {
        mdf::WriteImageColumnDocument(engine, out, offset, length);
    }
    if (out.Refusal()) {
        job->refusal = mdf::RefusalLine(folder, doc.LeafName, *out.Refusal());
        job->bytes.clear();
        job->pieces.clear();
    } else if (!out.Whole()) {
        return save_here();
    } else {
        if (job->bytes.size() <= DocumentPipeline::kFileBufferSize) job->pieces.clear();
        job->output = pipeline.OutputFor(folder);
        job->file = job->output->PrepareFile(folder, doc.LeafName);
        job->preview = job->file.Path();
        if (job->file.Error().empty()) job->leaf = job->file.Leaf();
        job->name = doc.LeafName;
        job->recorded_size = recorded_size;
    }
    return pipeline.Submit(std::move(job)) ? DocumentOutcome::Handed : DocumentOutcome::Stopped;
}

}  // namespace sharepoint
