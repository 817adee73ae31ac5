// Pages that share a fault, gathered one page at a time and reported as runs of consecutive pages: a damaged
// allocation map can name every page of the file, and the report then says so in a few lines, not in a line
// a page.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace mdf {

class PageRuns {
public:
    struct Run {
        std::uint64_t first = 0;
        std::uint64_t last = 0;
        std::u16string why;  // the fault of every page of the run, or of its kind when they differ
    };
    // Adds one page and why it is lost ("no page header", "holds page 12", "a page of object 5", ...). Pages
    // whose faults are of one kind share a run: "holds page 12" and "holds page 80" both hold other pages.
    void Add(std::uint64_t page, std::u16string_view why);
    // The runs in page order, each page once: runs of one kind that touch or overlap are one.
    std::vector<Run> Merged() const;
    // Gives one page of the runs a new fault: the page leaves any run it lies in and is added with `why`.
    void Relabel(std::uint64_t page, std::u16string_view why);
    bool Empty() const { return runs_.empty(); }
    // Whether the page lies in some run (for a few look-ups; linear in the runs).
    bool Contains(std::uint64_t page) const;

private:
    struct Stored {
        Run run;
        int kind = 0;
    };
    std::vector<Stored> runs_;
};

// The start of a report line about a run, without the owner: "Damaged page 12 (no page header) of " or
// "Damaged pages 12-40 (pages of other objects) of "; `what` is "Damaged" or "Missing".
std::u16string PageRunLine(std::u16string_view what, const PageRuns::Run& run);

// The number of pages of a run.
inline std::uint64_t RunPages(const PageRuns::Run& run) { return run.last - run.first + 1; }

}  // namespace mdf
