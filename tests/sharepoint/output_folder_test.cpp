// The folders a save keeps open: at most the bound stay open and all close with the output folder, a folder
// let go is reached again name by name (a symbolic link put in its place meanwhile is refused), and a file
// being written keeps its folder even when that folder is let go before the file is named. A file is named
// only when whole, never over a name that is taken, and only while its folder lies below the output folder,
// whether it was written unnamed or (on a file system without unnamed files) under a temporary name.
#include <gtest/gtest.h>

#include <filesystem>
#include <cerrno>
#include <fstream>
#include <functional>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "platform/text.h"
#include "sharepoint/output_folder.h"
#include "sharepoint/output_names.h"
#include "tests/sharepoint/link_stand_in.h"
#include "tests/support/page_builder.h"

namespace {

namespace fs = std::filesystem;

std::size_t OpenDescriptors() {
    std::size_t n = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator("/proc/self/fd")) ++n;
    return n;
}

std::u16string U(const fs::path& path) { return platform::FromUtf8(path.string()); }

constexpr std::size_t kMany = sharepoint::OutputFolder::kMaxHeldFolders + 6;

std::u16string Folder(const fs::path& out, std::size_t n) { return U(out / "site" / ("f" + std::to_string(n))); }

TEST(OutputFolderHandles, AtMostTheBoundStayOpenAndAllCloseWithTheOutputFolder) {
    testsupport::TempDir dir;
    const fs::path out = dir / "out";
    fs::create_directories(out);
    const std::size_t before = OpenDescriptors();
    {
        sharepoint::OutputFolder folder;
        ASSERT_TRUE(folder.Open(U(out)));
        for (std::size_t n = 0; n < kMany; ++n) {
            std::string why;
            ASSERT_TRUE(folder.MakeFolder(Folder(out, n), &why)) << why;
            sharepoint::PendingFile file = folder.CreateFile(Folder(out, n), u"a.txt");
            ASSERT_TRUE(file.Write("x", 1));
            ASSERT_TRUE(file.Commit()) << file.Error();
            // The same folder again, by the same text and by another spelling of it.
            ASSERT_TRUE(folder.MakeFolder(Folder(out, n) + u"/", &why)) << why;
            EXPECT_LE(folder.HeldFolderCount(), sharepoint::OutputFolder::kMaxHeldFolders);
            // The output folder, its watch and the held folders.
            EXPECT_LE(OpenDescriptors(), before + 2 + sharepoint::OutputFolder::kMaxHeldFolders);
        }
        EXPECT_EQ(folder.HeldFolderCount(), sharepoint::OutputFolder::kMaxHeldFolders);
    }
    EXPECT_EQ(OpenDescriptors(), before);
    for (std::size_t n = 0; n < kMany; ++n) {
        EXPECT_TRUE(fs::is_regular_file(out / "site" / ("f" + std::to_string(n)) / "a.txt")) << n;
    }
}

TEST(OutputFolderHandles, AFolderLetGoIsReachedAgainAndALinkInItsPlaceIsRefused) {
    testsupport::TempDir dir;
    const fs::path out = dir / "out";
    const fs::path outside = dir / "outside";
    fs::create_directories(out);
    fs::create_directories(outside);
    sharepoint::OutputFolder folder;
    ASSERT_TRUE(folder.Open(U(out)));
    for (std::size_t n = 0; n < kMany; ++n) ASSERT_TRUE(folder.MakeFolder(Folder(out, n)));
    // f0 was used first and is let go by now (the site folder, used by every call, is held); f0 becomes a link
    // out of the output folder.
    fs::remove(out / "site" / "f0");
    fs::create_directory_symlink(outside, out / "site" / "f0");
    sharepoint::PendingFile file = folder.CreateFile(Folder(out, 0), u"a.txt");
    EXPECT_FALSE(file.IsOpen());
    EXPECT_EQ(file.Error(), "a symbolic link stands where a folder is expected");
    std::string why;
    EXPECT_FALSE(folder.MakeFolder(Folder(out, 0), &why));
    EXPECT_EQ(why, "a symbolic link stands where a folder is expected");
    EXPECT_TRUE(fs::is_empty(outside));
    // A folder still held is used as it is.
    sharepoint::PendingFile held = folder.CreateFile(Folder(out, kMany - 1), u"b.txt");
    ASSERT_TRUE(held.Write("y", 1));
    ASSERT_TRUE(held.Commit()) << held.Error();
    EXPECT_TRUE(fs::is_regular_file(out / "site" / ("f" + std::to_string(kMany - 1)) / "b.txt"));
}

TEST(OutputFolderHandles, AFileKeepsItsFolderWhenTheFolderIsLetGoBeforeItIsNamed) {
    testsupport::TempDir dir;
    const fs::path out = dir / "out";
    fs::create_directories(out);
    sharepoint::OutputFolder folder;
    ASSERT_TRUE(folder.Open(U(out)));
    ASSERT_TRUE(folder.MakeFolder(Folder(out, 0)));
    sharepoint::PendingFile file = folder.CreateFile(Folder(out, 0), u"a.txt");
    ASSERT_TRUE(file.IsOpen()) << file.Error();
    ASSERT_TRUE(file.Write("whole", 5));
    for (std::size_t n = 1; n < kMany; ++n) ASSERT_TRUE(folder.MakeFolder(Folder(out, n)));
    ASSERT_TRUE(file.Commit()) << file.Error();
    std::ifstream in(out / "site" / "f0" / "a.txt");
    std::string text;
    std::getline(in, text);
    EXPECT_EQ(text, "whole");
    EXPECT_EQ(std::distance(fs::directory_iterator(out / "site" / "f0"), fs::directory_iterator{}), 1);
}

// How files are started: unnamed where the file system allows it, or under a temporary name where it does
// not (forced here by an open of unnamed files that fails as such a file system's does).
enum class Start { Unnamed, TemporaryName };

class StartAs {
public:
    explicit StartAs(Start start) : saved_(sharepoint::OutputFolder::open_unnamed_file) {
        if (start == Start::TemporaryName) {
            sharepoint::OutputFolder::open_unnamed_file = [](int) {
                errno = EOPNOTSUPP;
                return -1;
            };
        }
    }
    ~StartAs() { sharepoint::OutputFolder::open_unnamed_file = saved_; }
    StartAs(const StartAs&) = delete;
    StartAs& operator=(const StartAs&) = delete;

private:
    sharepoint::OutputFolder::OpenUnnamedCall saved_;
};

std::string Contents(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// name -> contents ("<folder>", "<link>") of the entries of folder.
std::map<std::string, std::string> Entries(const fs::path& folder) {
    std::map<std::string, std::string> entries;
    for (const auto& entry : fs::directory_iterator(folder)) {
        const std::string name = entry.path().filename().string();
        if (entry.is_symlink()) entries[name] = "<link>";
        else if (entry.is_directory()) entries[name] = "<folder>";
        else entries[name] = Contents(entry.path());
    }
    return entries;
}

TEST(OutputFolderNaming, AFileIsNamedWholeNeverOverATakenNameAndOnlyBelowTheOutputFolder) {
    const std::string numbered = platform::ToUtf8(sharepoint::NumberedName(u"a.txt", 1));
    struct Case {
        const char* what;
        // Run before the file is started (out, outside).
        std::function<void(const fs::path&, const fs::path&)> before;
        // Run while the file is written, before Commit.
        std::function<void(const fs::path&, const fs::path&)> during;
        bool committed;
        std::string error;
        std::map<std::string, std::string> in_folder;  // the entries of the file's folder after the commit
        std::map<std::string, std::string> in_outside;
        std::string folder_now = "docs";  // where the file's folder is then, below the output folder
    };
    const std::vector<Case> cases = {
        {"a free name", {}, {}, true, "", {{"a.txt", "whole"}}, {}},
        {"the name taken by a file",
         [](const fs::path& out, const fs::path&) { std::ofstream(out / "docs" / "a.txt") << "older"; }, {}, true, "",
         {{"a.txt", "older"}, {numbered, "whole"}}, {}},
        {"the name taken by a folder", [](const fs::path& out, const fs::path&) { fs::create_directory(out / "docs" / "a.txt"); },
         {}, true, "", {{"a.txt", "<folder>"}, {numbered, "whole"}}, {}},
        {"the name taken by a link out of the output folder",
         [](const fs::path& out, const fs::path& outside) {
             std::ofstream(outside / "target.txt") << "theirs";
             fs::create_symlink(outside / "target.txt", out / "docs" / "a.txt");
         },
         {}, true, "", {{"a.txt", "<link>"}, {numbered, "whole"}}, {{"target.txt", "theirs"}}},
        {"the name taken while the file is written", {},
         [](const fs::path& out, const fs::path&) { std::ofstream(out / "docs" / "a.txt") << "theirs"; }, true, "",
         {{"a.txt", "theirs"}, {numbered, "whole"}}, {}},
        {"its folder moved out of the output folder", {},
         [](const fs::path& out, const fs::path& outside) { fs::rename(out / "docs", outside / "docs"); }, false,
         "its folder was moved out of the output folder", {}, {{"docs", "<folder>"}}, "../outside/docs"},
        {"its folder moved beside the output folder, under a name that begins with its name", {},
         [](const fs::path& out, const fs::path&) { fs::rename(out / "docs", fs::path(out.string() + "-moved")); },
         false, "its folder was moved out of the output folder", {}, {}, "../out-moved"},
        {"its folder removed", {}, [](const fs::path& out, const fs::path&) { fs::remove_all(out / "docs"); }, false,
         std::strerror(ENOENT), {}, {}, "."},
        {"its folder moved within the output folder", {},
         [](const fs::path& out, const fs::path&) {
             fs::create_directory(out / "elsewhere");
             fs::rename(out / "docs", out / "elsewhere" / "docs");
         },
         true, "", {{"a.txt", "whole"}}, {}, "elsewhere/docs"},
    };
    for (const Start start : {Start::Unnamed, Start::TemporaryName}) {
        const StartAs start_as(start);
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(c.what) + (start == Start::Unnamed ? ", unnamed" : ", temporary name"));
            testsupport::TempDir dir;
            const fs::path out = dir / "out";
            const fs::path outside = dir / "outside";
            fs::create_directories(out / "docs");
            fs::create_directories(outside);
            if (c.before) c.before(out, outside);
            const auto before = Entries(out / "docs");
            sharepoint::OutputFolder folder;
            ASSERT_TRUE(folder.Open(U(out)));
            sharepoint::PendingFile file = folder.CreateFile(U(out / "docs"), u"a.txt");
            ASSERT_TRUE(file.IsOpen()) << file.Error();
            ASSERT_TRUE(file.Write("whole", 5));
            ASSERT_TRUE(file.Stream() && std::fflush(file.Stream()) == 0);
            // An unnamed file shows nowhere while it is written; a temporary name is the only other entry.
            EXPECT_EQ(Entries(out / "docs").size(), before.size() + (start == Start::Unnamed ? 0 : 1));
            if (c.during) c.during(out, outside);
            EXPECT_EQ(file.Commit(), c.committed) << file.Error();
            EXPECT_EQ(file.Error(), c.error);
            EXPECT_EQ(Entries(out / c.folder_now), c.in_folder);
            EXPECT_EQ(Entries(outside), c.in_outside);
        }
    }
}

// A move of a folder between the output folder and the file's folder, or of a folder above the output folder,
// moves the file's folder too: it is caught as a move of the folder itself is.
TEST(OutputFolderNaming, AMoveOfAFolderAboveTheFilesFolderIsCaught) {
    struct Case {
        const char* what;
        std::function<void(const fs::path& top)> during;  // top holds above/out and outside
        bool committed;
        std::string error;
        fs::path file_now;  // below top
    };
    const Case cases[] = {
        {"the folder above its folder moved out of the output folder",
         [](const fs::path& top) { fs::rename(top / "above" / "out" / "site", top / "outside" / "site"); }, false,
         "its folder was moved out of the output folder", {}},
        {"the folder above its folder moved within the output folder",
         [](const fs::path& top) {
             fs::create_directory(top / "above" / "out" / "elsewhere");
             fs::rename(top / "above" / "out" / "site", top / "above" / "out" / "elsewhere" / "site");
         },
         true, "", fs::path("above") / "out" / "elsewhere" / "site" / "docs" / "a.txt"},
        {"the folder above the output folder moved",
         [](const fs::path& top) { fs::rename(top / "above", top / "moved"); }, false, sharepoint::kOutputLostReason,
         {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        testsupport::TempDir dir;
        const fs::path top = dir.Path();
        const fs::path out = top / "above" / "out";
        fs::create_directories(out / "site" / "docs");
        fs::create_directories(top / "outside");
        sharepoint::OutputFolder folder;
        ASSERT_TRUE(folder.Open(U(out)));
        sharepoint::PendingFile file = folder.CreateFile(U(out / "site" / "docs"), u"a.txt");
        ASSERT_TRUE(file.Write("whole", 5));
        c.during(top);
        EXPECT_EQ(file.Commit(), c.committed) << file.Error();
        EXPECT_EQ(file.Error(), c.error);
        // The one file of the save, where its folder is now; none anywhere when it was not named.
        std::vector<fs::path> files;
        for (const auto& entry : fs::recursive_directory_iterator(top)) {
            if (entry.is_regular_file()) files.push_back(fs::relative(entry.path(), top));
        }
        EXPECT_EQ(files, c.committed ? std::vector<fs::path>{c.file_now} : std::vector<fs::path>{});
        if (c.committed) {
            EXPECT_EQ(Contents(top / c.file_now), "whole");
        }
    }
}

TEST(OutputFolderNaming, AFileThatFailsOrIsLeftLeavesNothing) {
    for (const Start start : {Start::Unnamed, Start::TemporaryName}) {
        const StartAs start_as(start);
        SCOPED_TRACE(start == Start::Unnamed ? "unnamed" : "temporary name");
        testsupport::TempDir dir;
        const fs::path out = dir / "out";
        fs::create_directories(out);
        sharepoint::OutputFolder folder;
        ASSERT_TRUE(folder.Open(U(out)));
        {
            sharepoint::PendingFile left = folder.CreateFile(U(out), u"left.txt");
            ASSERT_TRUE(left.Write("cut", 3));
        }
        sharepoint::PendingFile failed = folder.CreateFile(U(out), u"failed.txt");
        ASSERT_TRUE(failed.Write("cut", 3));
        failed.NoteWriteError(ENOSPC);
        EXPECT_FALSE(failed.Commit());
        EXPECT_EQ(failed.Error(), std::strerror(ENOSPC));
        sharepoint::PendingFile discarded = folder.CreateFile(U(out), u"discarded.txt");
        ASSERT_TRUE(discarded.Write("cut", 3));
        discarded.Discard();
        EXPECT_TRUE(fs::is_empty(out));
    }
}

// The log is saved over its older copy: a file or a link of its name is replaced (the link itself, not what it
// points to), a folder of its name is left alone.
TEST(OutputFolderNaming, ReplacingTakesTheNameOfAFileOrALinkButNotOfAFolder) {
    struct Case {
        const char* what;
        std::function<void(const fs::path&, const fs::path&)> before;
        bool committed;
        std::map<std::string, std::string> in_out;
    };
    const std::vector<Case> cases = {
        {"a free name", {}, true, {{"log.txt", "new"}}},
        {"an older file", [](const fs::path& out, const fs::path&) { std::ofstream(out / "log.txt") << "old"; }, true,
         {{"log.txt", "new"}}},
        {"a link out of the output folder",
         [](const fs::path& out, const fs::path& outside) {
             std::ofstream(outside / "theirs.txt") << "theirs";
             fs::create_symlink(outside / "theirs.txt", out / "log.txt");
         },
         true, {{"log.txt", "new"}}},
        {"a folder", [](const fs::path& out, const fs::path&) { fs::create_directory(out / "log.txt"); }, false,
         {{"log.txt", "<folder>"}}},
    };
    for (const Start start : {Start::Unnamed, Start::TemporaryName}) {
        const StartAs start_as(start);
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(c.what) + (start == Start::Unnamed ? ", unnamed" : ", temporary name"));
            testsupport::TempDir dir;
            const fs::path out = dir / "out";
            const fs::path outside = dir / "outside";
            fs::create_directories(out);
            fs::create_directories(outside);
            if (c.before) c.before(out, outside);
            sharepoint::OutputFolder folder;
            ASSERT_TRUE(folder.Open(U(out)));
            sharepoint::PendingFile file = folder.CreateFile(U(out), u"log.txt");
            ASSERT_TRUE(file.Write("new", 3));
            EXPECT_EQ(file.CommitReplacing(), c.committed) << file.Error();
            EXPECT_EQ(Entries(out), c.in_out);
            if (fs::exists(outside / "theirs.txt")) {
                EXPECT_EQ(Contents(outside / "theirs.txt"), "theirs");
            }
        }
    }
}

// Which way of naming an unnamed file works is found once, when the output folder is opened, by naming a file of
// its own: through the descriptor, else through /proc, else (neither works: no capability and no /proc) files
// get temporary names from the first one on, so that none is lost. Nothing of the probe is left.
TEST(OutputFolderNaming, TheWayOfNamingIsFoundOnceWhenTheFolderIsOpened) {
    struct Case {
        const char* what;
        bool by_descriptor;
        bool through_proc;
        sharepoint::UnnamedNaming naming;
        int descriptor_calls;  // for the probe and the files named by descriptor
        int proc_calls;
    };
    constexpr int kFiles = 5;
    const Case cases[] = {
        {"both ways work", true, true, sharepoint::UnnamedNaming::ByDescriptor, 1 + kFiles, 0},
        {"no capability to name by descriptor", false, true, sharepoint::UnnamedNaming::ThroughProc, 1, 1 + kFiles},
        {"no capability and no /proc", false, false, sharepoint::UnnamedNaming::None, 1, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const testsupport::LinkStandIn stand_in(c.by_descriptor, c.through_proc);
        testsupport::TempDir dir;
        const fs::path out = dir / "out";
        fs::create_directories(out);
        sharepoint::OutputFolder folder;
        ASSERT_TRUE(folder.Open(U(out)));
        EXPECT_EQ(folder.Naming(), c.naming);
        EXPECT_TRUE(fs::is_empty(out));
        std::map<std::string, std::string> expected;
        for (int k = 0; k < kFiles; ++k) {
            const std::string name = "d" + std::to_string(k) + ".txt";
            sharepoint::PendingFile file = folder.CreateFile(U(out), platform::FromUtf8(name));
            ASSERT_TRUE(file.Write(name.data(), name.size()));
            EXPECT_TRUE(file.Commit()) << file.Error();
            expected[name] = name;
        }
        EXPECT_EQ(Entries(out), expected);
        EXPECT_EQ(testsupport::LinkStandIn::DescriptorCalls(), c.descriptor_calls);
        EXPECT_EQ(testsupport::LinkStandIn::ProcCalls(), c.proc_calls);
    }
}

// The output folder itself deleted or moved while a save writes into it: a file finished afterwards is not
// named, a folder is not made, not even below a folder the save still holds, and the output folder says it is
// lost; nothing appears where the folder was, or where it went.
TEST(OutputFolderHandles, NothingIsMadeOrNamedOnceTheOutputFolderIsDeletedOrMoved) {
    struct Case {
        const char* what;
        std::function<void(const fs::path& out, const fs::path& moved)> act;
    };
    const Case cases[] = {
        {"deleted", [](const fs::path& out, const fs::path&) { fs::remove_all(out); }},
        {"moved", [](const fs::path& out, const fs::path& moved) { fs::rename(out, moved); }},
        {"moved, and a new folder made in its place", [](const fs::path& out, const fs::path& moved) {
             fs::rename(out, moved);
             fs::create_directories(out);
         }},
    };
    for (const Start start : {Start::Unnamed, Start::TemporaryName}) {
        const StartAs start_as(start);
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(c.what) + (start == Start::Unnamed ? ", unnamed" : ", temporary name"));
            testsupport::TempDir dir;
            const fs::path out = dir / "out";
            const fs::path moved = dir / "moved";
            fs::create_directories(out);
            sharepoint::OutputFolder folder;
            ASSERT_TRUE(folder.Open(U(out)));
            ASSERT_TRUE(folder.MakeFolder(U(out / "site" / "held")));
            sharepoint::PendingFile file = folder.CreateFile(U(out / "site" / "held"), u"a.txt");
            ASSERT_TRUE(file.Write("whole", 5));
            c.act(out, moved);
            EXPECT_FALSE(file.Commit());
            EXPECT_EQ(file.Error(), sharepoint::kOutputLostReason);
            EXPECT_TRUE(folder.Lost());
            std::string why;
            EXPECT_FALSE(folder.MakeFolder(U(out / "site" / "held" / "below"), &why));
            EXPECT_EQ(why, sharepoint::kOutputLostReason);
            EXPECT_FALSE(folder.MakeFolder(U(out / "other"), &why));
            EXPECT_EQ(folder.MakeNewFolder(U(out), u"substitute", &why), u"");
            EXPECT_EQ(why, sharepoint::kOutputLostReason);
            EXPECT_FALSE(folder.MakeFolder(U(out), &why));
            sharepoint::PendingFile later = folder.CreateFile(U(out / "site" / "held"), u"b.txt");
            EXPECT_FALSE(later.IsOpen());
            EXPECT_EQ(later.Error(), sharepoint::kOutputLostReason);
            EXPECT_TRUE(!fs::exists(out) || fs::is_empty(out));
            if (fs::exists(moved)) {
                EXPECT_EQ(Entries(moved / "site"), (std::map<std::string, std::string>{{"held", "<folder>"}}));
                EXPECT_TRUE(fs::is_empty(moved / "site" / "held"));
            }
        }
    }
}

}  // namespace
