// Paces the step messages of a long pass over units (pages, records): a step goes out only when at least
// min_units units and at least min_interval have passed since the last one, so a pass over millions of pages
// sends a few hundred sent messages rather than one per page, however fast the disk.
#pragma once

#include <chrono>
#include <cstdint>

namespace mdf {

class ProgressPacer {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr std::uint64_t kMinUnits = 1024;
    static constexpr std::chrono::milliseconds kMinInterval{50};

    ProgressPacer() : last_(Clock::now()) {}
    // One unit done; true when a step message is due.
    bool Step() {
        if (++units_ < kMinUnits) return false;
        const auto now = Clock::now();
        if (now - last_ < kMinInterval) return false;
        units_ = 0;
        last_ = now;
        return true;
    }

private:
    std::uint64_t units_ = 0;
    Clock::time_point last_;
};

}  // namespace mdf
