// The program itself: it starts and keeps running with its window, and a second start ends at once without
// disturbing the first. Each run gets its own home and runtime folders; the single-instance lock lives in the
// runtime folder, or without one in the cache folder, never in the home folder itself.
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/page_builder.h"

extern char** environ;

namespace {

pid_t StartProgram(const std::filesystem::path& home, const std::filesystem::path& runtime = {}) {
    std::vector<std::string> env_text;
    for (char** e = environ; *e; ++e) {
        const std::string entry(*e);
        if (entry.rfind("HOME=", 0) != 0 && entry.rfind("XDG_RUNTIME_DIR=", 0) != 0 &&
            entry.rfind("XDG_CACHE_HOME=", 0) != 0) {
            env_text.push_back(entry);
        }
    }
    env_text.push_back("HOME=" + home.string());
    if (!runtime.empty()) env_text.push_back("XDG_RUNTIME_DIR=" + runtime.string());
    std::vector<char*> env;
    for (auto& s : env_text) env.push_back(s.data());
    env.push_back(nullptr);
    std::string program = BM_PROGRAM_PATH;
    char* argv[] = {program.data(), nullptr};
    pid_t pid = -1;
    if (posix_spawn(&pid, program.c_str(), nullptr, nullptr, argv, env.data()) != 0) return -1;
    return pid;
}

// The exit status, or none while the process still runs after the wait.
std::optional<int> WaitForExit(pid_t pid, std::chrono::milliseconds wait) {
    const auto end = std::chrono::steady_clock::now() + wait;
    for (;;) {
        int status = 0;
        const pid_t done = waitpid(pid, &status, WNOHANG);
        if (done == pid) return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        if (std::chrono::steady_clock::now() > end) return std::nullopt;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

void Stop(pid_t pid) {
    kill(pid, SIGTERM);
    if (!WaitForExit(pid, std::chrono::seconds(5))) {
        kill(pid, SIGKILL);
        WaitForExit(pid, std::chrono::seconds(5));
    }
}

TEST(Startup, RunsOnceAndASecondStartEndsSilently) {
    struct Case {
        const char* what;
        bool runtime_folder;
    };
    for (const Case c : {Case{"with a runtime folder", true}, Case{"without one: the cache folder", false}}) {
        SCOPED_TRACE(c.what);
        testsupport::TempDir home;
        testsupport::TempDir runtime;
        const pid_t first = StartProgram(home.Path(), c.runtime_folder ? runtime.Path() : std::filesystem::path());
        ASSERT_GT(first, 0);
        // The first instance holds the lock once its start-up has passed the instance check.
        const auto lock = c.runtime_folder ? runtime.Path() / "SharePointApp"
                                           : home.Path() / ".cache" / "brindlemoor" / "SharePointApp";
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (!std::filesystem::exists(lock) && std::chrono::steady_clock::now() < end) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        if (!std::filesystem::exists(lock)) Stop(first);
        ASSERT_TRUE(std::filesystem::exists(lock)) << "the first instance did not start or locked elsewhere";
        EXPECT_FALSE(std::filesystem::exists(home.Path() / "SharePointApp")) << "no lock file in the home folder";
        EXPECT_FALSE(WaitForExit(first, std::chrono::milliseconds(1500))) << "the first instance must keep running";

        const pid_t second = StartProgram(home.Path(), c.runtime_folder ? runtime.Path() : std::filesystem::path());
        ASSERT_GT(second, 0);
        const auto status = WaitForExit(second, std::chrono::seconds(15));
        if (!status) Stop(second);
        ASSERT_TRUE(status) << "the second instance did not end";
        EXPECT_EQ(*status, 0);
        EXPECT_FALSE(WaitForExit(first, std::chrono::milliseconds(200))) << "the first instance is unaffected";
        Stop(first);
    }
}

}  // namespace
