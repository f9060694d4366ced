// The figures of a run as the batch command line writes them: lines for an
// image's log, and the rows of the --report table.
#pragma once

#include <string>
#include <vector>

#include <veltrane2/veltrane2.hpp>

namespace veltrane2 {

// The set a run used, in the order of a parameter file's lines:
// "parameters: general (0.3 0.1 0.1 / 0.5 / 0.5 0.8 3)", and ", grouped"
// after it in that mode.
std::string parameters_line(const std::string& name, const Parameters& p);

// Two lines: the input's and DENOISE_'s stripe energy and line-to-line
// step, then the change along the lines, the lowered share and the energy
// removed.
std::string figures_lines(const RunFigures& f);

// The automatic choice: which candidate was taken, then a table of every
// candidate's score and figures.
std::string choice_lines(const AutoResult& a);

// The --report table: its header line, and one row per image.
std::string report_header();
struct ReportRow {
    std::string file;
    int channel = 0;         // an instrument file's channel read (Gwyddion's number); 0 for a text or .gsf file
    int nx = 0, ny = 0;
    int grid = 0;            // the side of the grid the run analysed
    std::string choice;      // the preset's name, "params", or the candidate auto took
    Parameters parameters;   // those used (none for "leave")
    bool leave = false;
    RunFigures figures;
    std::string candidates;  // auto: every candidate's "name score"; else empty
    double seconds = 0.0;
};
std::string report_row(const ReportRow& row);

// A field of a comma-separated table, quoted when it holds a comma, a
// quote or a line break.
std::string csv_field(const std::string& text);

}  // namespace veltrane2
