// Version detection: the probe's sorting of a file, and the reader choice for every version pair of the table,
// pairs that no row lists (the source-version question), and a reader that fails.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>

#include "mdf/version_detection.h"
#include "platform/text.h"
#include "tests/mdf/catalog_2005_fixture.h"
#include "tests/support/descriptor_limit.h"

namespace {

using catalog2005::Database;
using testsupport::TempDir;

enum class Reader { Full2005, SharePoint, Catalog2000 };

struct PairRow {
    std::uint16_t current;
    std::vector<std::uint16_t> created;
    bool sql2005, sql2000, sql2008, sql2012, converted, created2000;
    bool reads_2000;
};

// The version-pair table as the product defines it: flags set and reader, row by row.
const std::vector<PairRow> kRows = {
    {655, {655, 611}, true, false, true, false, false, false, false},
    {655, {539}, true, false, true, false, true, true, false},
    {611, {611, 587}, true, false, false, false, false, false, false},
    {611, {539, 515}, true, false, false, false, true, true, false},
    {539, {539, 515, 611, 0}, false, true, false, false, false, true, true},
    {661, {661, 655, 643, 611}, true, false, true, false, false, false, false},
    {643, {643}, true, false, true, false, false, false, false},
    {661, {539, 515}, true, false, true, false, true, true, false},
    {705, {705, 679, 661, 655, 611}, true, false, true, true, false, false, false},
    {705, {539, 515}, true, false, true, true, true, true, false},
    {706, {706, 705, 661, 655, 611}, true, false, true, true, false, false, false},
    {706, {539, 515}, true, false, true, true, true, true, false},
    {700, {700, 661, 655, 611}, true, false, true, true, false, false, false},
    {700, {539, 515}, true, false, true, true, true, true, false},
};

// A 2005-format catalogue with one SharePoint table and one other table: the full reader lists both, the
// SharePoint reader only the first, the 2000 reader neither.
Database TwoTables() {
    Database db;
    db.Object(101, 1, "U ", u"AllDocs");
    db.Object(102, 1, "U ", u"Other");
    return db;
}

struct ReaderRun {
    ReaderRun(const TempDir& dir, Database db, std::uint16_t current, std::uint16_t created, bool document_mode,
        const std::string& name = "v.mdf") {
        app.m_strDataFilePath = platform::FromUtf8(db.Write(dir, current, created, name));
        app.m_bDocumentMode = document_mode;
        if (!engine.OpenDataFile()) throw std::runtime_error("open");
        result = engine.ReadCatalogForVersion();
    }
    Reader ReaderThatRan() const {
        bool all = false, other = false;
        for (const auto& t : engine.m_lstTables) {
            all |= t.m_pszName == u"dbo.AllDocs";
            other |= t.m_pszName == u"dbo.Other";
        }
        return other ? Reader::Full2005 : all ? Reader::SharePoint : Reader::Catalog2000;
    }
    platform::SharedState app;
    platform::RecordingSink sink;
    platform::SilentPrompts prompts;
    mdf::CRecoveryEngine engine{app, &sink, &prompts};
    bool result = false;
};

TEST(VersionTable, EveryListedPairSetsItsFlagsAndRunsItsReader) {
    TempDir dir;
    for (const auto& row : kRows) {
        for (auto created : row.created) {
            for (bool document_mode : {false, true}) {
                SCOPED_TRACE(std::to_string(row.current) + "/" + std::to_string(created) +
                             (document_mode ? " document recovery" : " complete repair"));
                ReaderRun run(dir, TwoTables(), row.current, created, document_mode);
                const auto& a = run.app;
                EXPECT_EQ(a.m_dwVersionPair, row.current | (std::uint32_t{created} << 16));
                EXPECT_EQ(a.m_bSql2005Catalog, row.sql2005);
                EXPECT_EQ(a.m_bSql2000, row.sql2000);
                EXPECT_EQ(a.m_bSql2008Catalog, row.sql2008);
                EXPECT_EQ(a.m_bSql2012Catalog, row.sql2012);
                EXPECT_EQ(a.m_bConvertedFrom2000, row.converted);
                EXPECT_EQ(a.m_bCreatedOn2000, row.created2000);
                EXPECT_EQ(run.prompts.version_dialog_count, 0);
                const Reader want = row.reads_2000 ? Reader::Catalog2000
                                    : document_mode ? Reader::SharePoint
                                                    : Reader::Full2005;
                EXPECT_EQ(run.ReaderThatRan(), want);
                if (!row.reads_2000) {
                    EXPECT_TRUE(run.result);
                    EXPECT_FALSE(a.m_bFileInUse);
                }
            }
        }
    }
}

TEST(VersionTable, LookupMatchesTheProductTable) {
    for (const auto& row : kRows) {
        for (auto created : row.created) {
            const auto found = mdf::FindVersionRow(row.current, created);
            ASSERT_TRUE(found) << row.current << "/" << created;
            EXPECT_EQ(found->reader == mdf::CatalogReader::Catalog2000, row.reads_2000);
        }
    }
}

TEST(VersionTable, UnlistedPairsAskForTheSourceVersion) {
    TempDir dir;
    const std::pair<std::uint16_t, std::uint16_t> pairs[] = {{662, 662}, {643, 611}, {611, 600}, {684, 684},
                                                             {679, 679}, {655, 515}, {0, 0}};
    for (const auto& [current, created] : pairs) {
        SCOPED_TRACE(std::to_string(current) + "/" + std::to_string(created));
        EXPECT_FALSE(mdf::FindVersionRow(current, created));
        ReaderRun run(dir, TwoTables(), current, created, false);
        EXPECT_FALSE(run.result);  // the question was cancelled
        EXPECT_EQ(run.prompts.version_dialog_count, 1);
        EXPECT_TRUE(run.app.m_bFileInUse);
        // The user hears why before being asked.
        EXPECT_EQ(run.prompts.message_count, 1);
        EXPECT_EQ(run.prompts.last_text.rfind(u"This file is not a SQL Server data file of a known version", 0), 0u);
        EXPECT_TRUE(run.engine.m_lstTables.empty());
    }
}

// Answers the source-version question with one of its entries.
class ChoosingPrompts final : public platform::IUserPrompts {
public:
    explicit ChoosingPrompts(bool layout_2005) : layout_2005_(layout_2005) {}
    void ShowMessage(const std::u16string&, const std::u16string& text) override { messages.push_back(text); }
    bool SelectSourceVersion(platform::SharedState& state) override {
        state.m_bLayout2005 = layout_2005_;
        state.m_bSql2005Catalog = layout_2005_;
        state.m_bSql2008Catalog = layout_2005_;
        state.m_bSql2000 = !layout_2005_;
        return true;
    }
    std::vector<std::u16string> messages;

private:
    bool layout_2005_;
};

TEST(VersionTable, ChosenSourceVersionPicksTheReader) {
    TempDir dir;
    {
        SCOPED_TRACE("2005 layout chosen");
        platform::SharedState app;
        ChoosingPrompts prompts(true);
        mdf::CRecoveryEngine engine(app, nullptr, &prompts);
        app.m_strDataFilePath = platform::FromUtf8(TwoTables().Write(dir, 662, 662, "a.mdf"));
        ASSERT_TRUE(engine.OpenDataFile());
        EXPECT_TRUE(engine.ReadCatalogForVersion());
        EXPECT_EQ(engine.m_lstTables.size(), 2u);
    }
    {
        SCOPED_TRACE("2000 layout chosen: its reader finds no catalogue in this file");
        platform::SharedState app;
        platform::RecordingSink sink;
        ChoosingPrompts prompts(false);
        mdf::CRecoveryEngine engine(app, &sink, &prompts);
        app.m_strDataFilePath = platform::FromUtf8(TwoTables().Write(dir, 662, 662, "b.mdf"));
        ASSERT_TRUE(engine.OpenDataFile());
        EXPECT_FALSE(engine.ReadCatalogForVersion());
        // Why the question came, then what the chosen reader found.
        ASSERT_EQ(prompts.messages.size(), 2u);
        EXPECT_EQ(prompts.messages[0].rfind(u"This file is not a SQL Server data file of a known version", 0), 0u);
        EXPECT_EQ(prompts.messages[1], u"Invalid Database file version.\nPlease select the appropriate Database file version.");
        EXPECT_EQ(app.m_strLogLine, u"Invalid Database File Version.");
    }
}

// A damaged boot page is said to be damaged, not taken for a file of no known version: the version is asked, the
// chosen reader reads the catalogue, and the damage report counts the page. A boot page whose checksum fails
// while its version words are whole is read, and counted all the same.
TEST(VersionTable, ADamagedBootPageIsSaidAndCounted) {
    struct Case {
        const char* what;
        std::function<void(std::vector<std::uint8_t>& boot)> damage;
        int version_questions;
        std::u16string first_message;
        std::u16string boot_damage;
    };
    const Case cases[] = {
        {"zeroed", [](std::vector<std::uint8_t>& boot) { std::fill(boot.begin(), boot.end(), 0); }, 1,
         u"The boot page of this file (page 9) is damaged (no page header): the file's version cannot be read from it."
         u"\nIf you know which SQL Server version made it, choose that version next; otherwise select another file.",
         u"no page header"},
        {"another page's id, version words zeroed",
         [](std::vector<std::uint8_t>& boot) {
             boot[32] = 10;
             boot[100] = boot[101] = boot[102] = boot[103] = 0;
         },
         1, u"The boot page of this file (page 9) is damaged (holds page 10): the file's version cannot be read from it."
            u"\nIf you know which SQL Server version made it, choose that version next; otherwise select another file.",
         u"holds page 10"},
        {"a checksum that fails, version words whole",
         [](std::vector<std::uint8_t>& boot) {
             boot[4] = 0x00;
             boot[5] = 0x02;  // the page carries a checksum, and it is 0
             boot[300] = 7;
         },
         0, u"", u"checksum mismatch"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir dir;
        const std::string path = TwoTables().Write(dir, 655, 655);
        std::fstream file(path, std::ios::in | std::ios::out | std::ios::binary);
        std::vector<std::uint8_t> boot(8192);
        file.seekg(9 * 8192);
        file.read(reinterpret_cast<char*>(boot.data()), static_cast<std::streamsize>(boot.size()));
        c.damage(boot);
        file.seekp(9 * 8192);
        file.write(reinterpret_cast<const char*>(boot.data()), static_cast<std::streamsize>(boot.size()));
        file.close();

        platform::SharedState app;
        ChoosingPrompts prompts(true);
        mdf::CRecoveryEngine engine(app, nullptr, &prompts);
        app.m_strDataFilePath = platform::FromUtf8(path);
        ASSERT_TRUE(engine.OpenDataFile());
        EXPECT_TRUE(engine.ReadCatalogForVersion());
        EXPECT_EQ(engine.m_lstTables.size(), 2u);
        ASSERT_EQ(prompts.messages.size(), static_cast<std::size_t>(c.version_questions));
        if (c.version_questions != 0) {
            EXPECT_EQ(prompts.messages[0], c.first_message);
        }
        EXPECT_EQ(engine.m_strBootPageDamage, c.boot_damage);
        EXPECT_GE(engine.ReportDamage(), 1u);
    }
}

// What the user is told when a file yields no table, by the cause: no data file at all (too short for a boot
// page, or text), a boot page that names no known version (before the version question), or a known version
// whose catalogue lists no table. A file that is no data file ends at its first message: no version question.
TEST(VersionTable, FailedReaderIsReported) {
    enum class Body { Built, Text };
    struct Case {
        const char* what;
        Body body;
        std::uint64_t file_size;  // the file is cut (or its text written) to this many bytes; 0 keeps a built one whole
        std::uint16_t current;
        int version_questions;
        std::u16string text_start;
        std::u16string log_line;
    };
    const std::u16string too_short = u"This file is not a SQL Server data file: at 100 bytes it is too short to hold a boot page.";
    const std::u16string text = u"This file is not a SQL Server data file: its first page holds no zero byte, as text "
                                u"does; a data file's page header always holds some.";
    const Case cases[] = {
        {"a file shorter than the boot page", Body::Built, 100, 655, 0, too_short + u"\nPlease select another file.",
         too_short},
        {"an empty file", Body::Text, 0, 0, 0,
         u"This file is not a SQL Server data file: at 0 bytes it is too short to hold a boot page.",
         u"This file is not a SQL Server data file: at 0 bytes it is too short to hold a boot page."},
        {"a short text file", Body::Text, 100, 0, 0, too_short, too_short},
        {"a text file as long as a data file", Body::Text, 40 * 8192, 0, 0, text, text},
        {"a boot page naming no known version", Body::Built, 0, 4711, 1,
         u"This file is not a SQL Server data file of a known version: its boot page names version 4711.", u""},
        {"a known version without any table", Body::Built, 0, 655, 0, u"No table was found in 40 pages read.\n",
         u"No table was found in 40 pages read."},
        {"a known version cut before its system pages", Body::Built, 10 * 8192, 655, 0,
         u"No table was found in 10 pages read.\n", u"No table was found in 10 pages read."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir dir;
        Database empty;  // a 2005-format file without any table
        empty.File().PageCount(40);
        const std::string path = empty.Write(dir, c.current, c.current);
        if (c.body == Body::Text) {
            std::ofstream out(path, std::ios::binary | std::ios::trunc);
            const std::string line = "SELECT name, size FROM sys.master_files;\r\n";
            for (std::uint64_t written = 0; written < c.file_size; written += line.size()) {
                out << line.substr(0, static_cast<std::size_t>(std::min<std::uint64_t>(line.size(), c.file_size - written)));
            }
        } else if (c.file_size != 0) {
            std::filesystem::resize_file(path, c.file_size);
        }
        platform::SharedState app;
        platform::RecordingSink sink;
        platform::SilentPrompts prompts;
        mdf::CRecoveryEngine engine{app, &sink, &prompts};
        app.m_strDataFilePath = platform::FromUtf8(path);
        ASSERT_TRUE(engine.OpenDataFile());
        EXPECT_FALSE(engine.ReadCatalogForVersion());
        EXPECT_TRUE(app.m_bFileInUse);
        EXPECT_EQ(prompts.version_dialog_count, c.version_questions);
        EXPECT_EQ(prompts.message_count, 1);
        EXPECT_EQ(prompts.last_title, u"");
        EXPECT_EQ(prompts.last_text.rfind(c.text_start, 0), 0u) << platform::ToUtf8(prompts.last_text);
        EXPECT_EQ(app.m_strLogLine, c.log_line);
    }
}

TEST(VersionProbe, SortsTheFileAndClearsBothFlagsFirst) {
    TempDir dir;
    platform::SharedState app;
    mdf::CRecoveryEngine engine(app);
    int sleeps = 0;
    engine.m_sleep = [&](std::chrono::milliseconds) { ++sleeps; };
    struct Case {
        std::uint16_t version;
        bool is2000, is2005;
    };
    // In this order: each probe must not keep what the one before found.
    const Case cases[] = {{611, false, true}, {539, true, false}, {1000, false, false}, {515, true, false},
                          {662, false, true}, {587, false, false}, {706, false, true}};
    int n = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.version);
        const auto path = dir / ("p" + std::to_string(n++) + ".mdf");
        testsupport::FileBuilder().BootVersion(c.version, 1).WriteTo(path);
        app.m_strDataFilePath = platform::FromUtf8(path.string());
        EXPECT_TRUE(engine.DetectDatabaseVersion());
        EXPECT_EQ(app.m_bFileIs2000, c.is2000);
        EXPECT_EQ(app.m_bFileIs2005Plus, c.is2005);
    }
    EXPECT_EQ(sleeps, 0);
    // A busy file is tried six times; a missing one only once, since waiting does not bring it.
    {
        testsupport::DescriptorsUsedUp no_descriptors;
        EXPECT_FALSE(engine.DetectDatabaseVersion());
    }
    EXPECT_EQ(sleeps, 5);
    app.m_strDataFilePath = platform::FromUtf8((dir / "missing.mdf").string());
    EXPECT_FALSE(engine.DetectDatabaseVersion());
    EXPECT_EQ(sleeps, 5);
}

}  // namespace
