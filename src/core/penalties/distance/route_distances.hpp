#pragma once
// Distances of rearranged routes in time proportional to the number of pieces
// they are cut into, rather than to their length.
#include <cstddef>
#include <span>
#include <vector>

#include "../../route.hpp"
#include "distance_matrix.hpp"

namespace tourwright {

// A run of consecutive positions first ..= last of a base route, walked forwards
// or backwards.
struct Run {
    std::size_t first;
    std::size_t last;
    bool reversed;
};

// Prefix sums of the legs of one route in both directions.
class RouteDistances {
public:
    // Valid only when every location of `route` indexes a row of `matrix` holding
    // at least route.size() entries: lookups are not checked.
    void reset(const DistanceMatrix& matrix, const Route& route);

    Distance total() const { return forward_.back() + leg(route_->back(), route_->front()); }

    // The closed-tour distance of the base route with positions i ..= j replaced
    // by `runs` (which together cover i ..= j).
    Distance total_with(std::size_t i, std::size_t j, std::span<const Run> runs) const;

private:
    std::uint64_t leg(std::size_t from, std::size_t to) const { return (*rows_)[from][to]; }

    const std::vector<std::vector<std::uint64_t>>* rows_ = nullptr;
    const Route* route_ = nullptr;
    std::vector<Distance> forward_;   // forward_[k]: legs r[0] -> r[1] -> ... -> r[k]
    std::vector<Distance> backward_;  // backward_[k]: legs r[k] -> r[k-1] -> ... -> r[0]
};

}  // namespace tourwright
