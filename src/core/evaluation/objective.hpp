#pragma once
// What makes one tour better than another, in one place: the keys in the order they
// decide, compared lexicographically.
#include <compare>
#include <cstdint>
#include <tuple>

#include "model/distance_matrix.hpp"
#include "util/chrono.hpp"

namespace tourwright {

// The keys of a tour's objective, most important first: lateness, traveling time,
// duration, waiting time, distance. Without time data the time keys are all zero, so
// that the distance alone decides. `Time` is TimeDelta for full evaluation and whole
// seconds (std::int64_t) for the trial evaluator, which decides as full evaluation does.
template <class Time>
struct BasicObjective {
    Time lateness{};
    Time traveling_time{};
    Time duration{};
    Time waiting_time{};
    Distance distance = 0;

    // Lexicographic, in the order of the members above.
    friend auto operator<=>(const BasicObjective&, const BasicObjective&) = default;
    // The keys before the distance, in the same order, for comparisons that sum the
    // distance only where they tie.
    auto time_keys() const { return std::tie(lateness, traveling_time, duration, waiting_time); }
};

using Objective = BasicObjective<TimeDelta>;
using SecondsObjective = BasicObjective<std::int64_t>;

}  // namespace tourwright
