#include "centermap/region_select.hpp"

#include <algorithm>
#include <cstdint>
#include <vector>

#include "core/listout.hpp"
#include "image/image_ops.hpp"
#include "image/parallel.hpp"

namespace veltrane2 {
namespace {

// The thresholds of one pass and its box.
struct PassSettings {
    double thresh;
    double frac;
    int icnnt;
    Box box;
};

PassSettings pass_settings(const RunState& st, Pass pass, const Box& box) {
    PassSettings p{};
    if (pass == Pass::kCentre) {
        p.thresh = st.control_para1.thresh_homo_cent;
        p.frac = st.control_para3.vfrac_seg;
        p.icnnt = st.control_para3.icnnt_cent;
    } else {
        p.thresh = st.control_para1.thresh_homo_off;
        p.frac = st.control_para3.frac_seg;
        p.icnnt = st.control_para3.icnnt_off;
    }
    p.box = box;
    return p;
}

// The selection and its copy hold 0 and 1 only: a byte a pixel.
using Marks = Grid<std::int8_t>;

// The thresholded selection inside the box: 1 where the region map is 1 and
// the homogeneity is strictly above the threshold. The selection and the
// maps made from it are read and written inside the box only: nothing is
// set outside it.
Marks threshold_selection(const PassSettings& p, const IntMap& cent, const RealImage& hmage) {
    Marks table = Marks::to_fill(cent.nx(), cent.ny());
    for (int j = p.box.j0; j <= p.box.j1; ++j)
        for (int i = p.box.i0; i <= p.box.i1; ++i) table(i, j) = cent(i, j) == 1 && hmage(i, j) > p.thresh ? 1 : 0;
    return table;
}

Marks box_copy(const PassSettings& p, const Marks& m) {
    Marks copy = Marks::to_fill(m.nx(), m.ny());
    for (int j = p.box.j0; j <= p.box.j1 && p.box.i0 <= p.box.i1; ++j)
        std::copy(&m(p.box.i0, j), &m(p.box.i0, j) + (p.box.i1 - p.box.i0 + 1), &copy(p.box.i0, j));
    return copy;
}

// Every pixel of the box is decided on its own: the sweeps over the box
// follow the storage order.

// Cleans the lines of `work` along one index: a line whose selected
// fraction of region pixels (region = `region`) is below frac loses every
// run of 1 that is too short (length <= icnnt, or < icnnt when `strict`).
// `along_second` says whether a line is a row i (running over j) or a
// column j (running over i).
// The counts of one line of `work` (its selected pixels) and of the region
// map (the sum of its values), for every line of the box along one index.
struct LineCounts {
    int lo;  // the first line
    std::vector<int> isums;
    std::vector<int> ics;
    // Zero counts for the lines of the box along one index.
    LineCounts(const PassSettings& p, bool along_second)
        : lo(along_second ? p.box.i0 : p.box.j0),
          isums(static_cast<std::size_t>((along_second ? p.box.i1 : p.box.j1) - lo + 1), 0),
          ics(isums.size(), 0) {}
};

// Cleans the lines of `work` along one index: a line whose selected
// fraction of region pixels (counts taken before any line is cleaned) is
// below frac loses every run of 1 that is too short (length <= icnnt, or <
// icnnt when `strict`). `along_second` says whether a line is a row i
// (running over j) or a column j (running over i).
void clean_counted_lines(const PassSettings& p, bool along_second, bool strict, Marks& work, const LineCounts& n) {
    const int lo = along_second ? p.box.i0 : p.box.j0;
    const int hi = along_second ? p.box.i1 : p.box.j1;
    const int a = along_second ? p.box.j0 : p.box.i0;
    const int b = along_second ? p.box.j1 : p.box.i1;
    auto at = [along_second](Marks& m, int line, int pos) -> std::int8_t& {
        return along_second ? m(line, pos) : m(pos, line);
    };
    auto value = [along_second](const Marks& m, int line, int pos) -> int {
        return along_second ? m(line, pos) : m(pos, line);
    };
    for (int line = lo; line <= hi; ++line) {
        const int isum = n.isums[static_cast<std::size_t>(line - lo)];
        const int ic = n.ics[static_cast<std::size_t>(line - lo)];
        if (ic == 0) continue;
        const double ratio = static_cast<double>(isum) / static_cast<double>(ic);
        // A line with nothing selected has no run to lose.
        if (!(p.frac > ratio) || isum == 0) continue;
        // The runs of the line: the groups line_pix_cluster() makes of it,
        // each a maximal run of 1. A line of at most kLargestSide positions
        // holds fewer of them, and fewer neighbouring pairs, than its
        // limits allow.
        int pos = a;
        while (pos <= b) {
            if (value(work, line, pos) != 1) {
                ++pos;
                continue;
            }
            int end = pos;
            while (end < b && value(work, line, end + 1) == 1) ++end;
            const int len = end - pos + 1;
            if (strict ? len < p.icnnt : len <= p.icnnt) {
                for (int k = pos; k <= end; ++k) at(work, line, k) = 0;
            }
            pos = end + 1;
        }
    }
}

// clean_counted_lines() with the counts taken from `work` and the region
// map (region) over the box. Integer sums: any order will do.
void clean_lines(const PassSettings& p, bool along_second, bool strict, Marks& work, const IntMap& region) {
    LineCounts n(p, along_second);
    for (int j = p.box.j0; j <= p.box.j1; ++j) {
        for (int i = p.box.i0; i <= p.box.i1; ++i) {
            const auto line = static_cast<std::size_t>((along_second ? i : j) - n.lo);
            n.isums[line] += work(i, j);
            n.ics[line] += region(i, j);
        }
    }
    clean_counted_lines(p, along_second, strict, work, n);
}

// The trace lines of a selection of ival pixels whose H sums to `sum`.
void trace_lines(const RunState& st, double sum, int ival) {
    *st.out << list_line("ave in sele=", ival > 0 ? sum / ival : 0.0);
    *st.out << list_line("SELECT_HOMO_REGION SELECTED PTS=", ival);
}

void trace(const RunState& st, const PassSettings& p, const Marks& table, const RealImage& hmage, int ival) {
    if (!st.trace) return;
    double sum = 0.0;
    for (int i = p.box.i0; i <= p.box.i1; ++i)
        for (int j = p.box.j0; j <= p.box.j1; ++j)
            if (table(i, j) == 1) sum += hmage(i, j);
    trace_lines(st, sum, ival);
}

int box_sum(const PassSettings& p, const Marks& m) {
    int s = 0;
    for (int j = p.box.j0; j <= p.box.j1; ++j)
        for (int i = p.box.i0; i <= p.box.i1; ++i) s += m(i, j);
    return s;
}

}  // namespace

void select_homo_region(const RunState& st, Pass pass, const Box& box, IntMap& cent, const RealImage& hmage) {
    const PassSettings p = pass_settings(st, pass, box);
    Marks table = threshold_selection(p, cent, hmage);
    Marks bi = box_copy(p, table);
    // The region becomes the selection, nothing outside the box.
    const int nx = cent.nx();
    const int ny = cent.ny();
    for (int j = 1; j <= ny; ++j) {
        const bool rows = j >= p.box.j0 && j <= p.box.j1;
        for (int i = 1; i <= nx; ++i) cent(i, j) = rows && i >= p.box.i0 && i <= p.box.i1 ? table(i, j) : 0;
    }
    const int ival = box_sum(p, table);
    trace(st, p, table, hmage, ival);
    if (ival == 0) return;
    // The lines of each map are cleaned on their own: the two side by side.
    side_by_side(
        st.threads, [&] { clean_lines(p, true, false, table, cent); }, [&] { clean_lines(p, false, false, bi, cent); });
    for (int j = p.box.j0; j <= p.box.j1; ++j)
        for (int i = p.box.i0; i <= p.box.i1; ++i)
            if (table(i, j) == 0 || bi(i, j) == 0) cent(i, j) = 0;
}

void select_homo_region_symm(const RunState& st, Pass pass, const Box& box, const MiddleLines& middle, IntMap& cent,
                             const RealImage& hmage) {
    const PassSettings p = pass_settings(st, pass, box);
    // Only the pixels of the box whose region value is not 0 can be
    // selected, count in a line, or change: they are gathered in one sweep,
    // and the maps are formed and written at them alone (every other pixel
    // of the box is and stays 0).
    struct Pixel {
        int i, j, value;
    };
    std::vector<Pixel> region;
    for (int j = p.box.j0; j <= p.box.j1; ++j) {
        const int* c = &cent(1, j);
        for (int i = p.box.i0; i <= p.box.i1; ++i)
            if (c[i - 1] != 0) region.push_back({i, j, c[i - 1]});
    }
    Marks table(cent.nx(), cent.ny());
    int ival = 0;
    for (const Pixel& q : region) {
        if (q.value == 1 && hmage(q.i, q.j) > p.thresh) {
            table(q.i, q.j) = 1;
            ++ival;
        }
    }
    if (st.trace) {
        std::vector<std::pair<int, int>> taken;
        for (const Pixel& q : region)
            if (table(q.i, q.j) == 1) taken.emplace_back(q.i, q.j);
        to_first_index_major(taken);
        double sum = 0.0;
        for (const auto& [i, j] : taken) sum += hmage(i, j);
        trace_lines(st, sum, ival);
    }
    if (ival == 0) {
        for (const Pixel& q : region) cent(q.i, q.j) = 0;
        return;
    }
    Marks bi = table;
    const auto counts = [&](bool along_second) {
        LineCounts n(p, along_second);
        for (const Pixel& q : region) {
            const auto line = static_cast<std::size_t>((along_second ? q.i : q.j) - n.lo);
            n.isums[line] += table(q.i, q.j);
            n.ics[line] += q.value;
        }
        return n;
    };
    const LineCounts rows = counts(true);
    const LineCounts columns = counts(false);
    side_by_side(
        st.threads, [&] { clean_counted_lines(p, true, true, table, rows); },
        [&] { clean_counted_lines(p, false, true, bi, columns); });
    for (const Pixel& q : region)
        if (!middle.on(q.i, q.j)) cent(q.i, q.j) = (table(q.i, q.j) != 0 && bi(q.i, q.j) != 0) ? -1 : 0;
}

}  // namespace veltrane2
