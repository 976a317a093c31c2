#pragma once
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

}  // namespace tourwright
