// veltrane2: removes scan-line stripe noise from scanning-probe height
// images. With no arguments it is the classic program (the input file name
// and seven parameters from standard input); with arguments, the batch
// command line (veltrane2 --help).
#include <malloc.h>

#include <iostream>

#include "run/batch.hpp"
#include "run/classic.hpp"

int main(int argc, char** argv) {
    // A run allocates and frees many full-size images; keeping them on the
    // heap lets a freed image's memory serve the next one instead of being
    // handed back to the system and faulted in again. (The C library takes
    // no threshold above 32 MB: larger images are still mapped one by one.)
    mallopt(M_MMAP_THRESHOLD, 32 * 1024 * 1024);
    mallopt(M_TRIM_THRESHOLD, 1024 * 1024 * 1024);
    std::ios::sync_with_stdio(false);
    if (argc <= 1) return veltrane2::veltrane2_main(std::cin, std::cout, std::cerr);
    return veltrane2::batch_main(std::vector<std::string>(argv + 1, argv + argc), std::cout, std::cerr);
}
