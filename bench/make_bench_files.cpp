// make_bench_files [all | large [MIB] | content N | content-small N]...: writes the data files of the scale
// benchmarks into BRINDLEMOOR_BENCH_DIR (default /tmp/brindlemoor-bench) and prints what each holds. A separate
// step, so a benchmark run never writes gigabytes. "all": the 4 GiB file and the content databases of 100,000
// documents and of 1,000,000 small documents (about 5.8 GB). Without an argument it only prints its usage.
#include <cctype>
#include <chrono>
#include <cstdlib>
#include <exception>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "bench/bench_files.h"

namespace {

void Large(std::uint64_t mib) {
    const auto path = benchfiles::LargeFile();
    std::cout << path.string() << " (" << mib << " MiB)\n";
    // Beside the file: the tables and their row counts, which the benchmarks check the scan against.
    const auto tables = benchfiles::WriteLargeFile(path, mib);
    std::ofstream listing(path.string() + ".txt");
    for (const auto& table : tables) {
        std::cout << "  dbo." << table.name << "\t" << table.rows << " rows\t" << table.pages << " pages\n";
        listing << "dbo." << table.name << "\t" << table.rows << "\n";
    }
}

void Content(std::uint64_t documents, bool small_contents) {
    const auto path = benchfiles::ContentDatabaseFile(documents, small_contents);
    std::cout << path.string() << "\n";
    const auto s = benchfiles::WriteContentDatabase(path, documents, small_contents);
    std::cout << "  " << s.webs << " webs, " << s.lists << " lists, " << s.folders << " folders, " << s.documents
              << " documents, " << s.content_bytes << " content bytes\n";
}

constexpr char kUsage[] =
    "usage: make_bench_files [all | large [MIB] | content N | content-small N]...\n"
    "  writes the scale benchmarks' data files into $BRINDLEMOOR_BENCH_DIR (default /tmp/brindlemoor-bench)\n"
    "  all            the 4 GiB file and the content databases of 100,000 and 1,000,000 documents (about 5.8 GB)\n"
    "  large [MIB]    the large 2005-format file (4096 MiB unless given)\n"
    "  content N      a content database of N documents\n"
    "  content-small N  a content database of N small documents\n";

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    // Gigabytes are written only when asked for by name.
    if (args.empty()) {
        std::cerr << kUsage;
        return 2;
    }
    if (args.size() == 1 && args[0] == "all") args = {"large", "4096", "content", "100000", "content-small", "1000000"};
    try {
        for (std::size_t i = 0; i < args.size(); ++i) {
            const auto start = std::chrono::steady_clock::now();
            const bool has_number = i + 1 < args.size() && std::isdigit(static_cast<unsigned char>(args[i + 1][0]));
            if (args[i] == "large") {
                Large(has_number ? std::stoull(args[++i]) : 4096);
            } else if ((args[i] == "content" || args[i] == "content-small") && has_number) {
                const bool small_contents = args[i] == "content-small";
                Content(std::stoull(args[++i]), small_contents);
            } else {
                std::cerr << kUsage;
                return 2;
            }
            const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
            std::cout << "  written in " << took.count() << " s\n";
        }
    } catch (const std::exception& e) {
        std::cerr << "make_bench_files: " << e.what() << "\n";
        return 1;
    }
    return 0;
}
