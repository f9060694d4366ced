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
        const Result r = destripe_file(name, ci.parameters, options);
        write_output(out, name, "FIL_" + name, r.gain);
        write_output(out, name, "NOISE_" + name, r.noise);
        write_output(out, name, "DENOISE_" + name, r.cleaned);
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
