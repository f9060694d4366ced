#include "core/run_state.hpp"

namespace veltrane2 {

RunState run_settings(const Parameters& p, const Options& o, std::ostream& quiet) {
    RunState s;
    s.control_para1 = {p.h_global, p.h_centre, p.h_off};
    s.control_para2 = {p.r_centre};
    s.control_para3.vfrac_seg = p.l_centre;
    s.control_para3.frac_seg = p.l_off;
    s.control_para3.icnnt_cent = p.n_run;
    s.control_para3.icnnt_off = p.n_run;
    s.group = p.grouped;
    s.symm = true;
    s.threads = o.threads;
    s.out = o.report != nullptr ? o.report : &quiet;
    s.times = o.stage_times;
    return s;
}

}  // namespace veltrane2
