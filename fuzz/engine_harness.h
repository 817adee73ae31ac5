// An engine over a data file made of a fuzzer's bytes. The bytes are served from memory under a path of their
// own (platform::ServeFromMemory): the engine opens that path as it opens any file, and reads the bytes in place.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <span>
#include <string>

#include "mdf/recovery_engine.h"
#include "platform/messages.h"
#include "platform/shared_state.h"

namespace fuzz {

// Stops the run with a message when a reader broke one of its own promises (libFuzzer reports the abort as a
// finding and keeps the input).
#define BM_FUZZ_CHECK(cond)                                                                    \
    do {                                                                                       \
        if (!(cond)) {                                                                         \
            std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #cond);     \
            std::abort();                                                                      \
        }                                                                                      \
    } while (0)

// A file of zero_pages pages of zeros followed by bytes, in a buffer kept from call to call (no allocation
// per input); valid until the next call.
std::span<const std::uint8_t> AfterZeroPages(std::size_t zero_pages, std::span<const std::uint8_t> bytes);

// Counts the messages the engine sends and sets the stop request at the chosen one, as the Stop button would
// in the middle of a job (0: never).
class StoppingSink final : public platform::IMessageSink {
public:
    explicit StoppingSink(platform::SharedState& app) : app_(app) {}
    void StopAt(std::uint32_t message) { stop_at_ = message; }
    void Send(unsigned, platform::WPARAM, platform::LPARAM) override {
        if (stop_at_ != 0 && ++sent_ == stop_at_) app_.m_bStopJob = true;
    }
    void Post(unsigned, platform::WPARAM, platform::LPARAM) override {}

private:
    platform::SharedState& app_;
    std::uint32_t stop_at_ = 0;
    std::uint32_t sent_ = 0;
};

// A fresh engine with its shared state, the data file made of `file` and opened. One harness at a time.
class EngineHarness {
public:
    // The file holds exactly the given bytes (they must outlive the harness).
    EngineHarness(const std::string& name, std::span<const std::uint8_t> file);
    // The file is the small file image (fuzz/page_image.h).
    struct FromImage {};
    EngineHarness(const std::string& name, std::span<const std::uint8_t> image, FromImage);
    ~EngineHarness();
    EngineHarness(const EngineHarness&) = delete;
    EngineHarness& operator=(const EngineHarness&) = delete;
    platform::SharedState app;
    StoppingSink sink{app};
    std::unique_ptr<mdf::CRecoveryEngine> engine;

private:
    void Open(const std::string& name, std::span<const std::uint8_t> bytes);
    std::filesystem::path path_;
};

}  // namespace fuzz
