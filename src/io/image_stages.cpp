#include "io/image_stages.hpp"

#include <cmath>
#include <vector>

#include "io/text_image.hpp"
#include "run/errors.hpp"
#include "run/listout.hpp"
#include "run/params.hpp"

namespace veltrane2 {
namespace {

bool is_power_of_two(int n) {
    return n > 0 && (n & (n - 1)) == 0;
}

std::string input_name(const RunState& st) {
    return st.direc1.tempfile.substr(0, static_cast<std::size_t>(st.direc1.templen));
}

std::string first_word(const std::string& s) {
    return s.substr(0, static_cast<std::size_t>(stringlen(s)));
}

}  // namespace

void readin_new_image(RunState& st) {
    const std::string name = input_name(st);
    TextImageReader reader(name, *st.out);
    const ImageHeader& h = reader.header();
    if (h.nx <= 0 || h.ny <= 0) {
        throw RunError(kExitFileError, name + ": the header gives " + std::to_string(h.nx) + " x " +
                                           std::to_string(h.ny) + " values; both sizes must be positive");
    }
    const long long nxbig = h.nx;
    const long long nybig = h.ny;
    const double rdimx = h.spanx;
    const double rdimy = h.spany;

    if (nxbig != nybig || std::abs(rdimx - rdimy) > 0.001) {
        *st.out << list_line("NXbig NOT THE SAME AS NYbig or size different", nxbig, nybig, rdimx, rdimy);
    }
    const long long big = nxbig > nybig ? nxbig : nybig;
    if (big > kMxtempgd) throw FatalStop(list_line("NGDTEMP > MXTEMPGD in READIN_NEW_IMAGE"));
    const int n = static_cast<int>(big);

    // The Fourier transform is radix 2 and the centred spectrum needs a
    // middle position: the side must be a power of two from 2 up.
    if (n < 2 || !is_power_of_two(n)) {
        throw RunError(kExitSizeError,
                       name + ": an image of " + std::to_string(nxbig) + " x " + std::to_string(nybig) +
                           " values needs a grid of side " + std::to_string(n) +
                           ", but the Fourier transform takes only sides that are powers of two from 2 to " +
                           std::to_string(kMxtempgd));
    }

    const int nx = static_cast<int>(nxbig);
    const int ny = static_cast<int>(nybig);
    RealImage tempht = RealImage::square(n, 0.0);
    if (nx == n) {
        // The grid's column order is the file's row order: read in place.
        reader.read_values(tempht.data());
    } else {
        std::vector<double> z(static_cast<std::size_t>(nx) * static_cast<std::size_t>(ny));
        reader.read_values(z.data());
        std::size_t k = 0;
        for (int j = 1; j <= ny; ++j) {
            for (int i = 1; i <= nx; ++i) tempht(i, j) = z[k++];
        }
    }

    st.tempimage.tempht = std::move(tempht);
    st.tempimage.ngdtemp = n;
    st.imagescale.gscale = h.unit;
    Spaceinv& s = st.spaceinv;
    s.tsp_temp = st.imagescale.gscale * rdimx / static_cast<double>(nxbig);
    s.dx = 1.0 / s.tsp_temp;
    s.dx2 = 0.5 * s.dx;
    s.dxsq = s.dx * s.dx;
    s.dxsq4 = s.dx2 * s.dx2;
}

void write_output_image(RunState& st, const std::string& filout, const std::string& comment, int nx,
                        const RealImage& image) {
    write_output_image(st, *st.out, filout, comment, nx, image);
}

void write_output_image(const RunState& st, std::ostream& out, const std::string& filout, const std::string& comment,
                        int nx, const RealImage& image) {
    const double tsp_temp1 = st.spaceinv.tsp_temp / st.imagescale.gscale;
    const double rdim = static_cast<double>(nx) * tsp_temp1;
    // Row j of the file is image(1..nx, j): on a grid of side nx that is the
    // grid's own storage order.
    const double* z = image.data();
    std::vector<double> copy;
    if (image.nx() != nx) {
        copy.resize(static_cast<std::size_t>(nx) * static_cast<std::size_t>(nx));
        std::size_t k = 0;
        for (int j = 1; j <= nx; ++j) {
            for (int i = 1; i <= nx; ++i) copy[k++] = image(i, j);
        }
        z = copy.data();
    }
    saveimage(out, input_name(st), filout, comment, nx, nx, rdim, rdim, z, st.imagescale.gscale);
}

void writeout_image(RunState& st, const std::string& filename, const std::string& comment, int n,
                    const RealImage& image) {
    const double tsp_temp1 = st.spaceinv.tsp_temp / st.imagescale.gscale;
    const double rdim = static_cast<double>(n) * tsp_temp1;
    std::vector<double> z(static_cast<std::size_t>(n) * static_cast<std::size_t>(n));
    std::size_t k = 0;
    for (int j = 1; j <= n; ++j) {
        for (int i = 1; i <= n; ++i) z[k++] = image(i, j);
    }
    const std::string first_line = first_word(st.direc1.imagedir) + input_name(st);
    saveimage(*st.out, first_line, first_word(filename), first_word(comment), n, n, rdim, rdim, z.data(),
              st.imagescale.gscale);
}

}  // namespace veltrane2
