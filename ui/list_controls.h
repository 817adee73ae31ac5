// The main dialog's two report lists. CMyListCtrl colours every other row. CToolTipListCtrl (the found-file
// list) also shows a tooltip per cell, sorts by a header click with a comparison chosen per column, and keeps a
// small record per row. Sorting moves each row's tooltips and record with it.
#pragma once

#include <wx/listctrl.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "app/list_sort.h"

namespace ui {

class CMyListCtrl : public wxListCtrl {
public:
    CMyListCtrl(wxWindow* parent, int id, const wxPoint& pos, const wxSize& size);
    // Gives rows from `first` on their alternating colour; call after rows were inserted or deleted.
    void ColourRows(long first = 0);
    // Back to the first column: a new table does not keep the last one's sideways position.
    void ScrollToLeft();
};

// The record a row's item data points to.
class ItemData {
public:
    explicit ItemData(int value) : m_nValue(value) {}
    virtual ~ItemData() = default;
    int m_nValue;
};

class CToolTipListCtrl : public wxListCtrl {
public:
    CToolTipListCtrl(wxWindow* parent, int id, const wxPoint& pos, const wxSize& size);

    void InitColumnSortInfo();
    void SetColumnSortInfo(int column, int flags, int type);
    void SetItemUserValue(long row, int value);
    int GetItemUserValue(long row) const;  // -1 without a record

    // Inserts a row with its first cell's text; the rows from `row` on move down one, their tooltips with them.
    long InsertRow(long row, const wxString& text);
    bool SetItemToolTipText(long row, int column, const std::u16string& text);
    std::u16string GetItemToolTipText(long row, int column) const;
    // Also takes away the tooltip shown, so none stays over rows that are gone.
    void DeleteAllToolTips();
    bool DeleteAllItems();
    bool DeleteItem(long row);

    // Sorts as a click on the column's header does; false when the column is not sortable.
    bool SortByHeaderClick(int column);
    int SortColumn() const { return sort_column_; }

    void ColourRows(long first = 0);
    // The tooltip shown for a point of the list's row area (what the pointer would show); empty off any cell.
    std::u16string ToolTipAt(const wxPoint& point_in_rows) const;
    // The window below the header that shows the rows and receives the pointer's events.
    wxWindow* RowArea() const;

private:
    static int ToolTipKey(long row, int column) { return static_cast<int>(row * 100 + column); }
    void OnColumnClick(wxListEvent& event);
    void OnRowsMotion(wxMouseEvent& event);
    void OnLeftDown(wxMouseEvent& event);
    void ForgetShownToolTip();

    int sort_column_ = -1;
    std::vector<app::ColumnSortInfo> sort_info_;
    std::vector<std::unique_ptr<ItemData>> item_data_;
    std::map<int, std::u16string> tooltips_;
    std::u16string shown_tooltip_;
};

}  // namespace ui
