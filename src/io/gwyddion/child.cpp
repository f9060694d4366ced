#include "io/gwyddion/child.hpp"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string_view>

#include "io/gwyddion/instrument.hpp"

namespace veltrane2::gwyddion {
namespace {

std::string signal_text(int sig) {
    const char* name = ::sigdescr_np(sig);
    return "signal " + std::to_string(sig) + (name != nullptr ? std::string(", ") + name : std::string());
}

std::string seconds_text(std::chrono::milliseconds t) {
    const long long ms = t.count();
    if (ms % 1000 == 0) return std::to_string(ms / 1000) + " s";
    return std::to_string(ms) + " ms";
}

}  // namespace

std::string run_reader(const std::vector<std::string>& argv, std::chrono::milliseconds timeout) {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) throw ReadError(std::string("cannot make a pipe: ") + std::strerror(errno));
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    // In the child: the pipe's write end as the answer's descriptor (dup2
    // clears its close-on-exec flag, and so does glibc's spawn when the two
    // are the same), standard output and error to /dev/null, every signal
    // unblocked and at its default, in a process group of its own so that a
    // Ctrl-C at the terminal stops this process (which decides what becomes
    // of the read) and not the reader.
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], kAnswerFd);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    sigset_t none, all;
    sigemptyset(&none);
    sigfillset(&all);
    sigdelset(&all, SIGKILL);
    sigdelset(&all, SIGSTOP);
    posix_spawnattr_setsigmask(&attr, &none);
    posix_spawnattr_setsigdefault(&attr, &all);
    posix_spawnattr_setpgroup(&attr, 0);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETPGROUP);
    pid_t pid = -1;
    const int started = ::posix_spawn(&pid, args[0], &actions, &attr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
    ::close(fds[1]);
    if (started != 0) {
        ::close(fds[0]);
        throw ReadError("cannot start the reader " + argv[0] + ": " + std::strerror(started));
    }

    using Clock = std::chrono::steady_clock;
    const Clock::time_point deadline = Clock::now() + timeout;
    const auto left_ms = [&] {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        return static_cast<int>(std::max<long long>(0, std::min<long long>(left, 1 << 30)));
    };
    std::string got;
    bool timed_out = false;
    char buf[1 << 16];
    for (;;) {
        pollfd p{fds[0], POLLIN, 0};
        const int ready = ::poll(&p, 1, left_ms());
        if (ready < 0 && errno == EINTR) continue;
        if (ready == 0) {
            timed_out = true;
            break;
        }
        const ssize_t n = ::read(fds[0], buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        got.append(buf, static_cast<std::size_t>(n));
    }
    ::close(fds[0]);

    // The child has closed its end by ending (or is stopped now).
    if (timed_out) ::kill(-pid, SIGKILL);  // its process group
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) throw ReadError(std::string("lost the reading process: ") + std::strerror(errno));
    }
    if (timed_out) throw ReadError("the reader did not finish within " + seconds_text(timeout) + " and was stopped");
    if (WIFSIGNALED(status)) throw ReadError("the reader crashed (" + signal_text(WTERMSIG(status)) + ")");
    if (got.empty() || std::string_view("REU").find(got[0]) == std::string_view::npos || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        throw ReadError("the reader ended without an answer (exit status " +
                        std::to_string(WIFEXITED(status) ? WEXITSTATUS(status) : -1) + ")");
    }
    if (got[0] == 'E') throw ReadError(got.substr(1));
    if (got[0] == 'U') throw UnknownFormat(got.substr(1));
    return got.substr(1);
}

}  // namespace veltrane2::gwyddion
