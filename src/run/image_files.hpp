// The program's file stages around the engine: an image file read (a text
// image straight onto the engine's grid), and the outputs written in the
// input's format or another.
#pragma once

#include <exception>
#include <memory>
#include <optional>
#include <ostream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <veltrane2/veltrane2.hpp>

#include "engine/pipeline.hpp"
#include "io/image_file.hpp"

namespace veltrane2 {

// Reads the image file `filename` (printing "Opening image:" and a text
// image's header warnings to `options.report`) and runs the engine on it; a
// text image's sizes are checked before any of its values is read. `source`
// receives what the outputs carry over (the format, a .gsf's header); the
// outputs go to r, each told to `ready` as soon as it is made. Throws Error
// naming the file when it cannot be read, is malformed or has a size the
// transform cannot take, FatalStop when a limit is reached.
void destripe_file(const std::string& filename, const Parameters& parameters, const Options& options,
                   ImageFile& source, Result& r, const OutputReady& ready = {});

// The outputs of one run written side by side, each on a thread of its own
// from the moment it is started, under a temporary name. finish() puts them
// in place in the order they were started and prints their report lines in
// that order, as if they had been written one after the other: the first
// that failed throws its error, and none after it is put in place.
class OutputWriters {
public:
    OutputWriters() = default;
    OutputWriters(const OutputWriters&) = delete;
    OutputWriters& operator=(const OutputWriters&) = delete;
    // Waits for the writers; what was not put in place is removed.
    ~OutputWriters();

    // Starts writing `image` (which stays where it is until finish()) as the
    // file `f`, formatted by `threads` threads.
    void start(FileToWrite f, const Image& image, int threads);
    void finish(std::ostream& out);

private:
    struct Job {
        std::ostringstream report;
        std::optional<AtomicFile> file;
        std::exception_ptr error;
        std::thread thread;
    };
    void join();

    std::vector<std::unique_ptr<Job>> jobs_;
};

// Threads for parsing and formatting text images: options.threads, or when
// that is 0 as many as the machine has cores (at most four).
int io_threads(const Options& options);

}  // namespace veltrane2
