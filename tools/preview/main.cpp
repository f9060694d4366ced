// veltrane2-preview: renders images (text or .gsf, the formats veltrane2
// reads and writes) side by side into one PNG.
//
//   veltrane2-preview IMAGE [IMAGE ...] -o OUT.png [--grey] [--log]
//   veltrane2-preview --run NAME [--out-dir DIR] [-o OUT.png] [--grey] [--log]
#include <cstring>
#include <filesystem>
#include <iostream>
#include <optional>
#include <sstream>
#include <stdexcept>

#include "preview/render.hpp"
#include "core/errors.hpp"
#include "io/image_file.hpp"

namespace {

[[noreturn]] void usage() {
    std::cerr << "usage: veltrane2-preview IMAGE [IMAGE ...] -o OUT.png [--grey] [--log]\n"
                 "       veltrane2-preview --run NAME [--out-dir DIR] [-o OUT.png] [--grey] [--log]\n"
                 "  --run NAME  NAME and the DENOISE_, NOISE_ and FIL_ images of its run, found beside NAME\n"
                 "              or in --out-dir DIR (the batch's -o); -o DIR, a folder, is the same\n"
                 "  --grey      grey scale instead of the dark-to-bright colour map\n"
                 "  --log       show the logarithm of the magnitudes (for spectra)\n";
    std::exit(2);
}

// OUT.png for NAME: NAME with its extension replaced.
std::string default_output(const std::string& name) {
    const auto dot = name.rfind('.');
    const auto slash = name.rfind('/');
    const bool has_ext = dot != std::string::npos && (slash == std::string::npos || dot > slash);
    return (has_ext ? name.substr(0, dot) : name) + "_preview.png";
}

}  // namespace

int main(int argc, char** argv) {
    using namespace veltrane2;
    preview::Options opt;
    std::vector<std::string> images;
    std::string out;
    std::string run;
    std::string out_dir;
    for (int a = 1; a < argc; ++a) {
        const std::string arg = argv[a];
        if (arg == "-o" && a + 1 < argc) {
            out = argv[++a];
        } else if (arg == "--out-dir" && a + 1 < argc) {
            out_dir = argv[++a];
        } else if (arg == "--run" && a + 1 < argc) {
            run = argv[++a];
        } else if (arg == "--grey" || arg == "--gray") {
            opt.map = preview::ColourMap::kGrey;
        } else if (arg == "--log") {
            opt.log = true;
        } else if (arg == "-h" || arg == "--help" || (!arg.empty() && arg[0] == '-')) {
            usage();
        } else {
            images.push_back(arg);
        }
    }
    if (!run.empty()) {
        if (!images.empty()) usage();
        // "-o DIR" as the batch takes it: the folder of the run's outputs.
        if (!out.empty() && out_dir.empty() && std::filesystem::is_directory(out)) {
            out_dir = out;
            out.clear();
        }
        images = preview::run_set(run, out_dir);
        if (out.empty()) out = default_output(run);
    }
    if (images.empty() || out.empty() || (!out_dir.empty() && run.empty())) usage();

    try {
        std::vector<preview::Panel> panels;
        std::vector<ImageFile> files;
        for (const std::string& name : images) {
            std::ostringstream quiet;  // the reader's "Opening image:" lines
            try {
                files.push_back(read_image_file(name, quiet));
            } catch (const RunError& e) {
                // Every failure names its file.
                const std::string what = e.what();
                if (what.rfind(name + ": ", 0) == 0) throw;
                throw RunError(e.kind(), name + ": " + what);
            }
            panels.push_back(preview::make_panel(name, files.back().image, files.back().gsf.zunits, opt));
        }
        // A run's preview: the row means and the figures under the panels.
        std::optional<preview::RowPlot> plot;
        if (!run.empty()) plot = preview::row_plot(files[0].image, files[1].image, files[3].image, files[0].gsf.zunits);
        preview::write_png(panels, opt, out, plot ? &*plot : nullptr);
    } catch (const RunError& e) {
        std::cerr << "veltrane2-preview: " << e.what() << '\n';
        return 1;
    } catch (const std::exception& e) {
        std::cerr << "veltrane2-preview: " << e.what() << '\n';
        return 1;
    }
    std::cout << "Saving preview: " << out << '\n';
    return 0;
}
