// The shared blocks of a run: the settings, the constants, and the stage
// results that later stages read. One RunState exists per run; the driver
// owns it and hands it to every stage.
#pragma once

#include <array>
#include <iostream>
#include <string>

#include "core/blocks.hpp"
#include "image/grid.hpp"

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

// Output switches.
struct Writefile {
    bool write_filter = false;
    bool write_spd = false;
    bool write_noise = false;
    bool write_dspd = false;
};

// The input file name as typed and its length up to the first blank.
struct Direc1 {
    int templen = 0;
    std::string tempfile;
    std::string imagedir;  // never set; read only by the spectral-density writer
};

// Length unit of the image (fifth header field of the input).
struct Imagescale {
    double gscale = 0.0;
};

// Pixel size of the input and the factors derived from it.
struct Spaceinv {
    double dx = 0.0;
    double dx2 = 0.0;
    double dxsq = 0.0;
    double dxsq4 = 0.0;
    double tsp_temp = 0.0;
};

// The input height image on the square grid of side ngdtemp.
struct Tempimage {
    RealImage tempht;
    int ngdtemp = 0;
};

// Tolerances for vanishing differences, norms and steps.
struct ZeroControl {
    double pvtiny = 1.0e-8;
    double evtiny = -1.0e-8;
};

// Mathematical constants, filled by parameter_data.
struct Fconst2 {
    double pi4 = 0.0;
    double pi = 0.0;
    double degree2pi = 0.0;
    double dsqrt2pi = 0.0;
    double twopi = 0.0;
};

// Trace switch of the region selection (1 prints trace lines).
struct Checkpt {
    int itest = 0;
};

// Grid position of the centre found by the centre map.
struct CenterCenter {
    std::array<int, 2> icent{0, 0};
};

// The analysed window: first and last value of each grid index.
struct Centerbcut {
    std::array<int, 2> icutc{0, 0};
    std::array<int, 2> jcutc{0, 0};
};

// Map of the middle lines of the centred spectrum, filled by get_offline.
struct Offlines {
    IntMap offline;
};

struct RunState {
    ControlPara1 control_para1;
    ControlPara2 control_para2;
    ControlPara3 control_para3;
    Writefile writefile;
    Direc1 direc1;
    Imagescale imagescale;
    Spaceinv spaceinv;
    Tempimage tempimage;
    ZeroControl zero_control;
    Fconst2 fconst2;
    Checkpt checkpt;
    CenterCenter center_center;
    Centerbcut centerbcut;
    Offlines offlines;

    // Results that one stage hands on to the next.
    Laplacian laplacian;
    Firstder firstder;
    GaussRefnoise gauss_refnoise;
    CenterAna1 center_ana1;
    GaussfitT1 gaussfit_t1;
    MapBound map_bound;
    SymmBound symm_bound;
    BndryImage bndry_image;

    // The grouping mode's clustering and per-cluster levels.
    ClusterPix cluster_pix;
    DivideInt divide_int;
    InterfaceRows interface_rows;
    ClusterAna1 cluster_ana1;
    ClusterAna3 cluster_ana3;
    Level1 level_1;

    // Threads for work that does not depend on other work (0: as many as
    // the machine has cores, at most four).
    int threads = 1;

    // Where the report lines go.
    std::ostream* out = &std::cout;
};

// The switches of the driver besides the shared blocks.
struct DriverFlags {
    std::string comment;  // second comment line of every output image
    bool group = false;   // level estimation by clusters
    bool symm = true;     // symmetric pass after each region selection
};

// Fills the block of mathematical constants.
void parameter_data(Fconst2& fc);

}  // namespace veltrane2
