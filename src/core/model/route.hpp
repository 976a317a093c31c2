#pragma once
#include <algorithm>
#include <cstddef>
#include <numeric>
#include <vector>

namespace tourwright {

// A visiting order of location indices; the tour returns from the last to the first.
using Route = std::vector<std::size_t>;

// The order 0, 1, ..., n - 1.
inline Route identity_route(std::size_t n) {
    Route route(n);
    std::iota(route.begin(), route.end(), std::size_t{0});
    return route;
}

// Whether `route` holds each of the locations 0 .. n - 1 exactly once.
inline bool visits_each_location_once(Route route, std::size_t n) {
    std::sort(route.begin(), route.end());
    return route == identity_route(n);
}

}  // namespace tourwright
