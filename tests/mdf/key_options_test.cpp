// Status values of key and index rows in both catalogue formats: which kind of row each value is, and which
// options it carries.
#include "mdf/key_options.h"

#include <gtest/gtest.h>

using mdf::IndexRowKind;
using mdf::KeyOptions;

namespace {

KeyOptions Options(bool unique, bool ignore_dup, bool pad, bool no_recompute, bool row_locks_off, bool page_locks_off,
                   std::uint8_t fill) {
    KeyOptions o;
    o.m_bUnique = unique;
    o.m_bIgnoreDupKey = ignore_dup;
    o.m_bPadIndex = pad;
    o.m_bNoRecompute = no_recompute;
    o.m_bRowLocksOff = row_locks_off;
    o.m_bPageLocksOff = page_locks_off;
    o.m_nFillFactor = fill;
    return o;
}

std::string Describe(const KeyOptions& o) {
    return "unique=" + std::to_string(o.m_bUnique) + " ignore_dup=" + std::to_string(o.m_bIgnoreDupKey) +
           " pad=" + std::to_string(o.m_bPadIndex) + " no_recompute=" + std::to_string(o.m_bNoRecompute) +
           " row_locks_off=" + std::to_string(o.m_bRowLocksOff) +
           " page_locks_off=" + std::to_string(o.m_bPageLocksOff) + " fill=" + std::to_string(o.m_nFillFactor);
}

struct Status2005Case {
    const char* what;
    std::uint8_t status0;
    IndexRowKind kind;
    bool primary_key;
    bool statistics;
};

// Values seen in the corpus: 0x03 index, 0x0B unique index, 0x2B primary key, 0x4B unique key, 0x02 statistics
// (status 0x2002), 0x01 heap. Every other value is read by its bits.
const Status2005Case kStatus2005[] = {
    {"unique key ignoring duplicates", 0x4F, IndexRowKind::UniqueKey, false, false},
    {"unique key ignoring duplicates with pad", 0x5F, IndexRowKind::UniqueKey, false, false},
    {"primary key with pad", 0x3B, IndexRowKind::None, true, false},
    {"disabled index", 0x83, IndexRowKind::Index, false, false},
    {"index", 0x03, IndexRowKind::Index, false, false},
    {"index with pad", 0x13, IndexRowKind::Index, false, false},
    {"unique index", 0x0B, IndexRowKind::Index, false, false},
    {"unique index with pad", 0x1B, IndexRowKind::Index, false, false},
    {"unique index ignoring duplicates", 0x0F, IndexRowKind::Index, false, false},
    {"unique index ignoring duplicates with pad", 0x1F, IndexRowKind::Index, false, false},
    {"unique key", 0x4B, IndexRowKind::UniqueKey, false, false},
    {"unique key with pad", 0x5B, IndexRowKind::UniqueKey, false, false},
    {"primary key", 0x2B, IndexRowKind::None, true, false},
    {"primary key with a torn low bit is nothing", 0x29, IndexRowKind::None, false, false},
    {"statistics", 0x02, IndexRowKind::None, false, true},
    {"statistics with other bits", 0x22, IndexRowKind::None, false, true},
    {"heap", 0x01, IndexRowKind::None, false, false},
    {"an index ignoring duplicates without unique", 0x07, IndexRowKind::Index, false, false},
    {"zero", 0x00, IndexRowKind::None, false, false},
};

TEST(KeyOptions2005, StatusByteZeroGivesTheRowKind) {
    for (const auto& c : kStatus2005) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(mdf::ClassifyIndexStatus2005(c.status0), c.kind);
        EXPECT_EQ(mdf::IsPrimaryKeyStatus2005(c.status0), c.primary_key);
        EXPECT_EQ(mdf::IsStatisticsStatus2005(c.status0), c.statistics);
    }
}

struct Options2005Case {
    const char* what;
    std::uint8_t status0;
    std::uint8_t status1;
    std::uint8_t fill;
    KeyOptions expected;
};

const Options2005Case kOptions2005[] = {
    {"plain index", 0x03, 0x00, 0, Options(false, false, false, false, false, false, 0)},
    {"pad index", 0x13, 0x00, 80, Options(false, false, true, false, false, false, 80)},
    {"unique", 0x0B, 0x00, 0, Options(true, false, false, false, false, false, 0)},
    {"unique pad", 0x1B, 0x00, 0, Options(true, false, true, false, false, false, 0)},
    {"unique ignore duplicates", 0x0F, 0x00, 0, Options(true, true, false, false, false, false, 0)},
    {"unique ignore duplicates pad", 0x1F, 0x00, 0, Options(true, true, true, false, false, false, 0)},
    {"unique key pad", 0x5B, 0x00, 0, Options(true, false, true, false, false, false, 0)},
    {"unique key without pad", 0x4B, 0x00, 0, Options(true, false, false, false, false, false, 0)},
    {"unique key ignoring duplicates", 0x4F, 0x00, 0, Options(true, true, false, false, false, false, 0)},
    {"row locks off", 0x03, 0x02, 0, Options(false, false, false, false, true, false, 0)},
    {"page locks off", 0x03, 0x04, 0, Options(false, false, false, false, false, true, 0)},
    {"both locks off", 0x03, 0x06, 0, Options(false, false, false, false, true, true, 0)},
    {"no recompute", 0x03, 0x40, 0, Options(false, false, false, true, false, false, 0)},
    {"no recompute, row locks off", 0x03, 0x42, 0, Options(false, false, false, true, true, false, 0)},
    {"no recompute, page locks off", 0x03, 0x44, 0, Options(false, false, false, true, false, true, 0)},
    {"no recompute, both locks off", 0x03, 0x46, 0, Options(false, false, false, true, true, true, 0)},
    {"high status byte 1 counts as no recompute", 0x03, 0x80, 0, Options(false, false, false, true, false, false, 0)},
    {"0x01 in status byte 1 is no option", 0x03, 0x01, 0, Options(false, false, false, false, false, false, 0)},
    {"0x03 in status byte 1: row locks off by its bit", 0x03, 0x03, 0,
     Options(false, false, false, false, true, false, 0)},
};

TEST(KeyOptions2005, StatusBytesGiveTheOptions) {
    for (const auto& c : kOptions2005) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(Describe(mdf::DecodeIndexOptions2005(c.status0, c.status1, c.fill)), Describe(c.expected));
    }
}

struct Kind2000Case {
    const char* what;
    std::uint32_t status;
    std::uint16_t key_count;
    IndexRowKind kind;
    bool primary_key;
};

const Kind2000Case kKind2000[] = {
    {"W 0x0000", 0x00000000, 1, IndexRowKind::Index, false},
    {"W 0x0002", 0x00000002, 1, IndexRowKind::Index, false},
    {"W 0x0003", 0x00000003, 1, IndexRowKind::Index, false},
    {"W 0x0100", 0x00000100, 1, IndexRowKind::Index, false},
    {"W 0x0102", 0x00000102, 1, IndexRowKind::Index, false},
    {"W 0x0103", 0x00000103, 1, IndexRowKind::Index, false},
    {"W 0x4012", 0x00004012, 1, IndexRowKind::Index, false},
    {"W 0x4013", 0x00004013, 1, IndexRowKind::Index, false},
    {"W 0x4113", 0x00004113, 1, IndexRowKind::Index, false},
    {"high word does not count", 0x01000002, 1, IndexRowKind::Index, false},
    {"no key columns: no index", 0x00000002, 0, IndexRowKind::None, false},
    {"unique key W 0x1002", 0x00001002, 2, IndexRowKind::UniqueKey, false},
    {"unique key W 0x5012", 0x00005012, 2, IndexRowKind::UniqueKey, false},
    {"unique key without key columns", 0x00001002, 0, IndexRowKind::None, false},
    {"clustered primary key", 0x00004812, 1, IndexRowKind::None, true},
    {"nonclustered primary key", 0x00000802, 1, IndexRowKind::None, true},
    {"primary key with other high bits", 0x00F0A802, 1, IndexRowKind::None, true},
    {"statistics W 0x0060", 0x00000060, 1, IndexRowKind::None, false},
    {"unlisted W 0x0001", 0x00000001, 1, IndexRowKind::None, false},
};

TEST(KeyOptions2000, StatusWordGivesTheRowKind) {
    for (const auto& c : kKind2000) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(mdf::ClassifyIndexStatus2000(c.status, c.key_count), c.kind);
        EXPECT_EQ(mdf::IsPrimaryKeyStatus2000(c.status), c.primary_key);
    }
}

struct Options2000Case {
    const char* what;
    std::uint32_t status;
    std::uint8_t fill;
    KeyOptions expected;
};

const Options2000Case kOptions2000[] = {
    {"plain index", 0x00000000, 0, Options(false, false, false, false, false, false, 0)},
    {"unique (U 0x002)", 0x00000002, 90, Options(true, false, false, false, false, false, 90)},
    {"unique with statistics bits (U 0x002)", 0x00004012, 0, Options(true, false, false, false, false, false, 0)},
    {"ignore duplicates (status byte 0 is 3)", 0x00000003, 0, Options(true, true, false, false, false, false, 0)},
    {"ignore duplicates (status byte 0 is 0x13)", 0x00004013, 0, Options(true, true, false, false, false, false, 0)},
    {"pad index (status byte 1 is 1)", 0x00000100, 0, Options(false, false, true, false, false, false, 0)},
    {"pad index (status byte 1 is 0x41)", 0x00004113, 0, Options(true, true, true, false, false, false, 0)},
    {"pad unique (U 0x102 is not 0x002)", 0x00000102, 0, Options(false, false, true, false, false, false, 0)},
    {"no recompute (status byte 3 is 1)", 0x01000000, 0, Options(false, false, false, true, false, false, 0)},
    {"status byte 3 other than 1", 0x03000000, 0, Options(false, false, false, false, false, false, 0)},
};

TEST(KeyOptions2000, StatusGivesTheOptions) {
    for (const auto& c : kOptions2000) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(Describe(mdf::DecodeIndexOptions2000(c.status, c.fill)), Describe(c.expected));
    }
}

TEST(KeyOptions2000, PrimaryKeyClustering) {
    using mdf::ClusteringChange;
    struct Case {
        std::uint32_t status;
        std::uint16_t index_id;
        ClusteringChange change;
    };
    const Case cases[] = {
        {0x4812, 1, ClusteringChange::Clustered},    {0x4812, 2, ClusteringChange::Unchanged},
        {0x0802, 2, ClusteringChange::Nonclustered}, {0x0802, 1, ClusteringChange::Unchanged},
        {0x0812, 1, ClusteringChange::Unchanged},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << c.status << " index " << c.index_id);
        EXPECT_EQ(mdf::PrimaryKeyClustering2000(c.status, c.index_id), c.change);
    }
}

}  // namespace
