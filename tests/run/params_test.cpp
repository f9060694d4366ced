#include "run/params.hpp"

#include <gtest/gtest.h>

#include <sstream>

namespace veltrane2 {
namespace {

ClassicInput parse(const std::string& input, std::ostream& out) {
    std::istringstream in(input);
    return inpt_veltrane(in, out);
}

TEST(Params, ListDirectedReads) {
    struct Case {
        const char* input;
        const char* name;
        double r_centre, l_centre;
        int n_run;
    } cases[] = {
        // each read discards the rest of its last line, and goes on to the next line when its own runs out
        {"img.txt extra words\n0.5 0.6 0.7 0.3 0.2 0.4 5\n0.9\n0.1, 0.2,\n 7 8\n", "img.txt", 0.9, 0.1, 7},
        // blank lines are skipped; D exponents, signs and commas
        {"\n  img.txt\n\n0.5,0.6 , 7.0D-1\n3.0e-1\n2d-1 +0.4 -5\n", "img.txt", 0.3, 0.2, -5},
        // a quoted name is cut at its first blank
        {"'my scan.txt' ignored\n1 1 1\n1\n1 1 1\n", "my", 1, 1, 1},
        {"data/scans/a.txt\n1 1 1\n1\n1 1 1\n", "data/scans/a.txt", 1, 1, 1},
        {"\"it''s\"\n1 1 1\n1\n1 1 1\n", "it''s", 1, 1, 1},
        {"'it''s',x\n1 1 1\n1\n1 1 1\n", "it's", 1, 1, 1},
        {"a,b\n1 1 1\n1\n1 1 1\n", "a", 1, 1, 1},
    };
    for (const Case& c : cases) {
        std::ostringstream out;
        const ClassicInput ci = parse(c.input, out);
        EXPECT_EQ(ci.file_name, c.name) << c.input;
        EXPECT_EQ(ci.parameters.r_centre, c.r_centre) << c.input;
        EXPECT_EQ(ci.parameters.l_centre, c.l_centre) << c.input;
        EXPECT_EQ(ci.parameters.n_run, c.n_run) << c.input;
    }
}

TEST(Params, UnreadableInputIsReportedWithoutEcho) {
    const std::pair<const char*, const char*> cases[] = {
        {"", "the input file name"},
        {"img.txt\n0.1 0.2\n", "h_G h_C h_F"},
        {"img.txt\n0.1 0.2 0.3\n0.5\n0.5 0.8\n", "L_C L_F N_CP"},
        {"img.txt\n0.1 abc 0.3\n0.5\n0.5 0.8 3\n", "'abc' on standard input line 2"},
        {"img.txt\n0.1 0.2 0.3\n0.5\n0.5 0.8 3.5\n", "N_CP"},
        {"img.txt\n0.1,,0.3\n0.5\n0.5 0.8 3\n", "empty value"},
        {"img.txt\n ,0.1 0.3\n0.5\n0.5 0.8 3\n", "line 2 has an empty value"},
        {"'img.txt\n0.1 0.2 0.3\n0.5\n0.5 0.8 3\n", "closing quote"},
        {"img.txt\n0.1 0.2 0.3\n'0.5'\n0.5 0.8 3\n", "r_C"},
        {"img.txt\n0.1 0.2 nan\n0.5\n0.5 0.8 3\n", "h_F"},
        {"img.txt\n0.1 0.2 0.3\n0.5\n0.5 0.8 99999999999\n", "N_CP"},
    };
    for (const auto& [input, fragment] : cases) {
        std::ostringstream out;
        try {
            parse(input, out);
            ADD_FAILURE() << "accepted: " << input;
        } catch (const RunError& e) {
            EXPECT_EQ(e.kind(), ErrorKind::kBadValue);
            EXPECT_NE(std::string(e.what()).find(fragment), std::string::npos) << e.what();
        }
        EXPECT_EQ(out.str(), "") << "no echo before all four reads succeed";
    }
}

}  // namespace
}  // namespace veltrane2
