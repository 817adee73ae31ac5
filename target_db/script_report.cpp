#include "target_db/script_report.h"

namespace target {

void ScriptReport::Refused(std::u16string step, std::u16string object, std::u16string statement,
                           std::u16string reason) {
    m_arrRefused.push_back({std::move(step), std::move(object), std::move(statement), std::move(reason)});
}

void ScriptReport::LeftOut(std::u16string step, std::u16string object, std::u16string reason) {
    m_arrLeftOut.push_back({std::move(step), std::move(object), {}, std::move(reason)});
}

void ScriptReport::Note(std::u16string text) { m_arrNotes.push_back(std::move(text)); }

void ScriptReport::Changed(std::u16string text) { m_arrChanged.push_back(std::move(text)); }

void ScriptReport::RowsRefused(const std::u16string& table, std::uint64_t count) {
    if (count != 0) m_mapRefusedRows[table] += count;
}

void ScriptReport::Clear() {
    m_arrRefused.clear();
    m_arrLeftOut.clear();
    m_arrNotes.clear();
    m_arrChanged.clear();
    m_mapRefusedRows.clear();
}

namespace {
std::vector<ReportEntry> Of(const std::vector<ReportEntry>& all, std::u16string_view step) {
    if (step.empty()) return all;
    std::vector<ReportEntry> out;
    for (const auto& entry : all) {
        if (entry.m_strStep == step) out.push_back(entry);
    }
    return out;
}
}  // namespace

std::vector<ReportEntry> ScriptReport::RefusedIn(std::u16string_view step) const { return Of(m_arrRefused, step); }
std::vector<ReportEntry> ScriptReport::LeftOutIn(std::u16string_view step) const { return Of(m_arrLeftOut, step); }

}  // namespace target
