// Work done in a child process, its answer passed back through a pipe.
#pragma once

#include <chrono>
#include <functional>
#include <string>

namespace veltrane2::gwyddion {

// Forks; the child runs work() with its standard output and error sent to
// /dev/null and passes back the bytes it returns, or the message of what it
// throws. Returns those bytes; throws ReadError with the work's message, or
// saying that the child crashed (naming the signal), did not finish within
// `timeout` (it is killed), or ended without an answer.
std::string run_in_child(const std::function<std::string()>& work, std::chrono::milliseconds timeout);

}  // namespace veltrane2::gwyddion
