// The window tests' main(), event pumping, modal answering and screenshots.
#include "tests/ui/gui_harness.h"

#include <wx/treectrl.h>

#include <algorithm>
#include <cstdlib>

#include "app/control_ids.h"
#include "ui/dialog_style.h"
#include "ui/main_dialog.h"

#include <gtest/gtest.h>
#include <wx/dcmemory.h>
#include <wx/dcclient.h>
#include <wx/image.h>
#include <wx/init.h>
#include <wx/timer.h>
#include <wx/uiaction.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <set>
#include <thread>

#include "ui/brindlemoor_app.h"

// Last: the X headers define short macro names.
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>

namespace guitest {

namespace {

ui::CBrindlemoorApp* g_app = nullptr;

class ModalAnswerer;

// The answerers still waiting: those whose dialog never opened before the last test ended are deleted at the
// end of the run, so that the leak checker sees nothing of them.
std::set<ModalAnswerer*>& LiveAnswerers() {
    static std::set<ModalAnswerer*> live;
    return live;
}

// Polls for a modal dialog and acts on it; deletes itself when done.
class ModalAnswerer : public wxTimer {
public:
    ModalAnswerer(std::function<wxDialog*()> find, std::function<void(wxDialog&)> act, int timeout)
        : find_(std::move(find)), act_(std::move(act)),
          deadline_(std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout)) {
        LiveAnswerers().insert(this);
        Start(20);
    }
    ~ModalAnswerer() override { LiveAnswerers().erase(this); }

    void Notify() override {
        if (!acted_) {
            if (wxDialog* dialog = find_()) {
                acted_ = true;
                dialog_ = dialog;
                act_(*dialog);
            }
        }
        if (std::chrono::steady_clock::now() > deadline_) {
            if (!acted_) ADD_FAILURE() << "the expected modal dialog did not open";
            if (wxDialog* dialog = find_()) {
                ADD_FAILURE() << "a modal dialog was left open";
                dialog->EndModal(-1);
            }
            Stop();
            CallAfter([this] { delete this; });
            return;
        }
        if (acted_ && find_() == nullptr) {
            Stop();
            CallAfter([this] { delete this; });
        }
    }

private:
    std::function<wxDialog*()> find_;
    std::function<void(wxDialog&)> act_;
    std::chrono::steady_clock::time_point deadline_;
    bool acted_ = false;
    wxDialog* dialog_ = nullptr;
};

// Runs the deletions already queued, then deletes the answerers that are still waiting.
void ReleaseAnswerers() {
    wxTheApp->ProcessPendingEvents();
    while (!LiveAnswerers().empty()) delete *LiveAnswerers().begin();
}

}  // namespace

ui::CBrindlemoorApp& App() { return *g_app; }

void Pump(int milliseconds) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    do {
        wxTheApp->ProcessPendingEvents();
        wxTheApp->Yield(true);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    } while (std::chrono::steady_clock::now() < end);
}

namespace {

ui::CBrindlemoorDlg* ShowMainDialog(const std::function<void(ui::CBrindlemoorDlg&)>& prepare) {
    auto& a = App();
    ResetJobState(a);
    auto* dialog = new ui::CBrindlemoorDlg(a);
    dialog->end_program = [](bool) {};
    dialog->confirm_stop = [] { return true; };
    if (prepare) prepare(*dialog);
    dialog->Show();
    return dialog;
}

}  // namespace

ui::CBrindlemoorDlg* OpenMainDialog(const std::function<void(ui::CBrindlemoorDlg&)>& prepare) {
    auto* dialog = ShowMainDialog(prepare);
    Pump(50);
    return dialog;
}

ui::CBrindlemoorDlg* OpenMainDialogOnScreen(const std::function<void(ui::CBrindlemoorDlg&)>& prepare) {
    auto* dialog = ShowMainDialog(prepare);
    WaitUntil([dialog] { return dialog->IsShownOnScreen(); }, 3000);
    Pump(200);
    return dialog;
}

void HandWorkerMessagesTo(ui::CBrindlemoorDlg* dialog) {
    App().m_bridge.SetHandler([dialog](unsigned m, platform::WPARAM w, platform::LPARAM l) {
        dialog->OnWorkerMessage(m, w, l);
    });
}

void ClickControl(ui::CBrindlemoorDlg& dialog, int id) {
    wxWindow* control = dialog.FindWindow(id);
    ASSERT_NE(control, nullptr);
    ASSERT_TRUE(control->IsShown()) << id;
    const wxSize size = control->GetClientSize();
    ClickAt(*control, wxPoint(size.x / 2, size.y / 2));
}

bool JobIdle() { return App().m_bJobIdle.load() && App().m_pRecoverThread.load() == nullptr; }

void ClickSelectFile(ui::CBrindlemoorDlg& dialog, const std::filesystem::path& file) {
    dialog.choose_file = [file] { return wxString::FromUTF8(file.string()); };
    ClickControl(dialog, app::kIdSelectFile);
}

bool ClickScanFile(ui::CBrindlemoorDlg& dialog) {
    ClickControl(dialog, app::kIdScanFile);
    return WaitUntil([] { return JobIdle(); }, 30000);
}

void CloseMainDialog(ui::CBrindlemoorDlg* dialog) {
    App().m_prompts.choose_folder = nullptr;
    delete dialog;
    Pump(20);
}

int ClickTreeLabel(ui::CBrindlemoorDlg& dialog, const wxTreeItemId& item) {
    wxTreeCtrl* tree = dialog.ResultTree();
    tree->EnsureVisible(item);
    Pump(20);
    wxRect rect;
    EXPECT_TRUE(tree->GetBoundingRect(item, rect, true));
    // Near the label's start: a long label runs past the tree's right edge.
    return dialog.OnTreeClick(wxPoint(rect.x + std::min(rect.width / 2, 8), rect.y + rect.height / 2));
}

wxString WholeItemText(const ui::CBrindlemoorDlg& dialog, const wxTreeItemId& item) {
    if (const std::u16string* whole = dialog.WholeTableItemText(item)) return ui::ToWx(*whole);
    return dialog.ResultTree()->GetItemText(item);
}

wxTreeItemId FindTreeItem(const ui::CBrindlemoorDlg& dialog, const wxTreeItemId& from, const wxString& text) {
    wxTreeCtrl* tree = dialog.ResultTree();
    if (WholeItemText(dialog, from) == text) return from;
    wxTreeItemIdValue cookie;
    for (wxTreeItemId c = tree->GetFirstChild(from, cookie); c.IsOk(); c = tree->GetNextChild(from, cookie)) {
        if (const wxTreeItemId found = FindTreeItem(dialog, c, text); found.IsOk()) return found;
    }
    return {};
}

void ResetJobState(ui::CBrindlemoorApp& a) {
    a.m_nPageDepth = 0;
    a.m_bJobIdle = true;
    a.m_bStopJob = false;
    a.m_bStoppedByUser = false;
    a.m_bRepairRequested = false;
    a.m_bJobCompleted = false;
    a.m_bExitByKey = false;
    a.m_pFindThread = nullptr;
    a.m_pRecoverThread = nullptr;
    a.m_bTableViewStarted = false;
    a.m_bRepairStarted = false;
    a.m_bDocumentMode = false;
    a.m_strSearchRoot.clear();
}

bool WaitUntil(const std::function<bool()>& done, int timeout_milliseconds) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_milliseconds);
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) return false;
        Pump(10);
    }
    return true;
}

void WhenModalOpens(const std::function<wxDialog*()>& find, const std::function<void(wxDialog&)>& act,
                    int timeout_milliseconds) {
    new ModalAnswerer(find, act, timeout_milliseconds);
}

int RunModal(wxDialog& dialog, const std::function<void(wxDialog&)>& during, int timeout_milliseconds) {
    // The answerer may tick once more after the dialog has ended; by then it must not look at the dialog.
    auto running = std::make_shared<bool>(true);
    wxDialog* target = &dialog;
    WhenModalOpens([target, running]() -> wxDialog* { return *running && target->IsModal() ? target : nullptr; },
                   during, timeout_milliseconds);
    const int result = dialog.ShowModal();
    *running = false;
    return result;
}

void PressKey(wxWindow& window, int key_code) {
    wxKeyEvent key(wxEVT_CHAR_HOOK);
    key.m_keyCode = key_code;
    key.SetEventObject(&window);
    window.GetEventHandler()->ProcessEvent(key);
}

void ClickAt(wxWindow& window, const wxPoint& client_point) {
    // A picture button takes no press in the double-click time after it appeared; a user's single click on it
    // comes later than that.
    if (const auto* button = dynamic_cast<const ui::CMyBitmapButton*>(&window)) {
        WaitUntil([button] { return button->AcceptsPressNow(); }, 3000);
    }
    QuickClickAt(window, client_point);
}

void QuickClickAt(wxWindow& window, const wxPoint& client_point) {
    wxUIActionSimulator mouse;
    mouse.MouseMove(window.ClientToScreen(client_point));
    Pump(30);
    mouse.MouseClick();
    Pump(80);
}

void DoubleClickAt(wxWindow& window, const wxPoint& client_point) {
    if (const auto* button = dynamic_cast<const ui::CMyBitmapButton*>(&window)) {
        WaitUntil([button] { return button->AcceptsPressNow(); }, 3000);
    }
    wxUIActionSimulator mouse;
    mouse.MouseMove(window.ClientToScreen(client_point));
    Pump(30);
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr) {
        ADD_FAILURE() << "no X display for the double click";
        return;
    }
    for (int click = 0; click < 2; ++click) {
        XTestFakeButtonEvent(display, 1, True, CurrentTime);
        XTestFakeButtonEvent(display, 1, False, CurrentTime);
    }
    XFlush(display);
    XCloseDisplay(display);
    Pump(300);
}

void MoveTo(wxWindow& window, const wxPoint& client_point) {
    wxUIActionSimulator mouse;
    mouse.MouseMove(window.ClientToScreen(client_point));
    Pump(80);
}

void WheelAt(wxWindow& window, const wxPoint& client_point, bool horizontal, int notches) {
    wxUIActionSimulator mouse;
    mouse.MouseMove(window.ClientToScreen(client_point));
    Pump(30);
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr) {
        ADD_FAILURE() << "no X display for the wheel";
        return;
    }
    // X buttons 4 and 5 turn the wheel up and down, 6 and 7 left and right.
    const unsigned button = horizontal ? (notches > 0 ? 7u : 6u) : (notches > 0 ? 5u : 4u);
    for (int i = 0; i < std::abs(notches); ++i) {
        XTestFakeButtonEvent(display, button, True, CurrentTime);
        XTestFakeButtonEvent(display, button, False, CurrentTime);
        XFlush(display);
        Pump(30);
    }
    XCloseDisplay(display);
    Pump(100);
}

void TypeKey(int key_code, int modifiers) {
    wxUIActionSimulator keyboard;
    keyboard.Char(key_code, modifiers);
    Pump(80);
}

void ClickTreeItem(wxTreeCtrl& tree, const wxTreeItemId& item) {
    tree.EnsureVisible(item);
    Pump(20);
    wxRect rect;
    EXPECT_TRUE(tree.GetBoundingRect(item, rect, true));
    ClickAt(tree, wxPoint(rect.x + std::min(rect.width / 2, 8), rect.y + rect.height / 2));
}

std::filesystem::path SaveScreenshot(wxWindow& window, const std::string& name) {
    // Without a window manager a window is mapped and painted some time after Show(): wait for both.
    window.Raise();
    WaitUntil([&] { return window.IsShownOnScreen(); }, 3000);
    Pump(200);
    window.Refresh();
    window.Update();
    Pump(300);
    const wxRect rect = window.GetScreenRect();
    wxBitmap bitmap(rect.width, rect.height, 24);
    {
        wxMemoryDC memory(bitmap);
        wxWindowDC source(&window);
        memory.Blit(0, 0, rect.width, rect.height, &source, 0, 0);
    }
    const std::filesystem::path folder = BM_SCREENSHOT_DIR;
    std::error_code ignored;
    std::filesystem::create_directories(folder, ignored);
    const std::filesystem::path file = folder / (name + ".png");
    if (!bitmap.ConvertToImage().SaveFile(wxString::FromUTF8(file.string()), wxBITMAP_TYPE_PNG)) return {};
    return file;
}

}  // namespace guitest

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    // Listing the tests (ctest's discovery at build time) needs no display.
    if (testing::GTEST_FLAG(list_tests)) return RUN_ALL_TESTS();

    // A hung window test must not hold up the whole run: the process ends after this long (100 s, or the
    // seconds BRINDLEMOOR_GUI_WATCHDOG_SECONDS names, for a measurement by hand on a large file).
    long watchdog_seconds = 100;
    if (const char* seconds = std::getenv("BRINDLEMOOR_GUI_WATCHDOG_SECONDS"); seconds && std::atol(seconds) > 0) {
        watchdog_seconds = std::atol(seconds);
    }
    std::thread([watchdog_seconds] {
        std::this_thread::sleep_for(std::chrono::seconds(watchdog_seconds));
        std::fprintf(stderr, "window test watchdog: no end after %ld s, ending the process\n", watchdog_seconds);
        std::fflush(stderr);
        std::_Exit(124);
    }).detach();

    guitest::g_app = new ui::CBrindlemoorApp();
    wxApp::SetInstance(guitest::g_app);
    if (!wxEntryStart(argc, argv)) {
        std::fprintf(stderr, "cannot open the display; window tests need an X server (./test.sh starts Xvfb)\n");
        return 1;
    }
    wxInitAllImageHandlers();
    guitest::g_app->CreateLogWindow();
    const int result = RUN_ALL_TESTS();
    guitest::ReleaseAnswerers();
    guitest::g_app->m_bridge.Close();
    wxEntryCleanup();
    return result;
}
