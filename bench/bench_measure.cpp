// Baselines, page-cache control and peak-memory measurement of the scale benchmarks.
#include "bench/bench_measure.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <stdexcept>
#include <vector>

namespace benchmeasure {

namespace {

constexpr std::size_t kBlock = 1 << 20;

std::uint64_t StatusKiB(const char* field) {
    std::ifstream status("/proc/self/status");
    std::string line;
    const std::size_t n = std::strlen(field);
    while (std::getline(status, line)) {
        if (line.compare(0, n, field) == 0 && line.size() > n && line[n] == ':') return std::stoull(line.substr(n + 1));
    }
    return 0;
}

void WriteAll(int fd, const std::uint8_t* data, std::size_t n) {
    while (n > 0) {
        const ssize_t done = ::write(fd, data, n);
        if (done <= 0) throw std::runtime_error("write failed");
        data += done;
        n -= static_cast<std::size_t>(done);
    }
}

}  // namespace

double Now() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

std::uint64_t ReadSequentially(const std::filesystem::path& path) {
    const int fd = ::open(path.c_str(), O_RDONLY);
    if (fd < 0) return 0;
    std::vector<char> buffer(kBlock);
    std::uint64_t total = 0;
    for (;;) {
        const ssize_t n = ::read(fd, buffer.data(), buffer.size());
        if (n <= 0) break;
        total += static_cast<std::uint64_t>(n);
    }
    ::close(fd);
    return total;
}

void DropFromPageCache(const std::filesystem::path& path) {
    const int fd = ::open(path.c_str(), O_RDONLY);
    if (fd < 0) return;
    ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
    ::close(fd);
}

std::uint64_t PeakRssKiB(const std::string& name) {
    const std::string command = "/proc/" + std::to_string(::getpid()) + "/exe --peak-rss=" + name;
    std::FILE* child = ::popen(command.c_str(), "r");
    if (!child) return 0;
    unsigned long long kib = 0;
    if (std::fscanf(child, "%llu", &kib) != 1) kib = 0;
    ::pclose(child);
    return kib;
}

std::optional<int> RunPeakRssCase(int argc, char** argv, const Cases& cases) {
    constexpr std::string_view kOption = "--peak-rss=";
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg.substr(0, kOption.size()) != kOption) continue;
        const std::string name(arg.substr(kOption.size()));
        if (name != "idle") {
            const auto found = cases.find(name);
            if (found == cases.end()) {
                std::cerr << "no case " << name << "\n";
                return 2;
            }
            found->second();
        }
        std::cout << StatusKiB("VmHWM") << "\n";
        return 0;
    }
    return std::nullopt;
}

Tree ListTree(const std::filesystem::path& folder) {
    Tree tree;
    std::error_code ec;
    for (auto it = std::filesystem::recursive_directory_iterator(folder, ec); !ec && it != std::filesystem::end(it);
         it.increment(ec)) {
        TreeEntry entry;
        entry.relative = std::filesystem::relative(it->path(), folder);
        if (it->is_directory()) {
            entry.folder = true;
            ++tree.folders;
        } else if (it->is_regular_file()) {
            entry.size = it->file_size();
            ++tree.files;
            tree.bytes += entry.size;
        } else {
            continue;
        }
        tree.entries.push_back(std::move(entry));
    }
    return tree;
}

std::vector<std::string> TargetPaths(const Tree& tree, const std::filesystem::path& to) {
    std::vector<std::string> targets;
    targets.reserve(tree.entries.size());
    for (const auto& entry : tree.entries) targets.push_back((to / entry.relative).string());
    return targets;
}

void WriteTree(const Tree& tree, const std::vector<std::string>& targets) {
    static const std::vector<std::uint8_t> bytes(kBlock, 0x5A);
    for (std::size_t i = 0; i < tree.entries.size(); ++i) {
        const TreeEntry& entry = tree.entries[i];
        if (entry.folder) {
            ::mkdir(targets[i].c_str(), 0755);
            continue;
        }
        const int fd = ::open(targets[i].c_str(), O_WRONLY | O_CREAT | O_EXCL, 0644);
        if (fd < 0) throw std::runtime_error("cannot create " + targets[i]);
        for (std::uint64_t left = entry.size; left > 0;) {
            const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(left, bytes.size()));
            WriteAll(fd, bytes.data(), n);
            left -= n;
        }
        ::close(fd);
    }
}

}  // namespace benchmeasure
