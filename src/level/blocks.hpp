// Results of the grouping mode's per-cluster level map.
#pragma once

#include <vector>

namespace veltrane2 {

// Highest level of each cluster (index L - 1 for label L).
struct Level1 {
    std::vector<int> nlevl;
};

}  // namespace veltrane2
