#include "trial_evaluator.hpp"

#include <algorithm>
#include <tuple>

namespace tourwright {
namespace {

using Nanos = __int128;

Nanos nanos(TimeDelta d) { return Nanos{d.secs} * kNanosPerSecond + d.nanos; }
Nanos nanos(DateTime t) { return Nanos{t.unix_seconds()} * kNanosPerSecond + t.subsec_nanos(); }
Nanos positive_nanos(TimeDelta d) { return d.is_positive() ? nanos(d) : 0; }

TimeDelta delta_from_nanos(Nanos total) {
    Nanos secs = total / kNanosPerSecond;
    Nanos rest = total % kNanosPerSecond;
    if (rest < 0) rest += kNanosPerSecond, --secs;
    return TimeDelta{static_cast<std::int64_t>(secs), static_cast<std::int32_t>(rest)};
}

template <class Table>
bool covers(const Table& rows, std::size_t n) {
    return rows.size() >= n &&
           std::all_of(rows.begin(), rows.begin() + static_cast<std::ptrdiff_t>(n),
                       [n](const auto& row) { return row.size() >= n; });
}

// Whether every tour over the n locations stays inside the ranges of DateTime and
// TimeDelta. A generous bound on the clock: it starts at a window, a window wait
// never takes it past the latest window end (plus one closed night), and each
// action adds its length and at most one night per step and per window.
bool time_stays_in_range(const TimeScheduler& scheduler, std::size_t n) {
    if (scheduler.job_durations.size() < n || scheduler.time_windows.size() < n ||
        !covers(scheduler.duration_matrix, n))
        return false;
    constexpr Nanos kDay = Nanos{kSecondsPerDay} * kNanosPerSecond;
    const auto& hours = scheduler.operation_times;
    const Nanos open = hours ? nanos(hours->daily_end - hours->daily_start) : 0;
    auto allowance = [&](Nanos length, std::size_t windows) {
        const Nanos nights = hours ? length / open + 4 + static_cast<Nanos>(windows) : 0;
        return length + nights * kDay;
    };
    bool any_window = false;
    Nanos earliest = 0, latest = 0, actions = 0;
    for (std::size_t k = 0; k < n; ++k) {
        const auto& windows = scheduler.time_windows[k].windows;
        for (const TimeWindow& window : windows) {
            earliest = any_window ? std::min(earliest, nanos(window.start)) : nanos(window.start);
            latest = any_window ? std::max(latest, nanos(window.end)) : nanos(window.end);
            any_window = true;
        }
        Nanos longest_travel = 0;
        for (std::size_t to = 0; to < n; ++to)
            longest_travel = std::max(longest_travel, positive_nanos(scheduler.duration_matrix[k][to]));
        actions += allowance(positive_nanos(scheduler.job_durations[k]), windows.size()) +
                   allowance(longest_travel, 0);
    }
    if (!any_window) return false;
    const Nanos last_instant = latest + kDay + actions;
    const Nanos longest_span = last_instant - earliest;
    // Lateness sums one overrun per location, each within the span.
    const Nanos largest_total = longest_span * static_cast<Nanos>(n + 1);
    return last_instant < Nanos{DateTime::kMaxUnixSeconds} * kNanosPerSecond &&
           largest_total < Nanos{TimeDelta::kMaxSeconds} * kNanosPerSecond;
}

// The objective's keys, compared lexicographically.
auto keys(const TimeDelta& lateness, const TimeDelta& traveling, const TimeDelta& duration,
          const TimeDelta& waiting, const Distance& distance) {
    return std::tie(lateness, traveling, duration, waiting, distance);
}

}  // namespace

__int128 TrialEvaluator::TravelLeg::operator()(std::size_t from, std::size_t to) const {
    return positive_nanos((*rows)[from][to]);
}

TrialEvaluator::TrialEvaluator(const Penalizer& penalizer)
    : penalizer_(&penalizer),
      late_return_counts_(penalizer.late_return_counts()),
      scheduler_(penalizer.time_scheduler() ? &*penalizer.time_scheduler() : nullptr),
      hours_(scheduler_ && scheduler_->operation_times ? &*scheduler_->operation_times : nullptr),
      distances_(DistanceLeg{&penalizer.distance_matrix().rows}),
      travel_times_(TravelLeg{scheduler_ ? &scheduler_->duration_matrix : nullptr}) {}

std::optional<TrialEvaluator> TrialEvaluator::for_problem(const Penalizer& penalizer) {
    const std::size_t n = penalizer.location_count();
    if (!covers(penalizer.distance_matrix().rows, n)) return std::nullopt;
    const auto& scheduler = penalizer.time_scheduler();
    if (scheduler && !time_stays_in_range(*scheduler, n)) return std::nullopt;
    return TrialEvaluator(penalizer);
}

void TrialEvaluator::work(TimeReport& state, std::size_t location) const {
    continue_with_action(state, scheduler_->job_durations[location],
                         &scheduler_->time_windows[location], hours_, ActionKind::Work, location,
                         false);
}

void TrialEvaluator::travel(TimeReport& state, std::size_t from, std::size_t to) const {
    continue_with_action(state, scheduler_->duration_matrix[from][to], nullptr, hours_,
                         ActionKind::Travel, std::nullopt, false);
}

void TrialEvaluator::rebase(const Solution& current) {
    current_ = &current;
    const Route& route = current.route;
    distances_.reset(route);
    if (!scheduler_) return;
    travel_times_.reset(route);
    const std::size_t n = route.size();
    before_leaving_.resize(n);
    on_arrival_.resize(n);
    TimeReport state = TimeReport::starting_at(scheduler_->time_windows[route[0]].windows[0].start);
    for (std::size_t k = 0; k < n; ++k) {
        work(state, route[k]);
        if (k + 1 == n) break;  // the closing leg is never resumed from
        before_leaving_[k + 1] = state;
        travel(state, route[k], route[k + 1]);
        on_arrival_[k + 1] = state;
    }
}

bool TrialEvaluator::improves(std::size_t i, std::size_t j, std::span<const Run> runs) const {
    const Distance distance = distances_.total_with(i, j, runs);
    if (!scheduler_) return distance < current_->distance;
    return improves_in_time(i, j, runs, distance);
}

bool TrialEvaluator::improves_in_time(std::size_t i, std::size_t j, std::span<const Run> runs,
                                      Distance distance) const {
    const Route& r = current_->route;
    const TimeReport& reference = *current_->time_report;
    const std::size_t first = i > 0 ? r[0] : (runs[0].reversed ? r[runs[0].last] : r[runs[0].first]);
    if (!scheduler_->can_start_tour(first)) return false;

    // Travel time and distance are exact already; the other keys only grow as the
    // simulation goes on, so the trial is lost once its partial keys are not smaller.
    const TimeDelta traveling = delta_from_nanos(travel_times_.total_with(i, j, runs));
    const auto reference_keys = keys(reference.lateness, reference.traveling_time,
                                     reference.duration, reference.waiting_time, current_->distance);
    TimeReport state = i > 0 ? before_leaving_[i]
                             : TimeReport::starting_at(scheduler_->time_windows[first].windows[0].start);
    auto lost = [&] {
        return !(keys(state.lateness, traveling, state.duration, state.waiting_time, distance) <
                 reference_keys);
    };
    if (lost()) return false;

    std::size_t previous = i > 0 ? r[i - 1] : first;
    bool has_previous = i > 0;
    for (const Run& run : runs) {
        for (std::size_t step = 0; step <= run.last - run.first; ++step) {
            const std::size_t location = r[run.reversed ? run.last - step : run.first + step];
            if (has_previous) {
                travel(state, previous, location);
                if (lost()) return false;
            }
            work(state, location);
            if (lost()) return false;
            previous = location;
            has_previous = true;
        }
    }
    for (std::size_t p = j + 1; p < r.size(); ++p) {
        travel(state, previous, r[p]);
        const TimeReport& arrival = on_arrival_[p];
        if (first == r[0] && state.end_time == arrival.end_time) {
            // From here on the trial repeats the current tour, whose remaining totals
            // are known: from this arrival to the end of its closing leg.
            state.lateness += reference.lateness - arrival.lateness;
            state.duration += reference.duration - arrival.duration;
            state.waiting_time += reference.waiting_time - arrival.waiting_time;
            return !lost();
        }
        if (lost()) return false;
        work(state, r[p]);
        if (lost()) return false;
        previous = r[p];
    }
    travel(state, previous, first);
    if (late_return_counts_) state.lateness += penalizer_->late_return(first, state.end_time);
    return !lost();
}

}  // namespace tourwright
