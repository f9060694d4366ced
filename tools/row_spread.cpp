// Measures how striped an image is against its clean original: the spread
// (standard deviation) over the file rows of the row means of
// (image - clean). A constant offset between the two does not count.
//
//   row_spread CLEAN.txt IMAGE.txt [IMAGE.txt ...]
#include <cmath>
#include <iostream>
#include <sstream>

#include "io/text_image.hpp"
#include "core/errors.hpp"

int main(int argc, char** argv) {
    if (argc < 3) {
        std::cerr << "usage: row_spread CLEAN.txt IMAGE.txt [IMAGE.txt ...]\n";
        return 2;
    }
    try {
        std::ostringstream sink;
        const auto clean = veltrane2::loadimage(argv[1], sink, 1LL << 24);
        const long long nx = clean.header.nx;
        const long long ny = clean.header.ny;
        for (int a = 2; a < argc; ++a) {
            const auto img = veltrane2::loadimage(argv[a], sink, 1LL << 24);
            if (img.header.nx != nx || img.header.ny != ny) {
                std::cerr << "row_spread: " << argv[a] << " is not the size of " << argv[1] << '\n';
                return 1;
            }
            double sum = 0.0, sum2 = 0.0;
            for (long long j = 0; j < ny; ++j) {
                double m = 0.0;
                for (long long i = 0; i < nx; ++i) m += img.z[j * nx + i] - clean.z[j * nx + i];
                m /= static_cast<double>(nx);
                sum += m;
                sum2 += m * m;
            }
            const double mean = sum / ny;
            std::cout << argv[a] << ": spread of the row means " << std::sqrt(sum2 / ny - mean * mean) << '\n';
        }
    } catch (const veltrane2::RunError& e) {
        std::cerr << "row_spread: " << e.what() << '\n';
        return 1;
    }
    return 0;
}
