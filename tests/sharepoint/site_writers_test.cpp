// The web, list and folder writers and the save of checked items: the folder layout of a site, names that
// would leave the output folder, clashes, substitute folders, what is counted, and saves that follow the
// identity of each checked item.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <chrono>
#include <csignal>
#include <fstream>
#include <functional>
#include <optional>
#include <set>
#include <thread>
#include <sys/stat.h>
#include <unistd.h>

#include "sharepoint/check_tree.h"
#include "sharepoint/output_folder.h"
#include "sharepoint/output_names.h"
#include "tests/sharepoint/content_fixture.h"
#include "tests/sharepoint/link_stand_in.h"

namespace {

using namespace sharepoint_test;
namespace fs = std::filesystem;

std::string ReadText(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// Every file below root as "relative path=contents", sorted.
std::vector<std::string> Files(const fs::path& root) {
    std::vector<std::string> out;
    if (!fs::exists(root)) return out;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        if (entry.is_regular_file()) {
            out.push_back(fs::relative(entry.path(), root).string() + "=" + ReadText(entry.path()));
        }
    }
    std::sort(out.begin(), out.end());
    return out;
}

class SiteSave : public ::testing::Test {
protected:
    void Web(std::u16string id, std::u16string parent, std::u16string title) {
        mdf::AllWebs w;
        w.Id = std::move(id);
        w.ParentWebId = std::move(parent);
        w.Title = std::move(title);
        engine.m_arrWebRows.push_back(w);
    }
    void List(std::u16string web, std::u16string id, std::u16string title) {
        mdf::AllList l;
        l.tp_WebId = std::move(web);
        l.tp_ID = std::move(id);
        l.tp_Title = std::move(title);
        engine.m_arrListRows.push_back(l);
    }
    void Folder(std::u16string id, std::u16string parent, std::u16string list, std::u16string leaf) {
        Item(std::move(id), std::move(parent), std::move(list), u"1", std::move(leaf), "");
    }
    // A document whose text (padded past 24 bytes, so that it lies in the row) is its content.
    void Document(std::u16string id, std::u16string parent, std::u16string leaf, const std::string& text) {
        Item(std::move(id), std::move(parent), u"", u"0", std::move(leaf), text);
    }
    void Item(std::u16string id, std::u16string parent, std::u16string list, std::u16string type,
              std::u16string leaf, const std::string& text) {
        mdf::SPServerDocumentData r;
        r.ID = std::move(id);
        r.ParentId = std::move(parent);
        r.listId = std::move(list);
        r.TYPE = std::move(type);
        r.LeafName = std::move(leaf);
        if (!text.empty()) {
            r.ContentOffsetLow = static_cast<std::uint32_t>(content.Place(Bytes(text)));
            r.ContentLength = static_cast<std::uint32_t>(text.size());
        }
        engine.m_arrDocuments.push_back(r);
    }
    void Build() {
        content.Write(dir / "data.mdf");
        ASSERT_TRUE(OpenIn(engine, dir / "data.mdf"));
        engine.BuildWebTree();
        tree = sharepoint::BuildDocumentCheckTree(u"data.mdf", engine.m_lstWebs);
        app.m_strOutputFolder = platform::FromUtf8(Out().string());
        sink.on_send = [this](unsigned message, platform::WPARAM, platform::LPARAM) {
            if (message == platform::WM_LOG_LINE) log.push_back(platform::ToUtf8(app.m_strLogLine));
        };
    }
    fs::path Out() const { return dir / "out"; }
    bool Logged(const std::string& text) const {
        return std::find(log.begin(), log.end(), text) != log.end();
    }
    // The item with this label path below the caption item.
    sharepoint::CheckItem& At(std::initializer_list<std::u16string> labels, std::size_t nth_last = 0) {
        sharepoint::CheckItem* item = tree->children[0].get();
        std::size_t k = 0;
        for (const auto& label : labels) {
            ++k;
            std::size_t seen = 0;
            sharepoint::CheckItem* found = nullptr;
            for (auto& child : item->children) {
                if (child->label == label && (k < labels.size() || seen++ == nth_last)) {
                    found = child.get();
                    if (k < labels.size()) break;
                }
            }
            EXPECT_NE(found, nullptr);
            item = found;
        }
        return *item;
    }
    void CheckOnly(sharepoint::CheckItem& item) {
        tree->state = sharepoint::kUnchecked;
        sharepoint::SetChildCheckState(*tree);
        item.state = sharepoint::kChecked;
        sharepoint::SetChildCheckState(item);
        sharepoint::UpdateParentCheckState(*item.parent);
    }

    testsupport::TempDir dir;
    ContentFile content;
    platform::SharedState app;
    platform::RecordingSink sink;
    mdf::CRecoveryEngine engine{app, &sink};
    std::unique_ptr<sharepoint::CheckItem> tree;
    std::vector<std::string> log;
};

const std::string kA = "contents of the first a.txt document";
const std::string kA2 = "contents of the second a.txt document";
const std::string kB = "contents of b.txt, one folder deeper";
const std::string kS = "contents of s.txt in the sub-site list";
const std::string kDots = "a document named with two dots only";

TEST_F(SiteSave, AllCheckedWritesTheSiteTreeWithSafeNamesAndCountsOnlyWrittenDocuments) {
    Web(u"{T}", u"", u"Team|Site");
    Web(u"{S}", u"{T}", u"Sub");
    List(u"{S}", u"{SL}", u"SubDocs");
    Folder(u"{SF}", u"{R}", u"{SL}", u"F");
    Document(u"{s}", u"{SF}", u"s.txt", kS);
    List(u"{T}", u"{L}", u"Shared Documents");
    Folder(u"{LF}", u"{R}", u"{L}", u"Shared Documents");
    Document(u"{a}", u"{LF}", u"a.txt", kA);
    Document(u"{a2}", u"{LF}", u"a.txt", kA2);
    Folder(u"{IN}", u"{LF}", u"{L}", u"Inner");
    Document(u"{b}", u"{IN}", u"b.txt", kB);
    Item(u"{N}", u"{LF}", u"{L}", u"2", u"no stream", "");
    List(u"{T}", u"{E}", u"../evil");
    Folder(u"{EF}", u"{R}", u"{E}", u"x/y");
    Document(u"{d}", u"{EF}", u"..", kDots);
    Document(u"{r}", u"{EF}", u"Отчёт 年度.txt", kA);
    Build();

    std::vector<const sharepoint::CheckItem*> saved;
    engine.SaveCheckedTreeItems(*tree, [&](const sharepoint::CheckItem& item) { saved.push_back(&item); });

    EXPECT_EQ(Files(Out()), (std::vector<std::string>{
                                "Team Site/.._evil/x_y/__=" + kDots,
                                "Team Site/.._evil/x_y/Отчёт 年度.txt=" + kA,
                                "Team Site/Shared Documents/Shared Documents/Inner/b.txt=" + kB,
                                "Team Site/Shared Documents/Shared Documents/a.txt=" + kA,
                                "Team Site/Shared Documents/Shared Documents/a[1].txt=" + kA2,
                                "Team Site/Sub/SubDocs/F/s.txt=" + kS,
                            }));
    EXPECT_EQ(app.m_nRecoveredCount.load(), 6u);
    EXPECT_EQ(sink.Count(platform::WM_RECORD_COUNT), 6u);
    // The item without a stream is reported, and its site and list are not called repaired.
    EXPECT_TRUE(Logged("  Not written: " + Out().string() + "/Team Site/Shared Documents/Shared Documents/no stream"
                       " (no contents were found for it)"));
    EXPECT_TRUE(Logged("  Shared Documents:1 item(s) not written"));
    EXPECT_TRUE(Logged("  ../evil:Repaired successfully"));
    EXPECT_TRUE(Logged("  Team|Site:1 item(s) not written"));
    const auto sub_line = std::find(log.begin(), log.end(), "Repairing Site....  Sub");
    const auto list_line = std::find(log.begin(), log.end(), "Repairing List.....  Shared Documents");
    EXPECT_LT(sub_line, list_line);

    ASSERT_EQ(saved.size(), 1u);
    EXPECT_EQ(saved[0]->label, u"Team|Site");
    EXPECT_EQ(tree->state, sharepoint::kUnchecked);
    EXPECT_EQ(At({u"Team|Site", u"Sub"}).state, sharepoint::kUnchecked);
}

TEST_F(SiteSave, AFolderThatCannotBeMadeGoesToANewSubstituteThatNeverMerges) {
    Web(u"{T}", u"", u"Top");
    Web(u"{U}", u"", u"Other");
    List(u"{T}", u"{L1}", u"Docs");
    List(u"{U}", u"{L2}", u"Docs");
    Folder(u"{F1}", u"{R}", u"{L1}", u"Docs");
    Folder(u"{F2}", u"{R}", u"{L2}", u"Docs");
    Document(u"{1}", u"{F1}", u"one.txt", kA);
    Document(u"{2}", u"{F2}", u"two.txt", kB);
    Build();
    // Files where the two list folders belong.
    fs::create_directories(Out() / "Top");
    fs::create_directories(Out() / "Other");
    std::ofstream(Out() / "Top" / "Docs").put('x');
    std::ofstream(Out() / "Other" / "Docs").put('y');

    engine.SaveCheckedTreeItems(*tree);

    EXPECT_EQ(Files(Out()), (std::vector<std::string>{
                                "Docs/Actual path in site.txt=" + (Out() / "Top" / "Docs").string(),
                                "Docs/Docs/one.txt=" + kA,
                                "Docs[1]/Actual path in site.txt=" + (Out() / "Other" / "Docs").string(),
                                "Docs[1]/Docs/two.txt=" + kB,
                                "Other/Docs=y",
                                "Top/Docs=x",
                            }));
    EXPECT_EQ(app.m_nRecoveredCount.load(), 2u);
    EXPECT_TRUE(Logged("  Top:Repaired successfully"));
}

// While it lives, no file of this process can grow past limit bytes (zero unless told): a write that
// reaches past it fails with "File too large".
class NoFileGrowth {
public:
    explicit NoFileGrowth(rlim_t limit = 0) {
        getrlimit(RLIMIT_FSIZE, &saved_);
        previous_ = std::signal(SIGXFSZ, SIG_IGN);
        rlimit none = saved_;
        none.rlim_cur = limit;
        setrlimit(RLIMIT_FSIZE, &none);
    }
    ~NoFileGrowth() {
        setrlimit(RLIMIT_FSIZE, &saved_);
        std::signal(SIGXFSZ, previous_);
    }
    NoFileGrowth(const NoFileGrowth&) = delete;
    NoFileGrowth& operator=(const NoFileGrowth&) = delete;

private:
    rlimit saved_{};
    void (*previous_)(int) = nullptr;
};

TEST_F(SiteSave, ASubstituteNoteThatCannotBeWrittenIsLoggedWithItsPath) {
    Web(u"{T}", u"", u"Top");
    List(u"{T}", u"{L}", u"Docs");
    Folder(u"{F}", u"{R}", u"{L}", u"Docs");
    Build();
    fs::create_directories(Out() / "Top");
    std::ofstream(Out() / "Top" / "Docs").put('x');
    {
        NoFileGrowth guard;
        engine.SaveCheckedTreeItems(*tree);
    }
    const std::string note = (Out() / "Docs" / "Actual path in site.txt").string();
    // The system's reason, and no cut note under the note's name.
    EXPECT_TRUE(Logged("  Not written: " + note + " (File too large)"));
    EXPECT_FALSE(fs::exists(Out() / "Docs" / "Actual path in site.txt"));
    EXPECT_TRUE(Logged("  Folder not made: " + (Out() / "Top" / "Docs").string() +
                       " (a file of that name exists); written to " + (Out() / "Docs").string()));
    EXPECT_TRUE(fs::is_directory(Out() / "Docs" / "Docs"));
}

TEST_F(SiteSave, ACheckedFolderIsSavedFromItsOwnNodeNotTheFirstOfItsName) {
    Web(u"{T}", u"", u"Top");
    List(u"{T}", u"{L}", u"Docs");
    Folder(u"{F1}", u"{R}", u"{L}", u"Same");
    Folder(u"{F2}", u"{R}", u"{L}", u"Same");
    Document(u"{1}", u"{F1}", u"one.txt", kA);
    Document(u"{2}", u"{F2}", u"two.txt", kB);
    Build();
    CheckOnly(At({u"Top", u"Docs", u"Same"}, 1));
    EXPECT_EQ(At({u"Top", u"Docs"}).state, sharepoint::kPartlyChecked);

    engine.SaveCheckedTreeItems(*tree);

    EXPECT_EQ(Files(Out()), (std::vector<std::string>{"Top/Docs/Same/two.txt=" + kB}));
    EXPECT_EQ(app.m_arrSelectedPath,
              (std::vector<std::u16string>{u"Same", u"Docs", u"Top", sharepoint::kCaptionLabel}));
    EXPECT_EQ(At({u"Top", u"Docs"}).state, sharepoint::kUnchecked);
}

TEST_F(SiteSave, AListAndASubWebOfOneNameAreSavedEachOnItsOwn) {
    Web(u"{T}", u"", u"Top");
    Web(u"{S}", u"{T}", u"Twin");
    List(u"{S}", u"{SL}", u"Inside");
    Folder(u"{SF}", u"{R}", u"{SL}", u"F");
    Document(u"{s}", u"{SF}", u"s.txt", kS);
    List(u"{T}", u"{L}", u"Twin");
    Folder(u"{LF}", u"{R}", u"{L}", u"G");
    Document(u"{a}", u"{LF}", u"a.txt", kA);
    Build();

    CheckOnly(At({u"Top", u"Twin"}, 1));  // the list (sub-webs come first)
    engine.SaveCheckedTreeItems(*tree);
    EXPECT_EQ(Files(Out()), (std::vector<std::string>{"Top/Twin/G/a.txt=" + kA}));

    fs::remove_all(Out());
    CheckOnly(At({u"Top", u"Twin"}, 0));  // the sub-web: written directly below the output folder
    engine.SaveCheckedTreeItems(*tree);
    EXPECT_EQ(Files(Out()), (std::vector<std::string>{"Twin/Inside/F/s.txt=" + kS}));
    EXPECT_TRUE(fs::is_directory(Out() / "Top"));
}

TEST_F(SiteSave, ACheckedItemThatIsNotAFolderIsWrittenAsItsFile) {
    Web(u"{T}", u"", u"Top");
    List(u"{T}", u"{L}", u"Docs");
    Folder(u"{F}", u"{R}", u"{L}", u"F");
    Item(u"{I}", u"{F}", u"{L}", u"2", u"page.aspx", kA);
    Document(u"{d}", u"{F}", u"other.txt", kB);
    Folder(u"{G}", u"{F}", u"{L}", u"G");  // an unchecked sibling keeps F partly checked
    Build();
    CheckOnly(At({u"Top", u"Docs", u"F", u"page.aspx"}));
    engine.SaveCheckedTreeItems(*tree);
    EXPECT_EQ(Files(Out()), (std::vector<std::string>{"Top/Docs/F/page.aspx=" + kA}));
    EXPECT_EQ(app.m_nRecoveredCount.load(), 1u);
}

TEST_F(SiteSave, EachSavedItemIsUncheckedAndReportedAndItsParentFollows) {
    Web(u"{T}", u"", u"Top");
    List(u"{T}", u"{L}", u"Docs");
    Folder(u"{F1}", u"{R}", u"{L}", u"One");
    Folder(u"{F2}", u"{R}", u"{L}", u"Two");
    Folder(u"{F3}", u"{R}", u"{L}", u"Three");
    Document(u"{1}", u"{F1}", u"one.txt", kA);
    Document(u"{2}", u"{F2}", u"two.txt", kB);
    Build();
    CheckOnly(At({u"Top", u"Docs", u"One"}));
    At({u"Top", u"Docs", u"Two"}).state = sharepoint::kChecked;
    sharepoint::UpdateParentCheckState(At({u"Top", u"Docs"}));

    std::vector<std::pair<std::u16string, int>> reports;  // saved item and its parent's state at that moment
    engine.SaveCheckedTreeItems(*tree, [&](const sharepoint::CheckItem& item) {
        reports.emplace_back(item.label, item.parent->state);
    });
    EXPECT_EQ(reports, (std::vector<std::pair<std::u16string, int>>{{u"One", sharepoint::kPartlyChecked},
                                                                      {u"Two", sharepoint::kUnchecked}}));
    EXPECT_EQ(Files(Out()), (std::vector<std::string>{"Top/Docs/One/one.txt=" + kA, "Top/Docs/Two/two.txt=" + kB}));
}

TEST_F(SiteSave, StopEndsTheWalkAfterTheCurrentItem) {
    Web(u"{T}", u"", u"Top");
    Web(u"{U}", u"", u"Other");
    Build();
    int saved = 0;
    engine.SaveCheckedTreeItems(*tree, [&](const sharepoint::CheckItem&) {
        ++saved;
        app.m_bStopJob = true;
    });
    EXPECT_EQ(saved, 1);
    EXPECT_EQ(At({u"Other"}).state, sharepoint::kChecked);
    EXPECT_EQ(sink.Count(platform::WM_JOB_ENDED), 1u);
}

// Saves into folders that refuse or mislead: a symbolic link where a folder or file is expected (at every
// level), a folder that does not let files in, an output folder below a regular file, and writes cut part
// way by a size limit. Whatever happens: nothing lands outside the output folder, no file with a document's
// name holds less than the whole document, the system's reason is logged, failures are counted, and a list
// with a failure is not called repaired.
TEST_F(SiteSave, SavesIntoTrappedFoldersNeverLeaveTheOutputFolderOrACutFile) {
    const std::string long_text = kA + std::string(300, 'z');
    struct Case {
        const char* name;
        std::function<void(const fs::path& out, const fs::path& outside)> trap;
        rlim_t size_limit;            // 0: none
        bool needs_permissions;       // skipped as root, who passes every permission check
        std::uint64_t failures;
        const char* reason;           // logged
        bool list_repaired;
    };
    const Case cases[] = {
        {"link as the site folder", [](const fs::path& out, const fs::path& outside) {
             fs::create_directories(out);
             fs::create_directory_symlink(outside, out / "Top");
         }, 0, false, 0, "(a symbolic link stands where a folder is expected); written to ", true},
        {"link as the list folder", [](const fs::path& out, const fs::path& outside) {
             fs::create_directories(out / "Top");
             fs::create_directory_symlink(outside, out / "Top" / "Docs");
         }, 0, false, 0, "(a symbolic link stands where a folder is expected); written to ", true},
        {"link as a folder of the list", [](const fs::path& out, const fs::path& outside) {
             fs::create_directories(out / "Top" / "Docs");
             fs::create_directory_symlink(outside, out / "Top" / "Docs" / "F");
         }, 0, false, 0, "(a symbolic link stands where a folder is expected); written to ", true},
        {"link as the document's name", [](const fs::path& out, const fs::path& outside) {
             fs::create_directories(out / "Top" / "Docs" / "F");
             fs::create_symlink(outside / "a.txt", out / "Top" / "Docs" / "F" / "a.txt");
         }, 0, false, 0, nullptr, true},
        {"folder without write permission", [](const fs::path& out, const fs::path&) {
             fs::create_directories(out / "Top" / "Docs" / "F");
             ::chmod((out / "Top" / "Docs" / "F").c_str(), 0555);
         }, 0, true, 1, "Permission denied", false},
        {"writes cut part way", [](const fs::path&, const fs::path&) {}, 100, false, 1, "File too large", false},
        {"output folder below a regular file", [](const fs::path& out, const fs::path&) {
             fs::create_directories(out.parent_path());
             std::ofstream(out.parent_path() / "plain").put('x');
         }, 0, false, 6, "Not a directory", false},  // the site, the list, both folders and both documents
    };
    Web(u"{T}", u"", u"Top");
    List(u"{T}", u"{L}", u"Docs");
    Folder(u"{F}", u"{R}", u"{L}", u"F");
    Document(u"{1}", u"{F}", u"a.txt", long_text);
    Folder(u"{G}", u"{R}", u"{L}", u"G");
    Document(u"{2}", u"{G}", u"b.txt", kB);
    Build();
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.needs_permissions && ::geteuid() == 0) continue;
        const fs::path base = dir / ("case" + std::to_string(n++));
        const fs::path outside = base / "outside";
        fs::create_directories(outside);
        fs::path out = base / "out";
        c.trap(out, outside);
        if (std::string(c.name) == "output folder below a regular file") out = base / "plain" / "out";
        app.m_strOutputFolder = platform::FromUtf8(out.string());
        log.clear();
        engine.m_nSaveFailures = 0;
        app.m_nRecoveredCount = 0;
        tree->state = sharepoint::kChecked;
        sharepoint::SetChildCheckState(*tree);
        {
            std::optional<NoFileGrowth> limit;
            if (c.size_limit != 0) limit.emplace(c.size_limit);
            engine.SaveCheckedTreeItems(*tree);
        }
        ::chmod((base / "out" / "Top" / "Docs" / "F").c_str(), 0755);

        EXPECT_TRUE(fs::is_empty(outside)) << "something was written outside the output folder";
        // Walked without following links: every file is whole, a note, or a link the trap made.
        std::size_t whole = 0;
        if (fs::exists(base / "out")) {
            for (const auto& entry : fs::recursive_directory_iterator(base / "out")) {
                if (entry.is_symlink() || !entry.is_regular_file()) continue;
                const std::string name = entry.path().filename().string();
                const std::string text = ReadText(entry.path());
                if (name == "Actual path in site.txt") continue;
                EXPECT_TRUE(text == long_text || text == kB) << entry.path() << " holds " << text.size() << " bytes";
                ++whole;
            }
        }
        EXPECT_EQ(whole, app.m_nRecoveredCount.load());
        EXPECT_EQ(engine.m_nSaveFailures, c.failures);
        if (c.failures == 0) {
            EXPECT_EQ(whole, 2u);
        }
        if (c.reason) {
            EXPECT_TRUE(std::any_of(log.begin(), log.end(),
                                    [&](const std::string& line) { return line.find(c.reason) != std::string::npos; }))
                << c.reason;
        }
        EXPECT_EQ(Logged("  Docs:Repaired successfully"), c.list_repaired);
    }
}

// Another program moves a folder of the save while the save goes on. Nothing is made where the folder went: no
// folder is made in a folder that is no longer below the output folder (the held descriptor would make it
// there), so the next folder of the save goes to a substitute below the output folder, and says so; a folder
// moved within the output folder is fine.
TEST_F(SiteSave, NothingIsMadeInAFolderThatLeftTheOutputFolder) {
    struct Case {
        const char* name;
        fs::path (*destination)(const fs::path& out, const fs::path& dir);
        bool second_saved;
    };
    const Case cases[] = {
        {"moved out of the output folder", [](const fs::path&, const fs::path& base) { return base / "moved"; }, false},
        {"moved within the output folder", [](const fs::path& out, const fs::path&) { return out / "Elsewhere"; }, true},
    };
    Web(u"{T}", u"", u"Top");
    List(u"{T}", u"{L}", u"Docs");
    Folder(u"{F1}", u"{R}", u"{L}", u"One");
    Folder(u"{F2}", u"{R}", u"{L}", u"Two");
    Folder(u"{F3}", u"{R}", u"{L}", u"Three");  // left unchecked: One and Two are saved one by one
    Document(u"{1}", u"{F1}", u"one.txt", kA);
    Document(u"{2}", u"{F2}", u"two.txt", kB);
    Build();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove_all(Out());
        fs::remove_all(dir / "moved");
        log.clear();
        engine.m_nSaveFailures = 0;
        app.m_nRecoveredCount = 0;
        CheckOnly(At({u"Top", u"Docs", u"One"}));
        At({u"Top", u"Docs", u"Two"}).state = sharepoint::kChecked;
        sharepoint::UpdateParentCheckState(At({u"Top", u"Docs"}));
        const fs::path moved = c.destination(Out(), dir.Path());
        // The site's folder goes once the first folder is saved; the save still holds it open.
        engine.SaveCheckedTreeItems(*tree, [&](const sharepoint::CheckItem& item) {
            if (item.label != u"One") return;
            fs::create_directories(moved.parent_path());
            fs::rename(Out() / "Top", moved);
        });
        EXPECT_EQ(app.m_nRecoveredCount.load(), 2u);
        EXPECT_EQ(engine.m_nSaveFailures, 0u);
        const std::string wanted = (Out() / "Top" / "Docs" / "Two").string();
        EXPECT_EQ(Logged("  Folder not made: " + wanted + " (its folder was moved out of the output folder); written to " +
                         (Out() / "Two").string()),
                  !c.second_saved);
        if (!c.second_saved) {
            // What was moved holds what it held, and nothing more: not even an empty folder.
            std::vector<std::string> entries;
            for (const auto& entry : fs::recursive_directory_iterator(dir / "moved")) {
                entries.push_back(fs::relative(entry.path(), dir / "moved").string());
            }
            std::sort(entries.begin(), entries.end());
            EXPECT_EQ(entries, (std::vector<std::string>{"Docs", "Docs/One", "Docs/One/one.txt"}));
            EXPECT_EQ(Files(Out()), (std::vector<std::string>{"Two/Actual path in site.txt=" + wanted,
                                                              "Two/two.txt=" + kB}));
        } else {
            EXPECT_EQ(Files(Out()), (std::vector<std::string>{"Elsewhere/Docs/One/one.txt=" + kA,
                                                              "Elsewhere/Docs/Two/two.txt=" + kB}));
        }
    }
}

// Puts a stand-in for syncfs in place for its lifetime and counts the calls.
class SyncStandIn {
public:
    explicit SyncStandIn(int error_number) {
        error_number_ = error_number;
        calls_ = 0;
        saved_ = sharepoint::OutputFolder::sync_file_system;
        sharepoint::OutputFolder::sync_file_system = [](int fd) {
            ++calls_;
            struct stat info {};
            EXPECT_EQ(::fstat(fd, &info), 0);
            EXPECT_TRUE(S_ISDIR(info.st_mode));
            if (error_number_ == 0) return 0;
            errno = error_number_;
            return -1;
        };
    }
    ~SyncStandIn() { sharepoint::OutputFolder::sync_file_system = saved_; }
    SyncStandIn(const SyncStandIn&) = delete;
    SyncStandIn& operator=(const SyncStandIn&) = delete;
    static int Calls() { return calls_; }

private:
    static inline int error_number_ = 0;
    static inline int calls_ = 0;
    sharepoint::OutputFolder::SyncFileSystemCall saved_;
};

// The save ends with one flush of the output folder's file system; a flush the system refuses (a full or
// failing disk) is a failure of the save, logged with its reason, and the items of the save keep their checks,
// since what it wrote may not be on the disk: Repair saves them again.
TEST_F(SiteSave, TheSaveFlushesTheOutputOnceAndAFailedFlushIsAFailure) {
    struct Case {
        const char* name;
        int error_number;
    };
    const Case cases[] = {{"flushed", 0}, {"flush refused", EIO}};
    Web(u"{T}", u"", u"Top");
    List(u"{T}", u"{L}", u"Docs");
    Folder(u"{F}", u"{R}", u"{L}", u"F");
    Document(u"{1}", u"{F}", u"a.txt", kA);
    Web(u"{U}", u"", u"Other");
    Build();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove_all(Out());
        log.clear();
        engine.m_nSaveFailures = 0;
        tree->state = sharepoint::kChecked;
        sharepoint::SetChildCheckState(*tree);
        CheckOnly(At({u"Top"}));
        const SyncStandIn stand_in(c.error_number);
        std::vector<std::u16string> reported;
        const auto tally = engine.SaveCheckedTreeItems(
            *tree, [&](const sharepoint::CheckItem& item) { reported.push_back(item.label); });
        EXPECT_EQ(SyncStandIn::Calls(), 1);
        EXPECT_EQ(tally.flush_failed, c.error_number != 0);
        EXPECT_EQ(engine.m_nSaveFailures, c.error_number != 0 ? 1u : 0u);
        EXPECT_EQ(Logged("  Not flushed to the disk: " + Out().string() + " (Input/output error)"),
                  c.error_number != 0);
        const int saved_state = c.error_number != 0 ? sharepoint::kChecked : sharepoint::kUnchecked;
        EXPECT_EQ(At({u"Top"}).state, saved_state);
        EXPECT_EQ(At({u"Top", u"Docs", u"F"}).state, saved_state);
        EXPECT_EQ(At({u"Other"}).state, sharepoint::kUnchecked);
        EXPECT_EQ(tree->state, c.error_number != 0 ? sharepoint::kPartlyChecked : sharepoint::kUnchecked);
        // The window hears of the item saved, and then, after a failed flush, of the tree put back.
        const std::vector<std::u16string> expected_reports =
            c.error_number != 0 ? std::vector<std::u16string>{u"Top", u"data.mdf"} : std::vector<std::u16string>{u"Top"};
        EXPECT_EQ(reported, expected_reports);
    }
}

// A stop in the middle of a checked site: the site keeps its check (with everything below it), so that
// Repair saves it again; neither the list cut part way nor its site is called repaired; the tally says how
// many documents the whole save had.
TEST_F(SiteSave, AStopPartWayKeepsTheCutItemCheckedAndCallsNothingRepaired) {
    Web(u"{T}", u"", u"Top");
    List(u"{T}", u"{L}", u"Docs");
    Folder(u"{F}", u"{R}", u"{L}", u"F");
    Document(u"{1}", u"{F}", u"a.txt", kA);
    Document(u"{2}", u"{F}", u"b.txt", kB);
    Document(u"{3}", u"{F}", u"s.txt", kS);
    List(u"{T}", u"{M}", u"More");
    Folder(u"{G}", u"{R}", u"{M}", u"G");
    Document(u"{4}", u"{G}", u"d.txt", kDots);
    Web(u"{U}", u"", u"Other");
    List(u"{U}", u"{O}", u"Old");
    Folder(u"{H}", u"{R}", u"{O}", u"H");
    Document(u"{5}", u"{H}", u"e.txt", kA2);
    Build();
    int counted = 0;
    const auto log_lines = sink.on_send;
    sink.on_send = [&](unsigned message, platform::WPARAM wparam, platform::LPARAM lparam) {
        log_lines(message, wparam, lparam);
        if (message == platform::WM_RECORD_COUNT && ++counted == 2) app.m_bStopJob = true;
    };
    std::vector<std::u16string> saved;
    const auto tally =
        engine.SaveCheckedTreeItems(*tree, [&](const sharepoint::CheckItem& item) { saved.push_back(item.label); });

    EXPECT_TRUE(tally.stopped);
    EXPECT_EQ(tally.documents, 5u);
    EXPECT_EQ(app.m_nRecoveredCount.load(), 2u);
    EXPECT_TRUE(saved.empty());
    EXPECT_EQ(At({u"Top"}).state, sharepoint::kChecked);
    EXPECT_EQ(At({u"Top", u"Docs", u"F"}).state, sharepoint::kChecked);
    EXPECT_EQ(At({u"Top", u"More"}).state, sharepoint::kChecked);
    EXPECT_EQ(At({u"Other"}).state, sharepoint::kChecked);
    EXPECT_EQ(tree->state, sharepoint::kChecked);
    for (const auto& line : log) EXPECT_EQ(line.find("Repaired successfully"), std::string::npos) << line;
}


// A stop part way through a checked site: the parts of it saved whole before the stop (a sub-site, a list) are
// unchecked, so that Repair saves only the rest; the list the stop cut and the site keep their checks (the
// site partly), and only the lists saved whole are called repaired. A folder saved whole inside a folder that
// was cut and has documents of its own keeps its check: its parent's documents are no items of the tree, and
// only the parent's check brings them into the next save.
TEST_F(SiteSave, AStopPartWayUnchecksWhatWasSavedWhole) {
    Web(u"{T}", u"", u"Top");
    Web(u"{S}", u"{T}", u"Sub");
    List(u"{S}", u"{SL}", u"Sub list");
    Folder(u"{SF}", u"{R}", u"{SL}", u"SF");
    Document(u"{s1}", u"{SF}", u"s1.txt", kS);
    Document(u"{s2}", u"{SF}", u"s2.txt", kS);
    List(u"{T}", u"{L1}", u"One");
    Folder(u"{F1}", u"{R}", u"{L1}", u"F1");
    Document(u"{11}", u"{F1}", u"a.txt", kA);
    Document(u"{12}", u"{F1}", u"b.txt", kB);
    List(u"{T}", u"{L2}", u"Two");
    Folder(u"{F2}", u"{R}", u"{L2}", u"F2");
    Folder(u"{F3}", u"{F2}", u"{L2}", u"F3");
    Document(u"{31}", u"{F3}", u"c.txt", kA);
    Document(u"{21}", u"{F2}", u"d.txt", kA2);
    Document(u"{22}", u"{F2}", u"e.txt", kB);
    List(u"{T}", u"{L3}", u"Three");
    Folder(u"{F4}", u"{R}", u"{L3}", u"F4");
    Document(u"{41}", u"{F4}", u"f.txt", kA);
    Web(u"{U}", u"", u"Other");
    List(u"{U}", u"{O}", u"Old");
    Folder(u"{H}", u"{R}", u"{O}", u"H");
    Document(u"{5}", u"{H}", u"g.txt", kA2);
    Build();
    // Stopped at the count of d.txt: the sub-site, list One and folder F3 are whole; F2 and list Two are not.
    int counted = 0;
    const auto log_lines = sink.on_send;
    sink.on_send = [&](unsigned message, platform::WPARAM wparam, platform::LPARAM lparam) {
        log_lines(message, wparam, lparam);
        if (message == platform::WM_RECORD_COUNT && ++counted == 6) app.m_bStopJob = true;
    };
    std::vector<std::u16string> reported;
    const auto tally =
        engine.SaveCheckedTreeItems(*tree, [&](const sharepoint::CheckItem& item) { reported.push_back(item.label); });
    app.m_bStopJob = false;

    EXPECT_TRUE(tally.stopped);
    EXPECT_EQ(app.m_nRecoveredCount.load(), 6u);
    EXPECT_EQ(At({u"Top", u"Sub"}).state, sharepoint::kUnchecked);
    EXPECT_EQ(At({u"Top", u"Sub", u"Sub list"}).state, sharepoint::kUnchecked);
    EXPECT_EQ(At({u"Top", u"One"}).state, sharepoint::kUnchecked);
    EXPECT_EQ(At({u"Top", u"Two", u"F2", u"F3"}).state, sharepoint::kChecked);
    EXPECT_EQ(At({u"Top", u"Two", u"F2"}).state, sharepoint::kChecked);
    EXPECT_EQ(At({u"Top", u"Two"}).state, sharepoint::kChecked);
    EXPECT_EQ(At({u"Top", u"Three"}).state, sharepoint::kChecked);
    EXPECT_EQ(At({u"Top"}).state, sharepoint::kPartlyChecked);
    EXPECT_EQ(At({u"Other"}).state, sharepoint::kChecked);
    EXPECT_EQ(reported, std::vector<std::u16string>{u"Top"});  // the window shows the tree again once
    EXPECT_TRUE(Logged("  Sub list:Repaired successfully"));
    EXPECT_TRUE(Logged("  One:Repaired successfully"));
    for (const char* cut : {"Two", "Three", "Top"}) EXPECT_FALSE(Logged(std::string("  ") + cut + ":Repaired successfully")) << cut;

    // Repair again saves the rest and nothing twice.
    fs::path first = dir / "first";
    fs::rename(Out(), first);
    reported.clear();
    sink.on_send = log_lines;
    const auto rest = engine.SaveCheckedTreeItems(*tree);
    EXPECT_FALSE(rest.stopped);
    EXPECT_EQ(Files(Out()),
              (std::vector<std::string>{"Other/Old/H/g.txt=" + kA2, "Top/Three/F4/f.txt=" + kA,
                                        "Top/Two/F2/F3/c.txt=" + kA, "Top/Two/F2/d.txt=" + kA2,
                                        "Top/Two/F2/e.txt=" + kB}));
    EXPECT_EQ(tree->state, sharepoint::kUnchecked);
}

// The output folder deleted or moved by another program during the save, between two sites or while a list's
// documents are being written: the save ends there as a failure. Nothing is written where the folder was
// (no folder made again by its name) nor anywhere else; every document is either saved (before the loss),
// named as not written, or counted in the line that ends the save; and nothing after the loss is called
// repaired. Every item of the save keeps its check: what it wrote is gone with the folder, or elsewhere.
TEST_F(SiteSave, AnOutputFolderDeletedOrMovedEndsTheSaveAsAFailure) {
    enum class When { BetweenSites, InAList };
    struct Case {
        const char* name;
        When when;
        bool moved;
    };
    const Case cases[] = {
        {"deleted between two sites", When::BetweenSites, false},
        {"moved between two sites", When::BetweenSites, true},
        {"deleted while a list is written", When::InAList, false},
        {"moved while a list is written", When::InAList, true},
    };
    // More documents in a folder than the save has in hand at once (written but not yet counted), so that
    // some of list B come after the loss whatever the timing.
    constexpr int kPerFolder = 200;
    Web(u"{T}", u"", u"Top");
    List(u"{T}", u"{A}", u"A");
    Folder(u"{FA}", u"{R}", u"{A}", u"FA");
    List(u"{T}", u"{B}", u"B");
    Folder(u"{FB}", u"{R}", u"{B}", u"FB");
    Web(u"{U}", u"", u"Other");
    List(u"{U}", u"{O}", u"O");
    Folder(u"{FO}", u"{R}", u"{O}", u"FO");
    for (int k = 0; k < kPerFolder; ++k) {
        const std::u16string n = platform::Widen(std::to_string(k));
        Document(u"{a" + n + u"}", u"{FA}", u"a" + n + u".txt", kA);
        Document(u"{b" + n + u"}", u"{FB}", u"b" + n + u".txt", kB);
        Document(u"{o" + n + u"}", u"{FO}", u"o" + n + u".txt", kA2);
    }
    Build();
    const auto log_lines = sink.on_send;
    const fs::path moved = dir / "moved";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove_all(Out());
        fs::remove_all(moved);
        log.clear();
        engine.m_nSaveFailures = 0;
        app.m_nRecoveredCount = 0;
        tree->state = sharepoint::kChecked;
        sharepoint::SetChildCheckState(*tree);
        bool gone = false;
        auto lose = [&] {
            if (gone) return;
            gone = true;
            if (c.moved) {
                fs::rename(Out(), moved);
                return;
            }
            // The writers may add a file while the folder is emptied; the other program tries again.
            std::error_code error;
            while (fs::exists(Out())) fs::remove_all(Out(), error);
        };
        sink.on_send = [&](unsigned message, platform::WPARAM wparam, platform::LPARAM lparam) {
            log_lines(message, wparam, lparam);
            if (c.when == When::InAList && message == platform::WM_RECORD_COUNT && app.m_nRecoveredCount.load() == 250) lose();
        };
        const auto tally = engine.SaveCheckedTreeItems(*tree, [&](const sharepoint::CheckItem& item) {
            if (c.when == When::BetweenSites && item.label == u"Top") lose();
        });
        sink.on_send = log_lines;

        EXPECT_TRUE(gone);
        EXPECT_TRUE(tally.output_lost);
        EXPECT_FALSE(tally.stopped);
        EXPECT_FALSE(fs::exists(Out()));
        const std::uint64_t saved = app.m_nRecoveredCount.load();
        if (c.moved) {
            EXPECT_EQ(Files(moved).size(), saved);
        }
        // Each document once: saved, named as not written, or counted at the end.
        std::uint64_t named = 0;
        std::uint64_t counted = 0;
        const std::string end = "  The output folder was deleted or moved during the save: " + Out().string() + "; ";
        for (const auto& line : log) {
            if (line.rfind("  Not written: ", 0) == 0) {
                ++named;
                EXPECT_NE(line.find("(the output folder was deleted or moved)"), std::string::npos) << line;
            }
            if (line.rfind(end, 0) == 0) counted += std::stoull(line.substr(end.size()));
        }
        EXPECT_TRUE(std::any_of(log.begin(), log.end(), [&](const std::string& line) { return line.rfind(end, 0) == 0; }));
        EXPECT_EQ(saved + named + counted, 3u * kPerFolder);
        EXPECT_EQ(engine.m_nSaveFailures, named + counted);
        EXPECT_FALSE(Logged("  O:Repaired successfully"));
        EXPECT_FALSE(Logged("  Other:Repaired successfully"));
        EXPECT_EQ(tree->state, sharepoint::kChecked);
        EXPECT_EQ(At({u"Top"}).state, sharepoint::kChecked);
        EXPECT_EQ(At({u"Top", u"A", u"FA"}).state, sharepoint::kChecked);
        if (c.when == When::BetweenSites) {
            EXPECT_EQ(saved, 2u * kPerFolder);
            EXPECT_TRUE(Logged("  Top:Repaired successfully"));
        } else {
            EXPECT_GE(saved, 250u);
            EXPECT_FALSE(Logged("  B:Repaired successfully"));
            EXPECT_FALSE(Logged("  Top:Repaired successfully"));
        }
    }
}

// Where unnamed files can be made but neither way of naming one works (no capability to name by descriptor,
// no /proc mounted), no document is lost: the way is found before the first file, and every file is written
// under a temporary name instead, more of them at once than the save has in hand.
TEST_F(SiteSave, NoDocumentIsLostWhereUnnamedFilesCannotBeNamed) {
    struct Case {
        const char* name;
        bool by_descriptor;
        bool through_proc;
    };
    const Case cases[] = {{"no capability", false, true}, {"no capability and no /proc", false, false}};
    Web(u"{T}", u"", u"Top");
    List(u"{T}", u"{L}", u"Docs");
    Folder(u"{F}", u"{R}", u"{L}", u"F");
    constexpr std::uint64_t kDocuments = 150;
    for (std::uint64_t k = 0; k < kDocuments; ++k) {
        const std::u16string n = platform::Widen(std::to_string(k));
        Document(u"{" + n + u"}", u"{F}", u"d" + n + u".txt", kA);
    }
    Build();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove_all(Out());
        engine.m_nSaveFailures = 0;
        app.m_nRecoveredCount = 0;
        tree->state = sharepoint::kChecked;
        sharepoint::SetChildCheckState(*tree);
        const testsupport::LinkStandIn stand_in(c.by_descriptor, c.through_proc);
        engine.SaveCheckedTreeItems(*tree);
        EXPECT_EQ(engine.m_nSaveFailures, 0u);
        EXPECT_EQ(app.m_nRecoveredCount.load(), kDocuments);
        EXPECT_EQ(Files(Out()).size(), kDocuments);
    }
}

// While the user is asked whether to stop, the save writes and names nothing more: the walk waits at its next
// document and a Yes stops it there, so exactly the documents before the question are saved.
TEST_F(SiteSave, NothingMoreIsSavedWhileTheStopQuestionIsOpen) {
    Web(u"{T}", u"", u"Top");
    List(u"{T}", u"{L}", u"Docs");
    Folder(u"{F}", u"{R}", u"{L}", u"F");
    for (int k = 0; k < 200; ++k) {
        Document(u"{" + platform::Widen(std::to_string(k)) + u"}", u"{F}",
                 u"d" + platform::Widen(std::to_string(k)) + u".txt", kA);
    }
    Build();
    constexpr std::uint64_t kAsked = 10;
    std::thread answer;
    bool halted = false;
    std::uint64_t saved_while_asked = 0;
    const auto log_lines = sink.on_send;
    sink.on_send = [&](unsigned message, platform::WPARAM wparam, platform::LPARAM lparam) {
        log_lines(message, wparam, lparam);
        if (message != platform::WM_RECORD_COUNT || app.m_nRecoveredCount.load() != kAsked) return;
        // Stop pressed: the question opens, and the user answers Yes once the save has come to a halt.
        app.m_jobPause.Hold();
        answer = std::thread([&] {
            const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(20);
            while (app.m_jobPause.Waiting() == 0 && std::chrono::steady_clock::now() < give_up) std::this_thread::yield();
            halted = app.m_jobPause.Waiting() != 0;
            saved_while_asked = app.m_nRecoveredCount.load();
            app.m_bStopJob = true;
            app.m_jobPause.Release();
        });
    };
    const auto tally = engine.SaveCheckedTreeItems(*tree);
    answer.join();
    app.m_bStopJob = false;
    EXPECT_TRUE(halted);
    EXPECT_TRUE(tally.stopped);
    EXPECT_EQ(saved_while_asked, kAsked);
    EXPECT_EQ(app.m_nRecoveredCount.load(), kAsked);
    EXPECT_EQ(Files(Out()).size(), kAsked);
}

// The documents are written on several threads but named in tree order: many documents of one folder whose
// names clash (equal names, a name that is another's numbered form, a name that differs only in case, a
// folder that wants a document's name) get the names and log lines of a save that writes one at a time.
TEST_F(SiteSave, ClashingNamesInOneFolderAreNumberedInTreeOrder) {
    struct Case {
        const char* name;
        std::vector<std::u16string> leaves;  // the folder's documents, in tree order
        std::vector<std::u16string> given;   // the names they get, in the same order
    };
    std::vector<std::u16string> many_given{u"a.txt"};
    for (int n = 1; n < 40; ++n) many_given.push_back(u"a[" + platform::Widen(std::to_string(n)) + u"].txt");
    const Case cases[] = {
        {"one name many times", std::vector<std::u16string>(40, u"a.txt"), many_given},
        {"numbered forms met before their plain name",
         {u"a[2].txt", u"b.txt", u"a.txt", u"a[1].txt", u"a.txt", u"a.txt", u"a[4].txt", u"a.txt", u"b.txt",
          u"a.txt", u"c.txt", u"a[6].txt", u"a.txt", u"a.txt"},
         {u"a[2].txt", u"b.txt", u"a.txt", u"a[1].txt", u"a[3].txt", u"a[4].txt", u"a[4][1].txt", u"a[5].txt",
          u"b[1].txt", u"a[6].txt", u"c.txt", u"a[6][1].txt", u"a[7].txt", u"a[8].txt"}},
        {"names that differ in case and in characters made safe",
         {u"Doc.txt", u"doc.txt", u"DOC.txt", u"doc.txt", u"x/y.txt", u"x_y.txt", u"x\\y.txt", u"Отчёт.txt",
          u"Отчёт.txt", u"отчёт.txt", u"doc.txt.incomplete", u"doc.txt"},
         {u"Doc.txt", u"doc.txt", u"DOC.txt", u"doc[1].txt", u"x_y.txt", u"x_y[1].txt", u"x_y[2].txt", u"Отчёт.txt",
          u"Отчёт[1].txt", u"отчёт.txt", u"doc.txt.incomplete", u"doc[2].txt"}},
    };
    Web(u"{T}", u"", u"Top");
    List(u"{T}", u"{L}", u"Docs");
    std::vector<std::u16string> folder_ids;
    for (std::size_t c = 0; c < std::size(cases); ++c) {
        const std::u16string folder = u"{F" + platform::Widen(std::to_string(c)) + u"}";
        Folder(folder, u"{R}", u"{L}", u"F" + platform::Widen(std::to_string(c)));
        for (std::size_t k = 0; k < cases[c].leaves.size(); ++k) {
            Document(folder + u"-" + platform::Widen(std::to_string(k)), folder, cases[c].leaves[k],
                     "document " + std::to_string(k) + " of folder " + std::to_string(c) + std::string(30, '.'));
        }
    }
    Build();
    engine.SaveCheckedTreeItems(*tree);

    for (std::size_t c = 0; c < std::size(cases); ++c) {
        SCOPED_TRACE(cases[c].name);
        // The names a save that writes one document at a time gives: the first free of the safe name and its
        // numbered forms, in tree order.
        ASSERT_EQ(cases[c].given.size(), cases[c].leaves.size());
        std::vector<std::string> expected;
        for (std::size_t k = 0; k < cases[c].given.size(); ++k) {
            expected.push_back(platform::ToUtf8(cases[c].given[k]) + "=document " + std::to_string(k) + " of folder " +
                               std::to_string(c) + std::string(30, '.'));
        }
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(Files(Out() / "Top" / "Docs" / ("F" + std::to_string(c))), expected);
    }
    std::size_t documents = 0;
    for (const Case& c : cases) documents += c.leaves.size();
    EXPECT_EQ(app.m_nRecoveredCount.load(), documents);
    EXPECT_EQ(sink.Count(platform::WM_RECORD_COUNT), documents);
    EXPECT_EQ(engine.m_nSaveFailures, 0u);
}

// A folder that wants the name a document before it took: the document keeps it and the folder goes to its
// substitute, as when the files are written one at a time; a folder made before a document of its name
// pushes the document to a numbered name.
TEST_F(SiteSave, AFolderAndADocumentOfOneNameAreMadeInTreeOrder) {
    Web(u"{T}", u"", u"Top");
    List(u"{T}", u"{L}", u"Docs");
    Folder(u"{F}", u"{R}", u"{L}", u"F");
    for (int k = 0; k < 10; ++k) Document(u"{d" + platform::Widen(std::to_string(k)) + u"}", u"{F}", u"pad.txt", kA);
    Document(u"{x}", u"{F}", u"x", kB);
    Folder(u"{X}", u"{F}", u"{L}", u"x");
    Document(u"{in}", u"{X}", u"in.txt", kS);
    Folder(u"{Y}", u"{F}", u"{L}", u"y");
    Document(u"{y}", u"{F}", u"y", kA2);
    Build();
    engine.SaveCheckedTreeItems(*tree);

    const fs::path f = Out() / "Top" / "Docs" / "F";
    EXPECT_EQ(ReadText(f / "x"), kB);
    EXPECT_EQ(ReadText(f / "y[1]"), kA2);
    EXPECT_TRUE(fs::is_directory(f / "y"));
    EXPECT_EQ(ReadText(Out() / "x" / "in.txt"), kS);  // the substitute of F/x
    EXPECT_TRUE(Logged("  Folder not made: " + (f / "x").string() + " (a file of that name exists); written to " +
                       (Out() / "x").string()));
    EXPECT_EQ(app.m_nRecoveredCount.load(), 13u);
}

// Writes that fail on the writer threads (a size limit cuts every larger document) are logged in tree order
// with the system's reason, counted, and leave no file under a document's name; the list's outcome line
// comes after all of them.
TEST_F(SiteSave, FailedWritesOnTheWriterThreadsAreLoggedInTreeOrder) {
    const std::string big = kA + std::string(400, 'z');
    Web(u"{T}", u"", u"Top");
    List(u"{T}", u"{L}", u"Docs");
    Folder(u"{F}", u"{R}", u"{L}", u"F");
    std::vector<std::string> expected_log;
    for (int k = 0; k < 30; ++k) {
        const std::u16string leaf = u"d" + platform::Widen(std::to_string(k)) + u".txt";
        const bool too_big = k % 3 == 1;
        Document(u"{" + leaf + u"}", u"{F}", leaf, too_big ? big : kB);
        if (too_big) {
            expected_log.push_back("  Not written: " + (Out() / "Top" / "Docs" / "F" / platform::ToUtf8(leaf)).string() +
                                   " (File too large)");
        }
    }
    expected_log.push_back("  Docs:10 item(s) not written");
    Build();
    {
        NoFileGrowth limit(200);
        engine.SaveCheckedTreeItems(*tree);
    }
    std::vector<std::string> logged;
    for (const auto& line : log) {
        if (line.rfind("  Not written", 0) == 0 || line.rfind("  Docs:", 0) == 0) logged.push_back(line);
    }
    EXPECT_EQ(logged, expected_log);
    EXPECT_EQ(engine.m_nSaveFailures, 10u);
    EXPECT_EQ(app.m_nRecoveredCount.load(), 20u);
    for (const auto& entry : fs::recursive_directory_iterator(Out())) {
        if (entry.is_regular_file()) {
            EXPECT_EQ(ReadText(entry.path()), kB) << entry.path();
        }
    }
}

// A stop asked for while a document's messages are sent (its progress message, or its count) ends the save
// right after that document, as when the files are written one at a time: exactly the documents before it
// and itself are named, nothing else is left in the folders, the folders saved whole are unchecked and the
// site keeps its check (partly, when a folder of it was saved whole).
TEST_F(SiteSave, AStopAtADocumentOfAThreadedSaveNamesExactlyTheDocumentsUpToIt) {
    struct Case {
        const char* name;
        unsigned message;
        int at;  // the document (counted from 1) whose message asks for the stop
    };
    const Case cases[] = {
        {"count of the first", platform::WM_RECORD_COUNT, 1},
        {"count in the second folder", platform::WM_RECORD_COUNT, 23},
        {"count of the last but one", platform::WM_RECORD_COUNT, 59},
        {"count of the last of the first folder", platform::WM_RECORD_COUNT, 20},
        {"progress of the seventh", platform::WM_JOB_PROGRESS, 7},
        {"progress in the third folder", platform::WM_JOB_PROGRESS, 45},
    };
    Web(u"{T}", u"", u"Top");
    List(u"{T}", u"{L}", u"Docs");
    std::vector<std::string> order;  // "folder/name" of every document in tree order
    for (int f = 0; f < 3; ++f) {
        const std::u16string folder = u"F" + platform::Widen(std::to_string(f));
        Folder(u"{" + folder + u"}", u"{R}", u"{L}", folder);
        for (int k = 0; k < 20; ++k) {
            const std::u16string leaf = u"d" + platform::Widen(std::to_string(k)) + u".txt";
            Document(u"{" + folder + leaf + u"}", u"{" + folder + u"}", leaf, kA);
            order.push_back(platform::ToUtf8(folder + u"/" + leaf) + "=" + kA);
        }
    }
    Build();
    const auto log_lines = sink.on_send;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove_all(Out());
        log.clear();
        engine.m_nSaveFailures = 0;
        app.m_nRecoveredCount = 0;
        app.m_bStopJob = false;
        engine.BeginJob();
        tree->state = sharepoint::kChecked;
        sharepoint::SetChildCheckState(*tree);
        int seen = 0;
        sink.on_send = [&](unsigned message, platform::WPARAM wparam, platform::LPARAM lparam) {
            log_lines(message, wparam, lparam);
            // A document's progress message says where the save is: at that document.
            const bool counts = message == platform::WM_RECORD_COUNT ||
                                (wparam == platform::kProgressAt && lparam == seen + 1);
            if (message == c.message && counts && ++seen == c.at) app.m_bStopJob = true;
        };
        const auto tally = engine.SaveCheckedTreeItems(*tree);
        sink.on_send = log_lines;

        EXPECT_TRUE(tally.stopped);
        EXPECT_EQ(app.m_nRecoveredCount.load(), static_cast<std::uint64_t>(c.at));
        EXPECT_EQ(engine.m_nSaveFailures, 0u);
        const std::vector<std::string> expected(order.begin(), order.begin() + c.at);
        std::vector<std::string> sorted_expected = expected;
        std::sort(sorted_expected.begin(), sorted_expected.end());
        EXPECT_EQ(Files(Out() / "Top" / "Docs"), sorted_expected);
        for (int f = 0; f < 3; ++f) {
            const std::u16string folder = u"F" + platform::Widen(std::to_string(f));
            EXPECT_EQ(At({u"Top", u"Docs", folder}).state,
                      c.at >= 20 * (f + 1) ? sharepoint::kUnchecked : sharepoint::kChecked) << f;
        }
        EXPECT_EQ(At({u"Top"}).state, c.at >= 20 ? sharepoint::kPartlyChecked : sharepoint::kChecked);
        EXPECT_EQ(sink.Count(platform::WM_JOB_ENDED), static_cast<std::size_t>(&c - cases + 1));
    }
    app.m_bStopJob = false;
}

}  // namespace
