// The batch command line: options, outputs against the classic program,
// failures among good images, name clashes, larger grids, stopping.
#include "run/batch.hpp"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <csignal>
#include <iterator>
#include <tuple>
#include <utility>

#include "../test_util.hpp"
#include "io/gsf.hpp"
#include "run/params.hpp"

namespace veltrane2 {
namespace {

using vt::kExamples;

vt::RunResult run_args(const vt::fs::path& dir, const std::string& args) {
    return vt::run_command(dir, "'" + std::string(VELTRANE2_BIN) + "' " + args);
}

std::vector<std::string> listing(const vt::fs::path& dir) {
    std::vector<std::string> names;
    for (const auto& e : vt::fs::recursive_directory_iterator(dir))
        names.push_back(vt::fs::relative(e.path(), dir).string());
    std::sort(names.begin(), names.end());
    return names;
}

TEST(BatchOptions, CommandLinesAndTheirErrors) {
    struct Case {
        std::vector<std::string> args;
        const char* error;  // "" when accepted
    } cases[] = {
        {{"--preset", "general", "a.txt"}, ""},
        {{"--preset=keep-slope", "--grouped", "-j2", "-o", "out", "--log", "-q", "--format=gsf", "a", "b"}, ""},
        {{"--preset", "general", "--", "-odd-name.txt"}, ""},
        {{"a.txt"}, "give exactly one of --preset and --params"},
        {{"--preset", "general", "--params", "p.in", "a.txt"}, "give exactly one of --preset and --params"},
        {{"--preset", "general"}, "no image given"},
        {{"--preset", "bogus", "a.txt"}, "unknown preset 'bogus'"},
        {{"--preset"}, "option '--preset' needs a value"},
        {{"--preset", "general", "--frobnicate", "a.txt"}, "unknown option '--frobnicate'"},
        {{"--preset", "general", "-j", "0", "a.txt"}, "needs a whole number from 1 to 4096, not '0'"},
        {{"--preset", "general", "--jobs=x", "a.txt"}, "not 'x'"},
        {{"--preset", "general", "--format", "tiff", "a.txt"}, "takes text or gsf, not 'tiff'"},
        {{"--preset", "general", "--log=yes", "a.txt"}, "option '--log' takes no value"},
        {{"--preset", "auto", "--grouped", "a.txt"}, "--grouped does not go with --preset auto, which tries both modes"},
        {{"--preset", "auto", "--report", "r.csv", "a.txt"}, ""},
        {{"--preset", "general", "a.txt", "--report"}, "option '--report' needs a value"},
        {{"--params", "/nonexistent/p.in", "a.txt"}, "cannot read the parameter file /nonexistent/p.in"},
        {{"--preset", "general", "--zunits", "nm", "a.txt"}, ""},
        {{"--preset", "general", "--zunits=", "a.txt"}, "option '--zunits' needs a unit without blanks, like m or nm, not ''"},
        {{"--preset", "general", "--zunits", "n m", "a.txt"}, "not 'n m'"},
    };
    for (const Case& c : cases) {
        std::string joined;
        for (const auto& a : c.args) joined += a + ' ';
        try {
            const BatchOptions o = parse_command_line(c.args);
            EXPECT_STREQ(c.error, "") << joined;
        } catch (const UsageError& e) {
            EXPECT_NE(std::string(e.what()).find(c.error), std::string::npos) << joined << ": " << e.what();
            EXPECT_STRNE(c.error, "") << joined << ": " << e.what();
        }
    }
    const BatchOptions o = parse_command_line({"--preset=keep-slope", "--grouped", "-j2", "-o", "out", "x"});
    EXPECT_EQ(std::tuple(o.parameters.h_centre, o.parameters.grouped, o.jobs, o.out_dir), std::tuple(1.0, true, 2, "out"));
    EXPECT_TRUE(parse_command_line({"--help", "--anything-after-help"}).help);
    // The help names every option and the exit statuses; --version the version.
    std::ostringstream out, err;
    EXPECT_EQ(batch_main({"--help"}, out, err), 0);
    EXPECT_EQ(batch_main({"--version"}, out, err), 0);
    const std::string help = out.str();
    EXPECT_NE(help.find("\nveltrane2 " + std::string(veltrane2::kVersion) + "\n"), std::string::npos);
    for (const char* word : {"--preset NAME", "--params FILE", "--grouped", "-o, --out-dir DIR", "-j, --jobs N",
                             "--format text|gsf", "--log ", "<out>/<image>.log", "-q, --quiet", "--help, --version",
                             "Exit status: 0 all images done, 1 some failed,\n2 a usage error, 130 or 143"})
        EXPECT_NE(help.find(word), std::string::npos) << word;
    // The program takes any argument, even one alone, as the command line.
    vt::ScratchDir dir;
    const vt::RunResult alone = run_args(dir.path(), "--version");
    EXPECT_EQ(alone.status, 0);
    EXPECT_EQ(alone.out, "veltrane2 " + std::string(kVersion) + "\n");
}

// Every ready set is the file of examples/params of its name (which reads
// the same with or without its image-name line), the README's table row of
// that file, and a name --preset takes; the README's usage block is --help's.
TEST(BatchOptions, PresetsAreTheExampleFilesTheReadmeAndTheHelp) {
    const auto as_list = [](const Parameters& p) {
        return std::vector<double>{p.h_global, p.h_centre, p.h_off, p.r_centre, p.l_centre, p.l_off, 1.0 * p.n_run};
    };
    const std::string readme = vt::read_file(kExamples / ".." / "README.md");
    const std::string help = batch_help();
    for (const Preset& preset : kPresets) {
        const std::string name(preset.name);
        SCOPED_TRACE(name);
        const std::vector<double> expected = as_list(preset.parameters);
        const std::string text = vt::read_file(kExamples / "params" / (name + ".in"));
        for (const std::string& t : {text, text.substr(text.find('\n') + 1)})
            EXPECT_EQ(as_list(read_parameters(t, name)), expected);
        EXPECT_EQ(as_list(parse_command_line({"--preset", name, "x"}).parameters), expected);
        // "| `general.in` | `0.3 0.1 0.1` / `0.5` / `0.5 0.8 3` | ..."
        const std::string row_start = "\n| `" + name + ".in` | ";
        const auto row = readme.find(row_start);
        ASSERT_NE(row, std::string::npos);
        std::string values = readme.substr(row + row_start.size());
        values = values.substr(0, values.find(" |"));
        for (char& c : values)
            if (c == '`' || c == '/') c = ' ';
        std::istringstream in(values);
        std::vector<double> in_readme{std::istream_iterator<double>(in), std::istream_iterator<double>()};
        EXPECT_EQ(in_readme, expected) << values;
        EXPECT_NE(help.find(name), std::string::npos);
    }
    const auto usage = readme.find("\nveltrane2 [options] IMAGE...\n");
    ASSERT_NE(usage, std::string::npos);
    std::istringstream block(readme.substr(usage + 1, readme.find("```", usage) - usage - 1));
    for (std::string line; std::getline(block, line);) EXPECT_NE(help.find(line + "\n"), std::string::npos) << line;
    try {
        read_parameters("0.3 0.1\n", "p.in");
        ADD_FAILURE();
    } catch (const RunError& e) {
        EXPECT_STREQ(e.what(), "p.in line 1: h_F is missing: the line holds h_G h_C and each line holds all its values "
                               "(h_G h_C h_F, then r_C, then L_C L_F N_CP)");
    }
}

// A text image's comment lines, header line and the values' text.
std::tuple<std::vector<std::string>, std::string, std::string> text_parts(const std::string& text) {
    std::vector<std::string> comments;
    std::size_t pos = 0;
    while (pos < text.size() && (text[pos] == '#' || text[pos] == '!')) {
        const std::size_t eol = text.find('\n', pos);
        comments.push_back(text.substr(pos, eol - pos));
        pos = eol + 1;
    }
    const std::size_t eol = text.find('\n', pos);
    return {comments, text.substr(pos, eol - pos), text.substr(eol + 1)};
}

TEST(Batch, OutputsAreTheClassicProgramsWhateverTheJobs) {
    vt::ScratchDir dir;
    vt::fs::create_directories(dir / "scans");
    for (int s = 1; s <= 3; ++s)
        vt::generate(dir / "scans", "s" + std::to_string(s) + ".txt", "--size 64 --surface particles --seed " + std::to_string(s));
    vt::write_file(dir / "scans" / "bad.txt", "64 64 2 2 1e-6\n1 2 3\n");
    // The classic program, run beside each image.
    for (int s = 1; s <= 3; ++s) {
        const auto r = vt::run_in(dir / "scans", VELTRANE2_BIN, vt::run_input("s" + std::to_string(s) + ".txt"));
        ASSERT_EQ(r.status, 0) << r.err;
    }
    const std::string images = "scans/s1.txt scans/bad.txt scans/s2.txt scans/s3.txt";
    for (const char* jobs : {"1", "3"}) {
        SCOPED_TRACE(jobs);
        const std::string out = std::string("out") + jobs;
        const auto r = run_args(dir.path(), "--preset general -j " + std::string(jobs) + " -o " + out + " --log " + images);
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.err, "veltrane2: scans/bad.txt: the data end after 3 of 4096 values\n");
        EXPECT_EQ(r.out.substr(0, r.out.find(" failed,")), "veltrane2: 3 of 4 images done, 1");
        // The classic program's values and first two lines; then a line
        // saying what the file is, the input's comments, and the header's
        // extents with every digit.
        for (int s = 1; s <= 3; ++s) {
            const std::string input = "s" + std::to_string(s) + ".txt";
            const auto [input_comments, input_header, input_values] = text_parts(vt::read_file(dir / "scans" / input));
            for (const auto& [prefix, what] : {std::pair{"FIL_", "the filter gain on the centred spectrum"},
                                               std::pair{"NOISE_", "the stripe noise removed"},
                                               std::pair{"DENOISE_", "the image cleaned of its stripes"}}) {
                const std::string name = prefix + input;
                const auto [comments, header, values] = text_parts(vt::read_file(dir / out / name));
                const auto [classic_comments, classic_header, classic_values] =
                    text_parts(vt::read_file(dir / "scans" / name));
                EXPECT_TRUE(values == classic_values) << name;
                ASSERT_EQ(classic_comments.size(), 2u);
                EXPECT_EQ(std::vector<std::string>(comments.begin(), comments.begin() + 2), classic_comments);
                std::vector<std::string> notes = {"# " + std::string(prefix) + " of " + input + ": " + what +
                                                  (input_comments.empty() ? "" : "; the comment lines of " + input +
                                                                                     " follow")};
                notes.insert(notes.end(), input_comments.begin(), input_comments.end());
                EXPECT_EQ(std::vector<std::string>(comments.begin() + 2, comments.end()), notes) << name;
                EXPECT_EQ(header.substr(0, header.find(' ', header.find(' ') + 1)),
                          classic_header.substr(0, classic_header.find(' ', classic_header.find(' ') + 1)));
                std::istringstream in(input_header), got(header);
                double field_in[5], field_out[5];
                for (int f = 0; f < 5; ++f) in >> field_in[f], got >> field_out[f];
                EXPECT_EQ(field_out[2], field_in[2]) << header;  // the input's extents exactly
                EXPECT_EQ(field_out[3], field_in[3]) << header;
            }
        }
        // The log holds the classic program's report lines.
        const auto classic = vt::run_in(dir / "scans", VELTRANE2_BIN, vt::run_input("s2.txt"));
        const auto report = [](const std::string& s) {
            const auto a = s.find('\n', s.find("Opening image:")) + 1;
            return s.substr(a, s.find("Saving image:") - a);
        };
        const std::string log = vt::read_file(dir / out / "s2.txt.log");
        EXPECT_EQ(log.substr(0, log.find('\n')), "Opening image: scans/s2.txt");
        EXPECT_EQ(report(log), report(classic.out));
        EXPECT_NE(log.find("Saving image: " + out + "/DENOISE_s2.txt\n"), std::string::npos);
        EXPECT_FALSE(vt::fs::exists(dir / out / "FIL_bad.txt"));
        EXPECT_EQ(listing(dir / out).size(), 12u);  // 3 x (3 outputs and a log), nothing else
    }

    // On a terminal, a progress line updated in place, cleared at the end.
    std::ostringstream out, progress;
    EXPECT_EQ(run_batch(parse_command_line({"--preset", "general", (dir / "scans/s1.txt").string()}), out, progress,
                        std::atomic<int>{0}, true), 0);
    EXPECT_EQ(progress.str().substr(0, 20), "\r\x1b[K[1/1] 0 failed, ");
    EXPECT_EQ(progress.str().find("left"), std::string::npos);  // nothing left after the last image
    // Beside each input by default; another format on request.
    const auto r = run_args(dir.path(), "--preset general -q --format gsf scans/s1.txt");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    const GsfImage g = read_gsf((dir / "scans" / "DENOISE_s1.gsf").string());
    const TextImage t = vt::load(dir / "scans" / "DENOISE_s1.txt");
    for (std::size_t k = 0; k < t.z.size(); ++k) ASSERT_NEAR(g.values[k], t.z[k], 6e-7 * (std::abs(t.z[k]) + 1e-3));
}

// A text output says what it is, carries the input's comments and its
// extents to the last digit; a .gsf output of a text image has its heights
// in metres (or --zunits) and the input's name without .txt as its title.
TEST(Batch, OutputsSayWhatTheyAreAndKeepTheInputsComments) {
    vt::ScratchDir dir;
    std::string text = "# DNA on mica\r\n! tip 3, 0.5 Hz\r\n\n8 8 1.769080 1.769080 1e-6\n";
    for (int k = 0; k < 64; ++k) text += std::to_string(1e-9 * ((k * 37) % 11) + 1e-10 * (k / 8 % 2)) + " ";
    vt::write_file(dir / "a.txt", text + "\n");
    ASSERT_EQ(run_args(dir.path(), "--preset general -q -o t a.txt").status, 0);
    const std::string head = vt::read_file(dir / "t" / "DENOISE_a.txt");
    EXPECT_EQ(head.substr(0, head.find(" \n") + 2),
              "# a.txt\n# " + std::string(kComment) + "\n# DENOISE_ of a.txt: the image cleaned of its stripes; the "
              "comment lines of a.txt follow\n# DNA on mica\n! tip 3, 0.5 Hz\n8 8 1.76908e+00 1.76908e+00 1.0e-06 \n");
    const struct {
        const char* args;
        const char* folder;
        const char* zunits;  // of NOISE_ and DENOISE_ (FIL_ has none)
    } cases[] = {{"--format gsf", "g", "m"}, {"--format gsf --zunits nm", "n", "nm"}};
    for (const auto& c : cases) {
        ASSERT_EQ(run_args(dir.path(), "--preset general -q -o " + std::string(c.folder) + " " + c.args + " a.txt").status, 0);
        for (const char* prefix : {"FIL_", "NOISE_", "DENOISE_"}) {
            const GsfImage g = read_gsf((dir / c.folder / (prefix + std::string("a.gsf"))).string());
            EXPECT_EQ(g.title, prefix + std::string("a"));
            EXPECT_EQ(g.zunits, std::string(prefix) == "FIL_" ? "" : c.zunits) << c.args << prefix;
            EXPECT_DOUBLE_EQ(g.xreal, 1.76908e-06);
        }
    }
}

// --report's table: its columns, one row per image done in the order
// given, the figures of the library; --preset auto leaves a clean image and
// cleans a striped one, and says so in the log and the table.
TEST(Batch, ReportTableAndTheAutomaticChoice) {
    vt::ScratchDir dir;
    vt::generate(dir.path(), "striped.txt", "--size 64 --seed 4 --stripes 2.0");
    vt::generate(dir.path(), "clean.txt", "--size 64 --seed 4 --stripes 0 --bow 0");
    const std::string header =
        "file,channel,nx,ny,padded_to,parameters,h_global,h_centre,h_off,r_centre,l_centre,l_off,n_run,grouped,"
        "stripe_energy_in,stripe_energy_out,line_step_in,line_step_out,change_along_lines,lowered_share,"
        "energy_removed,candidates,seconds";
    const auto rows = [&](const std::string& name) {
        std::istringstream in(vt::read_file(dir / name));
        std::vector<std::vector<std::string>> table;
        for (std::string line; std::getline(in, line);) {
            std::vector<std::string> fields;
            // No field of these rows holds a quoted comma but the candidates.
            std::string cell;
            bool quoted = false;
            for (char c : line) {
                if (c == '"') quoted = !quoted;
                else if (c == ',' && !quoted) fields.push_back(std::exchange(cell, ""));
                else cell += c;
            }
            fields.push_back(cell);
            table.push_back(fields);
        }
        return table;
    };

    // A name holding a comma and quotes is quoted, its quotes doubled.
    vt::fs::copy_file(dir / "clean.txt", dir / "clean, \"flat\".txt");
    auto r = run_args(dir.path(),
                      "--preset general -q -o out --report general.csv striped.txt bad.txt 'clean, \"flat\".txt'");
    EXPECT_EQ(r.status, 1);
    auto t = rows("general.csv");
    ASSERT_EQ(t.size(), 3u);
    EXPECT_EQ(vt::read_file(dir / "general.csv").substr(0, header.size() + 1), header + "\n");
    std::ostringstream quiet;
    const Image striped = read_image_file((dir / "striped.txt").string(), quiet).image;
    const RunFigures f = run_figures(striped, destripe(striped, Parameters::general()));
    std::string row1;
    for (std::size_t k = 0; k < 14; ++k) row1 += t[1][k] + (k < 13 ? "," : "");
    EXPECT_EQ(row1, "striped.txt,0,64,64,,general,0.3,0.1,0.1,0.5,0.5,0.8,3,0");
    // The library's figures (the batch takes the input as noise + cleaned:
    // the same to rounding).
    const double expected[] = {f.input.stripe_energy, f.cleaned.stripe_energy, f.input.line_step, f.cleaned.line_step,
                               f.change_along_lines, f.lowered_share, f.energy_removed};
    for (std::size_t k = 0; k < 7; ++k) EXPECT_NEAR(std::stod(t[1][14 + k]), expected[k], 1e-5 * expected[k]) << k;
    EXPECT_EQ(t[1][21], "");
    EXPECT_NE(vt::read_file(dir / "general.csv").find("\n\"clean, \"\"flat\"\".txt\",0,64,64,"), std::string::npos);
    ASSERT_EQ(t[1].size(), 23u);

    r = run_args(dir.path(), "--preset auto -q -o auto --log --report auto.csv clean.txt striped.txt");
    EXPECT_EQ(r.status, 0) << r.err;
    t = rows("auto.csv");
    ASSERT_EQ(t.size(), 3u);
    EXPECT_EQ(t[1][0], "clean.txt");
    EXPECT_EQ(t[1][5], "leave");
    for (std::size_t k = 6; k < 14; ++k) EXPECT_EQ(t[1][k], "") << k;
    EXPECT_EQ(t[1][15], t[1][14]);  // the stripe energy as it was
    EXPECT_EQ(t[2][0], "striped.txt");
    EXPECT_NE(t[2][5], "leave");
    EXPECT_LT(std::stod(t[2][17]), 0.2 * std::stod(t[2][16]));  // the line-to-line step
    for (const auto& row : {t[1], t[2]}) {
        for (const char* name : {"general: score", "general grouped: score", "keep-slope: score",
                                 "keep-slope grouped: score", "conservative: score", "conservative grouped: score",
                                 "leave: score 0 "})
            EXPECT_NE(row[21].find(name), std::string::npos) << name;
    }
    const std::string log = vt::read_file(dir / "auto" / "striped.txt.log");
    EXPECT_NE(log.find("Auto: took " + t[2][5] + "\n"), std::string::npos) << log;
    EXPECT_NE(log.find("\nAuto: leave                  0.000"), std::string::npos) << log;
    EXPECT_NE(log.find("\nFigures: stripe energy "), std::string::npos) << log;
    // The outputs are those of the set taken, run on its own.
    const std::string taken = t[2][5];
    const bool grouped = taken.ends_with(" grouped");
    const auto r2 = run_args(dir.path(), "--preset " + taken.substr(0, taken.find(' ')) + (grouped ? " --grouped" : "") +
                                             " -q -o alone striped.txt");
    ASSERT_EQ(r2.status, 0) << r2.err;
    for (const char* prefix : {"FIL_", "NOISE_", "DENOISE_"}) {
        const std::string name = prefix + std::string("striped.txt");
        EXPECT_TRUE(vt::read_file(dir / "auto" / name) == vt::read_file(dir / "alone" / name)) << name;
    }
}

TEST(Batch, ClashingOutputNamesAreRefusedBeforeAnythingRuns) {
    vt::ScratchDir dir;
    vt::fs::create_directories(dir / "a");
    vt::fs::create_directories(dir / "b");
    for (const char* f : {"a/x.txt", "b/x.txt", "a/x.gsf"}) vt::write_file(dir / f, "bad");
    const std::pair<std::string, std::string> cases[] = {
        {"-o out a/x.txt b/x.txt", "'a/x.txt' and 'b/x.txt' would write outputs of the same names into out"},
        {"a/x.txt a/../a/x.txt", "'a/x.txt' and 'a/../a/x.txt' would write outputs of the same names into a"},
        {"--format gsf a/x.txt a/x.gsf", "'a/x.txt' and 'a/x.gsf' would write outputs"},
    };
    for (const auto& [args, message] : cases) {
        const auto r = run_args(dir.path(), "--preset general " + args);
        EXPECT_EQ(r.status, 2) << args;
        EXPECT_NE(r.err.find(message), std::string::npos) << r.err;
        EXPECT_FALSE(vt::fs::exists(dir / "out")) << args;
    }
}

// A 2048 x 2048 scan, beyond the classic program's limit.
TEST(Batch, LargerGridsRunInBatchMode) {
    vt::ScratchDir dir;
    const int n = 2048;
    GsfImage g;
    g.xres = g.yres = n;
    g.xreal = g.yreal = 10e-6;
    g.xyunits = g.zunits = "m";
    for (int j = 0; j < n; ++j)
        for (int i = 0; i < n; ++i)
            g.values.push_back(1e-9 * (std::sin(0.01 * i) * std::cos(0.013 * j) + ((j * 7919) % 13) * 0.1));
    write_gsf((dir / "big.gsf").string(), g);
    const auto r = run_args(dir.path(), "--preset general -q big.gsf");
    ASSERT_EQ(r.status, 0) << r.err;
    const GsfImage noise = read_gsf((dir / "NOISE_big.gsf").string());
    const GsfImage clean = read_gsf((dir / "DENOISE_big.gsf").string());
    EXPECT_EQ(clean.xres, n);
    const double lift = -*std::min_element(g.values.begin(), g.values.end());
    double worst = 0.0;
    for (std::size_t k = 0; k < g.values.size(); ++k)
        worst = std::max(worst, std::abs(noise.values[k] + clean.values[k] - (g.values[k] + lift)));
    EXPECT_LT(worst, 1e-15);  // noise + cleaned = the lifted input, to single precision of ~1e-9
    // The classic program keeps its limit; beyond 4096 the batch refuses the image.
    EXPECT_EQ(vt::run_in(dir.path(), VELTRANE2_BIN, vt::run_input("big.gsf")).status, 4);
    g.xres = 8192;
    g.yres = 2;
    g.values.resize(8192 * 2);
    write_gsf((dir / "wide.gsf").string(), g);
    const auto w = run_args(dir.path(), "--preset general -q wide.gsf");
    EXPECT_EQ(w.status, 1);
    EXPECT_EQ(w.err, "veltrane2: wide.gsf: 8192 x 2 is larger than the largest side 4096\n");
}

// Every failure line starts with the image it is about, and names the output
// file a write failed on; an image that fails leaves no output.
TEST(Batch, EveryFailureLineNamesItsFile) {
    vt::ScratchDir dir;
    vt::generate(dir.path(), "x.txt", "--size 32 --seed 2");
    vt::write_file(dir / "huge.txt", "8192 8192 1 1 1e-6\n1 2 3\n");  // refused before its values are read
    vt::write_file(dir / "flat.txt", vt::image_text(2, 2, {1, 2, 3, 4}, 0.0));
    vt::fs::create_directories(dir / "out" / "NOISE_x.txt");  // the second output cannot replace a folder
    auto r = run_args(dir.path(), "--preset general -q -j 1 -o out missing.txt other_missing.gsf huge.txt flat.txt x.txt");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err,
              "veltrane2: missing.txt: I cannot open the input data file: No such file or directory\n"
              "veltrane2: other_missing.gsf: I cannot open the input data file: No such file or directory\n"
              "veltrane2: huge.txt: 8192 x 8192 is larger than the largest side 4096\n"
              "veltrane2: flat.txt: the extents 0 x 0 in units of 1e-06 m do not give a positive finite pixel size\n"
              "veltrane2: x.txt: I cannot write the output data file out/NOISE_x.txt: Is a directory\n");
    EXPECT_EQ(listing(dir / "out"), std::vector<std::string>{"NOISE_x.txt"});

    // Heights a .gsf cannot hold: the image fails, naming the output,
    // before any of its outputs is in place; the others run on.
    std::vector<double> z(64);
    for (std::size_t k = 0; k < z.size(); ++k) z[k] = 1e39 * static_cast<double>(k % 8 + k / 8 % 2);
    vt::write_file(dir / "tall.txt", vt::image_text(8, 8, z));
    r = run_args(dir.path(), "--preset general -q -j 1 --format gsf -o gsf tall.txt x.txt");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err.rfind("veltrane2: tall.txt: gsf/NOISE_tall.gsf: value 1 of 64 (row 1, column 1) is -2.", 0), 0u)
        << r.err;
    EXPECT_NE(r.err.find("e+39, which a .gsf file's 32-bit floats cannot hold\n"), std::string::npos) << r.err;
    EXPECT_EQ(listing(dir / "gsf"), (std::vector<std::string>{"DENOISE_x.gsf", "FIL_x.gsf", "NOISE_x.gsf"}));
}

// The output folder is made and checked before any image runs.
TEST(Batch, AnOutputFolderThatCannotBeMadeIsAUsageError) {
    vt::ScratchDir dir;
    vt::generate(dir.path(), "x.txt", "--size 32 --seed 2");
    vt::write_file(dir / "afile", "");
    const auto r = run_args(dir.path(), "--preset general -o afile/sub x.txt");
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err.substr(0, r.err.find('\n')), "veltrane2: cannot create the output folder afile/sub: Not a directory");
    EXPECT_EQ(r.out, "");
    EXPECT_FALSE(vt::fs::exists(dir / "FIL_x.txt"));
}

// A second run over a folder leaves the first run's outputs alone unless
// they are named on their own; --skip-existing skips images whose outputs
// are newer than them.
TEST(Batch, OutputsAreNotRunAgainAndUpToDateImagesCanBeSkipped) {
    vt::ScratchDir dir;
    for (const char* name : {"a.txt", "b.txt"}) vt::generate(dir.path(), name, "--size 32 --seed 4");
    ASSERT_EQ(run_args(dir.path(), "--preset general -q --log a.txt b.txt").status, 0);
    const std::string everything = "DENOISE_a.txt DENOISE_b.txt FIL_a.txt FIL_b.txt NOISE_a.txt NOISE_b.txt a.txt "
                                   "a.txt.log b.txt b.txt.log";
    // b is newer than its outputs; a's outputs are complete and newer.
    vt::fs::last_write_time(dir / "b.txt", vt::fs::file_time_type::clock::now() + std::chrono::seconds(10));
    const struct {
        std::string args;
        const char* err;
        const char* summary;
    } cases[] = {
        {everything + " .log", "veltrane2: skipping 9 files named as outputs of veltrane2 (FIL_, NOISE_, DENOISE_ or .log); "
                     "name them alone to run them\n", "veltrane2: 2 of 2 images done, 0 failed, "},
        {"FIL_a.txt", "", "veltrane2: 1 of 1 images done, 0 failed, "},
        {"--skip-existing a.txt b.txt", "", "veltrane2: 1 of 1 images done, 0 failed, 1 up to date, "},
        {"--skip-existing a.txt", "", "veltrane2: 0 of 0 images done, 0 failed, 1 up to date, "},
    };
    for (const auto& c : cases) {
        const auto r = run_args(dir.path(), "--preset general -q " + c.args);
        EXPECT_EQ(r.status, 0) << c.args;
        EXPECT_EQ(r.err, c.err) << c.args;
        EXPECT_EQ(r.out.substr(0, r.out.rfind(", ") + 2), c.summary) << c.args;
    }
    EXPECT_TRUE(vt::fs::exists(dir / "FIL_FIL_a.txt"));  // named alone, an output runs
    EXPECT_FALSE(vt::fs::exists(dir / "FIL_FIL_b.txt"));
}

// The set a batch used is its summary's last line and in each log.
TEST(Batch, TheSetUsedIsInTheSummaryAndEachLog) {
    vt::ScratchDir dir;
    vt::generate(dir.path(), "a.txt", "--size 32 --seed 4");
    vt::write_file(dir / "p.in", "img.txt\n0.25 0.05 0.125\n0.6\n1.5 0 1\n");
    const struct {
        std::string args;
        const char* line;  // of the summary and the log
    } cases[] = {
        {"--preset general", "parameters: general (0.3 0.1 0.1 / 0.5 / 0.5 0.8 3)\n"},
        {"--preset keep-slope --grouped", "parameters: keep-slope (0.45 1 0.1 / 0.15 / 0.5 0.8 3), grouped\n"},
        {"--params p.in", "parameters: p.in (0.25 0.05 0.125 / 0.6 / 1.5 0 1)\n"},
    };
    for (const auto& c : cases) {
        const auto r = run_args(dir.path(), "-q --log " + c.args + " a.txt");
        ASSERT_EQ(r.status, 0) << c.args << r.err;
        EXPECT_EQ(r.out.substr(r.out.find('\n') + 1), "veltrane2: " + std::string(c.line)) << c.args;
        const std::string log = vt::read_file(dir / "a.txt.log");
        EXPECT_NE(log.find("\n" + std::string(c.line) + "Figures: "), std::string::npos) << log;
    }
    const auto r = run_args(dir.path(), "-q --log --preset auto a.txt");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.substr(r.out.find('\n') + 1),
              "veltrane2: parameters: auto (chosen per image: each log and the --report table say which)\n");
    const std::string log = vt::read_file(dir / "a.txt.log");
    EXPECT_NE(log.find("\nparameters: auto "), std::string::npos) << log;
}

TEST(Batch, StopSignalEndsTheBatchBetweenImages) {
    vt::ScratchDir dir;
    std::string images;
    for (int s = 1; s <= 40; ++s) {
        vt::generate(dir.path(), "s" + std::to_string(s) + ".txt", "--size 256 --seed " + std::to_string(s));
        images += " s" + std::to_string(s) + ".txt";
    }
    // SIGTERM after a moment; the program's own status is passed on. (Only
    // to the program: without --foreground timeout signals it a second time
    // through its process group, and a second signal stops at once.)
    const auto r = vt::run_command(dir.path(), "timeout --foreground --preserve-status -s TERM 0.4 '" +
                                                   std::string(VELTRANE2_BIN) + "' --preset general -j 1 -o out" +
                                                   images);
    EXPECT_EQ(r.status, 128 + SIGTERM) << r.out << r.err;
    EXPECT_EQ(r.out.rfind("veltrane2: stopped: ", 0), 0u) << r.out;
    // Every image either has all three outputs or none, and no temporary is left.
    int complete = 0;
    for (int s = 1; s <= 40; ++s) {
        int have = 0;
        for (const char* prefix : {"FIL_", "NOISE_", "DENOISE_"})
            have += vt::fs::exists(dir / "out" / (prefix + ("s" + std::to_string(s) + ".txt")));
        EXPECT_TRUE(have == 0 || have == 3) << s;
        complete += have == 3;
    }
    EXPECT_LT(complete, 40);
    EXPECT_NE(r.out.find(std::to_string(complete) + " of 40 images done"), std::string::npos) << r.out;
    vt::fs::create_directories(dir / "out");  // made by the first image written, if any
    for (const auto& e : vt::fs::directory_iterator(dir / "out"))
        EXPECT_EQ(e.path().filename().string().find(".tmp."), std::string::npos) << e.path();
}

// A second signal stops at once: no temporary is left, and every output in
// place is whole. The classic program removes its temporaries on a signal
// too, then ends by it.
TEST(Batch, SecondSignalStopsAtOnceAndTheClassicProgramCleansUp) {
    vt::ScratchDir dir;
    std::string images;
    for (int s = 1; s <= 6; ++s) {
        vt::generate(dir.path(), "s" + std::to_string(s) + ".txt", "--size 1024 --seed " + std::to_string(s));
        images += " s" + std::to_string(s) + ".txt";
    }
    // The signals once `ready` lists a file (or the program has ended); a
    // second signal is sent again until the program ends, since two sent at
    // once arrive as one.
    const auto signal = [](const std::string& run, const std::string& ready, const std::string& kills) {
        return "{ " + run + " & p=$!; i=0; while [ $i -lt 3000 ] && kill -0 $p 2>/dev/null && ! ls " + ready +
               " > /dev/null 2>&1; do sleep 0.01; i=$((i+1)); done; " + kills + " wait $p; echo status $?; }";
    };
    const std::string bin = "'" + std::string(VELTRANE2_BIN) + "'";
    struct Case {
        std::string command;
        std::string folder;
        int status;
        std::string message;  // on standard error
        std::size_t values;   // of each output
    } cases[] = {
        {signal(bin + " --preset general -j 1 -q -o out" + images, "out/DENOISE_*",
                "kill -TERM $p; while kill -0 $p 2>/dev/null; do sleep 0.05; kill -TERM $p 2>/dev/null; done;"),
         "out", 128 + SIGTERM, "veltrane2: stopped at once\n", 1024u * 1024u},
        {signal(bin + " < classic.in > /dev/null", "*.tmp.*", "kill -INT $p;"), ".", 128 + SIGINT, "",
         1024u * 1024u},
    };
    vt::write_file(dir / "classic.in", vt::run_input("s1.txt"));
    for (const Case& c : cases) {
        const auto r = vt::run_command(dir.path(), c.command);
        EXPECT_NE(r.out.find("status " + std::to_string(c.status) + "\n"), std::string::npos) << c.command << r.out;
        EXPECT_EQ(r.err, c.message) << c.command;
        vt::fs::create_directories(dir / c.folder);
        for (const auto& e : vt::fs::directory_iterator(dir / c.folder)) {
            const std::string name = e.path().filename().string();
            EXPECT_EQ(name.find(".tmp."), std::string::npos) << name;
            // An output in place is whole: it reads.
            if (name.rfind("FIL_", 0) == 0 || name.rfind("NOISE_", 0) == 0 || name.rfind("DENOISE_", 0) == 0) {
                EXPECT_EQ(vt::load(e.path()).z.size(), c.values) << name;
            }
        }
    }
}

// Scans of any shape: the outputs of the padded ones have the input's shape
// and extents (FIL_ the padded square), the summary counts them and each log
// says from what size to what.
TEST(Batch, ScansOfAnyShapeArePaddedAndCutBack) {
    vt::ScratchDir dir;
    const TextImage g = vt::load(vt::generate(dir.path(), "g.txt", "--size 64 --seed 4 --stripes 2"));
    const struct {
        const char* name;
        int nx, ny, side;
    } scans[] = {{"wide.txt", 50, 20, 64}, {"odd.txt", 3, 5, 8}, {"square.txt", 64, 64, 64}};
    for (const auto& c : scans) {
        std::vector<double> z;
        for (int j = 0; j < c.ny; ++j)
            for (int i = 0; i < c.nx; ++i) z.push_back(g.z[static_cast<std::size_t>(j) * 64 + i]);
        vt::write_file(dir / c.name, vt::image_text(c.nx, c.ny, z, 0.1 * c.nx, 1e-6, 0.2 * c.ny));
    }
    const auto r = run_args(dir.path(), "--preset general -q --log -o out wide.txt odd.txt square.txt");
    ASSERT_EQ(r.status, 0) << r.err;
    ASSERT_EQ(run_args(dir.path(), "--preset general -q --format gsf -o out wide.txt").status, 0);
    EXPECT_EQ(read_gsf((dir / "out" / "FIL_wide.gsf").string()).title,
              "FIL_wide (gain on the spectrum of the 64 x 64 padded square)");
    EXPECT_EQ(read_gsf((dir / "out" / "NOISE_wide.gsf").string()).title, "NOISE_wide");
    EXPECT_NE(r.out.find("\nveltrane2: 2 of them padded to a power-of-two square (each log says from what size to "
                         "what)\n"),
              std::string::npos)
        << r.out;
    for (const auto& c : scans) {
        SCOPED_TRACE(c.name);
        const std::string name = c.name;
        const TextImage fil = vt::load(dir / "out" / ("FIL_" + name));
        EXPECT_EQ(std::tie(fil.header.nx, fil.header.ny), std::tie(c.side, c.side));
        for (const char* prefix : {"NOISE_", "DENOISE_"}) {
            const TextImage out = vt::load(dir / "out" / (prefix + name));
            EXPECT_EQ(std::tie(out.header.nx, out.header.ny), std::tie(c.nx, c.ny));
            if (c.side != c.nx) {
                EXPECT_NEAR(out.header.spany, 0.2 * c.ny, 1e-3);
            }
        }
        const std::string log = vt::read_file(dir / "out" / (name + ".log"));
        const std::string padded = "Padded " + std::to_string(c.nx) + " x " + std::to_string(c.ny) + " to " +
                                   std::to_string(c.side) + " x " + std::to_string(c.side);
        EXPECT_EQ(log.find(padded) != std::string::npos, c.side != c.nx) << log;
    }
}

}  // namespace
}  // namespace veltrane2
