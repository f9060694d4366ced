// Outputs of a run as files: their names and what a .gsf output says of itself.
#include "io/image_file.hpp"

#include <gtest/gtest.h>

namespace veltrane2 {
namespace {

TEST(OutputFiles, NamesFollowThePrefixAndTheFormat) {
    constexpr FileFormat kText = FileFormat::kText, kGsf = FileFormat::kGsf;
    struct Case {
        Output which;
        const char* name;
        FileFormat input, output;
        const char* expected;
    } cases[] = {
        {Output::kGain, "scan.txt", kText, kText, "FIL_scan.txt"},
        {Output::kNoise, "scan.gsf", kGsf, kGsf, "NOISE_scan.gsf"},
        {Output::kCleaned, "scan.txt", kText, kGsf, "DENOISE_scan.gsf"},
        {Output::kGain, "a.b.gsf", kGsf, kText, "FIL_a.b.txt"},
        {Output::kCleaned, "noext", kText, kGsf, "DENOISE_noext.gsf"},
        // The classic program names its outputs after the name as typed.
        {Output::kNoise, "dayA/scan.txt", kText, kText, "NOISE_dayA/scan.txt"},
    };
    for (const Case& c : cases) EXPECT_EQ(output_file_name(c.which, c.name, c.input, c.output), c.expected);
}

// Which input metadata each output carries into a .gsf: only heights keep
// the height unit, every title names the output.
TEST(OutputFiles, GsfLabelsOfEachOutput) {
    const Image square{4, 4, 2.0, 2.0, 1e-6, std::vector<double>(16, 0.0)};
    ImageFile gsf_input;
    gsf_input.name = "dir/scan.gsf";
    gsf_input.format = FileFormat::kGsf;
    gsf_input.image = Image{4, 2, 3.0, 1.5, 1e-6, {}};
    gsf_input.gsf.xreal = 3.0;
    gsf_input.gsf.yreal = 1.5;
    gsf_input.gsf.xoffset = 0.25;
    gsf_input.gsf.xyunits = "um";
    gsf_input.gsf.zunits = "nm";
    ImageFile untitled = gsf_input;
    gsf_input.gsf.title = "Topography";
    ImageFile text_input;
    text_input.name = "dir/scan.txt";
    text_input.image = Image{4, 4, 2.0, 2.0, 1e-6, {}};
    struct Case {
        const ImageFile* source;
        Output which;
        double xreal, yreal;
        const char* xyunits;
        const char* zunits;
        const char* title;
    } cases[] = {
        // Rows filled out to the square: the gain says it is the square's.
        {&gsf_input, Output::kGain, 3.0, 3.0, "um", "", "FIL_Topography (gain on the spectrum of the 4 x 4 padded square)"},
        {&gsf_input, Output::kNoise, 3.0, 3.0, "um", "nm", "NOISE_Topography"},
        {&untitled, Output::kCleaned, 3.0, 3.0, "um", "nm", "DENOISE_scan.gsf"},
        // A text image's heights are in metres; its name without .txt is the title.
        {&text_input, Output::kGain, 2e-6, 2e-6, "m", "", "FIL_scan"},
        {&text_input, Output::kCleaned, 2e-6, 2e-6, "m", "m", "DENOISE_scan"},
        {&text_input, Output::kNoise, 2e-6, 2e-6, "m", "m", "NOISE_scan"},
    };
    for (const Case& c : cases) {
        const FileToWrite f = output_file(*c.source, c.which, square, "out.gsf", FileFormat::kGsf);
        SCOPED_TRACE(f.header.title);
        EXPECT_EQ(f.header.xreal, c.xreal);
        EXPECT_EQ(f.header.yreal, c.yreal);
        EXPECT_EQ(f.header.xoffset, c.source == &text_input ? 0.0 : 0.25);
        EXPECT_EQ(f.header.xyunits, c.xyunits);
        EXPECT_EQ(f.header.zunits, c.zunits);
        EXPECT_EQ(f.header.title, c.title);
        // A text output's first comment line names the input as given.
        EXPECT_EQ(output_file(*c.source, c.which, square, "out.txt", FileFormat::kText).source, c.source->name);
    }
    // --zunits: a text image in other units; a .gsf keeps its own.
    EXPECT_EQ(output_file(text_input, Output::kNoise, square, "o.gsf", FileFormat::kGsf, "nm").header.zunits, "nm");
    EXPECT_EQ(output_file(untitled, Output::kNoise, square, "o.gsf", FileFormat::kGsf, "V").header.zunits, "nm");
}

}  // namespace
}  // namespace veltrane2
