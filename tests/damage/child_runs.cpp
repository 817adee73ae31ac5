// Forked children with a pipe each: the parent waits in poll() for output, for a child's end (its pipe closes)
// or for the nearest time limit.
#include "tests/damage/child_runs.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <vector>

namespace damage {

long EnvNumber(const char* name, long fallback) {
    const char* v = std::getenv(name);
    if (!v || !*v) return fallback;
    const long n = std::strtol(v, nullptr, 10);
    return n > 0 ? n : fallback;
}

namespace {

struct Running {
    pid_t pid = -1;
    int out = -1;
    std::chrono::steady_clock::time_point start;
    ChildEnd end;
};

// Reads what the pipe holds now; false once the child closed its end.
bool Drain(Running& c) {
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(c.out, buffer, sizeof buffer);
        if (n > 0) {
            c.end.output.append(buffer, static_cast<std::size_t>(n));
            continue;
        }
        if (n == 0) return false;
        if (errno == EINTR) continue;
        return errno == EAGAIN || errno == EWOULDBLOCK;
    }
}

void WriteAll(int fd, const std::string& text) {
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) _exit(3);
        done += static_cast<std::size_t>(n);
    }
}

}  // namespace

void RunInChildren(std::uint64_t count, int jobs, std::chrono::seconds limit,
                   const std::function<std::string(std::uint64_t)>& work,
                   const std::function<void(const ChildEnd&)>& ended) {
    std::vector<Running> running;
    std::uint64_t next = 0;
    auto finish = [&](Running& c, bool timed_out) {
        int status = 0;
        if (timed_out) ::kill(c.pid, SIGKILL);
        while (::waitpid(c.pid, &status, 0) < 0 && errno == EINTR) {
        }
        if (!timed_out) Drain(c);
        ::close(c.out);
        c.end.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - c.start).count();
        c.end.timed_out = timed_out;
        if (!timed_out && WIFSIGNALED(status)) c.end.signal = WTERMSIG(status);
        if (!timed_out && WIFEXITED(status)) {
            c.end.exit_status = WEXITSTATUS(status);
            c.end.finished = c.end.exit_status == 0;
        }
        ended(c.end);
    };
    while (next < count || !running.empty()) {
        while (next < count && static_cast<int>(running.size()) < std::max(jobs, 1)) {
            int fds[2];
            if (::pipe(fds) != 0) break;
            const pid_t pid = ::fork();
            if (pid < 0) {
                ::close(fds[0]);
                ::close(fds[1]);
                break;
            }
            if (pid == 0) {
                ::close(fds[0]);
                WriteAll(fds[1], work(next));
                _exit(0);
            }
            ::close(fds[1]);
            ::fcntl(fds[0], F_SETFL, O_NONBLOCK);
            Running c;
            c.pid = pid;
            c.out = fds[0];
            c.start = std::chrono::steady_clock::now();
            c.end.index = next++;
            running.push_back(std::move(c));
        }
        if (running.empty()) break;  // no child could be started
        // Wait for output, an end, or the nearest time limit.
        const auto now = std::chrono::steady_clock::now();
        auto wait = std::chrono::milliseconds::max();
        std::vector<pollfd> fds;
        for (const auto& c : running) {
            wait = std::min(wait, std::chrono::duration_cast<std::chrono::milliseconds>(c.start + limit - now));
            fds.push_back({c.out, POLLIN, 0});
        }
        const int timeout = static_cast<int>(std::clamp<std::int64_t>(wait.count() + 1, 0, 60000));
        if (::poll(fds.data(), fds.size(), timeout) < 0 && errno != EINTR) break;
        std::vector<Running> still;
        for (std::size_t i = 0; i < running.size(); ++i) {
            Running& c = running[i];
            bool open = true;
            if (fds[i].revents != 0) open = Drain(c);
            if (!open) {
                finish(c, false);
            } else if (std::chrono::steady_clock::now() - c.start > limit) {
                finish(c, true);
            } else {
                still.push_back(std::move(c));
            }
        }
        running = std::move(still);
    }
}

}  // namespace damage
