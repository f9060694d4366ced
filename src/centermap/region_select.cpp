#include "centermap/region_select.hpp"

#include <algorithm>
#include <vector>

#include "cluster/line_cluster.hpp"
#include "core/listout.hpp"
#include "image/image_ops.hpp"
#include "image/parallel.hpp"

namespace veltrane2 {
namespace {

struct Pass {
    double thresh;
    double frac;
    int icnnt;
    int imin, imax, jmin, jmax;
};

Pass pass_settings(const RunState& st, int icenter, const std::array<int, 2>& icut, const std::array<int, 2>& jcut) {
    Pass p{};
    if (icenter == 1) {
        p.thresh = st.control_para1.thresh_homo_cent;
        p.frac = st.control_para3.vfrac_seg;
        p.icnnt = st.control_para3.icnnt_cent;
    } else {
        p.thresh = st.control_para1.thresh_homo_off;
        p.frac = st.control_para3.frac_seg;
        p.icnnt = st.control_para3.icnnt_off;
    }
    p.imin = icut[0];
    p.imax = icut[1];
    p.jmin = jcut[0];
    p.jmax = jcut[1];
    return p;
}

// The thresholded selection inside the box: 1 where the region map is 1 and
// the homogeneity is strictly above the threshold. The selection and the
// maps made from it are read and written inside the box only: nothing is
// set outside it.
IntMap threshold_selection(const Pass& p, int nx, int ny, const IntMap& cent, const RealImage& hmage) {
    IntMap table = IntMap::to_fill(nx, ny);
    for (int j = p.jmin; j <= p.jmax; ++j)
        for (int i = p.imin; i <= p.imax; ++i) table(i, j) = cent(i, j) == 1 && hmage(i, j) > p.thresh ? 1 : 0;
    return table;
}

IntMap box_copy(const Pass& p, int nx, int ny, const IntMap& m) {
    IntMap copy = IntMap::to_fill(nx, ny);
    for (int j = p.jmin; j <= p.jmax && p.imin <= p.imax; ++j)
        std::copy(&m(p.imin, j), &m(p.imin, j) + (p.imax - p.imin + 1), &copy(p.imin, j));
    return copy;
}

// Every pixel of the box is decided on its own: the sweeps over the box
// follow the storage order.

// Cleans the lines of `work` along one index: a line whose selected
// fraction of region pixels (region = `region`) is below frac loses every
// run of 1 that is too short (length <= icnnt, or < icnnt when `strict`).
// `along_second` says whether a line is a row i (running over j) or a
// column j (running over i).
void clean_lines(const Pass& p, bool along_second, bool strict, IntMap& work, const IntMap& region) {
    const int lo = along_second ? p.imin : p.jmin;
    const int hi = along_second ? p.imax : p.jmax;
    const int a = along_second ? p.jmin : p.imin;
    const int b = along_second ? p.jmax : p.imax;
    auto at = [along_second](IntMap& m, int line, int pos) -> int& {
        return along_second ? m(line, pos) : m(pos, line);
    };
    auto value = [along_second](const IntMap& m, int line, int pos) {
        return along_second ? m(line, pos) : m(pos, line);
    };
    // The counts of every line, taken before any line is cleaned: cleaning
    // a line changes only that line. Integer sums: any order will do.
    std::vector<int> isums(static_cast<std::size_t>(hi - lo + 1), 0);
    std::vector<int> ics(isums.size(), 0);
    for (int j = p.jmin; j <= p.jmax; ++j) {
        for (int i = p.imin; i <= p.imax; ++i) {
            const auto line = static_cast<std::size_t>((along_second ? i : j) - lo);
            isums[line] += work(i, j);
            ics[line] += region(i, j);
        }
    }
    std::vector<int> jdata;
    for (int line = lo; line <= hi; ++line) {
        const int isum = isums[static_cast<std::size_t>(line - lo)];
        const int ic = ics[static_cast<std::size_t>(line - lo)];
        if (ic == 0) continue;
        const double ratio = static_cast<double>(isum) / static_cast<double>(ic);
        if (!(p.frac > ratio)) continue;
        // The line handed to the run finder, indexed by position.
        jdata.assign(static_cast<std::size_t>(b) + 2, 0);
        for (int pos = a; pos <= b; ++pos) jdata[static_cast<std::size_t>(pos)] = value(work, line, pos);
        // A line holds at most half its length in runs: the table is as long
        // as the grid's leading side, 1024 or the side of a larger grid.
        const GroupTable runs = line_pix_cluster(1, std::max(kLineRuns, b), a, b, jdata.data());
        for (const auto& run : runs.ngroups) {
            const int len = static_cast<int>(run.size());
            if (strict ? len < p.icnnt : len <= p.icnnt) {
                for (int pos : run) at(work, line, pos) = 0;
            }
        }
    }
}

void trace(const RunState& st, const Pass& p, const IntMap& table, const RealImage& hmage, int ival) {
    if (st.checkpt.itest != 1) return;
    double sum = 0.0;
    for (int i = p.imin; i <= p.imax; ++i)
        for (int j = p.jmin; j <= p.jmax; ++j)
            if (table(i, j) == 1) sum += hmage(i, j);
    *st.out << list_line("ave in sele=", ival > 0 ? sum / ival : 0.0);
    *st.out << list_line("SELECT_HOMO_REGION SELECTED PTS=", ival);
}

int box_sum(const Pass& p, const IntMap& m) {
    int s = 0;
    for (int j = p.jmin; j <= p.jmax; ++j)
        for (int i = p.imin; i <= p.imax; ++i) s += m(i, j);
    return s;
}

}  // namespace

void select_homo_region(const RunState& st, int icenter, const std::array<int, 2>& icut,
                        const std::array<int, 2>& jcut, int nx, int ny, IntMap& cent, const RealImage& hmage) {
    const Pass p = pass_settings(st, icenter, icut, jcut);
    IntMap table = threshold_selection(p, nx, ny, cent, hmage);
    IntMap bi = box_copy(p, nx, ny, table);
    // The region becomes the selection, nothing outside the box.
    for (int j = 1; j <= ny; ++j) {
        const bool rows = j >= p.jmin && j <= p.jmax;
        for (int i = 1; i <= nx; ++i) cent(i, j) = rows && i >= p.imin && i <= p.imax ? table(i, j) : 0;
    }
    const int ival = box_sum(p, table);
    trace(st, p, table, hmage, ival);
    if (ival == 0) return;
    // The lines of each map are cleaned on their own: the two side by side.
    side_by_side(
        st.threads, [&] { clean_lines(p, true, false, table, cent); }, [&] { clean_lines(p, false, false, bi, cent); });
    for (int j = p.jmin; j <= p.jmax; ++j)
        for (int i = p.imin; i <= p.imax; ++i)
            if (table(i, j) == 0 || bi(i, j) == 0) cent(i, j) = 0;
}

void select_homo_region_symm(const RunState& st, int icenter, const std::array<int, 2>& icut,
                             const std::array<int, 2>& jcut, int nx, int ny, IntMap& cent, const RealImage& hmage) {
    const Pass p = pass_settings(st, icenter, icut, jcut);
    IntMap table = threshold_selection(p, nx, ny, cent, hmage);
    IntMap bi = box_copy(p, nx, ny, table);
    const int ival = box_sum(p, table);
    trace(st, p, table, hmage, ival);
    if (ival == 0) {
        for (int j = p.jmin; j <= p.jmax; ++j)
            for (int i = p.imin; i <= p.imax; ++i) cent(i, j) = 0;
        return;
    }
    side_by_side(
        st.threads, [&] { clean_lines(p, true, true, table, cent); }, [&] { clean_lines(p, false, true, bi, cent); });
    const IntMap& offline = st.offlines.offline;
    for (int j = p.jmin; j <= p.jmax; ++j)
        for (int i = p.imin; i <= p.imax; ++i)
            if (offline(i, j) != 0) cent(i, j) = (table(i, j) != 0 && bi(i, j) != 0) ? -1 : 0;
}

}  // namespace veltrane2
