#include "run/batch.hpp"

#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <mutex>
#include <sstream>
#include <thread>

#include "image/parallel.hpp"
#include "io/atomic_file.hpp"
#include "io/text_image.hpp"
#include "run/figures_text.hpp"
#include "run/image_files.hpp"
#include "run/params.hpp"

namespace veltrane2 {

namespace {

// The name of the automatic choice, beside the ready sets.
constexpr std::string_view kAuto = "auto";

// "general | keep-slope | conservative | auto" and the like.
std::string preset_names(std::string_view between, std::string_view last) {
    std::string names;
    for (std::size_t k = 0; k < kPresets.size(); ++k) {
        if (k > 0) names += between;
        names += kPresets[k].name;
    }
    return names + std::string(last) + std::string(kAuto);
}

}  // namespace

std::string batch_help() {
    return "usage: veltrane2 [options] IMAGE...\n"
           "       veltrane2 < INPUT        (no arguments: the classic program, parameters on standard input)\n"
           "\n"
           "Removes scan-line stripes from each IMAGE (text, .gsf, or an instrument's file read through Gwyddion)\n"
           "and writes FIL_, NOISE_ and DENOISE_ followed by the image's file name.\n"
           "\n"
           "  --preset NAME        " +
           preset_names(" | ", " | ") +
           " (the sets of examples/params/; auto: per image\n"
           "                       the best of them in both level-estimation modes, or the image left as it is)\n"
           "  --params FILE        a parameter file: the classic input's lines, with or without the image-name line\n"
           "  --grouped            level estimation cluster by cluster (the grouping mode)\n"
           "  -o, --out-dir DIR    where the outputs go (created if missing); default: beside each input\n"
           "  -j, --jobs N         images processed at once (default: the number of cores)\n"
           "  --format text|gsf    format of the outputs (default: the input's; .gsf for an instrument's file)\n"           "  --zunits UNIT        the unit of a text image's heights in .gsf outputs (default: m)\n"
           "  --channel N|TITLE    the channel of an instrument's file (default: its first height channel);\n"
           "                       all-height: each height channel, named in the outputs (FIL_scan_1_HeightRetrace.gsf)\n"
           "  --list-channels      list each IMAGE's channels (number, title, size, extent, unit) and exit\n"
           "  --log                write each image's report lines, set and figures to <out>/<image>.log\n"
           "  --report FILE.csv    write a table of every image's parameters and figures, one row per image\n"
           "  -q, --quiet          no progress line, only failures and the summary\n"
           "  --skip-existing      skip images whose three outputs exist and are newer than the image\n"
           "  --help, --version\n"
           "\n"
           "Exactly one of --preset and --params (neither with --list-channels). Exit status: 0 all images done, 1 some failed,\n"
           "2 a usage error, 130 or 143 stopped by Ctrl-C or SIGTERM.\n";
}

namespace {

int cores() {
    return static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
}

Parameters preset(const std::string& name) {
    if (const Preset* p = find_preset(name)) return p->parameters;
    throw UsageError("unknown preset '" + name + "' (" + preset_names(", ", " or ") + ")");
}

std::string read_text_file(const std::string& name) {
    try {
        return read_whole_file(name);
    } catch (const Error& e) {
        throw UsageError("cannot read the parameter file " + name + ": " + e.what());
    }
}

std::string clock_text(double seconds) {
    const long s = static_cast<long>(seconds + 0.5);
    char buf[32];
    if (s >= 3600)
        std::snprintf(buf, sizeof buf, "%ld:%02ld:%02ld", s / 3600, s / 60 % 60, s % 60);
    else
        std::snprintf(buf, sizeof buf, "%ld:%02ld", s / 60, s % 60);
    return buf;
}

}  // namespace

BatchOptions parse_command_line(const std::vector<std::string>& args) {
    BatchOptions o;
    std::optional<std::string> preset_name, params_file;
    bool grouped = false;
    bool only_images = false;
    for (std::size_t a = 0; a < args.size(); ++a) {
        std::string arg = args[a];
        if (only_images || arg.size() < 2 || arg[0] != '-') {
            o.images.push_back(arg);
            continue;
        }
        if (arg == "--") {
            only_images = true;
            continue;
        }
        // "--name=value" and "-jN" forms.
        std::optional<std::string> attached;
        if (arg.rfind("--", 0) == 0 && arg.find('=') != std::string::npos) {
            attached = arg.substr(arg.find('=') + 1);
            arg = arg.substr(0, arg.find('='));
        } else if (arg.size() > 2 && arg[1] != '-' && (arg[1] == 'j' || arg[1] == 'o')) {
            attached = arg.substr(2);
            arg = arg.substr(0, 2);
        }
        const auto value = [&]() -> std::string {
            if (attached) return *attached;
            if (a + 1 >= args.size()) throw UsageError("option '" + arg + "' needs a value");
            return args[++a];
        };
        const auto flag = [&] {
            if (attached) throw UsageError("option '" + arg + "' takes no value");
        };
        if (arg == "--preset") {
            preset_name = value();
        } else if (arg == "--params") {
            params_file = value();
        } else if (arg == "--grouped") {
            flag();
            grouped = true;
        } else if (arg == "-o" || arg == "--out-dir") {
            o.out_dir = value();
            if (o.out_dir.empty()) throw UsageError("option '" + arg + "' needs a folder");
        } else if (arg == "-j" || arg == "--jobs") {
            const std::string v = value();
            char* end = nullptr;
            const long n = std::strtol(v.c_str(), &end, 10);
            if (v.empty() || *end != '\0' || n < 1 || n > 4096) {
                throw UsageError("option '" + arg + "' needs a whole number from 1 to 4096, not '" + v + "'");
            }
            o.jobs = static_cast<int>(n);
        } else if (arg == "--format") {
            const std::string v = value();
            if (v == "text") {
                o.format = FileFormat::kText;
            } else if (v == "gsf") {
                o.format = FileFormat::kGsf;
            } else {
                throw UsageError("option '--format' takes text or gsf, not '" + v + "'");
            }
        } else if (arg == "--zunits") {
            o.zunits = value();
            if (o.zunits.empty() || o.zunits.find_first_of(" \t\r\n") != std::string::npos)
                throw UsageError("option '--zunits' needs a unit without blanks, like m or nm, not '" + o.zunits + "'");
        } else if (arg == "--report") {
            o.report = value();
            if (o.report.empty()) throw UsageError("option '--report' needs a file name");
        } else if (arg == "--channel") {
            o.channel = value();
            if (o.channel.empty()) throw UsageError("option '--channel' needs a number or a title");
        } else if (arg == "--list-channels") {
            flag();
            o.list_channels = true;
        } else if (arg == "--log") {
            flag();
            o.log = true;
        } else if (arg == "-q" || arg == "--quiet") {
            flag();
            o.quiet = true;
        } else if (arg == "--skip-existing") {
            flag();
            o.skip_existing = true;
        } else if (arg == "-h" || arg == "--help") {
            o.help = true;
            return o;
        } else if (arg == "--version") {
            o.version = true;
            return o;
        } else {
            throw UsageError("unknown option '" + args[a] + "'");
        }
    }
    if (o.help || o.version) return o;
    if (o.list_channels) {
        if (preset_name || params_file) throw UsageError("--list-channels runs nothing: give no --preset or --params");
        if (o.images.empty()) throw UsageError("no image given");
        return o;
    }
    if (preset_name.has_value() == params_file.has_value()) throw UsageError("give exactly one of --preset and --params");
    if (o.images.empty()) throw UsageError("no image given");
    if (preset_name && *preset_name == kAuto) {
        if (grouped) throw UsageError("--grouped does not go with --preset auto, which tries both modes");
        o.automatic = true;
        o.preset = *preset_name;
    } else if (preset_name) {
        o.parameters = preset(*preset_name);
        o.preset = *preset_name;
    } else {
        try {
            o.parameters = read_parameters(read_text_file(*params_file), *params_file);
            o.params_file = *params_file;
        } catch (const Error& e) {
            throw UsageError(std::string("bad parameter file: ") + e.what());
        }
    }
    o.parameters.grouped = grouped;
    // A second run over a folder would take the first run's outputs as
    // inputs; named alone, they are what the user wants to run.
    const auto is_output = [](const std::string& image) {
        const std::string base = std::filesystem::path(image).filename().string();
        if (base.size() >= 4 && base.compare(base.size() - 4, 4, ".log") == 0) return true;
        for (const OutputInfo& output : kOutputs)
            if (base.rfind(output.prefix, 0) == 0) return true;
        return false;
    };
    std::vector<std::string> inputs;
    for (const std::string& image : o.images)
        if (!is_output(image)) inputs.push_back(image);
    if (!inputs.empty()) {
        o.skipped_outputs = static_cast<int>(o.images.size() - inputs.size());
        o.images = std::move(inputs);
    }
    return o;
}

bool outputs_up_to_date(const BatchJob& job, std::optional<FileFormat> format) {
    namespace fs = std::filesystem;
    std::error_code ec;
    const auto input_time = fs::last_write_time(job.input, ec);
    if (ec) return false;
    for (const OutputInfo& output : kOutputs) {
        const fs::path p = job.out_dir / output_file_name(output.output, job.base, job.format,
                                                          format.value_or(default_output_format(job.format)));
        const auto t = fs::last_write_time(p, ec);
        if (ec || !(t > input_time)) return false;
    }
    return true;
}

void prepare_out_dir(const std::string& dir) {
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    if (ec) throw UsageError("cannot create the output folder " + dir + ": " + ec.message());
    if (::access(dir.c_str(), W_OK | X_OK) != 0) {
        throw UsageError("cannot write into the output folder " + dir + ": " + std::strerror(errno));
    }
}

int list_channels(const std::vector<std::string>& images, std::ostream& out, std::ostream& err) {
    int status = 0;
    for (const std::string& name : images) {
        std::vector<gwyddion::Channel> channels;
        try {
            channels = image_channels(name);
        } catch (const Error& e) {
            const std::string what = e.what();
            err << "veltrane2: " << (what.rfind(name + ": ", 0) == 0 ? "" : name + ": ") << what << '\n';
            status = 1;
            continue;
        }
        std::vector<std::size_t> first;
        try {
            first = gwyddion::pick_channels(channels, {});
        } catch (const gwyddion::ReadError&) {
        }
        out << name << ": " << channels.size() << (channels.size() == 1 ? " channel\n" : " channels\n");
        for (std::size_t k = 0; k < channels.size(); ++k) {
            const gwyddion::Channel& c = channels[k];
            char extent[96];
            std::snprintf(extent, sizeof extent, "%g x %g", c.xreal, c.yreal);
            out << "  " << gwyddion::channel_name(c) << ' ' << c.xres << " x " << c.yres << ", " << extent << ' '
                << c.xy_unit << ", unit " << (c.z_unit.empty() ? "none" : c.z_unit);
            if (gwyddion::is_height(c)) out << (!first.empty() && first[0] == k ? " (height, default)" : " (height)");
            out << '\n';
        }
    }
    return status;
}

std::vector<BatchJob> plan_batch(const BatchOptions& options) {
    namespace fs = std::filesystem;
    std::vector<BatchJob> jobs;
    std::map<fs::path, std::string> seen;  // output stem -> the input that claims it
    for (const std::string& input : options.images) {
        const fs::path p(input);
        BatchJob job;
        job.input = input;
        job.out_dir = options.out_dir.empty() ? p.parent_path() : fs::path(options.out_dir);
        job.base = p.filename().string();
        job.channel = options.channel;
        if (job.base.empty() || job.base == "." || job.base == "..") throw UsageError("'" + input + "' is not a file name");
        // The outputs' names: a.txt and a.gsf both give FIL_a.<format> with
        // a format given, a.ibw and a.gsf both FIL_a.gsf.
        job.format = format_of_file(input);
        const std::string key = output_file_name(Output::kGain, job.base, job.format,
                                                 options.format.value_or(default_output_format(job.format)));
        const fs::path claim = fs::weakly_canonical(job.out_dir.empty() ? fs::path(".") : job.out_dir) / key;
        const auto [it, fresh] = seen.emplace(claim, input);
        if (!fresh) {
            throw UsageError("'" + it->second + "' and '" + input + "' would write outputs of the same names into " +
                             (job.out_dir.empty() ? std::string("the current folder") : job.out_dir.string()));
        }
        jobs.push_back(std::move(job));
    }
    return jobs;
}

std::vector<BatchJob> expand_channels(std::vector<BatchJob> jobs, const BatchOptions& options) {
    if (gwyddion::ChannelPick::parse(options.channel).kind != gwyddion::ChannelPick::Kind::kAllHeight) return jobs;
    std::vector<BatchJob> expanded;
    for (BatchJob& job : jobs) {
        std::vector<ChannelChoice> choices;
        try {
            choices = channel_choices(job.input, options.channel);
        } catch (const Error& e) {
            const std::string what = e.what();
            job.failure = what.rfind(job.input + ": ", 0) == 0 ? what : job.input + ": " + what;
            expanded.push_back(std::move(job));
            continue;
        }
        for (const ChannelChoice& c : choices) {
            BatchJob one = job;
            one.channel = c.channel;
            one.base = channel_file_name(job.base, c.tag);
            expanded.push_back(std::move(one));
        }
    }
    return expanded;
}

namespace {

// The shared progress of a batch and its lines on standard error.
class Progress {
public:
    Progress(std::ostream& err, int total, bool show) : err_(err), total_(total), show_(show) {}

    void done(bool ok, const std::string& failure) {
        std::lock_guard<std::mutex> lock(m_);
        ++finished_;
        if (!ok) {
            ++failed_;
            clear();
            err_ << "veltrane2: " << failure << '\n';
        }
        draw();
    }
    void finish() {
        std::lock_guard<std::mutex> lock(m_);
        clear();
    }
    int finished() const { return finished_; }
    int failed() const { return failed_; }
    double elapsed() const {
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
    }

private:
    void clear() {
        if (show_ && drawn_) err_ << "\r\x1b[K" << std::flush;
        drawn_ = false;
    }
    void draw() {
        if (!show_) return;
        const double t = elapsed();
        std::string line = "[" + std::to_string(finished_) + "/" + std::to_string(total_) + "] " +
                           std::to_string(failed_) + " failed, " + clock_text(t) + " elapsed";
        if (finished_ > 0 && finished_ < total_) line += ", about " + clock_text(t / finished_ * (total_ - finished_)) + " left";
        err_ << "\r\x1b[K" << line << std::flush;
        drawn_ = true;
    }

    std::ostream& err_;
    std::mutex m_;
    const int total_;
    const bool show_;
    bool drawn_ = false;
    int finished_ = 0;
    int failed_ = 0;
    const std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
};

enum class Outcome { kDone, kFailed, kDropped };

// The line of an image that failed: the image's name, then what went wrong,
// with the other file an I/O failure is about when the message does not
// name it.
std::string failure_line(const std::string& input, const Error& e) {
    std::string what = e.what();
    if (e.kind() == ErrorKind::kLimit) what = "a fixed limit was reached: " + what;
    if (e.kind() == ErrorKind::kIo && !e.path().empty() && e.path() != input && what.find(e.path()) == std::string::npos)
        what += " (" + e.path() + ")";
    return what.rfind(input + ": ", 0) == 0 ? what : input + ": " + what;
}

// Every candidate of an automatic choice with its score and figures, for
// the report table.
std::string candidates_field(const AutoResult& a) {
    std::string s;
    for (const Candidate& c : a.candidates) {
        char buf[200];
        const RunFigures& f = c.figures;
        if (!c.stop.empty()) {
            std::snprintf(buf, sizeof buf, "%s: stopped", c.name.c_str());
        } else {
            std::snprintf(buf, sizeof buf, "%s: score %.4g S %.4g L %.4g C %.4g lowered %.4g E %.4g", c.name.c_str(),
                          c.score, f.cleaned.stripe_energy, f.cleaned.line_step, f.change_along_lines,
                          f.lowered_share, f.energy_removed);
        }
        s += (s.empty() ? "" : "; ") + std::string(buf);
    }
    return s;
}

Outcome process(const BatchJob& job, const BatchOptions& o, int threads, const std::atomic<int>& stop,
                std::string& failure, bool& padded, std::string& row) {
    if (!job.failure.empty()) {
        failure = job.failure;
        return Outcome::kFailed;
    }
    const auto start = std::chrono::steady_clock::now();
    std::ostringstream log;
    std::ostream quiet(nullptr);
    std::ostream& report = o.log ? static_cast<std::ostream&>(log) : quiet;
    try {
        Options opt;
        opt.report = &report;
        opt.threads = threads;
        opt.max_side = kLargestSide;
        std::filesystem::create_directories(job.out_dir.empty() ? "." : job.out_dir);
        // The outputs are named as the classic program, run beside the
        // image, names them; all of them and the log are put in place, or
        // none.
        OutputWriters writers;
        const OutputPlace place{job.out_dir, job.base, o.format, o.zunits, true};
        ReportRow line;
        std::string choice;
        if (o.automatic) {
            ImageFile source;
            const AutoResult a = auto_to_files(job.input, opt, place, writers, source, job.channel);
            const Image& input = source.image;
            const Candidate& c = a.candidates[a.chosen];
            line.choice = c.name;
            line.parameters = c.parameters;
            line.leave = c.leave;
            line.figures = c.figures;
            line.candidates = candidates_field(a);
            choice = choice_lines(a);
            line.nx = input.nx;
            line.ny = input.ny;
            line.channel = source.channel_number;
        } else {
            ImageFile source;
            destripe_to_files(job.input, o.parameters, opt, place, writers, Fit::kPadded, &source, job.channel);
            line.choice = o.preset.empty() ? "params" : o.preset;
            line.parameters = o.parameters;
            line.nx = source.image.nx;
            line.ny = source.image.ny;
            line.channel = source.channel_number;
            if (o.log || !o.report.empty()) {
                // The input is not kept: the figures do not change with a
                // constant, and noise + cleaned is the lifted input.
                const Result& r = writers.outputs();
                Image input{line.nx, line.ny, 1.0, 1.0, 1.0, {}};
                input.values.resize(static_cast<std::size_t>(line.nx) * static_cast<std::size_t>(line.ny));
                for (int j = 0; j < line.ny; ++j)
                    for (int i = 0; i < line.nx; ++i) input.at(i, j) = r.noise.at(i, j) + r.cleaned.at(i, j);
                line.figures = run_figures(input, r);
            }
        }
        if (stop.load() != 0) return Outcome::kDropped;
        const Result& r = writers.outputs();
        padded = r.noise.nx != r.side || r.noise.ny != r.side;
        writers.wait(report);
        // After the report lines and the outputs, what auto chose, the set
        // used and the run's figures.
        report << choice;
        if (line.leave)
            report << "parameters: auto (none: the image left as it is)\n";
        else
            report << parameters_line(o.automatic ? "auto" : o.preset.empty() ? o.params_file : o.preset,
                                      line.parameters);
        report << figures_lines(line.figures);
        if (o.log) {
            AtomicFile f((job.out_dir / (job.base + ".log")).string());
            const std::string text = log.str();
            f.write(text.data(), text.size());
            writers.add(std::move(f));
        }
        writers.commit_all();
        line.file = job.input;
        line.grid = writers.outputs().cleaned.nx;
        line.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        row = report_row(line);
        return Outcome::kDone;
    } catch (const Error& e) {
        failure = failure_line(job.input, e);
    } catch (const std::filesystem::filesystem_error& e) {
        failure = job.input + ": " + e.what();
    } catch (const std::bad_alloc&) {
        failure = job.input + ": out of memory";
    } catch (const std::exception& e) {
        failure = job.input + ": " + e.what();
    }
    return Outcome::kFailed;
}

}  // namespace

int run_batch(const BatchOptions& o, std::ostream& out, std::ostream& err, const std::atomic<int>& stop,
              bool progress) {
    std::vector<BatchJob> jobs = expand_channels(plan_batch(o), o);
    if (o.skipped_outputs > 0) {
        err << "veltrane2: skipping " << o.skipped_outputs << (o.skipped_outputs == 1 ? " file" : " files")
            << " named as outputs of veltrane2 (FIL_, NOISE_, DENOISE_ or .log); name them alone to run them\n";
    }
    int up_to_date = 0;
    if (o.skip_existing) {
        up_to_date = static_cast<int>(
            std::erase_if(jobs, [&o](const BatchJob& job) { return outputs_up_to_date(job, o.format); }));
    }
    const std::string skipped = up_to_date > 0 ? ", " + std::to_string(up_to_date) + " up to date" : "";
    const int total = static_cast<int>(jobs.size());
    // Images in parallel, and the cores left over shared by their transforms.
    const int workers = std::max(1, std::min(o.jobs > 0 ? o.jobs : cores(), total));
    const int threads = std::max(1, cores() / workers);
    Progress prog(err, total, progress && !o.quiet);
    std::vector<std::string> rows(jobs.size());  // of the report table, in the order given
    std::atomic<int> next{0};
    std::atomic<int> dropped{0};
    std::atomic<int> padded{0};
    const auto work = [&] {
        for (;;) {
            if (stop.load() != 0) return;
            const int k = next.fetch_add(1);
            if (k >= total) return;
            std::string failure;
            bool was_padded = false;
            const Outcome r = process(jobs[static_cast<std::size_t>(k)], o, threads, stop, failure, was_padded,
                                      rows[static_cast<std::size_t>(k)]);
            if (r == Outcome::kDone && was_padded) padded.fetch_add(1);
            if (r == Outcome::kDropped)
                dropped.fetch_add(1);
            else
                prog.done(r == Outcome::kDone, failure);
        }
    };
    run_on_threads(workers, [&](int) { work(); });
    prog.finish();

    const int failed = prog.failed();
    const int done = prog.finished() - failed;
    bool report_failed = false;
    if (!o.report.empty()) {
        // The images done, in the order given.
        try {
            std::string text = report_header();
            for (const std::string& row : rows) text += row;
            AtomicFile f(o.report);
            f.write(text.data(), text.size());
            f.commit();
        } catch (const Error& e) {
            err << "veltrane2: " << e.what() << '\n';
            report_failed = true;
        }
    }
    char secs[32];
    std::snprintf(secs, sizeof secs, "%.1f s", prog.elapsed());
    if (stop.load() != 0) {
        out << "veltrane2: stopped: " << done << " of " << total << " images done, " << failed << " failed" << skipped
            << ", " << secs << '\n';
        return 128 + stop.load();
    }
    out << "veltrane2: " << done << " of " << total << " images done, " << failed << " failed" << skipped << ", "
        << secs << '\n';
    out << "veltrane2: "
        << (o.automatic ? "parameters: auto (chosen per image: each log and the --report table say which)\n"
                        : parameters_line(o.preset.empty() ? o.params_file : o.preset, o.parameters));
    if (padded.load() > 0) {
        out << "veltrane2: " << padded.load() << " of them padded to a power-of-two square"
            << (o.log ? " (each log says from what size to what)" : " (--log says from what size to what)") << '\n';
    }
    return failed > 0 || report_failed ? 1 : 0;
}

int batch_main(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    BatchOptions o;
    try {
        o = parse_command_line(args);
        if (o.help) {
            out << batch_help();
            return 0;
        }
        if (o.version) {
            out << "veltrane2 " << kVersion << '\n';
            return 0;
        }
        if (o.list_channels) return list_channels(o.images, out, err);
        plan_batch(o);
        if (!o.out_dir.empty()) prepare_out_dir(o.out_dir);
    } catch (const UsageError& e) {
        err << "veltrane2: " << e.what() << "\nTry 'veltrane2 --help'.\n";
        return 2;
    }

    // Ctrl-C and SIGTERM are taken by a watcher thread: the first stops the
    // batch between images instead of killing it in the middle of a write,
    // a second stops it at once.
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    sigset_t old;
    pthread_sigmask(SIG_BLOCK, &set, &old);
    std::atomic<int> stop{0};
    std::atomic<bool> finished{false};
    std::thread watcher;
    try {
        watcher = std::thread([&] {
            const timespec tick{0, 100'000'000};
            while (!finished.load()) {
                const int sig = sigtimedwait(&set, nullptr, &tick);
                if (sig <= 0) continue;
                if (stop.load() == 0) {
                    stop.store(sig);
                    continue;
                }
                // A second signal stops at once: the outputs being written
                // are removed, those in place are whole.
                remove_temporaries();
                static constexpr char kLine[] = "veltrane2: stopped at once\n";
                [[maybe_unused]] const ssize_t n = ::write(STDERR_FILENO, kLine, sizeof kLine - 1);
                std::_Exit(128 + sig);
            }
        });
    } catch (...) {
        // No thread to be had: the signals act as they would without it.
        pthread_sigmask(SIG_SETMASK, &old, nullptr);
    }
    int status = 0;
    try {
        status = run_batch(o, out, err, stop, ::isatty(STDERR_FILENO) == 1);
    } catch (const std::bad_alloc&) {
        err << "veltrane2: out of memory\n";
        status = 1;
    } catch (const std::exception& e) {
        err << "veltrane2: " << e.what() << '\n';
        status = 1;
    }
    finished.store(true);
    if (watcher.joinable()) {
        watcher.join();
        pthread_sigmask(SIG_SETMASK, &old, nullptr);
    }
    return status;
}

}  // namespace veltrane2
