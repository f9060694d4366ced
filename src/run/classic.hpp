// The classic program: the image file name and the seven parameters from
// standard input, the three outputs beside the current folder.
#pragma once

#include <iosfwd>
#include <optional>

namespace veltrane2 {

// A whole run: banner, parameters from `in`, the engine, the outputs. Lines
// go to `out`, failures to `err`; returns the exit status. `force_group`
// sets the mode of the level estimation, which standard input cannot.
int veltrane2_main(std::istream& in, std::ostream& out, std::ostream& err,
                   std::optional<bool> force_group = std::nullopt);

// Sets up the process for runs: the C library's heap keeps the memory of
// freed images for the next ones instead of handing it back to the system
// (each page handed back is faulted in and cleared again when reused), and
// standard streams are not synchronised with C's.
void prepare_process();

// SIGINT, SIGTERM and SIGHUP remove the temporary files of the outputs being
// written (*.tmp.XXXXXX beside their final names) before they end the
// process as they would have.
void remove_temporaries_on_signals();

}  // namespace veltrane2
