// The blocks of results that the stages of a run hand on to each other.
#pragma once

#include <array>
#include <vector>

#include "image/box.hpp"
#include "image/linalg.hpp"

namespace veltrane2 {

// Weighted statistics of the centre map.
struct CenterAna1 {
    std::array<double, 2> cent_cm{0.0, 0.0};   // centroid: (1) along the second index, (2) along the first
    std::array<double, 2> cent_sig{0.0, 0.0};  // covariance eigenvalues, smaller first
    Mat2 cent_axes;                            // unit eigenvectors as columns (component 1 along i)
    double cent_mx = 0.0;                      // largest value over the map
    double cent_mn = 0.0;                      // smallest value over the map
};

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
    // The extent of the cluster with label l + 1.
    Box extent(std::size_t l) const { return {mnlev_i[l], mxlev_i[l], mnlev_j[l], mxlev_j[l]}; }
};


// What the cluster counting hands on: the statistics and the extents.
struct ClusterStats {
    ClusterAna1 cluster_ana1;
    ClusterAna3 cluster_ana3;
};

// Highest level of each cluster (index L - 1 for label L).
struct Level1 {
    std::vector<int> nlevl;
};

// A 3 x 3 integer mask indexed by offsets k (first index) and l (second
// index), both -1..1, stored with k varying fastest.
struct Stencil {
    std::array<int, 9> m{};
    constexpr int& operator()(int k, int l) { return m[static_cast<std::size_t>((k + 1) + 3 * (l + 1))]; }
    constexpr int operator()(int k, int l) const { return m[static_cast<std::size_t>((k + 1) + 3 * (l + 1))]; }
    bool operator==(const Stencil&) const = default;
};

// The Laplacian mask the homogeneity uses: eight-neighbour, positive centre.
struct Laplacian {
    Stencil laplacemsk8p;
    bool operator==(const Laplacian&) const = default;
};

// The Laplacian mask: 8 at the centre, -1 at the eight neighbours.
constexpr Laplacian derivative_operator() {
    Laplacian lap;
    for (int l = -1; l <= 1; ++l)
        for (int k = -1; k <= 1; ++k) lap.laplacemsk8p(k, l) = k == 0 && l == 0 ? 8 : -1;
    return lap;
}

// Statistics of the reference noise pixels.
struct GaussRefnoise {
    double noise_ave = 0.0;  // mean of the reference pixels
    double noise_sig = 0.0;  // their spread
    double noismx = 0.0;     // largest reference value
    double noismn = 0.0;     // smallest reference value
    double noise_thr = 0.0;  // halfway between the mean and the largest value
};

}  // namespace veltrane2
