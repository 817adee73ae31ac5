// The program itself: it starts and keeps running with its window, and a second start ends at once without
// disturbing the first. Each run gets its own home folder, where the single-instance lock lives.
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

pid_t StartProgram(const std::filesystem::path& home) {
    std::vector<std::string> env_text;
    for (char** e = environ; *e; ++e) {
        if (std::string(*e).rfind("HOME=", 0) != 0) env_text.emplace_back(*e);
    }
    env_text.push_back("HOME=" + home.string());
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
    testsupport::TempDir home;
    const pid_t first = StartProgram(home.Path());
    ASSERT_GT(first, 0);
    // The first instance holds the lock once its start-up has passed the instance check.
    const auto lock = home.Path() / "SharePointApp";
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!std::filesystem::exists(lock) && std::chrono::steady_clock::now() < end) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    ASSERT_TRUE(std::filesystem::exists(lock)) << "the first instance did not start";
    EXPECT_FALSE(WaitForExit(first, std::chrono::milliseconds(1500))) << "the first instance must keep running";

    const pid_t second = StartProgram(home.Path());
    ASSERT_GT(second, 0);
    const auto status = WaitForExit(second, std::chrono::seconds(15));
    if (!status) Stop(second);
    ASSERT_TRUE(status) << "the second instance did not end";
    EXPECT_EQ(*status, 0);
    EXPECT_FALSE(WaitForExit(first, std::chrono::milliseconds(200))) << "the first instance is unaffected";
    Stop(first);
}

}  // namespace
