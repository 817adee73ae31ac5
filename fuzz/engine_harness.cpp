// Scratch files and the engine set-up shared by the fuzz targets.
#include "fuzz/engine_harness.h"

#include <unistd.h>

#include <chrono>

#include "fuzz/page_image.h"
#include "platform/text.h"

namespace fuzz {

std::filesystem::path ScratchFile(const std::string& name) {
    std::error_code ec;
    std::filesystem::path dir = std::filesystem::is_directory("/dev/shm", ec)
                                    ? std::filesystem::path("/dev/shm")
                                    : std::filesystem::temp_directory_path();
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
    engine = std::make_unique<mdf::CRecoveryEngine>(app);
    engine->m_sleep = [](std::chrono::milliseconds) {};
    BM_FUZZ_CHECK(engine->OpenDataFile());
}

}  // namespace fuzz
