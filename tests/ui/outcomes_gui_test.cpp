// What the window tells the user at the end of a step, driven with real pointer clicks through the X server: a
// double click on Scan File whose second click lands on the Repair that took its place, a scan that met damaged
// or missing pages, a Complete Repair whose server cannot be reached, and files that are no data files at all.
#include <gtest/gtest.h>

#include <wx/settings.h>
#include <wx/timer.h>
#include <wx/treectrl.h>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "app/control_ids.h"
#include "mdf/page_check.h"
#include "mdf/recovery_engine.h"
#include "platform/text.h"
#include "tests/support/corpus.h"
#include "tests/support/file_bytes.h"
#include "tests/support/page_builder.h"
#include "tests/support/sharepoint_builder.h"
#include "tests/support/tds_server_double.h"
#include "tests/ui/gui_harness.h"
#include "ui/brindlemoor_app.h"
#include "ui/dialog_style.h"
#include "ui/log_dialog.h"
#include "ui/main_dialog.h"
#include "ui/message_dialogs.h"
#include "ui/server_dialogs.h"
#include "ui/version_dialog.h"

namespace {

namespace fs = std::filesystem;
using namespace guitest;
using namespace app;
using Bytes = std::vector<std::uint8_t>;

// Answers every modal dialog of type T that opens while it lives and counts them. Unlike WhenModalOpens it
// also serves dialogs that must not open at all.
template <typename T>
class ModalWatch : public wxTimer {
public:
    explicit ModalWatch(std::function<void(T&)> act) : act_(std::move(act)) { Start(20); }
    ~ModalWatch() override { Stop(); }
    int Count() const { return count_; }
    void Notify() override {
        T* dialog = FindModal<T>();
        if (dialog == nullptr) {
            last_ = nullptr;
            return;
        }
        if (dialog == last_) return;
        last_ = dialog;
        ++count_;
        act_(*dialog);
    }

private:
    std::function<void(T&)> act_;
    int count_ = 0;
    T* last_ = nullptr;
};

using testsupport::ReadFile;
using testsupport::WriteFile;

// The synthetic content database: a small file whose scan ends in a moment.
fs::path SmallDataFile(const fs::path& folder, const char* name) {
    const fs::path file = folder / name;
    testsupport::sharepoint::ContentDatabase::Sample(testsupport::sharepoint::Generation::Sp2010VarBinary)
        .Build()
        .WriteTo(file);
    return file;
}

// The same file with a page checksum on every page, as the server writes them, and one data page of a user
// table whose checksum no longer matches.
fs::path FileWithOneBadDataPage(const fs::path& folder) {
    Bytes file = ReadFile(SmallDataFile(folder, "sound.mdf"));
    const std::uint64_t pages = file.size() / mdf::kPageSize;
    std::uint64_t spoiled = 0;
    for (std::uint64_t page = 0; page < pages; ++page) {
        std::uint8_t* header = file.data() + page * mdf::kPageSize;
        if (header[0] != 1) continue;
        const std::uint16_t flags = static_cast<std::uint16_t>(header[mdf::kPageFlagsOffset] |
                                                               (header[mdf::kPageFlagsOffset + 1] << 8)) |
                                    mdf::kPageFlagChecksum;
        header[mdf::kPageFlagsOffset] = static_cast<std::uint8_t>(flags);
        header[mdf::kPageFlagsOffset + 1] = static_cast<std::uint8_t>(flags >> 8);
        const std::uint32_t sum = mdf::PageChecksum(std::span<const std::uint8_t>(header, mdf::kPageSize));
        for (int k = 0; k < 4; ++k) header[mdf::kPageChecksumOffset + k] = static_cast<std::uint8_t>(sum >> (8 * k));
        const std::uint32_t owner = header[24] | (header[25] << 8) | (header[26] << 16) |
                                    (static_cast<std::uint32_t>(header[27]) << 24);
        if (spoiled == 0 && header[1] == 1 && owner >= 100) spoiled = page;
    }
    EXPECT_NE(spoiled, 0u) << "no data page of a user table in the built file";
    file[spoiled * mdf::kPageSize + mdf::kPageChecksumOffset] ^= 0x10;
    WriteFile(folder / "one_bad_page.mdf", file);
    return folder / "one_bad_page.mdf";
}

// A port on this machine that nothing listens on.
int ClosedPort() {
    const int s = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    int port = 1;
    if (bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        getsockname(s, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
        port = ntohs(address.sin_port);
    }
    close(s);
    return port;
}

class WindowOutcomes : public testing::Test {
protected:
    void SetUp() override {
        dialog_ = OpenMainDialogOnScreen();
    }
    void TearDown() override {
        delete dialog_;
        Pump(20);
    }

    // A click in the middle of one of the window's controls, as a user gives it.
    void Click(int id) { ClickControl(*dialog_, id); }
    void SelectFile(const fs::path& file) { ClickSelectFile(*dialog_, file); }
    bool Idle() const { return JobIdle(); }
    bool Scan() { return ClickScanFile(*dialog_); }
    std::vector<wxTreeItemId> TableItems() const {
        std::vector<wxTreeItemId> items;
        wxTreeCtrl* tree = dialog_->ResultTree();
        if (!App().m_hTreeRoot.IsOk()) return items;
        wxTreeItemIdValue outer, inner;
        for (wxTreeItemId caption = tree->GetFirstChild(App().m_hTreeRoot, outer); caption.IsOk();
             caption = tree->GetNextChild(App().m_hTreeRoot, outer)) {
            for (wxTreeItemId item = tree->GetFirstChild(caption, inner); item.IsOk();
                 item = tree->GetNextChild(caption, inner)) {
                items.push_back(item);
            }
        }
        return items;
    }

    ui::CBrindlemoorDlg* dialog_ = nullptr;
};

TEST_F(WindowOutcomes, TheSecondClickOfADoubleClickOnScanFileDoesNotStartARepair) {
    testsupport::TempDir dir;
    ModalWatch<ui::CSqlServerEditon> editions([](ui::CSqlServerEditon& d) { d.EndModal(kIdCancel); });
    Click(kIdCompleteRepair);
    SelectFile(SmallDataFile(dir.Path(), "content.mdf"));
    wxWindow* repair = dialog_->FindWindow(kIdRepair);
    ASSERT_EQ(repair->GetRect(), dialog_->FindWindow(kIdScanFile)->GetRect()) << "Repair takes Scan File's place";

    Click(kIdScanFile);
    ASSERT_TRUE(WaitUntil([&] { return Idle() && dialog_->IsControlShown(kIdRepair); }, 30000));
    const auto repair_shown = std::chrono::steady_clock::now();
    // The double click's second click: at once, on the same spot.
    const wxSize size = repair->GetClientSize();
    QuickClickAt(*repair, wxPoint(size.x / 2, size.y / 2));
    const auto clicked = std::chrono::steady_clock::now();
    ASSERT_LT(clicked - repair_shown, std::chrono::milliseconds(wxSystemSettings::GetMetric(wxSYS_DCLICK_MSEC)))
        << "the click came too late to be a double click's second";
    Pump(300);
    EXPECT_EQ(editions.Count(), 0) << "the edition question of a repair nobody asked for";
    EXPECT_FALSE(App().m_bRepairStarted);
    EXPECT_TRUE(Idle());
    EXPECT_TRUE(dialog_->IsControlShown(kIdRepair));

    // A click of its own reaches Repair: the repair asks for the edition (cancelled here).
    Click(kIdRepair);
    EXPECT_TRUE(WaitUntil([&] { return editions.Count() == 1 && Idle(); }, 30000));
}

TEST_F(WindowOutcomes, DamagedOrMissingPagesAreShownOnTheResultPageAndTheirTablesMarked) {
    testsupport::TempDir dir;
    struct Case {
        const char* what;
        std::function<fs::path()> file;  // empty path: the case needs the corpus, which is absent
        bool damaged;
        const char* screenshot;
    };
    const Case cases[] = {
        {"a data page whose checksum does not match", [&] { return FileWithOneBadDataPage(dir.Path()); }, true,
         "damage_warning"},
        {"a sound file after a damaged one", [&] { return SmallDataFile(dir.Path(), "sound_again.mdf"); }, false, nullptr},
        {"Northwind cut in half",
         [&]() -> fs::path {
             if (!testsupport::CorpusDir()) return {};
             Bytes file = ReadFile(*testsupport::CorpusDir() / "northwnd_sligo.mdf");
             file.resize(file.size() / 2 / mdf::kPageSize * mdf::kPageSize);
             WriteFile(dir / "northwnd_half.mdf", file);
             return dir / "northwnd_half.mdf";
         },
         true, "damage_warning_northwind_half"},
    };
    Click(kIdCompleteRepair);
    const wxRect whole_tree = dialog_->ResultTree()->GetRect();
    bool on_result_page = false;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const fs::path file = c.file();
        if (file.empty()) {
            std::printf("skipped (%s): the corpus is absent\n", c.what);
            continue;
        }
        if (on_result_page) Click(kIdBack);
        SelectFile(file);
        ASSERT_TRUE(Scan());
        on_result_page = true;
        ASSERT_TRUE(App().m_hTreeRoot.IsOk());
        const mdf::CRecoveryEngine* engine = dialog_->Engine();
        ASSERT_NE(engine, nullptr);
        ASSERT_EQ(engine->m_nDamageCount != 0, c.damaged) << engine->m_nDamageCount;

        wxTreeCtrl* tree = dialog_->ResultTree();
        int marked = 0;
        // An item cut to the tree's width keeps its count; its whole text, with the mark, is its tooltip.
        const auto whole_text = [tree](const wxTreeItemId& item) {
            wxTreeEvent ask(wxEVT_TREE_ITEM_GETTOOLTIP, tree, item);
            tree->GetEventHandler()->ProcessEvent(ask);
            return ask.IsAllowed() ? ask.GetLabel() : tree->GetItemText(item);
        };
        for (const wxTreeItemId& item : TableItems()) {
            const wxString text = whole_text(item);
            const bool incomplete = text.EndsWith(" - may be incomplete");
            marked += incomplete;
            for (const auto& table : engine->m_lstTables) {
                if (text.StartsWith(ui::ToWx(table.m_pszName) + "(")) {
                    EXPECT_EQ(incomplete, table.Incomplete()) << text;
                }
            }
        }
        wxWindow* warning = dialog_->FindWindow(kIdDamageWarning);
        ASSERT_NE(warning, nullptr);
        EXPECT_EQ(warning->IsShown(), c.damaged);
        if (!c.damaged) {
            EXPECT_EQ(marked, 0);
            EXPECT_EQ(tree->GetRect(), whole_tree) << "the tree gets its room back";
            continue;
        }
        EXPECT_GT(marked, 0);
        const wxString shown = dialog_->ControlText(kIdDamageWarning);
        EXPECT_TRUE(shown.StartsWith(wxString::Format("%llu damaged or missing page(s) found",
                                                      static_cast<unsigned long long>(engine->m_nDamageCount))))
            << shown;
        for (const auto& table : engine->m_lstTables) {
            if (table.Incomplete()) {
                EXPECT_TRUE(shown.Contains("\n" + ui::ToWx(table.m_pszName))) << shown;
            }
        }
        // Both in view: the shortened tree above the warning, inside the tree's old place.
        EXPECT_LE(tree->GetRect().GetBottom(), warning->GetRect().GetTop());
        EXPECT_TRUE(whole_tree.Contains(warning->GetRect()));
        EXPECT_FALSE(SaveScreenshot(*dialog_, c.screenshot).empty());
        // The marked table still opens: its rows are listed.
        for (const wxTreeItemId& item : TableItems()) {
            if (!whole_text(item).EndsWith(" - may be incomplete")) continue;
            ClickTreeItem(*tree, item);
            ASSERT_TRUE(WaitUntil([&] { return Idle(); }, 30000));
            EXPECT_TRUE(dialog_->IsControlShown(kIdResultList));
            EXPECT_GT(dialog_->ResultList()->GetColumnCount(), 0);
            break;
        }
    }
}

TEST_F(WindowOutcomes, ARepairWhoseServerCannotBeReachedSaysWhyInTheLog) {
    testsupport::TempDir dir;
    {
        std::ofstream config(dir / "brindlemoor.conf");
        config << "[sqlserver]\nserver = 127.0.0.1\nlogin = tester\nport = " << ClosedPort()
               << "\nlogin_timeout = 5\nfailure_folder = " << (dir / "failures").string() << "\n";
        if (!testsupport::FreeTdsDriverPath().empty()) {
            config << "driver = " << platform::ToUtf8(testsupport::FreeTdsDriverPath()) << "\n";
        }
    }
    setenv("BRINDLEMOOR_CONFIG", (dir / "brindlemoor.conf").c_str(), 1);
    App().m_strServerInstance.clear();

    Click(kIdCompleteRepair);
    SelectFile(SmallDataFile(dir.Path(), "content.mdf"));
    ASSERT_TRUE(Scan());
    ASSERT_TRUE(dialog_->IsControlShown(kIdRepair));

    ModalWatch<ui::CSqlServerEditon> editions([](ui::CSqlServerEditon& d) {
        wxCommandEvent ok(wxEVT_BUTTON, kIdOk);
        d.GetEventHandler()->ProcessEvent(ok);
    });
    ModalWatch<ui::CServerInstance> servers([](ui::CServerInstance& d) {
        d.Field(ui::kIdPassword)->ChangeValue("secret");
        wxCommandEvent ok(wxEVT_BUTTON, kIdOk);
        d.GetEventHandler()->ProcessEvent(ok);
    });
    wxString told;
    ModalWatch<ui::CMyMessageDialog> messages([&told](ui::CMyMessageDialog& d) {
        told = d.UpperText();
        d.EndWith(kIdOk);
    });
    Click(kIdRepair);
    ASSERT_TRUE(WaitUntil([&] { return messages.Count() == 1 && Idle(); }, 60000));
    unsetenv("BRINDLEMOOR_CONFIG");
    EXPECT_EQ(editions.Count(), 1);
    EXPECT_EQ(servers.Count(), 1);
    EXPECT_FALSE(told.empty());

    // The log window holds the end and its reason, after the message's words.
    const std::u16string log = App().m_dlgLog->EditText();
    const auto ended = log.find(u"Repair process ended on ");
    ASSERT_NE(ended, std::u16string::npos) << platform::ToUtf8(log);
    EXPECT_NE(log.find(u"Unable to establish the connection.", ended), std::u16string::npos) << platform::ToUtf8(log);
    EXPECT_NE(log.find(u"Please Verify your Server\\Instance name.", ended), std::u16string::npos);
}

TEST_F(WindowOutcomes, AFileThatIsNoDataFileEndsAtItsFirstMessage) {
    testsupport::TempDir dir;
    struct Case {
        const char* what;
        std::string content;
        const char* said;
    };
    std::string long_text;
    while (long_text.size() < 20 * mdf::kPageSize) long_text += "SELECT name, size FROM sys.master_files;\r\n";
    const Case cases[] = {
        {"an empty file", "", "at 0 bytes it is too short to hold a boot page."},
        {"a short text file", "-- notes of the move to the new server\r\nuse WSS_Content;\r\n",
         "it is too short to hold a boot page."},
        {"a long text file", long_text, "its first page holds no zero byte"},
    };
    Click(kIdCompleteRepair);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const fs::path file = dir / (std::string(c.what) + ".mdf");
        std::ofstream(file, std::ios::binary) << c.content;
        std::vector<wxString> told;
        ModalWatch<ui::CMyMessageDialog> messages([&told](ui::CMyMessageDialog& d) {
            told.push_back(d.UpperText());
            d.EndWith(kIdOk);
        });
        ModalWatch<ui::CSelectVersionForSQLServer> versions(
            [](ui::CSelectVersionForSQLServer& d) { d.EndWith(kIdOk); });  // the pre-selected entry, as a user would
        SelectFile(file);
        ASSERT_TRUE(Scan());
        Pump(200);
        EXPECT_EQ(versions.Count(), 0) << "the version question for a file that is no data file";
        ASSERT_EQ(told.size(), 1u);
        EXPECT_TRUE(told[0].StartsWith("This file is not a SQL Server data file: ")) << told[0];
        EXPECT_TRUE(told[0].Contains(c.said)) << told[0];
        EXPECT_FALSE(App().m_hTreeRoot.IsOk());
        EXPECT_TRUE(dialog_->IsControlShown(kIdScanFile));
    }
}

}  // namespace
