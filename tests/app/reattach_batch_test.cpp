// The re-attach batch file: golden files byte for byte, the fields that cannot go into a batch line, and
// saving that never leaves a half-written or mistaken file.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <fstream>
#include <iterator>

#include "app/reattach_batch.h"
#include "tests/support/page_builder.h"

namespace {

using app::ReattachInput;
using testsupport::TempDir;

std::string ReadBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

ReattachInput FilledIn() {
    ReattachInput input;
    input.url = u"http://sharepoint.example:8080/sites/team";
    input.damaged_database = u"WSS_Content Old";
    input.damaged_server = u"SPSQL\\SHAREPOINT";
    input.bin_folder = u"C:\\Program Files\\Common Files\\Microsoft Shared\\Web Server Extensions\\12\\bin";
    input.repaired_database = u"Recovered_WSS_Content";
    input.repaired_server = u"SQLHOST\\REPAIR";
    return input;
}

TEST(ReattachBatch, MatchesTheGoldenFiles) {
    struct Case {
        const char* golden;
        bool embedded;
        bool bin_known;
    };
    for (const Case c : {Case{"reattach_full.bat", false, true}, Case{"reattach_embedded.bat", true, true},
                         Case{"reattach_no_bin.bat", false, false}}) {
        SCOPED_TRACE(c.golden);
        ReattachInput input = FilledIn();
        input.embedded_edition = c.embedded;
        if (!c.bin_known) input.bin_folder.clear();
        ASSERT_EQ(app::CheckReattachInput(input), u"");
        const std::string expected = ReadBytes(std::filesystem::path(BM_GOLDEN_DIR) / c.golden);
        ASSERT_FALSE(expected.empty());
        const std::string text = app::BuildReattachBatch(input);
        EXPECT_EQ(text, expected);
        // A Windows text file: no byte-order mark, CR LF everywhere, nothing after the last line.
        EXPECT_EQ(text.rfind("@echo off\r\n", 0), 0u);
        EXPECT_NE(text.back(), '\n');
        for (std::size_t i = 0; i < text.size(); ++i) {
            if (text[i] == '\n') {
                ASSERT_EQ(text[i - 1], '\r') << "bare LF at " << i;
            }
        }
    }
}

TEST(ReattachBatch, RefusesFieldsThatWouldBreakABatchLine) {
    struct Case {
        const char* what;
        std::u16string ReattachInput::*field;
        std::u16string value;
        std::u16string message_part;  // the field's name, or the empty-field request
    };
    const Case cases[] = {
        {"empty URL", &ReattachInput::url, u"", u"Please Enter website url"},
        {"empty database", &ReattachInput::damaged_database, u"", u"Please Enter website url"},
        {"empty server", &ReattachInput::damaged_server, u"", u"Please Enter website url"},
        {"ampersand chains a command", &ReattachInput::url, u"http://a/&del x", u"web application URL"},
        {"pipe", &ReattachInput::damaged_database, u"a|b", u"corrupted database name"},
        {"redirection", &ReattachInput::damaged_server, u"srv>out", u"SQL Server instance name"},
        {"input redirection", &ReattachInput::damaged_server, u"srv<in", u"SQL Server instance name"},
        {"caret escape", &ReattachInput::damaged_database, u"a^b", u"corrupted database name"},
        {"percent expands", &ReattachInput::url, u"http://a/%PATH%", u"web application URL"},
        {"quote ends the argument", &ReattachInput::damaged_database, u"a\" & del", u"corrupted database name"},
        {"bang expands", &ReattachInput::damaged_database, u"a!b!", u"corrupted database name"},
        {"line break starts a command", &ReattachInput::damaged_database, u"a\r\ndel x", u"corrupted database name"},
        {"tab", &ReattachInput::damaged_server, u"a\tb", u"SQL Server instance name"},
        {"non-ASCII is never cut to a low byte", &ReattachInput::damaged_database, u"Inhalt\u00c4", u"corrupted database name"},
        {"U+0126 would become '&'", &ReattachInput::url, u"http://a/\u0126", u"web application URL"},
        {"repaired name", &ReattachInput::repaired_database, u"R&D", u"recovered database name"},
        {"repaired server", &ReattachInput::repaired_server, u"h|x", u"recovered database's server name"},
        {"bin folder", &ReattachInput::bin_folder, u"C:\\a\"b", u"SharePoint bin folder"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ReattachInput input = FilledIn();
        input.*c.field = c.value;
        const std::u16string message = app::CheckReattachInput(input);
        EXPECT_NE(message.find(c.message_part), std::u16string::npos);
    }
    ReattachInput unknown = FilledIn();
    unknown.repaired_database.clear();
    EXPECT_FALSE(app::CheckReattachInput(unknown).empty()) << "without the repaired database nothing is written";
}

TEST(ReattachBatch, SavingReplacesWholeOrKeepsTheOlderFile) {
    TempDir dir;
    const auto target = dir / "ssexpress.bat";
    std::string error;
    ASSERT_TRUE(app::WriteFileReplacing(target, "new text", &error)) << error;
    EXPECT_EQ(ReadBytes(target), "new text");
    ASSERT_TRUE(app::WriteFileReplacing(target, "newer", &error)) << error;
    EXPECT_EQ(ReadBytes(target), "newer");

    // A folder that cannot be written: failure with a reason, the older file untouched, no temporary left.
    if (::geteuid() != 0) {
        ::chmod(dir.Path().c_str(), 0500);
        EXPECT_FALSE(app::WriteFileReplacing(target, "lost", &error));
        EXPECT_FALSE(error.empty());
        EXPECT_EQ(ReadBytes(target), "newer");
        ::chmod(dir.Path().c_str(), 0700);
    }
    // A target that is a folder cannot be replaced: failure, the folder stays, the temporary is removed.
    const auto folder = dir / "taken.bat";
    std::filesystem::create_directory(folder);
    error.clear();
    EXPECT_FALSE(app::WriteFileReplacing(folder, "x", &error));
    EXPECT_NE(error.find("taken.bat"), std::string::npos);
    EXPECT_TRUE(std::filesystem::is_directory(folder));
    // A missing folder: failure, nothing created.
    EXPECT_FALSE(app::WriteFileReplacing(dir / "missing" / "a.bat", "x", &error));
    int entries = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(dir.Path())) ++entries;
    EXPECT_EQ(entries, 2) << "only the saved file and the folder remain";
}

}  // namespace
