#pragma once
#include <cstddef>
#include <optional>
#include <vector>

#include "model/operation_times.hpp"
#include "model/time_windows.hpp"
#include "util/chrono.hpp"

namespace tourwright {

enum class RecordKind { Work, Travel, Wait };

// One timed entry of a schedule; `location` is meaningful for Work only.
struct ScheduleRecord {
    RecordKind kind;
    std::size_t location;
    TimeWindow window;

    friend bool operator==(const ScheduleRecord&, const ScheduleRecord&) = default;
};

// Totals of one action or a sequence of actions.
// Invariant: duration = working_time + traveling_time + waiting_time.
struct TimeReport {
    TimeDelta duration;
    TimeDelta lateness;
    TimeDelta working_time;
    TimeDelta waiting_time;
    TimeDelta traveling_time;
    DateTime start_time;
    DateTime end_time;
    std::vector<ScheduleRecord> schedule;

    // An empty report at instant `t`.
    static TimeReport starting_at(DateTime t) { return TimeReport{{}, {}, {}, {}, {}, t, t, {}}; }

    // Appends `other`, which must start where this report ends.
    void extend(TimeReport&& other);
};

enum class ActionKind { Work, Travel };

// Moves a clock through one work or travel action that may begin at `start`,
// obeying the location's windows (work only) and the daily operating hours.
TimeReport action_report(TimeDelta duration, const TimeWindows* windows,
                         const OperationTimes* operation_times, DateTime start, ActionKind kind,
                         std::optional<std::size_t> location, bool with_schedule);

// The same action, begun at `report.end_time` and added to `report` in place: what
// action_report followed by TimeReport::extend gives, without the intermediate report.
void continue_with_action(TimeReport& report, TimeDelta duration, const TimeWindows* windows,
                          const OperationTimes* operation_times, ActionKind kind,
                          std::optional<std::size_t> location, bool with_schedule);

}  // namespace tourwright
