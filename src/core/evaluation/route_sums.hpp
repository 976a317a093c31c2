#pragma once
// Totals of a per-leg quantity over routes rearranged from runs of a base route,
// in time proportional to the number of runs rather than to the route's length.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "model/route.hpp"

namespace tourwright {

// Positions first ..= last of a base route, walked forwards or backwards.
struct Run {
    std::size_t first;
    std::size_t last;
    bool reversed;

    // The locations of `route` the run begins and ends with, as walked.
    std::size_t head(const Route& route) const { return route[reversed ? last : first]; }
    std::size_t tail(const Route& route) const { return route[reversed ? first : last]; }
};

// Prefix sums of `Leg` (a callable (from, to) -> Sum, which must not fail for any
// two locations of the route) along one route, in both directions.
template <class Sum, class Leg>
class RouteLegSums {
public:
    explicit RouteLegSums(Leg leg) : leg_(std::move(leg)) {}

    // For `route`, whose first `unchanged` positions are those of the route of the
    // previous reset (so that their sums stand), as are its positions from `rejoined` on
    // (with as many positions): the legs between those stand, and their sums only shift,
    // so that a move in the middle of a long route looks up no leg beyond it.
    void reset(const Route& route, std::size_t unchanged = 0, std::size_t rejoined = SIZE_MAX) {
        route_ = &route;
        const std::size_t n = route.size();
        if (forward_.size() != n || rejoined > n) rejoined = n;
        forward_.resize(n);
        backward_.resize(n);
        if (n > 0 && unchanged == 0) forward_[0] = backward_[0] = Sum{};
        const std::size_t first = std::max<std::size_t>(unchanged, 1);
        const std::size_t last = std::max(rejoined, first);  // the last position summed anew
        const Sum was_forward = last < n ? forward_[last] : Sum{};
        const Sum was_backward = last < n ? backward_[last] : Sum{};
        for (std::size_t k = first; k < std::min(last + 1, n); ++k) {
            forward_[k] = forward_[k - 1] + leg_(route[k - 1], route[k]);
            backward_[k] = backward_[k - 1] + leg_(route[k], route[k - 1]);
        }
        if (last + 1 >= n) return;
        // A shift may be negative: unsigned sums wrap alike both ways, so it is exact for them too.
        const Sum forward_shift = forward_[last] - was_forward;
        const Sum backward_shift = backward_[last] - was_backward;
        for (std::size_t k = last + 1; k < n; ++k) {
            forward_[k] += forward_shift;
            backward_[k] += backward_shift;
        }
    }

    // The legs r[k - 1] -> r[k] and r[k] -> r[k - 1], for 0 < k < size: read back
    // rather than looked up again by those who walk the route after a reset.
    Sum leg_into(std::size_t k) const { return forward_[k] - forward_[k - 1]; }
    Sum leg_back_into(std::size_t k) const { return backward_[k] - backward_[k - 1]; }

    // The closed tour of the base route.
    Sum total() const { return forward_.back() + leg_(route_->back(), route_->front()); }

    // The closed tour of the base route with positions i ..= j replaced by `runs`
    // (which together cover i ..= j).
    Sum total_with(std::size_t i, std::size_t j, std::span<const Run> runs) const {
        const Route& r = *route_;
        Sum sum = i > 0 ? forward_[i - 1] : Sum{};
        bool has_previous = i > 0;
        std::size_t previous = i > 0 ? r[i - 1] : 0;
        std::size_t first_location = r[0];
        for (const Run& run : runs) {
            const std::size_t head = run.head(r);
            if (has_previous)
                sum += leg_(previous, head);
            else
                first_location = head;
            sum += run.reversed ? backward_[run.last] - backward_[run.first]
                                : forward_[run.last] - forward_[run.first];
            previous = run.tail(r);
            has_previous = true;
        }
        if (j + 1 < r.size()) {
            sum += leg_(previous, r[j + 1]) + (forward_.back() - forward_[j + 1]);
            previous = r.back();
        }
        return sum + leg_(previous, first_location);
    }

    // The closed tour of the base route after `changes` (the first at position 1 or later).
    Sum total_exchanged(Exchanges changes) const {
        const Route& r = *route_;
        Sum sum = total();
        for (const Exchange& change : changes) {
            const std::size_t previous = r[change.at - 1];
            const std::size_t next = change.resumes() < r.size() ? r[change.resumes()] : r[0];
            // The legs it replaces are part of the total, so that an unsigned sum stays in
            // range.
            sum -= change.removes ? leg_(previous, r[change.at]) + leg_(r[change.at], next)
                                  : leg_(previous, next);
            sum += change.inserted ? leg_(previous, *change.inserted) + leg_(*change.inserted, next)
                                   : leg_(previous, next);
        }
        return sum;
    }

private:
    Leg leg_;
    const Route* route_ = nullptr;
    std::vector<Sum> forward_;   // forward_[k]: legs r[0] -> r[1] -> ... -> r[k]
    std::vector<Sum> backward_;  // backward_[k]: legs r[k] -> r[k-1] -> ... -> r[0]
};

}  // namespace tourwright
