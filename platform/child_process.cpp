// Child processes through posix_spawn: the argument array goes to execve as it is.
#include "platform/child_process.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <sstream>
#include <thread>

namespace platform {

namespace {

constexpr auto kPollInterval = std::chrono::milliseconds(5);

std::string ErrorText(const char* what, int error) { return std::string(what) + ": " + std::strerror(error); }

// Spawn attributes and file actions that are released on every path.
class SpawnSetup {
public:
    SpawnSetup() {
        attr_ok_ = posix_spawnattr_init(&attr_) == 0;
        actions_ok_ = posix_spawn_file_actions_init(&actions_) == 0;
    }
    ~SpawnSetup() {
        if (attr_ok_) posix_spawnattr_destroy(&attr_);
        if (actions_ok_) posix_spawn_file_actions_destroy(&actions_);
    }
    SpawnSetup(const SpawnSetup&) = delete;
    SpawnSetup& operator=(const SpawnSetup&) = delete;

    bool Ok() const { return attr_ok_ && actions_ok_; }
    posix_spawnattr_t attr_;
    posix_spawn_file_actions_t actions_;

private:
    bool attr_ok_ = false;
    bool actions_ok_ = false;
};

}  // namespace

ChildResult RunChild(const ChildRun& run, const std::atomic<bool>* cancel) {
    ChildResult result;
    if (run.arguments.empty() || run.arguments[0].empty() || run.arguments[0][0] != '/') {
        result.error = "the program is not named by an absolute path";
        return result;
    }
    if (run.working_folder.empty() || run.working_folder[0] != '/') {
        result.error = "the working folder is not an absolute path";
        return result;
    }
    SpawnSetup setup;
    if (!setup.Ok()) {
        result.error = "the child process could not be prepared";
        return result;
    }
    // Its own process group (a kill reaches the helpers it starts), default signal handling and no blocked
    // signal, whatever this process has set.
    sigset_t none;
    sigemptyset(&none);
    sigset_t all;
    sigfillset(&all);
    posix_spawnattr_setflags(&setup.attr_, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    posix_spawnattr_setpgroup(&setup.attr_, 0);
    posix_spawnattr_setsigmask(&setup.attr_, &none);
    posix_spawnattr_setsigdefault(&setup.attr_, &all);

    const std::string output = run.output_file.empty() ? std::string("/dev/null") : run.output_file;
    posix_spawn_file_actions_addopen(&setup.actions_, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&setup.actions_, 1, output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_adddup2(&setup.actions_, 1, 2);
    posix_spawn_file_actions_addclosefrom_np(&setup.actions_, 3);
    posix_spawn_file_actions_addchdir_np(&setup.actions_, run.working_folder.c_str());

    std::vector<char*> argv;
    for (const auto& a : run.arguments) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    std::vector<char*> envp;
    for (const auto& e : run.environment) envp.push_back(const_cast<char*>(e.c_str()));
    envp.push_back(nullptr);

    pid_t pid = -1;
    const int spawned = posix_spawn(&pid, argv[0], &setup.actions_, &setup.attr_, argv.data(), envp.data());
    if (spawned != 0) {
        result.error = ErrorText("the program could not be started", spawned);
        return result;
    }

    const auto deadline = std::chrono::steady_clock::now() + run.time_limit;
    int status = 0;
    for (;;) {
        const pid_t done = waitpid(pid, &status, WNOHANG);
        if (done == pid) break;
        if (done < 0 && errno != EINTR) {
            result.error = ErrorText("the program's end could not be awaited", errno);
            kill(-pid, SIGKILL);
            waitpid(pid, &status, 0);
            return result;
        }
        const bool cancelled = cancel != nullptr && cancel->load();
        const bool timed_out = std::chrono::steady_clock::now() >= deadline;
        if (cancelled || timed_out) {
            // The leader is not reaped yet, so its group id still names this group only.
            kill(-pid, SIGKILL);
            while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
            }
            result.end = cancelled ? ChildEnd::Cancelled : ChildEnd::TimedOut;
            return result;
        }
        std::this_thread::sleep_for(kPollInterval);
    }
    if (WIFEXITED(status)) {
        result.end = ChildEnd::Exited;
        result.exit_code = WEXITSTATUS(status);
    } else {
        result.end = ChildEnd::Signalled;
        result.exit_code = WIFSIGNALED(status) ? 128 + WTERMSIG(status) : -1;
    }
    return result;
}

std::string FindProgram(const std::string& name, const std::string& search_path) {
    if (name.empty() || name.find('/') != std::string::npos) return {};
    std::stringstream folders(search_path);
    std::string folder;
    while (std::getline(folders, folder, ':')) {
        if (folder.empty() || folder[0] != '/') continue;
        const std::string candidate = folder + (folder.back() == '/' ? "" : "/") + name;
        struct stat info {};
        if (stat(candidate.c_str(), &info) == 0 && S_ISREG(info.st_mode) && access(candidate.c_str(), X_OK) == 0) {
            return candidate;
        }
    }
    return {};
}

}  // namespace platform
