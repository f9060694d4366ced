// veltrane2: removes scan-line stripe noise from a scanning-probe height
// image. The input file name and seven parameters come from standard input.
#include <malloc.h>

#include <iostream>

#include "run/classic.hpp"

int main() {
    // A run allocates and frees many full-size images; keeping them on the
    // heap lets a freed image's memory serve the next one instead of being
    // handed back to the system and faulted in again.
    mallopt(M_MMAP_THRESHOLD, 512 * 1024 * 1024);
    mallopt(M_TRIM_THRESHOLD, 1024 * 1024 * 1024);
    std::ios::sync_with_stdio(false);
    return veltrane2::veltrane2_main(std::cin, std::cout, std::cerr);
}
