// Work in a child process: what comes back, and how a crash, a hang or a
// silent end are told apart.
#include "io/gwyddion/child.hpp"

#include <signal.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "io/gwyddion/instrument.hpp"

namespace veltrane2::gwyddion {
namespace {

using std::chrono::milliseconds;

std::string failure_of(const std::function<std::string()>& work, milliseconds timeout = milliseconds(20'000)) {
    try {
        run_in_child(work, timeout);
    } catch (const ReadError& e) {
        return e.what();
    }
    return "(no failure)";
}

TEST(ChildProcess, AnswerLargerThanThePipeComesBackWhole) {
    std::string big(3 << 20, '\0');
    for (std::size_t k = 0; k < big.size(); ++k) big[k] = static_cast<char>(k * 7919 % 251);
    EXPECT_EQ(run_in_child([&] { return big; }, milliseconds(20'000)), big);
    EXPECT_EQ(run_in_child([] { return std::string(); }, milliseconds(20'000)), "");
}

TEST(ChildProcess, EachWayOfFailingHasItsReason) {
    struct Case {
        const char* what;
        std::function<std::string()> work;
        milliseconds timeout;
        std::string expected;
    } cases[] = {
        {"throws", [] () -> std::string { throw std::runtime_error("bad header"); }, milliseconds(20'000),
         "bad header"},
        {"crashes", [] () -> std::string { ::raise(SIGSEGV); return "x"; }, milliseconds(20'000),
         "the reader crashed (signal 11, Segmentation fault)"},
        {"aborts", [] () -> std::string { ::abort(); }, milliseconds(20'000),
         "the reader crashed (signal 6, Aborted)"},
        {"hangs", [] () -> std::string { for (;;) ::pause(); }, milliseconds(300),
         "the reader did not finish within 300 ms and was stopped"},
        {"ends silently", [] () -> std::string { ::_exit(3); }, milliseconds(20'000),
         "the reader ended without an answer (exit status 3)"},
    };
    for (const Case& c : cases) EXPECT_EQ(failure_of(c.work, c.timeout), c.expected) << c.what;
}

TEST(ChildProcess, UnknownFormatKeepsItsKind) {
    EXPECT_THROW(run_in_child([] () -> std::string { throw UnknownFormat("no module"); }, milliseconds(20'000)),
                 UnknownFormat);
}

}  // namespace
}  // namespace veltrane2::gwyddion
