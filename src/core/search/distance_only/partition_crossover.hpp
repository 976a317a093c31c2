#pragma once
// Partition crossover of two tours over symmetric legs: where the two differ, the
// differing legs fall into groups of locations (joined by legs only one tour has);
// a group that both tours enter and leave by the same two shared paths is crossed by
// each as one path between the same two locations, so either path can take the
// other's place. The child takes the shorter path in every such group: no longer
// than the first tour, and shorter wherever the second tour did better somewhere.
#include <cstdint>
#include <functional>
#include <optional>

#include "model/route.hpp"

namespace tourwright {

struct Crossed {
    Route route;
    std::int64_t gain;  // how much shorter than `first`
};

// The child of `first` and `second` (tours over the same n locations), or nothing
// when no group makes `first` shorter. O(n), `leg` looked up for the differing legs.
std::optional<Crossed> partition_crossover(
    const Route& first, const Route& second,
    const std::function<std::int64_t(std::size_t, std::size_t)>& leg);

}  // namespace tourwright
