#pragma once
#include <cstddef>
#include <optional>
#include <vector>

#include "model/open_hours.hpp"
#include "model/time_windows.hpp"
#include "util/chrono.hpp"

namespace tourwright {

enum class RecordKind { Work, Travel, Wait, Break };

// The location of a break taken by pausing a leg, where the van is between two places.
inline constexpr std::size_t kOnLeg = static_cast<std::size_t>(-1);

// One timed entry of a schedule; `location` is meaningful for Work and Break only (for a
// Break the location where the van waits, or kOnLeg).
struct ScheduleRecord {
    RecordKind kind;
    std::size_t location;
    TimeWindow window;

    friend bool operator==(const ScheduleRecord&, const ScheduleRecord&) = default;
};

// Totals of one action or a sequence of actions.
// Invariant: duration = working_time + traveling_time + waiting_time + break_time.
struct TimeReport {
    TimeDelta duration;
    TimeDelta lateness;
    TimeDelta working_time;
    TimeDelta waiting_time;
    TimeDelta traveling_time;
    DateTime start_time;
    DateTime end_time;
    std::vector<ScheduleRecord> schedule;
    TimeDelta break_time = TimeDelta::zero();

    // An empty report at instant `t`.
    static TimeReport starting_at(DateTime t) {
        return TimeReport{{}, {}, {}, {}, {}, t, t, {}, {}};
    }

    // Appends `other`, which must start where this report ends.
    void extend(TimeReport&& other);
};

enum class ActionKind { Work, Travel };

// Moves a clock through one work or travel action that may begin at `start`,
// obeying the location's windows (work only) and the open hours (one step per open
// stretch it spans).
TimeReport action_report(TimeDelta duration, const TimeWindows* windows, OpenHours hours,
                         DateTime start, ActionKind kind, std::optional<std::size_t> location,
                         bool with_schedule);

// The same action, begun at `report.end_time` and added to `report` in place: what
// action_report followed by TimeReport::extend gives, without the intermediate report.
// Returns where its first step began (after any wait; its end when it made none).
DateTime continue_with_action(TimeReport& report, TimeDelta duration, const TimeWindows* windows,
                              OpenHours hours, ActionKind kind, std::optional<std::size_t> location,
                              bool with_schedule);

// A job whose windows bind only its start, begun at `report.end_time`: it starts at the
// first open instant from then on inside one of `windows` (after them all, at the first
// open one, late by how far that lies after the last window's end), then runs to its end
// pausing outside the hours only. Returns its start.
DateTime continue_with_started_job(TimeReport& report, TimeDelta duration,
                                   const TimeWindows& windows, OpenHours hours,
                                   std::size_t location, bool with_schedule);

// Holds the clock at `report.end_time` until `until` as a wait, or as a break at
// `location`, and records it.
void continue_holding(TimeReport& report, DateTime until, RecordKind kind, std::size_t location,
                      bool with_schedule);

}  // namespace tourwright
