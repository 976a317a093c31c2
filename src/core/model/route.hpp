#pragma once
#include <algorithm>
#include <cstddef>
#include <numeric>
#include <optional>
#include <span>
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

// The locations 0 .. n - 1 that `route` leaves out, ascending.
inline Route locations_left_out(const Route& route, std::size_t n) {
    std::vector<bool> served(n, false);
    for (std::size_t location : route)
        if (location < n) served[location] = true;
    Route left_out;
    for (std::size_t location = 0; location < n; ++location)
        if (!served[location]) left_out.push_back(location);
    return left_out;
}

// A change of which locations a route serves, at position `at` (never the first): the
// location there left out (`removes`), `inserted` put there (before what stood there, or
// after the last position when `at` is the route's length), or one for the other.
struct Exchange {
    std::size_t at;
    bool removes;
    std::optional<std::size_t> inserted;

    // Where the route goes on after the change, in its positions before it.
    std::size_t resumes() const { return at + (removes ? 1 : 0); }
    void apply(Route& route) const {
        if (removes && inserted)
            route[at] = *inserted;
        else if (removes)
            route.erase(route.begin() + static_cast<std::ptrdiff_t>(at));
        else if (inserted)
            route.insert(route.begin() + static_cast<std::ptrdiff_t>(at), *inserted);
    }
};

// Changes made together, in ascending positions of the route before them, each beginning
// past a position that the one before it left as it was; at most one location taken in
// and one left out in all.
using Exchanges = std::span<const Exchange>;

inline void apply_changes(Route& route, Exchanges changes) {
    // From the last, so that the positions of the others still hold.
    for (auto change = changes.rbegin(); change != changes.rend(); ++change) change->apply(route);
}

}  // namespace tourwright
