// An engine over a data file written from a fuzzer's bytes. The engine reads files only, so each input is
// written to a file of this process (in shared memory when the system has it) and the engine opens that.
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

// The path of this process's file for the given target; the same path is rewritten for every input.
std::filesystem::path ScratchFile(const std::string& name);

// Writes bytes to path (replacing it).
void WriteFile(const std::filesystem::path& path, std::span<const std::uint8_t> bytes);

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

// A fresh engine with its shared state, the data file written from `file` and opened.
class EngineHarness {
public:
    // The file holds exactly the given bytes.
    EngineHarness(const std::string& name, std::span<const std::uint8_t> file);
    // The file is the small file image (fuzz/page_image.h).
    struct FromImage {};
    EngineHarness(const std::string& name, std::span<const std::uint8_t> image, FromImage);
    platform::SharedState app;
    StoppingSink sink{app};
    std::unique_ptr<mdf::CRecoveryEngine> engine;

private:
    void Open(const std::filesystem::path& path);
};

}  // namespace fuzz
