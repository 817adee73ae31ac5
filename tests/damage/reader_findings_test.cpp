// Inputs that the fuzz targets and the damage sweep found to break a reader, kept as small hand-built files.
// Most of these faults show only as a sanitizer report, so the cases matter most in the sanitizer build
// (-DBRINDLEMOOR_SANITIZE=ON); in the plain build they still check that the reader copes.
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "mdf/recovery_engine.h"
#include "platform/text.h"
#include "tests/support/page_builder.h"

using namespace testsupport;

namespace {

std::vector<std::uint8_t> Concat(std::initializer_list<std::vector<std::uint8_t>> parts) {
    std::vector<std::uint8_t> out;
    for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

// A data file of the given pages opened by a fresh engine.
class DamagedFile {
public:
    explicit DamagedFile(FileBuilder& file) {
        const auto path = dir_ / "damaged.mdf";
        file.WriteTo(path);
        app.m_strDataFilePath = platform::FromUtf8(path.string());
        engine = std::make_unique<mdf::CRecoveryEngine>(app);
        engine->m_sleep = [](std::chrono::milliseconds) {};
        EXPECT_TRUE(engine->OpenDataFile());
    }
    platform::SharedState app;
    std::unique_ptr<mdf::CRecoveryEngine> engine;

private:
    TempDir dir_;
};

}  // namespace

// Large-value records that deliver no bytes (a small root of length 0, a data record of only its header):
// every consumer takes the empty piece without touching its (absent) buffer.
TEST(LargeValueFindings, EmptyPiecesReachEveryConsumer) {
    const auto empty_small_root = Concat({{0x08, 0x00}, LE16(20), LE64(1), LE16(0), LE16(0), {0, 0, 0, 0}});
    const auto empty_data_record = Concat({{0x08, 0x00}, LE16(14), LE64(1), LE16(3)});
    for (const auto& record : {empty_small_root, empty_data_record}) {
        PageBuilder page;
        page.Type(0x0301);
        page.AddRecord(record);
        FileBuilder file;
        file.SetPage(2, page).PageCount(4);
        for (const bool wide : {false, true}) {
            DamagedFile f(file);
            f.engine->m_bWideText = wide;
            const auto text = f.engine->ReadLargeValueText(2 * kPageSize, 0);
            EXPECT_EQ(text.end, mdf::LargeValueEnd::Complete);
            EXPECT_TRUE(text.text.empty());
        }
        DamagedFile f(file);
        std::vector<std::uint8_t> bytes;
        EXPECT_EQ(f.engine->ReadLargeValueBytes(2 * kPageSize, 0, bytes), mdf::LargeValueEnd::Complete);
        EXPECT_TRUE(bytes.empty());
        std::FILE* out = std::tmpfile();
        ASSERT_NE(out, nullptr);
        f.engine->m_hOutputFile = out;
        EXPECT_EQ(f.engine->CopyLargeValueToFile(2 * kPageSize, 0), mdf::LargeValueEnd::Complete);
        f.engine->m_hOutputFile = nullptr;
        std::fclose(out);
    }
}
