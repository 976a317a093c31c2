#include "time_output.hpp"

#include "../../panic.hpp"

namespace tourwright {

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
        // One step never runs past the closing time.
        TimeDelta step = remaining;
        if (operation_times) {
            const TimeDelta until_closing = operation_times->daily_end - t.time_of_day();
            if (remaining > until_closing) step = until_closing;
        }
        const DateTime step_end = t + step;
        if (kind == ActionKind::Travel) {
            if (with_schedule) record(RecordKind::Travel, 0, t, step_end);
            report.traveling_time += step;
        } else {
            if (!location) panic_unwrap_none();
            if (with_schedule) record(RecordKind::Work, *location, t, step_end);
            report.working_time += step;
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
