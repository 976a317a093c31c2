#pragma once
#include <cstddef>
#include <optional>
#include <vector>

#include "model/operation_times.hpp"
#include "model/time_windows.hpp"
#include "util/chrono.hpp"

namespace tourwright {

// The time a job or a leg takes: a negative length takes none.
inline TimeDelta at_least_zero(TimeDelta length) {
    return length.is_positive() ? length : TimeDelta::zero();
}

// The time model of a problem. Parts are not checked against each other: a short
// table shows up only as an index failure when it is looked up.
struct TimeScheduler {
    std::vector<std::vector<TimeDelta>> duration_matrix;
    std::vector<TimeDelta> job_durations;
    std::vector<TimeWindows> time_windows;
    std::optional<OperationTimes> operation_times;

    // Entry [from][to] of duration_matrix, row looked up first.
    TimeDelta travel_duration(std::size_t from, std::size_t to) const;

    // A tour can begin only where a window gives it a start instant.
    bool can_start_tour(std::size_t location) const {
        return location < time_windows.size() && !time_windows[location].windows.empty();
    }
};

}  // namespace tourwright
