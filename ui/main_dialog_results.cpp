// The result page: the tree that a scan leaves (the tables with their row counts, or the SharePoint sites,
// lists and folders with three-state check boxes), clicks on it, and the row and document lists. The
// document tree is a view of the check-tree model (sharepoint::CheckItem): clicks change the model and the
// view shows it again; the document save changes the model on the job thread and the view follows through
// the bridge.
#include <wx/app.h>
#include <wx/dcclient.h>
#include <wx/settings.h>

#include <algorithm>
#include <cstdlib>
#include <vector>

#include "app/control_ids.h"
#include "mdf/recovery_engine.h"
#include "platform/text.h"
#include "ui/brindlemoor_app.h"
#include "ui/dialog_style.h"
#include "ui/main_dialog.h"

namespace ui {

using namespace app;

namespace {

// Tree item images.
constexpr int kImageFile = 0;
constexpr int kImageTable = 1;
constexpr int kImageFolder = 3;
constexpr int kImageSite = 4;

// The check-tree item that a document-tree item shows.
class CheckItemData : public wxTreeItemData {
public:
    explicit CheckItemData(sharepoint::CheckItem* item) : item_(item) {}
    sharepoint::CheckItem* Item() const { return item_; }

private:
    sharepoint::CheckItem* item_;
};

// The table a table-mode tree item stands for, and its whole text (the item may show it cut to the tree).
class TableItemData : public wxTreeItemData {
public:
    TableItemData(std::u16string name, std::u16string whole) : name_(std::move(name)), whole_(std::move(whole)) {}
    const std::u16string& Name() const { return name_; }
    const std::u16string& Whole() const { return whole_; }
    void SetWhole(std::u16string whole) { whole_ = std::move(whole); }

private:
    std::u16string name_;
    std::u16string whole_;
};

}  // namespace

const std::u16string* CBrindlemoorDlg::WholeTableItemText(const wxTreeItemId& item) const {
    if (!item.IsOk()) return nullptr;
    const auto* data = dynamic_cast<const TableItemData*>(m_ctrlTree->GetItemData(item));
    return data ? &data->Whole() : nullptr;
}

void CBrindlemoorDlg::FitTableItems() {
    if (app_.m_bDocumentMode || !app_.m_hTreeRoot.IsOk() || !m_pEngine) return;
    wxTreeItemIdValue cookie;
    const wxTreeItemId caption = m_ctrlTree->GetFirstChild(app_.m_hTreeRoot, cookie);
    if (!caption.IsOk()) return;
    wxTreeItemIdValue table_cookie;
    wxTreeItemId item = m_ctrlTree->GetFirstChild(caption, table_cookie);
    if (!item.IsOk()) return;
    // Every table item starts its text at the same place; the room is what is left of the tree's width, a
    // vertical scroll bar's width kept free whether or not one is shown now.
    m_ctrlTree->Update();  // lays the items out, so their places are known
    wxRect text;
    int left = 0;
    if (m_ctrlTree->GetBoundingRect(item, text, true) && text.x > 0) {
        left = text.x;
    } else {
        left = 2 * m_ctrlTree->GetIndent() + 16 + 8;
    }
    int room = m_ctrlTree->GetSize().GetWidth() - left - 2 * m_ctrlTree->GetWindowBorderSize().GetWidth() - 8;
    if (!m_ctrlTree->HasScrollbar(wxVERTICAL)) room -= wxSystemSettings::GetMetric(wxSYS_VSCROLL_X, m_ctrlTree);
    // The font the tree draws its items in: its own, or the system's when it keeps that (the one whose width of
    // the item's present text matches what the tree reports).
    wxClientDC dc(m_ctrlTree);
    wxFont font = m_ctrlTree->GetFont();
    if (text.width > 0) {
        int best = -1;
        for (const wxFont& candidate : {m_ctrlTree->GetFont(), wxSystemSettings::GetFont(wxSYS_DEFAULT_GUI_FONT)}) {
            dc.SetFont(candidate);
            const int off = std::abs(dc.GetTextExtent(m_ctrlTree->GetItemText(item)).GetWidth() - text.width);
            if (best < 0 || off < best) {
                best = off;
                font = candidate;
            }
        }
    }
    dc.SetFont(font);
    const auto fits = [&](std::u16string_view candidate) {
        return dc.GetTextExtent(ToWx(std::u16string(candidate))).GetWidth() <= room;
    };
    for (const auto& table : m_pEngine->m_lstTables) {
        if (!item.IsOk()) break;
        const wxString shown = ToWx(FittedTableItemText(table.m_pszName, table.m_nRowCount, table.Incomplete(), fits));
        if (m_ctrlTree->GetItemText(item) != shown) m_ctrlTree->SetItemText(item, shown);
        item = m_ctrlTree->GetNextChild(caption, table_cookie);
    }
}

sharepoint::CheckItem* CBrindlemoorDlg::CheckItemOf(const wxTreeItemId& item) const {
    if (!item.IsOk()) return nullptr;
    const auto* data = dynamic_cast<const CheckItemData*>(m_ctrlTree->GetItemData(item));
    return data ? data->Item() : nullptr;
}

void CBrindlemoorDlg::ShowResultPage() {
    ApplyChanges({{kIdCompleteRepair, false, {}},     {kIdDriveCaption, false, {}},    {kIdFileHint, false, {}},
                  {kIdFileTypeCaption, false, {}},    {kIdSearchStatus, false, {}},    {kIdScanProgress, false, {}},
                  {kIdDocumentRecovery, false, {}},   {kIdSearchSubfolders, false, {}}, {kIdDriveCombo, false, {}},
                  {kIdFileType, false, {}},           {kIdSearchFiles, false, {}},     {kIdStopJob, false, {}},
                  {kIdSelectFile, false, {}},         {kIdClearList, false, {}},       {kIdFoundFileList, false, {}},
                  {kIdSelectedPath, false, {}},       {kIdSelectedPathCaption, false, {}},
                  {kIdScanFile, false, false},        {kIdRepair, true, true},         {kIdResultList, true, {}},
                  {kIdResultTree, true, {}},          {kIdExit, true, {}},             {kIdBack, {}, true},
                  {kIdHome, {}, true}});
    if (app_.m_bDocumentMode) {
        m_listResult->SetSize(232, 329, 554, 194);
    } else {
        m_listResult->SetSize(232, 116, 554, 406);
    }
}

void CBrindlemoorDlg::ShowDamageWarning() {
    std::vector<std::u16string> incomplete;
    std::uint64_t damage = 0;
    if (m_pEngine) {
        damage = m_pEngine->m_nDamageCount;
        for (const auto& table : m_pEngine->m_lstTables) {
            if (table.Incomplete()) incomplete.push_back(table.m_pszName);
        }
    }
    const std::u16string text = DamageWarningText(damage, incomplete);
    const wxRect whole(DluPoint(15, 72), DluSize(137, 250));
    if (text.empty()) {
        m_editDamageWarning->Hide();
        m_ctrlTree->SetSize(whole);
        return;
    }
    const int height = DluY(60);
    const int gap = DluY(4);
    m_ctrlTree->SetSize(whole.x, whole.y, whole.width, whole.height - height - gap);
    m_editDamageWarning->SetSize(whole.x, whole.y + whole.height - height, whole.width, height);
    m_editDamageWarning->ChangeValue(ToWx(text));
    m_editDamageWarning->ShowPosition(0);
    m_editDamageWarning->Show();
}

void CBrindlemoorDlg::RefreshTableMarks() {
    if (!m_pEngine || app_.m_bDocumentMode || !app_.m_hTreeRoot.IsOk()) return;
    wxTreeItemIdValue cookie;
    const wxTreeItemId caption = m_ctrlTree->GetFirstChild(app_.m_hTreeRoot, cookie);
    if (!caption.IsOk()) return;
    wxTreeItemIdValue table_cookie;
    wxTreeItemId item = m_ctrlTree->GetFirstChild(caption, table_cookie);
    for (const auto& table : m_pEngine->m_lstTables) {
        if (!item.IsOk()) break;
        std::u16string whole = TableItemText(table.m_pszName, table.m_nRowCount, table.Incomplete());
        if (auto* data = dynamic_cast<TableItemData*>(m_ctrlTree->GetItemData(item)); data && data->Whole() != whole) {
            data->SetWhole(std::move(whole));
            if (table.Incomplete()) m_ctrlTree->SetItemTextColour(item, wxColour(0x9C, 0x00, 0x06));
        }
        item = m_ctrlTree->GetNextChild(caption, table_cookie);
    }
    ShowDamageWarning();
    FitTableItems();
}

void CBrindlemoorDlg::OnScanDone() {
    scan_depth_raised_ = false;  // the result page is the page the scan went to
    ShowResultPage();
    ShowDamageWarning();
    if (!m_pEngine || m_pEngine->m_lstTables.empty()) return;

    m_ctrlTree->Freeze();
    m_ctrlTree->DeleteAllItems();
    m_checkTree.reset();
    wxTreeItemId caption;
    if (app_.m_bDocumentMode) {
        m_ctrlTree->SetStateImageList(m_treeStateImages.get());
        m_checkTree = sharepoint::BuildDocumentCheckTree(app_.m_strDataFilePath, m_pEngine->m_lstWebs);
        app_.m_hTreeRoot = m_ctrlTree->AddRoot(ToWx(m_checkTree->label), kImageFile, -1,
                                               new CheckItemData(m_checkTree.get()));
        m_ctrlTree->SetItemState(app_.m_hTreeRoot, m_checkTree->state);
        FindWindow(kIdTableBackdrop)->Hide();
        if (!m_pEngine->m_lstWebs.empty()) {
            m_listResult->DeleteAllItems();
            m_listResult->DeleteAllColumns();
            m_listResult->InsertColumn(0, "File Name", wxLIST_FORMAT_LEFT, 250);
            m_listResult->InsertColumn(1, "File Created", wxLIST_FORMAT_LEFT, 200);
            m_listResult->InsertColumn(2, "File Modified", wxLIST_FORMAT_LEFT, 200);
            m_listResult->InsertColumn(3, "File Size(KB)", wxLIST_FORMAT_LEFT, 200);
            FindWindow(kIdPreviewBackdrop)->Show();
        }
        AddCheckItems(*m_checkTree, app_.m_hTreeRoot, 0);
        wxTreeItemIdValue cookie;
        caption = m_ctrlTree->GetFirstChild(app_.m_hTreeRoot, cookie);
    } else {
        app_.m_hTreeRoot = m_ctrlTree->AddRoot(ToWx(app_.m_strDataFilePath), kImageFile);
        std::vector<std::u16string> names;
        for (const auto& table : m_pEngine->m_lstTables) names.push_back(table.m_pszName);
        caption = m_ctrlTree->AppendItem(app_.m_hTreeRoot, ToWx(TablesCaption(names)), kImageFolder);
        FindWindow(kIdTableBackdrop)->Show();
        for (const auto& table : m_pEngine->m_lstTables) {
            std::u16string whole = TableItemText(table.m_pszName, table.m_nRowCount, table.Incomplete());
            const wxTreeItemId item = m_ctrlTree->AppendItem(caption, ToWx(whole), kImageTable, -1,
                                                             new TableItemData(table.m_pszName, whole));
            // The warning's colour: this table lost rows on pages that could not be read.
            if (table.Incomplete()) m_ctrlTree->SetItemTextColour(item, wxColour(0x9C, 0x00, 0x06));
            OnJobProgress(0, 0);
        }
    }
    m_ctrlTree->Expand(app_.m_hTreeRoot);
    if (caption.IsOk()) m_ctrlTree->Expand(caption);
    m_ctrlTree->SelectItem(app_.m_hTreeRoot);
    m_ctrlTree->Thaw();
    FitTableItems();
    // Once more when the tree has laid its items out on the screen: then their places are known exactly.
    CallAfter([this] { FitTableItems(); });
}

// Both walks keep their open levels on a stack rather than the call stack: a crafted file can nest folders
// deeper than the call stack could follow. They visit the items in the order of a depth-first walk.
void CBrindlemoorDlg::AddCheckItems(sharepoint::CheckItem& model, const wxTreeItemId& parent, int depth) {
    struct Level {
        sharepoint::CheckItem* model;
        wxTreeItemId item;
        int depth;
        std::size_t next;
    };
    std::vector<Level> levels{{&model, parent, depth, 0}};
    while (!levels.empty()) {
        Level& level = levels.back();
        if (level.next == level.model->children.size()) {
            levels.pop_back();
            continue;
        }
        sharepoint::CheckItem& child = *level.model->children[level.next++];
        int image = kImageFolder;
        if (level.depth > 0 && std::holds_alternative<const mdf::WebList*>(child.node)) image = kImageSite;
        const wxTreeItemId item =
            m_ctrlTree->AppendItem(level.item, ToWx(child.label), image, -1, new CheckItemData(&child));
        m_ctrlTree->SetItemState(item, child.state);
        const Level below{&child, item, level.depth + 1, 0};
        levels.push_back(below);
    }
}

void CBrindlemoorDlg::ShowCheckStates(const wxTreeItemId& item) {
    std::vector<wxTreeItemId> pending{item};
    std::vector<wxTreeItemId> children;
    while (!pending.empty()) {
        const wxTreeItemId at = pending.back();
        pending.pop_back();
        if (!at.IsOk()) continue;
        if (const sharepoint::CheckItem* model = CheckItemOf(at)) {
            if (m_ctrlTree->GetItemState(at) != model->state) m_ctrlTree->SetItemState(at, model->state);
        }
        children.clear();
        wxTreeItemIdValue cookie;
        for (wxTreeItemId child = m_ctrlTree->GetFirstChild(at, cookie); child.IsOk();
             child = m_ctrlTree->GetNextChild(at, cookie)) {
            children.push_back(child);
        }
        pending.insert(pending.end(), children.rbegin(), children.rend());  // the first child comes next
    }
}

void CBrindlemoorDlg::ShowSavedItem(const sharepoint::CheckItem&) {
    // Job thread: the save has unchecked the item in the model; the view shows it on the user-interface
    // thread while the job waits, so the model is not changed during the read.
    app_.m_bridge.Invoke([this] { ShowCheckStates(app_.m_hTreeRoot); });
}

void CBrindlemoorDlg::UpdateParentCheckState(const wxTreeItemId& item) {
    if (sharepoint::CheckItem* model = CheckItemOf(item)) {
        sharepoint::UpdateParentCheckState(*model);
        ShowCheckStates(app_.m_hTreeRoot);
    }
}

void CBrindlemoorDlg::SetChildCheckState(const wxTreeItemId& item) {
    if (sharepoint::CheckItem* model = CheckItemOf(item)) {
        sharepoint::SetChildCheckState(*model);
        ShowCheckStates(item);
    }
}

int CBrindlemoorDlg::OnTreeClick(const wxPoint& point) {
    if (app_.m_pRecoverThread.load() != nullptr) return 1;
    FindWindow(kIdTableBackdrop)->Hide();
    FindWindow(kIdDocumentBackdrop)->Hide();
    int flags = 0;
    const wxTreeItemId item = m_ctrlTree->HitTest(point, flags);
    app_.m_bTableViewStarted = true;
    app_.m_bImagePreviewShown = false;
    if (!item.IsOk()) return 0;

    if (flags & wxTREE_HITTEST_ONITEMSTATEICON) {
        if (app_.m_bJobIdle) {
            if (sharepoint::CheckItem* model = CheckItemOf(item)) {
                ToggleCheck(*model);
                ShowCheckStates(app_.m_hTreeRoot);
            }
        }
        ApplyButtonRules();
        return 1;
    }
    if (!(flags & wxTREE_HITTEST_ONITEMLABEL) || !app_.m_bJobIdle) return 0;
    return OpenTreeItem(item);
}

int CBrindlemoorDlg::OpenTreeItem(const wxTreeItemId& item) {
    if (app_.m_pRecoverThread.load() != nullptr || !app_.m_bJobIdle || !item.IsOk()) return 1;
    app_.m_bTableViewStarted = true;
    app_.m_bImagePreviewShown = false;
    ClosePreview();
    FindWindow(kIdResultProgress)->Hide();
    const std::u16string text = FromWx(m_ctrlTree->GetItemText(item));
    m_ctrlTree->SelectItem(item);
    HighlightClickedItem(item);
    if (!m_pEngine || m_pEngine->m_lstTables.empty() || !app_.m_hTreeRoot.IsOk() ||
        !m_ctrlTree->ItemHasChildren(app_.m_hTreeRoot)) {
        return 0;
    }
    app_.m_bStopJob = false;
    const auto* table_data = dynamic_cast<const TableItemData*>(m_ctrlTree->GetItemData(item));
    const std::u16string table_name = table_data ? table_data->Name() : TableNameOfItem(text);

    if (!app_.m_bDocumentMode && item == app_.m_hTreeRoot) {
        FindWindow(kIdTableBackdrop)->Show();
        return 1;
    }
    if (table_data != nullptr) {
        ApplyChanges({{kIdResultList, true, {}}, {kIdPreviewBackdrop, false, {}}, {kIdPreviewFrame, false, {}}});
        ResetProgress(ProgressBarId::Result);
        FindWindow(kIdResultProgress)->Show();
        // The rows read so far, counted as the view goes.
        table_rows_read_ = 0;
        m_staticRecordCounter->SetLabel(ToWx(RecordCounterText(0, false)));
        ApplyChanges({{kIdRecordCounter, true, true}});
        int index = 0;
        const mdf::TableNode* table = nullptr;
        for (const auto& node : m_pEngine->m_lstTables) {
            if (node.m_pszName == table_name) {
                table = &node;
                break;
            }
            ++index;
        }
        if (!table) return 1;
        table_rows_total_ = static_cast<std::int64_t>(table->m_nRowCount);
        m_listResult->DeleteAllItems();
        m_listResult->DeleteAllColumns();
        m_listResult->ScrollToLeft();
        const std::vector<int> widths = RowListColumnWidths(static_cast<int>(table->m_lstColumns.size()));
        int column = 0;
        for (const auto& node : table->m_lstColumns) {
            m_listResult->InsertColumn(column, ToWx(node.m_pszName), wxLIST_FORMAT_LEFT,
                                       widths[static_cast<std::size_t>(column)]);
            ++column;
        }
        m_listResult->SetColumnSortTypes(RowListSortTypes(*table));
        StartRecoverThread([index](CRecoverThread& job) { job.m_nTableIndex = index; });
        ApplyButtonRules();
        return 1;
    }

    if (!app_.m_bDocumentMode) {
        ApplyChanges({{kIdPreviewBackdrop, false, {}}, {kIdTableBackdrop, true, {}}, {kIdResultList, false, {}}});
        return 1;
    }
    ApplyChanges({{kIdResultList, true, {}}, {kIdPreviewBackdrop, true, {}}, {kIdPreviewFrame, false, {}}});
    app_.m_arrSelectedPath.clear();
    BuildExtensionTable();
    const std::u16string root_text = FromWx(m_ctrlTree->GetItemText(app_.m_hTreeRoot));
    for (wxTreeItemId at = item; at.IsOk(); at = m_ctrlTree->GetItemParent(at)) {
        const std::u16string at_text = FromWx(m_ctrlTree->GetItemText(at));
        if (platform::EqualsNoCase(at_text, root_text)) break;
        app_.m_arrSelectedPath.push_back(at_text);
    }
    m_listResult->DeleteAllItems();
    m_listResult->DeleteAllColumns();
    m_listResult->InsertColumn(0, "File Name", wxLIST_FORMAT_LEFT, 150);
    m_listResult->InsertColumn(1, "File Created", wxLIST_FORMAT_LEFT, 100);
    m_listResult->InsertColumn(2, "File Modified", wxLIST_FORMAT_LEFT, 150);
    m_listResult->InsertColumn(3, "File Size(KB)", wxLIST_FORMAT_LEFT, 150);
    FillDocumentList();
    return 1;
}

void CBrindlemoorDlg::HighlightClickedItem(const wxTreeItemId& item) {
    // One item at a time carries the highlight: the one clicked last.
    if (m_hHighlighted.IsOk() && m_hHighlighted != item) m_ctrlTree->SetItemDropHighlight(m_hHighlighted, false);
    m_hHighlighted = item;
    m_ctrlTree->SetItemDropHighlight(item);
}

void CBrindlemoorDlg::OnTableRow(platform::WPARAM job_id, platform::LPARAM) {
    if (!workers_.recover || workers_.recover->JobId() != job_id) return;
    RowBatch batch = workers_.recover->TakeRowBatch();
    // The progress steps of the rows in the batch.
    const ProgressBarId bar = ChooseProgressBar(app_.m_bRepairStarted, app_.m_bTableViewStarted);
    ProgressBarModel& model = bar == ProgressBarId::Result ? result_bar_ : scan_bar_;
    for (std::uint32_t i = 0; i < batch.progress_steps; ++i) {
        ApplyJobProgress(bar, model, platform::kProgressStep, 0);
    }
    // The gauge takes the batch's rows at once: one unit each.
    (bar == ProgressBarId::Result ? result_pass_ : scan_pass_).AddUnits(batch.progress_steps);
    if (batch.progress_steps != 0) ShowProgress(bar);
    if (app_.m_bTableViewStarted && !app_.m_bRepairStarted && batch.progress_steps != 0) {
        table_rows_read_ += batch.progress_steps;
        m_staticRecordCounter->SetLabel(ToWx(RecordCounterText(table_rows_read_, false)));
    }

    if (!app_.m_bRowPreview || batch.rows.empty()) return;
    if (batch.first) table_row_position_ = 0;
    // The list keeps the rows itself and draws those on screen: appending a batch costs no list items.
    std::erase_if(batch.rows, [](const std::vector<std::u16string>& row) { return row.empty(); });
    if (table_row_position_ == m_listResult->GetItemCount()) {
        m_listResult->AppendRows(batch.rows);
        table_row_position_ += static_cast<long>(batch.rows.size());
        return;
    }
    for (const auto& row : batch.rows) m_listResult->InsertRow(table_row_position_++, row);
}

void CBrindlemoorDlg::BuildExtensionTable() { m_arrExtensions = app::BuildExtensionTable(); }

void CBrindlemoorDlg::FillDocumentList() {
    if (!m_pEngine) return;
    AddDocumentRows(app::FillDocumentList(m_pEngine->m_lstWebs, app_.m_arrSelectedPath));
}

void CBrindlemoorDlg::AddDocumentRows(const std::vector<DocumentRow>& rows) {
    for (const auto& row : rows) {
        app_.m_arrRowValues = row;
        OnDocumentRow(1);
    }
    m_listResult->ColourRows(0);
}

void CBrindlemoorDlg::OnDocumentRow(platform::LPARAM lparam) {
    if (app_.m_arrRowValues.empty()) return;
    if (lparam == 1) document_row_position_ = 0;
    const std::u16string& name = app_.m_arrRowValues[0];
    const int icon = DocumentIconIndex(name, m_arrExtensions);
    m_listResult->SetImageList(m_documentImages.get(), wxIMAGE_LIST_SMALL);
    std::vector<std::u16string> cells(app_.m_arrRowValues.begin(),
                                      app_.m_arrRowValues.begin() +
                                          static_cast<std::ptrdiff_t>(std::min<std::size_t>(app_.m_arrRowValues.size(), 4)));
    m_listResult->InsertRow(document_row_position_, cells, icon);
    ++document_row_position_;
    app_.m_arrRowValues.clear();
}

}  // namespace ui
