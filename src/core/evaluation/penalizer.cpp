#include "evaluation/penalizer.hpp"

namespace tourwright {

Distance Penalizer::tour_distance(const Route& route) const {
    if (route.empty()) panic_index_out_of_bounds(0, 0);
    Distance total = 0;
    for (std::size_t i = 0; i + 1 < route.size(); ++i)
        total += distance_matrix_.distance(route[i], route[i + 1]);
    return total + distance_matrix_.distance(route.back(), route.front());
}

TimeReport Penalizer::tour_time(const Route& route, bool with_schedule) const {
    const TimeScheduler& scheduler = *time_scheduler_;
    const OperationTimes* operation_times =
        scheduler.operation_times ? &*scheduler.operation_times : nullptr;
    // The tour starts when the first window (in list order) of its first location opens.
    const DateTime start = checked_at(checked_at(scheduler.time_windows, route[0]).windows, 0).start;
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

Solution Penalizer::penalize(Route route, bool with_schedule) const {
    const Distance distance = tour_distance(route);
    std::optional<TimeReport> time_report;
    if (time_scheduler_) time_report = tour_time(route, with_schedule);
    return Solution{std::move(route), distance, std::move(time_report)};
}

Objective Penalizer::objective(const Solution& solution) const {
    if (!time_scheduler_) return Objective{.distance = solution.distance};
    if (!solution.time_report) panic_unwrap_none();
    const TimeReport& r = *solution.time_report;
    return Objective{r.lateness, r.traveling_time, r.duration, r.waiting_time, solution.distance};
}

}  // namespace tourwright
