#include "time_output.hpp"

#include <algorithm>

#include "../../panic.hpp"

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

constexpr Nanos kLastInstant = Nanos{DateTime::kMaxUnixSeconds} * kNanosPerSecond + kNanosPerSecond - 1;

// The latest instant up to which every lookup from `t` on returns what it returns at `t`:
// none at all past the last window, otherwise the window holding `t` for as long as no
// other window starts and neither it nor the last window has closed. Holds for any
// window list, sorted or not, since the bisection then takes the same path throughout.
// Nothing when the lookup at `t` is not such a window.
std::optional<Nanos> lookups_unchanged_until(const TimeWindows* windows, DateTime t) {
    if (!windows) return kLastInstant;
    const auto found = windows->next_window(t);
    if (!found) return kLastInstant;  // empty, or `t` is after the last window: for good
    if (found->wait.is_positive()) return std::nullopt;
    Nanos until = std::min(nanos_of(found->window->end), nanos_of(windows->windows.back().end));
    for (const TimeWindow& window : windows->windows)
        if (window.start > t) until = std::min(until, nanos_of(window.start) - 1);
    return until;
}

// How many whole days to take at once from an opening at `t`, with `remaining` to go:
// each such day steps through the whole opening and then waits the night, which holds
// while more than an opening remains. Fewer when the window lookups could change on
// the way, or when the clock or a total would leave its range (the stepping that
// follows then meets that failure where it always did).
std::int64_t whole_days(Nanos t, Nanos remaining, Nanos open, Nanos night, Nanos step_total,
                        Nanos waiting_total, Nanos lookups_until) {
    const Nanos max_delta = nanos_of(kMaxTimeDelta);
    Nanos days = (remaining - 1) / open;
    days = std::min(days, (kLastInstant - t) / kNanosPerDay);
    days = std::min(days, (max_delta - step_total) / open);
    // Every day's lookups lie within [t, t + remaining + (days - 1) * night].
    const Nanos reach = lookups_until - t - remaining;
    if (reach < 0) return 0;
    days = std::min(days, reach / night + 1);
    days = std::min(days, (max_delta - waiting_total) / night + 1);  // the last night stays pending
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
    if (other.schedule.empty()) return;  // as always while the search runs
    if (schedule.empty()) {
        schedule = std::move(other.schedule);
    } else {
        schedule.insert(schedule.end(), std::make_move_iterator(other.schedule.begin()),
                        std::make_move_iterator(other.schedule.end()));
    }
}

TimeReport action_report(TimeDelta duration, const TimeWindows* windows,
                         const OperationTimes* operation_times, DateTime start, ActionKind kind,
                         std::optional<std::size_t> location, bool with_schedule) {
    TimeReport report = TimeReport::starting_at(start);
    continue_with_action(report, duration, windows, operation_times, kind, location, with_schedule);
    return report;
}

void continue_with_action(TimeReport& report, TimeDelta duration, const TimeWindows* windows,
                          const OperationTimes* operation_times, ActionKind kind,
                          std::optional<std::size_t> location, bool with_schedule) {
    const DateTime start = report.end_time;
    DateTime& t = report.end_time;  // the clock
    TimeDelta remaining = duration;
    // Work always makes at least one (possibly zero-length) step, so that an
    // instantaneous visit still waits for its window and is measured for lateness;
    // a negative job length counts as zero.
    bool work_pending = kind == ActionKind::Work;
    if (work_pending && !remaining.is_positive()) remaining = TimeDelta::zero();
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
        if (operation_times) {
            const TimeDelta closed = operation_times->waiting_time(t.time_of_day());
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
        TimeDelta& step_total =
            kind == ActionKind::Travel ? report.traveling_time : report.working_time;
        // The search never asks for a schedule: there a long action takes its whole days at
        // once, so that its cost does not grow with the number of days it spans.
        // Only from where this pass looked its windows up, so that no new lookup is made.
        if (!with_schedule && operation_times && (kind == ActionKind::Travel || location) &&
            t == pass_start && t.time_of_day() == operation_times->daily_start) {
            const auto lookups_until = lookups_unchanged_until(windows, t);
            const Nanos open = nanos_of(operation_times->daily_end - operation_times->daily_start);
            const Nanos night = kNanosPerDay - open;
            const std::int64_t days =
                lookups_until ? whole_days(nanos_of(t), nanos_of(remaining), open, night,
                                           nanos_of(step_total), nanos_of(report.waiting_time),
                                           *lookups_until)
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
        if (operation_times) {
            const TimeDelta until_closing = operation_times->daily_end - t.time_of_day();
            if (remaining > until_closing) step = until_closing;
        }
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
}

}  // namespace tourwright
