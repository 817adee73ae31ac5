// Safe names, the numbering rule, the 255-byte limit and the no-overwrite creation of files and folders.
#include <gtest/gtest.h>

#include <fstream>

#include "platform/text.h"
#include "sharepoint/output_names.h"
#include "tests/support/page_builder.h"

namespace {

using sharepoint::NumberedName;
using sharepoint::SafeName;
using sharepoint::Utf8Length;

std::u16string Repeat(std::u16string_view unit, int n) {
    std::u16string out;
    for (int i = 0; i < n; ++i) out += unit;
    return out;
}

// A name read from the data file and the safe name it must give.
struct NameCase {
    const char* name;
    std::u16string in;
    std::u16string out;
};

TEST(SafeName, Cases) {
    const NameCase cases[] = {
        {"separators", u"a/b\\c.txt", u"a_b_c.txt"},
        {"bar becomes a blank", u"Q1|Q2", u"Q1 Q2"},
        {"control characters and NUL", std::u16string(u"tab\there\0x", 10), u"tab_here_x"},
        {"empty", u"", u"_"},
        {"dot", u".", u"_"},
        {"dot dot", u"..", u"__"},
        {"dots inside a name are kept", u"..hidden..txt", u"..hidden..txt"},
        {"non-Latin characters are kept", u"Отчёт 年度.docx", u"Отчёт 年度.docx"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(SafeName(c.in), c.out);
    }
}

TEST(SafeName, LongNamesKeepTheirExtensionWithin255Bytes) {
    const NameCase cases[] = {
        {"ASCII", Repeat(u"a", 300) + u".docx", Repeat(u"a", 250) + u".docx"},
        {"two-byte letters", Repeat(u"я", 200) + u".txt", Repeat(u"я", 125) + u".txt"},
        {"a surrogate pair is never split", Repeat(u"\U0001F600", 100) + u".txt", Repeat(u"\U0001F600", 62) + u".txt"},
        {"an extension too long to keep is cut like the rest", u"a." + Repeat(u"b", 300), u"a." + Repeat(u"b", 253)},
        {"exactly 255 bytes is left alone", Repeat(u"c", 251) + u".txt", Repeat(u"c", 251) + u".txt"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto out = SafeName(c.in);
        EXPECT_EQ(out, c.out);
        EXPECT_LE(Utf8Length(out), sharepoint::kMaxNameBytes);
        EXPECT_EQ(platform::FromUtf8(platform::ToUtf8(out)), out);  // no half character left
    }
    const auto numbered = NumberedName(SafeName(Repeat(u"a", 300) + u".docx"), 12);
    EXPECT_EQ(numbered, Repeat(u"a", 246) + u"[12].docx");

    // Halves of surrogate pairs without their other half (damaged names) are written as U+FFFD, 3 bytes each.
    for (const std::u16string half : {u"\xD800", u"\xDC00"}) {
        const auto out = SafeName(Repeat(half, 100) + u".txt");
        EXPECT_EQ(Utf8Length(out), platform::ToUtf8(out).size());
        EXPECT_LE(platform::ToUtf8(out).size(), sharepoint::kMaxNameBytes);
        EXPECT_EQ(out.substr(out.size() - 4), u".txt");
    }
}

// The length is counted without writing the text; it must be what the path gets, surrogates included.
TEST(Utf8Length, CountsWhatTheUtf8TextTakes) {
    const std::u16string texts[] = {
        u"", u"plain.txt", u"Отчёт 年度.txt", u"\U0001F600 face", std::u16string(1, char16_t(0xD83D)),
        std::u16string(1, char16_t(0xDE00)) + u"x", std::u16string{char16_t(0xDE00), char16_t(0xD83D)},
        u"end" + std::u16string(1, char16_t(0xD83D)), std::u16string{char16_t(0x7F), char16_t(0x80), char16_t(0x7FF),
                                                                  char16_t(0x800), char16_t(0xFFFF)},
    };
    for (const std::u16string& text : texts) {
        EXPECT_EQ(Utf8Length(text), platform::ToUtf8(text).size()) << platform::ToUtf8(text);
    }
}

TEST(NumberedName, NumberGoesBeforeTheLastExtension) {
    EXPECT_EQ(NumberedName(u"report.final.docx", 1), u"report.final[1].docx");
    EXPECT_EQ(NumberedName(u"README", 3), u"README[3]");
    EXPECT_EQ(NumberedName(u".bashrc", 2), u".bashrc[2]");
}

TEST(IsInsideFolder, Cases) {
    EXPECT_TRUE(sharepoint::IsInsideFolder(u"/out", u"/out/a/b.txt"));
    EXPECT_TRUE(sharepoint::IsInsideFolder(u"/out/", u"/out/a"));
    EXPECT_FALSE(sharepoint::IsInsideFolder(u"/out", u"/out/../etc/passwd"));
    EXPECT_FALSE(sharepoint::IsInsideFolder(u"/out", u"/outside/x"));
    EXPECT_TRUE(sharepoint::IsInsideFolder(u"/out", sharepoint::JoinPath(u"/out", u"../../etc")));
}

std::string Contents(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

TEST(CreateNewFile, NeverOverwritesAndNumbersClashes) {
    testsupport::TempDir dir;
    const auto folder = platform::FromUtf8(dir.Path().string());
    for (const char* text : {"first", "second", "third"}) {
        auto created = sharepoint::CreateNewFile(folder, u"a.txt");
        ASSERT_NE(created.file, nullptr) << created.error;
        std::fputs(text, created.file);
        std::fclose(created.file);
    }
    EXPECT_EQ(Contents(dir / "a.txt"), "first");
    EXPECT_EQ(Contents(dir / "a[1].txt"), "second");
    EXPECT_EQ(Contents(dir / "a[2].txt"), "third");

    // A folder of the same name counts as taken as well.
    std::filesystem::create_directory(dir / "b.txt");
    auto beside_folder = sharepoint::CreateNewFile(folder, u"b.txt");
    ASSERT_NE(beside_folder.file, nullptr);
    std::fclose(beside_folder.file);
    EXPECT_TRUE(std::filesystem::is_regular_file(dir / "b[1].txt"));
}

TEST(CreateNewFile, GivesUpAfterTheLastNumberAndSaysSo) {
    testsupport::TempDir dir;
    const auto folder = platform::FromUtf8(dir.Path().string());
    std::ofstream(dir / "c.txt").put('x');
    for (int n = 1; n <= sharepoint::kMaxNumberedTries; ++n) {
        std::ofstream(dir / ("c[" + std::to_string(n) + "].txt")).put('x');
    }
    const auto created = sharepoint::CreateNewFile(folder, u"c.txt");
    EXPECT_EQ(created.file, nullptr);
    EXPECT_NE(created.error.find("300"), std::string::npos) << created.error;
}

TEST(MakeNewFolder, NeverReturnsAFolderThatExisted) {
    testsupport::TempDir dir;
    const auto parent = platform::FromUtf8(dir.Path().string());
    const auto first = sharepoint::MakeNewFolder(parent, u"Docs");
    const auto second = sharepoint::MakeNewFolder(parent, u"Docs");
    EXPECT_EQ(first, parent + u"/Docs");
    EXPECT_EQ(second, parent + u"/Docs[1]");
    std::string why;
    EXPECT_TRUE(sharepoint::MakeFolder(first, &why));  // an existing folder is used as it is
    std::ofstream(dir / "file").put('x');
    EXPECT_FALSE(sharepoint::MakeFolder(parent + u"/file", &why));
}

}  // namespace
