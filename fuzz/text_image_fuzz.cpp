// The text image reader on arbitrary file contents, on one thread and on
// several: the last byte of the input chooses the number of threads (1 to
// 4) and the data size from which the values are parsed in stretches side
// by side (1 byte to 1 MiB), so that small inputs reach the parallel parse.
// Both reads must give the same values, bit for bit, or the same error.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <ostream>
#include <string>
#include <vector>

#include "core/errors.hpp"
#include "io/text_image.hpp"

namespace {

// The values as read, or the error's message.
std::string read(const veltrane2::TextImageReader& reader, std::size_t count, int threads, std::size_t split) {
    std::vector<double> z(count);
    try {
        reader.read_values(z.data(), threads, split);
    } catch (const veltrane2::Error& e) {
        if (e.kind() != veltrane2::ErrorKind::kBadValue) {
            std::cerr << "text_image_fuzz: an error of another kind: " << e.what() << '\n';
            std::abort();
        }
        return std::string("error: ") + e.what();
    }
    std::string bytes(count * sizeof(double), '\0');
    std::memcpy(bytes.data(), z.data(), bytes.size());
    return bytes;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::ostream quiet(nullptr);
    const std::uint8_t choice = size > 0 ? data[size - 1] : 0;
    const int threads = 1 + (choice & 3);
    const std::size_t split = std::size_t{1} << ((choice >> 2) % 21);
    try {
        veltrane2::TextImageReader reader("fuzz.txt", std::string(reinterpret_cast<const char*>(data), size), quiet);
        const auto& h = reader.header();
        // As the programs do: the sizes are checked before storage is set aside.
        if (h.nx <= 0 || h.ny <= 0 || h.nx > 4096 || h.ny > 4096) return 0;
        const std::size_t count = static_cast<std::size_t>(h.nx * h.ny);
        std::string early;
        try {
            reader.refuse_short_data();
        } catch (const veltrane2::Error& e) {
            early = std::string("error: ") + e.what();
        }
        const std::string one = read(reader, count, 1, veltrane2::TextImageReader::kParallelSplit);
        const std::string several = read(reader, count, threads, split);
        if (one != several) {
            std::cerr << "text_image_fuzz: " << threads << " threads from " << split
                      << " bytes read otherwise than one thread\n";
            std::abort();
        }
        // A refusal for the data's length alone is the reading's own.
        if (!early.empty() && early != one) {
            std::cerr << "text_image_fuzz: refused early with \"" << early << "\", read with \"" << one << "\"\n";
            std::abort();
        }
    } catch (const veltrane2::RunError&) {
    }
    return 0;
}
