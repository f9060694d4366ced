#include "io/gwyddion/child.hpp"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <exception>
#include <string_view>

#include "io/gwyddion/instrument.hpp"

namespace veltrane2::gwyddion {
namespace {

// Writes all of `bytes` to `fd`; false when the reader has gone.
bool write_all(int fd, const char* bytes, std::size_t size) {
    while (size > 0) {
        const ssize_t put = ::write(fd, bytes, size);
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) return false;
        bytes += put;
        size -= static_cast<std::size_t>(put);
    }
    return true;
}

// The child's side: one tag byte ('R' result, 'E' error message, 'U' an
// unknown format's message), then the bytes. Never returns.
[[noreturn]] void child_main(int fd, const std::function<std::string()>& work) {
    const int null = ::open("/dev/null", O_RDWR | O_CLOEXEC);
    if (null >= 0) {
        ::dup2(null, STDOUT_FILENO);
        ::dup2(null, STDERR_FILENO);
    }
    // A crash ends the child by its signal, whatever handlers the parent
    // had set up (a sanitizer's or an interpreter's), so that the parent
    // can name it.
    for (const int sig : {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT}) ::signal(sig, SIG_DFL);
    std::string answer;
    try {
        answer = 'R' + work();
    } catch (const UnknownFormat& e) {
        answer = std::string("U") + e.what();
    } catch (const std::exception& e) {
        answer = std::string("E") + e.what();
    } catch (...) {
        answer = "Eunknown failure";
    }
    // _exit: no exit handlers or stream flushes of the parent's state.
    ::_exit(write_all(fd, answer.data(), answer.size()) ? 0 : 1);
}

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

std::string run_in_child(const std::function<std::string()>& work, std::chrono::milliseconds timeout) {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) throw ReadError(std::string("cannot make a pipe: ") + std::strerror(errno));
    const pid_t pid = ::fork();
    if (pid < 0) {
        const int err = errno;
        ::close(fds[0]);
        ::close(fds[1]);
        throw ReadError(std::string("cannot start the reading process: ") + std::strerror(err));
    }
    if (pid == 0) {
        ::close(fds[0]);
        child_main(fds[1], work);
    }
    ::close(fds[1]);

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
    if (timed_out) ::kill(pid, SIGKILL);
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
