// The document-stream join: the cases of both passes, the stop request, and the indexed join against a
// literal scan of every document against every stream on random rows.
#include <gtest/gtest.h>

#include <random>

#include "mdf/recovery_engine.h"
#include "platform/text.h"

namespace {

using mdf::SharepointDocs;
using mdf::SPSDocStream;
using mdf::SPServerDocumentData;

SharepointDocs Doc(std::u16string id, std::u16string type = u"0", std::u16string leaf = u"a.txt") {
    SharepointDocs d;
    d.ID = std::move(id);
    d.TYPE = std::move(type);
    d.LeafName = std::move(leaf);
    d.webid = u"{WEB}";
    d.DirName = u"sites/x";
    d.ParentId = u"{P}";
    d.listId = u"{L}";
    d.TimeCreated = u"2010-01-02 03:04:05.000";
    d.TimeLastModified = u"2011-01-02 03:04:05.000";
    d.Size = u"12";
    return d;
}

SPSDocStream Stream(std::u16string id, std::u16string site, std::uint32_t length, std::uint32_t offset = 100,
                    std::uint32_t flags = 0) {
    SPSDocStream s;
    s.Id = std::move(id);
    s.SiteId = std::move(site);
    s.ContentLength = length;
    s.ContentOffsetLow = offset;
    s.ContentOffsetHigh = 1;
    s.ContentFlags = flags;
    return s;
}

// (ID, ContentLength) of each joined record, in order.
template <typename Records>
std::vector<std::pair<std::u16string, std::uint32_t>> Summary(const Records& records) {
    std::vector<std::pair<std::u16string, std::uint32_t>> out;
    for (const auto& r : records) out.emplace_back(r.ID, r.ContentLength);
    return out;
}

struct JoinCase {
    const char* name;
    std::vector<SharepointDocs> docs;
    std::vector<SPSDocStream> streams;
    int result;
    std::vector<std::pair<std::u16string, std::uint32_t>> records;
    bool rows_kept;  // the row arrays are left as they were
};

TEST(JoinDocumentStreams, Cases) {
    const JoinCase cases[] = {
        {"two streams of one document give two records in stream order",
         {Doc(u"{A}"), Doc(u"{B}")},
         {Stream(u"{A}", u"{S}", 5), Stream(u"{C}", u"{S}", 6), Stream(u"{A}", u"{S}", 7)},
         1,
         {{u"{A}", 5}, {u"{A}", 7}, {u"{B}", 0}},
         false},
        {"a folder without a stream keeps its record with zero content",
         {Doc(u"{F}", u"1"), Doc(u"{A}")},
         {Stream(u"{A}", u"{S}", 9)},
         1,
         {{u"{F}", 0}, {u"{A}", 9}},
         false},
        {"no Id matches but SiteId does: only the second pass's records remain",
         {Doc(u"{A}"), Doc(u"{B}")},
         {Stream(u"{X}", u"{B}", 4)},
         1,
         {{u"{A}", 0}, {u"{B}", 4}},
         false},
        {"neither pass pairs: one zero record per document and result 0",
         {Doc(u"{A}"), Doc(u"{B}")},
         {Stream(u"{X}", u"{Y}", 4)},
         0,
         {{u"{A}", 0}, {u"{B}", 0}},
         false},
        {"ids that differ in letter case match",
         {Doc(u"{ab-CD}")},
         {Stream(u"{AB-cd}", u"{S}", 3)},
         1,
         {{u"{ab-CD}", 3}},
         false},
        {"no document rows: nothing joined, the streams kept", {}, {Stream(u"{A}", u"{S}", 1)}, 0, {}, true},
        {"no stream rows: nothing joined, the documents kept", {Doc(u"{A}")}, {}, 0, {}, true},
        {"an empty document ID matches an empty stream Id",
         {Doc(u"")},
         {Stream(u"", u"{S}", 8)},
         1,
         {{u"", 8}},
         false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        platform::SharedState app;
        platform::RecordingSink sink;
        mdf::CRecoveryEngine engine(app, &sink);
        engine.m_arrDocRows = c.docs;
        engine.m_arrStreamRows = c.streams;
        EXPECT_EQ(engine.JoinDocumentStreams(), c.result);
        EXPECT_EQ(Summary(engine.m_arrDocuments), c.records);
        EXPECT_EQ(engine.m_arrDocRows.size(), c.rows_kept ? c.docs.size() : 0u);
        EXPECT_EQ(engine.m_arrStreamRows.size(), c.rows_kept ? c.streams.size() : 0u);
        EXPECT_EQ(sink.Count(platform::WM_JOB_PROGRESS) == 0, c.rows_kept);
    }
}

// Thousands of documents: a progress step at the first and then now and then, not one per document (each
// message waits for the window).
TEST(JoinDocumentStreams, ThousandsOfDocumentsSendAFewProgressSteps) {
    constexpr std::size_t kDocuments = 20000;
    platform::SharedState app;
    platform::RecordingSink sink;
    mdf::CRecoveryEngine engine(app, &sink);
    for (std::size_t d = 0; d < kDocuments; ++d) engine.m_arrDocRows.push_back(Doc(u"{D" + platform::FromUtf8(std::to_string(d)) + u"}"));
    engine.m_arrStreamRows = {Stream(u"{D7}", u"{S}", 3)};
    EXPECT_EQ(engine.JoinDocumentStreams(), 1);
    EXPECT_GE(sink.Count(platform::WM_JOB_PROGRESS), 1u);
    EXPECT_LE(sink.Count(platform::WM_JOB_PROGRESS), kDocuments / 1024 + 1);
}

TEST(JoinDocumentStreams, RecordCopiesTheDocumentAndTheStreamButNeverWebid) {
    platform::SharedState app;
    mdf::CRecoveryEngine engine(app);
    engine.m_arrDocRows = {Doc(u"{A}", u"0", u"report.docx")};
    engine.m_arrStreamRows = {Stream(u"{A}", u"{S}", 300, 0x2040, 8)};
    ASSERT_EQ(engine.JoinDocumentStreams(), 1);
    ASSERT_EQ(engine.m_arrDocuments.size(), 1u);
    const auto& r = engine.m_arrDocuments[0];
    EXPECT_EQ(r.LeafName, u"report.docx");
    EXPECT_EQ(r.DirName, u"sites/x");
    EXPECT_EQ(r.ParentId, u"{P}");
    EXPECT_EQ(r.listId, u"{L}");
    EXPECT_EQ(r.TimeCreated, u"2010-01-02 03:04:05.000");
    EXPECT_EQ(r.TimeLastModified, u"2011-01-02 03:04:05.000");
    EXPECT_EQ(r.Size, u"12");
    EXPECT_TRUE(r.webid.empty());
    EXPECT_EQ(r.ContentLength64(), 300u);
    EXPECT_EQ(r.ContentOffset64(), 0x100002040u);
    EXPECT_EQ(r.ContentFlags, 8u);
}

TEST(JoinDocumentStreams, StopLeavesTheRowsAndReturnsZero) {
    platform::SharedState app;
    platform::RecordingSink sink;
    mdf::CRecoveryEngine engine(app, &sink);
    engine.m_arrDocRows = {Doc(u"{A}"), Doc(u"{B}")};
    engine.m_arrStreamRows = {Stream(u"{A}", u"{S}", 1)};
    app.m_bStopJob = true;
    EXPECT_EQ(engine.JoinDocumentStreams(), 0);
    EXPECT_EQ(engine.m_arrDocRows.size(), 2u);
    EXPECT_EQ(engine.m_arrStreamRows.size(), 1u);
    EXPECT_EQ(sink.Count(platform::WM_JOB_ENDED), 1u);
}

// The join as a scan of every document against every stream, pass 2 only when pass 1 paired nothing.
std::vector<SPServerDocumentData> QuadraticJoin(const std::vector<SharepointDocs>& docs,
                                                const std::vector<SPSDocStream>& streams, int& result) {
    std::vector<SPServerDocumentData> out;
    result = 0;
    for (int pass = 1; pass <= 2; ++pass) {
        out.clear();
        for (const auto& d : docs) {
            bool matched = false;
            for (const auto& s : streams) {
                if (platform::EqualsNoCase((pass == 1 ? s.Id : s.SiteId).Text(), d.ID.Text())) {
                    matched = true;
                    result = 1;
                    SPServerDocumentData r;
                    r.ID = d.ID;
                    r.LeafName = d.LeafName;
                    r.ContentLength = s.ContentLength;
                    r.ContentOffsetLow = s.ContentOffsetLow;
                    out.push_back(r);
                }
            }
            if (!matched) {
                SPServerDocumentData r;
                r.ID = d.ID;
                r.LeafName = d.LeafName;
                out.push_back(r);
            }
        }
        if (result) break;
    }
    return out;
}

TEST(JoinDocumentStreams, SameRecordsAsTheQuadraticScanOnRandomRows) {
    std::mt19937 random(7);
    const std::u16string ids[] = {u"{a1}", u"{A1}", u"{b2}", u"{C3}", u"{c3}", u"{d4}", u""};
    auto pick = [&] { return ids[random() % std::size(ids)]; };
    for (int round = 0; round < 200; ++round) {
        std::vector<SharepointDocs> docs(random() % 12);
        std::vector<SPSDocStream> streams(random() % 12);
        for (std::size_t i = 0; i < docs.size(); ++i) docs[i] = Doc(pick(), u"0", platform::Widen(std::to_string(i)));
        for (std::size_t i = 0; i < streams.size(); ++i) {
            streams[i] = Stream(round % 3 == 0 ? u"{none}" : pick(), pick(), static_cast<std::uint32_t>(i + 1),
                                static_cast<std::uint32_t>(i * 10));
        }
        int expected_result = 0;
        const auto expected = QuadraticJoin(docs, streams, expected_result);
        platform::SharedState app;
        mdf::CRecoveryEngine engine(app);
        engine.m_arrDocRows = docs;
        engine.m_arrStreamRows = streams;
        const int result = engine.JoinDocumentStreams();
        if (docs.empty() || streams.empty()) {
            EXPECT_EQ(result, 0);
            EXPECT_TRUE(engine.m_arrDocuments.empty());
            continue;
        }
        ASSERT_EQ(result, expected_result) << "round " << round;
        ASSERT_EQ(engine.m_arrDocuments.size(), expected.size()) << "round " << round;
        for (std::size_t i = 0; i < expected.size(); ++i) {
            EXPECT_EQ(engine.m_arrDocuments[i].LeafName, expected[i].LeafName);
            EXPECT_EQ(engine.m_arrDocuments[i].ContentLength, expected[i].ContentLength);
            EXPECT_EQ(engine.m_arrDocuments[i].ContentOffsetLow, expected[i].ContentOffsetLow);
        }
    }
}

}  // namespace
