#include "cluster/cluster_map.hpp"

#include <algorithm>
#include <cmath>

#include "cluster/interface.hpp"
#include "cluster/pixel_cluster.hpp"
#include "image/extremes.hpp"
#include "image/image_ops.hpp"
#include "core/errors.hpp"
#include "core/listout.hpp"

namespace veltrane2 {
namespace {

// Gives every member of every store cluster ic the label label_of(ic).
template <class LabelOf>
void label_store(const ClusterPix& store, IntMap& image, LabelOf label_of) {
    const int nx = image.nx();
    for (int ic = 1; ic <= store.ncl(); ++ic) {
        const int label = label_of(ic);
        for (int p : store.clusters[static_cast<std::size_t>(ic - 1)]) {
            int i, j;
            nb2gd_2d(nx, p, i, j);
            image(i, j) = label;
        }
    }
}

}  // namespace

int cluster_map(const DivideInt& divide, int ngap, const IntMap& bimage, int ival, IntMap& image) {
    const int nx = bimage.nx();
    const int ny = bimage.ny();
    start_integer_table(image, 0);
    int nout = 0;
    ClusterPix store;
    const int idvid = divide.idvid;
    const int nstrip = (ny + idvid - 1) / idvid;
    bool any_before = false;     // some earlier strip held pixels
    bool previous_held = false;  // the strip just before held pixels
    int last_row = 0;
    std::vector<int> pixels;
    for (int s = 1; s <= nstrip; ++s) {
        const int j0 = 1 + idvid * (s - 1);
        // Rows past ny (a last strip cut short) hold no pixel.
        const int j1 = std::min(j0 + idvid - 1, ny);
        pixels.clear();
        for (int j = j0; j <= j1; ++j)
            for (int i = 1; i <= nx; ++i) {
                if (bimage(i, j) != ival) continue;
                if (static_cast<int>(pixels.size()) + 1 > kMxedgept) {
                    throw FatalStop(list_line("collected PIXELS in CLUSTER_MAP > MXEDGEPT ",
                                              static_cast<int>(pixels.size()) + 1, kMxedgept, " J=", j,
                                              "  J1=", j0 + idvid - 1));
                }
                pixels.push_back(gd2nb_2d(nx, i, j));
            }
        if (pixels.empty()) {
            previous_held = false;
            last_row = j1;
            continue;
        }
        cluster_pixels(nx, pixels, store);
        if (!any_before || !previous_held) {
            const int base = nout;
            label_store(store, image, [base](int ic) { return base + ic; });
            nout += store.ncl();
        } else {
            label_store(store, image, [](int ic) { return -ic; });
            merge_2set_cluster_gap(store, divide, ngap, last_row, image, nout);
        }
        any_before = true;
        previous_held = true;
        last_row = j1;
    }
    return nout;
}

void merge_2set_cluster_gap(ClusterPix& store, const DivideInt& divide, int ngap, int jl, IntMap& image, int& iclmax) {
    const int nx = image.nx();
    const int ny = image.ny();
    InterfaceRows rows;
    rows.jold = jl;
    rows.jold1 = std::max(1, rows.jold - ngap);
    rows.js = rows.jold + 1;
    rows.js1 = std::min(ny, rows.js + ngap);

    std::vector<int> band;
    int old_count = 0;
    auto gather = [&](int j0, int j1, const char* message) {
        for (int j = j0; j <= j1; ++j)
            for (int i = 1; i <= nx; ++i) {
                if (image(i, j) == 0) continue;
                if (static_cast<int>(band.size()) + 1 > kMxedgept) {
                    throw FatalStop(list_line(message, static_cast<int>(band.size()) + 1, kMxedgept));
                }
                band.push_back(gd2nb_2d(nx, i, j));
            }
    };
    gather(rows.jold1, rows.jold, "Interface pixels too many:1 > MXEDGEPT ");
    old_count = static_cast<int>(band.size());
    gather(rows.js, rows.js1, "Interface pixels too many:2 > MXEDGEPT ");
    const int new_count = static_cast<int>(band.size()) - old_count;

    if (old_count == 0 || new_count == 0) {
        // Nothing above to touch: the new strip's clusters (still in the
        // store) take fresh labels in store order.
        const int base = iclmax;
        label_store(store, image, [base](int ic) { return base + ic; });
        iclmax += store.ncl();
        return;
    }
    cluster_pixels(nx, band, store);
    update_interface(rows, store, image);
    const OldSide old = update_oldcluster(rows, store, image, iclmax);
    update_newcluster_new(rows, store, divide, image, old, iclmax);
}

ClusterStats count_cluster(std::ostream& out, IntMap& cluster, const RealImage& tempht, int& ncl) {
    const int nx = cluster.nx();
    const int ny = cluster.ny();
    if (ncl > kNxclus) throw FatalStop(list_line("NCL > NXCLUS in COUNT_CLUSTER ", ncl, kNxclus));

    // Dense renumbering, keeping the order of the labels.
    std::vector<int> count(static_cast<std::size_t>(ncl) + 1, 0);
    for (int j = 1; j <= ny; ++j)
        for (int i = 1; i <= nx; ++i)
            if (cluster(i, j) > 0) ++count[static_cast<std::size_t>(cluster(i, j))];
    std::vector<int> renumber(static_cast<std::size_t>(ncl) + 1, 0);
    int nc = 0;
    for (int l = 1; l <= ncl; ++l)
        if (count[static_cast<std::size_t>(l)] > 0) renumber[static_cast<std::size_t>(l)] = ++nc;
    for (int j = 1; j <= ny; ++j)
        for (int i = 1; i <= nx; ++i)
            if (cluster(i, j) > 0) cluster(i, j) = renumber[static_cast<std::size_t>(cluster(i, j))];

    ClusterStats stats;
    ClusterAna1& a = stats.cluster_ana1;
    ClusterAna3& e = stats.cluster_ana3;
    const auto size = static_cast<std::size_t>(nc);
    a.cmcl.assign(size, {0.0, 0.0});
    a.avecl.assign(size, 0.0);
    a.stdcl.assign(size, 0.0);
    a.nclnx.assign(size, 0);
    std::vector<double> wsum(size, 0.0);

    // Running sums in first-index-major order; the centroid terms are
    // rounded to single precision before they are added.
    for_each_first_major(
        Box::of(cluster), tempht, cluster, [](int m) { return m > 0; },
        [&](int i, int j, double h) {
            const auto l = static_cast<std::size_t>(cluster(i, j) - 1);
            const int pop = ++a.nclnx[l];
            a.avecl[l] = average_n(pop, a.avecl[l], h);
            a.stdcl[l] = standd_n2(pop, a.stdcl[l], a.avecl[l], h);
            wsum[l] += h;
            a.cmcl[l][0] += static_cast<double>(static_cast<float>(j * h));
            a.cmcl[l][1] += static_cast<double>(static_cast<float>(i * h));
        });
    e.mnlev_i.assign(size, 99999);
    e.mnlev_j.assign(size, 99999);
    e.mxlev_i.assign(size, -99999);
    e.mxlev_j.assign(size, -99999);
    for (std::size_t l = 0; l < size; ++l) {
        a.stdcl[l] = std::sqrt(a.stdcl[l]);
        // A cluster whose values sum to zero has no weighted centroid: it is
        // left at 0.
        if (wsum[l] != 0.0) {
            a.cmcl[l][0] /= wsum[l];
            a.cmcl[l][1] /= wsum[l];
        } else {
            a.cmcl[l] = {0.0, 0.0};
        }
    }
    for (int j = 1; j <= ny; ++j)
        for (int i = 1; i <= nx; ++i) {
            const int label = cluster(i, j);
            if (label <= 0 || inside2d(label, cluster, i, j)) continue;
            const auto l = static_cast<std::size_t>(label - 1);
            e.mnlev_i[l] = std::min(e.mnlev_i[l], i);
            e.mxlev_i[l] = std::max(e.mxlev_i[l], i);
            e.mnlev_j[l] = std::min(e.mnlev_j[l], j);
            e.mxlev_j[l] = std::max(e.mxlev_j[l], j);
        }
    a.ixcl.assign(size, 0);
    if (nc > 0) hpsort(nc, a.stdcl.data(), a.ixcl.data());
    a.nclx = nc;
    ncl = nc > 0 ? a.ixcl[size - 1] : 0;
    out << list_line("CLUSTER#=", a.nclx, " mx#cluster=", ncl, nc > 0 ? a.nclnx[static_cast<std::size_t>(ncl - 1)] : 0);
    return stats;
}

}  // namespace veltrane2
