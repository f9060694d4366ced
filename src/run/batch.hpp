// The batch command line: many images, on every core, with a progress line.
//
//   veltrane2 [options] IMAGE...
#pragma once

#include <atomic>
#include <filesystem>
#include <optional>
#include <ostream>
#include <stdexcept>
#include <string>
#include <vector>

#include <veltrane2/veltrane2.hpp>

#include "io/image_file.hpp"

namespace veltrane2 {

// A command line that cannot be carried out; exit status 2.
class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct BatchOptions {
    Parameters parameters;
    std::string preset;                 // the preset's name; empty for --params
    std::string params_file;            // --params: the parameter file
    bool automatic = false;             // --preset auto: the best candidate per image
    std::string report;                 // --report: the table of figures, one row per image
    std::vector<std::string> images;
    std::string out_dir;                // empty: beside each input
    int jobs = 0;                       // images at once; 0: one per core
    bool log = false;                   // report lines to <out>/<image>.log (scan.txt.log for scan.txt)
    bool quiet = false;                 // no progress line
    bool skip_existing = false;         // skip images whose outputs are all newer than them
    int skipped_outputs = 0;            // inputs left out of `images` because they are outputs of this program
    std::optional<FileFormat> format;   // outputs' format; default: the input's
    std::string zunits = "m";           // --zunits: a text input's height unit in .gsf outputs
    std::string channel;                // an instrument file's channel: "" the height channel, N, TITLE or all-height
    bool list_channels = false;         // list the images' channels instead of running
    bool help = false;
    bool version = false;
};

// The command line's arguments (without the program name). Reads the
// parameter file of --params. Inputs named as this program's outputs
// (FIL_, NOISE_, DENOISE_, a .log) are left out of `images` and counted,
// unless every input is named so. Throws UsageError.
BatchOptions parse_command_line(const std::vector<std::string>& args);

// What --help prints.
std::string batch_help();

// One image of a batch and where its outputs go.
struct BatchJob {
    std::string input;
    std::filesystem::path out_dir;
    std::string base;     // the input's file name without its folders; with --channel all-height the
                          // channel's number and title put before its extension (scan_1_HeightRetrace.ibw)
    std::string channel;  // the channel to read ("" the default, or --channel's)
    FileFormat format = FileFormat::kText;  // the input's, as its first bytes tell
    std::string failure;  // set when the job failed before it ran (the channels of a file not read)
};

// The jobs of a batch, in the order given. Two inputs whose outputs would
// have the same names are refused (UsageError naming both): a.txt and a.gsf
// with --format, a.ibw and a.gsf (both give FIL_a.gsf) always.
std::vector<BatchJob> plan_batch(const BatchOptions& options);

// With --channel all-height, an instrument file's job becomes one job per
// height channel, each named after its channel (a file whose channels
// cannot be read keeps one job that fails with the reason); other jobs
// stay as they are.
std::vector<BatchJob> expand_channels(std::vector<BatchJob> jobs, const BatchOptions& options);

// Creates the output folder `dir` if missing and checks that files can be
// made in it; throws UsageError naming it.
void prepare_out_dir(const std::string& dir);

// True when the three outputs of the job, in `format` (default: the
// input's; .gsf for an instrument file), all exist and are newer than the
// input.
bool outputs_up_to_date(const BatchJob& job, std::optional<FileFormat> format);
// --list-channels: each image's channels, one line each, to `out`; a file
// that cannot be read is a line on `err`. Returns 0, or 1 when any failed.
int list_channels(const std::vector<std::string>& images, std::ostream& out, std::ostream& err);

// Runs a batch. Failures and the progress line (on a terminal) go to `err`,
// the summary line to `out`. `stop` is watched between images: once set, no
// new image starts and images not yet being written are dropped. Returns the
// exit status: 0 all done, 1 any failed.
int run_batch(const BatchOptions& options, std::ostream& out, std::ostream& err, const std::atomic<int>& stop,
              bool progress);

// The whole batch command: signals, options, run. Returns the exit status.
int batch_main(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace veltrane2
