#include "run/classic.hpp"

#include <malloc.h>
#include <signal.h>

#include <iostream>
#include <new>

#include "core/listout.hpp"
#include "image/grid.hpp"
#include "io/atomic_file.hpp"
#include "run/exit_status.hpp"
#include "run/image_files.hpp"
#include "run/params.hpp"

namespace veltrane2 {

void prepare_process() {
    // The C library takes no threshold above 32 MB: larger images are still
    // mapped one by one.
    mallopt(M_MMAP_THRESHOLD, 32 * 1024 * 1024);
    mallopt(M_TRIM_THRESHOLD, 1024 * 1024 * 1024);
    // Grids then reuse the memory kept, instead of fresh mappings.
    take_grids_from_malloc();
    std::ios::sync_with_stdio(false);
}

void remove_temporaries_on_signals() {
    struct sigaction sa {};
    sa.sa_handler = [](int sig) {
        remove_temporaries();
        ::signal(sig, SIG_DFL);
        ::raise(sig);
    };
    sigemptyset(&sa.sa_mask);
    for (const int sig : {SIGINT, SIGTERM, SIGHUP}) ::sigaction(sig, &sa, nullptr);
}

int veltrane2_main(std::istream& in, std::ostream& out, std::ostream& err, std::optional<bool> force_group) {
    bool parameters_read = false;
    try {
        out << list_line("RUN MANUAL VELTRANE2");
        ClassicInput ci = inpt_veltrane(in, out);
        parameters_read = true;
        if (force_group) ci.parameters.grouped = *force_group;
        Options options;
        options.report = &out;
        options.max_side = kClassicLargestSide;
        // The outputs go beside the current folder, named by the prefix in
        // front of the name as typed, in the input's format; each is written
        // while the engine makes the next.
        OutputWriters writers;
        destripe_to_files(ci.file_name, ci.parameters, options, OutputPlace{{}, ci.file_name, {}}, writers);
        writers.finish(out);
        out.flush();
        return kExitOk;
    } catch (const Error& e) {
        if (e.kind() == ErrorKind::kLimit) {
            out << e.line();
            out.flush();
            err << "STOP 4\n";
            return kExitLimitStop;
        }
        out.flush();
        err << "veltrane2: " << e.what() << '\n';
        return parameters_read ? exit_status(e.kind()) : kExitInputError;
    } catch (const std::bad_alloc&) {
        out.flush();
        err << "veltrane2: out of memory\n";
        return kExitFileError;
    }
}

}  // namespace veltrane2
