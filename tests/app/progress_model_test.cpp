// The progress protocol on the two bars and the record counter text.
#include "app/progress_model.h"

#include <gtest/gtest.h>

#include <limits>
#include <vector>

#include "platform/messages.h"

namespace app {
namespace {

using platform::kProgressEnd;
using platform::kProgressRange;
using platform::kProgressStart;
using platform::kProgressStep;

TEST(ProgressModel, OneMessageOnAFreshBar) {
    struct Case {
        const char* name;
        ProgressBarId bar;
        std::uint64_t stage;
        std::int64_t n;
        std::int32_t lower, upper, step, position;
    };
    constexpr auto kScan = ProgressBarId::SearchAndScan;
    constexpr auto kResult = ProgressBarId::Result;
    constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();
    const Case cases[] = {
        {"scan: stage 1 only steps", kScan, kProgressStart, 500, 0, 100, 10, 10},
        {"scan: stage 2 with 99,999 sets 1..6784", kScan, kProgressStep, 99999, 1, 6784, 1, 2},
        {"scan: stage 2 with 100,000 sets 1..200000", kScan, kProgressStep, 100000, 1, 200000, 1, 2},
        {"scan: stage 2 with 0 only steps", kScan, kProgressStep, 0, 0, 100, 10, 10},
        {"scan: stage 3 only steps", kScan, kProgressEnd, 0, 0, 100, 10, 10},
        {"scan: stage 4 sets 1..50n", kScan, kProgressRange, 7, 1, 350, 1, 2},
        {"scan: stage 4 with 0 sets the empty range 1..0", kScan, kProgressRange, 0, 1, 0, 1, 1},
        {"scan: 2n beyond 32 bits is clamped", kScan, kProgressStep, 2'000'000'000, 1, kMax, 1, 2},
        {"scan: 50n beyond 32 bits is clamped", kScan, kProgressRange, 100'000'000, 1, kMax, 1, 2},
        {"scan: negative n in stage 2 counts as small", kScan, kProgressStep, -5, 1, 6784, 1, 2},
        {"scan: stage 0 steps", kScan, 0, 9, 0, 100, 10, 10},
        {"scan: stage 5 steps", kScan, 5, 9, 0, 100, 10, 10},
        {"result: stage 1 sets 1..4n step 2", kResult, kProgressStart, 20000, 1, 80000, 2, 3},
        {"result: stage 2 with n as stage 1", kResult, kProgressStep, 10, 1, 40, 2, 3},
        {"result: stage 2 with 0 only steps", kResult, kProgressStep, 0, 0, 100, 10, 10},
        {"result: stage 3 only steps", kResult, kProgressEnd, 0, 0, 100, 10, 10},
        {"result: stage 4 sets 1..n", kResult, kProgressRange, 30, 1, 30, 2, 3},
        {"result: stage 4 with 0 only steps", kResult, kProgressRange, 0, 0, 100, 10, 10},
        {"result: 4n beyond 32 bits is clamped", kResult, kProgressStart, 1'000'000'000, 1, kMax, 2, 3},
        {"result: negative n gives an empty range", kResult, kProgressStart, -3, 1, 0, 2, 1},
        {"result: stage 5 steps", kResult, 5, 0, 0, 100, 10, 10},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ProgressBarModel bar;
        ApplyJobProgress(c.bar, bar, c.stage, c.n);
        EXPECT_EQ(bar, (ProgressBarModel{c.lower, c.upper, c.step, c.position}));
    }
}

TEST(ProgressModel, TableViewFillsHalfTheBarAfterNSteps) {
    ProgressBarModel bar;
    ApplyJobProgress(ProgressBarId::Result, bar, kProgressStart, 20000);
    for (int i = 0; i < 20000; ++i) ApplyJobProgress(ProgressBarId::Result, bar, kProgressStep, 0);
    EXPECT_NEAR(bar.Fraction(), 0.5, 0.001);
}

TEST(ProgressModel, StepsWrapPastTheUpperBoundAndNeverOverflow) {
    ProgressBarModel bar;
    bar.SetRange(1, 10);
    bar.step = 4;
    bar.position = 9;
    bar.StepIt();
    EXPECT_EQ(bar.position, 4) << "13 wraps to 1 + (12 mod 9)";

    ProgressBarModel big;
    big.SetRange(1, std::numeric_limits<std::int32_t>::max());
    big.step = 2;
    big.position = std::numeric_limits<std::int32_t>::max() - 1;
    big.StepIt();
    EXPECT_GE(big.position, 1);
    EXPECT_LE(big.position, big.upper);
}

// What the gauge shows for a pass, whatever the number of messages: message sequences and the filled share.
TEST(PassGauge, ShareOfThePassThatIsDone) {
    struct Message {
        std::uint64_t stage;
        std::int64_t n;
    };
    struct Case {
        const char* name;
        std::vector<Message> messages;
        double fraction;
    };
    const Case cases[] = {
        {"a fresh gauge is empty", {}, 0.0},
        {"start, then a quarter of the steps", {{kProgressStart, 8}, {kProgressStep, 0}, {kProgressStep, 0}}, 0.25},
        {"the end fills the pass", {{kProgressStart, 8}, {kProgressStep, 0}, {kProgressEnd, 0}}, 1.0},
        {"a pass without units is full only at its end", {{kProgressStart, 0}}, 0.0},
        {"an empty pass that ended", {{kProgressStart, 0}, {kProgressEnd, 0}}, 1.0},
        {"a new start empties the bar", {{kProgressStart, 4}, {kProgressEnd, 0}, {kProgressStart, 10}}, 0.0},
        {"seldom messages carry the position", {{kProgressStart, 100000}, {platform::kProgressAt, 25000}}, 0.25},
        {"a step with n is a new total", {{kProgressStep, 10}, {kProgressStep, 0}, {kProgressStep, 0}}, 0.2},
        {"a remaining count", {{kProgressStart, 10}, {kProgressRange, 4}}, 0.6},
        {"a remaining count above the total raises it", {{kProgressRange, 50}, {kProgressRange, 10}}, 0.8},
        {"more steps than units stay full", {{kProgressStart, 1}, {kProgressStep, 0}, {kProgressStep, 0}}, 1.0},
        {"the job's last step (stage 0) changes nothing", {{kProgressStart, 4}, {kProgressStep, 0}, {0, 0}}, 0.25},
        {"a negative total counts as none", {{kProgressStart, -3}, {kProgressStep, 0}}, 0.0},
        {"a step's name changes nothing", {{kProgressStart, 4}, {kProgressStep, 0}, {platform::kProgressTitle, 2}}, 0.25},
        {"a save's documents", {{kProgressStart, 100000}, {platform::kProgressAt, 5000}}, 0.05},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        PassGauge gauge;
        for (const auto& m : c.messages) gauge.Apply(m.stage, m.n);
        EXPECT_DOUBLE_EQ(gauge.Fraction(), c.fraction);
    }
    PassGauge rows;
    rows.Apply(kProgressStart, 830);
    rows.AddUnits(256);
    EXPECT_EQ(rows.Value(10000), 3084) << "a batch of rows counts as its rows";
}

TEST(ProgressModel, BarChoice) {
    EXPECT_EQ(ChooseProgressBar(false, false), ProgressBarId::SearchAndScan);
    EXPECT_EQ(ChooseProgressBar(true, false), ProgressBarId::Result);
    EXPECT_EQ(ChooseProgressBar(false, true), ProgressBarId::Result);
}

TEST(ProgressModel, RecordCounterText) {
    EXPECT_EQ(RecordCounterText(0, false), u"Recovered Records : 0000000000");
    EXPECT_EQ(RecordCounterText(0, true), u"Recovered Documents : 0000000000");
    EXPECT_EQ(RecordCounterText(42, false), u"Recovered Records : 0000000042");
    EXPECT_EQ(RecordCounterText(12345678901LL, false), u"Recovered Records : 12345678901") << "shown whole";
}

// A table view or a save cut short by a stop keeps its counter, which says of how many and that it is partial.
TEST(ProgressModel, PartialCounterAndStoppedSaveTexts) {
    EXPECT_EQ(PartialCounterText(3904668, 7335008, false),
              u"Recovered Records : 0003904668 of 7335008 (stopped: partial)");
    EXPECT_EQ(PartialCounterText(44558, 100000, true),
              u"Recovered Documents : 0000044558 of 100000 (stopped: partial)");
    EXPECT_EQ(PartialCounterText(0, -1, false), u"Recovered Records : 0000000000 of 0 (stopped: partial)");
    EXPECT_EQ(StoppedSaveText(44558, 100000), u"44558 of 100000 document(s) saved; the items not saved stay checked.");
}

// The line under the scan's bar names the step and how far its pass is.
TEST(ProgressModel, ScanStepText) {
    struct Case {
        const char* name;
        std::int64_t title;
        std::int64_t total;
        std::int64_t done;
        std::u16string text;
    };
    const Case cases[] = {
        {"no step", platform::kTitleNone, 10, 5, u""},
        {"an unknown step", 9, 10, 5, u""},
        {"the listing of damaged pages", platform::kTitleListingDamage, 92672, 37000,
         u"Listing damaged and missing pages : 37000 of 92672"},
        {"the listing before its first report", platform::kTitleListingDamage, 92672, 0,
         u"Listing damaged and missing pages : 0 of 92672"},
        {"a step whose pass has no units yet", platform::kTitleListingDamage, 0, 0, u"Listing damaged and missing pages..."},
        {"the catalogue, as a share", platform::kTitleReadingPages, 38400, 9600, u"Reading the file and its catalogue : 25 %"},
        {"records", platform::kTitleReadingRecords, 830, 256, u"Reading records : 256 of 830"},
        {"more done than the total", platform::kTitleReadingRecords, 10, 12, u"Reading records : 10 of 10"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        PassGauge pass;
        pass.total = c.total;
        pass.done = c.done;
        EXPECT_EQ(ScanStepText(c.title, pass), c.text);
    }
}

}  // namespace
}  // namespace app
