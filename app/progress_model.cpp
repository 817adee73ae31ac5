// Progress protocol of the worker messages on the two bars.
#include "app/progress_model.h"

#include <algorithm>
#include <cstdio>
#include <limits>

#include "platform/messages.h"
#include "platform/text.h"

namespace app {

void ProgressBarModel::SetRange(std::int32_t new_lower, std::int32_t new_upper) {
    lower = new_lower;
    upper = new_upper;
    if (upper >= lower) position = std::clamp(position, lower, upper);
}

void ProgressBarModel::StepIt() {
    if (upper <= lower) {
        position = lower;  // an empty range (1..0 after a zero count) has nowhere to go
        return;
    }
    const std::int64_t span = static_cast<std::int64_t>(upper) - lower;
    std::int64_t next = static_cast<std::int64_t>(position) + step;
    if (next > upper) next = (next - lower) % span + lower;
    if (next < lower) next = lower;
    position = static_cast<std::int32_t>(next);
}

double ProgressBarModel::Fraction() const {
    if (upper <= lower) return 0.0;
    const double done = static_cast<double>(position) - lower;
    return std::clamp(done / (static_cast<double>(upper) - lower), 0.0, 1.0);
}

ProgressBarId ChooseProgressBar(bool repair_started, bool table_view_started) {
    return repair_started || table_view_started ? ProgressBarId::Result : ProgressBarId::SearchAndScan;
}

std::int32_t ScaledRangeBound(std::int64_t amount, std::int64_t factor) {
    constexpr std::int64_t kMax = std::numeric_limits<std::int32_t>::max();
    if (amount <= 0) return 0;
    if (amount > kMax) return static_cast<std::int32_t>(kMax);
    return static_cast<std::int32_t>(std::min(amount * factor, kMax));  // amount <= 2^31, so no overflow
}

void ApplyJobProgress(ProgressBarId bar, ProgressBarModel& model, std::uint64_t stage, std::int64_t amount) {
    if (bar == ProgressBarId::SearchAndScan) {
        if (stage == platform::kProgressStep && amount != 0) {
            model.SetRange(1, amount < 100000 ? 6784 : ScaledRangeBound(amount, 2));
            model.step = 1;
        } else if (stage == platform::kProgressRange) {
            model.SetRange(1, ScaledRangeBound(amount, 50));
            model.step = 1;
        }
    } else {
        if (stage == platform::kProgressStart || (stage == platform::kProgressStep && amount != 0)) {
            model.SetRange(1, ScaledRangeBound(amount, 4));
            model.step = 2;
        } else if (stage == platform::kProgressRange && amount != 0) {
            model.SetRange(1, ScaledRangeBound(amount, 1));
            model.step = 2;
        }
    }
    model.StepIt();
}

void PassGauge::Apply(std::uint64_t stage, std::int64_t amount) {
    switch (stage) {
        case platform::kProgressStart:
            total = std::max<std::int64_t>(amount, 0);
            done = 0;
            ended = false;
            break;
        case platform::kProgressStep:
            if (amount == 0) {
                AddUnits(1);
            } else {
                total = std::max<std::int64_t>(amount, 0);
            }
            break;
        case platform::kProgressEnd:
            done = total;
            ended = true;
            break;
        case platform::kProgressRange:
            if (amount < 0) break;
            if (amount > total) total = amount;
            done = total - amount;
            break;
        case platform::kProgressAt:
            done = std::max<std::int64_t>(amount, 0);
            break;
        default:
            break;  // the job's end and unknown stages leave the pass as it is
    }
}

void PassGauge::AddUnits(std::int64_t units) {
    if (units > 0) done += units;
}

double PassGauge::Fraction() const {
    if (total <= 0) return ended ? 1.0 : 0.0;
    return std::clamp(static_cast<double>(done) / static_cast<double>(total), 0.0, 1.0);
}

int PassGauge::Value(int range) const {
    return static_cast<int>(Fraction() * range + 0.5);
}

std::u16string RecordCounterText(std::int64_t count, bool document_mode) {
    char digits[32];
    std::snprintf(digits, sizeof digits, "%10lld", static_cast<long long>(count));
    std::u16string text = document_mode ? u"Recovered Documents : " : u"Recovered Records : ";
    for (const char* p = digits; *p; ++p) text += *p == ' ' ? u'0' : static_cast<char16_t>(*p);
    return text;
}

std::u16string ScanStepText(std::int64_t title, const PassGauge& pass) {
    std::u16string text;
    bool counts = true;  // the pass's units are what the text names; else its share is shown
    switch (title) {
        case platform::kTitleReadingPages:
            text = u"Reading the file and its catalogue";
            counts = false;
            break;
        case platform::kTitleListingDamage: text = u"Listing damaged and missing pages"; break;
        case platform::kTitleReadingRecords: text = u"Reading records"; break;
        default: return {};
    }
    if (pass.total <= 0) return text + u"...";
    const std::int64_t done = std::clamp<std::int64_t>(pass.done, 0, pass.total);
    if (!counts) return text + u" : " + platform::FromUtf8(std::to_string(done * 100 / pass.total)) + u" %";
    return text + u" : " + platform::FromUtf8(std::to_string(done)) + u" of " + platform::FromUtf8(std::to_string(pass.total));
}

std::u16string PartialCounterText(std::int64_t count, std::int64_t total, bool document_mode) {
    return RecordCounterText(count, document_mode) + u" of " + platform::FromUtf8(std::to_string(std::max<std::int64_t>(total, 0))) +
           u" (stopped: partial)";
}

std::u16string StoppedSaveText(std::uint64_t saved, std::uint64_t total) {
    return platform::FromUtf8(std::to_string(saved)) + u" of " + platform::FromUtf8(std::to_string(total)) +
           u" document(s) saved; the items not saved stay checked.";
}

}  // namespace app
