// The command-line program's exit statuses and the failure each one stands for.
#pragma once

#include <veltrane2/veltrane2.hpp>

namespace veltrane2 {

enum ExitStatus : int {
    kExitOk = 0,
    kExitFileError = 1,   // an image cannot be opened, read, parsed or written, or holds a value that is not finite
    kExitInputError = 2,  // the parameters cannot be read (the batch: a usage error)
    kExitSizeError = 3,   // an image size the Fourier transform cannot take
    kExitLimitStop = 4,   // a fixed limit was reached
};

// The status of a failure of the given kind once the parameters are read.
constexpr ExitStatus exit_status(ErrorKind kind) {
    switch (kind) {
        case ErrorKind::kBadShape:
            return kExitSizeError;
        case ErrorKind::kLimit:
            return kExitLimitStop;
        case ErrorKind::kBadValue:
        case ErrorKind::kIo:
            break;
    }
    return kExitFileError;
}

}  // namespace veltrane2
