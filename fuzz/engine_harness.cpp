// The engine set-up shared by the fuzz targets: each input is served from memory as the data file.
#include "fuzz/engine_harness.h"

#include <algorithm>
#include <chrono>
#include <vector>

#include "fuzz/page_image.h"
#include "platform/read_only_file.h"
#include "platform/text.h"

namespace fuzz {

std::span<const std::uint8_t> AfterZeroPages(std::size_t zero_pages, std::span<const std::uint8_t> bytes) {
    // Only the part after the zero pages is ever written.
    static std::vector<std::uint8_t> file;
    const std::size_t at = zero_pages * mdf::kPageSize;
    if (file.size() < at + bytes.size()) file.resize(at + bytes.size(), 0);
    std::copy(bytes.begin(), bytes.end(), file.begin() + static_cast<std::ptrdiff_t>(at));
    return {file.data(), at + bytes.size()};
}

EngineHarness::EngineHarness(const std::string& name, std::span<const std::uint8_t> file) { Open(name, file); }

EngineHarness::EngineHarness(const std::string& name, std::span<const std::uint8_t> image, FromImage) {
    Open(name, ExpandPageImage(image));
}

EngineHarness::~EngineHarness() {
    engine.reset();
    platform::StopServingFromMemory(path_);
}

void EngineHarness::Open(const std::string& name, std::span<const std::uint8_t> bytes) {
    // A path no file system holds: only the served bytes answer to it.
    path_ = std::filesystem::path("/brindlemoor-fuzz-memory") / (name + ".mdf");
    platform::ServeFromMemory(path_, bytes);
    app.m_strDataFilePath = platform::FromUtf8(path_.string());
    engine = std::make_unique<mdf::CRecoveryEngine>(app, &sink);
    engine->m_sleep = [](std::chrono::milliseconds) {};
    BM_FUZZ_CHECK(engine->OpenDataFile());
}

}  // namespace fuzz
