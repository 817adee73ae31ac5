// Row colours, cell tooltips and typed sorting of the report lists; the result list's rows on demand.
#include "ui/list_controls.h"

#include <wx/utils.h>

#include <algorithm>
#include <numeric>
#include <optional>

#include "app/button_look.h"
#include "app/result_lists.h"
#include "ui/dialog_style.h"

namespace ui {

namespace {

constexpr std::size_t kToolTipMaxCharacters = 79;
// From this many rows a sort shows the busy pointer.
constexpr std::size_t kBusyCursorRows = 100000;

void ColourAlternateRows(wxListCtrl& list, long first, app::Rgb odd) {
    for (long row = std::max(0L, first); row < list.GetItemCount(); ++row) {
        list.SetItemBackgroundColour(row, row % 2 ? ToWx(odd) : *wxWHITE);
    }
}

// The generic list's rows window (its largest child; the list itself does the scrolling for it) and its header
// window (the other child).
wxWindow* RowsOf(const wxListCtrl& list) {
    wxWindow* rows = nullptr;
    for (wxWindow* child : list.GetChildren()) {
        const wxSize size = child->GetSize();
        if (rows == nullptr || size.x * size.y > rows->GetSize().x * rows->GetSize().y) rows = child;
    }
    return rows;
}

void RedrawHeader(const wxListCtrl& list, const wxWindow* rows) {
    for (wxWindow* child : list.GetChildren()) {
        if (child != rows) child->Refresh();
    }
}

// The header draws itself at the rows' sideways offset, but only when it is drawn: a wheel turn scrolls the rows
// without that. Once the rows have scrolled, the header is drawn again.
void KeepHeaderWithRows(wxListCtrl& list) {
    auto redraw_later = [&list] { list.CallAfter([&list] { RedrawHeader(list, RowsOf(list)); }); };
    std::vector<wxWindow*> windows{&list};
    for (wxWindow* child : list.GetChildren()) windows.push_back(child);
    for (wxWindow* window : windows) {
        window->Bind(wxEVT_MOUSEWHEEL, [redraw_later](wxMouseEvent& event) {
            event.Skip();
            redraw_later();
        });
        for (const auto type : {wxEVT_SCROLLWIN_TOP, wxEVT_SCROLLWIN_BOTTOM, wxEVT_SCROLLWIN_LINEUP,
                                wxEVT_SCROLLWIN_LINEDOWN, wxEVT_SCROLLWIN_PAGEUP, wxEVT_SCROLLWIN_PAGEDOWN,
                                wxEVT_SCROLLWIN_THUMBTRACK, wxEVT_SCROLLWIN_THUMBRELEASE}) {
            window->Bind(type, [redraw_later](wxScrollWinEvent& event) {
                event.Skip();
                redraw_later();
            });
        }
    }
}

// The text of the cell under a point in the rows window, cut to what a tooltip shows; empty off the rows.
// `text_of(row, column)` gives a cell's full text.
template <class TextOf>
std::u16string CellToolTipAt(const wxListCtrl& list, const wxWindow& rows, const wxPoint& point_in_rows,
                             TextOf text_of) {
    int flags = 0;
    const long row = list.HitTest(point_in_rows, flags);
    if (row < 0 || (flags & wxLIST_HITTEST_ONITEM) == 0) return {};
    // The column from the cells' rectangles, which are in the list's own coordinates.
    const wxPoint point = point_in_rows + rows.GetPosition();
    for (int column = 0; column < list.GetColumnCount(); ++column) {
        wxRect cell;
        if (!list.GetSubItemRect(row, column, cell) || point.x < cell.x || point.x >= cell.x + cell.width) continue;
        std::u16string text = text_of(row, column);
        if (text.size() > kToolTipMaxCharacters) text.resize(kToolTipMaxCharacters);
        return text;
    }
    return {};
}

// Sets the rows window's tooltip to `text` when it differs from the one shown.
void ShowToolTip(wxWindow& rows, std::u16string& shown, const std::u16string& text) {
    if (text == shown) return;
    shown = text;
    if (text.empty()) {
        rows.UnsetToolTip();
    } else {
        rows.SetToolTip(ToWx(text));
    }
}

}  // namespace

void CMyListCtrl::ScrollToLeft() {
    int y = 0;
    GetViewStart(nullptr, &y);
    Scroll(0, y);
    RedrawHeader(*this, RowsOf(*this));
}

CMyListCtrl::CMyListCtrl(wxWindow* parent, int id, const wxPoint& pos, const wxSize& size)
    : wxListCtrl(parent, id, pos, size, wxLC_REPORT | wxLC_VIRTUAL | wxBORDER_SUNKEN | wxLC_HRULES | wxLC_VRULES) {
    even_attr_.SetBackgroundColour(*wxWHITE);
    odd_attr_.SetBackgroundColour(ToWx(app::kResultListOddRow));
    KeepHeaderWithRows(*this);
    Bind(wxEVT_LIST_COL_CLICK, &CMyListCtrl::OnColumnClick, this);
    RowArea()->Bind(wxEVT_MOTION, &CMyListCtrl::OnRowsMotion, this);
}

void CMyListCtrl::ColourRows(long) { Refresh(); }

void CMyListCtrl::AppendRows(const std::vector<std::vector<std::u16string>>& rows) {
    if (rows.empty()) return;
    const bool own_order = !order_.empty();
    for (const auto& row : rows) {
        if (own_order) order_.push_back(static_cast<std::uint32_t>(rows_.size()));
        rows_.Append(row);
        if (!images_.empty()) images_.push_back(-1);
    }
    SetItemCount(static_cast<long>(rows_.size()));
    Refresh();
}

void CMyListCtrl::InsertRow(long position, const std::vector<std::u16string>& cells, int image) {
    const auto row = static_cast<std::uint32_t>(rows_.size());
    position = std::clamp(position, 0L, static_cast<long>(row));
    if (order_.empty() && position != static_cast<long>(row)) {
        order_.resize(row);
        std::iota(order_.begin(), order_.end(), 0u);
    }
    if (!order_.empty()) order_.insert(order_.begin() + position, row);
    if (image != -1 || !images_.empty()) {
        images_.resize(row, -1);  // the rows before the first with an image have none
        images_.push_back(image);
    }
    rows_.Append(cells);
    SetItemCount(static_cast<long>(rows_.size()));
    Refresh();
}

bool CMyListCtrl::DeleteAllItems() {
    const bool deleted = wxListCtrl::DeleteAllItems();
    SetItemCount(0);
    std::vector<std::uint32_t>().swap(order_);
    std::vector<int>().swap(images_);
    rows_.Clear();
    if (sort_column_ >= 0 && sort_column_ < GetColumnCount()) RemoveSortIndicator();
    sort_info_.clear();
    sort_column_ = -1;
    return deleted;
}

void CMyListCtrl::SetColumnSortTypes(const std::vector<int>& types) {
    sort_info_.clear();
    for (std::size_t column = 0; column < types.size(); ++column) {
        sort_info_.push_back({static_cast<int>(column), app::kSortToggles, types[column]});
    }
}

bool CMyListCtrl::SortByHeaderClick(int column) {
    if (column < 0 || column >= static_cast<int>(sort_info_.size())) return false;
    app::ColumnSortInfo& info = sort_info_[static_cast<std::size_t>(column)];
    if (!app::ApplyHeaderClick(info)) return false;
    sort_column_ = column;
    // The selected row stays selected where the sort puts it.
    const long selected = GetNextItem(-1, wxLIST_NEXT_ALL, wxLIST_STATE_SELECTED);
    const std::size_t selected_row = selected >= 0 ? StoreRow(selected) : 0;
    {
        // Millions of rows take a moment even so: the pointer says the window is at work.
        std::optional<wxBusyCursor> busy;
        if (rows_.size() >= kBusyCursorRows) busy.emplace();
        order_ = app::SortRowOrder(rows_, order_, column, info);
    }
    if (selected >= 0) {
        SetItemState(-1, 0, wxLIST_STATE_SELECTED);
        const auto at = std::find(order_.begin(), order_.end(), selected_row);
        if (at != order_.end()) {
            const long position = static_cast<long>(at - order_.begin());
            SetItemState(position, wxLIST_STATE_SELECTED, wxLIST_STATE_SELECTED);
        }
    }
    ShowSortIndicator(column, app::IsAscending(info));
    Refresh();
    return true;
}

std::u16string CMyListCtrl::CellText(long row, int column) const {
    if (row < 0 || row >= static_cast<long>(rows_.size()) || column < 0) return {};
    return rows_.CellText(StoreRow(row), static_cast<std::size_t>(column));
}

wxString CMyListCtrl::OnGetItemText(long item, long column) const {
    if (item < 0 || item >= static_cast<long>(rows_.size()) || column < 0) return {};
    const std::string_view cell = rows_.Cell(StoreRow(item), static_cast<std::size_t>(column));
    // A row is one line high: a value's line breaks are shown as marks, not as two clipped half-lines.
    if (cell.find_first_of("\r\n") != std::string_view::npos) return wxString::FromUTF8(app::CellOnOneLine(cell));
    return wxString::FromUTF8(cell.data(), cell.size());
}

int CMyListCtrl::OnGetItemImage(long item) const {
    if (images_.empty() || item < 0 || item >= static_cast<long>(rows_.size())) return -1;
    return images_[StoreRow(item)];
}

wxItemAttr* CMyListCtrl::OnGetItemAttr(long item) const { return item % 2 ? &odd_attr_ : &even_attr_; }

wxWindow* CMyListCtrl::RowArea() const { return RowsOf(*this); }

std::u16string CMyListCtrl::ToolTipAt(const wxPoint& point_in_rows) const {
    return CellToolTipAt(*this, *RowArea(), point_in_rows,
                         [this](long row, int column) { return CellText(row, column); });
}

void CMyListCtrl::OnColumnClick(wxListEvent& event) { SortByHeaderClick(event.GetColumn()); }

void CMyListCtrl::OnRowsMotion(wxMouseEvent& event) {
    ShowToolTip(*RowArea(), shown_tooltip_, ToolTipAt(event.GetPosition()));
    event.Skip();
}

CToolTipListCtrl::CToolTipListCtrl(wxWindow* parent, int id, const wxPoint& pos, const wxSize& size)
    : wxListCtrl(parent, id, pos, size,
                 wxLC_REPORT | wxLC_SINGLE_SEL | wxBORDER_SUNKEN | wxLC_HRULES | wxLC_VRULES) {
    KeepHeaderWithRows(*this);
    Bind(wxEVT_LIST_COL_CLICK, &CToolTipListCtrl::OnColumnClick, this);
    RowArea()->Bind(wxEVT_MOTION, &CToolTipListCtrl::OnRowsMotion, this);
    RowArea()->Bind(wxEVT_LEFT_DOWN, &CToolTipListCtrl::OnLeftDown, this);
}

wxWindow* CToolTipListCtrl::RowArea() const {
    // The generic list draws its rows in a child window below the header, and mouse events arrive there;
    // of its children it is the largest.
    wxWindow* rows = const_cast<CToolTipListCtrl*>(this);
    int largest = -1;
    for (wxWindow* child : GetChildren()) {
        const wxSize size = child->GetSize();
        if (size.x * size.y > largest) {
            largest = size.x * size.y;
            rows = child;
        }
    }
    return rows;
}

void CToolTipListCtrl::InitColumnSortInfo() {
    const int columns = GetColumnCount();
    for (int column = static_cast<int>(sort_info_.size()); column < columns; ++column) {
        sort_info_.push_back({column, app::kSortToggles, app::kCompareText});
    }
}

void CToolTipListCtrl::SetColumnSortInfo(int column, int flags, int type) {
    constexpr int kAnyFlag = app::kSortAscending | app::kSortDescending | app::kSortToggles;
    if (column < 0 || column >= GetColumnCount() || (flags & kAnyFlag) == 0) return;
    if (column >= static_cast<int>(sort_info_.size())) return;
    sort_info_[column].flags = flags;
    sort_info_[column].type = type;
}

void CToolTipListCtrl::SetItemUserValue(long row, int value) {
    if (auto* data = reinterpret_cast<ItemData*>(GetItemData(row))) {
        data->m_nValue = value;
        return;
    }
    item_data_.push_back(std::make_unique<ItemData>(value));
    SetItemPtrData(row, reinterpret_cast<wxUIntPtr>(item_data_.back().get()));
}

int CToolTipListCtrl::GetItemUserValue(long row) const {
    const auto* data = reinterpret_cast<const ItemData*>(GetItemData(row));
    return data ? data->m_nValue : -1;
}

long CToolTipListCtrl::InsertRow(long row, const wxString& text) {
    const long at = InsertItem(row, text);
    if (at < 0) return at;
    std::map<int, std::u16string> moved;
    for (auto& [key, tip] : tooltips_) moved.emplace(key / 100 >= at ? key + 100 : key, std::move(tip));
    tooltips_ = std::move(moved);
    ForgetShownToolTip();
    return at;
}

void CToolTipListCtrl::ForgetShownToolTip() {
    // The pointer may rest over a row that moved or went: the next move shows the tooltip of what is there.
    if (shown_tooltip_.empty()) return;
    shown_tooltip_.clear();
    RowArea()->UnsetToolTip();
}

bool CToolTipListCtrl::SetItemToolTipText(long row, int column, const std::u16string& text) {
    tooltips_[ToolTipKey(row, column)] = text;
    return true;
}

std::u16string CToolTipListCtrl::GetItemToolTipText(long row, int column) const {
    const auto found = tooltips_.find(ToolTipKey(row, column));
    return found == tooltips_.end() ? std::u16string() : found->second;
}

void CToolTipListCtrl::DeleteAllToolTips() {
    tooltips_.clear();
    ForgetShownToolTip();
}

bool CToolTipListCtrl::DeleteAllItems() {
    const bool deleted = wxListCtrl::DeleteAllItems();
    if (deleted) DeleteAllToolTips();
    return deleted;
}

bool CToolTipListCtrl::DeleteItem(long row) {
    if (!wxListCtrl::DeleteItem(row)) return false;
    // The rows below move up by one, and their tooltips with them.
    std::map<int, std::u16string> moved;
    for (auto& [key, text] : tooltips_) {
        const long key_row = key / 100;
        if (key_row < row) moved.emplace(key, std::move(text));
        if (key_row > row) moved.emplace(key - 100, std::move(text));
    }
    tooltips_ = std::move(moved);
    ForgetShownToolTip();
    ColourRows(row);
    return true;
}

bool CToolTipListCtrl::SortByHeaderClick(int column) {
    if (column < 0 || column >= static_cast<int>(sort_info_.size())) return false;
    app::ColumnSortInfo& info = sort_info_[column];
    if (!app::ApplyHeaderClick(info)) return false;
    sort_column_ = column;

    // Take every row out with its cells, item data and tooltips, order them, and write them back.
    const long rows = GetItemCount();
    const int columns = GetColumnCount();
    struct Row {
        std::vector<wxString> cells;
        wxUIntPtr data;
        std::map<int, std::u16string> tips;  // by column
    };
    std::vector<Row> table(static_cast<std::size_t>(rows));
    for (long r = 0; r < rows; ++r) {
        Row& row = table[static_cast<std::size_t>(r)];
        for (int c = 0; c < columns; ++c) {
            row.cells.push_back(GetItemText(r, c));
            const auto tip = tooltips_.find(ToolTipKey(r, c));
            if (tip != tooltips_.end()) row.tips[c] = tip->second;
        }
        row.data = GetItemData(r);
    }
    std::vector<std::u16string> keys;
    keys.reserve(table.size());
    for (const Row& row : table) keys.push_back(FromWx(row.cells[static_cast<std::size_t>(column)]));
    std::vector<std::size_t> order(table.size());
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
        return app::CompareForSort(info, keys[a], keys[b]) < 0;
    });

    Freeze();
    tooltips_.clear();
    for (long r = 0; r < rows; ++r) {
        const Row& row = table[order[static_cast<std::size_t>(r)]];
        for (int c = 0; c < columns; ++c) SetItem(r, c, row.cells[static_cast<std::size_t>(c)]);
        SetItemPtrData(r, row.data);
        for (const auto& [c, text] : row.tips) tooltips_[ToolTipKey(r, c)] = text;
    }
    ColourRows();
    ForgetShownToolTip();
    Thaw();
    ShowSortIndicator(column, app::IsAscending(info));
    return true;
}

void CToolTipListCtrl::ColourRows(long first) { ColourAlternateRows(*this, first, app::kFoundFileListOddRow); }

std::u16string CToolTipListCtrl::ToolTipAt(const wxPoint& point_in_rows) const {
    return CellToolTipAt(*this, *RowArea(), point_in_rows,
                         [this](long row, int column) { return GetItemToolTipText(row, column); });
}

void CToolTipListCtrl::OnColumnClick(wxListEvent& event) { SortByHeaderClick(event.GetColumn()); }

void CToolTipListCtrl::OnRowsMotion(wxMouseEvent& event) {
    ShowToolTip(*RowArea(), shown_tooltip_, ToolTipAt(event.GetPosition()));
    event.Skip();
}

void CToolTipListCtrl::OnLeftDown(wxMouseEvent& event) {
    if (HasCheckBoxes()) {
        for (long row = 0; row < GetItemCount(); ++row) {
            if (IsItemChecked(row)) CheckItem(row, false);
        }
    }
    event.Skip();
}

}  // namespace ui
