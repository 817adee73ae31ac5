// Paces the step messages of a long pass over units (pages, records): a step goes out only when at least
// min_units units and at least min_interval have passed since the last one, so a pass over millions of pages
// sends a few hundred sent messages rather than one per page, however fast the disk.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>

namespace mdf {

class ProgressPacer {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr std::uint64_t kMinUnits = 1024;
    static constexpr std::chrono::milliseconds kMinInterval{50};

    // The thresholds every pacer made from now on uses; kMinUnits and kMinInterval unless changed. A test
    // that wants to see position messages from a small file lowers them (Thresholds restores them).
    static void SetThresholds(std::uint64_t min_units, std::chrono::milliseconds min_interval) {
        min_units_setting_.store(min_units);
        min_interval_setting_.store(min_interval.count());
    }
    // Sets the thresholds for its lifetime, then puts back the ones it found.
    class Thresholds {
    public:
        Thresholds(std::uint64_t min_units, std::chrono::milliseconds min_interval)
            : units_(min_units_setting_.load()), interval_ms_(min_interval_setting_.load()) {
            SetThresholds(min_units, min_interval);
        }
        ~Thresholds() { SetThresholds(units_, std::chrono::milliseconds(interval_ms_)); }
        Thresholds(const Thresholds&) = delete;
        Thresholds& operator=(const Thresholds&) = delete;

    private:
        std::uint64_t units_;
        std::int64_t interval_ms_;
    };

    ProgressPacer()
        : min_units_(min_units_setting_.load()),
          min_interval_(min_interval_setting_.load()),
          last_(Clock::now()) {}
    // One unit done; true when a step message is due.
    bool Step() {
        if (++units_ < min_units_) return false;
        const auto now = Clock::now();
        if (now - last_ < min_interval_) return false;
        units_ = 0;
        last_ = now;
        return true;
    }

private:
    static inline std::atomic<std::uint64_t> min_units_setting_{kMinUnits};
    static inline std::atomic<std::int64_t> min_interval_setting_{kMinInterval.count()};

    std::uint64_t min_units_;
    std::chrono::milliseconds min_interval_;
    std::uint64_t units_ = 0;
    Clock::time_point last_;
};

}  // namespace mdf
