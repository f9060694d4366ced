#include "run/image_files.hpp"

#include <vector>

#include "engine/pipeline.hpp"
#include "io/text_image.hpp"
#include "run/params.hpp"

namespace veltrane2 {

Result destripe_file(const std::string& name, const Parameters& parameters, const Options& options) {
    std::ostream quiet(nullptr);
    TextImageReader reader(name, options.report != nullptr ? *options.report : quiet);
    const ImageHeader& h = reader.header();
    if (h.nx <= 0 || h.ny <= 0) {
        throw RunError(kExitFileError, name + ": the header gives " + std::to_string(h.nx) + " x " +
                                           std::to_string(h.ny) + " values; both sizes must be positive");
    }
    EngineRun run(parameters, options);
    try {
        run.take_shape(h.nx, h.ny, h.spanx, h.spany, h.unit);
    } catch (const RunError& e) {
        throw RunError(e.status(), name + ": " + e.what());
    }
    RealImage& grid = run.grid();
    if (h.nx == grid.nx()) {
        // The grid's column order is the file's row order: read in place.
        reader.read_values(grid.data());
    } else {
        const int nx = static_cast<int>(h.nx);
        const int ny = static_cast<int>(h.ny);
        std::vector<double> z(static_cast<std::size_t>(nx) * static_cast<std::size_t>(ny));
        reader.read_values(z.data());
        std::size_t k = 0;
        for (int j = 1; j <= ny; ++j) {
            for (int i = 1; i <= nx; ++i) grid(i, j) = z[k++];
        }
    }
    return run.finish();
}

void write_output(std::ostream& out, const std::string& source, const std::string& fileout, const Image& image) {
    saveimage(out, source, fileout, std::string(kComment), image.nx, image.ny, image.span_x, image.span_y,
              image.values.data(), image.unit);
}

}  // namespace veltrane2
