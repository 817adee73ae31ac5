// Harness of the window tests: runs GoogleTest inside a started wxWidgets application (a real X display,
// Xvfb under ./test.sh), lets a test pump events, answer modal dialogs that code under test opens, and save
// screenshots into build/screenshots/. A watchdog ends the process if a test hangs.
#pragma once

#include <wx/dialog.h>
#include <wx/toplevel.h>

#include <filesystem>
#include <functional>
#include <string>

#include <wx/treebase.h>

class wxTreeCtrl;

namespace ui {
class CBrindlemoorApp;
class CBrindlemoorDlg;
}

namespace guitest {

ui::CBrindlemoorApp& App();
// Puts the application's page, job and search state back to a fresh start, before a test opens a new main dialog.
void ResetJobState(ui::CBrindlemoorApp& app);
// A shown main dialog on a fresh job state (ResetJobState) that never ends the program and stops a running job
// without asking; `prepare` runs on it before it is shown.
ui::CBrindlemoorDlg* OpenMainDialog(const std::function<void(ui::CBrindlemoorDlg&)>& prepare = {});
// Deletes a dialog of OpenMainDialog, the folder prompt a test may have set taken back first.
void CloseMainDialog(ui::CBrindlemoorDlg* dialog);
// OpenMainDialog for tests that click with the real mouse: waits until the dialog is on the screen and settled.
ui::CBrindlemoorDlg* OpenMainDialogOnScreen(const std::function<void(ui::CBrindlemoorDlg&)>& prepare = {});
// Points the worker messages straight at `dialog` again, as a test that watched them leaves it.
void HandWorkerMessagesTo(ui::CBrindlemoorDlg* dialog);
// A click with the real mouse in the middle of the dialog's control `id`, which must be shown.
void ClickControl(ui::CBrindlemoorDlg& dialog, int id);
// No job is running.
bool JobIdle();
// Select File, answered with `file`, clicked.
void ClickSelectFile(ui::CBrindlemoorDlg& dialog, const std::filesystem::path& file);
// Scan File clicked; waits for the job's end and returns whether it came.
bool ClickScanFile(ui::CBrindlemoorDlg& dialog);
// A click on a result-tree item's label, as the mouse gives it; returns what the dialog's click handler returns.
int ClickTreeLabel(ui::CBrindlemoorDlg& dialog, const wxTreeItemId& item);
// A result-tree item's whole text: a table item's as it would read uncut, any other item's as shown.
wxString WholeItemText(const ui::CBrindlemoorDlg& dialog, const wxTreeItemId& item);
// The first result-tree item at or below `from` (depth first) whose whole text is `text`; not OK when there is none.
wxTreeItemId FindTreeItem(const ui::CBrindlemoorDlg& dialog, const wxTreeItemId& from, const wxString& text);

// Handles events for about `milliseconds`.
void Pump(int milliseconds = 50);
// Handles events until `done` holds or the time is up; returns `done()`.
bool WaitUntil(const std::function<bool()>& done, int timeout_milliseconds = 5000);

// The first shown modal dialog of type T, or null.
template <typename T>
T* FindModal() {
    for (wxWindow* window : wxTopLevelWindows) {
        auto* dialog = dynamic_cast<T*>(window);
        if (dialog != nullptr && dialog->IsShown() && dialog->IsModal()) return dialog;
    }
    return nullptr;
}

// Once a modal dialog of the wanted kind is open (checked every 20 ms), runs `act` on it once. The dialog
// is ended with -1 if `act` leaves it open for `timeout_milliseconds`, so a test never waits forever.
void WhenModalOpens(const std::function<wxDialog*()>& find, const std::function<void(wxDialog&)>& act,
                    int timeout_milliseconds = 5000);

template <typename T>
void WhenModalOpens(const std::function<void(T&)>& act, int timeout_milliseconds = 5000) {
    WhenModalOpens([] { return static_cast<wxDialog*>(FindModal<T>()); },
                   [act](wxDialog& dialog) { act(static_cast<T&>(dialog)); }, timeout_milliseconds);
}

// Runs `dialog` modally; `during` runs once it is open. Returns the modal result (-1 when it had to be ended).
int RunModal(wxDialog& dialog, const std::function<void(wxDialog&)>& during, int timeout_milliseconds = 5000);

// Sends a key press through the window's key hook, as the keyboard does before any control sees it.
void PressKey(wxWindow& window, int key_code);

// Real input through the X server (XTest), as a user gives it: the pointer moves to the point of the window's
// client area and clicks; a wheel turn there (horizontal: the sideways wheel, buttons 6 and 7); a key press.
// Each pumps events afterwards so the window has handled the input on return.
void ClickAt(wxWindow& window, const wxPoint& client_point);
// The same click at once, also on a picture button that has only just appeared (ClickAt waits until the button
// takes clicks): the second click of a double click.
void QuickClickAt(wxWindow& window, const wxPoint& client_point);
// A double click: both clicks reach the X server before the program handles the first, so they are one double
// click however slowly the program then runs (the desktop's double-click time is far longer than their gap).
void DoubleClickAt(wxWindow& window, const wxPoint& client_point);
void MoveTo(wxWindow& window, const wxPoint& client_point);
void WheelAt(wxWindow& window, const wxPoint& client_point, bool horizontal, int notches);
void TypeKey(int key_code, int modifiers = 0);
// A click on a result-tree item's label with the real mouse.
void ClickTreeItem(wxTreeCtrl& tree, const wxTreeItemId& item);

// Saves what the window shows as build/screenshots/<name>.png; returns the file (empty on failure).
std::filesystem::path SaveScreenshot(wxWindow& window, const std::string& name);

}  // namespace guitest
