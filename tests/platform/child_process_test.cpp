// Helper programs for the preview: the child-process runner (argument array, environment, stdin, inherited
// descriptors, time limit and cancel reaching the whole process group), the program lookup, the private
// folder, and the PDF and Office conversions run against fake converters that record what they were given.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <thread>

#include "app/preview_conversion.h"
#include "platform/child_process.h"
#include "platform/private_folder.h"
#include "platform/text.h"
#include "tests/support/page_builder.h"

namespace {

namespace fs = std::filesystem;

std::string ReadText(const fs::path& file) {
    std::ifstream in(file);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

std::vector<std::string> Lines(const fs::path& file) {
    std::vector<std::string> lines;
    std::ifstream in(file);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

// Writes an executable shell script (the fake converters); the runner hands it to the kernel like any program.
fs::path Script(const fs::path& file, const std::string& body) {
    std::ofstream(file) << "#!/bin/sh\n" << body;
    fs::permissions(file, fs::perms::owner_all);
    return file;
}

int Mode(const fs::path& path) {
    struct stat info {};
    stat(path.c_str(), &info);
    return static_cast<int>(info.st_mode & 07777);
}

// True when no running process has this pid (a zombie waiting for a parent that never reaps counts as gone).
bool GoneNow(pid_t pid) {
    const std::string stat = ReadText("/proc/" + std::to_string(pid) + "/stat");
    if (stat.empty()) return true;
    const auto close = stat.rfind(')');
    return close != std::string::npos && close + 2 < stat.size() && stat[close + 2] == 'Z';
}
// A killed process may take a moment to go; waits for it up to a generous bound.
bool Gone(pid_t pid) {
    for (int i = 0; i < 1000 && !GoneNow(pid); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    return GoneNow(pid);
}

platform::ChildRun MakeRun(const fs::path& program, const fs::path& folder, std::vector<std::string> extra = {}) {
    platform::ChildRun run;
    run.arguments = {program.string()};
    run.arguments.insert(run.arguments.end(), extra.begin(), extra.end());
    run.working_folder = folder.string();
    run.environment = {"HOME=" + (folder / "home").string(), "PATH=/usr/bin:/bin"};
    return run;
}

TEST(ChildProcess, ArgumentsEnvironmentAndDescriptorsAreOnlyWhatWeGive) {
    testsupport::TempDir dir;
    fs::create_directory(dir / "home");
    // A descriptor of ours without close-on-exec: the child must not get it.
    const int leaked = open((dir / "secret").c_str(), O_WRONLY | O_CREAT, 0600);
    ASSERT_GE(leaked, 3);
    const fs::path record = dir / "record";
    const fs::path program = Script(dir / "tool",
                                    "for a in \"$@\"; do printf 'arg:%s\\n' \"$a\"; done > '" + record.string() + "'\n"
                                    "printf 'home:%s\\npwd:%s\\nstdin:%s\\n' \"$HOME\" \"$(pwd)\" \"$(readlink /proc/$$/fd/0)\" >> '" +
                                        record.string() + "'\n"
                                    "if [ -e /proc/$$/fd/" + std::to_string(leaked) + " ]; then echo fd:open; else echo fd:closed; fi >> '" +
                                        record.string() + "'\n"
                                    "printf 'secret:%s\\n' \"${BRINDLEMOOR_SECRET-unset}\" >> '" + record.string() + "'\n"
                                    "echo to-the-log; exit 3\n");
    setenv("BRINDLEMOOR_SECRET", "leaked", 1);
    platform::ChildRun run = MakeRun(program, dir.Path(), {"two words", "$(touch pwned); rm -rf x", "-", ""});
    run.output_file = (dir / "log").string();
    const platform::ChildResult result = platform::RunChild(run);
    unsetenv("BRINDLEMOOR_SECRET");
    close(leaked);

    EXPECT_EQ(result.end, platform::ChildEnd::Exited);
    EXPECT_EQ(result.exit_code, 3);
    EXPECT_FALSE(result.Succeeded());
    EXPECT_EQ(Lines(record), (std::vector<std::string>{"arg:two words", "arg:$(touch pwned); rm -rf x", "arg:-", "arg:",
                                                       "home:" + (dir / "home").string(), "pwd:" + dir.Path().string(),
                                                       "stdin:/dev/null", "fd:closed", "secret:unset"}));
    EXPECT_FALSE(fs::exists(dir / "pwned"));
    EXPECT_EQ(ReadText(dir / "log"), "to-the-log\n");
    EXPECT_EQ(Mode(dir / "log"), 0600);
}

TEST(ChildProcess, TheTimeLimitAndCancelEndTheWholeProcessGroup) {
    testsupport::TempDir dir;
    fs::create_directory(dir / "home");
    // It starts a helper of its own, notes both pids, then waits for ever.
    const fs::path program = Script(dir / "hang",
                                    "sleep 600 &\n"
                                    "echo $! > '" + (dir / "helper.pid").string() + "'\n"
                                    "echo $$ > '" + (dir / "started").string() + "'\n"
                                    "wait\n");
    const auto helper_pid = [&] { return static_cast<pid_t>(std::stol(ReadText(dir / "helper.pid"))); };
    {
        platform::ChildRun run = MakeRun(program, dir.Path());
        run.time_limit = std::chrono::milliseconds(300);
        const platform::ChildResult result = platform::RunChild(run);
        EXPECT_EQ(result.end, platform::ChildEnd::TimedOut);
        ASSERT_TRUE(fs::exists(dir / "helper.pid"));
        EXPECT_TRUE(Gone(helper_pid()));
        EXPECT_TRUE(Gone(static_cast<pid_t>(std::stol(ReadText(dir / "started")))));
    }
    fs::remove(dir / "started");
    fs::remove(dir / "helper.pid");
    {
        std::atomic<bool> cancel{false};
        std::thread canceller([&] {
            while (!fs::exists(dir / "started") || ReadText(dir / "started").empty()) {
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            }
            cancel = true;
        });
        platform::ChildRun run = MakeRun(program, dir.Path());
        run.time_limit = std::chrono::minutes(10);
        const platform::ChildResult result = platform::RunChild(run, &cancel);
        canceller.join();
        EXPECT_EQ(result.end, platform::ChildEnd::Cancelled);
        EXPECT_TRUE(Gone(helper_pid()));
    }
}

TEST(ChildProcess, ProgramsThatCannotStart) {
    testsupport::TempDir dir;
    std::ofstream(dir / "plain") << "not executable";
    struct Case {
        const char* what;
        std::string program;
        std::string folder;
    };
    const Case cases[] = {
        {"a relative program path", "tool", dir.Path().string()},
        {"a missing program", (dir / "missing").string(), dir.Path().string()},
        {"a file that is not executable", (dir / "plain").string(), dir.Path().string()},
        {"a relative working folder", "/bin/true", "here"},
        {"a missing working folder", "/bin/true", (dir / "nowhere").string()},
    };
    for (const Case& c : cases) {
        platform::ChildRun run;
        run.arguments = {c.program};
        run.working_folder = c.folder;
        const platform::ChildResult result = platform::RunChild(run);
        EXPECT_EQ(result.end, platform::ChildEnd::NotStarted) << c.what;
        EXPECT_FALSE(result.error.empty()) << c.what;
    }
}

TEST(ChildProcess, FindProgramLooksOnlyInAbsoluteFolders) {
    testsupport::TempDir dir;
    fs::create_directories(dir / "bin");
    Script(dir / "bin" / "tool", "exit 0\n");
    std::ofstream(dir / "bin" / "plain") << "x";
    const std::string absolute = (dir / "bin").string();
    EXPECT_EQ(platform::FindProgram("tool", "relative:" + absolute), absolute + "/tool");
    EXPECT_EQ(platform::FindProgram("tool", "/nowhere::" + absolute + "/"), absolute + "/tool");
    EXPECT_EQ(platform::FindProgram("plain", absolute), "");
    EXPECT_EQ(platform::FindProgram("bin/tool", dir.Path().string()), "");
    EXPECT_EQ(platform::FindProgram("tool", ""), "");
    // A relative folder is never searched, even when it holds the program.
    ASSERT_EQ(chdir(dir.Path().c_str()), 0);
    EXPECT_EQ(platform::FindProgram("tool", "bin"), "");
    ASSERT_EQ(chdir("/"), 0);
}

TEST(PrivateFolder, OwnerOnlyAndDeletesOnlyInside) {
    testsupport::TempDir dir;
    fs::path made;
    {
        platform::PrivateFolder folder("preview-", dir.Path());
        made = folder.Path();
        ASSERT_FALSE(made.empty()) << folder.Error();
        EXPECT_EQ(made.parent_path(), dir.Path());
        EXPECT_EQ(made.filename().string().rfind("preview-", 0), 0u);
        EXPECT_EQ(Mode(made), 0700);
        const fs::path sub = folder.NewSubFolder();
        const fs::path sub2 = folder.NewSubFolder();
        EXPECT_NE(sub, sub2);
        EXPECT_EQ(Mode(sub), 0700);
        std::ofstream(sub / "file") << "x";
        EXPECT_FALSE(platform::PrivateFolder::MakeOwnerOnly(sub / "file"));
        EXPECT_EQ(Mode(sub / "file"), 0600);

        // A sibling whose name starts like the folder's, and a file outside it.
        fs::create_directory(made.string() + "x");
        std::ofstream(dir / "saved.doc") << "the user's";
        const std::pair<fs::path, bool> contains[] = {
            {sub / "file", true},           {sub, true},
            {made, false},                  {made / ".." / "saved.doc", false},
            {sub / ".." / ".." / "saved.doc", false}, {made.string() + "x", false},
            {dir / "saved.doc", false},     {fs::path(), false},
        };
        for (const auto& [path, inside] : contains) EXPECT_EQ(folder.Contains(path), inside) << path;
        EXPECT_TRUE(folder.Remove(dir / "saved.doc"));
        EXPECT_TRUE(folder.Remove(made / ".." / "saved.doc"));
        EXPECT_TRUE(fs::exists(dir / "saved.doc"));
        EXPECT_FALSE(folder.Remove(sub / "file"));
        EXPECT_FALSE(fs::exists(sub / "file"));
        EXPECT_FALSE(folder.Remove(sub / "never-made"));
    }
    EXPECT_FALSE(fs::exists(made));
    EXPECT_TRUE(fs::exists(dir / "saved.doc"));
}

TEST(PrivateFolder, AFolderThatCannotBeMadeSaysWhy) {
    platform::PrivateFolder folder("preview-", "/nonexistent/base");
    EXPECT_TRUE(folder.Path().empty());
    EXPECT_FALSE(folder.Error().empty());
    EXPECT_TRUE(folder.NewSubFolder().empty());
    EXPECT_FALSE(folder.Contains("/nonexistent/base/preview-x/file"));
}

// Fake converters that write their arguments, one a line, to a record file and make the output a real one
// would make (or not, or hang).
class Conversion : public testing::Test {
protected:
    void SetUp() override {
        work_ = dir_ / "work";
        fs::create_directory(work_);
        input_ = work_ / "preview.docx";
        std::ofstream(input_) << "document";
    }
    fs::path Fake(const std::string& name, const std::string& then) {
        return Script(dir_ / name, "for a in \"$@\"; do printf '%s\\n' \"$a\"; done > '" + (dir_ / (name + ".args")).string() +
                                       "'\nprintf '%s\\n' \"$HOME\" > '" + (dir_ / (name + ".home")).string() + "'\n" + then);
    }
    app::ConversionRequest Request(app::PreviewViewer viewer, const fs::path& input) const {
        app::ConversionRequest request;
        request.viewer = viewer;
        request.input = input;
        request.work_folder = work_;
        request.tools = tools_;
        return request;
    }

    testsupport::TempDir dir_;
    fs::path work_;
    fs::path input_;
    app::PreviewTools tools_;
};

// pdftoppm: the last argument is the output root; -singlefile -png gives root.png.
constexpr const char* kMakesPng = "for last; do :; done\nprintf 'png' > \"$last.png\"\n";
// soffice: "--outdir DIR FILE" gives DIR/<FILE's stem>.pdf.
constexpr const char* kMakesPdf =
    "while [ $# -gt 1 ]; do if [ \"$1\" = --outdir ]; then out=$2; fi; shift; done\n"
    "base=$(basename \"$1\"); printf 'pdf' > \"$out/${base%.*}.pdf\"\n";

TEST_F(Conversion, OfficeThenPdfWithFixedNamesAndAbsolutePaths) {
    tools_.office_to_pdf = Fake("soffice", kMakesPdf).string();
    tools_.pdf_to_picture = Fake("pdftoppm", kMakesPng).string();
    const app::ConversionResult result = app::ConvertForPreview(Request(app::PreviewViewer::Word, input_), nullptr);
    ASSERT_TRUE(result.ok) << platform::ToUtf8(result.message);
    EXPECT_EQ(result.picture, work_ / "page.png");
    EXPECT_EQ(ReadText(result.picture), "png");
    const std::string office_home = "file://" + (work_ / "home" / "office").string();
    EXPECT_EQ(Lines(dir_ / "soffice.args"),
              (std::vector<std::string>{"--headless", "--invisible", "--nologo", "--norestore", "--nodefault",
                                        "--nolockcheck", "-env:UserInstallation=" + office_home, "--convert-to", "pdf",
                                        "--outdir", (work_ / "pdf").string(), input_.string()}));
    EXPECT_EQ(Lines(dir_ / "pdftoppm.args"),
              (std::vector<std::string>{"-f", "1", "-l", "1", "-singlefile", "-png", "-scale-to", "1024",
                                        (work_ / "pdf" / "preview.pdf").string(), (work_ / "page").string()}));
    EXPECT_EQ(ReadText(dir_ / "soffice.home"), (work_ / "home").string() + "\n");
    EXPECT_EQ(Mode(work_ / "home"), 0700);
}

TEST_F(Conversion, PdfGoesStraightToThePicture) {
    tools_.pdf_to_picture = Fake("pdftoppm", kMakesPng).string();
    const fs::path pdf = work_ / "preview.pdf";
    std::ofstream(pdf) << "%PDF";
    const app::ConversionResult result = app::ConvertForPreview(Request(app::PreviewViewer::Pdf, pdf), nullptr);
    ASSERT_TRUE(result.ok);
    EXPECT_EQ(Lines(dir_ / "pdftoppm.args").at(8), pdf.string());
    EXPECT_FALSE(fs::exists(dir_ / "soffice.args"));
}

TEST_F(Conversion, FailuresGiveAMessage) {
    struct Case {
        const char* what;
        std::string office_then;
        std::string pdf_then;
        platform::ChildEnd end;
    };
    const Case cases[] = {
        {"the office converter fails", "exit 1\n", kMakesPng, platform::ChildEnd::Exited},
        {"the office converter makes nothing", "exit 0\n", kMakesPng, platform::ChildEnd::Exited},
        {"the office converter hangs", "exec sleep 600\n", kMakesPng, platform::ChildEnd::TimedOut},
        {"the PDF converter crashes", kMakesPdf, "kill -KILL $$\n", platform::ChildEnd::Signalled},
        {"the PDF converter hangs", kMakesPdf, "while :; do sleep 1; done\n", platform::ChildEnd::TimedOut},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove_all(work_ / "pdf");
        tools_.office_to_pdf = Fake("soffice", c.office_then).string();
        tools_.pdf_to_picture = Fake("pdftoppm", c.pdf_then).string();
        app::ConversionRequest request = Request(app::PreviewViewer::Excel, input_);
        request.office_time_limit = request.pdf_time_limit = std::chrono::milliseconds(300);
        const app::ConversionResult result = app::ConvertForPreview(request, nullptr);
        EXPECT_FALSE(result.ok);
        EXPECT_EQ(result.end, c.end);
        EXPECT_FALSE(result.message.empty());
        EXPECT_FALSE(fs::exists(work_ / "page.png"));
    }
    tools_.pdf_to_picture = (dir_ / "not-installed").string();
    const app::ConversionResult missing = app::ConvertForPreview(Request(app::PreviewViewer::Pdf, input_), nullptr);
    EXPECT_EQ(missing.end, platform::ChildEnd::NotStarted);
    EXPECT_FALSE(missing.message.empty());
}

TEST_F(Conversion, ACancelledConversionEndsWithoutAMessage) {
    tools_.pdf_to_picture = Fake("pdftoppm", "touch '" + (dir_ / "started").string() + "'\nexec sleep 600\n").string();
    std::atomic<bool> cancel{false};
    std::thread canceller([&] {
        while (!fs::exists(dir_ / "started")) std::this_thread::sleep_for(std::chrono::milliseconds(5));
        cancel = true;
    });
    const app::ConversionResult result = app::ConvertForPreview(Request(app::PreviewViewer::Pdf, input_), &cancel);
    canceller.join();
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.end, platform::ChildEnd::Cancelled);
    EXPECT_TRUE(result.message.empty());
}

}  // namespace
