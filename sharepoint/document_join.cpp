// Pairs every captured document row with the stream rows that hold its content. Stream rows are indexed by
// their key once, so the join is linear; the records come out in the order of a scan of every document
// against every stream (documents in capture order, each one's streams in capture order).
#include <algorithm>
#include <cstdint>
#include <string_view>
#include <unordered_map>
#include <utility>

#include "mdf/progress_pacer.h"
#include "mdf/recovery_engine.h"
#include "platform/text.h"
#include "rows/row_capture.h"

namespace mdf {

namespace {

// The record of a document row: copies the row's strings, or takes them from a row that goes afterwards.
template <typename Doc>
SPServerDocumentData RecordFrom(Doc&& doc) {
    SPServerDocumentData r;
    r.DirName = std::forward<Doc>(doc).DirName;
    r.ID = std::forward<Doc>(doc).ID;
    r.LeafName = std::forward<Doc>(doc).LeafName;
    r.ParentId = std::forward<Doc>(doc).ParentId;
    r.listId = std::forward<Doc>(doc).listId;
    r.TYPE = std::forward<Doc>(doc).TYPE;
    r.TimeCreated = std::forward<Doc>(doc).TimeCreated;
    r.TimeLastModified = std::forward<Doc>(doc).TimeLastModified;
    r.Size = std::forward<Doc>(doc).Size;
    return r;
}

enum class StreamKey { Id, SiteId };

}  // namespace

std::uint64_t CRecoveryEngine::ReportEmptyContentTables() {
    // The capture does not tell which streams table a row came from; with one streams table (the usual case)
    // any row with content is that table's.
    const bool any_content = std::any_of(m_arrStreamRows.begin(), m_arrStreamRows.end(),
                                         [](const SPSDocStream& row) { return row.ContentLength != 0; });
    if (any_content) return 0;
    std::uint64_t found = 0;
    for (auto& table : m_lstTables) {
        if (table.m_nRowCount == 0 || !rows::RowCapture(table, true).Streams()) continue;
        ++table.m_losses.other_findings;
        ++found;
        LogLine(u"Damaged table " + table.m_pszName + u": the catalogue counts " +
                platform::Widen(std::to_string(table.m_nRowCount)) +
                u" row(s), but none of them gave a document's content");
    }
    return found;
}

int CRecoveryEngine::JoinDocumentStreams() {
    if (m_arrDocRows.empty() || m_arrStreamRows.empty()) return 0;
    const auto doc_count = static_cast<platform::LPARAM>(m_arrDocRows.size());
    SendProgress(platform::kProgressStart, doc_count);

    // A pass looks up the streams of every document first and makes the records after, so the records can
    // take the strings of the rows (which go once the join ends) instead of copying them: at the peak of a
    // large scan the rows and their records are not both held in full.
    // The stream rows of each lower-cased key: the key's first row, and for every row the next row of its key
    // (kNone after the last), both in capture order. The keys lie one after the other in one string.
    constexpr std::size_t kNone = SIZE_MAX;
    std::u16string keys;
    std::unordered_map<std::u16string_view, std::size_t> first_by_key;
    std::vector<std::size_t> next_stream;
    std::vector<std::size_t> streams_of(m_arrDocRows.size(), kNone);  // each document's first stream row

    // Records of the first `count` documents, in document order and each one's streams in capture order.
    // Taking the rows, the stream rows and the key index go before the records are made: the records need
    // only the streams' content numbers, and the memory of the rows they held comes free for the records.
    struct Content {
        std::uint32_t length, offset_low, offset_high, flags;
    };
    std::vector<Content> contents;
    auto make_records = [&](std::size_t count, bool take_rows) {
        contents.clear();
        contents.reserve(m_arrStreamRows.size());
        for (const auto& row : m_arrStreamRows)
            contents.push_back({row.ContentLength, row.ContentOffsetLow, row.ContentOffsetHigh, row.ContentFlags});
        if (take_rows) {
            std::vector<SPSDocStream>().swap(m_arrStreamRows);
            decltype(first_by_key)().swap(first_by_key);
            std::u16string().swap(keys);
        }
        m_arrDocuments.reserve(m_arrDocuments.size() + count);  // one record per document in the common case
        for (std::size_t d = 0; d < count; ++d) {
            SharepointDocs& doc = m_arrDocRows[d];
            if (streams_of[d] == kNone) {
                m_arrDocuments.push_back(take_rows ? RecordFrom(std::move(doc)) : RecordFrom(doc));
                continue;
            }
            for (std::size_t s = streams_of[d]; s != kNone; s = next_stream[s]) {
                const Content& content = contents[s];
                const bool last = next_stream[s] == kNone;
                auto& r = m_arrDocuments.push_back(take_rows && last ? RecordFrom(std::move(doc)) : RecordFrom(doc));
                r.ContentLength = content.length;
                r.ContentLengthHigh = 0;
                r.ContentOffsetLow = content.offset_low;
                r.ContentOffsetHigh = content.offset_high;
                r.ContentFlags = content.flags;
            }
        }
    };

    // One pass of look-ups; on a stop request it appends the records of the documents looked up so far (the
    // rows stay as they are) and returns false.
    auto run_pass = [&](StreamKey key, bool& paired) {
        auto key_of = [&](const SPSDocStream& row) -> const CapturedGuid& {
            return key == StreamKey::Id ? row.Id : row.SiteId;
        };
        first_by_key.clear();
        std::size_t total = 0;
        for (const auto& row : m_arrStreamRows) total += key_of(row).size();
        keys.clear();
        keys.reserve(total);  // the views into it are made once it is complete
        std::vector<std::size_t> starts(m_arrStreamRows.size());
        for (std::size_t s = 0; s < m_arrStreamRows.size(); ++s) {
            starts[s] = keys.size();
            keys += key_of(m_arrStreamRows[s]).LowerText();
        }
        first_by_key.reserve(m_arrStreamRows.size());
        next_stream.assign(m_arrStreamRows.size(), kNone);
        // From the last row to the first, each row going in front of its key's rows: the chains run in
        // capture order.
        for (std::size_t s = m_arrStreamRows.size(); s-- > 0;) {
            const std::size_t end = s + 1 < starts.size() ? starts[s + 1] : keys.size();
            const std::u16string_view k(keys.data() + starts[s], end - starts[s]);
            const auto [at, added] = first_by_key.try_emplace(k, s);
            if (!added) {
                next_stream[s] = at->second;
                at->second = s;
            }
        }
        std::vector<std::size_t>().swap(starts);
        mdf::ProgressPacer pacer;  // a step for the first document and then now and then, not one per document
        for (std::size_t d = 0; d < m_arrDocRows.size(); ++d) {
            if (StopRequested()) {
                make_records(d, false);
                return false;
            }
            const auto found = first_by_key.find(m_arrDocRows[d].ID.LowerText());
            streams_of[d] = found == first_by_key.end() ? kNone : found->second;
            if (streams_of[d] != kNone) paired = true;
            if (pacer.Step() || d == 0) SendProgress(platform::kProgressStep, doc_count / 3);
        }
        return true;
    };

    bool paired = false;
    if (!run_pass(StreamKey::Id, paired)) return 0;
    if (!paired) {
        // No stream row names a document by its Id: the streams are keyed by their SiteId instead, and the
        // records without a stream of the first pass are dropped.
        m_arrDocuments.clear();
        if (!run_pass(StreamKey::SiteId, paired)) return 0;
    }
    make_records(m_arrDocRows.size(), true);
    std::vector<SharepointDocs>().swap(m_arrDocRows);
    return paired ? 1 : 0;
}

}  // namespace mdf
