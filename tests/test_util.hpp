// Helpers shared by the tests: scratch folders, files, whole-program runs.
#pragma once

#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "io/text_image.hpp"

namespace vt {

namespace fs = std::filesystem;

#ifdef VELTRANE2_EXAMPLES
// The bundled examples (the sample and its input).
inline const fs::path kExamples = VELTRANE2_EXAMPLES;
#endif

// A fresh folder under the system's temporary folder, removed afterwards.
class ScratchDir {
public:
    ScratchDir() {
        std::string tmpl = (fs::temp_directory_path() / "veltrane2-test-XXXXXX").string();
        path_ = ::mkdtemp(tmpl.data());
    }
    ~ScratchDir() {
        std::error_code ec;
        fs::remove_all(path_, ec);
    }
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
    const fs::path& path() const { return path_; }
    fs::path operator/(const std::string& name) const { return path_ / name; }

private:
    fs::path path_;
};

// The largest grid side a test should run: every side unless a slow build
// (the sanitizers' test preset) sets VELTRANE2_TEST_MAX_SIDE, which leaves
// the larger runs to the release build.
inline int max_test_side() {
    const char* v = std::getenv("VELTRANE2_TEST_MAX_SIDE");
    return v != nullptr ? std::atoi(v) : 1 << 30;
}

inline std::string read_file(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

inline void write_file(const fs::path& p, const std::string& text) {
    std::ofstream out(p, std::ios::binary);
    out << text;
}

// Result of running a program: exit status and what it printed.
struct RunResult {
    int status = -1;
    std::string out;
    std::string err;
};

// Runs the shell command line `command` in `dir` with `input` on standard input.
inline RunResult run_command(const fs::path& dir, const std::string& command, const std::string& input = "") {
    write_file(dir / ".stdin", input);
    const std::string cmd = "cd '" + dir.string() + "' && " + command + " < .stdin > .stdout 2> .stderr";
    const int raw = std::system(cmd.c_str());
    RunResult r;
    r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    r.out = read_file(dir / ".stdout");
    r.err = read_file(dir / ".stderr");
    fs::remove(dir / ".stdin");
    fs::remove(dir / ".stdout");
    fs::remove(dir / ".stderr");
    return r;
}

// Runs `program` in `dir` with `input` on standard input.
inline RunResult run_in(const fs::path& dir, const std::string& program, const std::string& input) {
    return run_command(dir, "'" + program + "'", input);
}

// Makes dir/name with make_striped_image and its `options`.
inline fs::path generate(const fs::path& dir, const std::string& name, const std::string& options) {
    const std::string cmd = std::string("'") + VELTRANE2_GENERATOR + "' " + options + " '" + (dir / name).string() + "'";
    if (std::system(cmd.c_str()) != 0) throw std::runtime_error("cannot run " + cmd);
    return dir / name;
}

// The standard input of a run.
inline std::string run_input(const std::string& name, const std::string& h = "0.3 0.1 0.1",
                             const std::string& rc = "0.5", const std::string& l = "0.5 0.8 3") {
    return name + "\n" + h + "\n" + rc + "\n" + l + "\n";
}

// A text image with the given values (row after row).
inline std::string image_text(int nx, int ny, const std::vector<double>& z, double span = 5.0, double unit = 1.0e-6,
                              double span_y = 0.0) {
    std::ostringstream s;
    s.precision(17);
    s << "# test image\n" << nx << ' ' << ny << ' ' << span << ' ' << (span_y > 0.0 ? span_y : span) << ' ' << unit
      << '\n';
    for (int j = 0; j < ny; ++j) {
        for (int i = 0; i < nx; ++i) s << z[static_cast<std::size_t>(j) * nx + i] << ' ';
        s << '\n';
    }
    return s.str();
}

// Reads a text image without printing anything.
inline veltrane2::TextImage load(const fs::path& p) {
    std::ostringstream sink;
    return veltrane2::loadimage(p.string(), sink, 1LL << 24);
}

}  // namespace vt
