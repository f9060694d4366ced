// veltrane2: removes scan-line stripe noise from scanning-probe height
// images. With no arguments it is the classic program (the input file name
// and seven parameters from standard input); with arguments, the batch
// command line (veltrane2 --help).
#include <iostream>

#include "run/batch.hpp"
#include "run/classic.hpp"

int main(int argc, char** argv) {
    veltrane2::prepare_process();
    if (argc <= 1) {
        veltrane2::remove_temporaries_on_signals();
        return veltrane2::veltrane2_main(std::cin, std::cout, std::cerr);
    }
    return veltrane2::batch_main(std::vector<std::string>(argv + 1, argv + argc), std::cout, std::cerr);
}
