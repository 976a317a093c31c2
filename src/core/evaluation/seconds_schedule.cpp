#include "evaluation/seconds_schedule.hpp"

#include <algorithm>
#include <limits>
#include <type_traits>

namespace tourwright {
namespace {

std::int64_t floor_mod(std::int64_t value, std::int64_t modulus) {
    const std::int64_t rest = value % modulus;
    return rest < 0 ? rest + modulus : rest;
}

bool whole(TimeDelta d) { return d.nanos == 0; }
bool whole(DateTime t) { return t.subsec_nanos() == 0; }
bool whole(NaiveTime t) { return t.nanos == 0; }
std::int64_t seconds_of(TimeDelta d) { return at_least_zero(d).secs; }

}  // namespace

std::optional<SecondsSchedule> SecondsSchedule::compile(const TimeScheduler& scheduler,
                                                        std::size_t n,
                                                        const std::function<bool()>& stop) {
    SecondsSchedule compiled;
    compiled.n_ = n;
    if (const auto& hours = scheduler.operation_times) {
        if (!whole(hours->daily_start) || !whole(hours->daily_end)) return std::nullopt;
        compiled.hours_ = Hours{hours->daily_start.secs, hours->daily_end.secs};
    }
    if (scheduler.calendar) {
        compiled.calendar_ = SecondsCalendar::compile(*scheduler.calendar);
        if (!compiled.calendar_) return std::nullopt;
    }
    compiled.pauses_ = compiled.hours_ || compiled.calendar_;
    for (const BreakRule& rule : scheduler.breaks) {
        if (!whole(rule.length) || !whole(rule.earliest) || !whole(rule.latest))
            return std::nullopt;
        const std::int64_t length = seconds_of(rule.length);
        // A break longer than the daily opening would find room nowhere.
        if (compiled.hours_ && length > compiled.hours_->closing - compiled.hours_->opening)
            return std::nullopt;
        compiled.breaks_.push_back(
            {length, rule.earliest.unix_seconds(), rule.latest.unix_seconds()});
    }
    // A row may lack its diagonal entry, which no tour over two or more locations uses.
    // The table is made in 32 bits at once where every leg fits, so that the wide one
    // never exists beside it.
    auto legs = [&](auto each) {
        for (std::size_t from = 0; from < n; ++from) {
            if (stop && stop()) return false;
            const auto& row = scheduler.duration_matrix[from];
            for (std::size_t to = 0; to < n && to < row.size(); ++to)
                if (!each(from * n + to, row[to])) return false;
        }
        return true;
    };
    bool short_legs = true;
    if (!legs([&](std::size_t, TimeDelta leg) {
            short_legs = short_legs && seconds_of(leg) <= std::numeric_limits<std::int32_t>::max();
            return whole(leg);
        }))
        return std::nullopt;
    auto fill = [&](auto& table) {
        table.assign(n * n, 0);
        return legs([&](std::size_t at, TimeDelta leg) {
            table[at] = static_cast<std::remove_reference_t<decltype(table[at])>>(seconds_of(leg));
            return true;
        });
    };
    if (!(short_legs ? fill(compiled.short_travel_) : fill(compiled.travel_))) return std::nullopt;
    compiled.single_window_ = !compiled.pauses_ && compiled.breaks_.empty();
    compiled.offsets_.push_back(0);
    for (std::size_t k = 0; k < n; ++k) {
        if (!whole(scheduler.job_durations[k])) return std::nullopt;
        const std::int64_t job = seconds_of(scheduler.job_durations[k]);
        compiled.jobs_.push_back(job);
        const auto& windows = scheduler.time_windows[k].windows;
        bool ordered = true;
        std::int64_t narrowest_gap = kNever;
        for (std::size_t w = 0; w < windows.size(); ++w) {
            if (!whole(windows[w].start) || !whole(windows[w].end)) return std::nullopt;
            compiled.starts_.push_back(windows[w].start.unix_seconds());
            compiled.ends_.push_back(windows[w].end.unix_seconds());
            if (w == 0) continue;
            const std::int64_t gap =
                windows[w].start.unix_seconds() - windows[w - 1].end.unix_seconds();
            ordered = ordered && gap > 0;
            narrowest_gap = std::min(narrowest_gap, gap);
        }
        compiled.offsets_.push_back(compiled.starts_.size());
        const bool start_rule = scheduler.window_rule(k) == WindowRule::Start;
        compiled.start_rule_.push_back(start_rule);
        compiled.any_start_rule_ = compiled.any_start_rule_ || start_rule;
        compiled.first_windows_.push_back(
            windows.empty()
                ? FirstWindow{-kNever, kNever}
                : FirstWindow{compiled.starts_[compiled.offsets_[k]],
                              compiled.ends_[compiled.offsets_[k]] + (start_rule ? job : 0)});
        compiled.ordered_.push_back(ordered);
        // One window only delays the start; between ascending windows without open hours,
        // a job shorter than every gap moves on to the next window, never past it. A start
        // bound by ascending windows comes no sooner for a later arrival. A break may fit a
        // wait that a later arrival makes, so breaks keep no order.
        const bool whole_keeps =
            windows.size() <= 1 || (ordered && !compiled.pauses_ && job < narrowest_gap);
        compiled.keeps_order_.push_back((start_rule ? ordered : whole_keeps) &&
                                        compiled.breaks_.empty());
        compiled.single_window_ = compiled.single_window_ && windows.size() <= 1;
    }
    return compiled;
}

void SecondsSchedule::work_anywhere(SecondsClock& clock, std::size_t location) const {
    if (any_start_rule_ && start_rule_[location]) return work_from_start(clock, location);
    const WorkSite site{offsets_[location], window_count(location), ordered_[location] != 0};
    clock.at = run(clock.at, jobs_[location], &site, &clock.lateness);
}

void SecondsSchedule::work_from_start(SecondsClock& clock, std::size_t location) const {
    const WorkTimes times = timed_work(clock.at, location);
    clock.at = times.end;
    clock.lateness += times.lateness;
}

SecondsSchedule::WorkTimes SecondsSchedule::timed_work(std::int64_t arrival,
                                                       std::size_t location) const {
    const WorkSite site{offsets_[location], window_count(location), ordered_[location] != 0};
    WorkTimes times{arrival, arrival, 0};
    if (!start_rule_[location]) {
        times.end = run(arrival, jobs_[location], &site, &times.lateness, &times.began);
        return times;
    }
    // The start alone is bound; the job then runs pausing only outside the hours.
    times.began = start_within(site, arrival);
    if (site.count > 0)
        times.lateness = std::max<std::int64_t>(times.began - last_closing(location), 0);
    times.end =
        pauses_ ? run(times.began, jobs_[location], nullptr) : times.began + jobs_[location];
    return times;
}

// Window by window as the calendar form goes, so that windows in any order give the
// same answer: each turn moves on to a later window, or past them all.
std::int64_t SecondsSchedule::start_within(const WorkSite& site, std::int64_t t) const {
    while (const auto found = next_window(site, t)) {
        t += found->wait;
        t += openness(t).closed_for;
        if (t <= ends_[found->index]) break;
    }
    return t + openness(t).closed_for;
}

std::uint32_t SecondsSchedule::first_pending(std::int64_t start) const {
    const auto dropped = std::partition_point(
        breaks_.begin(), breaks_.end(), [&](const Break& rule) { return rule.latest < start; });
    return static_cast<std::uint32_t>(dropped - breaks_.begin());
}

// The passage is timed without the break first; the break then goes into its wait, into
// this passage as early as it has room, or stays pending (model/breaks.hpp).
void SecondsSchedule::pass_with_break(SecondsClock& clock, std::int64_t leg,
                                      const std::size_t* to) const {
    const std::int64_t t = clock.at;
    // A pending break without room from here to its latest start is dropped.
    std::int64_t last_start = kNoRoom;
    for (; clock.pending < breaks_.size(); ++clock.pending) {
        const Break& pause = breaks_[clock.pending];
        last_start = latest_room(std::max(t, pause.earliest), pause.latest, pause.length);
        if (last_start != kNoRoom) break;
    }
    const std::int64_t arrival = pauses_ ? run(t, leg, nullptr) : t + leg;
    WorkTimes times = to ? timed_work(arrival, *to) : WorkTimes{arrival, arrival, 0};
    if (clock.pending == breaks_.size()) {
        clock.at = times.end;
        clock.lateness += times.lateness;
        return;
    }
    const Break& pause = breaks_[clock.pending];
    const std::int64_t in_wait = room(std::max(arrival, pause.earliest), pause.length);
    const bool held = in_wait <= pause.latest && in_wait + pause.length <= times.began;
    if (held || times.end <= last_start) {
        clock.pending += held;
        clock.on_break += held ? pause.length : 0;
        clock.at = times.end;
        clock.lateness += times.lateness;
        return;
    }
    const std::int64_t taken = room(std::max(t, pause.earliest), pause.length);
    ++clock.pending;
    clock.on_break += pause.length;
    std::int64_t resumed = taken + pause.length;
    // The leg pauses for it: what was not yet travelled goes on after the break.
    if (taken < arrival) {
        const std::int64_t rest = leg - (open_before(taken) - open_before(t));
        resumed = pauses_ ? run(resumed, rest, nullptr) : resumed + rest;
    }
    if (to) {
        times = timed_work(resumed, *to);
        resumed = times.end;
        clock.lateness += times.lateness;
    }
    clock.at = resumed;
}

std::int64_t SecondsSchedule::latest_room(std::int64_t from, std::int64_t until,
                                          std::int64_t length) const {
    std::int64_t latest = kNoRoom;
    // Stretch by stretch of open time: each one's latest start is `length` before its closing.
    for (std::int64_t t = from;;) {
        const std::int64_t start = room(t, length);
        if (start > until) return latest;
        const std::int64_t open_for = openness(start).open_for;
        if (open_for == SecondsCalendar::kOpenOn) return until;
        latest = std::min(until, start + (open_for - length));
        t = start + open_for;
        if (t > until) return latest;
    }
}

// In line wherever a step of an action asks it, as the daily pair's arithmetic always was.
[[gnu::always_inline]] inline SecondsSchedule::Openness SecondsSchedule::openness(
    std::int64_t t) const {
    if (hours_) {
        const std::int64_t time_of_day = floor_mod(t, kSecondsPerDay);
        if (time_of_day < hours_->opening)
            return {hours_->opening - time_of_day, hours_->closing - hours_->opening};
        if (time_of_day < hours_->closing) return {0, hours_->closing - time_of_day};
        return {kSecondsPerDay + hours_->opening - time_of_day, hours_->closing - hours_->opening};
    }
    if (calendar_) return calendar_->at(t);
    return {0, SecondsCalendar::kOpenOn};
}

std::int64_t SecondsSchedule::room(std::int64_t t, std::int64_t length) const {
    if (calendar_) return calendar_->room(t, length);
    const Openness open = openness(t);
    // Under daily hours the next opening has room, as compile checked.
    if (open.open_for >= length) return t + open.closed_for;
    return t + open.closed_for + open.open_for + kSecondsPerDay -
           (hours_->closing - hours_->opening);
}

std::int64_t SecondsSchedule::open_before(std::int64_t t) const {
    if (calendar_) return calendar_->open_before(t);
    if (!hours_) return t;
    const std::int64_t time_of_day = floor_mod(t, kSecondsPerDay);
    const std::int64_t open = hours_->closing - hours_->opening;
    return (t - time_of_day) / kSecondsPerDay * open +
           std::clamp<std::int64_t>(time_of_day - hours_->opening, 0, open);
}

// The same bisection as the calendar form, so that windows in any order give the
// same answer.
std::optional<SecondsSchedule::WindowAt> SecondsSchedule::next_window(const WorkSite& site,
                                                                      std::int64_t t) const {
    if (site.count == 0 || t > ends_[site.first + site.count - 1]) return std::nullopt;
    const std::int64_t* starts = &starts_[site.first];
    const std::int64_t* ends = &ends_[site.first];
    std::size_t base = 0;
    std::size_t size = site.count;
    while (size > 1) {
        const std::size_t half = size / 2;
        const std::size_t mid = base + half;
        if (!(starts[mid] > t)) base = mid;
        size -= half;
    }
    if (starts[base] == t) return WindowAt{site.first + base, 0};
    const std::size_t idx = starts[base] < t ? base + 1 : base;
    if (idx > 0 && starts[idx - 1] <= t && t <= ends[idx - 1])
        return WindowAt{site.first + idx - 1, 0};
    // As in the calendar form: when every start lies before t, the last window holds t.
    return WindowAt{site.first + idx, std::max<std::int64_t>(starts[idx] - t, 0)};
}

std::int64_t SecondsSchedule::run(std::int64_t t, std::int64_t amount, const WorkSite* site,
                                  std::int64_t* lateness, std::int64_t* began) const {
    std::int64_t remaining = amount;
    // Work makes one step even when it takes no time: it still waits and may be late.
    bool work_pending = site != nullptr;
    while (remaining > 0 || work_pending) {
        if (site) {
            if (const auto opening = next_window(*site, t)) {
                t += opening->wait;
                const auto at_end = next_window(*site, t + remaining);
                if (at_end && !(starts_[at_end->index] == starts_[opening->index] &&
                                ends_[at_end->index] == ends_[opening->index])) {
                    t += at_end->wait + remaining;
                    continue;
                }
            }
        }
        std::int64_t step = remaining;
        if (pauses_) {
            const Openness open = openness(t);
            if (open.closed_for > 0) {
                t += open.closed_for;
                continue;
            }
            step = std::min(remaining, open.open_for);
        }
        if (began && work_pending) *began = t;
        t += step;
        remaining -= step;
        if (site) {
            work_pending = false;
            const std::int64_t last_end =
                site->count ? ends_[site->first + site->count - 1] : kNever;
            if (remaining == 0 && t > last_end) *lateness += t - last_end;
        }
        if (remaining > 0 && hours_) skip_whole_days(t, remaining, site);
    }
    return t;
}

// At a closing time: the days of whole_days_within, fewer where windows intervene.
// Within them windows play no part when the clock stays inside one window and the
// action, run from the clock without pause, would end inside that window or after
// the last one; the bisection would answer the same at every step of that day.
void SecondsSchedule::skip_whole_days(std::int64_t& t, std::int64_t& remaining,
                                      const WorkSite* site) const {
    const std::int64_t open = hours_->closing - hours_->opening;
    const std::int64_t night = kSecondsPerDay - open;
    std::int64_t days = whole_days_within(remaining, open);
    if (site && site->count > 0 && t <= ends_[site->first + site->count - 1]) {
        const auto holding = next_window(*site, t);
        if (!site->ordered || holding->wait > 0) return;
        const std::int64_t window_end = ends_[holding->index];
        // The next openings must still fall inside the window...
        days = std::min(days, (window_end - t + open) / kSecondsPerDay);
        // ... and the would-be end, which moves on by a night each day, stay inside it
        // unless it already lies past the last window (or this is the last window).
        const std::int64_t finish = t + remaining;
        const std::int64_t last_end = ends_[site->first + site->count - 1];
        if (holding->index + 1 < site->first + site->count && finish <= last_end) {
            if (finish > window_end) return;
            days = std::min(days, (window_end - finish) / night);
        }
    }
    t += days * kSecondsPerDay;
    remaining -= days * open;
}

}  // namespace tourwright
