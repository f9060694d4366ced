#include "run/classic.hpp"

#include <iostream>
#include <new>

#include "core/listout.hpp"
#include "run/image_files.hpp"
#include "run/params.hpp"

namespace veltrane2 {

int veltrane2_main(std::istream& in, std::ostream& out, std::ostream& err, std::optional<bool> force_group) {
    try {
        out << list_line("RUN MANUAL VELTRANE2");
        ClassicInput ci = inpt_veltrane(in, out);
        if (force_group) ci.parameters.grouped = *force_group;
        Options options;
        options.report = &out;
        const std::string& name = ci.file_name;
        ImageFile source;
        const Result r = destripe_file(name, ci.parameters, options, source);
        // The outputs go beside the current folder, named by the prefix in
        // front of the name as typed, in the input's format.
        const int threads = io_threads(options);
        write_image_file(out, source, "FIL_", "FIL_" + name, source.format, r.gain, threads);
        write_image_file(out, source, "NOISE_", "NOISE_" + name, source.format, r.noise, threads);
        write_image_file(out, source, "DENOISE_", "DENOISE_" + name, source.format, r.cleaned, threads);
        out.flush();
        return kExitOk;
    } catch (const FatalStop& e) {
        out << e.line();
        out.flush();
        err << "STOP " << e.stop_code() << '\n';
        return kExitLimitStop;
    } catch (const RunError& e) {
        out.flush();
        err << "veltrane2: " << e.what() << '\n';
        return e.status();
    } catch (const std::bad_alloc&) {
        out.flush();
        err << "veltrane2: out of memory\n";
        return kExitFileError;
    }
}

}  // namespace veltrane2
