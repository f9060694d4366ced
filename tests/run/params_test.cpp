#include "run/params.hpp"

#include <gtest/gtest.h>

#include <sstream>
#include <vector>

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
        // a sign before an integer
        {"img.txt\n1 1 1\n1\n1 1 +4\n", "img.txt", 1, 1, 4},
        // blanks after a line's last value: the read goes on to the next line
        {"img.txt\n0.5 0.6 \n0.7\n0.3\n0.2 \t\n0.4 5\n", "img.txt", 0.3, 0.2, 5},
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
        {"", "standard input is empty: the input file name cannot be read"},
        // which value is missing, and where the values before it were read
        {"img.txt\n0.1 0.2\n", "standard input ends after line 2, before h_F could be read (h_G h_C were read from line 2)"},
        {"img.txt\n0.1\n", "standard input ends after line 2, before h_C h_F could be read (h_G was read from line 2)"},
        {"img.txt\n0.1 0.2 0.3\n0.5\n0.5 0.8\n",
         "standard input ends after line 4, before N_CP could be read (L_C L_F were read from line 4)"},
        {"img.txt\n0.1 0.2 0.3\n0.5\n", "standard input ends after line 3, before L_C L_F N_CP could be read"},
        // seven on one line: the read of three leaves four
        {"img.txt\n0.3 0.1 0.1 0.5 0.5 0.8 3\n",
         "standard input ends after line 2, before r_C could be read (line 2 holds 7 values, of which only h_G h_C h_F "
         "are read: r_C goes on a line of its own)"},
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
            // The messages of an input that ends early are given whole (the
            // note on what was read is there only when something was).
            if (std::string_view(fragment).rfind("standard input", 0) == 0)
                EXPECT_EQ(e.what(), std::string(fragment));
            else
                EXPECT_NE(std::string(e.what()).find(fragment), std::string::npos) << e.what();
        }
        EXPECT_EQ(out.str(), "") << "no echo before all four reads succeed";
    }
}

// The batch's parameter files are read strictly: each message names the
// file, the line and the value.
TEST(Params, ParameterFilesAreReadAsTyped) {
    const std::pair<const char*, const char*> cases[] = {
        {"0,3 0,1 0,1\n0,5\n0,5 0,8 3\n", "p.in line 1: '0,3' has a decimal comma; write 0.3 (a comma separates two values)"},
        {"img.txt\n0.3 0.1 0.1\n0,5\n0.5 0.8 3\n", "p.in line 3: '0,5' has a decimal comma; write 0.5"},
        {"0.3 0.1 0.1\n0.5\n0,5 0.8 3\n", "p.in line 3: '0,5' has a decimal comma"},
        {"0.3 0.1\n0.5\n0.5 0.8 3\n",
         "p.in line 1: h_F is missing: the line holds h_G h_C and each line holds all its values (h_G h_C h_F, then "
         "r_C, then L_C L_F N_CP)"},
        {"0.3 0.1 0.1\n0.5\n0.5\n", "p.in line 3: L_F N_CP are missing: the line holds L_C"},
        {"0.3 0.1 0.1 0.5 0.5 0.8 3\n", "p.in line 1: h_F is followed by '0.5': the line holds h_G h_C h_F and nothing more"},
        {"0.3 0.1 0.1\n0.5\n0.5 0.8 3 7\n", "p.in line 3: N_CP is followed by '7'"},
        {"0.3,0.1,0.1,0.2\n0.5\n0.5 0.8 3\n", "p.in line 1: h_F is followed by '0.2'"},
        {"0.3 0.1 0.1\n0.5\n", "p.in ends after line 2, before L_C L_F N_CP could be read"},
        {"", "p.in is empty: h_G h_C h_F cannot be read"},
        {"img.txt\n5 0.1 0.1\n0.5\n0.5 0.8 3\n",
         "p.in line 2: h_G = 5 is out of range: a homogeneity threshold, a number from 0 to 1"},
        {"0.3 0.1 0.1\n\n-0.5\n0.5 0.8 3\n", "p.in line 3: r_C = -0.5 is out of range"},
        {"0.3 0.1 0.1\n0.5\n0.5 0.8 0\n", "p.in line 3: N_CP = 0 is out of range"},
        {"0.3 0.1 0.1\n0.5\n0.5 x 3\n", "cannot read 'x' on p.in line 3 as a number (L_F)"},
        {"1e999 0.1 0.1\n0.5\n0.5 0.8 3\n", "cannot read '1e999' on p.in line 1 as a number (h_G)"},
    };
    for (const auto& [text, message] : cases) {
        try {
            read_parameters(text, "p.in");
            ADD_FAILURE() << "accepted: " << text;
        } catch (const RunError& e) {
            EXPECT_EQ(std::string(e.what()).substr(0, std::string(message).size()), message) << text;
        }
    }
    // What the list-directed rules take and a typed file means alike.
    // A name line that begins with a digit is a name line. Digits about a
    // comma in a lone word are no decimal comma when the word holds the
    // line's values.
    const char* taken[] = {"0.3,0.1,0.1\n0.5\n0.5,0.8,3\n", "img.txt extra words\n0.3, 0.1 ,0.1\n\n0.5\n0.5 0.8 3,\n",
                           "0.3 0.1 0.1\n0.5\n0.5 0.8 3\n\n", "2024-05-scan.txt\n0.3 0.1 0.1\n0.5\n0.5 0.8 3\n",
                           "3e-1,1e-1,1e-1\n5e-1\n5e-1,8e-1,3\n"};
    for (const char* text : taken) {
        const Parameters p = read_parameters(text, "p.in");
        EXPECT_EQ(std::vector<double>({p.h_global, p.h_centre, p.h_off, p.r_centre, p.l_centre, p.l_off, 1.0 * p.n_run}),
                  std::vector<double>({0.3, 0.1, 0.1, 0.5, 0.5, 0.8, 3})) << text;
    }
}

}  // namespace
}  // namespace veltrane2
