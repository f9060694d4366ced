#include "cluster/line_cluster.hpp"

#include "core/errors.hpp"
#include "core/listout.hpp"

namespace veltrane2 {

void line_pix_connect(int ival, int n0, int n, const int* idata, int mxpair, std::vector<int>& indx1,
                      std::vector<int>& indx2) {
    indx1.clear();
    indx2.clear();
    for (int i = n0; i <= n - 1; ++i) {
        if (idata[i] == ival && idata[i + 1] == ival) {
            if (static_cast<int>(indx1.size()) + 1 > mxpair) {
                throw FatalStop(list_line("NPAIR > MXPAIR in LINE_PIX_CONNECT "));
            }
            indx1.push_back(i);
            indx2.push_back(i + 1);
        }
    }
}

std::vector<int> single_pix_line(int ival, int n0, int n, const int* idata, const std::vector<int>& indx1,
                                 const std::vector<int>& indx2, int ndim) {
    std::vector<int> ngr;
    for (int i : unlinked_items(n0, n, indx1, indx2)) {
        if (idata[i] != ival) continue;
        if (static_cast<int>(ngr.size()) + 1 > ndim)
            throw FatalStop(list_line("NB > NDIM in SINGLE_PIX_LINE NDIM=", ndim));
        ngr.push_back(i);
    }
    return ngr;
}

GroupTable partition_line(int ival, int ndim, int n0, int n, const int* idata, std::vector<int> indx1,
                          std::vector<int> indx2) {
    GroupTable t;
    for (int pos : single_pix_line(ival, n0, n, idata, indx1, indx2, ndim)) t.ngroups.push_back({pos});
    if (t.nbgrp() == n - n0 + 1) return t;
    grow_groups(t, std::move(indx1), std::move(indx2), [&] {
        if (t.nbgrp() + 1 > ndim) throw FatalStop(list_line("NBGRP > NDIM in PARTITION_LINE ", t.nbgrp() + 1, ndim));
    });
    return t;
}

GroupTable line_pix_cluster(int ival, int ndim, int n0, int n, const int* idata) {
    std::vector<int> indx1, indx2;
    line_pix_connect(ival, n0, n, idata, kMxpair, indx1, indx2);
    if (!indx1.empty()) return partition_line(ival, ndim, n0, n, idata, std::move(indx1), std::move(indx2));
    GroupTable t;
    for (int i = n0; i <= n; ++i) {
        if (idata[i] != ival) continue;
        if (t.nbgrp() + 1 > ndim) throw FatalStop(list_line("CLUSTER# > NDIM in LINE_PIX_CLUSTER "));
        t.ngroups.push_back({i});
    }
    return t;
}

}  // namespace veltrane2
