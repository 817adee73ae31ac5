// The steps of the schema side of a repair: reading what the statements need from the catalogue pages, running
// the statements on fresh commands and reporting what the server refused.
#include "target_db/schema_script.h"

#include <algorithm>
#include <fstream>
#include <set>

#include "mdf/catalog_page.h"
#include "mdf/key_rows.h"
#include "platform/sql_connection.h"
#include "platform/text.h"
#include "mdf/collation_names.h"
#include "platform/tsql_text.h"

namespace target {

namespace {

constexpr std::uint32_t kSysnameType = 256;

std::u16string Num(std::uint64_t n) { return platform::Widen(std::to_string(n)); }

std::uint16_t Le16(const std::vector<std::uint8_t>& b, std::size_t at) {
    return at + 1 < b.size() ? static_cast<std::uint16_t>(b[at] | (b[at + 1] << 8)) : 0;
}
std::uint32_t Le32(const std::vector<std::uint8_t>& b, std::size_t at) {
    return static_cast<std::uint32_t>(Le16(b, at)) | (static_cast<std::uint32_t>(Le16(b, at + 2)) << 16);
}

bool Layout2005(const mdf::CRecoveryEngine& engine) {
    return engine.App().m_bSql2005Catalog || engine.App().m_bSql2008Catalog;
}

// Walks the live rows of a system table's pages: visit(record, entry in page, end of the record area).
template <typename Visit>
void WalkRows(mdf::CRecoveryEngine& engine, const mdf::PageList& pages, Visit visit) {
    for (std::size_t p = 0; p < pages.size(); ++p) {
        const std::uint64_t page = pages.m_arrOffsets[p];
        const std::uint64_t slot_count = pages.m_arrSlotCounts[p];
        engine.App().m_abTornBits = {};
        engine.LoadTornBits(page);
        const std::uint32_t area_end = mdf::RecordAreaEnd(slot_count);
        for (const std::uint16_t entry : engine.ReadSlotEntries(page, slot_count)) {
            if (!mdf::IsRecordOffset(entry) || entry >= area_end) continue;
            if (mdf::IsGhostRecord(engine.Read8(page + entry))) continue;
            visit(page, entry, area_end);
        }
    }
}

// One failure entry: separator, the statement as UTF-16, separator, a line of "=".
void AppendFailureEntry(std::ofstream& file, const std::u16string& text) {
    static const char kSeparator[8] = {0x0A, 0x0D, 0x0A, 0x0D, 0x0A, 0x0D, 0x0A, 0x0D};
    file.write(kSeparator, sizeof kSeparator);
    for (char16_t c : text) {
        const char bytes[2] = {static_cast<char>(c & 0xFF), static_cast<char>(c >> 8)};
        file.write(bytes, 2);
    }
    file.write(kSeparator, sizeof kSeparator);
    const std::string line(135, '=');
    file.write(line.data(), static_cast<std::streamsize>(line.size()));
    file.flush();
}

const mdf::ColumnNode* FindColumn(const mdf::TableNode& table, std::int64_t column_id) {
    for (const auto& column : table.m_lstColumns) {
        if (column.m_nColumnId == column_id) return &column;
    }
    return nullptr;
}

// Column names for ids; false when an id names no column of the table.
bool ColumnNames(const mdf::TableNode& table, const std::vector<std::uint32_t>& ids, std::vector<std::u16string>& names) {
    names.clear();
    for (const std::uint32_t id : ids) {
        const mdf::ColumnNode* column = FindColumn(table, id);
        if (column == nullptr) return false;
        names.push_back(column->m_pszName);
    }
    return true;
}

}  // namespace

std::u16string CollationFor(RepairScript& script, std::uint32_t id) {
    const mdf::CollationChoice choice = mdf::ChooseCollation(id);
    // Named once per repair, in the report that the log and the end text show.
    if (!choice.note.empty() && script.m_setUnknownCollations.insert(id).second) script.m_report.Changed(choice.note);
    return choice.name;
}

bool RunStatement(RepairScript& script, const std::u16string& step, const std::u16string& object,
                  const std::u16string& text) {
    if (text.empty()) return false;
    mdf::CRecoveryEngine& engine = script.m_engine;
    for (int attempt = 0; attempt < 2; ++attempt) {
        try {
            auto command = std::make_shared<platform::Command>();
            command->SetActiveConnection(engine.m_pConnection);
            command->SetCommandText(text);
            command->SetCommandTimeout(script.m_nTimeoutSeconds);
            command->Execute(platform::adCmdText);
            engine.m_statementReport.AddAccepted();
            return true;
        } catch (const platform::SqlError& error) {
            // A lost link is re-opened once and the statement tried again on it.
            if (attempt == 0 && platform::IsConnectionLost(error) && engine.Reconnect()) continue;
            engine.m_statementReport.AddRefused(text, error);
            script.m_report.Refused(step, object, text, engine.FormatComError(error));
            return false;
        }
    }
    return false;
}

void BeginRepair(RepairScript& script) {
    mdf::CRecoveryEngine& engine = script.m_engine;
    engine.m_lstUserTypes.clear();
    engine.m_arrDeferredStatements.clear();
    engine.m_arrRetryStatements.clear();
    engine.m_arrHeldTriggers.clear();
    // The keys, indexes and statistics are read again by this repair; kept, each would be sent twice.
    engine.m_lstStatistics.clear();
    engine.m_lstIndexColumns.clear();
    for (auto& table : engine.m_lstTables) {
        table.m_arrStatements.clear();
        table.m_lstIndexes.clear();
        table.m_lstUniqueKeys.clear();
        table.m_arrPrimaryKey.clear();
        table.m_arrPrimaryKey2000.clear();
        table.m_strPrimaryKeyName.clear();
        table.m_strPrimaryKeyName2000.clear();
        table.m_bClusteredPrimaryKey = false;
    }
    script.m_report.Clear();
    script.m_mapCreatedTypes.clear();
    script.m_setTablesNotCreated.clear();
    script.m_setTablesMade.clear();
    script.m_setUnknownCollations.clear();
    script.m_arrAfterRows.clear();
    script.m_arrDeferredKeys.clear();
    script.m_nTimeoutSeconds = kEmptyTableTimeoutSeconds;
}

// ---- User types ----

void ScriptUserTypes(RepairScript& script) {
    mdf::CRecoveryEngine& engine = script.m_engine;
    const bool v2005 = Layout2005(engine);
    std::ofstream failures;
    if (!engine.m_strFailureFolder.empty()) {
        failures.open(platform::ToUtf8(engine.m_strFailureFolder) + "/DataTypes.txt", std::ios::binary | std::ios::trunc);
    }
    const std::uint32_t fixed_size = v2005 ? 53 : 29;
    const std::uint32_t name_start = v2005 ? 57 : 33;
    bool stopped = false;
    for (std::size_t p = 0; p < engine.m_plTypes.size() && !stopped; ++p) {
        mdf::PageList one;
        one.Add(engine.m_plTypes.m_arrOffsets[p], engine.m_plTypes.m_arrSlotCounts[p]);
        WalkRows(engine, one, [&](std::uint64_t page, std::uint16_t entry, std::uint32_t area_end) {
            if (!mdf::RecordHolds(entry, name_start, area_end)) return;
            const std::uint64_t record = page + entry;
            // Bytes from row offset 0, so the offsets below are the row's own.
            std::vector<std::uint8_t> b(4, 0);
            const auto fixed = engine.ReadBytes(record + 4, fixed_size, mdf::Fixup::Single);
            b.insert(b.end(), fixed.begin(), fixed.end());
            UserTypeRow row;
            if (v2005) {
                if (b[5] == 0) return;
                row.m_nTypeId = static_cast<std::int32_t>(Le32(b, 4));
                row.m_nBaseType = b[12];
                row.m_nLength = Le16(b, 13);
                row.m_nPrecision = b[15];
                row.m_nScale = b[16];
                row.m_bNotNull = (b[21] & 0x01) != 0;
                row.m_nDefaultObjectId = static_cast<std::int32_t>(Le32(b, 41));
                row.m_nRuleObjectId = static_cast<std::int32_t>(Le32(b, 45));
            } else {
                if (b[28] == 12 || b[7] == 0) return;
                row.m_nTypeId = static_cast<std::int32_t>(Le32(b, 4));
                row.m_nBaseType = b[4];
                row.m_bNotNull = (b[5] & 0x01) != 0;
                row.m_nLength = Le16(b, 8);
                row.m_nPrecision = b[10];
                row.m_nScale = b[11];
                row.m_nDefaultObjectId = static_cast<std::int32_t>(Le32(b, 12));
                row.m_nRuleObjectId = static_cast<std::int32_t>(Le32(b, 16));
            }
            // sysname is the server's own: it exists on every target and is never created.
            const std::uint32_t user_number = v2005 ? static_cast<std::uint32_t>(row.m_nTypeId) : Le16(b, 6);
            if (user_number == kSysnameType) return;
            const std::uint16_t name_end = Le16(b, v2005 ? 55 : 31);
            if (name_end <= name_start || !mdf::RecordHolds(entry, name_end, area_end)) {
                script.m_report.LeftOut(kStepUserType, u"type " + Num(static_cast<std::uint32_t>(row.m_nTypeId)),
                                        u"the type's name lies outside its row: the type is left out");
                return;
            }
            row.m_strName = platform::Utf16LeToString(
                engine.ReadBytes(record + name_start, name_end - name_start, mdf::Fixup::Multi));
            const auto nul = row.m_strName.find(u'\0');
            if (nul != std::u16string::npos) row.m_strName.resize(nul);

            mdf::UserTypeNode& node = engine.AddUserType();
            node.m_strName = row.m_strName;
            node.m_nTypeId = row.m_nTypeId;
            node.m_nDefaultObjectId = row.m_nDefaultObjectId;
            node.m_nRuleObjectId = row.m_nRuleObjectId;

            std::vector<std::u16string> notes;
            const std::u16string text = UserTypeStatement(row, v2005, &notes);
            for (auto& note : notes) script.m_report.LeftOut(kStepUserType, row.m_strName, std::move(note));
            if (RunStatement(script, kStepUserType, row.m_strName, text)) {
                const std::int64_t key = v2005 ? UserTypeKey2005(row.m_nTypeId)
                                               : UserTypeKey2000(static_cast<std::uint32_t>(row.m_nTypeId));
                script.m_mapCreatedTypes[key] = row.m_strName;
            } else if (failures.is_open()) {
                AppendFailureEntry(failures, text);
            }
        });
        if (engine.StopRequested()) stopped = true;
    }
}

// ---- Foreign keys ----

namespace {

struct KeyColumnRow {
    std::uint32_t ordinal = 0;
    std::int32_t table = 0;
    std::uint32_t column = 0;
};

void AddForeignKey(RepairScript& script, const mdf::structFkey& key, mdf::TableNode* from, mdf::TableNode* to,
                   const std::vector<std::uint32_t>& from_ids, const std::vector<std::uint32_t>& to_ids,
                   const ForeignKeyFlags& flags, bool v2005) {
    if (from == nullptr || to == nullptr) {
        script.m_report.LeftOut(kStepForeignKey, key.m_strName, u"a table of the key is not in the catalogue");
        return;
    }
    ForeignKeyDefinition definition;
    definition.m_strName = key.m_strName;
    definition.m_strTable = mdf::TableNameForm(*from, v2005);
    definition.m_strReferenced = mdf::TableNameForm(*to, v2005);
    definition.m_flags = flags;
    if (from_ids.empty() || from_ids.size() != to_ids.size() ||
        !ColumnNames(*from, from_ids, definition.m_arrColumns) ||
        !ColumnNames(*to, to_ids, definition.m_arrReferencedColumns)) {
        script.m_report.LeftOut(kStepForeignKey, key.m_strName,
                                u"the key's columns do not pair up with columns of its tables: the key is left out");
        return;
    }
    for (auto& text : ForeignKeyStatements(definition)) {
        script.m_engine.m_arrDeferredStatements.push_back(std::move(text));
        script.m_arrDeferredKeys.push_back({key.m_strName, from, to});
    }
}

}  // namespace

void PrepareForeignKeys(RepairScript& script) {
    mdf::CRecoveryEngine& engine = script.m_engine;
    if (Layout2005(engine)) {
        // Column rows of every key, read once: class 28 the referencing side, 29 the referenced side.
        std::map<std::int32_t, std::pair<std::vector<KeyColumnRow>, std::vector<KeyColumnRow>>> columns;
        WalkRows(engine, engine.m_plForeignKeyColumns, [&](std::uint64_t page, std::uint16_t entry, std::uint32_t area_end) {
            if (!mdf::RecordHolds(entry, 21, area_end)) return;
            const std::uint64_t record = page + entry;
            if (engine.Read8(record + 2) != 25) return;
            std::vector<std::uint8_t> b(4, 0);
            const auto fixed = engine.ReadBytes(record + 4, 17, mdf::Fixup::Single);
            b.insert(b.end(), fixed.begin(), fixed.end());
            const std::uint8_t cls = b[4];
            if (cls != 28 && cls != 29) return;
            const auto constraint = static_cast<std::int32_t>(Le32(b, 5));
            KeyColumnRow row{Le32(b, 9), static_cast<std::int32_t>(Le32(b, 13)), Le32(b, 17)};
            auto& sides = columns[constraint];
            (cls == 28 ? sides.first : sides.second).push_back(row);
        });
        for (const auto& key : engine.m_arrForeignKeys2005) {
            auto found = columns.find(key.m_nObjectId);
            if (found == columns.end() || found->second.first.empty()) {
                script.m_report.LeftOut(kStepForeignKey, key.m_strName, u"no column rows of the key were found");
                continue;
            }
            auto& [from_rows, to_rows] = found->second;
            auto by_ordinal = [](const KeyColumnRow& a, const KeyColumnRow& b) { return a.ordinal < b.ordinal; };
            std::stable_sort(from_rows.begin(), from_rows.end(), by_ordinal);
            std::stable_sort(to_rows.begin(), to_rows.end(), by_ordinal);
            std::vector<std::uint32_t> from_ids, to_ids;
            for (const auto& row : from_rows) from_ids.push_back(row.column);
            for (const auto& row : to_rows) to_ids.push_back(row.column);
            mdf::TableNode* from = mdf::FindFirstTable(engine.m_lstTables, from_rows.front().table);
            mdf::TableNode* to = to_rows.empty() ? nullptr : mdf::FindFirstTable(engine.m_lstTables, to_rows.front().table);
            AddForeignKey(script, key, from, to, from_ids, to_ids, DecodeForeignKeyStatus2005(key.m_nStatus), true);
        }
        return;
    }
    // 2000: one sysreferences row per key; the two column lists are its variable columns.
    std::set<std::int32_t> keys_met;  // a key whose row is never met is named, not dropped in silence
    WalkRows(engine, engine.m_plReferences, [&](std::uint64_t page, std::uint16_t entry, std::uint32_t area_end) {
        if (!mdf::RecordHolds(entry, 29, area_end)) return;
        const std::uint64_t record = page + entry;
        if (engine.Read8(record + 2) != 20) return;
        std::vector<std::uint8_t> b(4, 0);
        const auto fixed = engine.ReadBytes(record + 4, 25, mdf::Fixup::Single);
        b.insert(b.end(), fixed.begin(), fixed.end());
        const auto constraint = static_cast<std::int32_t>(Le32(b, 4));
        const mdf::structFkey* key = nullptr;
        for (const auto& k : engine.m_arrForeignKeys2000) {
            if (k.m_nObjectId == constraint) {
                key = &k;
                break;
            }
        }
        mdf::structFkey unnamed;
        unnamed.m_strName = u"constraint " + Num(static_cast<std::uint32_t>(constraint));
        if (key == nullptr) {
            script.m_report.LeftOut(kStepForeignKey, unnamed.m_strName, u"the key has no catalogue entry: it is left out");
            return;
        }
        keys_met.insert(constraint);
        const std::uint16_t count = Le16(b, 18);
        const std::uint16_t variable = Le16(b, 23);
        const std::uint16_t end1 = Le16(b, 25);
        const std::uint16_t end2 = Le16(b, 27);
        if (variable != 2 || count == 0 || 29u + 2u * count > end1 || end1 + 2u * count > end2 ||
            !mdf::RecordHolds(entry, end2, area_end)) {
            script.m_report.LeftOut(kStepForeignKey, key->m_strName,
                                    u"the key names more columns than its row holds: it is left out");
            return;
        }
        const auto from_bytes = engine.ReadBytes(record + 29, 2u * count, mdf::Fixup::Multi);
        const auto to_bytes = engine.ReadBytes(record + end1, 2u * count, mdf::Fixup::Multi);
        std::vector<std::uint32_t> from_ids, to_ids;
        for (std::size_t i = 0; i < count; ++i) {
            from_ids.push_back(Le16(from_bytes, 2 * i));
            to_ids.push_back(Le16(to_bytes, 2 * i));
        }
        mdf::TableNode* from = mdf::FindFirstTable(engine.m_lstTables, static_cast<std::int32_t>(Le32(b, 8)));
        mdf::TableNode* to = mdf::FindFirstTable(engine.m_lstTables, static_cast<std::int32_t>(Le32(b, 12)));
        AddForeignKey(script, *key, from, to, from_ids, to_ids, DecodeForeignKeyStatus2000(key->m_nStatus), false);
    });
    for (const auto& key : engine.m_arrForeignKeys2000) {
        if (keys_met.contains(key.m_nObjectId)) continue;
        script.m_report.LeftOut(kStepForeignKey, key.m_strName, u"no reference row of the key was found: it is left out");
    }
}

// ---- Check constraints ----

void PrepareCheckConstraints(RepairScript& script) {
    mdf::CRecoveryEngine& engine = script.m_engine;
    const bool v2005 = Layout2005(engine);
    const std::uint32_t id_at = v2005 ? 5 : 4;
    const std::uint32_t end_at = v2005 ? 24 : 19;
    const std::uint32_t text_at = v2005 ? 32 : 21;
    // The text bytes of each constraint's rows, with their sequence number (2000 texts may be split over several
    // rows), and the texts of definitions stored outside their rows.
    std::map<std::int32_t, std::vector<std::pair<std::uint32_t, std::vector<std::uint8_t>>>> parts;
    std::map<std::int32_t, std::u16string> outside;
    std::map<std::int32_t, std::u16string> damaged;  // why a text cannot be taken whole
    std::set<std::int32_t> wanted;
    for (const auto& check : engine.m_arrCheckConstraints) wanted.insert(check.m_nObjectId);
    // A row's own text: UTF-16 when the second and fourth bytes are zero, else 8-bit text; cut is set when the
    // reading stops at a zero that more text follows (the condition read up to it is a part, not the whole).
    struct RowText {
        std::u16string text;
        bool cut = false;
    };
    auto row_text = [](const std::vector<std::uint8_t>& bytes) {
        RowText out;
        const auto nonzero = [](std::uint8_t b) { return b != 0; };
        if (bytes.size() >= 4 && bytes[1] == 0 && bytes[3] == 0) {
            out.text = platform::Utf16LeToString(bytes);
            const std::size_t zero = out.text.find(u'\0');
            if (zero != std::u16string::npos) {
                out.cut = std::any_of(bytes.begin() + static_cast<std::ptrdiff_t>(2 * zero), bytes.end(), nonzero);
                out.text.resize(zero);
            }
            return out;
        }
        out.text = platform::AnsiToUtf16(bytes);  // up to the first zero byte
        out.cut = std::any_of(std::find(bytes.begin(), bytes.end(), std::uint8_t{0}), bytes.end(), nonzero);
        return out;
    };
    WalkRows(engine, engine.m_plDefinitions, [&](std::uint64_t page, std::uint16_t entry, std::uint32_t area_end) {
        if (!mdf::RecordHolds(entry, text_at, area_end)) return;
        const std::uint64_t record = page + entry;
        const auto object = static_cast<std::int32_t>(engine.Read32(record + id_at, mdf::Fixup::Single));
        if (!wanted.contains(object)) return;
        const std::uint16_t end = engine.Read16(record + end_at, mdf::Fixup::Single);
        if (v2005 && (end & 0xF000) == 0x8000) {
            // A definition too long for its row: the row holds a root whose entries name the text records.
            // The text form of the records as the stored objects take it (2: 8-bit, else UTF-16), and only a
            // text whose every record was read.
            const std::uint32_t column_end = end & 0x0FFF;
            if (!mdf::RecordHolds(entry, column_end, area_end) || engine.Read8(record + 32, mdf::Fixup::Single) != 4) return;
            const bool wide = engine.Read8(record + 28, mdf::Fixup::Single) != 2;
            std::u16string text;
            for (std::uint32_t k = 0; 56 + 12 * k <= column_end; ++k) {
                const std::uint64_t at = record + 48 + 12 * k;
                const std::uint64_t page_number = engine.Read32(at, mdf::Fixup::Single);
                const std::uint16_t slot = engine.Read16(at + 6, mdf::Fixup::Single);
                engine.m_bWideText = wide;
                const mdf::LargeValueText piece =
                    engine.ReadLargeValueText(page_number * mdf::kPageSize, slot, mdf::LargeTextZeros::Keep);
                if (piece.end != mdf::LargeValueEnd::Complete) {
                    damaged.emplace(object, u"the text stored outside its row could not be read whole");
                    return;
                }
                text += piece.text;
            }
            // Zeros at the very end are padding; one before them means a part of the condition is lost.
            mdf::TrimEndZeros(text);
            if (text.find(u'\0') != std::u16string::npos) {
                damaged.emplace(object, u"the text holds a zero before its recorded end");
                return;
            }
            outside.emplace(object, std::move(text));
            return;
        }
        if (end <= text_at || !mdf::RecordHolds(entry, end, area_end)) return;
        const std::uint32_t sequence = v2005 ? 0 : engine.Read16(record + 10, mdf::Fixup::Single);
        parts[object].emplace_back(sequence, engine.ReadBytes(record + text_at, end - text_at, mdf::Fixup::Multi));
    });
    for (const auto& check : engine.m_arrCheckConstraints) {
        mdf::TableNode* table = mdf::FindFirstTable(engine.m_lstTables, check.m_nParentObjectId);
        if (table == nullptr) {
            script.m_report.LeftOut(kStepCheck, check.m_strName, u"the constraint's table is not in the catalogue");
            continue;
        }
        if (const auto bad = damaged.find(check.m_nObjectId); bad != damaged.end()) {
            script.m_report.LeftOut(kStepCheck, check.m_strName, bad->second + u": the constraint is left out");
            continue;
        }
        std::u16string text;
        if (const auto large = outside.find(check.m_nObjectId); large != outside.end()) {
            text = large->second;
        } else if (auto found = parts.find(check.m_nObjectId); found != parts.end()) {
            auto& rows = found->second;
            std::stable_sort(rows.begin(), rows.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
            if (v2005 && rows.size() > 1) rows.resize(1);
            std::vector<std::uint8_t> bytes;
            for (const auto& [sequence, row] : rows) bytes.insert(bytes.end(), row.begin(), row.end());
            // Fewer than 4 bytes hold no condition.
            if (bytes.size() >= 4) {
                RowText read = row_text(bytes);
                if (read.cut) {
                    script.m_report.LeftOut(kStepCheck, check.m_strName,
                                            u"the text holds a zero before its recorded end: the constraint is left out");
                    continue;
                }
                text = std::move(read.text);
            }
        }
        if (text.empty()) {
            script.m_report.LeftOut(kStepCheck, check.m_strName, u"no definition text was found: the constraint is left out");
            continue;
        }
        if (!platform::IsSingleExpression(text)) {
            script.m_report.LeftOut(kStepCheck, check.m_strName,
                                    u"the condition is not one expression in parentheses: the constraint is left out");
            continue;
        }
        for (auto& statement : CheckConstraintStatements(mdf::TableNameForm(*table, v2005), check.m_strName, text,
                                                         DecodeCheckStatus(check.m_nStatus, v2005))) {
            table->m_arrStatements.push_back(std::move(statement));
        }
    }
}

// ---- Tables ----

StepOutcome ScriptTables(RepairScript& script) {
    mdf::CRecoveryEngine& engine = script.m_engine;
    TableSettings settings;
    settings.m_bLayout2005 = Layout2005(engine);
    settings.m_bSql2008 = engine.App().m_bSql2008Catalog;
    settings.m_pCreatedTypes = &script.m_mapCreatedTypes;
    settings.m_computedText = [&engine](std::int32_t object, std::uint16_t column) {
        return engine.ReadObjectText(object, column);
    };
    settings.m_collationName = [&script](std::uint32_t id) { return CollationFor(script, id); };
    // Key and index rows the readers could not take are named with the keys.
    for (const auto& note : engine.m_repairTally.keys_not_taken) script.m_report.LeftOut(note.what, note.name, note.why);
    for (auto& table : engine.m_lstTables) {
        if (table.m_lstColumns.empty()) {
            // "create table [t]()" is no statement: without a column there is no table to make. Rows it holds
            // cannot be written, so they count as lost.
            script.m_setTablesNotCreated.insert(table.m_pszName);
            const std::u16string why = u"the catalogue lists no column of the table: it is not created";
            if (table.m_nRowCount != 0) {
                script.m_report.LeftOut(kStepTable, table.m_pszName,
                                        why + u", and its " + Num(table.m_nRowCount) + u" rows are not sent");
            } else {
                script.m_report.Note(u"table " + table.m_pszName + u": " + why);
            }
            if (engine.StopRequested()) return StepOutcome::Stopped;
            continue;
        }
        TableStatements statements = BuildTableStatements(table, settings);
        for (auto& entry : statements.m_arrLeftOut) {
            script.m_report.LeftOut(std::move(entry.m_strStep), std::move(entry.m_strObject), std::move(entry.m_strReason));
        }
        bool created = RunStatement(script, kStepTable, table.m_pszName, statements.m_strCreate);
        if (!created) {
            created = RunStatement(script, kStepTable, table.m_pszName, statements.m_strPlainCreate);
            if (created) {
                script.m_report.Note(u"table " + table.m_pszName +
                                     u" created in its plain form: base types, no key, no identity, no computed column");
            } else {
                script.m_setTablesNotCreated.insert(table.m_pszName);
                script.m_report.Note(u"table " + table.m_pszName + u" was not created: its " + Num(table.m_nRowCount) +
                                     u" rows are not sent");
            }
        }
        if (created) {
            script.m_setTablesMade.insert(&table);
            for (const auto& statement : statements.m_arrWithTable) {
                RunStatement(script, statement.m_strStep, statement.m_strObject, statement.m_strText);
            }
            for (auto& statement : statements.m_arrAfterRows) script.m_arrAfterRows.push_back(std::move(statement));
        }
        if (engine.StopRequested()) {
            NoteTablesNotCreated(script);
            return StepOutcome::Stopped;
        }
    }
    NoteTablesNotCreated(script);
    return StepOutcome::Done;
}

bool TableCreated(const RepairScript& script, const mdf::TableNode& table) {
    // Two tables of one name (owners of a 2000 file): the server refuses the second, never the first it made.
    if (script.m_setTablesMade.contains(&table)) return true;
    return !script.m_setTablesNotCreated.contains(table.m_pszName);
}

void NoteTablesNotCreated(RepairScript& script) {
    // By object id, for the passes that know a table only by its id (bindings, default constraints); an id one of
    // whose nodes the server made is made.
    std::set<std::int32_t>& ids = script.m_engine.m_repairTally.tables_not_created;
    ids.clear();
    for (const auto& table : script.m_engine.m_lstTables) {
        if (!TableCreated(script, table)) ids.insert(table.m_nObjectId);
    }
    for (const auto* table : script.m_setTablesMade) ids.erase(table->m_nObjectId);
}

void NoteRefusedRows(RepairScript& script, const mdf::TableNode& table, std::uint64_t refused) {
    script.m_report.RowsRefused(table.m_pszName, refused);
}

namespace {
// The steps after the rows: no time limit from here on, and a stop ends the loop of each.
void RowsAreIn(RepairScript& script) { script.m_nTimeoutSeconds = platform::kNoTimeLimit; }
}  // namespace

void ScriptKeysAfterRows(RepairScript& script) {
    RowsAreIn(script);
    for (const auto& statement : script.m_arrAfterRows) {
        if (script.m_engine.StopRequested()) return;
        RunStatement(script, statement.m_strStep, statement.m_strObject, statement.m_strText);
    }
}

// ---- Statistics ----

void ScriptStatistics(RepairScript& script) {
    mdf::CRecoveryEngine& engine = script.m_engine;
    if (engine.m_lstStatistics.empty()) return;
    RowsAreIn(script);
    if (engine.m_lstIndexColumns.empty()) engine.ReadIndexColumnRows();
    const bool v2005 = Layout2005(engine);
    for (const auto& statistics : engine.m_lstStatistics) {
        if (engine.StopRequested()) return;
        mdf::TableNode* table = mdf::FindFirstTable(engine.m_lstTables, statistics.m_nObjectId);
        if (table == nullptr) continue;  // statistics of a system table
        if (!TableCreated(script, *table)) {
            script.m_report.LeftOut(kStepStatistics, statistics.m_strName,
                                    u"its table " + table->m_pszName + u" was not created: the statistics are not sent");
            continue;
        }
        std::vector<const mdf::IndexColumnNode*> rows;
        for (const auto& row : engine.m_lstIndexColumns) {
            if (row.m_nObjectId == statistics.m_nObjectId && row.m_nIndexId == statistics.m_nIndexId) rows.push_back(&row);
        }
        std::stable_sort(rows.begin(), rows.end(), [](const auto* a, const auto* b) {
            return a->m_nIndexColumnId < b->m_nIndexColumnId;
        });
        std::vector<std::u16string> columns;
        for (const auto* row : rows) {
            if (const mdf::ColumnNode* column = FindColumn(*table, row->m_nColumnId)) columns.push_back(column->m_pszName);
        }
        if (columns.empty()) {
            script.m_report.LeftOut(kStepStatistics, statistics.m_strName, u"no column of the statistics was found");
            continue;
        }
        RunStatement(script, kStepStatistics, statistics.m_strName,
                     StatisticsStatement(statistics.m_strName, mdf::TableNameForm(*table, v2005), columns));
    }
}

// ---- Deferred and retried statements ----

void RunTableStatements(RepairScript& script) {
    RowsAreIn(script);
    for (const auto& table : script.m_engine.m_lstTables) {
        if (!TableCreated(script, table)) continue;
        for (std::size_t i = 0; i < table.m_arrStatements.size(); ++i) {
            if (script.m_engine.StopRequested()) return;
            RunStatement(script, kStepCheck, table.m_pszName, table.m_arrStatements[i]);
        }
    }
}

std::size_t RunDeferredStatements(RepairScript& script) {
    const auto& list = script.m_engine.m_arrDeferredStatements;
    const std::size_t count = list.size();
    RowsAreIn(script);
    std::set<std::u16string> named;  // a key of two statements is named once
    for (std::size_t i = 0; i < count; ++i) {
        if (script.m_engine.StopRequested()) break;
        if (i >= script.m_arrDeferredKeys.size()) {
            RunStatement(script, kStepForeignKey, u"(unnamed)", list[i]);
            continue;
        }
        const RepairScript::DeferredKey& key = script.m_arrDeferredKeys[i];
        // A key of a table the server did not create would land on another table of its name, or be refused.
        const mdf::TableNode* missing = key.m_pFrom != nullptr && !TableCreated(script, *key.m_pFrom) ? key.m_pFrom
                                        : key.m_pTo != nullptr && !TableCreated(script, *key.m_pTo)   ? key.m_pTo
                                                                                                       : nullptr;
        if (missing != nullptr) {
            if (named.insert(key.m_strName).second) {
                script.m_report.LeftOut(kStepForeignKey, key.m_strName,
                                        u"its table " + missing->m_pszName + u" was not created: the key is not sent");
            }
            continue;
        }
        RunStatement(script, kStepForeignKey, key.m_strName, list[i]);
    }
    return count;
}

void RetryFailedStatements(RepairScript& script) {
    const auto& list = script.m_engine.m_arrRetryStatements;
    RowsAreIn(script);
    for (std::size_t i = 0; i < list.size(); ++i) {
        if (script.m_engine.StopRequested()) return;
        RunStatement(script, kStepRetry, u"(statement " + Num(i + 1) + u")", list[i]);
    }
}

}  // namespace target
