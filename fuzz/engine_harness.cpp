// Scratch files and the engine set-up shared by the fuzz targets.
#include "fuzz/engine_harness.h"

#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>

#include "fuzz/page_image.h"
#include "platform/text.h"

namespace fuzz {

namespace {

// Removes the scratch files of processes that ended (a crashed or killed run cannot remove its own).
void RemoveStaleScratchFiles(const std::filesystem::path& dir) {
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(dir, ec)) {
        const std::string file = entry.path().filename().string();
        if (file.rfind("bm_fuzz_", 0) != 0) continue;
        const long pid = std::strtol(file.c_str() + 8, nullptr, 10);
        if (pid > 0 && ::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH) std::filesystem::remove(entry.path(), ec);
    }
}

}  // namespace

std::filesystem::path ScratchFile(const std::string& name) {
    static const std::filesystem::path dir = [] {
        std::error_code ec;
        std::filesystem::path d = std::filesystem::is_directory("/dev/shm", ec) ? std::filesystem::path("/dev/shm")
                                                                                : std::filesystem::temp_directory_path();
        RemoveStaleScratchFiles(d);
        return d;
    }();
    return dir / ("bm_fuzz_" + std::to_string(::getpid()) + "_" + name + ".mdf");
}

void WriteFile(const std::filesystem::path& path, std::span<const std::uint8_t> bytes) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    BM_FUZZ_CHECK(f != nullptr);
    if (!bytes.empty()) BM_FUZZ_CHECK(std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size());
    std::fclose(f);
}

EngineHarness::EngineHarness(const std::string& name, std::span<const std::uint8_t> file) {
    const auto path = ScratchFile(name);
    WriteFile(path, file);
    Open(path);
}

EngineHarness::EngineHarness(const std::string& name, std::span<const std::uint8_t> image, FromImage) {
    const auto path = ScratchFile(name);
    WritePageImage(path, image);
    Open(path);
}

void EngineHarness::Open(const std::filesystem::path& path) {
    app.m_strDataFilePath = platform::FromUtf8(path.string());
    engine = std::make_unique<mdf::CRecoveryEngine>(app, &sink);
    engine->m_sleep = [](std::chrono::milliseconds) {};
    BM_FUZZ_CHECK(engine->OpenDataFile());
}

}  // namespace fuzz
