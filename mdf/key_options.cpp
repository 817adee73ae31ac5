// Status values of key and index rows turned into row kinds and options, for both catalogue formats.
#include "mdf/key_options.h"

namespace mdf {

IndexRowKind ClassifyIndexStatus2005(std::uint8_t status0) {
    if ((status0 & kIndexBits2005) != kIndexBits2005 || (status0 & kPrimaryKeyBit2005) != 0) return IndexRowKind::None;
    return (status0 & kUniqueKeyBit2005) != 0 ? IndexRowKind::UniqueKey : IndexRowKind::Index;
}

KeyOptions DecodeIndexOptions2005(std::uint8_t status0, std::uint8_t status1, std::uint8_t fill_factor) {
    KeyOptions o;
    o.m_bUnique = (status0 & 0x08) != 0;
    o.m_bIgnoreDupKey = (status0 & 0x04) != 0;
    o.m_bPadIndex = (status0 & 0x10) != 0;
    o.m_bNoRecompute = status1 >= 0x40;
    o.m_bRowLocksOff = (status1 & 0x02) != 0;
    o.m_bPageLocksOff = (status1 & 0x04) != 0;
    o.m_nFillFactor = fill_factor;
    return o;
}

bool IsPrimaryKeyStatus2000(std::uint32_t status) { return (status & 0x0F0F) == 0x802; }

IndexRowKind ClassifyIndexStatus2000(std::uint32_t status, std::uint16_t key_count) {
    if (key_count == 0) return IndexRowKind::None;
    switch (status & 0xFFFF) {
        case 0x0000:
        case 0x0002:
        case 0x0003:
        case 0x0100:
        case 0x0102:
        case 0x0103:
        case 0x4012:
        case 0x4013:
        case 0x4113:
            return IndexRowKind::Index;
        case 0x1002:
        case 0x5012:
            return IndexRowKind::UniqueKey;
        default:
            return IndexRowKind::None;
    }
}

KeyOptions DecodeIndexOptions2000(std::uint32_t status, std::uint8_t fill_factor) {
    const std::uint8_t status0 = status & 0xFF;
    const std::uint8_t status1 = (status >> 8) & 0xFF;
    const std::uint8_t status3 = (status >> 24) & 0xFF;
    KeyOptions o;
    o.m_nFillFactor = fill_factor;
    o.m_bPadIndex = status1 == 0x01 || status1 == 0x41;
    o.m_bUnique = (status & 0x0F0F) == 0x002;
    if (status0 == 0x03 || status0 == 0x13) {
        o.m_bUnique = true;
        o.m_bIgnoreDupKey = true;
    }
    o.m_bNoRecompute = status3 == 1;
    return o;
}

ClusteringChange PrimaryKeyClustering2000(std::uint32_t status, std::uint16_t index_id) {
    const std::uint16_t w = status & 0xFFFF;
    if (w == 0x4812 && index_id == 1) return ClusteringChange::Clustered;
    if (w == 0x0802 && index_id != 1) return ClusteringChange::Nonclustered;
    return ClusteringChange::Unchanged;
}

}  // namespace mdf
