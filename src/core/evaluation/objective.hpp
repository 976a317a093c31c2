#pragma once
// What makes one tour better than another, in one place: the keys in the order they
// decide, compared lexicographically.
#include <compare>
#include <cstdint>

#include "model/distance_matrix.hpp"
#include "model/optional_stops.hpp"
#include "util/chrono.hpp"

namespace tourwright {

// The keys of a tour's objective, most important first: lateness, what it leaves out,
// traveling time, duration, waiting time, distance. Without time data the time keys are
// all zero, so that the distance alone decides (every location served). `Time` is
// TimeDelta for full evaluation and whole seconds (std::int64_t) for the trial
// evaluator, which decides as full evaluation does and weighs what a trial leaves out
// apart (its own left_out stays empty).
template <class Time>
struct BasicObjective {
    Time lateness{};
    LeftOut left_out{};
    Time traveling_time{};
    Time duration{};
    Time waiting_time{};
    Distance distance = 0;

    // Lexicographic, in the order of the members above.
    friend auto operator<=>(const BasicObjective&, const BasicObjective&) = default;
};

using Objective = BasicObjective<TimeDelta>;
using SecondsObjective = BasicObjective<std::int64_t>;

}  // namespace tourwright
