// A reading program run as a child process, its answer passed back through
// a pipe.
#pragma once

#include <chrono>
#include <string>
#include <vector>

namespace veltrane2::gwyddion {

// The file descriptor on which a reading program writes its answer: one tag
// byte ('R' the result, 'E' an error message, 'U' an unknown format's
// message), then the bytes. Its standard output and error go to /dev/null.
inline constexpr int kAnswerFd = 3;

// Starts the program argv[0] with the arguments argv (posix_spawn: no code of
// this process runs in the child, so any number of threads may be running
// here) and returns the bytes of its 'R' answer. Throws ReadError with an
// 'E' answer's message, UnknownFormat with a 'U' answer's, or a ReadError
// saying that the program could not be started, crashed (naming the
// signal), did not finish within `timeout` (it is killed), or ended without
// an answer.
std::string run_reader(const std::vector<std::string>& argv, std::chrono::milliseconds timeout);

}  // namespace veltrane2::gwyddion
