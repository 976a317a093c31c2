#include "evaluation/time_output.hpp"

#include <algorithm>

#include "model/time_input.hpp"
#include "util/panic.hpp"

namespace tourwright {
namespace {

// Instants and durations as nanosecond counts: wide enough for any product below.
using Nanos = __int128;
constexpr Nanos kNanosPerDay = Nanos{kSecondsPerDay} * kNanosPerSecond;

Nanos nanos_of(TimeDelta d) { return Nanos{d.secs} * kNanosPerSecond + d.nanos; }
Nanos nanos_of(DateTime t) { return Nanos{t.unix_seconds()} * kNanosPerSecond + t.subsec_nanos(); }
// Not negative.
TimeDelta delta_of(Nanos n) {
    return TimeDelta{static_cast<std::int64_t>(n / kNanosPerSecond),
                     static_cast<std::int32_t>(n % kNanosPerSecond)};
}

constexpr Nanos kLastInstant =
    Nanos{DateTime::kMaxUnixSeconds} * kNanosPerSecond + kNanosPerSecond - 1;

// How far ahead the window lookups of the coming passes are known to answer as the
// one at `t` did, given that it found no wait. A pass looks up its clock and, when
// that finds a window, the would-be end (clock plus what remains). Up to `clock`, the
// clock's lookups find the window holding `t`: no other window starts before, and
// neither it nor the last window has closed, so the bisection takes the same path
// whatever the order of the list. A would-be end after the last window finds none,
// which leaves the pass alone as finding the same window does; `would_be_end` is
// where that stops holding (and it must stay representable), absent when the would-be
// end is never computed.
struct LookupReach {
    Nanos clock;
    std::optional<Nanos> would_be_end;
};

std::optional<LookupReach> lookup_reach(const TimeWindows* windows, DateTime t,
                                        TimeDelta remaining) {
    // Without windows, or after the last one, every lookup finds nothing for good.
    const auto found = windows ? windows->next_window(t) : std::nullopt;
    if (!found) return LookupReach{kLastInstant, std::nullopt};
    if (found->wait.is_positive()) return std::nullopt;
    const Nanos last_end = nanos_of(windows->windows.back().end);
    Nanos until = std::min(nanos_of(found->window->end), last_end);
    for (const TimeWindow& window : windows->windows)
        if (window.start > t) until = std::min(until, nanos_of(window.start) - 1);
    const bool ends_after_last = nanos_of(t) + nanos_of(remaining) > last_end;
    return LookupReach{until, ends_after_last ? kLastInstant : until};
}

// How many whole days to take at once from an opening at `t`, with `remaining` to go:
// whole_days_within, fewer when the window lookups could change on the way, or when
// the clock or a total would leave its range (the stepping that follows then meets
// that failure where it always did).
std::int64_t days_to_skip(Nanos t, Nanos remaining, Nanos open, Nanos night, Nanos step_total,
                          Nanos waiting_total, const LookupReach& reach) {
    const Nanos max_delta = nanos_of(kMaxTimeDelta);
    Nanos days = whole_days_within(remaining, open);
    days = std::min(days, (kLastInstant - t) / kNanosPerDay);
    days = std::min(days, (max_delta - step_total) / open);
    days = std::min(days, (max_delta - waiting_total) / night + 1);  // the last night stays pending
    // The clock of day d (d < days) runs from t + d * day to t + d * day + open.
    const Nanos clock_reach = reach.clock - t - open;
    if (clock_reach < 0) return 0;
    days = std::min(days, clock_reach / kNanosPerDay + 1);
    // The would-be end of day d is t + remaining + d * night.
    if (reach.would_be_end) {
        const Nanos end_reach = *reach.would_be_end - t - remaining;
        if (end_reach < 0) return 0;
        days = std::min(days, end_reach / night + 1);
    }
    return static_cast<std::int64_t>(std::max<Nanos>(days, 0));
}

}  // namespace

void TimeReport::extend(TimeReport&& other) {
    end_time = other.end_time;
    duration += other.duration;
    lateness += other.lateness;
    working_time += other.working_time;
    waiting_time += other.waiting_time;
    traveling_time += other.traveling_time;
    break_time += other.break_time;
    if (other.schedule.empty()) return;  // as always while the search runs
    if (schedule.empty()) {
        schedule = std::move(other.schedule);
    } else {
        schedule.insert(schedule.end(), std::make_move_iterator(other.schedule.begin()),
                        std::make_move_iterator(other.schedule.end()));
    }
}

TimeReport action_report(TimeDelta duration, const TimeWindows* windows, OpenHours hours,
                         DateTime start, ActionKind kind, std::optional<std::size_t> location,
                         bool with_schedule) {
    TimeReport report = TimeReport::starting_at(start);
    continue_with_action(report, duration, windows, hours, kind, location, with_schedule);
    return report;
}

DateTime continue_with_action(TimeReport& report, TimeDelta duration, const TimeWindows* windows,
                              OpenHours hours, ActionKind kind, std::optional<std::size_t> location,
                              bool with_schedule) {
    const OperationTimes* operation_times = hours.daily();
    const DateTime start = report.end_time;
    std::optional<DateTime> first_step;
    DateTime& t = report.end_time;  // the clock
    TimeDelta remaining = duration;
    // Work always makes at least one (possibly zero-length) step, so that an
    // instantaneous visit still waits for its window and is measured for lateness.
    bool work_pending = kind == ActionKind::Work;
    if (work_pending) remaining = at_least_zero(remaining);
    TimeDelta pending_wait;

    auto record = [&](RecordKind record_kind, std::size_t at, DateTime from, DateTime to) {
        report.schedule.push_back({record_kind, at, TimeWindow(from, to)});
    };
    auto wait = [&](TimeDelta amount) {
        pending_wait += amount;
        t += amount;
    };

    while (remaining.is_positive() || work_pending) {
        const DateTime pass_start = t;
        if (windows) {
            if (auto opening = windows->next_window(t)) {
                if (opening->wait.is_positive()) wait(opening->wait);
                const auto at_end = windows->next_window(t + remaining);
                if (at_end && !(*at_end->window == *opening->window)) {
                    // It would run past the window it starts in: move on to where it would
                    // have ended, or to the opening of the window found there.
                    wait(at_end->wait + remaining);
                    continue;
                }
            }
        }
        if (hours) {
            const TimeDelta closed = hours.closed_for(t);
            if (closed.is_positive()) {
                wait(closed);
                continue;
            }
        }
        if (pending_wait.is_positive()) {
            if (with_schedule) record(RecordKind::Wait, 0, t - pending_wait, t);
            report.waiting_time += pending_wait;
            pending_wait = TimeDelta::zero();
        }
        if (!first_step) first_step = t;
        TimeDelta& step_total =
            kind == ActionKind::Travel ? report.traveling_time : report.working_time;
        // The search never asks for a schedule: there a long action takes its whole days at
        // once, so that its cost does not grow with the number of days it spans.
        // Only from where this pass looked its windows up, so that no new lookup is made.
        if (!with_schedule && operation_times && (kind == ActionKind::Travel || location) &&
            t == pass_start && t.time_of_day() == operation_times->daily_start) {
            const auto reach = lookup_reach(windows, t, remaining);
            const Nanos open = nanos_of(operation_times->daily_end - operation_times->daily_start);
            const Nanos night = kNanosPerDay - open;
            const std::int64_t days =
                reach ? days_to_skip(nanos_of(t), nanos_of(remaining), open, night,
                                     nanos_of(step_total), nanos_of(report.waiting_time), *reach)
                      : 0;
            if (days > 0) {
                step_total += delta_of(open * days);
                report.waiting_time += delta_of(night * (days - 1));
                pending_wait = delta_of(night);
                remaining -= delta_of(open * days);
                t += delta_of(kNanosPerDay * days);
                work_pending = false;
                continue;
            }
        }
        // One step never runs past the closing time.
        TimeDelta step = remaining;
        if (const auto until_closing = hours.until_closing(t))
            if (remaining > *until_closing) step = *until_closing;
        const DateTime step_end = t + step;
        if (kind == ActionKind::Travel) {
            if (with_schedule) record(RecordKind::Travel, 0, t, step_end);
            step_total += step;
        } else {
            if (!location) panic_unwrap_none();
            if (with_schedule) record(RecordKind::Work, *location, t, step_end);
            step_total += step;
            if (windows && step == remaining && !windows->windows.empty() &&
                step_end > windows->windows.back().end)
                report.lateness += step_end - windows->windows.back().end;
            work_pending = false;
        }
        t = step_end;
        remaining -= step;
    }
    report.duration += t - start;
    return first_step.value_or(t);
}

void continue_holding(TimeReport& report, DateTime until, RecordKind kind, std::size_t location,
                      bool with_schedule) {
    const DateTime from = report.end_time;
    if (!(from < until)) return;
    if (with_schedule) report.schedule.push_back({kind, location, TimeWindow(from, until)});
    (kind == RecordKind::Break ? report.break_time : report.waiting_time) += until - from;
    report.duration += until - from;
    report.end_time = until;
}

DateTime continue_with_started_job(TimeReport& report, TimeDelta duration,
                                   const TimeWindows& windows, OpenHours hours,
                                   std::size_t location, bool with_schedule) {
    DateTime t = report.end_time;
    // Each turn moves on to a later window, or past them all.
    while (auto found = windows.next_window(t)) {
        t += found->wait;
        t += hours.closed_for(t);
        if (t <= found->window->end) break;
    }
    t += hours.closed_for(t);
    continue_holding(report, t, RecordKind::Wait, 0, with_schedule);
    continue_with_action(report, duration, nullptr, hours, ActionKind::Work, location,
                         with_schedule);
    if (!windows.windows.empty() && t > windows.windows.back().end)
        report.lateness += t - windows.windows.back().end;
    return t;
}

}  // namespace tourwright
