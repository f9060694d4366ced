// The ways a run can end early.
#pragma once

#include <stdexcept>
#include <string>

namespace veltrane2 {

// A fixed limit of the program was reached. `line` is the list-directed line
// that names the limit and the routine; the run stops with stop code 4.
class FatalStop : public std::runtime_error {
public:
    explicit FatalStop(std::string line) : std::runtime_error(line), line_(std::move(line)) {}
    const std::string& line() const { return line_; }
    int stop_code() const { return 4; }

private:
    std::string line_;
};

// Exit statuses of the program.
enum ExitStatus : int {
    kExitOk = 0,
    kExitFileError = 1,   // an image file cannot be opened, read, parsed or written
    kExitInputError = 2,  // standard input ended early or held an unreadable value
    kExitSizeError = 3,   // an image size the Fourier transform cannot take
    kExitLimitStop = 4,   // a fixed limit was reached (stop code 4)
};

// A failure reported on standard error as "veltrane2: <message>".
class RunError : public std::runtime_error {
public:
    RunError(ExitStatus status, const std::string& message)
        : std::runtime_error(message), status_(status) {}
    ExitStatus status() const { return status_; }

private:
    ExitStatus status_;
};

}  // namespace veltrane2
