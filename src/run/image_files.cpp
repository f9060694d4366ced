#include "run/image_files.hpp"

#include <cstdio>
#include <filesystem>
#include <thread>
#include <vector>

#include "engine/pipeline.hpp"
#include "image/parallel.hpp"
#include "io/atomic_file.hpp"
#include "io/text_image.hpp"

namespace veltrane2 {
namespace {

// Runs `work`, putting the file's name in front of the engine's messages
// (a limit's report line stays as it is).
template <class Work>
auto naming(const std::string& name, Work work) {
    try {
        return work();
    } catch (const Error& e) {
        if (e.kind() == ErrorKind::kLimit) throw;
        throw Error(e.kind(), name + ": " + e.what());
    }
}

}  // namespace

int io_threads(const Options& options) {
    return thread_count(options.threads);
}

void destripe_file(const std::string& name, const Parameters& parameters, const Options& options, ImageFile& source,
                   Result& r, const OutputReady& ready, Fit fit, const std::string& channel) {
    std::ostream quiet(nullptr);
    std::ostream& out = options.report != nullptr ? *options.report : quiet;
    if (fit == Fit::kPadded) {
        source = read_image_file(name, out, io_threads(options), channel);
        r = naming(name, [&] { return destripe_consuming(source.image, parameters, options); });
        if (ready)
            for (const OutputInfo& o : kOutputs) ready(o.output, r.*o.image);
        return;
    }
    out << "Opening image: " << name << '\n';
    OpenedFile opened = open_image_file(name, read_whole_file(name, io_threads(options)), out, channel);
    if (opened.format != FileFormat::kText) {
        // A .gsf file or an instrument file's channel: its values in memory already.
        source = opened.format == FileFormat::kGsf ? gsf_image_file(name, opened.bytes)
                                                   : std::move(opened.instrument.front());
        opened = OpenedFile{};
        EngineRun run(parameters, options);
        naming(name, [&] { run.take_image(source.image); });
        std::vector<double>().swap(source.image.values);
        run.finish(r, ready);
        return;
    }

    source.name = name;
    source.format = FileFormat::kText;
    EngineRun run(parameters, options);
    {
        // The file's text is let go of before the run goes on.
        const TextImageReader reader = std::move(*opened.text);
        opened.text.reset();
        const ImageHeader& h = reader.header();
        naming(name, [&] { run.take_shape(h.nx, h.ny, h.spanx, h.spany, h.unit); });
        reader.refuse_short_data();
        source.image = Image{static_cast<int>(h.nx), static_cast<int>(h.ny), h.spanx, h.spany, h.unit, {}};
        RealImage& grid = run.grid();
        if (h.nx == grid.nx()) {
            // The grid's column order is the file's row order: read in place.
            reader.read_values(grid.data(), io_threads(options));
        } else {
            const int nx = static_cast<int>(h.nx);
            const int ny = static_cast<int>(h.ny);
            std::vector<double> z(static_cast<std::size_t>(nx) * static_cast<std::size_t>(ny));
            reader.read_values(z.data(), io_threads(options));
            std::size_t k = 0;
            for (int j = 1; j <= ny; ++j) {
                for (int i = 1; i <= nx; ++i) grid(i, j) = z[k++];
            }
        }
    }
    run.finish(r, ready);
}

namespace {

// Starts writing the output `which` of the run on `source` into `place`.
void start_output(const ImageFile& source, const OutputPlace& place, const Options& options, Output which,
                  const Image& image, OutputWriters& writers) {
    const FileFormat format = place.format.value_or(default_output_format(source.format));
    const std::string name = output_file_name(which, place.base, source.format, format);
    FileToWrite f = output_file(source, which, image, (place.folder / name).string(), format, place.zunits);
    f.source = place.base;
    if (place.notes && format == FileFormat::kText) f.notes = output_notes(source, which);
    writers.start(std::move(f), image, io_threads(options));
}

}  // namespace

void destripe_to_files(const std::string& filename, const Parameters& parameters, const Options& options,
                       const OutputPlace& place, OutputWriters& writers, Fit fit, ImageFile* read,
                       const std::string& channel) {
    ImageFile source;
    destripe_file(filename, parameters, options, source, writers.outputs(), [&](Output which, const Image& image) {
        start_output(source, place, options, which, image, writers);
    }, fit, channel);
    if (read != nullptr) *read = std::move(source);
}

AutoResult auto_to_files(const std::string& filename, const Options& options, const OutputPlace& place,
                         OutputWriters& writers, ImageFile& source, const std::string& channel) {
    std::ostream quiet(nullptr);
    source = read_image_file(filename, options.report != nullptr ? *options.report : quiet, io_threads(options),
                             channel);
    AutoResult a = naming(filename, [&] { return destripe_auto(source.image, options); });
    writers.outputs() = std::move(a.result);
    for (const OutputInfo& output : kOutputs)
        start_output(source, place, options, output.output, writers.outputs().*output.image, writers);
    return a;
}

OutputWriters::~OutputWriters() {
    join();
}

void OutputWriters::join() {
    for (auto& job : jobs_)
        if (job->thread.joinable()) job->thread.join();
}

void OutputWriters::start(FileToWrite f, const Image& image, int threads) {
    jobs_.push_back(std::make_unique<Job>());
    Job& job = *jobs_.back();
    job.to_write = std::move(f);
    const auto write = [&job, &image, threads]() noexcept {
        try {
            job.file.emplace(stage_image_file(job.report, job.to_write, image, threads));
        } catch (...) {
            job.error = std::current_exception();
        }
    };
    try {
        job.thread = std::thread(write);
    } catch (...) {
        write();  // no thread to be had: written here
    }
}

void OutputWriters::add(AtomicFile file) {
    jobs_.push_back(std::make_unique<Job>());
    jobs_.back()->file.emplace(std::move(file));
}

void OutputWriters::finish(std::ostream& out) {
    join();
    for (auto& job : jobs_) {
        out << job->report.str();
        if (job->error) std::rethrow_exception(job->error);
        job->file->commit();
    }
}

void OutputWriters::wait(std::ostream& out) {
    join();
    for (auto& job : jobs_) {
        if (job->error) std::rethrow_exception(job->error);
        out << job->report.str();
    }
}

void OutputWriters::commit_all() {
    if (jobs_.empty()) return;
    // Another process putting the same names in place in this folder (two
    // batches given the same -o) does so before or after this set, so that
    // an image's outputs always come from one run.
    const FolderLock lock(std::filesystem::path(jobs_.front()->file->path()).parent_path().string());
    std::size_t placed = 0;
    try {
        for (; placed < jobs_.size(); ++placed) jobs_[placed]->file->commit();
    } catch (...) {
        for (std::size_t k = 0; k < placed; ++k) std::remove(jobs_[k]->file->path().c_str());
        throw;
    }
}

}  // namespace veltrane2
