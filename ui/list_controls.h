// The main dialog's two report lists. CMyListCtrl (the result list) colours every other row, shows each cell's
// text as its tooltip and sorts by a header click; it holds its rows itself and draws only those on screen.
// CToolTipListCtrl (the found-file list) also shows a tooltip per cell, sorts by a header click with a comparison
// chosen per column, and keeps a small record per row. Sorting moves each row's tooltips and record with it.
#pragma once

#include <wx/listctrl.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "app/list_sort.h"
#include "app/row_store.h"

namespace ui {

// The result list draws only the rows on screen (a virtual list): its rows live in a compact store, shown through
// an order that a header click sorts. Each cell's tooltip is its text.
class CMyListCtrl : public wxListCtrl {
public:
    CMyListCtrl(wxWindow* parent, int id, const wxPoint& pos, const wxSize& size);
    // The odd rows' colour is given as each row is drawn; kept for callers that used to colour after inserting.
    void ColourRows(long first = 0);
    // Back to the first column: a new table does not keep the last one's sideways position.
    void ScrollToLeft();

    // Rows at the end of the shown order.
    void AppendRows(const std::vector<std::vector<std::u16string>>& rows);
    // One row at a shown position (0 = the top), with an image of the small-image list (-1: none).
    void InsertRow(long position, const std::vector<std::u16string>& cells, int image = -1);
    // Every row goes, and the memory they took goes back to the system; the sort state is forgotten.
    bool DeleteAllItems();
    // The comparison type of each column (app::kCompareNumber and so on); columns without one do not sort.
    void SetColumnSortTypes(const std::vector<int>& types);
    // Sorts as a click on the column's header does; false when the column is not sortable.
    bool SortByHeaderClick(int column);
    int SortColumn() const { return sort_column_; }
    std::u16string CellText(long row, int column) const;
    // The tooltip shown for a point of the list's row area; empty off any cell.
    std::u16string ToolTipAt(const wxPoint& point_in_rows) const;
    wxWindow* RowArea() const;
    const app::RowStore& Rows() const { return rows_; }

protected:
    wxString OnGetItemText(long item, long column) const override;
    int OnGetItemImage(long item) const override;
    wxItemAttr* OnGetItemAttr(long item) const override;

private:
    std::size_t StoreRow(long item) const {
        return order_.empty() ? static_cast<std::size_t>(item) : order_[static_cast<std::size_t>(item)];
    }
    void OnColumnClick(wxListEvent& event);
    void OnRowsMotion(wxMouseEvent& event);

    app::RowStore rows_;
    std::vector<std::uint32_t> order_;  // shown position -> store row; empty while it is the store's order
    std::vector<int> images_;           // by store row; empty when no row has an image
    std::vector<app::ColumnSortInfo> sort_info_;
    int sort_column_ = -1;
    mutable wxItemAttr even_attr_;
    mutable wxItemAttr odd_attr_;
    std::u16string shown_tooltip_;
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
