#include "objects/definition_rows.h"

#include <algorithm>
#include <map>
#include <set>

#include "mdf/catalog_page.h"
#include "mdf/key_rows.h"
#include "mdf/recovery_engine.h"
#include "platform/text.h"

namespace objects {

namespace {

using mdf::Fixup;

constexpr std::uint8_t kStatisticsValueClass = 60;
constexpr std::uint16_t kLargeRootMask = 0xF000;
constexpr std::uint16_t kLargeRootMark = 0x8000;
constexpr std::uint8_t kLargeRootType = 4;
constexpr std::uint8_t kEightBitRecords = 2;
constexpr std::uint32_t kRootEntriesAt = 48;
constexpr std::uint32_t kRootEntrySize = 12;
constexpr std::uint32_t kRowIdSize = 8;

std::u16string Number(std::uint64_t n) { return platform::Widen(std::to_string(n)); }

struct Layout {
    std::uint32_t object_id_at;
    std::uint32_t text_end_at;
    std::uint32_t text_start;
};
constexpr Layout kLayout2005{5, 24, 32};
constexpr Layout kLayout2000{4, 19, 21};

// One row of a 2000 text: its place in the sequence and its bytes.
struct Piece {
    std::uint16_t sequence = 0;
    std::vector<std::uint8_t> bytes;
    std::u16string damage;
};

// Joins the text records that a large-value root in the row names, in root order. Every zero is kept but
// those at the very end: a zero inside the text is damage the passes that send it must see.
void ReadLargeText(mdf::CRecoveryEngine& engine, std::uint64_t record, std::uint32_t entry, std::uint32_t area_end,
                   std::uint16_t end, StoredDefinition& definition, bool& stopped) {
    definition.large = true;
    const std::uint32_t column_end = end & 0x0FFF;
    if (column_end < kLayout2005.text_start + 1 || !mdf::RecordHolds(entry, column_end, area_end)) {
        definition.damage = u"large-value root ends at " + Number(column_end) + u", outside its row";
        return;
    }
    const std::uint8_t form = engine.Read8(record + 28, Fixup::Multi);
    const std::uint8_t type = engine.Read8(record + kLayout2005.text_start, Fixup::Multi);
    if (type != kLargeRootType) {
        definition.damage = u"large-value root of unknown type " + Number(type);
        return;
    }
    if (column_end < kRootEntriesAt + kRowIdSize) {
        definition.damage = u"large-value root names no record";
        return;
    }
    for (std::uint32_t at = kRootEntriesAt; at + kRowIdSize <= column_end; at += kRootEntrySize) {
        const auto id = engine.ReadBytes(record + at, kRowIdSize, Fixup::Multi);
        const std::uint32_t page = id[0] | (id[1] << 8) | (id[2] << 16) | (static_cast<std::uint32_t>(id[3]) << 24);
        const auto slot = static_cast<std::uint16_t>(id[6] | (id[7] << 8));
        engine.m_bWideText = form != kEightBitRecords;
        const mdf::LargeValueText text = engine.ReadLargeValueText(std::uint64_t{page} * mdf::kPageSize, slot,
                                                                        mdf::LargeTextZeros::Keep);
        if (text.end == mdf::LargeValueEnd::Stopped) {
            stopped = true;
            return;
        }
        if (text.end != mdf::LargeValueEnd::Complete) {
            definition.damage = u"large value at page " + Number(page) + u", slot " + Number(slot) + u" is incomplete";
            return;
        }
        definition.large_text += text.text;
    }
    mdf::TrimEndZeros(definition.large_text);
}

}  // namespace

std::u16string DescribeDefinition(const StoredDefinition& definition) {
    return u"object " + platform::Widen(std::to_string(definition.object_id)) + u" (page " +
           Number(definition.page_offset / mdf::kPageSize) + u", slot " + Number(definition.slot) + u")";
}

GatheredDefinitions GatherDefinitions(mdf::CRecoveryEngine& engine, const DefinitionQuery& query) {
    GatheredDefinitions result;
    auto& app = engine.m_app;
    const bool is2005 = app.m_bSql2005Catalog;
    const Layout layout = is2005 ? kLayout2005 : kLayout2000;
    const mdf::PageList& pages = engine.m_plDefinitions;
    const std::size_t page_count = std::min(pages.m_arrOffsets.size(), pages.m_arrSlotCounts.size());

    std::set<std::pair<std::int32_t, std::uint32_t>> seen_2005;
    std::map<std::pair<std::int32_t, std::uint16_t>, std::size_t> groups_2000;  // -> index in definitions
    std::vector<std::vector<Piece>> pieces_2000;

    for (std::size_t p = 0; p < page_count; ++p) {
        const std::uint64_t page = pages.m_arrOffsets[p];
        const std::uint64_t slot_count = pages.m_arrSlotCounts[p];
        app.m_abTornBits = {};
        engine.LoadTornBits(page);
        const auto entries = engine.ReadSlotEntries(page, slot_count);
        const std::uint32_t page_area_end = mdf::RecordAreaEnd(slot_count);
        for (std::size_t s = 0; s < entries.size(); ++s) {
            const std::uint32_t entry = entries[s];
            // A row ends where the next row on the page begins (or at the slot array).
            std::uint32_t area_end = page_area_end;
            for (const std::uint32_t other : entries) {
                if (other > entry && other < area_end) area_end = other;
            }
            if (!mdf::RecordHolds(entry, layout.text_start, area_end)) continue;
            const std::uint64_t record = page + entry;
            if (mdf::IsGhostRecord(engine.Read8(record))) continue;
            const auto object_id = static_cast<std::int32_t>(engine.Read32(record + layout.object_id_at, Fixup::Multi));
            if (!query.wanted || !query.wanted(object_id)) continue;

            StoredDefinition definition;
            definition.object_id = object_id;
            definition.page_offset = page;
            definition.slot = static_cast<std::uint16_t>(s);
            std::uint16_t sequence = 0;
            if (is2005) {
                // Only the object's own definition row: not a statistics value, not a column's expression.
                if (engine.Read8(record + 4) == kStatisticsValueClass) continue;
                const std::uint32_t sub_id = engine.Read32(record + 9, Fixup::Multi);
                if (query.numbered ? sub_id > 0xFFFF : sub_id != 0) continue;
                if (!seen_2005.insert({object_id, sub_id}).second) continue;
                definition.number = static_cast<std::uint16_t>(sub_id);
            } else {
                if (query.status_byte_2000 && engine.Read8(record + 12, Fixup::Multi) != 2) continue;
                definition.number = engine.Read16(record + 8, Fixup::Multi);
                sequence = engine.Read16(record + 10, Fixup::Multi);
            }

            const std::uint16_t end = engine.Read16(record + layout.text_end_at, Fixup::Multi);
            if (is2005 && (end & kLargeRootMask) == kLargeRootMark) {
                bool stopped = false;
                ReadLargeText(engine, record, entry, area_end, end, definition, stopped);
                if (stopped) {
                    result.stopped = true;
                    return result;
                }
            } else if (end < layout.text_start || !mdf::RecordHolds(entry, end, area_end)) {
                definition.damage = u"text end " + Number(end) + u" lies outside its row";
            } else {
                definition.bytes = engine.ReadBytes(record + layout.text_start, end - layout.text_start, Fixup::Multi);
            }

            if (is2005) {
                result.definitions.push_back(std::move(definition));
                continue;
            }
            const auto key = std::make_pair(object_id, definition.number);
            auto [it, inserted] = groups_2000.try_emplace(key, result.definitions.size());
            Piece piece{sequence, std::move(definition.bytes), definition.damage};
            if (inserted) {
                definition.bytes.clear();
                definition.damage.clear();
                result.definitions.push_back(std::move(definition));
                pieces_2000.emplace_back();
            }
            pieces_2000[it->second].push_back(std::move(piece));
        }
        if (engine.StopRequested()) {
            result.stopped = true;
            return result;
        }
    }

    // 2000 texts: the rows of one object and number, joined in sequence order; a gap or a damaged row leaves
    // the whole definition unread.
    for (std::size_t i = 0; i < pieces_2000.size(); ++i) {
        auto& pieces = pieces_2000[i];
        StoredDefinition& definition = result.definitions[i];
        std::stable_sort(pieces.begin(), pieces.end(),
                         [](const Piece& a, const Piece& b) { return a.sequence < b.sequence; });
        for (std::size_t k = 0; k < pieces.size() && definition.damage.empty(); ++k) {
            if (!pieces[k].damage.empty()) {
                definition.damage = u"part " + Number(pieces[k].sequence) + u": " + pieces[k].damage;
            } else if (pieces[k].sequence != k + 1) {
                const std::uint64_t expected = k + 1;
                definition.damage = k > 0 && pieces[k].sequence == pieces[k - 1].sequence
                                        ? u"part " + Number(pieces[k].sequence) + u" is stored twice"
                                        : u"part " + Number(expected) + u" is missing";
            } else {
                definition.bytes.insert(definition.bytes.end(), pieces[k].bytes.begin(), pieces[k].bytes.end());
            }
        }
        if (!definition.damage.empty()) definition.bytes.clear();
    }
    // Whatever a pass finds it creates or refuses by name; the repair's last look needs to know which ones.
    for (const auto& definition : result.definitions) {
        engine.m_repairTally.definitions_found.insert(definition.object_id);
    }
    return result;
}

}  // namespace objects
