// The one path from an image file to its three output files, which the
// classic program and the batch share: the file read (a text image straight
// onto the engine's grid), its shape checked once by the engine, the run,
// and each output handed to the writers as soon as it is made.
#pragma once

#include <exception>
#include <filesystem>
#include <memory>
#include <optional>
#include <ostream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <veltrane2/veltrane2.hpp>

#include "engine/pipeline.hpp"
#include "io/atomic_file.hpp"
#include "io/image_file.hpp"

namespace veltrane2 {

// How an image file reaches the engine: on the classic program's square grid
// of its larger side (which must be a power of two; the part beyond the
// image filled), or padded to a power-of-two square by destripe().
enum class Fit { kClassicSquare, kPadded };

// Reads the image file `filename` (printing "Opening image:" and a text
// image's header warnings to `options.report`) and runs the engine on it; a
// text image's sizes are checked before any of its values is read. `source`
// receives what the outputs carry over (the format, a .gsf's header); the
// outputs go to r, each told to `ready` as soon as it is made. Throws Error
// naming the file when it cannot be read, is malformed or has a size the
// transform cannot take, FatalStop when a limit is reached. An instrument
// file's channel is picked by `channel` (see read_image_file).
// With Fit::kPadded the image is read whole and run by destripe(): any size
// from 2 to options.max_side a side, padded to a power-of-two square, the
// noise and cleaned images cut back to the image's shape.
void destripe_file(const std::string& filename, const Parameters& parameters, const Options& options,
                   ImageFile& source, Result& r, const OutputReady& ready = {}, Fit fit = Fit::kClassicSquare,
                   const std::string& channel = {});

// The outputs of one run written side by side, each on a thread of its own
// from the moment it is started, under a temporary name; the writers hold
// the run's Result, so the images outlive their writing.
class OutputWriters {
public:
    OutputWriters() = default;
    OutputWriters(const OutputWriters&) = delete;
    OutputWriters& operator=(const OutputWriters&) = delete;
    // Waits for the writers; what was not put in place is removed.
    ~OutputWriters();

    // The images being written.
    Result& outputs() { return outputs_; }

    // Starts writing `image` (which stays where it is until the outputs are
    // put in place) as the file `f`, formatted by `threads` threads.
    void start(FileToWrite f, const Image& image, int threads);
    // A file complete already, put in place after the outputs started
    // before it.
    void add(AtomicFile file);

    // As if the files had been written one after the other: puts them in
    // place in the order they were started, printing their report lines in
    // that order; the first that failed throws its error, and none after it
    // is put in place.
    void finish(std::ostream& out);

    // All or none: waits for every writer and prints the report lines of
    // those that succeeded, in order, up to the first that failed, which
    // throws its error with nothing put in place.
    void wait(std::ostream& out);
    // After wait(): puts every file in place in order; when one cannot be,
    // those put in place before it are removed and its error is thrown. The
    // files share a folder, which is locked (FolderLock) meanwhile, so that
    // another process's set of the same names is put in place wholly before
    // or after this one.
    void commit_all();

private:
    struct Job {
        FileToWrite to_write;
        std::ostringstream report;
        std::optional<AtomicFile> file;
        std::exception_ptr error;
        std::thread thread;
    };
    void join();

    Result outputs_;
    std::vector<std::unique_ptr<Job>> jobs_;
};

// Where the outputs of an image file go and what they are called.
struct OutputPlace {
    std::filesystem::path folder;     // empty: the names are taken as they are
    std::string base;                 // the name each output's prefix goes in front of, and the name on a text
                                      // output's first comment line
    std::optional<FileFormat> format; // the outputs' format; by default the input's (.gsf for an instrument file)
    std::string zunits = "m";         // the unit of a text input's heights, for .gsf outputs
    bool notes = false;               // text outputs say what they are, carry the input's comments and
                                      // exact extents (the batch's; the classic program's are as they were)
};

// Reads and runs the image file `filename` as destripe_file() does and
// starts writing each output into `place` as soon as it is made (on
// `io_threads(options)` threads each); the caller then puts them in place
// with writers.finish() or wait() and commit_all().
// `source`, when given, receives what was read of the file besides its
// values (its sizes, format and header).
void destripe_to_files(const std::string& filename, const Parameters& parameters, const Options& options,
                       const OutputPlace& place, OutputWriters& writers, Fit fit = Fit::kClassicSquare,
                       ImageFile* source = nullptr, const std::string& channel = {});

// The same with the automatic choice: the file (an instrument file's
// channel picked by `channel`) is read whole, the choice made on it
// (destripe_auto()), and the chosen outputs written as destripe_to_files()
// writes them. Returns the choice, whose result is in writers.outputs();
// `source` receives what was read of the file, its values too.
AutoResult auto_to_files(const std::string& filename, const Options& options, const OutputPlace& place,
                         OutputWriters& writers, ImageFile& source, const std::string& channel = {});

// Threads for parsing and formatting text images: options.threads, or when
// that is 0 as many as the machine has cores (at most four).
int io_threads(const Options& options);

}  // namespace veltrane2
