// The document preview's plain rules: the viewer by extension and the messages for missing helpers, the
// picture and video rectangles, the document a click names, text decoding, and the picture header probe
// with its limits.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "app/preview_picture.h"
#include "app/preview_rules.h"
#include "app/preview_text.h"
#include "platform/text.h"
#include "tests/support/page_builder.h"
#include "tests/support/preview_files.h"

namespace {

using app::PreviewViewer;
using testsupport::Bytes;

TEST(PreviewViewerChoice, ByTheLastExtensionWithoutRegardToCase) {
    const std::pair<const char16_t*, PreviewViewer> cases[] = {
        {u"report.final.PDF", PreviewViewer::Pdf},    {u"README", PreviewViewer::None},
        {u"letter.docx", PreviewViewer::Word},        {u"old.DOT", PreviewViewer::Word},
        {u"deck.PPSX", PreviewViewer::PowerPoint},    {u"show.pps", PreviewViewer::PowerPoint},
        {u"book.XLSX", PreviewViewer::Excel},         {u"sheet.xlw", PreviewViewer::Excel},
        {u"page.aspx", PreviewViewer::Html},          {u"part.webpart", PreviewViewer::Html},
        {u"index.HTM", PreviewViewer::Html},          {u"photo.JPEG", PreviewViewer::Picture},
        {u"scan.tif", PreviewViewer::Picture},        {u"raw.dng", PreviewViewer::Picture},
        {u"main.cpp", PreviewViewer::Text},           {u"exports.def", PreviewViewer::Text},
        {u"notes.txt", PreviewViewer::Text},          {u"config.XML", PreviewViewer::Text},
        {u"clip.WMV", PreviewViewer::Video},          {u"clip.mpg", PreviewViewer::Video},
        {u"song.wav", PreviewViewer::Audio},          {u"song.AIFF", PreviewViewer::Audio},
        {u"archive.tar.gz", PreviewViewer::None},     {u"trailing.", PreviewViewer::None},
        {u"pdf", PreviewViewer::None},                {u".png", PreviewViewer::Picture},
        {u"movie.mp4", PreviewViewer::None},          {u"x.pdf.exe", PreviewViewer::None},
    };
    for (const auto& [name, viewer] : cases) {
        EXPECT_EQ(app::ChoosePreviewViewer(name), viewer) << platform::ToUtf8(name);
    }
}

TEST(PreviewViewerChoice, TheTemporaryFileKeepsOnlyASafeExtension) {
    const std::pair<const char16_t*, const char*> cases[] = {
        {u"report.final.PDF", "pdf"}, {u"README", ""},           {u"a.t-x/t", "txt"},
        {u"a.ÄbC", "bc"},             {u"x.ABCDEFGHIJKLMNOPQRST", "abcdefghijklmnop"},
        {u"../../etc.passwd", "passwd"},
    };
    for (const auto& [name, extension] : cases) {
        EXPECT_EQ(app::PreviewFileExtension(name), extension) << platform::ToUtf8(name);
    }
}

TEST(PreviewViewerChoice, MissingHelpersNameTheirPackage) {
    const std::u16string no_pdf = u"Please install poppler-utils to see the preview of file.";
    const std::u16string no_office = u"Please install LibreOffice (libreoffice-core) to see the preview of file.";
    const app::PreviewTools none;
    const app::PreviewTools pdf_only{"/usr/bin/pdftoppm", ""};
    const app::PreviewTools office_only{"", "/usr/bin/soffice"};
    const app::PreviewTools both{"/usr/bin/pdftoppm", "/usr/bin/soffice"};
    struct Case {
        PreviewViewer viewer;
        const app::PreviewTools& tools;
        std::u16string message;
    };
    const Case cases[] = {
        {PreviewViewer::Pdf, none, no_pdf},          {PreviewViewer::Pdf, pdf_only, u""},
        {PreviewViewer::Word, pdf_only, no_office},  {PreviewViewer::Excel, office_only, no_pdf},
        {PreviewViewer::PowerPoint, both, u""},      {PreviewViewer::Picture, none, u""},
        {PreviewViewer::Text, none, u""},            {PreviewViewer::None, none, u""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(app::MissingViewerMessage(c.viewer, c.tools), c.message) << static_cast<int>(c.viewer);
    }
}

TEST(PreviewGeometry, PicturesAreScaledDownOnlyAndCentred) {
    const app::Rect frame{0, 0, 550, 206};  // the frame's client area less one pixel on each side
    struct Case {
        const char* what;
        int w, h, dpi;
        app::Rect drawn;
    };
    const Case cases[] = {
        {"400 by 300 scaled by 206/300", 400, 300, 96, {138, 0, 412, 206}},
        {"small: natural size, centred", 100, 50, 96, {225, 78, 325, 128}},
        {"one pixel narrower than the frame stays at x 1", 549, 206, 96, {1, 0, 550, 206}},
        {"tall", 100, 1000, 96, {265, 0, 285, 206}},
        {"exact fit", 550, 206, 96, {0, 0, 550, 206}},
        {"at 144 pixels per inch", 100, 50, 144, {200, 65, 350, 140}},
        {"no size", 0, 10, 96, {0, 0, 0, 0}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(app::PictureDrawRect(c.w, c.h, frame, c.dpi, c.dpi), c.drawn) << c.what;
    }
}

TEST(PreviewGeometry, MediaRectangle) {
    struct Case {
        const char* what;
        int w, h, sw, sh;
        app::Rect rect;
    };
    const Case cases[] = {
        {"320 by 240 in 552 by 208: 277 wide at x 137", 552, 208, 320, 240, {137, 10, 414, 198}},
        {"fits: natural size centred", 552, 208, 160, 120, {196, 54, 356, 154}},
        {"wide screen, height bound", 552, 208, 1920, 1080, {91, 10, 460, 198}},
        {"very wide, width bound", 552, 208, 1000, 100, {0, 86, 552, 121}},
        {"audio: no source size", 552, 208, 0, 0, {0, 10, 552, 198}},
        {"a frame lower than both margins", 552, 15, 0, 0, {0, 10, 552, 10}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(app::MediaDestinationRect(c.w, c.h, c.sw, c.sh), c.rect) << c.what;
    }
}

// Site "Team" below the root web with the list "Docs" (A.txt, folder F with D.xls and folder G with H.txt), a
// sub-site "Sub" with its own list "Docs" (E.txt), and the paths Y/X/L.txt both through a sub-site and its list
// and through a list and its folder. Each document carries its own ID.
struct PreviewWebs {
    std::vector<std::unique_ptr<mdf::WebList>> webs;
    PreviewWebs() {
        auto root = Web(u"Root");
        auto team = Web(u"Team");
        auto docs = List(u"Docs");
        docs->m_lstItems.push_back(Doc(u"A.txt", u"0", u"a"));
        auto f = Doc(u"F", u"1", u"f");
        f->m_lstChildren.push_back(Doc(u"D.xls", u"0", u"d"));
        auto g = Doc(u"G", u"1", u"g");
        g->m_lstChildren.push_back(Doc(u"H.txt", u"0", u"h"));
        f->m_lstChildren.push_back(std::move(g));
        docs->m_lstItems.push_back(std::move(f));
        team->m_lstLists.push_back(std::move(docs));
        team->m_lstSubWebs.push_back(WebWithList(u"Sub", u"Docs", Doc(u"E.txt", u"0", u"e")));
        // Sub-site Y with list X holding L.txt, and beside it the site's own list Y with folder X holding L.txt.
        team->m_lstSubWebs.push_back(WebWithList(u"Y", u"X", Doc(u"L.txt", u"0", u"sub-site")));
        auto y_list = List(u"Y");
        auto x_folder = Doc(u"X", u"1", u"x");
        x_folder->m_lstChildren.push_back(Doc(u"L.txt", u"0", u"list"));
        y_list->m_lstItems.push_back(std::move(x_folder));
        team->m_lstLists.push_back(std::move(y_list));
        root->m_lstSubWebs.push_back(std::move(team));
        webs.push_back(std::move(root));
    }
    static std::unique_ptr<mdf::WebList> Web(const char16_t* title) {
        auto web = std::make_unique<mdf::WebList>();
        web->Title = title;
        return web;
    }
    // A web with one list that holds one entry.
    static std::unique_ptr<mdf::WebList> WebWithList(const char16_t* title, const char16_t* list_title,
                                                     std::unique_ptr<mdf::sharepointDocsList> entry) {
        auto web = Web(title);
        auto list = List(list_title);
        list->m_lstItems.push_back(std::move(entry));
        web->m_lstLists.push_back(std::move(list));
        return web;
    }
    static std::unique_ptr<mdf::structAllList> List(const char16_t* title) {
        auto list = std::make_unique<mdf::structAllList>();
        list->tp_Title = title;
        return list;
    }
    static std::unique_ptr<mdf::sharepointDocsList> Doc(const char16_t* name, const char16_t* type, const char16_t* id) {
        mdf::SPServerDocumentData d;
        d.LeafName = name;
        d.TYPE = type;
        d.ID = id;
        return std::make_unique<mdf::sharepointDocsList>(d);
    }
};

TEST(PreviewClickPath, TheClickedNameFollowsTheSelectedTreePath) {
    const PreviewWebs sample;
    const std::u16string caption = u"Share Point Server Sites Documents";
    struct Case {
        const char* what;
        std::vector<std::u16string> click_path;  // the document's name, then the tree path leaf first
        std::u16string id;                       // of the document found; empty: none
    };
    const Case cases[] = {
        {"a document of a list", {u"A.txt", u"Docs", u"Team", caption}, u"a"},
        {"names without regard to case", {u"d.XLS", u"f", u"DOCS", u"team", caption}, u"d"},
        {"two folders down", {u"H.txt", u"G", u"F", u"Docs", u"Team", caption}, u"h"},
        {"a list of a sub-site", {u"E.txt", u"Docs", u"Sub", u"Team", caption}, u"e"},
        {"a sub-site's lists come before the site's own", {u"L.txt", u"X", u"Y", u"Team", caption}, u"sub-site"},
        {"a list of that name is passed over, the folder of that name found", {u"X", u"Y", u"Team", caption}, u"x"},
        {"not there", {u"Z.txt", u"Docs", u"Team", caption}, u""},
        {"a document directly below the site", {u"A.txt", u"Team", caption}, u""},
        {"the caption alone", {u"A.txt", caption}, u""},
        {"a root web's title ends the site search", {u"A.txt", u"Docs", u"Root", caption}, u""},
        {"a folder clicked as if it were a document", {u"F", u"Docs", u"Team", caption}, u"f"},
    };
    for (const Case& c : cases) {
        const mdf::sharepointDocsList* found = app::FindDocumentForPreview(sample.webs, c.click_path);
        EXPECT_EQ(found ? found->m_doc.ID : u"", c.id) << c.what;
    }
}

TEST(PreviewText, DecodingByMarkThenUtf8ThenTheCodePage) {
    struct Case {
        const char* what;
        Bytes bytes;
        bool cut;
        std::u16string text;
        app::TextEncoding encoding;
    };
    const auto B = [](std::initializer_list<int> v) {
        Bytes out;
        for (int b : v) out.push_back(static_cast<std::uint8_t>(b));
        return out;
    };
    const Case cases[] = {
        {"ASCII", testsupport::ToBytes("plain"), false, u"plain", app::TextEncoding::Utf8},
        {"UTF-8 without a mark", testsupport::ToBytes("Gr\xC3\xBC\xC3\x9F" "e"), false, u"Grüße", app::TextEncoding::Utf8},
        {"UTF-8 mark", B({0xEF, 0xBB, 0xBF, 'h', 0xC3, 0xA9}), false, u"hé", app::TextEncoding::Utf8Bom},
        {"UTF-8 mark, a bad byte kept visible", B({0xEF, 0xBB, 0xBF, 'h', 0xFF}), false, u"h\uFFFD",
         app::TextEncoding::Utf8Bom},
        {"UTF-16 LE mark", B({0xFF, 0xFE, 'h', 0, 'i', 0}), false, u"hi", app::TextEncoding::Utf16Le},
        {"UTF-16 BE mark", B({0xFE, 0xFF, 0, 'h', 0, 'i'}), false, u"hi", app::TextEncoding::Utf16Be},
        {"UTF-16 pair", B({0xFF, 0xFE, 0x3D, 0xD8, 0x00, 0xDE}), false, u"\U0001F600", app::TextEncoding::Utf16Le},
        {"UTF-16 high half cut off by the limit", B({0xFF, 0xFE, 'a', 0, 0x3D, 0xD8}), true, u"a",
         app::TextEncoding::Utf16Le},
        {"UTF-16 lone high half at the file's end", B({0xFF, 0xFE, 'a', 0, 0x3D, 0xD8}), false, u"a\uFFFD",
         app::TextEncoding::Utf16Le},
        {"UTF-16 odd last byte", B({0xFF, 0xFE, 'h', 0, 'i'}), false, u"h", app::TextEncoding::Utf16Le},
        {"code page when not UTF-8", testsupport::ToBytes("caf\xE9"), false, u"café", app::TextEncoding::CodePage},
        {"a zero character is shown", B({'a', 0, 'b'}), false, u"a\uFFFDb", app::TextEncoding::Utf8},
        {"a zero in code page text", B({0xE9, 0, 'b'}), false, u"é\uFFFDb", app::TextEncoding::CodePage},
        {"UTF-8 cut by the limit", B({'a', 'b', 0xE2, 0x82}), true, u"ab", app::TextEncoding::Utf8},
        {"the same bytes ending the file", B({'a', 'b', 0xE2, 0x82}), false, u"abâ‚", app::TextEncoding::CodePage},
        {"overlong form", B({0xC0, 0xAF}), false, u"À¯", app::TextEncoding::CodePage},
        {"encoded surrogate", B({0xED, 0xA0, 0x80}), false, u"í\u00A0€", app::TextEncoding::CodePage},
        {"empty", {}, false, u"", app::TextEncoding::Utf8},
    };
    for (const Case& c : cases) {
        const app::PreviewText decoded = app::DecodePreviewText(c.bytes, platform::Windows1252(), c.cut);
        EXPECT_EQ(decoded.text, c.text) << c.what;
        EXPECT_EQ(decoded.encoding, c.encoding) << c.what;
    }
}

TEST(PreviewText, OnlyTheFirstMebibyteIsReadAndACutCharacterIsDropped) {
    testsupport::TempDir dir;
    std::string text(app::kPreviewTextLimit - 1, 'a');
    text += "\xC3\xA9 and more";
    testsupport::WriteFile(dir / "big.txt", testsupport::ToBytes(text));
    app::PreviewText read;
    ASSERT_TRUE(app::ReadPreviewText(dir / "big.txt", platform::Windows1252(), read));
    EXPECT_EQ(read.encoding, app::TextEncoding::Utf8);
    EXPECT_EQ(read.text.size(), app::kPreviewTextLimit - 1);
    EXPECT_FALSE(app::ReadPreviewText(dir / "missing.txt", platform::Windows1252(), read));
}

Bytes Le16(std::uint32_t v) { return {static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8)}; }
Bytes Cat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

TEST(PreviewPicture, HeadersGiveFormatAndPixels) {
    using app::PictureFormat;
    const Bytes jpeg = {0xFF, 0xD8, 0xFF, 0xE0, 0, 6, 'J', 'F', 'I', 'F', 0xFF, 0xFF, 0xC4, 0, 3, 0,
                        0xFF, 0xC0, 0, 11, 8, 0x01, 0x2C, 0x01, 0x90, 1, 1, 0x11, 0};
    const Bytes jpeg_scan_first = {0xFF, 0xD8, 0xFF, 0xDA, 0, 2, 0xFF, 0xC0, 0, 11, 8, 0, 1, 0, 1, 1};
    const Bytes gif_header = Cat({testsupport::ToBytes("GIF89a"), Le16(10), Le16(10), {0x80, 0, 0}, Bytes(6, 0)});
    const auto gif_frame = [](std::uint32_t w, std::uint32_t h) {
        return Cat({{0x2C}, Le16(0), Le16(0), Le16(w), Le16(h), {0x00, 0x08, 0x02, 0x4C, 0x01, 0x00}});
    };
    const Bytes gif = Cat({gif_header, {0x21, 0xF9, 4, 0, 0, 0, 0, 0}, gif_frame(3000, 3000), gif_frame(3000, 3000), {0x3B}});
    const Bytes gif_bomb = Cat({gif_header, gif_frame(65535, 65535), {0x3B}});
    const Bytes bmp = Cat({testsupport::ToBytes("BM"), Bytes(12, 0), testsupport::LE32(40), testsupport::LE32(640),
                           testsupport::LE32(static_cast<std::uint32_t>(-480)), Bytes(20, 0)});
    const Bytes bmp_core = Cat({testsupport::ToBytes("BM"), Bytes(12, 0), testsupport::LE32(12), Le16(32), Le16(16),
                                Le16(1), Le16(24)});
    const Bytes tiff_le = Cat({testsupport::ToBytes("II"), Le16(42), testsupport::LE32(8), Le16(2),
                               Le16(256), Le16(3), testsupport::LE32(1), Le16(100), Le16(0),
                               Le16(257), Le16(4), testsupport::LE32(1), testsupport::LE32(200)});
    const Bytes tiff_be = {'M', 'M', 0, 42, 0, 0, 0, 8, 0, 2, 1, 0, 0, 3, 0, 0, 0, 1, 0, 7, 0, 0,
                           1, 1, 0, 3, 0, 0, 0, 1, 0, 9, 0, 0};
    const Bytes pcx = Cat({{0x0A, 5, 1, 8}, Le16(10), Le16(20), Le16(109), Le16(69), Bytes(116, 0)});
    const Bytes small_png = testsupport::MakePng(4, 4);
    const Bytes tga = Cat({{0, 0, 2}, Bytes(9, 0), Le16(64), Le16(32), {24, 0}});
    struct Case {
        const char* what;
        Bytes bytes;
        const char* extension;
        PictureFormat format;
        std::uint32_t width, height;
        std::uint64_t pixels;
    };
    const Case cases[] = {
        {"PNG", testsupport::MakePng(10, 20), "png", PictureFormat::Png, 10, 20, 200},
        {"PNG declaring 50000 by 50000", testsupport::MakeDeclaredPng(50000, 50000), "png", PictureFormat::Png, 50000,
         50000, 2'500'000'000ull},
        {"PNG cut before its header", Bytes(small_png.begin(), small_png.begin() + 20), "png", PictureFormat::Unknown, 0,
         0, 0},
        {"PNG of no width", testsupport::MakeDeclaredPng(0, 10), "png", PictureFormat::Unknown, 0, 0, 0},
        {"JPEG after fill bytes and a table", jpeg, "jpg", PictureFormat::Jpeg, 400, 300, 120000},
        {"JPEG with its scan before any frame", jpeg_scan_first, "jpg", PictureFormat::Unknown, 0, 0, 0},
        {"GIF: its frames all count", gif, "gif", PictureFormat::Gif, 10, 10, 18'000'000},
        {"GIF: a tiny screen with a huge frame", gif_bomb, "gif", PictureFormat::Gif, 10, 10, 65535ull * 65535},
        {"BMP, rows top down", bmp, "bmp", PictureFormat::Bmp, 640, 480, 307200},
        {"BMP with the old core header", bmp_core, "dib", PictureFormat::Bmp, 32, 16, 512},
        {"TIFF little-endian", tiff_le, "tif", PictureFormat::Tiff, 100, 200, 20000},
        {"TIFF big-endian", tiff_be, "tiff", PictureFormat::Tiff, 7, 9, 63},
        {"PCX", pcx, "pcx", PictureFormat::Pcx, 100, 50, 5000},
        {"PNM with a comment", testsupport::ToBytes("P6\n# made by hand\n 12 34\n255\n"), "ppm", PictureFormat::Pnm, 12,
         34, 408},
        {"Targa by its extension", tga, "tga", PictureFormat::Tga, 64, 32, 2048},
        {"the same bytes under another name", tga, "wbmp", PictureFormat::Unknown, 0, 0, 0},
        {"text", testsupport::ToBytes("hello"), "png", PictureFormat::Unknown, 0, 0, 0},
        {"one byte", {0x89}, "png", PictureFormat::Unknown, 0, 0, 0},
    };
    for (const Case& c : cases) {
        std::istringstream in(std::string(c.bytes.begin(), c.bytes.end()));
        const app::PictureHeader header = app::ProbePicture(in, c.extension);
        EXPECT_EQ(header.format, c.format) << c.what;
        EXPECT_EQ(header.width, c.width) << c.what;
        EXPECT_EQ(header.height, c.height) << c.what;
        EXPECT_EQ(header.pixels, c.pixels) << c.what;
    }
}

TEST(PreviewPicture, LimitsOnPixelsAndFileSize) {
    testsupport::TempDir dir;
    const Bytes huge = testsupport::MakeDeclaredPng(50000, 50000);
    ASSERT_EQ(huge.size(), 60u);
    testsupport::WriteFile(dir / "huge.png", huge);
    testsupport::WriteFile(dir / "fine.png", testsupport::MakePng(100, 100));
    testsupport::WriteFile(dir / "limit.png", testsupport::MakeDeclaredPng(10000, 10000));
    testsupport::WriteFile(dir / "over.png", testsupport::MakeDeclaredPng(10000, 10001));
    testsupport::WriteFile(dir / "text.png", testsupport::ToBytes("not a picture"));
    {
        // Larger than the file limit, though only its first bytes are written (the rest is a hole).
        testsupport::WriteFile(dir / "big.png", testsupport::MakePng(8, 8));
        std::filesystem::resize_file(dir / "big.png", app::kPreviewPictureFileLimit + 1);
    }
    const std::pair<const char*, app::PictureCheck> cases[] = {
        {"huge.png", app::PictureCheck::TooManyPixels}, {"fine.png", app::PictureCheck::Fine},
        {"limit.png", app::PictureCheck::Fine},         {"over.png", app::PictureCheck::TooManyPixels},
        {"text.png", app::PictureCheck::UnknownFormat}, {"big.png", app::PictureCheck::FileTooLarge},
        {"missing.png", app::PictureCheck::Unreadable},
    };
    for (const auto& [name, check] : cases) {
        EXPECT_EQ(app::CheckPictureFile(dir / name, "png").check, check) << name;
    }
}

}  // namespace
