// The folders a save keeps open: at most the bound stay open and all close with the output folder, a folder
// let go is reached again name by name (a symbolic link put in its place meanwhile is refused), and a file
// being written keeps its folder even when that folder is let go before the file is named.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "platform/text.h"
#include "sharepoint/output_folder.h"
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
            EXPECT_LE(OpenDescriptors(), before + 1 + sharepoint::OutputFolder::kMaxHeldFolders);
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

}  // namespace
