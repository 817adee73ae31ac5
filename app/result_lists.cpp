// Result page rules: table items, row-list columns, document icons, the document walk and check clicks.
#include "app/result_lists.h"

#include <array>

#include "app/list_sort.h"
#include "platform/text.h"
#include "sharepoint/check_tree.h"

namespace app {

namespace {

constexpr std::array<std::u16string_view, 26> kExtensions = {
    u"pdf", u"xml",  u" ",   u"c",   u"ppt", u"xls", u"doc", u"css",  u"csv", u"mp3", u"mpeg", u"jpg", u"txt",
    u"gif", u"c++",  u"zip", u"rar", u"html", u"dng", u"bmp", u"sln", u" ",  u" ",   u"h",    u"asm", u"mdf"};

struct Synonym {
    std::u16string_view extension;
    std::u16string_view looked_up_as;
};
constexpr std::array<Synonym, 35> kSynonyms = {{
    {u"dot", u"doc"},    {u"dotx", u"doc"},   {u"docx", u"doc"},   {u"rtf", u"doc"},
    {u"dsp", u"sln"},    {u"vcproj", u"sln"}, {u"dsw", u"sln"},
    {u"htm", u"html"},   {u"shtml", u"html"}, {u"shtm", u"html"},  {u"mhtm", u"html"}, {u"xhtml", u"html"},
    {u"xhtm", u"html"},
    {u"avi", u"mpeg"},   {u"mpg", u"mpeg"},
    {u"XLTX", u"xls"},   {u"XLT", u"xls"},    {u"XLW", u"xls"},    {u"XLB", u"xls"},   {u"XLSX", u"xls"},
    {u"XLTM", u"xls"},   {u"XLD", u"xls"},    {u"XLC", u"xls"},    {u"XLA", u"xls"},   {u"XLAM", u"xls"},
    {u"PPS", u"ppt"},    {u"POT", u"ppt"},    {u"PPTX", u"ppt"},   {u"PPSX", u"ppt"},  {u"POTX", u"ppt"},
    {u"PPTM", u"ppt"},
    {u"WBMP", u"BMP"},
}};

bool IsDocument(const mdf::sharepointDocsList& node) { return platform::EqualsNoCase(node.m_doc.TYPE, u"0"); }

// The walk from the clicked path down the document tree. The tree's depth comes from the data file, so the walk
// keeps its levels in loops rather than on the call stack.
class DocumentWalk {
public:
    DocumentWalk(const std::vector<std::u16string>& path, const DocumentPathVisitor& visit)
        : path_(path), n_(static_cast<int>(path.size())), visit_(visit) {}

    // Follows the chain of sub-webs named by the path; the lists of each web on the chain are followed after those
    // of the webs below it. False once the visitor has stopped the walk.
    bool FollowSubSitePath(const mdf::WebList& web, const std::u16string& name, int depth) {
        std::vector<std::pair<const mdf::WebList*, int>> chain;
        const mdf::WebList* current = &web;
        const std::u16string* current_name = &name;
        for (int level = depth;; ++level) {
            const mdf::WebList* match = nullptr;
            for (const auto& sub : current->m_lstSubWebs) {
                if (platform::EqualsNoCase(sub->Title, *current_name)) {
                    match = sub.get();
                    break;
                }
            }
            if (!match || level >= n_) break;
            chain.emplace_back(match, level);
            current = match;
            current_name = &Next(level);
        }
        for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
            if (!FollowListPath(*it->first, Next(it->second), it->second + 1)) return false;
        }
        return true;
    }
    bool FollowListPath(const mdf::WebList& web, const std::u16string& name, int depth) {
        for (const auto& list : web.m_lstLists) {
            if (!platform::EqualsNoCase(list->tp_Title, name)) continue;
            if (depth < n_) return FollowEntries(list->m_lstItems, Next(depth), depth + 1);
            return !visit_(nullptr, list->m_lstItems);
        }
        return true;
    }

private:
    const std::u16string& Next(int depth) const { return path_[static_cast<std::size_t>(n_ - 1 - depth)]; }

    // Follows the folders named by the path down from a list's items to the entry the path ends at.
    bool FollowEntries(const DocumentEntries& entries, const std::u16string& name, int depth) {
        const auto* current = &entries;
        const std::u16string* current_name = &name;
        for (int level = depth;; ++level) {
            const mdf::sharepointDocsList* match = nullptr;
            for (const auto& entry : *current) {
                if (platform::EqualsNoCase(entry->m_doc.LeafName, *current_name)) {
                    match = entry.get();
                    break;
                }
            }
            if (!match) return true;
            if (level >= n_) return !visit_(match, match->m_lstChildren);
            current = &match->m_lstChildren;
            current_name = &Next(level);
        }
    }

    const std::vector<std::u16string>& path_;
    int n_;
    const DocumentPathVisitor& visit_;
};

}  // namespace

std::u16string TableItemText(std::u16string_view table_name, std::uint64_t row_count, bool incomplete) {
    std::u16string text = std::u16string(table_name) + u"(" + platform::FromUtf8(std::to_string(row_count)) + u")";
    if (incomplete) text += u" - may be incomplete";
    return text;
}

std::u16string FittedTableItemText(std::u16string_view table_name, std::uint64_t row_count, bool incomplete,
                                   const std::function<bool(std::u16string_view)>& fits) {
    const std::u16string whole = TableItemText(table_name, row_count, incomplete);
    if (fits(whole)) return whole;
    std::u16string tail = whole.substr(table_name.size());
    auto cut = [&](std::size_t keep) {
        if (keep >= table_name.size()) return std::u16string(table_name) + tail;
        if (keep > 0 && table_name[keep - 1] >= 0xD800 && table_name[keep - 1] <= 0xDBFF) {
            --keep;  // never half of a surrogate pair
        }
        return std::u16string(table_name.substr(0, keep)) + u"\u2026" + tail;
    };
    // The mark after the count goes before the name is cut short: the item's colour and its tooltip still say it.
    constexpr std::size_t kNameStart = 12;
    if (incomplete && !fits(cut(std::min(kNameStart, table_name.size())))) {
        tail = TableItemText(u"", row_count, false);
        if (fits(std::u16string(table_name) + tail)) return std::u16string(table_name) + tail;
    }
    // The longest start of the name that fits with the ellipsis and the tail (binary search over its length).
    std::size_t low = 0, high = table_name.empty() ? 0 : table_name.size() - 1;
    while (low < high) {
        const std::size_t middle = (low + high + 1) / 2;
        if (fits(cut(middle))) {
            low = middle;
        } else {
            high = middle - 1;
        }
    }
    return cut(low);
}

std::string CellOnOneLine(std::string_view cell) {
    if (cell.find_first_of("\r\n") == std::string_view::npos) return std::string(cell);
    static constexpr std::string_view kMark = "\xE2\x86\xB5";  // U+21B5, a downwards arrow with a corner leftwards
    std::string out;
    out.reserve(cell.size() + 8);
    for (std::size_t i = 0; i < cell.size(); ++i) {
        if (cell[i] == '\r') {
            if (i + 1 < cell.size() && cell[i + 1] == '\n') ++i;
            out += kMark;
        } else if (cell[i] == '\n') {
            out += kMark;
        } else {
            out += cell[i];
        }
    }
    return out;
}

std::u16string TablesCaption(const std::vector<std::u16string>& table_names) {
    bool webs = false, documents = false;
    for (const auto& name : table_names) {
        // The name after its schema, compared without regard to case.
        const auto dot = name.rfind(u'.');
        const std::u16string bare = platform::ToLower(dot == std::u16string::npos ? name : name.substr(dot + 1));
        webs = webs || bare == u"webs";
        documents = documents || bare == u"alldocs" || bare == u"docs";
    }
    return webs && documents ? u"Share Point Server Tables" : u"Tables";
}

std::u16string DamageWarningText(std::uint64_t damage_count, const std::vector<std::u16string>& incomplete_tables) {
    // A table can be incomplete with no damaged page (a content table whose rows gave no content): it is
    // shown all the same.
    if (damage_count == 0 && incomplete_tables.empty()) return {};
    std::u16string text;
    if (damage_count != 0) {
        text = platform::FromUtf8(std::to_string(damage_count)) +
               u" damaged or missing page(s) found: rows on them may be missing.";
        if (incomplete_tables.empty()) {
            text += u"\nNo user table lists them; the log names each page.";
            return text;
        }
        text += u"\n";
    }
    text += platform::FromUtf8(std::to_string(incomplete_tables.size())) + u" table(s) may be incomplete:";
    for (const auto& name : incomplete_tables) text += u"\n" + name;
    return text;
}

std::u16string TableNameOfItem(std::u16string_view item_text) {
    const auto at = item_text.rfind(u'(');
    if (at == std::u16string_view::npos) return {};
    return std::u16string(item_text.substr(0, at));
}

std::vector<int> RowListColumnWidths(int column_count) {
    if (column_count <= 0) return {};
    std::vector<int> widths(static_cast<std::size_t>(column_count), 70);
    if (70 * column_count <= 548) widths.back() = 619 - 70 * column_count;
    return widths;
}

std::vector<int> RowListSortTypes(const mdf::TableNode& table) {
    std::vector<int> types;
    for (const auto& column : table.m_lstColumns) {
        switch (column.m_nType) {
            case 48: case 52: case 56: case 127:  // tinyint, smallint, int, bigint
                types.push_back(kCompareNumber);
                break;
            case 60: case 122: case 106: case 108: case 59: case 62:  // money, smallmoney, decimal, numeric, real, float
                types.push_back(kCompareDecimal);
                break;
            case 61: case 58: case 40: case 42: case 43:  // datetime, smalldatetime, date, datetime2, datetimeoffset
                types.push_back(kCompareGridDateTime);
                break;
            case 41:  // time
                types.push_back(kCompareTimeOfDay);
                break;
            default:
                types.push_back(kCompareText);
                break;
        }
    }
    return types;
}

std::vector<std::u16string> BuildExtensionTable() {
    std::vector<std::u16string> table;
    for (const auto extension : kExtensions) table.emplace_back(extension);
    return table;
}

int DocumentIconIndex(std::u16string_view file_name, const std::vector<std::u16string>& extension_table) {
    const auto dot = file_name.rfind(u'.');
    std::u16string_view extension = dot == std::u16string_view::npos ? std::u16string_view() : file_name.substr(dot + 1);
    for (const auto& synonym : kSynonyms) {
        if (platform::EqualsNoCase(extension, synonym.extension)) {
            extension = synonym.looked_up_as;
            break;
        }
    }
    for (std::size_t i = 0; i < extension_table.size(); ++i) {
        if (platform::EqualsNoCase(extension_table[i], extension)) return static_cast<int>(i);
    }
    return kOtherDocumentIcon;
}

void WalkDocumentPath(const std::vector<std::unique_ptr<mdf::WebList>>& webs, const std::vector<std::u16string>& path,
                      const DocumentPathVisitor& visit) {
    const int n = static_cast<int>(path.size());
    if (n < 3) return;
    const std::u16string& site_title = path[static_cast<std::size_t>(n - 2)];
    const mdf::WebList* site = nullptr;
    for (const auto& root : webs) {
        if (platform::EqualsNoCase(root->Title, site_title)) break;
        for (const auto& sub : root->m_lstSubWebs) {
            if (platform::EqualsNoCase(sub->Title, site_title)) {
                site = sub.get();
                break;
            }
        }
        if (site) break;
    }
    if (!site) return;
    DocumentWalk walk(path, visit);
    const std::u16string& name = path[static_cast<std::size_t>(n - 3)];
    if (!walk.FollowSubSitePath(*site, name, 3)) return;
    walk.FollowListPath(*site, name, 3);
}

std::u16string KilobyteText(std::u16string_view bytes) {
    constexpr std::size_t kMaxDigits = 19;  // below 2^63: no overflow
    if (bytes.empty() || bytes.size() > kMaxDigits) return std::u16string(bytes);
    std::uint64_t value = 0;
    for (const char16_t c : bytes) {
        if (c < u'0' || c > u'9') return std::u16string(bytes);
        value = value * 10 + static_cast<std::uint64_t>(c - u'0');
    }
    return platform::Widen(std::to_string(value / 1024 + (value % 1024 != 0 ? 1 : 0)));
}

std::vector<DocumentRow> FillDocumentList(const std::vector<std::unique_ptr<mdf::WebList>>& webs,
                                          const std::vector<std::u16string>& selected_path) {
    std::vector<DocumentRow> rows;
    WalkDocumentPath(webs, selected_path, [&rows](const mdf::sharepointDocsList*, const DocumentEntries& entries) {
        for (const auto& entry : entries) {
            if (!IsDocument(*entry)) continue;
            const auto& d = entry->m_doc;
            rows.push_back({d.LeafName, d.TimeCreated, d.TimeLastModified, KilobyteText(d.Size)});
        }
        return false;
    });
    return rows;
}

void ToggleCheck(sharepoint::CheckItem& item) {
    item.state = item.state == sharepoint::kUnchecked ? sharepoint::kChecked : sharepoint::kUnchecked;
    if (item.parent) sharepoint::UpdateParentCheckState(*item.parent);
    sharepoint::SetChildCheckState(item);
}

}  // namespace app
