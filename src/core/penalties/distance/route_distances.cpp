#include "route_distances.hpp"

namespace tourwright {

void RouteDistances::reset(const DistanceMatrix& matrix, const Route& route) {
    rows_ = &matrix.rows;
    route_ = &route;
    forward_.assign(route.size(), 0);
    backward_.assign(route.size(), 0);
    for (std::size_t k = 1; k < route.size(); ++k) {
        forward_[k] = forward_[k - 1] + leg(route[k - 1], route[k]);
        backward_[k] = backward_[k - 1] + leg(route[k], route[k - 1]);
    }
}

Distance RouteDistances::total_with(std::size_t i, std::size_t j, std::span<const Run> runs) const {
    const Route& r = *route_;
    Distance sum = i > 0 ? forward_[i - 1] : 0;
    bool has_previous = i > 0;
    std::size_t previous = i > 0 ? r[i - 1] : 0;
    std::size_t first = r[0];
    for (const Run& run : runs) {
        const std::size_t head = run.reversed ? r[run.last] : r[run.first];
        if (has_previous)
            sum += leg(previous, head);
        else
            first = head;
        sum += run.reversed ? backward_[run.last] - backward_[run.first]
                            : forward_[run.last] - forward_[run.first];
        previous = run.reversed ? r[run.first] : r[run.last];
        has_previous = true;
    }
    if (j + 1 < r.size()) {
        sum += leg(previous, r[j + 1]) + (forward_.back() - forward_[j + 1]);
        previous = r.back();
    }
    return sum + leg(previous, first);
}

}  // namespace tourwright
