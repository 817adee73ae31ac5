// Pairs every captured document row with the stream rows that hold its content. Stream rows are indexed by
// their key once, so the join is linear; the records come out in the order of a scan of every document
// against every stream (documents in capture order, each one's streams in capture order).
#include <unordered_map>

#include "mdf/recovery_engine.h"
#include "platform/text.h"

namespace mdf {

namespace {

SPServerDocumentData RecordFrom(const SharepointDocs& doc) {
    SPServerDocumentData r;
    r.DirName = doc.DirName;
    r.ID = doc.ID;
    r.LeafName = doc.LeafName;
    r.ParentId = doc.ParentId;
    r.listId = doc.listId;
    r.TYPE = doc.TYPE;
    r.TimeCreated = doc.TimeCreated;
    r.TimeLastModified = doc.TimeLastModified;
    r.Size = doc.Size;
    return r;
}

enum class StreamKey { Id, SiteId };

}  // namespace

int CRecoveryEngine::JoinDocumentStreams() {
    if (m_arrDocRows.empty() || m_arrStreamRows.empty()) return 0;
    const auto doc_count = static_cast<platform::LPARAM>(m_arrDocRows.size());
    SendProgress(platform::kProgressStart, doc_count);

    // One pass: returns false on a stop request, leaving the records appended so far.
    auto run_pass = [&](StreamKey key, bool& paired) {
        std::unordered_map<std::u16string, std::vector<std::size_t>> streams_by_key;
        streams_by_key.reserve(m_arrStreamRows.size());
        for (std::size_t s = 0; s < m_arrStreamRows.size(); ++s) {
            const auto& row = m_arrStreamRows[s];
            streams_by_key[platform::ToLower(key == StreamKey::Id ? row.Id : row.SiteId)].push_back(s);
        }
        for (const auto& doc : m_arrDocRows) {
            if (StopRequested()) return false;
            const auto found = streams_by_key.find(platform::ToLower(doc.ID));
            if (found == streams_by_key.end()) {
                m_arrDocuments.push_back(RecordFrom(doc));
            } else {
                paired = true;
                for (std::size_t s : found->second) {
                    const auto& stream = m_arrStreamRows[s];
                    auto& r = m_arrDocuments.emplace_back(RecordFrom(doc));
                    r.ContentLength = stream.ContentLength;
                    r.ContentLengthHigh = 0;
                    r.ContentOffsetLow = stream.ContentOffsetLow;
                    r.ContentOffsetHigh = stream.ContentOffsetHigh;
                    r.ContentFlags = stream.ContentFlags;
                }
            }
            SendProgress(platform::kProgressStep, doc_count / 3);
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
    std::vector<SPSDocStream>().swap(m_arrStreamRows);
    std::vector<SharepointDocs>().swap(m_arrDocRows);
    return paired ? 1 : 0;
}

}  // namespace mdf
