// Runs of equal values along one line of an integer map.
#pragma once

#include <vector>

#include "cluster/partition.hpp"

namespace veltrane2 {

// Capacities of the line clustering: links of one line, runs of one line.
inline constexpr int kMxpair = 50000;
inline constexpr int kLineRuns = 1024;

// The links (i, i + 1) of positions n0..n that both hold ival; idata is
// indexed by absolute position. More than mxpair links stop the run.
void line_pix_connect(int ival, int n0, int n, const int* idata, int mxpair, std::vector<int>& indx1,
                      std::vector<int>& indx2);

// Positions n0..n in no link that hold ival. More than ndim stop the run.
std::vector<int> single_pix_line(int ival, int n0, int n, const int* idata, const std::vector<int>& indx1,
                                 const std::vector<int>& indx2, int ndim);

// The runs of a line with at least one link: first the single positions in
// increasing order, then the longer runs in increasing order of their first
// position. More than ndim runs stop the run.
GroupTable partition_line(int ival, int ndim, int n0, int n, const int* idata, std::vector<int> indx1,
                          std::vector<int> indx2);

// All runs of ival in idata(n0..n), in the order above. A run may be as long
// as the line.
GroupTable line_pix_cluster(int ival, int ndim, int n0, int n, const int* idata);

}  // namespace veltrane2
