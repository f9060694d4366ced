#include "run/params.hpp"

#include <gtest/gtest.h>

#include <sstream>

#include "run/errors.hpp"

namespace veltrane2 {
namespace {

struct Parsed {
    RunState st;
    DriverFlags flags;
    std::ostringstream out;
};

void parse(Parsed& p, const std::string& input) {
    std::istringstream in(input);
    p.st.out = &p.out;
    p.flags = inpt_veltrane(in, p.st);
}

TEST(Params, FourLinesFillTheBlocksAndEchoInOrder) {
    Parsed p;
    parse(p, "img.txt\n0.5 0.6 0.7\n0.3\n0.2 0.4 5\n");
    EXPECT_EQ(p.st.direc1.tempfile, "img.txt");
    EXPECT_EQ(p.st.direc1.templen, 7);
    EXPECT_EQ(p.st.control_para1.thresh_homo_glb, 0.5);
    EXPECT_EQ(p.st.control_para1.thresh_homo_cent, 0.6);
    EXPECT_EQ(p.st.control_para1.thresh_homo_off, 0.7);
    EXPECT_EQ(p.st.control_para2.thresh_centmap, 0.3);
    EXPECT_EQ(p.st.control_para3.vfrac_seg, 0.2);
    EXPECT_EQ(p.st.control_para3.frac_seg, 0.4);
    EXPECT_EQ(p.st.control_para3.icnnt_cent, 5);
    EXPECT_EQ(p.st.control_para3.icnnt_off, 5);
    EXPECT_TRUE(p.st.writefile.write_filter);
    EXPECT_TRUE(p.st.writefile.write_noise);
    EXPECT_FALSE(p.st.writefile.write_spd);
    EXPECT_FALSE(p.st.writefile.write_dspd);
    EXPECT_FALSE(p.flags.group);
    EXPECT_TRUE(p.flags.symm);
    EXPECT_EQ(p.flags.comment.rfind("supervised VeLTRANE- ", 0), 0u);
    EXPECT_EQ(p.out.str(),
              " Read in h_G= 0.5\n Read in h_C= 0.6\n Read in h_F= 0.7\n Read in r_C = 0.3\n"
              " Read in L_C= 0.2\n Read in L_F= 0.4\n Read in N_CP= 5\n");
}

TEST(Params, EachReadDiscardsTheRestOfItsLastLine) {
    Parsed p;
    parse(p, "img.txt extra words\n0.5 0.6 0.7 0.3 0.2 0.4 5\n0.9\n0.1, 0.2,\n 7 8\n");
    EXPECT_EQ(p.st.direc1.tempfile, "img.txt");
    EXPECT_EQ(p.st.control_para1.thresh_homo_off, 0.7);
    EXPECT_EQ(p.st.control_para2.thresh_centmap, 0.9);  // not the 0.3 left on line 2
    EXPECT_EQ(p.st.control_para3.vfrac_seg, 0.1);
    EXPECT_EQ(p.st.control_para3.frac_seg, 0.2);
    EXPECT_EQ(p.st.control_para3.icnnt_cent, 7);  // the read went on to the next line
}

TEST(Params, BlankLinesAreSkippedAndFortranExponentsRead) {
    Parsed p;
    parse(p, "\n  img.txt\n\n0.5,0.6 , 7.0D-1\n3.0e-1\n2d-1 +0.4 -5\n");
    EXPECT_EQ(p.st.control_para1.thresh_homo_off, 0.7);
    EXPECT_EQ(p.st.control_para2.thresh_centmap, 0.3);
    EXPECT_EQ(p.st.control_para3.vfrac_seg, 0.2);
    EXPECT_EQ(p.st.control_para3.icnnt_cent, -5);
}

TEST(Params, NamesQuotedOrWithSlashes) {
    {
        Parsed p;
        parse(p, "'my scan.txt' ignored\n1 1 1\n1\n1 1 1\n");
        EXPECT_EQ(p.st.direc1.tempfile, "my scan.txt");
        EXPECT_EQ(p.st.direc1.templen, 2);
    }
    {
        Parsed p;
        parse(p, "data/scans/a.txt\n1 1 1\n1\n1 1 1\n");
        EXPECT_EQ(p.st.direc1.tempfile, "data/scans/a.txt");
        EXPECT_EQ(p.st.direc1.templen, 16);
    }
    {
        Parsed p;
        parse(p, "\"it''s\"\n1 1 1\n1\n1 1 1\n");
        EXPECT_EQ(p.st.direc1.tempfile, "it''s");
    }
    {
        Parsed p;
        parse(p, "'it''s',x\n1 1 1\n1\n1 1 1\n");
        EXPECT_EQ(p.st.direc1.tempfile, "it's");
    }
    {
        Parsed p;
        parse(p, "a,b\n1 1 1\n1\n1 1 1\n");
        EXPECT_EQ(p.st.direc1.tempfile, "a");
    }
}

void expect_input_error(const std::string& input, const std::string& fragment) {
    Parsed p;
    try {
        parse(p, input);
        FAIL() << "accepted: " << input;
    } catch (const RunError& e) {
        EXPECT_EQ(e.status(), kExitInputError);
        EXPECT_NE(std::string(e.what()).find(fragment), std::string::npos) << e.what();
    }
    EXPECT_EQ(p.out.str(), "") << "no echo before all four reads succeed";
    EXPECT_EQ(p.st.direc1.tempfile, "");
}

TEST(Params, UnreadableInputIsReportedWithoutEcho) {
    expect_input_error("", "the input file name");
    expect_input_error("img.txt\n0.1 0.2\n", "h_G h_C h_F");
    expect_input_error("img.txt\n0.1 0.2 0.3\n0.5\n0.5 0.8\n", "L_C L_F N_CP");
    expect_input_error("img.txt\n0.1 abc 0.3\n0.5\n0.5 0.8 3\n", "'abc' on standard input line 2");
    expect_input_error("img.txt\n0.1 0.2 0.3\n0.5\n0.5 0.8 3.5\n", "N_CP");
    expect_input_error("img.txt\n0.1,,0.3\n0.5\n0.5 0.8 3\n", "empty value");
    expect_input_error("'img.txt\n0.1 0.2 0.3\n0.5\n0.5 0.8 3\n", "closing quote");
    expect_input_error("img.txt\n0.1 0.2 0.3\n'0.5'\n0.5 0.8 3\n", "r_C");
    expect_input_error("img.txt\n0.1 0.2 nan\n0.5\n0.5 0.8 3\n", "h_F");
    expect_input_error("img.txt\n0.1 0.2 0.3\n0.5\n0.5 0.8 99999999999\n", "N_CP");
}

TEST(Params, StringlenStopsAtTheFirstBlank) {
    EXPECT_EQ(stringlen(""), 0);
    EXPECT_EQ(stringlen(" a"), 0);
    EXPECT_EQ(stringlen("abc def"), 3);
    EXPECT_EQ(stringlen("abc"), 3);
}

TEST(Params, ConstantsOfTheRun) {
    Fconst2 fc;
    parameter_data(fc);
    EXPECT_EQ(fc.pi, 3.141592653589793);
    EXPECT_EQ(fc.twopi, 6.283185307179586);
    EXPECT_EQ(fc.degree2pi, 0.017453292519943295);
    EXPECT_EQ(fc.dsqrt2pi, 2.5066282746310002);
    ZeroControl zc;
    EXPECT_EQ(zc.pvtiny, 1.0e-8);
    EXPECT_EQ(zc.evtiny, -1.0e-8);
}

}  // namespace
}  // namespace veltrane2
