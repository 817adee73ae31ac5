// Document Recovery at scale over the generated content databases (make_bench_files content / content-small):
// the scan job (capture of the SharePoint rows, join, tree) against reading the file sequentially in the same
// run, its growth from 100,000 to 1,000,000 documents, the save of every item against writing the same
// folders and file sizes with plain sequential writes, and the peak memory of each. The data file stays in the
// page cache (read once before). The save ends with one syncfs of the output's file system (it says it is done
// only once its files are on the disk); the plain writes of the baseline end with one syncfs as well.
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <optional>
#include <vector>

#include "app/app_fields.h"
#include "app/recover_thread.h"
#include "bench/bench_files.h"
#include "bench/bench_measure.h"
#include "mdf/recovery_engine.h"
#include "platform/text.h"
#include "sharepoint/check_tree.h"
#include "sharepoint/output_folder.h"

namespace {

namespace fs = std::filesystem;

// The databases: (documents, small contents).
struct Database {
    std::uint64_t documents;
    bool small_contents;
};
// N documents, N small documents, 10 N small documents: N is BRINDLEMOOR_BENCH_DOCUMENTS (default 100,000;
// make_bench_files content N content-small N content-small 10N writes the files).
std::uint64_t BaseDocumentCount() {
    const char* text = std::getenv("BRINDLEMOOR_BENCH_DOCUMENTS");
    return text && *text ? std::strtoull(text, nullptr, 10) : 100000;
}
const Database kDatabases[] = {
    {BaseDocumentCount(), false}, {BaseDocumentCount(), true}, {10 * BaseDocumentCount(), true}};
// Folders of every generated database; the tree's document count holds its folders and its documents.
constexpr std::uint64_t kFolders = 3300;

class FolderPrompts final : public platform::IUserPrompts {
public:
    void ShowMessage(const std::u16string&, const std::u16string&) override {}
    bool SelectSourceVersion(platform::SharedState&) override { return false; }
    std::u16string ChooseFolder(const std::u16string&) override { return folder; }
    std::u16string folder;
};

// An engine after the Document Recovery scan job, as the Scan button runs it.
struct ScannedDatabase {
    platform::SharedState app;
    app::AppFields fields;
    FolderPrompts prompts;
    std::shared_ptr<mdf::CRecoveryEngine> engine = std::make_shared<mdf::CRecoveryEngine>(app);

    explicit ScannedDatabase(const fs::path& path) {
        app.m_strDataFilePath = platform::FromUtf8(path.string());
        app.m_bDocumentMode = true;
        engine->DetectDatabaseVersion();
        app::CRecoverThread job(app, fields, engine, prompts);
        job.m_strDataFile = app.m_strDataFilePath;
        job.Run();
    }

    // The save job of every item into a new folder below `folder`, as the Repair button runs it.
    void SaveEverything(const fs::path& folder) {
        auto root = sharepoint::BuildDocumentCheckTree(app.m_strDataFilePath, engine->m_lstWebs);
        prompts.folder = platform::FromUtf8(folder.string());
        app.m_bRepairRequested = true;
        app::CRecoverThread job(app, fields, engine, prompts);
        job.m_pTreeRoot = root.get();
        job.Run();
        app.m_bRepairRequested = false;
    }
};

// Where the saves write: BRINDLEMOOR_BENCH_OUT (a tmpfs folder separates the save's own cost from the file
// system's), else a folder beside the generated files.
fs::path OutputFolder(const char* leaf) {
    if (const char* dir = std::getenv("BRINDLEMOOR_BENCH_OUT"); dir && *dir) return fs::path(dir) / leaf;
    return benchfiles::Folder() / leaf;
}

fs::path PathOf(const Database& db) { return benchfiles::ContentDatabaseFile(db.documents, db.small_contents); }

std::string CaseName(const char* what, const Database& db) {
    return std::string(what) + "-" + std::to_string(db.documents) + (db.small_contents ? "-small" : "");
}

bool Present(benchmark::State& state, const Database& db) {
    if (fs::exists(PathOf(db))) return true;
    state.SkipWithError("no content database: run make_bench_files first");
    return false;
}

void AddMemory(benchmark::State& state, const std::string& name, const Database& db) {
    const double idle = static_cast<double>(benchmeasure::PeakRssKiB("idle"));
    const double peak = static_cast<double>(benchmeasure::PeakRssKiB(name));
    state.counters["peak_rss_MiB"] = peak / 1024.0;
    state.counters["peak_per_file_size"] = (peak - idle) * 1024.0 / static_cast<double>(fs::file_size(PathOf(db)));
    state.counters["peak_B_per_doc"] = (peak - idle) * 1024.0 / static_cast<double>(db.documents);
}

// Per iteration: the sequential read, then the scan job; the reported time is the scan's.
void DocumentScan(benchmark::State& state) {
    const Database& db = kDatabases[state.range(0)];
    if (!Present(state, db)) return;
    const auto path = PathOf(db);
    benchmeasure::ReadSequentially(path);
    double read_seconds = 0, scan_seconds = 0;
    for (auto _ : state) {
        double start = benchmeasure::Now();
        benchmeasure::ReadSequentially(path);
        read_seconds += benchmeasure::Now() - start;
        start = benchmeasure::Now();
        ScannedDatabase scanned(path);
        const double took = benchmeasure::Now() - start;
        scan_seconds += took;
        state.SetIterationTime(took);
        if (static_cast<std::uint64_t>(scanned.app.m_nDocumentCount) != db.documents + kFolders) {
            const std::string message = "the tree holds " + std::to_string(scanned.app.m_nDocumentCount) +
                                        " folders and documents, not " + std::to_string(db.documents + kFolders);
            state.SkipWithError(message.c_str());
            return;
        }
    }
    const auto n = static_cast<double>(state.iterations());
    state.SetLabel(path.filename().string());
    state.counters["read_s"] = read_seconds / n;
    state.counters["scan_s"] = scan_seconds / n;
    state.counters["scan_per_read"] = scan_seconds / read_seconds;
    state.counters["us_per_doc"] = scan_seconds / n / static_cast<double>(db.documents) * 1e6;
    AddMemory(state, CaseName("scan", db), db);
}
BENCHMARK(DocumentScan)->ArgName("db")->DenseRange(0, 2)->Iterations(2)->UseManualTime()->Unit(benchmark::kSecond);

// The save's files started under a temporary name and renamed, as on a file system without unnamed files
// (what every save did before files were made unnamed), while it lives.
class TemporaryNames {
public:
    TemporaryNames() : saved_(sharepoint::OutputFolder::open_unnamed_file) {
        sharepoint::OutputFolder::open_unnamed_file = [](int) {
            errno = EOPNOTSUPP;
            return -1;
        };
    }
    ~TemporaryNames() { sharepoint::OutputFolder::open_unnamed_file = saved_; }
    TemporaryNames(const TemporaryNames&) = delete;
    TemporaryNames& operator=(const TemporaryNames&) = delete;

private:
    sharepoint::OutputFolder::OpenUnnamedCall saved_;
};

// One syncfs of the file system that holds folder, as the save ends with.
void SyncFileSystemOf(const fs::path& folder) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::syncfs(fd);
    ::close(fd);
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// Per iteration, in turns (the order of the two saves alternates from one iteration to the next): the save of
// every item with unnamed files, the same save with temporary names, and the same tree written with plain
// writes; each ends with one syncfs. The reported time is the save's with unnamed files. The output folders
// are removed between the passes (not timed). The ratios are plain-write time / save time, per iteration;
// their minimum and median are given.
void SaveAgainstPlainWrites(benchmark::State& state) {
    const Database& db = kDatabases[state.range(0)];
    if (!Present(state, db)) return;
    const auto path = PathOf(db);
    const fs::path out = OutputFolder("save-output");
    fs::remove_all(out);
    benchmeasure::ReadSequentially(path);
    ScannedDatabase scanned(path);
    std::vector<double> unnamed_seconds, temporary_seconds, write_seconds;
    benchmeasure::Tree saved;
    bool unnamed_first = true;
    for (auto _ : state) {
        for (int pass = 0; pass < 2; ++pass) {
            const bool unnamed = (pass == 0) == unnamed_first;
            std::optional<TemporaryNames> temporary;
            if (!unnamed) temporary.emplace();
            fs::create_directories(out / "save");
            const double start = benchmeasure::Now();
            scanned.SaveEverything(out / "save");
            const double took = benchmeasure::Now() - start;
            (unnamed ? unnamed_seconds : temporary_seconds).push_back(took);
            if (unnamed) state.SetIterationTime(took);
            saved = benchmeasure::ListTree(out / "save");
            fs::remove_all(out);
            if (saved.files < db.documents) {
                state.SkipWithError("the save did not write every document");
                return;
            }
        }
        unnamed_first = !unnamed_first;
        fs::create_directories(out / "plain");
        const auto targets = benchmeasure::TargetPaths(saved, out / "plain");
        const double start = benchmeasure::Now();
        benchmeasure::WriteTree(saved, targets);
        SyncFileSystemOf(out / "plain");
        write_seconds.push_back(benchmeasure::Now() - start);
        fs::remove_all(out);
    }
    state.SetLabel(path.filename().string());
    std::vector<double> unnamed_ratio, temporary_ratio;
    for (std::size_t i = 0; i < write_seconds.size(); ++i) {
        unnamed_ratio.push_back(write_seconds[i] / unnamed_seconds[i]);
        temporary_ratio.push_back(write_seconds[i] / temporary_seconds[i]);
    }
    state.counters["files"] = static_cast<double>(saved.files);
    state.counters["folders"] = static_cast<double>(saved.folders);
    state.counters["MB"] = static_cast<double>(saved.bytes) / 1e6;
    state.counters["save_s"] = Median(unnamed_seconds);
    state.counters["save_tmpname_s"] = Median(temporary_seconds);
    state.counters["write_s"] = Median(write_seconds);
    state.counters["speed_of_writes_min"] = *std::min_element(unnamed_ratio.begin(), unnamed_ratio.end());
    state.counters["speed_of_writes_med"] = Median(unnamed_ratio);
    state.counters["tmpname_speed_of_writes_min"] = *std::min_element(temporary_ratio.begin(), temporary_ratio.end());
    state.counters["tmpname_speed_of_writes_med"] = Median(temporary_ratio);
    AddMemory(state, CaseName("save", db), db);
}
BENCHMARK(SaveAgainstPlainWrites)->ArgName("db")->DenseRange(0, 1)->Iterations(5)->UseManualTime()->Unit(benchmark::kSecond);

benchmeasure::Cases MemoryCases() {
    benchmeasure::Cases cases;
    for (const auto& db : kDatabases) {
        cases[CaseName("scan", db)] = [db] { ScannedDatabase scanned(PathOf(db)); };
        cases[CaseName("save", db)] = [db] {
            ScannedDatabase scanned(PathOf(db));
            const fs::path out = OutputFolder("save-output-memory");
            fs::remove_all(out);
            fs::create_directories(out);
            scanned.SaveEverything(out);
            fs::remove_all(out);
        };
    }
    return cases;
}

}  // namespace

int main(int argc, char** argv) {
    if (const auto code = benchmeasure::RunPeakRssCase(argc, argv, MemoryCases())) return *code;
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
