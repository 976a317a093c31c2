#include "evaluation/penalizer.hpp"

#include <string>

#include "util/panic.hpp"

namespace tourwright {
namespace {

// A step of an action never runs past the closing time, so under operating hours an
// action makes one step per open day it spans, each with at most one wait before it:
// a tour of `actions` actions from `start` to `end` has at most two records per day
// it spans and two more per action (the days where one action ends and the next
// begins). The days, counted generously, are worked out from the tour's totals, which
// come cheaply without the schedule.
std::int64_t schedule_days(const TimeReport& report) {
    return (report.end_time - report.start_time).secs / kSecondsPerDay + 2;
}

void check_schedule_size(const TimeReport& report, std::size_t actions, std::int64_t most_days) {
    const std::int64_t days = schedule_days(report);
    if (2 * days + 2 * static_cast<std::int64_t>(actions) > kMostScheduleRecords)
        panic("the schedule of this tour spans too many days to build: it could need more than " +
              std::to_string(kMostScheduleRecords) + " records (one per open day of each action)");
    if (days > most_days)
        panic("the schedule of this tour spans too many days to build: more than " +
              std::to_string(most_days) + " days (one record per open day of each action)");
}

}  // namespace

Distance Penalizer::tour_distance(const Route& route) const {
    if (route.empty()) panic_index_out_of_bounds(0, 0);
    Distance total = 0;
    for (std::size_t i = 0; i + 1 < route.size(); ++i)
        total += distance_matrix_.distance(route[i], route[i + 1]);
    return total + distance_matrix_.distance(route.back(), route.front());
}

TimeReport Penalizer::tour_time(const Route& route, bool with_schedule,
                                std::optional<DateTime> departure) const {
    const TimeScheduler& scheduler = *time_scheduler_;
    const OperationTimes* operation_times =
        scheduler.operation_times ? &*scheduler.operation_times : nullptr;
    // The tour starts at its departure, by default when the first window (in list order)
    // of its first location opens.
    const TimeWindows& first = checked_at(scheduler.time_windows, route[0]);
    const DateTime start = departure ? *departure : checked_at(first.windows, 0).start;
    TimeReport report = TimeReport::starting_at(start);
    for (std::size_t i = 0; i < route.size(); ++i) {
        const std::size_t location = route[i];
        const TimeDelta job = checked_at(scheduler.job_durations, location);
        const TimeWindows& windows = checked_at(scheduler.time_windows, location);
        report.extend(action_report(job, &windows, operation_times, report.end_time,
                                    ActionKind::Work, location, with_schedule));
        const std::size_t next = i + 1 < route.size() ? route[i + 1] : route[0];
        report.extend(action_report(scheduler.travel_duration(location, next), nullptr,
                                    operation_times, report.end_time, ActionKind::Travel,
                                    std::nullopt, with_schedule));
    }
    if (late_return_counts_) report.lateness += late_return(route[0], report.end_time);
    return report;
}

TimeDelta Penalizer::late_return(std::size_t first_location, DateTime end) const {
    const TimeDelta late = end - time_scheduler_->time_windows[first_location].windows.back().end;
    return late.is_positive() ? late : TimeDelta::zero();
}

Solution Penalizer::penalize(Route route, bool with_schedule, std::optional<DateTime> departure,
                             std::int64_t most_days) const {
    const Distance distance = tour_distance(route);
    std::optional<TimeReport> time_report;
    // Only operating hours make a schedule grow with the days a tour spans.
    if (with_schedule && time_scheduler_ && time_scheduler_->operation_times)
        check_schedule_size(tour_time(route, false, departure), 2 * route.size(), most_days);
    if (time_scheduler_) time_report = tour_time(route, with_schedule, departure);
    return Solution{std::move(route), distance, std::move(time_report)};
}

std::shared_ptr<const TrialBasis> Penalizer::trial_basis(
    const std::function<std::shared_ptr<const TrialBasis>()>& make) const {
    const std::lock_guard lock(prepared_->mutex);
    if (!prepared_->trial_basis) prepared_->trial_basis = make();
    return prepared_->trial_basis;
}

Objective Penalizer::objective(const Solution& solution) const {
    if (!time_scheduler_) return Objective{.distance = solution.distance};
    if (!solution.time_report) panic_unwrap_none();
    const TimeReport& r = *solution.time_report;
    return Objective{r.lateness, r.traveling_time, r.duration, r.waiting_time, solution.distance};
}

}  // namespace tourwright
