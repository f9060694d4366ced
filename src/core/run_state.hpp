// The read-only settings of a run: the thresholds of the parameters, the
// stencils, the switches, the thread count and where the report lines go.
// Every stage takes what it reads as arguments and returns its result; the
// settings are the only thing all of them share, and nothing writes them
// once the run has started.
#pragma once

#include <iostream>

#include <veltrane2/veltrane2.hpp>

#include "core/blocks.hpp"
#include "core/constants.hpp"

namespace veltrane2 {

// Homogeneity thresholds: global (h_G), centre pass (h_C), off-centre pass (h_F).
struct ControlPara1 {
    double thresh_homo_glb = 0.0;
    double thresh_homo_cent = 0.0;
    double thresh_homo_off = 0.0;
};

// Bright-fraction threshold of the centre map (r_C).
struct ControlPara2 {
    double thresh_centmap = 0.0;
};

// Line fractions (L_C, L_F) and run lengths (N_CP, always copied to icnnt_off).
struct ControlPara3 {
    double vfrac_seg = 0.0;
    double frac_seg = 0.0;
    int icnnt_cent = 0;
    int icnnt_off = 0;
};

struct RunState {
    ControlPara1 control_para1;
    ControlPara2 control_para2;
    ControlPara3 control_para3;
    Laplacian laplacian = derivative_operator();

    bool group = false;  // level estimation by clusters
    bool symm = true;    // symmetric pass after each region selection
    bool trace = false;  // the region selection prints trace lines

    // Threads for work that does not depend on other work (0: as many as
    // the machine has cores, at most four).
    int threads = 1;

    // Where the report lines go.
    std::ostream* out = &std::cout;

    // Told the time of each stage (StageClock); null: nothing is timed.
    StageTimes* times = nullptr;
};

// The settings of a run with the given parameters and options; report lines
// go to options.report, or to `quiet` when there is none.
RunState run_settings(const Parameters& parameters, const Options& options, std::ostream& quiet);

}  // namespace veltrane2
