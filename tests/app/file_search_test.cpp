// The data-file search on a temporary tree: hidden files and folders, upper-case names, a symbolic link loop,
// an unreadable folder, a stop during the walk; and the file page's small rules (roots, trimming, sizes, the
// typed sort of the result columns).
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <set>

#include "app/app_fields.h"
#include "app/file_search.h"
#include "app/list_sort.h"
#include "platform/shared_state.h"
#include "platform/text.h"
#include "tests/support/page_builder.h"

namespace {

namespace fs = std::filesystem;

void Touch(const fs::path& path, std::uintmax_t size = 3000) {
    fs::create_directories(path.parent_path());
    std::ofstream(path) << "x";
    fs::resize_file(path, size);
}

// root/                b.mdf  .a.mdf (hidden, sorts first)  UPPER.MDF  notes.txt
// root/sub/            x.mdf  loop -> .. (a link back up)
// root/.hidden/        h.mdf
// root/dir.mdf/        z.mdf  (a folder named like a data file)
// root/locked/         y.mdf  (no permissions)
class SearchTree : public ::testing::Test {
protected:
    void SetUp() override {
        root_ = dir_ / "root";
        Touch(root_ / ".a.mdf");
        Touch(root_ / "b.mdf", 5'000'000'000);  // sparse: 4882812 KB
        Touch(root_ / "UPPER.MDF");
        Touch(root_ / "notes.txt");
        Touch(root_ / "sub" / "x.mdf");
        fs::create_directory_symlink("..", root_ / "sub" / "loop");
        Touch(root_ / ".hidden" / "h.mdf");
        Touch(root_ / "dir.mdf" / "z.mdf");
        Touch(root_ / "locked" / "y.mdf");
        fs::permissions(root_ / "locked", fs::perms::none);
        // A privileged user reads the folder anyway; then its file is found like any other.
        locked_readable_ = access((root_ / "locked").c_str(), R_OK) == 0;
        sink_.on_send = [this](unsigned message, platform::WPARAM, platform::LPARAM) {
            if (message != platform::WM_FOUND_FILES) return;
            for (const auto& f : fields_.m_arrFoundFiles) listed_.push_back(f);
            fields_.m_arrFoundFiles.clear();
        };
    }
    void TearDown() override { fs::permissions(root_ / "locked", fs::perms::owner_all); }

    std::unique_ptr<app::FindThread> MakeSearch(bool subfolders) {
        fields_.m_bSearchSubfolders = subfolders;
        fields_.m_bSearchTopFolderOnly = !subfolders;
        state_.m_bStopSearch = false;
        auto search = std::make_unique<app::FindThread>(state_, fields_, sink_);
        search->m_strRoot = app::TrimSearchRoot(platform::FromUtf8(root_.string() + "//"));
        fields_.m_pFindThread = search.get();
        return search;
    }
    std::set<std::string> ListedPaths() const {
        std::set<std::string> paths;
        for (const auto& f : listed_) paths.insert(fs::relative(platform::ToUtf8(f.m_strPath), root_).string());
        return paths;
    }
    // The search's end: whole (0), or cut short by a stop (kSearchStopped).
    void ExpectSearchDone(platform::WPARAM how = 0) const {
        const auto messages = sink_.Messages();
        ASSERT_FALSE(messages.empty());
        EXPECT_EQ(messages.back(), (platform::RecordedMessage{platform::WM_SEARCH_DONE, how, 1, false}));
        EXPECT_EQ(sink_.Count(platform::WM_SEARCH_DONE), 1u);
        EXPECT_TRUE(state_.m_bStopSearch.load());
        EXPECT_EQ(fields_.m_pFindThread.load(), nullptr);
        EXPECT_TRUE(fields_.m_arrFoundFiles.empty());
    }

    testsupport::TempDir dir_;
    fs::path root_;
    bool locked_readable_ = false;
    platform::SharedState state_;
    app::AppFields fields_;
    platform::RecordingSink sink_;
    std::vector<app::fileProperty> listed_;
};

TEST_F(SearchTree, TheWalkListsVisibleDataFilesOfEveryFolderOnce) {
    auto search = MakeSearch(true);
    search->Start();
    search->Join();
    EXPECT_TRUE(search->HasEnded());
    ExpectSearchDone();

    std::set<std::string> expected = {"b.mdf", "UPPER.MDF", "sub/x.mdf", "dir.mdf/z.mdf"};
    if (locked_readable_) expected.insert("locked/y.mdf");
    EXPECT_EQ(ListedPaths(), expected);
    // Folders in pre-order, without the hidden one and without following the link back up.
    std::vector<std::string> folders;
    for (const auto& f : search->m_arrFolders) folders.push_back(platform::ToUtf8(f));
    std::vector<std::string> expected_folders = {root_.string(), (root_ / "dir.mdf").string(),
                                                 (root_ / "locked").string(), (root_ / "sub").string()};
    EXPECT_EQ(folders, expected_folders);
    EXPECT_EQ(listed_.size(), expected.size()) << "a file was handed over twice";
    // The walk starts with an empty hand-over and ends with the last one; any between are progress reports.
    std::vector<platform::RecordedMessage> found;
    for (const auto& m : sink_.Messages()) {
        if (m.message == platform::WM_FOUND_FILES) found.push_back(m);
    }
    ASSERT_GE(found.size(), 2u);
    EXPECT_EQ(found.front().wparam, 0u);
    EXPECT_EQ(found.front().lparam, -1);
    EXPECT_EQ(found.back().wparam, 1u);
    for (std::size_t i = 1; i + 1 < found.size(); ++i) EXPECT_EQ(found[i].wparam, app::kFoundFilesProgress);

    const auto big = std::find_if(listed_.begin(), listed_.end(),
                                  [](const app::fileProperty& f) { return f.m_strPath.ends_with(u"/b.mdf"); });
    ASSERT_NE(big, listed_.end());
    EXPECT_EQ(big->m_strSizeKb, u"4882812");
    EXPECT_TRUE(app::ParseDateTimeCell(big->m_strModified).has_value()) << platform::ToUtf8(big->m_strModified);
    EXPECT_TRUE(app::ParseDateTimeCell(big->m_strAccessed).has_value());
}

TEST_F(SearchTree, TheTopFolderSearchListsOnlyTheRootsFiles) {
    auto search = MakeSearch(false);
    search->Run();
    ExpectSearchDone();
    EXPECT_EQ(ListedPaths(), (std::set<std::string>{"b.mdf", "UPPER.MDF"}));
    EXPECT_EQ(sink_.Count(platform::WM_JOB_PROGRESS), 0u);
}

// Every folder reported (no wait between reports): each report names the folder the walk is entering, and
// hands over the files of the folders before it.
class SearchReports : public SearchTree {
protected:
    void SetUp() override {
        SearchTree::SetUp();
        app::FindThread::m_nReportIntervalMs = 0;
    }
    void TearDown() override {
        app::FindThread::m_nReportIntervalMs = 100;
        SearchTree::TearDown();
    }
};

TEST_F(SearchReports, EachFolderIsReportedWithTheFilesFoundBeforeIt) {
    struct Report {
        std::string folder;
        std::size_t listed_before;
    };
    std::vector<Report> reports;
    sink_.on_send = [&](unsigned message, platform::WPARAM wparam, platform::LPARAM) {
        if (message != platform::WM_FOUND_FILES) return;
        for (const auto& f : fields_.m_arrFoundFiles) listed_.push_back(f);
        fields_.m_arrFoundFiles.clear();
        if (wparam == app::kFoundFilesProgress) reports.push_back({platform::ToUtf8(fields_.m_strSearchFolder), listed_.size()});
    };
    auto search = MakeSearch(true);
    search->Run();
    ExpectSearchDone();
    std::vector<std::string> folders;
    for (const auto& r : reports) folders.push_back(r.folder);
    EXPECT_EQ(folders, (std::vector<std::string>{root_.string(), (root_ / "dir.mdf").string(),
                                                 (root_ / "locked").string(), (root_ / "sub").string()}));
    ASSERT_EQ(reports.size(), 4u);
    EXPECT_EQ(reports[0].listed_before, 0u);
    EXPECT_EQ(reports[1].listed_before, 2u) << "the root's two files reach the list before its first sub-folder";
    EXPECT_EQ(app::SearchStatusText(u"/srv/data", 12), u"Database found : 12    Searching : /srv/data");
    EXPECT_EQ(app::SearchStatusText(u"", 0), u"Database found : 0    Searching : /");
}

// A stop keeps what was found before it, hands it over and ends the search, which says that it was cut short:
// the list is partial.
TEST_F(SearchReports, AStopKeepsTheFilesFoundBeforeIt) {
    struct Case {
        const char* name;
        std::size_t stop_at_report;  // the progress report whose handling presses Stop (0: the start message)
        std::set<std::string> listed;
    };
    const Case cases[] = {
        {"before the walk starts", 0, {}},
        {"while in the root", 1, {}},
        {"entering the root's first sub-folder", 2, {"b.mdf", "UPPER.MDF"}},
        {"entering the last sub-folder", 4, {"b.mdf", "UPPER.MDF", "dir.mdf/z.mdf"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        sink_.Clear();
        listed_.clear();
        auto search = MakeSearch(true);
        std::size_t reports = 0;
        sink_.on_send = [&](unsigned message, platform::WPARAM wparam, platform::LPARAM lparam) {
            if (message != platform::WM_FOUND_FILES) return;
            for (const auto& f : fields_.m_arrFoundFiles) listed_.push_back(f);
            fields_.m_arrFoundFiles.clear();
            if (wparam == app::kFoundFilesProgress) ++reports;
            const bool start = wparam == 0 && lparam == -1;
            if ((start && c.stop_at_report == 0) || (wparam == app::kFoundFilesProgress && reports == c.stop_at_report)) {
                state_.m_bStopSearch = true;
            }
        };
        search->Run();
        ExpectSearchDone(app::kSearchStopped);
        std::set<std::string> expected = c.listed;
        // The locked folder comes before the last one; a privileged user finds its file.
        if (c.stop_at_report == 4 && locked_readable_) expected.insert("locked/y.mdf");
        EXPECT_EQ(ListedPaths(), expected);
        EXPECT_EQ(listed_.size(), expected.size());
    }
    EXPECT_EQ(app::SearchDoneText(312, false), u"Total Database in List is : 312");
    EXPECT_EQ(app::SearchDoneText(312, true), u"Total Database in List is : 312 (search stopped: partial)");
}

// Names that are not UTF-8 are found, kept as the system's bytes (they open again) and shown with U+FFFD.
TEST(SearchNames, NamesThatAreNotUtf8AreFoundAndOpenAgain) {
    struct Case {
        const char* name;
        std::string bytes;
        std::u16string shown;
    };
    const Case cases[] = {
        {"Latin-1 e acute", "caf\xE9.mdf", u"caf\uFFFD.mdf"},
        {"UTF-8 e acute", "caf\xC3\xA9.mdf", u"caf\u00E9.mdf"},
        {"a cut UTF-8 sequence", "x\xE2\x82.mdf", u"x\uFFFD\uFFFD.mdf"},
        {"bytes that are never UTF-8", "\xFF\xFE.mdf", u"\uFFFD\uFFFD.mdf"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        testsupport::TempDir dir;
        const std::string folder_bytes = dir.Path().string() + "/sub\xE9";
        ASSERT_EQ(mkdir(folder_bytes.c_str(), 0700), 0);
        const std::string file_bytes = folder_bytes + "/" + c.bytes;
        { std::ofstream(file_bytes) << "x"; }
        platform::SharedState state;
        app::AppFields fields;
        platform::RecordingSink sink;
        std::vector<app::fileProperty> listed;
        sink.on_send = [&](unsigned message, platform::WPARAM, platform::LPARAM) {
            if (message != platform::WM_FOUND_FILES) return;
            for (const auto& f : fields.m_arrFoundFiles) listed.push_back(f);
            fields.m_arrFoundFiles.clear();
        };
        fields.m_bSearchSubfolders = true;
        state.m_bStopSearch = false;
        app::FindThread search(state, fields, sink);
        search.m_strRoot = platform::FromUtf8(dir.Path().string());
        search.Run();
        ASSERT_EQ(listed.size(), 1u);
        EXPECT_EQ(platform::ToSystemName(listed[0].m_strPath), file_bytes) << "the path no longer names the file";
        struct stat info {};
        EXPECT_EQ(stat(platform::ToSystemName(listed[0].m_strPath).c_str(), &info), 0);
        EXPECT_EQ(platform::FromUtf8(platform::ToUtf8(listed[0].m_strPath)),
                  platform::FromUtf8(dir.Path().string()) + u"/sub\uFFFD/" + c.shown);
    }
}

TEST(FilePage, RootsTrimmingAndTypedColumns) {
    testsupport::TempDir dir;
    std::ofstream(dir / "mounts") << "sysfs /sys sysfs rw 0 0\n"
                                     "/dev/sda1 / ext4 rw 0 0\n"
                                     "tmpfs /run tmpfs rw 0 0\n"
                                     "/dev/sdb1 /mnt/my\\040disk ext4 rw 0 0\n"
                                     "proc /proc proc rw 0 0\n";
    EXPECT_EQ(app::ListSearchRoots((dir / "mounts").string()), (std::vector<std::u16string>{u"/", u"/mnt/my disk"}));
    // The user's home folder comes second, once, whatever its trailing separators.
    const std::pair<std::u16string, std::vector<std::u16string>> with_home[] = {
        {u"/home/ann", {u"/", u"/home/ann", u"/mnt/my disk"}},
        {u"/home/ann/", {u"/", u"/home/ann", u"/mnt/my disk"}},
        {u"/mnt/my disk", {u"/", u"/mnt/my disk"}},
        {u"", {u"/", u"/mnt/my disk"}},
        {u"/", {u"/", u"/mnt/my disk"}},
    };
    for (const auto& [home, roots] : with_home) {
        EXPECT_EQ(app::ListSearchRoots((dir / "mounts").string(), home), roots) << platform::ToUtf8(home);
    }

    EXPECT_EQ(app::TrimSearchRoot(u"D:\\\\"), u"D:");
    EXPECT_EQ(app::TrimSearchRoot(u"/srv/data//"), u"/srv/data");
    EXPECT_EQ(app::TrimSearchRoot(u"/"), u"");

    for (const auto& [name, is_data_file] : std::vector<std::pair<std::u16string, bool>>{
             {u"a.mdf", true}, {u"A.MDF", true}, {u"a.Mdf", true}, {u"a.mdfx", false}, {u"mdf", false},
             {u"a.ldf", false}}) {
        EXPECT_EQ(app::IsDataFileName(name), is_data_file) << platform::ToUtf8(name);
    }
    EXPECT_EQ(app::SizeInKbText(1023), u"0");
    EXPECT_EQ(app::SizeInKbText(5'000'000'000), u"4882812");
    EXPECT_EQ(app::SizeInKbText(std::uint64_t{1} << 45), u"34359738368");  // no 32-bit wrap

    // The size column sorts as numbers and the time columns as date-times.
    EXPECT_LT(app::CompareCells(app::kCompareNumber, app::SizeInKbText(9 << 10), app::SizeInKbText(10 << 10)), 0);
    EXPECT_LT(app::CompareCells(app::kCompareDateTime, app::FileTimeText(86400 * 40), app::FileTimeText(86400 * 400)),
              0);
}

}  // namespace
