#include "io/image_stages.hpp"

#include <gtest/gtest.h>

#include <sstream>

#include "../test_util.hpp"
#include "run/errors.hpp"
#include "run/params.hpp"

namespace veltrane2 {
namespace {

struct Stage {
    vt::ScratchDir dir;
    RunState st;
    std::ostringstream out;

    explicit Stage(const std::string& text) {
        vt::write_file(dir / "img.txt", text);
        st.out = &out;
        st.direc1.tempfile = (dir / "img.txt").string() + " trailing";
        st.direc1.templen = stringlen(st.direc1.tempfile);
    }
    std::string name() const { return (dir / "img.txt").string(); }
    // What the stage printed after its "Opening image:" line.
    std::string printed() const { return out.str().substr(("Opening image: " + name() + "\n").size()); }
};

std::vector<double> ramp(int count) {
    std::vector<double> z;
    for (int k = 0; k < count; ++k) z.push_back(k + 1);
    return z;
}

TEST(ImageStages, SquareImageSetsTheGridAndPixelSize) {
    Stage s(vt::image_text(256, 256, ramp(256 * 256), 5.0, 1.0e-6));
    readin_new_image(s.st);
    EXPECT_EQ(s.printed(), "");
    EXPECT_EQ(s.st.tempimage.ngdtemp, 256);
    EXPECT_EQ(s.st.imagescale.gscale, 1.0e-6);
    EXPECT_EQ(s.st.spaceinv.tsp_temp, 1.0e-6 * 5.0 / 256);
    EXPECT_EQ(s.st.spaceinv.dx, 1.0 / s.st.spaceinv.tsp_temp);
    EXPECT_EQ(s.st.spaceinv.dxsq4, (0.5 * s.st.spaceinv.dx) * (0.5 * s.st.spaceinv.dx));
    // File row j, value i lands at grid (i, j).
    EXPECT_EQ(s.st.tempimage.tempht(1, 1), 1.0);
    EXPECT_EQ(s.st.tempimage.tempht(2, 1), 2.0);
    EXPECT_EQ(s.st.tempimage.tempht(1, 2), 257.0);

    // Every output carries the input's extent and unit, and identical headers.
    const RealImage& img = s.st.tempimage.tempht;
    write_output_image(s.st, (s.dir / "A.txt").string(), std::string(kComment), 256, img);
    write_output_image(s.st, (s.dir / "B.txt").string(), std::string(kComment), 256, img);
    const auto a = vt::lines(vt::read_file(s.dir / "A.txt"));
    const auto b = vt::lines(vt::read_file(s.dir / "B.txt"));
    EXPECT_EQ(a[0], "# " + s.name());
    EXPECT_EQ(a[1], "# " + std::string(kComment));
    EXPECT_EQ(a[2], "256 256 5.000e+00 5.000e+00 1.0e-06 ");
    EXPECT_EQ(a[2], b[2]);
    EXPECT_EQ(a[3].substr(0, 26), "1.000000e+00 2.000000e+00 ");
    EXPECT_EQ(vt::load(s.dir / "A.txt").z, vt::load(s.dir / "B.txt").z);
}

TEST(ImageStages, NonSquareImageIsFilledOutWithZeros) {
    Stage s(vt::image_text(8, 4, ramp(32), 5.0, 1.0));
    readin_new_image(s.st);
    EXPECT_EQ(s.printed(), " NXbig NOT THE SAME AS NYbig or size different 8 4 5 5\n");
    EXPECT_EQ(s.st.tempimage.ngdtemp, 8);
    EXPECT_EQ(s.st.tempimage.tempht(8, 4), 32.0);
    for (int j = 5; j <= 8; ++j)
        for (int i = 1; i <= 8; ++i) EXPECT_EQ(s.st.tempimage.tempht(i, j), 0.0);

    Stage t(vt::image_text(2, 4, ramp(8), 5.0, 1.0));
    readin_new_image(t.st);
    EXPECT_EQ(t.st.tempimage.ngdtemp, 4);
    EXPECT_EQ(t.st.tempimage.tempht(2, 1), 2.0);
    EXPECT_EQ(t.st.tempimage.tempht(1, 2), 3.0);
    EXPECT_EQ(t.st.tempimage.tempht(3, 1), 0.0);
    EXPECT_EQ(t.st.spaceinv.tsp_temp, 5.0 / 2);
    // The output extent is n x (first extent / Nx).
    write_output_image(t.st, (t.dir / "o.txt").string(), "c", 4, t.st.tempimage.tempht);
    EXPECT_EQ(vt::lines(vt::read_file(t.dir / "o.txt"))[2], "4 4 1.000e+01 1.000e+01 1.0e+00 ");
}

TEST(ImageStages, ExtentsDifferingByMoreThanAThousandthWarn) {
    Stage same("4 4 5.0 5.0005 1\n" + std::string(32, ' ') + "1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16\n");
    readin_new_image(same.st);
    EXPECT_EQ(same.printed(), "");
    Stage differ("4 4 5.0 5.002 1\n1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16\n");
    readin_new_image(differ.st);
    EXPECT_EQ(differ.printed(), " NXbig NOT THE SAME AS NYbig or size different 4 4 5 5.002\n");
}

TEST(ImageStages, LargestGridIsAcceptedOneMoreStops) {
    Stage big(vt::image_text(1024, 1024, std::vector<double>(1024 * 1024, 0.5)));
    readin_new_image(big.st);
    EXPECT_EQ(big.st.tempimage.ngdtemp, 1024);

    // The size stop comes before any value is read (there are none here).
    Stage over("1025 10 5 5 1\n");
    try {
        readin_new_image(over.st);
        FAIL();
    } catch (const FatalStop& e) {
        EXPECT_EQ(e.line(), " NGDTEMP > MXTEMPGD in READIN_NEW_IMAGE\n");
        EXPECT_EQ(e.stop_code(), 4);
    }
    EXPECT_EQ(over.printed(), " NXbig NOT THE SAME AS NYbig or size different 1025 10 5 5\n");
    EXPECT_EQ(over.st.tempimage.ngdtemp, 0);
}

TEST(ImageStages, SidesTheTransformCannotTakeAreRefused) {
    for (const char* header : {"300 300 5 5 1\n", "300 200 5 5 1\n", "1 1 5 5 1\n", "6 6 5 5 1\n"}) {
        Stage s(header);
        try {
            readin_new_image(s.st);
            FAIL() << header;
        } catch (const RunError& e) {
            EXPECT_EQ(e.status(), kExitSizeError);
            EXPECT_NE(std::string(e.what()).find("powers of two"), std::string::npos);
        }
        EXPECT_TRUE(s.st.tempimage.tempht.empty());
    }
}

TEST(ImageStages, SpectralDensityVariantCutsTextsAtTheFirstBlank) {
    Stage s(vt::image_text(2, 2, ramp(4), 5.0, 1.0));
    readin_new_image(s.st);
    writeout_image(s.st, (s.dir / "SPD3_x.txt").string() + " junk", "supervised VeLTRANE- rest", 2,
                   s.st.tempimage.tempht);
    const auto l = vt::lines(vt::read_file(s.dir / "SPD3_x.txt"));
    EXPECT_EQ(l[0], "# " + s.name());
    EXPECT_EQ(l[1], "# supervised");
    EXPECT_EQ(l[2], "2 2 5.000e+00 5.000e+00 1.0e+00 ");
}

}  // namespace
}  // namespace veltrane2
