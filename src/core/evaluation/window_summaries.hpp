#pragma once
// The single-window algebra: what the trial evaluator keeps along the current route
// of a single-window problem (one window at most per location, no operating hours), where work
// at a location begins at max(arrival, opening), ends a job later, and is late by
// whatever that end passes the closing. Every quantity is in seconds.
//
// Times are read relative to the lead: lead(k) is the jobs and legs of the current
// route before position k, so that a clock that waited nowhere reaches k at
// T + lead(k) when it left position 0 at T. In those terms, from an arrival T at
// position a the work at b >= a begins at
//     lead(b) + max(T - lead(a), largest (opening - lead) over a ..= b)
// and every job of a ..= b is on time exactly while that is within the smallest
// (closing - job - lead) over a ..= b. Walked backwards (a reversed stretch), the
// same holds with back_lead(k), the jobs and reversed legs from position k down to 1,
// added instead of subtracted.
#include <algorithm>
#include <cstdint>

#include "evaluation/seconds_schedule.hpp"

namespace tourwright {

// Lateness known to lie within least ..= most. `most` saturates at kUnbounded (far
// from overflowing) once a stretch was bounded from below only.
struct LatenessBounds {
    static constexpr std::int64_t kUnbounded = SecondsSchedule::kNever;

    std::int64_t least = 0;
    std::int64_t most = 0;

    // Forced inline: the trial's walk that adds is too large for the compiler to
    // inline it there, and a call keeps the bounds in memory rather than registers.
    [[gnu::always_inline]] void add(std::int64_t exact) {
        least += exact;
        most += exact;
    }
    bool exact() const { return least == most; }
};

// Position k of the current route read forwards, combined over a stretch a ..= b by
// ForwardSummary::over.
struct ForwardSummary {
    std::int64_t opening;       // opening(k) - lead(k); the largest over a stretch
    std::int64_t latest_start;  // closing(k) - job(k) - lead(k); the smallest
    // For a job on time: how far a delay of the arrival at position 0's clock can grow,
    // counting the waits before and at k, before the job is late (the room); kNever
    // for a late job. The smallest over a stretch.
    std::int64_t room;
    // How much earlier the work could begin (its start less its opening) and, for a
    // late job, how late it is: an advance within both reaches every late job whole.
    // The smallest over a stretch.
    std::int64_t early_room;

    struct Over {
        ForwardSummary operator()(const ForwardSummary& a, const ForwardSummary& b) const {
            return {std::max(a.opening, b.opening), std::min(a.latest_start, b.latest_start),
                    std::min(a.room, b.room), std::min(a.early_room, b.early_room)};
        }
    };
};

// Position k read backwards, for stretches walked in reverse.
struct BackwardSummary {
    std::int64_t opening;       // opening(k) + back_lead(k); the largest over a stretch
    std::int64_t latest_start;  // closing(k) - job(k) + back_lead(k); the smallest

    struct Over {
        BackwardSummary operator()(const BackwardSummary& a, const BackwardSummary& b) const {
            return {std::max(a.opening, b.opening), std::min(a.latest_start, b.latest_start)};
        }
    };
};

// Counts and sums over the positions before k of the current route, so that the
// value over a ..= b is the entry at b + 1 less the entry at a. (The two leads are
// kept apart: a walk location by location reads them at every step.)
struct PrefixSums {
    std::int64_t late_jobs = 0;  // jobs that were late
    std::int64_t waited = 0;     // the waits for windows to open
    // For each late job, the waits up to and including it, summed.
    std::int64_t late_waited = 0;
    // The locations with a window, and the sum of their backward latest starts.
    std::int64_t timed = 0;
    std::int64_t timed_latest = 0;
};

}  // namespace tourwright
