// Which reader a file goes to: by content, not by name.
#include <gtest/gtest.h>

#include <sstream>

#include "../test_util.hpp"
#include "io/gwyddion/instrument.hpp"
#include "io/image_file.hpp"

namespace veltrane2 {
namespace {

const vt::fs::path kData = VELTRANE2_INSTRUMENT_DATA;
using vt::kExamples;

std::string failure(const vt::fs::path& p) {
    std::ostringstream quiet;
    try {
        read_image_file(p.string(), quiet);
    } catch (const Error& e) {
        EXPECT_EQ(e.kind(), ErrorKind::kBadValue);
        return e.what();
    }
    return "(read)";
}

TEST(ImageFileContent, FormatIsTheContentsNotTheName) {
    vt::ScratchDir dir;
    const bool built = gwyddion::backend_built();
    // A Nanoscope file named .txt is an instrument file.
    vt::fs::copy_file(kData / "full_multiple_images.txt", dir / "scan.txt");
    // A text image named .di is a text image.
    vt::fs::copy_file(kExamples / "sample.txt", dir / "sample.di");
    std::ostringstream quiet;
    EXPECT_EQ(read_image_file((dir / "sample.di").string(), quiet).format, FileFormat::kText);
    if (built) {
        const ImageFile f = read_image_file((dir / "scan.txt").string(), quiet);
        EXPECT_EQ(std::tuple(f.format, f.image.nx, f.image.span_x, f.image.unit, f.gsf.zunits),
                  std::tuple(FileFormat::kInstrument, 512, 2.0, 1e-6, std::string("m")));
    } else {
        EXPECT_EQ(failure(dir / "scan.txt"),
                  (dir / "scan.txt").string() +
                      ": not a text image or .gsf file: instrument files are read through Gwyddion, and this "
                      "veltrane2 was built without it (install libgwyddion20-dev libgtk2.0-dev libgtkglext1-dev and "
                      "build again, or export the scan from Gwyddion as .gsf)");
    }
    // Text that no reader takes keeps the text reader's message; bytes that
    // no reader takes say what was tried.
    vt::write_file(dir / "notes.txt", "a few words\nof no image\n");
    EXPECT_EQ(failure(dir / "notes.txt"),
              (dir / "notes.txt").string() + ": no header line with the five fields \"Nx Ny spanX spanY Unit\"");
    vt::write_file(dir / "blob.bin", std::string("\x01\x00\x02\x00zz", 6));
    EXPECT_EQ(failure(dir / "blob.bin"),
              (dir / "blob.bin").string() +
                  (built ? ": not a text image, a .gsf file or a file Gwyddion reads (No module can load this file type.)"
                         : ": not a text image or .gsf file: instrument files are read through Gwyddion, and this "
                           "veltrane2 was built without it (install libgwyddion20-dev libgtk2.0-dev "
                           "libgtkglext1-dev and build again, or export the scan from Gwyddion as .gsf)"));
}

TEST(ImageFileContent, OutputsOfAnInstrumentFileAreGsfNamedWithoutTheExtension) {
    EXPECT_EQ(default_output_format(FileFormat::kInstrument), FileFormat::kGsf);
    EXPECT_EQ(default_output_format(FileFormat::kText), FileFormat::kText);
    EXPECT_EQ(output_file_name(Output::kGain, channel_file_name("scan.ibw", ""), FileFormat::kInstrument,
                               FileFormat::kGsf),
              "FIL_scan.gsf");
    EXPECT_EQ(output_file_name(Output::kNoise, channel_file_name("a.b.ibw", "1_Height_Retrace"),
                               FileFormat::kInstrument, FileFormat::kText),
              "NOISE_a.b_1_Height_Retrace.txt");
}

}  // namespace
}  // namespace veltrane2
