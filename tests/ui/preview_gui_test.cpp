// The document preview end to end in a real window: a synthetic content database whose documents are a
// picture, a text, an HTML page, a sound, a PDF, an Office document and files without a viewer; each is
// clicked in the document list and shown in the preview frame. The HTML page's script and its resources on a
// loopback server must fetch nothing; the converters are the real pdftoppm and fake office converters; the
// temporary copies live in a private folder and go at the next click, Home, Back, a new scan and Exit, and a
// preview after a document save deletes nothing of what the save wrote.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <wx/button.h>
#include <wx/html/htmlwin.h>
#include <wx/mediactrl.h>
#include <wx/textctrl.h>
#include <wx/timer.h>

#include <algorithm>
#include <fstream>
#include <mutex>
#include <thread>

#include "app/control_ids.h"
#include "platform/child_process.h"
#include "platform/text.h"
#include "tests/support/page_builder.h"
#include "tests/support/preview_files.h"
#include "tests/support/sha256.h"
#include "tests/support/sharepoint_builder.h"
#include "tests/ui/gui_harness.h"
#include "ui/brindlemoor_app.h"
#include "ui/dialog_style.h"
#include "ui/main_dialog.h"
#include "ui/message_dialogs.h"
#include "ui/preview_pane.h"

namespace {

namespace fs = std::filesystem;
using namespace guitest;
using namespace app;
using testsupport::sharepoint::ContentDatabase;
using testsupport::sharepoint::Generation;
using testsupport::sharepoint::Storage;
using View = ui::CPreviewPane::View;

// An HTTP server on 127.0.0.1 that notes every request line and answers 404.
class LoopbackServer {
public:
    LoopbackServer() {
        listener_ = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address);
        listen(listener_, 8);
        socklen_t length = sizeof address;
        getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
        port_ = ntohs(address.sin_port);
        thread_ = std::thread([this] { Serve(); });
    }
    ~LoopbackServer() {
        stop_ = true;
        thread_.join();
        close(listener_);
    }
    int Port() const { return port_; }
    std::vector<std::string> Requests() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return requests_;
    }

private:
    void Serve() {
        while (!stop_) {
            pollfd p{listener_, POLLIN, 0};
            if (poll(&p, 1, 20) <= 0) continue;
            const int client = accept(listener_, nullptr, nullptr);
            if (client < 0) continue;
            char buffer[2048] = {};
            const ssize_t n = recv(client, buffer, sizeof buffer - 1, 0);
            {
                std::lock_guard<std::mutex> lock(mutex_);
                requests_.emplace_back(buffer, static_cast<std::size_t>(std::max<ssize_t>(n, 0)));
            }
            const char answer[] = "HTTP/1.0 404 Not Found\r\nContent-Length: 0\r\n\r\n";
            send(client, answer, sizeof answer - 1, MSG_NOSIGNAL);
            close(client);
        }
    }

    int listener_ = -1;
    int port_ = 0;
    std::atomic<bool> stop_{false};
    std::thread thread_;
    mutable std::mutex mutex_;
    std::vector<std::string> requests_;
};

constexpr char kText[] = "Quarterly notes\nGrüße aus dem Büro – naïve café\nLine three\n";

std::string HtmlPage(int port) {
    const std::string base = "http://127.0.0.1:" + std::to_string(port);
    return "<html><head><title>Team page</title>"
           "<script>fetch('" + base + "/script'); document.write('SCRIPT RAN');</script>"
           "<link rel=\"stylesheet\" href=\"" + base + "/style.css\">"
           "<style>body { display: none }</style></head>"
           "<body background=\"" + base + "/background.png\">"
           "<h1>Hello from the team page</h1><p>A paragraph with <b>bold</b> text and a "
           "<a href=\"" + base + "/link\">link</a>.</p>"
           "<img src=\"" + base + "/image.png\" width=\"64\" height=\"64\">"
           "<img src=\"file:///etc/hostname\"></body></html>";
}

class PreviewWindow : public testing::Test {
protected:
    void SetUp() override {
        App().m_strPreviewFile.clear();
        dialog_ = OpenMainDialog([this](ui::CBrindlemoorDlg& dialog) {
            tools_.pdf_to_picture = platform::FindProgram("pdftoppm", "/usr/bin:/bin");
            dialog.detect_preview_tools = [this] { return tools_; };
        });
    }
    void TearDown() override { CloseMainDialog(dialog_); }

    // The database: one site, one list, the documents in its root folder.
    void BuildDatabase(int port) {
        ContentDatabase db(Generation::Sp2010VarBinary);
        const int team = db.AddWeb(-1, u"Team");
        const int list = db.AddList(team, u"Shared Documents", u"Shared Documents");
        const auto storage = [](const testsupport::Bytes& bytes) {
            return bytes.size() > 6000 ? Storage::Chains : Storage::InRow;
        };
        const std::vector<std::pair<std::u16string, testsupport::Bytes>> documents = {
            {u"picture.png", testsupport::MakePng(400, 300)},
            {u"notes.txt", testsupport::ToBytes(kText)},
            {u"page.html", testsupport::ToBytes(HtmlPage(port))},
            {u"sound.wav", testsupport::MakeWav(4000)},
            {u"clip.avi", testsupport::MakeAvi(160, 120, 20)},
            {u"one.pdf", testsupport::MakeOnePagePdf()},
            {u"report.docx", testsupport::ToBytes("PK\x03\x04 not really a document")},
            {u"data.xyz", testsupport::ToBytes("no viewer for this")},
            {u"huge.png", testsupport::MakeDeclaredPng(50000, 50000)},
            {u"broken.png", [] {
                 testsupport::Bytes png = testsupport::MakePng(40, 30);
                 png.resize(png.size() / 2);
                 return png;
             }()},
        };
        for (const auto& [name, bytes] : documents) db.AddDocument(list, -1, name, bytes, storage(bytes));
        database_ = dir_ / "WSS_Content.mdf";
        db.Build().WriteTo(database_);
        manifest_ = db.Manifest();
    }

    // Document Recovery, the scan, a click on the list's root folder.
    void ScanAndOpenTheList() {
        dialog_->OnDocumentRecovery();
        dialog_->choose_file = [this] { return wxString::FromUTF8(database_.string()); };
        dialog_->OnSelectFile();
        dialog_->OnScanFile();
        ASSERT_TRUE(WaitUntil([] { return App().m_bJobIdle.load() && App().m_pRecoverThread.load() == nullptr; }, 30000));
        Pump(50);
        OpenTheList();
    }
    void OpenTheList() {
        wxTreeCtrl* tree = dialog_->ResultTree();
        const wxTreeItemId list = Find(App().m_hTreeRoot, "Shared Documents");
        ASSERT_TRUE(list.IsOk());
        wxTreeItemIdValue cookie;
        const wxTreeItemId folder = tree->GetFirstChild(list, cookie);
        ASSERT_TRUE(folder.IsOk());
        ASSERT_EQ(ClickTreeLabel(*dialog_, folder), 1);
        ASSERT_GT(dialog_->ResultList()->GetItemCount(), 0);
    }
    wxTreeItemId Find(const wxTreeItemId& from, const wxString& text) const {
        return FindTreeItem(*dialog_, from, text);
    }
    // A click on the document's row, as the list reports it.
    void Click(const wxString& name) {
        ui::CMyListCtrl* list = dialog_->ResultList();
        const long row = list->FindItem(-1, name);
        ASSERT_GE(row, 0) << name;
        for (long i = 0; i < list->GetItemCount(); ++i) list->SetItemState(i, 0, wxLIST_STATE_SELECTED);
        list->SetItemState(row, wxLIST_STATE_SELECTED, wxLIST_STATE_SELECTED);
        Pump(20);
    }
    ui::CPreviewPane& Pane() { return *dialog_->Preview(); }
    fs::path Copy() { return Pane().DocumentFolder(); }

    testsupport::TempDir dir_;
    fs::path database_;
    std::vector<testsupport::sharepoint::ManifestLine> manifest_;
    app::PreviewTools tools_;
    ui::CBrindlemoorDlg* dialog_ = nullptr;
};

int Mode(const fs::path& path) {
    struct stat info {};
    stat(path.c_str(), &info);
    return static_cast<int>(info.st_mode & 07777);
}

TEST_F(PreviewWindow, PictureTextHtmlAndNoViewer) {
    LoopbackServer server;
    BuildDatabase(server.Port());
    ScanAndOpenTheList();

    Click("picture.png");
    ASSERT_EQ(Pane().CurrentView(), View::Picture);
    EXPECT_TRUE(App().m_bImagePreviewShown);
    EXPECT_TRUE(dialog_->IsControlShown(kIdPreviewFrame));
    EXPECT_FALSE(dialog_->IsControlShown(kIdPreviewBackdrop));
    // The copy: a fixed name in a folder of its own inside the private folder, readable by the owner only.
    const fs::path picture_copy = Copy();
    EXPECT_EQ(Mode(Pane().Folder().Path()), 0700);
    EXPECT_EQ(Mode(picture_copy), 0700);
    EXPECT_EQ(Mode(picture_copy / "preview.png"), 0600);
    // The save's path field is not the preview's.
    EXPECT_TRUE(App().m_strPreviewFile.empty());
    const wxSize frame = dialog_->FindWindow(kIdPreviewFrame)->GetClientSize();
    EXPECT_EQ(Pane().ViewWindow()->GetRect(), wxRect(1, 1, frame.GetWidth() - 2, frame.GetHeight() - 2));
    EXPECT_FALSE(SaveScreenshot(*dialog_, "preview_picture").empty());

    // The next click deletes the first copy before the second is written.
    Click("notes.txt");
    EXPECT_FALSE(fs::exists(picture_copy));
    ASSERT_EQ(Pane().CurrentView(), View::Text);
    EXPECT_FALSE(App().m_bImagePreviewShown);
    auto* text = dynamic_cast<wxTextCtrl*>(Pane().ViewWindow());
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(ui::FromWx(text->GetValue()), platform::FromUtf8(kText));
    EXPECT_FALSE(text->IsEditable());
    EXPECT_FALSE(SaveScreenshot(*dialog_, "preview_text").empty());

    Click("page.html");
    ASSERT_EQ(Pane().CurrentView(), View::Html);
    auto* html = dynamic_cast<wxHtmlWindow*>(Pane().ViewWindow());
    ASSERT_NE(html, nullptr);
    Pump(300);
    const wxString shown = html->ToText();
    EXPECT_TRUE(shown.Contains("Hello from the team page")) << shown;
    EXPECT_FALSE(shown.Contains("SCRIPT RAN")) << shown;
    EXPECT_FALSE(shown.Contains("fetch")) << shown;
    EXPECT_FALSE(shown.Contains("display")) << shown;
    EXPECT_FALSE(SaveScreenshot(*dialog_, "preview_html").empty());
    EXPECT_EQ(server.Requests(), std::vector<std::string>());

    Click("data.xyz");
    EXPECT_EQ(Pane().CurrentView(), View::None);
    EXPECT_TRUE(dialog_->IsControlShown(kIdDocumentBackdrop));
    EXPECT_FALSE(dialog_->IsControlShown(kIdPreviewFrame));
    EXPECT_TRUE(Copy().empty());
    EXPECT_FALSE(SaveScreenshot(*dialog_, "preview_no_viewer").empty());
    EXPECT_EQ(server.Requests(), std::vector<std::string>());
}

TEST_F(PreviewWindow, PicturesThatAreTooLargeOrDamagedSaySo) {
    BuildDatabase(1);
    ScanAndOpenTheList();
    const std::pair<const char*, const char*> cases[] = {
        {"huge.png", "This picture is too large to preview (50000 × 50000 pixels)."},
        {"broken.png", "The picture cannot be decoded; the file may be damaged."},
    };
    for (const auto& [name, message] : cases) {
        Click(name);
        EXPECT_EQ(Pane().CurrentView(), View::Message) << name;
        EXPECT_EQ(Pane().MessageText(), platform::FromUtf8(message)) << name;
        EXPECT_FALSE(App().m_bImagePreviewShown) << name;
    }
}

TEST_F(PreviewWindow, AClickWhileAJobRunsShowsNothingAndClearsTheRow) {
    BuildDatabase(1);
    ScanAndOpenTheList();
    // Only whether a job is registered counts here; the pointer is never followed.
    App().m_pRecoverThread = reinterpret_cast<app::CRecoverThread*>(dialog_);
    Click("notes.txt");
    const long row = dialog_->ResultList()->FindItem(-1, "notes.txt");
    const long selected = dialog_->ResultList()->GetNextItem(-1, wxLIST_NEXT_ALL, wxLIST_STATE_SELECTED);
    App().m_pRecoverThread = nullptr;
    EXPECT_EQ(Pane().CurrentView(), View::None);
    EXPECT_TRUE(Copy().empty());
    EXPECT_NE(selected, row);
    Click("notes.txt");
    EXPECT_EQ(Pane().CurrentView(), View::Text);
}

TEST(PreviewPictureMemory, A60BytePngDeclaring50000By50000IsRefusedUnderAMemoryLimit) {
    testsupport::TempDir dir;
    testsupport::WriteFile(dir / "huge.png", testsupport::MakeDeclaredPng(50000, 50000));
    testsupport::WriteFile(dir / "fine.png", testsupport::MakePng(200, 100));
    // In a child with an address-space limit far below the 7.5 GB such a picture takes: the refusal must come
    // from the header, before any decoder allocates; a small picture still decodes under the same limit.
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        std::ifstream status("/proc/self/status");
        long vm_kb = 0;
        for (std::string line; std::getline(status, line);) {
            if (line.rfind("VmSize:", 0) == 0) vm_kb = std::stol(line.substr(7));
        }
        const rlimit limit{static_cast<rlim_t>(vm_kb + 256 * 1024) * 1024, static_cast<rlim_t>(vm_kb + 256 * 1024) * 1024};
        setrlimit(RLIMIT_AS, &limit);
        const ui::PreviewPicture huge = ui::LoadPreviewPicture(dir / "huge.png", "png");
        const ui::PreviewPicture fine = ui::LoadPreviewPicture(dir / "fine.png", "png");
        const bool ok = huge.check == app::PictureCheck::TooManyPixels && !huge.image.IsOk() && fine.image.IsOk() &&
                        fine.image.GetWidth() == 200;
        _exit(ok ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}

TEST_F(PreviewWindow, PdfFirstPageThroughPdftoppm) {
    if (tools_.pdf_to_picture.empty()) GTEST_SKIP() << "pdftoppm (poppler-utils) is not installed";
    BuildDatabase(1);
    ScanAndOpenTheList();
    Click("one.pdf");
    EXPECT_TRUE(WaitUntil([this] { return Pane().CurrentView() != View::Converting; }, 30000));
    ASSERT_EQ(Pane().CurrentView(), View::Picture) << platform::ToUtf8(Pane().MessageText());
    EXPECT_TRUE(fs::exists(Copy() / "page.png"));
    EXPECT_FALSE(SaveScreenshot(*dialog_, "preview_pdf").empty());
}

TEST_F(PreviewWindow, MissingConvertersNameTheirPackage) {
    tools_ = {};
    BuildDatabase(1);
    ScanAndOpenTheList();
    const std::pair<const char*, const char*> cases[] = {
        {"one.pdf", "Please install poppler-utils to see the preview of file."},
        {"report.docx", "Please install LibreOffice (libreoffice-core) to see the preview of file."},
    };
    // Said in the preview frame, click after click, without a box to close each time.
    int boxes = 0;
    wxTimer box_closer;
    box_closer.Bind(wxEVT_TIMER, [&boxes](wxTimerEvent&) {
        if (auto* box = FindModal<ui::CMyMessageDialog>()) {
            ++boxes;
            box->EndWith(kIdOk);
        }
    });
    box_closer.Start(20);
    for (int click = 0; click < 2; ++click) {
        for (const auto& [name, message] : cases) {
            Click(name);
            const std::u16string expected = platform::FromUtf8(message);
            EXPECT_TRUE(WaitUntil([this, &expected] {
                return Pane().CurrentView() == View::Message && Pane().MessageText() == expected;
            })) << name;
            EXPECT_TRUE(Copy().empty());
        }
    }
    box_closer.Stop();
    EXPECT_EQ(boxes, 0);
}

TEST_F(PreviewWindow, OfficeDocumentsGoThroughTheConverterThenThePdfPicture) {
    if (tools_.pdf_to_picture.empty()) GTEST_SKIP() << "pdftoppm (poppler-utils) is not installed";
    // A fake office converter: notes its arguments and HOME, and "converts" to a real one-page PDF.
    testsupport::WriteFile(dir_ / "page.pdf", testsupport::MakeOnePagePdf());
    {
        std::ofstream(dir_ / "soffice") << "#!/bin/sh\n"
                                           "printf '%s\\n' \"$@\" > '" << (dir_ / "soffice.args").string() << "'\n"
                                           "printf '%s\\n' \"$HOME\" > '" << (dir_ / "soffice.home").string() << "'\n"
                                           "while [ $# -gt 1 ]; do if [ \"$1\" = --outdir ]; then out=$2; fi; shift; done\n"
                                           "cp '" << (dir_ / "page.pdf").string() << "' \"$out/preview.pdf\"\n";
        fs::permissions(dir_ / "soffice", fs::perms::owner_all);
    }
    tools_.office_to_pdf = (dir_ / "soffice").string();
    BuildDatabase(1);
    ScanAndOpenTheList();
    Click("report.docx");
    EXPECT_TRUE(WaitUntil([this] { return Pane().CurrentView() != View::Converting; }, 30000));
    EXPECT_EQ(Pane().CurrentView(), View::Picture) << platform::ToUtf8(Pane().MessageText());
    std::vector<std::string> args;
    {
        std::ifstream in(dir_ / "soffice.args");
        for (std::string line; std::getline(in, line);) args.push_back(line);
    }
    ASSERT_FALSE(args.empty());
    EXPECT_EQ(args.back(), (Copy() / "preview.docx").string());
    EXPECT_EQ(args[args.size() - 2], (Copy() / "pdf").string());
    std::ifstream home(dir_ / "soffice.home");
    std::string home_line;
    std::getline(home, home_line);
    EXPECT_EQ(home_line, (Copy() / "home").string());
}

TEST_F(PreviewWindow, ANewerClickCancelsAHangingConversionAndATimeLimitEndsOne) {
    // A converter that never ends; it notes its pid so the test can see it go.
    std::ofstream(dir_ / "hang") << "#!/bin/sh\necho $$ > '" << (dir_ / "hang.pid").string() << "'\nexec sleep 600\n";
    fs::permissions(dir_ / "hang", fs::perms::owner_all);
    tools_.pdf_to_picture = (dir_ / "hang").string();
    BuildDatabase(1);
    ScanAndOpenTheList();
    const auto running = [this] {
        std::ifstream in(dir_ / "hang.pid");
        pid_t pid = 0;
        in >> pid;
        if (pid == 0) return false;
        std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
        std::string all((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
        const auto close = all.rfind(')');
        return !all.empty() && close != std::string::npos && all[close + 2] != 'Z';
    };

    Click("one.pdf");
    EXPECT_EQ(Pane().CurrentView(), View::Converting);
    const fs::path first = Copy();
    ASSERT_TRUE(WaitUntil(running, 10000));
    Click("notes.txt");
    EXPECT_EQ(Pane().CurrentView(), View::Text);
    EXPECT_FALSE(running());
    EXPECT_FALSE(fs::exists(first));
    Pump(100);  // a result of the cancelled conversion would arrive now; the text view stays
    EXPECT_EQ(Pane().CurrentView(), View::Text);

    fs::remove(dir_ / "hang.pid");
    Pane().pdf_time_limit = std::chrono::milliseconds(300);
    Click("one.pdf");
    EXPECT_TRUE(WaitUntil([this] { return Pane().CurrentView() != View::Converting; }, 30000));
    EXPECT_EQ(Pane().MessageText(), u"The preview took too long to make and was stopped.");
    EXPECT_FALSE(running());
}

TEST_F(PreviewWindow, AudioLoadsAndPlaysWithOurControls) {
    BuildDatabase(1);
    ScanAndOpenTheList();
    Click("sound.wav");
    ASSERT_EQ(Pane().CurrentView(), View::Media);
    ASSERT_TRUE(WaitUntil([this] { return Pane().MediaLoaded() || Pane().CurrentView() != View::Media; }, 20000));
    ASSERT_EQ(Pane().CurrentView(), View::Media) << platform::ToUtf8(Pane().MessageText());
    ASSERT_NE(Pane().Media(), nullptr);
    EXPECT_TRUE(WaitUntil([this] { return Pane().Media()->Length() > 0; }, 10000));
    EXPECT_NEAR(static_cast<double>(Pane().Media()->Length()), 4000.0, 100.0);
    EXPECT_TRUE(WaitUntil([this] { return Pane().Media()->Tell() > 0; }, 10000));
    EXPECT_TRUE(WaitUntil([this] { return Pane().Media()->GetState() == wxMEDIASTATE_PLAYING; }, 5000));
    // Our pause button pauses it.
    wxButton* play = nullptr;
    for (wxWindow* child : Pane().ViewWindow()->GetChildren()) {
        for (wxWindow* control : child->GetChildren()) {
            if (auto* button = dynamic_cast<wxButton*>(control)) play = button;
        }
    }
    ASSERT_NE(play, nullptr);
    EXPECT_EQ(play->GetLabel(), "Pause");
    EXPECT_FALSE(SaveScreenshot(*dialog_, "preview_audio").empty());
    wxCommandEvent press(wxEVT_BUTTON, play->GetId());
    press.SetEventObject(play);
    play->GetEventHandler()->ProcessEvent(press);
    EXPECT_TRUE(WaitUntil([this] { return Pane().Media()->GetState() == wxMEDIASTATE_PAUSED; }, 5000));
    EXPECT_EQ(play->GetLabel(), "Play");
    // Home stops it and deletes the copy.
    const fs::path copy = Copy();
    dialog_->OnHome();
    EXPECT_EQ(Pane().CurrentView(), View::None);
    EXPECT_FALSE(fs::exists(copy));
}

TEST_F(PreviewWindow, VideoPlaysAboveOurControls) {
    BuildDatabase(1);
    ScanAndOpenTheList();
    Click("clip.avi");
    ASSERT_EQ(Pane().CurrentView(), View::Media);
    ASSERT_TRUE(WaitUntil([this] { return Pane().MediaLoaded() || Pane().CurrentView() != View::Media; }, 20000));
    ASSERT_EQ(Pane().CurrentView(), View::Media) << platform::ToUtf8(Pane().MessageText());
    // The player reports no size of its own: the video takes the frame above our controls, less 10 pixels at
    // the top and the bottom.
    const wxRect rect = Pane().Media()->GetRect();
    const wxSize frame = dialog_->FindWindow(kIdPreviewFrame)->GetClientSize();
    const wxSize controls = Pane().ViewWindow()->GetChildren().back()->GetSize();
    EXPECT_EQ(rect, wxRect(0, 10, frame.GetWidth(), frame.GetHeight() - controls.GetHeight() - 20));
    EXPECT_TRUE(WaitUntil([this] { return Pane().Media()->Tell() > 0; }, 5000));
    EXPECT_FALSE(SaveScreenshot(*dialog_, "preview_video").empty());
}

TEST_F(PreviewWindow, TemporaryCopiesGoAtHomeBackANewScanAndExit) {
    BuildDatabase(1);
    struct Step {
        const char* what;
        std::function<void()> act;
    };
    const Step steps[] = {
        {"Home", [this] { dialog_->OnHome(); }},
        {"Back", [this] { dialog_->OnBack(); }},
        {"a new scan", [this] {
             dialog_->OnScanFile();
             WaitUntil([] { return App().m_bJobIdle.load() && App().m_pRecoverThread.load() == nullptr; }, 30000);
         }},
        {"Exit", [this] {
             WhenModalOpens<ui::CMyExitStopDialog>([](ui::CMyExitStopDialog& d) { d.EndWith(kIdOk); });
             dialog_->OnExit();
         }},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.what);
        ResetJobState(App());
        dialog_->OnHome();
        ScanAndOpenTheList();
        Click("notes.txt");
        const fs::path copy = Copy();
        ASSERT_TRUE(fs::exists(copy / "preview.txt"));
        step.act();
        EXPECT_FALSE(fs::exists(copy));
        EXPECT_EQ(Pane().CurrentView(), View::None);
    }
    // The private folder itself goes with the window.
    const fs::path folder = Pane().Folder().Path();
    ASSERT_TRUE(fs::exists(folder));
    delete dialog_;
    dialog_ = nullptr;
    EXPECT_FALSE(fs::exists(folder));
    dialog_ = new ui::CBrindlemoorDlg(App());
}

TEST_F(PreviewWindow, APreviewAfterADocumentSaveDeletesNothingInTheOutputFolder) {
    BuildDatabase(1);
    ScanAndOpenTheList();
    const fs::path out = dir_ / "out";
    fs::create_directory(out);
    App().m_prompts.choose_folder = [out](const std::u16string&) { return platform::FromUtf8(out.string()); };
    WhenModalOpens<ui::CMyMessageDialog>([](ui::CMyMessageDialog& d) { d.EndWith(kIdOk); }, 30000);
    dialog_->OnRepair();
    ASSERT_TRUE(WaitUntil([] { return App().m_bJobIdle.load() && App().m_pRecoverThread.load() == nullptr; }, 30000));
    Pump(100);
    const auto listing = [&out] {
        std::vector<std::string> files;
        for (const auto& entry : fs::recursive_directory_iterator(out)) {
            if (entry.is_regular_file()) files.push_back(entry.path().filename().string() + "\t" + testsupport::Sha256OfFile(entry.path()));
        }
        std::sort(files.begin(), files.end());
        return files;
    };
    const std::vector<std::string> saved = listing();
    ASSERT_EQ(saved.size(), manifest_.size());

    OpenTheList();
    for (const char* name : {"notes.txt", "picture.png", "data.xyz", "notes.txt"}) Click(name);
    dialog_->OnHome();
    EXPECT_EQ(listing(), saved);
}

TEST_F(PreviewWindow, AFailedDeleteIsLoggedAndTheClickGoesOn) {
    BuildDatabase(1);
    ScanAndOpenTheList();
    Pane().remove = [](const fs::path&) { return std::make_error_code(std::errc::permission_denied); };
    Click("notes.txt");
    const fs::path kept = Copy();
    Click("picture.png");
    EXPECT_EQ(Pane().CurrentView(), View::Picture);
    EXPECT_NE(App().m_strLogLine.find(u"could not be deleted: " + platform::FromUtf8(kept.string())), std::u16string::npos)
        << platform::ToUtf8(App().m_strLogLine);
    Pane().remove = nullptr;
}

}  // namespace
