// Stop pressed with the mouse while a document save writes a site of thousands of documents: the items not
// saved keep their checks, Repair is offered again and saves the rest, and the log ends with the stop and
// the number of documents it left unsaved, never calling the list it cut "Repaired successfully".
#include <gtest/gtest.h>

#include <wx/treectrl.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "app/control_ids.h"
#include "platform/messages.h"
#include "platform/text.h"
#include "sharepoint/check_tree.h"
#include "tests/support/page_builder.h"
#include "tests/support/sharepoint_builder.h"
#include "tests/ui/gui_harness.h"
#include "ui/brindlemoor_app.h"
#include "ui/main_dialog.h"
#include "ui/message_dialogs.h"

namespace {

namespace fs = std::filesystem;
using namespace guitest;
using namespace app;
using testsupport::sharepoint::ContentDatabase;
using testsupport::sharepoint::Generation;

constexpr int kLists = 6;
constexpr int kDocumentsPerList = 500;
constexpr int kSmallSiteDocuments = 5;
constexpr std::uint64_t kDocuments = kLists * kDocumentsPerList + kSmallSiteDocuments;

// A small site saved first, then "Site B" with six libraries of 500 documents each.
ContentDatabase ManyDocuments() {
    ContentDatabase db(Generation::Sp2010VarBinary);
    auto text = [](const std::string& name) {
        const std::string body = "contents of " + name + " ";
        std::vector<std::uint8_t> bytes(body.begin(), body.end());
        bytes.resize(64, '.');
        return bytes;
    };
    const int small = db.AddWeb(-1, u"Site A");
    const int notes = db.AddList(small, u"Notes", u"Notes");
    for (int d = 0; d < kSmallSiteDocuments; ++d) {
        const std::string name = "note" + std::to_string(d) + ".txt";
        db.AddDocument(notes, -1, platform::FromUtf8(name), text("A/" + name));
    }
    const int big = db.AddWeb(-1, u"Site B");
    for (int l = 1; l <= kLists; ++l) {
        const std::u16string title = u"Library " + platform::FromUtf8(std::to_string(l));
        const int list = db.AddList(big, title, title);
        for (int d = 0; d < kDocumentsPerList; ++d) {
            const std::string name = "doc" + std::to_string(d) + ".txt";
            db.AddDocument(list, -1, platform::FromUtf8(name), text(std::to_string(l) + "/" + name));
        }
    }
    return db;
}

std::size_t FilesBelow(const fs::path& folder) {
    std::size_t n = 0;
    for (const auto& entry : fs::recursive_directory_iterator(folder)) n += entry.is_regular_file() ? 1 : 0;
    return n;
}

class SaveStopWindow : public testing::Test {
protected:
    void SetUp() override {
        dialog_ = OpenMainDialogOnScreen([this](ui::CBrindlemoorDlg& dialog) {
            dialog_ = &dialog;
            App().m_bridge.SetHandler([this](unsigned message, platform::WPARAM wparam, platform::LPARAM lparam) {
                if (message == platform::WM_LOG_LINE) log_.push_back(platform::ToUtf8(App().m_strLogLine));
                // A busy desktop: each saved document's count takes the window a little while, so the save lasts
                // seconds and Stop meets it part way.
                if (slow_window_ && message == platform::WM_RECORD_COUNT) {
                    std::this_thread::sleep_for(std::chrono::milliseconds(2));
                }
                dialog_->OnWorkerMessage(message, wparam, lparam);
            });
        });
    }
    void TearDown() override {
        App().m_prompts.choose_folder = nullptr;
        HandWorkerMessagesTo(dialog_);
        delete dialog_;
        Pump(20);
    }

    void Click(int id) { ClickControl(*dialog_, id); }
    bool Idle() const { return JobIdle(); }
    int StateOf(const char* label) const {
        const wxTreeItemId item = FindTreeItem(*dialog_, App().m_hTreeRoot, wxString::FromUTF8(label));
        EXPECT_TRUE(item.IsOk()) << label;
        return item.IsOk() ? dialog_->ResultTree()->GetItemState(item) : -1;
    }
    bool Logged(const std::string& line) const { return std::find(log_.begin(), log_.end(), line) != log_.end(); }
    // The one folder a save made in parent.
    static fs::path SaveFolder(const fs::path& parent) {
        std::vector<fs::path> folders{fs::directory_iterator(parent), fs::directory_iterator()};
        EXPECT_EQ(folders.size(), 1u);
        return folders.empty() ? parent : folders[0];
    }

    ui::CBrindlemoorDlg* dialog_ = nullptr;
    std::vector<std::string> log_;
    bool slow_window_ = false;
};

TEST_F(SaveStopWindow, StopPartWayKeepsTheUnsavedItemsCheckedAndRepairSavesTheRest) {
    testsupport::TempDir dir;
    ManyDocuments().Build().WriteTo(dir / "WSS_Content.mdf");
    Click(kIdDocumentRecovery);
    dialog_->choose_file = [file = dir / "WSS_Content.mdf"] { return wxString::FromUTF8(file.string()); };
    Click(kIdSelectFile);
    Click(kIdScanFile);
    ASSERT_TRUE(WaitUntil([&] { return Idle(); }, 30000));
    ASSERT_TRUE(App().m_hTreeRoot.IsOk());
    EXPECT_EQ(dialog_->ResultTree()->GetItemState(App().m_hTreeRoot), sharepoint::kChecked);

    // Everything checked: Repair, and Stop once a few hundred documents are written.
    const fs::path first = dir / "first";
    fs::create_directory(first);
    App().m_prompts.choose_folder = [first](const std::u16string&) { return platform::FromUtf8(first.string()); };
    wxString stopped_message;
    WhenModalOpens<ui::CMyMessageDialog>(
        [&stopped_message](ui::CMyMessageDialog& d) {
            stopped_message = d.UpperText();
            d.EndWith(kIdOk);
        },
        30000);
    log_.clear();
    slow_window_ = true;
    Click(kIdRepair);
    ASSERT_TRUE(WaitUntil([] { return App().m_nRecoveredCount.load() >= 300 || App().m_bJobIdle.load(); }, 30000));
    ASSERT_FALSE(App().m_bJobIdle.load()) << "the save ended before Stop";
    Click(kIdStopJob);
    ASSERT_TRUE(WaitUntil([&] { return Idle() && !stopped_message.empty(); }, 30000));
    slow_window_ = false;
    Pump(100);
    EXPECT_EQ(stopped_message, "Current  process stopped by user.");

    const std::uint64_t saved = App().m_nRecoveredCount.load();
    ASSERT_GE(saved, 300u);
    ASSERT_LT(saved, kDocuments);
    EXPECT_EQ(FilesBelow(first), saved);

    // The small site was saved whole and is unchecked; the site the stop cut keeps its check, with every
    // library below it, and Repair is offered again.
    EXPECT_EQ(StateOf("Site A"), sharepoint::kUnchecked);
    EXPECT_EQ(StateOf("Site B"), sharepoint::kChecked);
    for (int l = 1; l <= kLists; ++l) {
        EXPECT_EQ(StateOf(("Library " + std::to_string(l)).c_str()), sharepoint::kChecked) << l;
    }
    EXPECT_EQ(dialog_->ResultTree()->GetItemState(App().m_hTreeRoot), sharepoint::kPartlyChecked);
    EXPECT_TRUE(dialog_->IsControlShown(kIdRepair));
    EXPECT_TRUE(dialog_->IsControlEnabled(kIdRepair));

    // The log: the library being written when Stop came is not called repaired, nor its site; the last line
    // is the stop with the count it left unsaved.
    ASSERT_FALSE(log_.empty());
    const auto cut = std::find_if(log_.rbegin(), log_.rend(),
                                  [](const std::string& line) { return line.rfind("Repairing List.....  ", 0) == 0; });
    ASSERT_NE(cut, log_.rend());
    const std::string cut_title = cut->substr(std::string("Repairing List.....  ").size());
    EXPECT_FALSE(Logged("  " + cut_title + ":Repaired successfully")) << cut_title;
    EXPECT_FALSE(Logged("  Site B:Repaired successfully"));
    EXPECT_TRUE(Logged("  Site A:Repaired successfully"));
    EXPECT_EQ(log_.back(), "Stopped by the user: " + std::to_string(kDocuments - saved) + " of " +
                               std::to_string(kDocuments) +
                               " document(s) not saved; the items not saved stay checked.");
    EXPECT_FALSE(SaveScreenshot(*dialog_, "save_stopped_tree").empty());

    // Repair again saves what is still checked: all of Site B, and nothing of Site A a second time.
    const fs::path second = dir / "second";
    fs::create_directory(second);
    App().m_prompts.choose_folder = [second](const std::u16string&) { return platform::FromUtf8(second.string()); };
    wxString done_message;
    WhenModalOpens<ui::CMyMessageDialog>(
        [&done_message](ui::CMyMessageDialog& d) {
            done_message = d.UpperText();
            d.EndWith(kIdOk);
        },
        60000);
    Click(kIdRepair);
    ASSERT_TRUE(WaitUntil([&] { return Idle() && !done_message.empty(); }, 60000));
    EXPECT_TRUE(done_message.Contains("saved at the desired location.")) << done_message;
    const fs::path rest = SaveFolder(second);
    EXPECT_EQ(FilesBelow(rest), static_cast<std::size_t>(kLists * kDocumentsPerList));
    EXPECT_FALSE(fs::exists(rest / "Site A"));
    EXPECT_EQ(StateOf("Site B"), sharepoint::kUnchecked);
    EXPECT_EQ(dialog_->ResultTree()->GetItemState(App().m_hTreeRoot), sharepoint::kUnchecked);
}

}  // namespace
