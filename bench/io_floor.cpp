// The I/O floor of a run: parses one text image and writes three text images
// of the same size in the same format, with nothing computed in between. A
// full veltrane2 run on the same image is compared against this.
//
//   io_floor IMAGE.txt     (writes FIL_, NOISE_ and DENOISE_ + name here)
#include <iostream>

#include "io/text_image.hpp"
#include "core/errors.hpp"
#include "io/image_file.hpp"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: io_floor IMAGE.txt\n";
        return 2;
    }
    std::ios::sync_with_stdio(false);
    const std::string name = argv[1];
    try {
        const veltrane2::TextImage img = veltrane2::loadimage(name, std::cout, 1024LL * 1024LL);
        const auto& h = img.header;
        const std::string comment(veltrane2::kComment);
        for (const char* prefix : {"FIL_", "NOISE_", "DENOISE_"}) {
            veltrane2::saveimage(std::cout, name, prefix + name, comment, static_cast<int>(h.nx),
                                 static_cast<int>(h.ny), h.spanx, h.spany, img.z.data(), h.unit);
        }
    } catch (const veltrane2::RunError& e) {
        std::cerr << "io_floor: " << e.what() << '\n';
        return 1;
    }
    return 0;
}
