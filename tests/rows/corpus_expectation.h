// What the corpus row tests share: reading a row expectation (expected/NAME.rows.tsv) by table, the common
// form of date-and-time cells on both sides, and the rows that only one side has.
#pragma once

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "tests/support/corpus.h"

namespace corpusrows {

// Expected rows by table name (without schema), cells as the file holds them (still escaped).
using ExpectedRows = std::map<std::string, std::vector<std::vector<std::string>>>;

inline ExpectedRows ReadExpectedRows(const std::filesystem::path& path) {
    ExpectedRows expected;
    for (const auto& line : testsupport::ReadLines(path)) {
        if (line.empty() || line[0] == '#') continue;
        auto fields = testsupport::SplitTabs(line);
        const std::string table = fields[0];
        fields.erase(fields.begin());
        expected[table].push_back(std::move(fields));
    }
    return expected;
}

inline std::string Lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return std::tolower(c); });
    return s;
}

inline std::string StripSchema(const std::string& name) {
    const auto dot = name.find('.');
    return dot == std::string::npos ? name : name.substr(dot + 1);
}

// "yyyy-MM-dd HH:mm:ss" and the tick of the second (0..299) the milliseconds stand for.
inline std::string CanonicalDateTime(int y, int mo, int d, int h, int mi, int s, int tick) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d %02d:%02d:%02d+%03d", y, mo, d, h, mi, s, tick);
    return buffer;
}

// Ours: "M/d/yyyy h:mm:ss.fff AM" (two blanks before a PM hour); fff = floor(tick * 3.33). With
// without_fraction_too, also "M/d/yyyy h:mm:ss AM" (smalldatetime). Any other text stays as it is.
inline std::string OurDateTime(const std::string& text, bool without_fraction_too) {
    int mo = 0, d = 0, y = 0, h = 0, mi = 0, s = 0, ms = 0;
    char ampm[3] = {};
    if (std::sscanf(text.c_str(), "%d/%d/%d %d:%d:%d.%d %2s", &mo, &d, &y, &h, &mi, &s, &ms, ampm) != 8 &&
        (!without_fraction_too ||
         std::sscanf(text.c_str(), "%d/%d/%d %d:%d:%d %2s", &mo, &d, &y, &h, &mi, &s, ampm) != 7)) {
        return text;
    }
    if (std::string(ampm) == "PM" && h != 12) h += 12;
    if (std::string(ampm) == "AM" && h == 12) h = 0;
    int tick = 0;
    while (tick < 300 && tick * 333 / 100 != ms) ++tick;
    return CanonicalDateTime(y, mo, d, h, mi, s, tick);
}

// Theirs: "yyyy-MM-dd HH:mm:ss.fff", the milliseconds rounded from the ticks.
inline std::string ExpectedDateTime(const std::string& text) {
    int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0, ms = 0;
    if (std::sscanf(text.c_str(), "%d-%d-%d %d:%d:%d.%d", &y, &mo, &d, &h, &mi, &s, &ms) < 6) return text;
    return CanonicalDateTime(y, mo, d, h, mi, s, static_cast<int>(std::lround(ms * 0.3)));
}

// The row keys of each side that the other side lacks (as multisets); both inputs are sorted.
struct KeyDifference {
    std::vector<std::string> only_ours;
    std::vector<std::string> only_expected;
};

template <typename SortedKeys>
KeyDifference Difference(const SortedKeys& ours, const SortedKeys& expected) {
    KeyDifference d;
    std::set_difference(ours.begin(), ours.end(), expected.begin(), expected.end(), std::back_inserter(d.only_ours));
    std::set_difference(expected.begin(), expected.end(), ours.begin(), ours.end(),
                        std::back_inserter(d.only_expected));
    return d;
}

}  // namespace corpusrows
