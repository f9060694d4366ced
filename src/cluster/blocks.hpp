// The shared state of the grouping mode's clustering stages.
#pragma once

#include <array>
#include <vector>

namespace veltrane2 {

// Limits of the clustering (the names are those the messages print).
inline constexpr int kNxclus = 4000;     // clusters in the store
inline constexpr int kMxclus = 5000;     // members of one cluster of the pixel clustering
inline constexpr int kNxclusp = 500;     // touching pairs in one merge
inline constexpr int kSegment = 500;     // pixels per segment of the pixel clustering
inline constexpr int kMxedgept = 15000;  // pixels of a strip or a band
inline constexpr int kNxclus1 = 500;     // mixed groups and fresh labels at one boundary
inline constexpr int kMxpairIf = 10000;  // label links at one boundary

// The cluster store: clusters[ic - 1] lists the pixel numbers of cluster ic.
// It is filled only in the grouping mode.
struct ClusterPix {
    std::vector<std::vector<int>> clusters;
    int ncl() const { return static_cast<int>(clusters.size()); }
};

// Height of the row strips of the cluster map.
struct DivideInt {
    int idvid = 32;
};

// Rows of the band around the current strip boundary.
struct InterfaceRows {
    int jold1 = 0;  // first old-side row
    int jold = 0;   // last row of the previous strip
    int js = 0;     // first new-side row
    int js1 = 0;    // last new-side row
};

// Per-cluster statistics of the label map (index L - 1 for label L).
struct ClusterAna1 {
    std::vector<std::array<double, 2>> cmcl;  // value-weighted mean of the second, then the first index
    std::vector<double> avecl;                // mean value
    std::vector<double> stdcl;                // spread of the values
    std::vector<int> nclnx;                   // population
    std::vector<int> ixcl;                    // labels by ascending spread
    int nclx = 0;                             // number of clusters
};

// Extent of each cluster's boundary pixels.
struct ClusterAna3 {
    std::vector<int> mnlev_i, mxlev_i, mnlev_j, mxlev_j;
};

}  // namespace veltrane2
