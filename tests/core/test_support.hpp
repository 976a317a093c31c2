#pragma once
// Helpers shared by the core test suites: readable failure output for the time
// types, capture of panic messages, short constructors for durations and times of
// day, the random problems, and the checks that incremental decisions agree with
// full evaluation.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <ostream>
#include <random>
#include <stdexcept>
#include <string>
#include <tuple>
#include <vector>

#include "engine/tour_ends.hpp"
#include "evaluation/time_output.hpp"
#include "evaluation/trial_evaluator.hpp"
#include "search/local_moves.hpp"
#include "search/solver.hpp"
#include "util/chrono.hpp"
#include "util/panic.hpp"

namespace tourwright {

namespace test_support {

// "YYYY-MM-DD hh:mm:ss.nnnnnnnnn" in UTC. Computed here rather than through the
// code under test, so a fault in the calendar code cannot hide in its own output.
inline std::string format_instant(const DateTime& t) {
    // Civil date from days since 1970-01-01 (400-year eras).
    const std::int64_t secs = t.unix_seconds();
    std::int64_t days = secs / kSecondsPerDay - (secs % kSecondsPerDay < 0 ? 1 : 0);
    const std::int64_t second_of_day = secs - days * kSecondsPerDay;
    days += 719468;
    const std::int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const std::int64_t doe = days - era * 146097;
    const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const std::int64_t mp = (5 * doy + 2) / 153;
    const std::int64_t day = doy - (153 * mp + 2) / 5 + 1;
    const std::int64_t month = mp < 10 ? mp + 3 : mp - 9;
    const std::int64_t year = yoe + era * 400 + (month <= 2 ? 1 : 0);
    char text[256];
    std::snprintf(text, sizeof text,
                  "%" PRId64 "-%02" PRId64 "-%02" PRId64 " %02" PRId64 ":%02" PRId64 ":%02" PRId64
                  ".%09u",
                  year, month, day, second_of_day / 3600, second_of_day / 60 % 60,
                  second_of_day % 60, t.subsec_nanos());
    return text;
}

inline constexpr const char* kNoPanic = "<no panic>";

// The message of the Panic that `body` raises, or kNoPanic when it returns normally.
// Any other exception propagates, failing the test that called it.
template <class F>
std::string panic_message(F&& body) {
    try {
        body();
    } catch (const Panic& failure) {
        return failure.message();
    }
    return kNoPanic;
}

inline TimeDelta hours(std::int64_t h) { return TimeDelta::seconds(h * 3600); }
inline TimeDelta minutes(std::int64_t m) { return TimeDelta::seconds(m * 60); }
inline TimeDelta seconds(std::int64_t s) { return TimeDelta::seconds(s); }
inline TimeDelta nanos(std::int32_t n) { return TimeDelta{0, n}; }

// The random source of the randomised suites, and a uniform integer in low ..= high.
using Rng = std::mt19937_64;
inline std::int64_t draw(Rng& rng, std::int64_t low, std::int64_t high) {
    return std::uniform_int_distribution<std::int64_t>(low, high)(rng);
}

// A random order of every location, rotated to begin where a tour can start.
inline Route random_route(const Penalizer& penalizer, Rng& rng) {
    Route route = identity_route(penalizer.location_count());
    std::shuffle(route.begin(), route.end(), rng);
    return start_route(penalizer, std::move(route));
}

// Random time data, in seconds from a fixed day.
inline const std::int64_t kDay0 = DateTime::from_civil(2026, 12, 7)->unix_seconds();
inline DateTime instant(std::int64_t seconds) { return *DateTime::from_unix(kDay0 + seconds); }

// Ascending windows with gaps, some of them hours and some months long; now and
// then touching, overlapping or out of order, which the simulation must follow
// just the same.
inline TimeWindows random_windows(Rng& rng, std::int64_t count, bool orderly) {
    TimeWindows windows;
    std::int64_t at = draw(rng, 0, 86400);
    for (std::int64_t w = 0; w < count; ++w) {
        const std::int64_t kind = draw(rng, 0, 3);
        const std::int64_t length = kind == 0   ? 0
                                    : kind == 1 ? draw(rng, 60, 400 * 86400)
                                                : draw(rng, 60, 30000);
        windows.windows.emplace_back(instant(at), instant(at + length));
        at += length + (orderly ? draw(rng, 1, 90000) : draw(rng, -20000, 20000));
    }
    if (!orderly && count > 1 && draw(rng, 0, 1))
        std::swap(windows.windows.front(), windows.windows.back());
    return windows;
}

// Operating hours: none, ordinary days, a few seconds a day or nearly the whole day.
inline std::optional<OperationTimes> random_hours(Rng& rng) {
    switch (draw(rng, 0, 3)) {
        case 0: return std::nullopt;
        case 1: {
            const auto opening = static_cast<std::uint32_t>(draw(rng, 0, 12 * 3600));
            return OperationTimes(
                {opening, 0},
                {opening + static_cast<std::uint32_t>(draw(rng, 3600, 12 * 3600)), 0});
        }
        case 2: {
            const auto opening = static_cast<std::uint32_t>(draw(rng, 0, 86000));
            return OperationTimes({opening, 0},
                                  {opening + static_cast<std::uint32_t>(draw(rng, 1, 60)), 0});
        }
        default:
            return OperationTimes({0, 0}, {static_cast<std::uint32_t>(draw(rng, 86000, 86399)), 0});
    }
}

inline std::int64_t opening_seconds(const std::optional<OperationTimes>& hours) {
    return hours ? std::int64_t{hours->daily_end.secs} - hours->daily_start.secs : 86400;
}

// Negative, zero, short and long lengths; long ones span up to `days` of the days'
// openings, so that the calendar simulation, a step per day, still finishes quickly.
inline std::int64_t random_length(Rng& rng, std::int64_t open, std::int64_t days = 3000) {
    switch (draw(rng, 0, 4)) {
        case 0: return -draw(rng, 1, 5000);
        case 1: return 0;
        case 2: return draw(rng, 1, 4 * 3600);
        default: return draw(rng, 1, open * days);
    }
}

// Random words for the searches, from a seeded generator.
struct SeededWords {
    Rng engine;
    std::uint32_t next_u32() { return static_cast<std::uint32_t>(engine()); }
};

// What random_problem makes.
struct ProblemShape {
    bool time = true;
    // At most one window per location and no operating hours: the single-window algebra.
    bool single_window = false;
    bool hours =
        false;  // operating hours always (else in one problem of three, unless single-window)
    // With ends, location 0 is their start and opens for a few hours only, so that many
    // tours that return come back late.
    std::optional<TourEnds> ends = std::nullopt;
    bool huge_distances = false;                        // some legs near 2^63 push totals past 2^64
    DateTime day = *DateTime::from_civil(2026, 12, 7);  // when the windows lie
    // The working week: open hours as a calendar (instead of daily hours), a break a day,
    // and windows that bind only the start (at every location, or at random ones).
    bool calendar = false;
    bool breaks = false;
    enum class Starts { None, Some, All } starts = Starts::None;
    // Every location but 0 optional in one case of two, of a class from 1 to 3.
    bool optional = false;
};

// A shape of the working week: daily hours or a calendar or neither, breaks mostly, and
// windows that bind the start nowhere, somewhere or everywhere.
inline ProblemShape random_week(Rng& rng) {
    return ProblemShape{.hours = draw(rng, 0, 1) == 1,
                        .calendar = draw(rng, 0, 1) == 1,
                        .breaks = draw(rng, 0, 2) > 0,
                        .starts = static_cast<ProblemShape::Starts>(draw(rng, 0, 2))};
}

// Open intervals over the days around `day`, as instants: some days 23 or 25 hours long
// (a clock change moves the later intervals), some intervals across midnight, some days
// with two intervals or none.
inline OpenCalendar random_calendar(Rng& rng, DateTime day) {
    std::vector<OpenInterval> intervals;
    std::int64_t midnight = -86400, free_from = midnight;
    for (int d = 0; d < 5; ++d) {
        std::int64_t at = std::max(midnight + draw(rng, 4, 9) * 3600, free_from);
        for (std::int64_t k = draw(rng, 0, 2); k > 0; --k) {
            const std::int64_t length = draw(rng, 1, 10) * 1800 + draw(rng, 0, 1) * 8 * 3600;
            intervals.push_back({day + seconds(at), day + seconds(at + length)});
            at += length + draw(rng, 1, 3) * 1800;
        }
        free_from = at;
        midnight += 86400 + draw(rng, -1, 1) * 3600;
    }
    if (intervals.empty()) intervals.push_back({day + hours(8), day + hours(17)});
    return OpenCalendar(std::move(intervals));
}

// A break a day, ten minutes to an hour long, to start around noon.
inline std::vector<BreakRule> random_breaks(Rng& rng, DateTime day) {
    std::vector<BreakRule> breaks;
    for (std::int64_t d = -1; d < 4; ++d) {
        const std::int64_t earliest = d * 86400 + draw(rng, 9, 13) * 3600;
        breaks.push_back({minutes(draw(rng, 1, 6) * 10), day + seconds(earliest),
                          day + seconds(earliest + draw(rng, 0, 4) * 1800)});
    }
    return breaks;
}

// Asymmetric distances and travel times; jobs and legs of zero length and, now and then,
// negative ones (which take no time); up to three windows per location over a day, none
// at some locations (location 0 always has one).
inline Penalizer random_problem(std::size_t n, Rng& rng, const ProblemShape& shape = {}) {
    const DateTime day = shape.day;
    std::vector<std::vector<std::uint64_t>> distances(n, std::vector<std::uint64_t>(n));
    TimeScheduler scheduler;
    auto negative_now_and_then = [&] { return draw(rng, 0, 9) == 0 ? -70 : 0; };
    for (std::size_t from = 0; from < n; ++from) {
        auto& legs = scheduler.duration_matrix.emplace_back();
        for (std::size_t to = 0; to < n; ++to) {
            distances[from][to] =
                shape.huge_distances && draw(rng, 0, 4) == 0
                    ? (std::uint64_t{1} << 63) + static_cast<std::uint64_t>(draw(rng, 0, 9))
                    : static_cast<std::uint64_t>(draw(rng, 0, 50));
            legs.push_back(minutes(draw(rng, 0, 6) * 10 + negative_now_and_then()));
        }
        scheduler.job_durations.push_back(minutes(draw(rng, 0, 4) * 15 + negative_now_and_then()));
        auto& windows = scheduler.time_windows.emplace_back().windows;
        const bool depot = shape.ends && from == 0;
        std::int64_t at = depot ? 480 : draw(rng, shape.ends ? 480 : 0, 900);
        const std::int64_t count =
            depot ? 1 : draw(rng, from == 0 ? 1 : 0, shape.single_window ? 1 : 3);
        for (std::int64_t w = 0; w < count; ++w) {
            const std::int64_t length = depot ? draw(rng, 60, 300) : draw(rng, 0, 240);
            windows.emplace_back(day + minutes(at), day + minutes(at + length));
            at += length + draw(rng, 1, 900);
        }
    }
    if (shape.calendar) scheduler.calendar = random_calendar(rng, day);
    if (shape.breaks) scheduler.breaks = random_breaks(rng, day);
    if (shape.starts != ProblemShape::Starts::None)
        for (std::size_t k = 0; k < n; ++k)
            scheduler.window_rules.push_back(
                shape.starts == ProblemShape::Starts::All || draw(rng, 0, 1) ? WindowRule::Start
                                                                             : WindowRule::Whole);
    if (!shape.single_window && !shape.calendar && (shape.hours || draw(rng, 0, 2) == 0))
        scheduler.operation_times.emplace(
            NaiveTime{static_cast<std::uint32_t>(draw(rng, 5, 9) * 3600), 0},
            NaiveTime{static_cast<std::uint32_t>(draw(rng, 15, 20) * 3600), 0});
    StopClasses classes;
    if (shape.optional) {
        classes.resize(n);
        for (std::size_t k = 1; k < n; ++k)
            if (draw(rng, 0, 1)) classes[k] = static_cast<std::int32_t>(draw(rng, 1, 3));
    }
    std::optional<TimeScheduler> time;
    if (shape.time) time = std::move(scheduler);
    return tour_penalizer(DistanceMatrix{std::move(distances)}, std::move(time),
                          shape.ends.value_or(TourEnds{}), classes);
}

// Expects the evaluator, rebased on `current`, to decide every trial of every move as
// full evaluation does (stopping at the first difference); returns how many improve.
inline int expect_trials_decided_as_in_full(const Penalizer& penalizer, TrialEvaluator& evaluator,
                                            const Solution& current) {
    evaluator.rebase(current);
    const std::size_t n = current.route.size();
    std::array<Run, 3> runs;
    int improving = 0;
    for (const LocalMove& move : kLocalMoves) {
        for (std::size_t i = 0; i < n; ++i) {
            for (std::size_t j = i + move.gap + 1; j < n; ++j) {
                Route moved = current.route;
                move.apply(moved, i, j);
                const bool expected =
                    penalizer.can_start_tour(moved[0]) &&
                    penalizer.is_better(penalizer.penalize(moved, false), current);
                improving += expected;
                if (evaluator.improves(i, j, {runs.data(), move.runs(i, j, runs)}) != expected) {
                    ADD_FAILURE() << move.name << " at (" << i << ", " << j
                                  << ") decided otherwise";
                    return improving;
                }
            }
        }
    }
    return improving;
}

// The trials a descent accepted, in order, each with the route it made.
using Acceptances = std::vector<std::tuple<std::size_t, std::size_t, Route>>;

// Runs `descend` on a solver from `make` that decides trials incrementally and on one
// that evaluates every trial in full; expects both to accept the same trials, and
// returns them. A wrong decision can make a descent cycle: a trial budget ends it.
template <class Make, class Descend>
Acceptances expect_descents_agree(Make make, Descend descend) {
    Acceptances accepted[2];
    for (int full = 0; full < 2; ++full) {
        std::unique_ptr<Solver> solver = make();
        if (full) solver->use_full_evaluation();
        std::size_t trials = 0;
        solver->set_trial_observer([&, full](std::size_t i, std::size_t j, const Solution* taken) {
            if (++trials > 1'000'000) throw std::runtime_error("trial budget exhausted");
            if (taken) accepted[full].emplace_back(i, j, taken->route);
        });
        descend(*solver);
    }
    EXPECT_EQ(accepted[0], accepted[1]);
    return accepted[0];
}

// The same for Solver::solve without a time limit on `penalizer`.
inline Acceptances expect_solves_agree(const Penalizer& penalizer) {
    return expect_descents_agree([&] { return std::make_unique<Solver>(std::nullopt, penalizer); },
                                 [](Solver& solver) { solver.solve(); });
}

inline NaiveTime tod(unsigned hour, unsigned minute = 0, unsigned second = 0,
                     std::uint32_t ns = 0) {
    return NaiveTime{hour * 3600 + minute * 60 + second, ns};
}

// Schedule records as the simulations make them: work at a location, travel and waits at none.
inline ScheduleRecord work(std::size_t location, DateTime from, DateTime to) {
    return {RecordKind::Work, location, TimeWindow(from, to)};
}
inline ScheduleRecord travel(DateTime from, DateTime to) {
    return {RecordKind::Travel, 0, TimeWindow(from, to)};
}
inline ScheduleRecord wait(DateTime from, DateTime to) {
    return {RecordKind::Wait, 0, TimeWindow(from, to)};
}
// A break where the van waits at `location`, or kOnLeg while a leg pauses.
inline ScheduleRecord break_at(std::size_t location, DateTime from, DateTime to) {
    return {RecordKind::Break, location, TimeWindow(from, to)};
}

}  // namespace test_support

// GoogleTest finds these by argument-dependent lookup, so they must sit in the
// namespace of the types they print.
inline void PrintTo(const TimeDelta& d, std::ostream* os) {
    *os << "TimeDelta{" << d.secs << "s, " << d.nanos << "ns}";
}
inline void PrintTo(const NaiveTime& t, std::ostream* os) {
    *os << "NaiveTime{" << t.secs << "s, " << t.nanos << "ns}";
}
inline void PrintTo(const DateTime& t, std::ostream* os) {
    *os << "DateTime{" << test_support::format_instant(t) << "}";
}
inline void PrintTo(const ScheduleRecord& r, std::ostream* os) {
    constexpr const char* kKinds[] = {"Work", "Travel", "Wait", "Break"};
    *os << kKinds[static_cast<int>(r.kind)] << "(" << static_cast<std::int64_t>(r.location) << ") "
        << test_support::format_instant(r.window.start) << " -> "
        << test_support::format_instant(r.window.end);
}

}  // namespace tourwright
