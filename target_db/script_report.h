// What the schema side of a repair could not do, by step and object: statements the target server refused
// (each also lands in the engine's statement report, the repair's one list of refusals), parts of the catalogue
// that were left out before anything was sent (and why), rows the server refused per table, and notes (an
// unknown collation id, a table created in its plain form). The repair shows or logs it; nothing here talks
// to a window.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace target {

struct ReportEntry {
    std::u16string m_strStep;       // "user type", "table", "index", "unique key", "foreign key", ...
    std::u16string m_strObject;     // the object's name as the catalogue holds it
    std::u16string m_strStatement;  // the statement (empty for a part left out before sending)
    std::u16string m_strReason;     // the server's error text, or why the part was left out
};

class ScriptReport {
public:
    void Refused(std::u16string step, std::u16string object, std::u16string statement, std::u16string reason);
    void LeftOut(std::u16string step, std::u16string object, std::u16string reason);
    void Note(std::u16string text);
    // Something the server received otherwise than the file holds it (a collation written with another name):
    // the end text names it and the repair does not count as complete.
    void Changed(std::u16string text);
    void RowsRefused(const std::u16string& table, std::uint64_t count);
    void Clear();

    // Entries of one step (all of them when step is empty).
    std::vector<ReportEntry> RefusedIn(std::u16string_view step = {}) const;
    std::vector<ReportEntry> LeftOutIn(std::u16string_view step = {}) const;

    std::vector<ReportEntry> m_arrRefused;
    std::vector<ReportEntry> m_arrLeftOut;
    std::vector<std::u16string> m_arrNotes;
    std::vector<std::u16string> m_arrChanged;
    std::map<std::u16string, std::uint64_t> m_mapRefusedRows;  // table name -> rows the server refused
};

}  // namespace target
