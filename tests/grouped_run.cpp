// A whole veltrane2 run with the grouping mode on (level estimation cluster
// by cluster), reading the same standard input. Built for the tests only.
#include <iostream>

#include "run/classic.hpp"

int main() {
    veltrane2::prepare_process();
    return veltrane2::veltrane2_main(std::cin, std::cout, std::cerr, true);
}
