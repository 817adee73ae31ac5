// The large synthetic data files the scale benchmarks read: where they live, how they are written (once, by
// make_bench_files, never by a benchmark run) and what they hold, so a benchmark can check its own result.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace benchfiles {

// The folder of the generated files: BRINDLEMOOR_BENCH_DIR, else /tmp/brindlemoor-bench.
std::filesystem::path Folder();

// A 2005-format data file (version 655) of the given size in MiB with three user tables of several column
// types, their pages interleaved in runs of eight extents. Default size 4096 MiB.
std::filesystem::path LargeFile();
struct LargeTable {
    std::string name;
    std::uint64_t rows = 0;
    std::uint64_t pages = 0;
};
// Writes the file; returns what it holds.
std::vector<LargeTable> WriteLargeFile(const std::filesystem::path& path, std::uint64_t size_mib);

// SharePoint content databases (2010 generation, varbinary(max) contents): `documents` documents in two sites
// with sub-sites, lists and folders. Small contents: 16 to 255 bytes each, in the row; otherwise 256 bytes to
// 16 KiB, the larger ones in large-value chains.
std::filesystem::path ContentDatabaseFile(std::uint64_t documents, bool small_contents);
struct ContentSummary {
    std::uint64_t documents = 0;
    std::uint64_t folders = 0;
    std::uint64_t lists = 0;
    std::uint64_t webs = 0;
    std::uint64_t content_bytes = 0;
};
ContentSummary WriteContentDatabase(const std::filesystem::path& path, std::uint64_t documents, bool small_contents);

}  // namespace benchfiles
