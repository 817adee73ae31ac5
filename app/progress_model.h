// The two progress bars of the main dialog as plain numbers, and how each worker progress message moves
// them. Ranges are computed in 64 bits and clamped to what a bar can hold, so no count overflows.
#pragma once

#include <cstdint>
#include <string>

namespace app {

// A progress bar as the control keeps it: range lower..upper, step size and position. A new bar has the range
// 0..100 and the step 10.
struct ProgressBarModel {
    std::int32_t lower = 0;
    std::int32_t upper = 100;
    std::int32_t step = 10;
    std::int32_t position = 0;
    bool operator==(const ProgressBarModel&) const = default;

    void SetRange(std::int32_t new_lower, std::int32_t new_upper);
    // Position plus step; past the upper bound it starts again from the lower bound.
    void StepIt();
    // Filled share, 0 to 1, for drawing; an empty range draws empty.
    double Fraction() const;
};

enum class ProgressBarId { SearchAndScan, Result };

// The result-page bar while a table view or a repair (or document save) was started, else the scan bar.
ProgressBarId ChooseProgressBar(bool repair_started, bool table_view_started);

// `stage` is the message's stage code, `amount` its amount n.
void ApplyJobProgress(ProgressBarId bar, ProgressBarModel& model, std::uint64_t stage, std::int64_t amount);

// `factor` times `amount`, clamped to 0 .. INT32_MAX.
std::int32_t ScaledRangeBound(std::int64_t amount, std::int64_t factor);

// What a bar shows: the share of the current pass that is done. The bar registers above keep the protocol's
// ranges and steps; a register position wraps or stops half-way, so the gauge is drawn from the pass instead.
// Start sets the pass's total and empties it, a step with 0 adds one unit, a step with n is a new total, end
// fills it, a remaining count n leaves total - n done, and an "at" message puts the pass at n units.
struct PassGauge {
    std::int64_t total = 0;
    std::int64_t done = 0;
    bool ended = false;
    bool operator==(const PassGauge&) const = default;

    void Apply(std::uint64_t stage, std::int64_t amount);
    void AddUnits(std::int64_t units);
    // 0 to 1; a pass without units is empty until it ends, then full.
    double Fraction() const;
    // The position on a control of range 0..range.
    int Value(int range) const;
};

// "Recovered Records : 0000000042" or "Recovered Documents : 0000000042": the count right-aligned in ten
// characters, blanks turned into zeros; a longer count is shown whole.
std::u16string RecordCounterText(std::int64_t count, bool document_mode);

// The line under the scan's bar: the step the scan is in and how far its pass is ("Listing damaged and missing
// pages : 37000 of 92672"); empty for no step.
std::u16string ScanStepText(std::int64_t title, const PassGauge& pass);

// The counter of a table view or a document save that a stop cut short: the count, of how many, and that
// what the list or the output folder holds is partial ("Recovered Documents : 0000044558 of 100000 (stopped:
// partial)").
std::u16string PartialCounterText(std::int64_t count, std::int64_t total, bool document_mode);

// The second line of the message after a stopped save: how many of its documents were saved.
std::u16string StoppedSaveText(std::uint64_t saved, std::uint64_t total);

}  // namespace app
