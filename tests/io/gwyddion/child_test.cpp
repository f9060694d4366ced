// The reading program run as a child: what comes back, and how a program
// that is missing, fails, crashes, hangs or ends silently is told apart.
// Small shell programs stand in for the reader.
#include "io/gwyddion/child.hpp"

#include <gtest/gtest.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>

#include "io/gwyddion/instrument.hpp"

namespace veltrane2::gwyddion {
namespace {

using std::chrono::milliseconds;

std::vector<std::string> shell(const std::string& script) { return {"/bin/sh", "-c", script}; }

std::string failure_of(const std::vector<std::string>& argv, milliseconds timeout = milliseconds(20'000)) {
    try {
        run_reader(argv, timeout);
    } catch (const ReadError& e) {
        return e.what();
    }
    return "(no failure)";
}

TEST(ReaderProcess, AnswerLargerThanThePipeComesBackWhole) {
    // 3 MiB of "0123456789abcdef" after the tag.
    const std::string big = run_reader(shell("{ printf R; yes 0123456789abcde | head -c 3145728; } >&3"),
                                       milliseconds(20'000));
    ASSERT_EQ(big.size(), 3145728u);
    EXPECT_EQ(big.substr(0, 32), "0123456789abcde\n0123456789abcde\n");
    EXPECT_EQ(run_reader(shell("printf R >&3"), milliseconds(20'000)), "");
}

TEST(ReaderProcess, EachWayOfFailingHasItsReason) {
    struct Case {
        const char* what;
        std::vector<std::string> argv;
        milliseconds timeout;
        std::string expected;
    } cases[] = {
        {"says why", shell("printf 'Ebad header' >&3"), milliseconds(20'000), "bad header"},
        {"crashes", shell("kill -SEGV $$"), milliseconds(20'000), "the reader crashed (signal 11, Segmentation fault)"},
        {"aborts", shell("kill -ABRT $$"), milliseconds(20'000), "the reader crashed (signal 6, Aborted)"},
        {"hangs", shell("exec sleep 30"), milliseconds(300), "the reader did not finish within 300 ms and was stopped"},
        {"ends silently", shell("exit 3"), milliseconds(20'000), "the reader ended without an answer (exit status 3)"},
        {"answers and fails", shell("printf R >&3; exit 1"), milliseconds(20'000),
         "the reader ended without an answer (exit status 1)"},
        {"is missing", {"/nonexistent/veltrane2-read-instrument"}, milliseconds(20'000),
         "cannot start the reader /nonexistent/veltrane2-read-instrument: No such file or directory"},
        // Its output and messages go nowhere; only the answer counts.
        {"talks", shell("echo out; echo err >&2; exit 0"), milliseconds(20'000),
         "the reader ended without an answer (exit status 0)"},
    };
    for (const Case& c : cases) EXPECT_EQ(failure_of(c.argv, c.timeout), c.expected) << c.what;
}

// With SIGCHLD ignored the system reaps the reader itself: the wait finds no
// child and says so (in a process of its own, under an alarm).
TEST(ReaderProcess, AReaderReapedByTheSystemIsLost) {
    EXPECT_EXIT(
        {
            std::signal(SIGCHLD, SIG_IGN);
            ::alarm(10);
            std::fputs(failure_of(shell("printf R >&3")).c_str(), stderr);
            std::_Exit(0);
        },
        ::testing::ExitedWithCode(0), "^lost the reading process: No child processes$");
}

TEST(ReaderProcess, UnknownFormatKeepsItsKind) {
    EXPECT_THROW(run_reader(shell("printf 'Uno module' >&3"), milliseconds(20'000)), UnknownFormat);
}

}  // namespace
}  // namespace veltrane2::gwyddion
