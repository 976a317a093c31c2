// The time data compiled to plain seconds must reach exactly the instants and
// lateness of the calendar simulation, action by action, and the trial evaluator
// built on it must decide every trial as full evaluation does, on problems chosen
// to stress its shortcuts.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <numeric>
#include <optional>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "search/local_moves.hpp"
#include "evaluation/penalizer.hpp"
#include "evaluation/seconds_schedule.hpp"
#include "search/solver.hpp"
#include "test_support.hpp"
#include "evaluation/trial_evaluator.hpp"

namespace {

using namespace tourwright;
using namespace tourwright::test_support;

const std::int64_t kDay0 = DateTime::from_civil(2026, 12, 7)->unix_seconds();
DateTime instant(std::int64_t seconds) { return *DateTime::from_unix(kDay0 + seconds); }

// Ascending windows with gaps, some of them hours and some months long; now and
// then touching, overlapping or out of order, which the simulation must follow
// just the same.
TimeWindows random_windows(Rng& rng, std::int64_t count, bool orderly) {
    TimeWindows windows;
    std::int64_t at = draw(rng, 0, 86400);
    for (std::int64_t w = 0; w < count; ++w) {
        const std::int64_t kind = draw(rng, 0, 3);
        const std::int64_t length = kind == 0 ? 0 : kind == 1 ? draw(rng, 60, 400 * 86400) : draw(rng, 60, 30000);
        windows.windows.emplace_back(instant(at), instant(at + length));
        at += length + (orderly ? draw(rng, 1, 90000) : draw(rng, -20000, 20000));
    }
    if (!orderly && count > 1 && draw(rng, 0, 1))
        std::swap(windows.windows.front(), windows.windows.back());
    return windows;
}

// Operating hours: none, ordinary days, a few seconds a day or nearly the whole day.
std::optional<OperationTimes> random_hours(Rng& rng) {
    switch (draw(rng, 0, 3)) {
        case 0: return std::nullopt;
        case 1: {
            const auto opening = static_cast<std::uint32_t>(draw(rng, 0, 12 * 3600));
            return OperationTimes({opening, 0}, {opening + static_cast<std::uint32_t>(draw(rng, 3600, 12 * 3600)), 0});
        }
        case 2: {
            const auto opening = static_cast<std::uint32_t>(draw(rng, 0, 86000));
            return OperationTimes({opening, 0}, {opening + static_cast<std::uint32_t>(draw(rng, 1, 60)), 0});
        }
        default: return OperationTimes({0, 0}, {static_cast<std::uint32_t>(draw(rng, 86000, 86399)), 0});
    }
}

std::int64_t opening_seconds(const std::optional<OperationTimes>& hours) {
    return hours ? std::int64_t{hours->daily_end.secs} - hours->daily_start.secs : 86400;
}

// Negative, zero, short and long lengths; long ones span up to `days` of the days'
// openings, so that the calendar simulation, a step per day, still finishes quickly.
std::int64_t random_length(Rng& rng, std::int64_t open, std::int64_t days = 3000) {
    switch (draw(rng, 0, 4)) {
        case 0: return -draw(rng, 1, 5000);
        case 1: return 0;
        case 2: return draw(rng, 1, 4 * 3600);
        default: return draw(rng, 1, open * days);
    }
}

TEST(SecondsSchedule, EveryActionEndsAndIsLateAsInTheCalendarSimulation) {
    Rng rng(20261208);
    for (int trial = 0; trial < 6000; ++trial) {
        const bool orderly = draw(rng, 0, 4) > 0;
        TimeScheduler scheduler;
        scheduler.time_windows.push_back(random_windows(rng, draw(rng, 0, 5), orderly));
        scheduler.operation_times = random_hours(rng);
        const std::int64_t open = opening_seconds(scheduler.operation_times);
        scheduler.job_durations.push_back(seconds(random_length(rng, open)));
        scheduler.duration_matrix.push_back({seconds(random_length(rng, open))});
        const auto compiled = SecondsSchedule::compile(scheduler, 1);
        ASSERT_TRUE(compiled.has_value());
        const OperationTimes* hours = scheduler.operation_times ? &*scheduler.operation_times : nullptr;
        const DateTime start = instant(draw(rng, -86400, 6 * 86400));
        for (const bool work : {true, false}) {
            TimeReport expected = TimeReport::starting_at(start);
            SecondsClock clock{start.unix_seconds(), 0};
            if (work) {
                continue_with_action(expected, scheduler.job_durations[0], &scheduler.time_windows[0], hours,
                                     ActionKind::Work, 0, false);
                compiled->work(clock, 0);
            } else {
                continue_with_action(expected, scheduler.duration_matrix[0][0], nullptr, hours,
                                     ActionKind::Travel, std::nullopt, false);
                compiled->travel(clock, 0, 0);
            }
            ASSERT_EQ(clock.at, expected.end_time.unix_seconds())
                << (work ? "work" : "travel") << ", case " << trial;
            ASSERT_EQ(clock.lateness, expected.lateness.secs) << (work ? "work" : "travel") << ", case " << trial;
        }
    }
}

// Whole days are skipped, not stepped through: an action over about 27,000 years
// of one-second openings ends where counting gives.
TEST(SecondsSchedule, LongActionEndsWhereCountingTheOpeningsGives) {
    TimeScheduler scheduler;
    scheduler.time_windows.push_back(TimeWindows{{TimeWindow(instant(0), instant(0))}});
    scheduler.operation_times = OperationTimes({36000, 0}, {36001, 0});
    constexpr std::int64_t kLength = 10'000'000;
    scheduler.job_durations.push_back(seconds(kLength));
    scheduler.duration_matrix.push_back({seconds(kLength)});
    const auto compiled = SecondsSchedule::compile(scheduler, 1);
    ASSERT_TRUE(compiled.has_value());
    const std::int64_t last_second = 36000 + (kLength - 1) * 86400;  // the opening that finishes it
    SecondsClock clock{kDay0, 0};
    compiled->work(clock, 0);
    EXPECT_EQ(clock.at, kDay0 + last_second + 1);
    EXPECT_EQ(clock.lateness, last_second + 1);
    compiled->travel(clock, 0, 0);
    EXPECT_EQ(clock.at, kDay0 + last_second + 1 + kLength * 86400);
}

// Legs are kept in 32 bits only where every one fits: one too long for that keeps
// its length, and so does a short one beside it.
TEST(SecondsSchedule, LegsTooLongForThirtyTwoBitsKeepTheirLength) {
    constexpr std::int64_t kLong = std::int64_t{3} << 31;
    for (const std::int64_t longest : {std::int64_t{86400}, kLong}) {
        TimeScheduler scheduler;
        for (int k = 0; k < 2; ++k) {
            scheduler.time_windows.push_back(TimeWindows{{TimeWindow(instant(0), instant(0))}});
            scheduler.job_durations.push_back(seconds(0));
        }
        scheduler.duration_matrix = {{seconds(0), seconds(longest)}, {seconds(7), seconds(0)}};
        const auto compiled = SecondsSchedule::compile(scheduler, 2);
        ASSERT_TRUE(compiled.has_value());
        EXPECT_EQ(compiled->travel_seconds(0, 1), longest);
        EXPECT_EQ(compiled->travel_seconds(1, 0), 7);
        SecondsClock clock{kDay0, 0};
        compiled->travel(clock, 0, 1);
        EXPECT_EQ(clock.at, kDay0 + longest);
    }
}

// Problem families that stress the trial evaluator's shortcuts.
enum class Family {
    OnTime,          // one window per location along a feasible tour: summaries and bounds decide
    ManyWindows,     // several windows with gaps, jobs shorter and longer than the gaps
    HoursAndNights,  // operating hours, long jobs and legs across nights
    LateEverywhere,  // windows that every tour misses
    ShortLastRow,    // the last rows lack their diagonal entries, which no tour uses
};

struct FamilyCase {
    const char* name;
    Family family;
    std::size_t n;
};

[[maybe_unused]] void PrintTo(const FamilyCase& c, std::ostream* os) { *os << c.name << "_" << c.n; }

Penalizer family_problem(const FamilyCase& c, Rng& rng) {
    const std::size_t n = c.n;
    std::vector<std::vector<std::uint64_t>> distances(n, std::vector<std::uint64_t>(n));
    TimeScheduler scheduler;
    scheduler.duration_matrix.assign(n, std::vector<TimeDelta>(n));
    for (std::size_t a = 0; a < n; ++a) {
        for (std::size_t b = 0; b < n; ++b) {
            const std::int64_t leg = draw(rng, 0, 5) == 0 ? -draw(rng, 1, 600) : draw(rng, 0, 3600);
            distances[a][b] = static_cast<std::uint64_t>(std::max<std::int64_t>(leg, 0) / 10);
            scheduler.duration_matrix[a][b] = seconds(leg);
        }
    }
    if (c.family == Family::HoursAndNights) scheduler.operation_times = random_hours(rng);
    const std::int64_t open = opening_seconds(scheduler.operation_times);
    std::vector<std::size_t> order(n);
    std::iota(order.begin(), order.end(), std::size_t{0});
    std::shuffle(order.begin(), order.end(), rng);
    scheduler.job_durations.assign(n, TimeDelta::zero());
    scheduler.time_windows.assign(n, TimeWindows{});
    std::int64_t clock = 0;
    for (std::size_t k = 0; k < n; ++k) {
        const std::size_t at = order[k];
        std::int64_t job = draw(rng, 0, 1800);
        TimeWindows& windows = scheduler.time_windows[at];
        switch (c.family) {
            case Family::OnTime:
            case Family::ShortLastRow: {
                const std::int64_t width = draw(rng, 0, 7200);
                const std::int64_t opening = clock - draw(rng, -600, width);
                windows.windows.emplace_back(instant(opening), instant(opening + width));
                clock = std::max(clock, opening) + job;
                break;
            }
            case Family::ManyWindows:
                job = draw(rng, 0, 2) == 0 ? -draw(rng, 1, 600) : draw(rng, 0, 20000);
                windows = random_windows(rng, draw(rng, at == order[0] ? 1 : 0, 4), true);
                break;
            case Family::HoursAndNights:
                job = random_length(rng, open, 20);
                windows = random_windows(rng, draw(rng, 1, 3), draw(rng, 0, 5) > 0);
                break;
            case Family::LateEverywhere:
                windows.windows.emplace_back(instant(-draw(rng, 3600, 86400)), instant(-draw(rng, 0, 3599)));
                break;
        }
        scheduler.job_durations[at] = seconds(job);
        if (k + 1 < n) clock += std::max<std::int64_t>(scheduler.duration_matrix[at][order[k + 1]].secs, 0);
    }
    if (c.family == Family::ShortLastRow) {
        distances.back().pop_back();
        scheduler.duration_matrix.back().pop_back();
    }
    return Penalizer(DistanceMatrix{std::move(distances)}, std::move(scheduler));
}

// A route that improves on `route` as a descent would, so that trials are also
// checked against good current routes, not only random ones.
Route descended(const Penalizer& penalizer, Route route) {
    Solver solver(std::nullopt, penalizer, std::move(route));
    solver.solve();
    return solver.best().route;
}

class SecondsTrials : public ::testing::TestWithParam<FamilyCase> {};

TEST_P(SecondsTrials, EveryTrialIsDecidedAsFullEvaluationDecidesIt) {
    const FamilyCase& c = GetParam();
    Rng rng(c.n * 31 + static_cast<std::size_t>(c.family));
    TrialEvaluator::RuleCounts counts{};
    for (int problem = 0; problem < 25; ++problem) {
        const Penalizer penalizer = family_problem(c, rng);
        auto evaluator = TrialEvaluator::for_problem(penalizer);
        ASSERT_TRUE(evaluator.has_value());
        for (const bool good : {false, true}) {
            Route route = random_route(penalizer, rng);
            if (good) route = descended(penalizer, std::move(route));
            const Solution current = penalizer.penalize(std::move(route), false);
            evaluator->rebase(current);
            std::array<tourwright::Run, 3> runs;
            for (const LocalMove& move : kLocalMoves) {
                for (std::size_t i = 0; i < c.n; ++i) {
                    for (std::size_t j = i + move.gap + 1; j < c.n; ++j) {
                        Route moved = current.route;
                        move.apply(moved, i, j);
                        const bool expected = penalizer.can_start_tour(moved[0]) &&
                                              penalizer.is_better(penalizer.penalize(moved, false), current);
                        ASSERT_EQ(evaluator->improves(i, j, {runs.data(), move.runs(i, j, runs)}), expected)
                            << move.name << " at (" << i << ", " << j << "), problem " << problem;
                    }
                }
            }
        }
        for (std::size_t r = 0; r < counts.size(); ++r) counts[r] += evaluator->rule_counts()[r];
    }
    // The shortcuts must have been taken, or the agreement above proves little: the
    // summaries of plain problems, and where several windows or operating hours make
    // problems not plain, meeting clocks; the order bounds in both. Stretches of a
    // few locations are simulated, so tiny routes never reach the summaries.
    using Rule = TrialEvaluator::Rule;
    std::vector<Rule> taken;
    if (c.family == Family::OnTime && c.n > 10) taken = {Rule::Rejoined, Rule::OrderBound};
    if (c.family == Family::ManyWindows || c.family == Family::HoursAndNights)
        taken = {Rule::ClocksMeet, Rule::OrderBound};
    for (const Rule rule : taken)
        EXPECT_GT(counts[static_cast<std::size_t>(rule)], 0u) << "rule " << static_cast<int>(rule);
}

TEST_P(SecondsTrials, DescentsAcceptTheSameTrialsEitherWay) {
    const FamilyCase& c = GetParam();
    Rng rng(c.n * 131 + static_cast<std::size_t>(c.family));
    for (int problem = 0; problem < 8; ++problem) {
        const Penalizer penalizer = family_problem(c, rng);
        std::vector<std::tuple<std::size_t, std::size_t, Route>> traces[2];
        for (int full = 0; full < 2; ++full) {
            Solver solver(std::nullopt, penalizer);
            if (full) solver.use_full_evaluation();
            solver.set_trial_observer([&, full](std::size_t i, std::size_t j, const Solution* accepted) {
                if (accepted) traces[full].emplace_back(i, j, accepted->route);
            });
            solver.solve();
        }
        EXPECT_EQ(traces[0], traces[1]) << "problem " << problem;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Families, SecondsTrials,
    ::testing::Values(FamilyCase{"OnTime", Family::OnTime, 2}, FamilyCase{"OnTime", Family::OnTime, 3},
                      FamilyCase{"OnTime", Family::OnTime, 12}, FamilyCase{"OnTime", Family::OnTime, 30},
                      FamilyCase{"ManyWindows", Family::ManyWindows, 10},
                      FamilyCase{"HoursAndNights", Family::HoursAndNights, 9},
                      FamilyCase{"LateEverywhere", Family::LateEverywhere, 10},
                      FamilyCase{"ShortLastRow", Family::ShortLastRow, 11}),
    [](const auto& info) { return std::string(info.param.name) + "_" + std::to_string(info.param.n); });

}  // namespace
