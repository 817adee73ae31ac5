// Runs of pages that share a fault.
#include "mdf/page_runs.h"

#include <algorithm>

#include "platform/text.h"

namespace mdf {

namespace {

// Faults that name another page or owner are of one kind whatever they name; every other fault is a kind of
// its own (the same words).
enum Kind : int { kExact = 0, kOtherPage = 1, kOtherType = 2, kOtherObject = 3 };

int KindOf(std::u16string_view why) {
    if (why.starts_with(u"holds page ")) return kOtherPage;
    if (why.starts_with(u"page type ")) return kOtherType;
    if (why.starts_with(u"a page of object ")) return kOtherObject;
    return kExact;
}

// The words for a run whose pages have faults of one kind but not the same words.
std::u16string KindText(int kind) {
    switch (kind) {
        case kOtherPage: return u"they hold other pages";
        case kOtherType: return u"pages of other types";
        case kOtherObject: return u"pages of other objects";
        default: return {};
    }
}

}  // namespace

void PageRuns::Add(std::uint64_t page, std::u16string_view why) {
    const int kind = KindOf(why);
    if (!runs_.empty()) {
        Stored& last = runs_.back();
        const bool same = kind == kExact ? last.kind == kExact && last.run.why == why : last.kind == kind;
        if (same && page == last.run.last + 1) {
            last.run.last = page;
            if (kind != kExact && last.run.why != why) last.run.why = KindText(kind);
            return;
        }
        if (same && page >= last.run.first && page <= last.run.last) return;
    }
    runs_.push_back({{page, page, std::u16string(why)}, kind});
}

std::vector<PageRuns::Run> PageRuns::Merged() const {
    std::vector<Stored> sorted = runs_;
    std::stable_sort(sorted.begin(), sorted.end(), [](const Stored& a, const Stored& b) {
        if (a.kind != b.kind) return a.kind < b.kind;
        if (a.kind == kExact && a.run.why != b.run.why) return a.run.why < b.run.why;
        return a.run.first < b.run.first;
    });
    std::vector<Stored> merged;
    for (const Stored& s : sorted) {
        if (!merged.empty()) {
            Stored& last = merged.back();
            const bool same = last.kind == s.kind && (s.kind != kExact || last.run.why == s.run.why);
            if (same && s.run.first <= last.run.last + 1) {
                last.run.last = std::max(last.run.last, s.run.last);
                if (last.run.why != s.run.why) last.run.why = KindText(s.kind);
                continue;
            }
        }
        merged.push_back(s);
    }
    std::vector<Run> out;
    out.reserve(merged.size());
    for (auto& s : merged) out.push_back(std::move(s.run));
    std::stable_sort(out.begin(), out.end(), [](const Run& a, const Run& b) { return a.first < b.first; });
    return out;
}

void PageRuns::Relabel(std::uint64_t page, std::u16string_view why) {
    std::vector<Stored> kept;
    kept.reserve(runs_.size() + 1);
    for (Stored& s : runs_) {
        if (page < s.run.first || page > s.run.last) {
            kept.push_back(std::move(s));
            continue;
        }
        if (s.run.first < page) kept.push_back({{s.run.first, page - 1, s.run.why}, s.kind});
        if (page < s.run.last) kept.push_back({{page + 1, s.run.last, s.run.why}, s.kind});
    }
    runs_ = std::move(kept);
    runs_.push_back({{page, page, std::u16string(why)}, KindOf(why)});
}

bool PageRuns::Contains(std::uint64_t page) const {
    return std::any_of(runs_.begin(), runs_.end(),
                       [page](const Stored& s) { return page >= s.run.first && page <= s.run.last; });
}

std::u16string PageRunLine(std::u16string_view what, const PageRuns::Run& run) {
    auto decimal = [](std::uint64_t n) { return platform::Widen(std::to_string(n)); };
    std::u16string line(what);
    if (run.first == run.last) {
        line += u" page " + decimal(run.first);
    } else {
        line += u" pages " + decimal(run.first) + u"-" + decimal(run.last);
    }
    return line + u" (" + run.why + u") of ";
}

}  // namespace mdf
