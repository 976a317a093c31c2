#include "evaluation/penalizer.hpp"

#include <algorithm>
#include <string>

#include "evaluation/passages.hpp"
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

// Under a calendar the same holds of its intervals: one step per interval an action
// meets. Counted as the intervals that close after the tour's start and open by its end,
// and one more for the time past the last.
std::int64_t schedule_intervals(const TimeReport& report, const OpenCalendar& calendar) {
    const auto& intervals = calendar.intervals();
    const auto first = std::upper_bound(
        intervals.begin(), intervals.end(), report.start_time,
        [](DateTime t, const OpenInterval& interval) { return t < interval.close; });
    const auto last = std::upper_bound(
        first, intervals.end(), report.end_time,
        [](DateTime t, const OpenInterval& interval) { return t < interval.open; });
    return static_cast<std::int64_t>(last - first) + 1;
}

// A break adds at most three records: itself and the wait it splits in two, or the
// stretch of a leg it pauses.
void check_schedule_size(const TimeReport& report, const TimeScheduler& scheduler,
                         std::size_t actions, std::int64_t most_days) {
    const std::int64_t days = schedule_days(report);
    const std::int64_t stretches =
        scheduler.calendar ? schedule_intervals(report, *scheduler.calendar) : days;
    if (2 * stretches + 2 * static_cast<std::int64_t>(actions) +
            3 * static_cast<std::int64_t>(scheduler.breaks.size()) >
        kMostScheduleRecords)
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
    // The tour starts at its departure, by default when the first window (in list order)
    // of its first location opens.
    const TimeWindows& first = checked_at(scheduler.time_windows, route[0]);
    const DateTime start = departure ? *departure : checked_at(first.windows, 0).start;
    TimeReport report = tour_report(scheduler, route, start, with_schedule);
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
    // Only open hours make a schedule grow with the days a tour spans.
    if (with_schedule && time_scheduler_ && time_scheduler_->hours())
        check_schedule_size(tour_time(route, false, departure), *time_scheduler_, 2 * route.size(),
                            most_days);
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
    if (!time_scheduler_)
        return Objective{.left_out = optional_stops_.left_out(solution.route),
                         .distance = solution.distance};
    if (!solution.time_report) panic_unwrap_none();
    const TimeReport& r = *solution.time_report;
    return Objective{r.lateness,       optional_stops_.left_out(solution.route),
                     r.traveling_time, r.duration,
                     r.waiting_time,   solution.distance};
}

}  // namespace tourwright
