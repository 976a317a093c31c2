#include "evaluation/passages.hpp"

#include <algorithm>
#include <optional>

#include "util/panic.hpp"

namespace tourwright {
namespace {

struct Passage {
    TimeDelta leg;  // of no length for the first passage
    std::size_t destination;
    bool works;  // false for the return leg
};

// Where a passage, timed without a break, arrived and began its work (its end when it has
// none).
struct PassageTiming {
    DateTime arrival;
    DateTime work_start;
};

// The travel a leg begun at `from` has done by `to`, when it is still on its way then:
// the open time between them.
TimeDelta open_time_between(OpenHours hours, DateTime from, DateTime to) {
    TimeDelta open;
    for (DateTime t = from + hours.closed_for(from); t < to; t += hours.closed_for(t)) {
        const auto until_closing = hours.until_closing(t);
        const TimeDelta step = until_closing && *until_closing < to - t ? *until_closing : to - t;
        open += step;
        t += step;
    }
    return open;
}

// Takes the break [at, at + length) inside the wait that holds it in `report`.
void hold_in_wait(TimeReport& report, DateTime at, TimeDelta length, std::size_t location,
                  bool with_schedule) {
    report.waiting_time -= length;
    report.break_time += length;
    if (!with_schedule) return;
    auto& records = report.schedule;
    const auto wait = std::find_if(records.rbegin(), records.rend(), [&](const ScheduleRecord& r) {
        return r.kind == RecordKind::Wait && r.window.start <= at && at + length <= r.window.end;
    });
    if (wait == records.rend()) panic_assertion("a wait holds the break");
    const TimeWindow whole = wait->window;
    std::vector<ScheduleRecord> parts;
    if (whole.start < at) parts.push_back({RecordKind::Wait, 0, TimeWindow(whole.start, at)});
    parts.push_back({RecordKind::Break, location, TimeWindow(at, at + length)});
    if (at + length < whole.end)
        parts.push_back({RecordKind::Wait, 0, TimeWindow(at + length, whole.end)});
    const auto place = records.erase(std::next(wait).base());
    records.insert(place, parts.begin(), parts.end());
}

class TourWalk {
public:
    TourWalk(const TimeScheduler& scheduler, bool with_schedule)
        : scheduler_(scheduler), hours_(scheduler.hours()), with_schedule_(with_schedule) {}

    PassageTiming run(TimeReport& report, const Passage& passage) const {
        travel(report, passage.leg);
        const DateTime arrival = report.end_time;
        return {arrival, passage.works ? work(report, passage.destination) : arrival};
    }

    // Runs the passage with `pending` due; whether it took the break.
    bool run_with_break(TimeReport& report, const Passage& passage,
                        const BreakRule& pending) const {
        const DateTime t = report.end_time;
        TimeReport trial = TimeReport::starting_at(t);
        const PassageTiming timing = run(trial, passage);
        const DateTime held =
            hours_.room_for(std::max(timing.arrival, pending.earliest), pending.length);
        if (held <= pending.latest && held + pending.length <= timing.work_start) {
            hold_in_wait(trial, held, pending.length, passage.destination, with_schedule_);
            report.extend(std::move(trial));
            return true;
        }
        if (!(trial.end_time > pending.latest)) {
            report.extend(std::move(trial));
            return false;
        }
        const DateTime at = hours_.room_for(std::max(t, pending.earliest), pending.length);
        std::size_t where = passage.destination;
        if (at < timing.arrival) {
            const TimeDelta done = open_time_between(hours_, t, at);
            travel(report, done);
            continue_holding(report, at, RecordKind::Wait, 0, with_schedule_);
            where = kOnLeg;
            continue_holding(report, at + pending.length, RecordKind::Break, where, with_schedule_);
            travel(report, passage.leg - done);
        } else {
            travel(report, passage.leg);
            continue_holding(report, at, RecordKind::Wait, 0, with_schedule_);
            continue_holding(report, at + pending.length, RecordKind::Break, where, with_schedule_);
        }
        if (passage.works) work(report, passage.destination);
        if (at > pending.latest) report.lateness += at - pending.latest;
        return true;
    }

private:
    void travel(TimeReport& report, TimeDelta duration) const {
        continue_with_action(report, duration, nullptr, hours_, ActionKind::Travel, std::nullopt,
                             with_schedule_);
    }

    // The job at `location`; returns where it began.
    DateTime work(TimeReport& report, std::size_t location) const {
        const TimeDelta job = checked_at(scheduler_.job_durations, location);
        const TimeWindows& windows = checked_at(scheduler_.time_windows, location);
        if (scheduler_.window_rule(location) == WindowRule::Start)
            return continue_with_started_job(report, job, windows, hours_, location,
                                             with_schedule_);
        return continue_with_action(report, job, &windows, hours_, ActionKind::Work, location,
                                    with_schedule_);
    }

    const TimeScheduler& scheduler_;
    OpenHours hours_;
    bool with_schedule_;
};

}  // namespace

TimeReport tour_report(const TimeScheduler& scheduler, const Route& route, DateTime start,
                       bool with_schedule) {
    const TourWalk walk(scheduler, with_schedule);
    TimeReport report = TimeReport::starting_at(start);
    // A break due before the tour began fell in time the van did not work.
    auto pending = std::find_if(scheduler.breaks.begin(), scheduler.breaks.end(),
                                [&](const BreakRule& rule) { return !(rule.latest < start); });
    for (std::size_t p = 0; p <= route.size(); ++p) {
        const bool back = p == route.size();
        const std::size_t destination = back ? route[0] : route[p];
        const TimeDelta leg =
            p > 0 ? scheduler.travel_duration(route[p - 1], destination) : TimeDelta::zero();
        const Passage passage{leg, destination, !back};
        if (pending == scheduler.breaks.end())
            walk.run(report, passage);
        else if (walk.run_with_break(report, passage, *pending))
            ++pending;
    }
    return report;
}

}  // namespace tourwright
