#pragma once
// Where the friendly engine's tours begin and end: a start kept first, and either
// the return to it, an end kept last, or an open end after the last job.
#include <cstddef>
#include <optional>

#include "evaluation/penalizer.hpp"

namespace tourwright {

struct TourEnds {
    std::optional<std::size_t> start;  // kept at position 0
    std::optional<std::size_t> end;    // kept at position n - 1 unless it is the start
    bool open = false;                 // the tour finishes with its last job

    // Whether the tour drives back to its first location.
    bool returns() const { return !open && (!end || end == start); }
    // Whether position n - 1 belongs to the end.
    bool keeps_last() const { return !open && end && end != start; }
};

// The objective for tours with these ends. A tour that returns to a start counts a
// return after the start's last window as lateness. A tour that does not return
// drives no closing leg: the legs into its start (only the closing one, as the start
// stays first) cost no distance and no travel, which every evaluation (full, in
// seconds, incremental) reads as a leg not driven: no distance, no travel, no wait
// for the hours, so that the totals count only the legs driven. Such ends need a
// start (the caller checks).
// Locations that `optional_classes` makes optional may be left out.
Penalizer tour_penalizer(DistanceMatrix distances, std::optional<TimeScheduler> scheduler,
                         const TourEnds& ends, const StopClasses& optional_classes = {});

}  // namespace tourwright
