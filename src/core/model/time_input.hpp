#pragma once
#include <cstddef>
#include <optional>
#include <vector>

#include "model/breaks.hpp"
#include "model/open_calendar.hpp"
#include "model/open_hours.hpp"
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
    // Open hours: the same pair every day, or a calendar of instants; never both.
    std::optional<OperationTimes> operation_times;
    std::optional<OpenCalendar> calendar;
    // One per location, or empty when every window holds its whole job.
    std::vector<WindowRule> window_rules;
    // Ascending and apart; the rule that places them is in breaks.hpp.
    std::vector<BreakRule> breaks;

    // The open hours in whichever form they were given.
    OpenHours hours() const {
        if (operation_times) return &*operation_times;
        return calendar ? OpenHours(&*calendar) : OpenHours();
    }

    // Entry [from][to] of duration_matrix, row looked up first.
    TimeDelta travel_duration(std::size_t from, std::size_t to) const;

    WindowRule window_rule(std::size_t location) const {
        return location < window_rules.size() ? window_rules[location] : WindowRule::Whole;
    }

    // A tour can begin only where a window gives it a start instant.
    bool can_start_tour(std::size_t location) const {
        return location < time_windows.size() && !time_windows[location].windows.empty();
    }
};

}  // namespace tourwright
