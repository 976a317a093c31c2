// Incremental trial evaluation must take exactly the decisions of full
// evaluation: checked move by move and over whole descents, on random problems with
// and without time data, and on problem families chosen to stress its shortcuts,
// which the counts of the rules that settled trials show were taken.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <numeric>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "evaluation/penalizer.hpp"
#include "evaluation/trial_evaluator.hpp"
#include "search/solver.hpp"
#include "test_support.hpp"

namespace {

using namespace tourwright;
using namespace tourwright::test_support;
using Rows = std::vector<std::vector<std::uint64_t>>;

class TrialEvaluatorAgreement : public ::testing::TestWithParam<std::tuple<std::size_t, bool>> {};

TEST_P(TrialEvaluatorAgreement, EveryTrialIsDecidedAsFullEvaluationDecidesIt) {
    const auto [n, time] = GetParam();
    Rng rng(n * 7919 + time);
    int improving = 0;
    for (int problem = 0; problem < 40; ++problem) {
        const ProblemShape shape{.time = time, .huge_distances = !time && draw(rng, 0, 1)};
        const Penalizer penalizer = random_problem(n, rng, shape);
        auto evaluator = TrialEvaluator::for_problem(penalizer);
        ASSERT_TRUE(evaluator.has_value());
        const Solution current = penalizer.penalize(random_route(penalizer, rng), false);
        improving += expect_trials_decided_as_in_full(penalizer, *evaluator, current);
        if (HasFailure()) return;
    }
    if (n > 2) {
        EXPECT_GT(improving, 0) << "the random problems never exercised an acceptance";
    }
}

TEST_P(TrialEvaluatorAgreement, DescentsAcceptTheSameTrialsEitherWay) {
    const auto [n, time] = GetParam();
    Rng rng(n * 104729 + time);
    for (int problem = 0; problem < 15; ++problem)
        expect_solves_agree(
            random_problem(n, rng, {.time = time, .huge_distances = !time && draw(rng, 0, 1)}));
}

INSTANTIATE_TEST_SUITE_P(Sizes, TrialEvaluatorAgreement,
                         ::testing::Combine(::testing::Values(2, 3, 5, 8, 11), ::testing::Bool()));

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

[[maybe_unused]] void PrintTo(const FamilyCase& c, std::ostream* os) {
    *os << c.name << "_" << c.n;
}

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
                windows.windows.emplace_back(instant(-draw(rng, 3600, 86400)),
                                             instant(-draw(rng, 0, 3599)));
                break;
        }
        scheduler.job_durations[at] = seconds(job);
        if (k + 1 < n)
            clock += std::max<std::int64_t>(scheduler.duration_matrix[at][order[k + 1]].secs, 0);
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
            expect_trials_decided_as_in_full(penalizer, *evaluator, current);
            if (HasFailure()) return;
        }
        for (std::size_t r = 0; r < counts.size(); ++r) counts[r] += evaluator->rule_counts()[r];
    }
    // The shortcuts must have been taken, or the agreement above proves little: the
    // summaries of single-window problems, and where several windows or operating hours make
    // problems not single-window, meeting clocks; the order bounds in both. Stretches of a
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
    for (int problem = 0; problem < 8; ++problem) expect_solves_agree(family_problem(c, rng));
}

INSTANTIATE_TEST_SUITE_P(Families, SecondsTrials,
                         ::testing::Values(FamilyCase{"OnTime", Family::OnTime, 2},
                                           FamilyCase{"OnTime", Family::OnTime, 3},
                                           FamilyCase{"OnTime", Family::OnTime, 12},
                                           FamilyCase{"OnTime", Family::OnTime, 30},
                                           FamilyCase{"ManyWindows", Family::ManyWindows, 10},
                                           FamilyCase{"HoursAndNights", Family::HoursAndNights, 9},
                                           FamilyCase{"LateEverywhere", Family::LateEverywhere, 10},
                                           FamilyCase{"ShortLastRow", Family::ShortLastRow, 11}),
                         [](const auto& info) {
                             return std::string(info.param.name) + "_" +
                                    std::to_string(info.param.n);
                         });

// The working week: calendars, breaks and windows that bind only the start, alone and
// together, each with the rules that must settle some of its trials.
struct WeekCase {
    const char* name;
    ProblemShape shape;
    std::size_t n;
    std::vector<TrialEvaluator::Rule> taken;
};

[[maybe_unused]] void PrintTo(const WeekCase& c, std::ostream* os) { *os << c.name; }

class WeekTrials : public ::testing::TestWithParam<WeekCase> {};

TEST_P(WeekTrials, EveryTrialIsDecidedAsFullEvaluationDecidesIt) {
    const WeekCase& c = GetParam();
    Rng rng(c.n * 977 + std::string(c.name).size());
    TrialEvaluator::RuleCounts counts{};
    for (int problem = 0; problem < 25; ++problem) {
        const Penalizer penalizer = random_problem(c.n, rng, c.shape);
        auto evaluator = TrialEvaluator::for_problem(penalizer);
        ASSERT_TRUE(evaluator.has_value());
        for (const bool good : {false, true}) {
            Route route = random_route(penalizer, rng);
            if (good) route = descended(penalizer, std::move(route));
            expect_trials_decided_as_in_full(penalizer, *evaluator,
                                             penalizer.penalize(std::move(route), false));
            if (HasFailure()) return;
        }
        for (std::size_t r = 0; r < counts.size(); ++r) counts[r] += evaluator->rule_counts()[r];
    }
    for (const TrialEvaluator::Rule rule : c.taken)
        EXPECT_GT(counts[static_cast<std::size_t>(rule)], 0u) << "rule " << static_cast<int>(rule);
}

TEST_P(WeekTrials, DescentsAcceptTheSameTrialsEitherWay) {
    const WeekCase& c = GetParam();
    Rng rng(c.n * 389 + std::string(c.name).size());
    for (int problem = 0; problem < 8; ++problem)
        expect_solves_agree(random_problem(c.n, rng, c.shape));
}

using Rule = TrialEvaluator::Rule;
using Starts = ProblemShape::Starts;
INSTANTIATE_TEST_SUITE_P(
    Shapes, WeekTrials,
    ::testing::Values(
        // A start bound by one window is the whole rule with a later closing: the summaries.
        WeekCase{"StartsSingleWindow",
                 {.single_window = true, .starts = Starts::All},
                 14,
                 {Rule::BeforeStretch, Rule::InStretch, Rule::SuffixLost, Rule::Rejoined,
                  Rule::OrderBound, Rule::Simulated}},
        WeekCase{"CalendarStarts",
                 {.calendar = true, .starts = Starts::All},
                 9,
                 {Rule::ClocksMeet, Rule::OrderBound, Rule::InStretch}},
        WeekCase{"CalendarSomeStarts",
                 {.calendar = true, .starts = Starts::Some},
                 8,
                 {Rule::ClocksMeet, Rule::SuffixLost, Rule::Simulated}},
        WeekCase{"CalendarBreaks",
                 {.calendar = true, .breaks = true},
                 8,
                 {Rule::ClocksMeet, Rule::InStretch, Rule::Simulated}},
        WeekCase{"DailyHoursBreaksStarts",
                 {.hours = true, .breaks = true, .starts = Starts::Some},
                 8,
                 {Rule::ClocksMeet, Rule::SuffixLost}},
        WeekCase{"BreaksOnly", {.breaks = true, .starts = Starts::Some}, 7, {Rule::ClocksMeet}},
        WeekCase{"CalendarBreaksStartsTiny",
                 {.calendar = true, .breaks = true, .starts = Starts::All},
                 3,
                 {}}),
    [](const auto& info) { return std::string(info.param.name); });

TimeScheduler one_window_each(std::size_t n, DateTime start) {
    TimeScheduler scheduler;
    scheduler.duration_matrix.assign(n, std::vector<TimeDelta>(n, TimeDelta::seconds(60)));
    scheduler.job_durations.assign(n, TimeDelta::seconds(60));
    scheduler.time_windows.assign(n, TimeWindows{{TimeWindow(start, start)}});
    return scheduler;
}

// Where a lookup could fail or time arithmetic overflow, only full evaluation
// reports it as it must, so the incremental path stands aside.
TEST(TrialEvaluatorAvailability, OnlyWhereNoTrialCanFail) {
    const Rows square{{0, 1}, {1, 0}};
    const DateTime day = *DateTime::from_civil(2026, 12, 7);
    auto available = [](Rows rows, std::optional<TimeScheduler> time) {
        return TrialEvaluator::for_problem(
                   Penalizer(DistanceMatrix{std::move(rows)}, std::move(time)))
            .has_value();
    };
    EXPECT_TRUE(available(square, std::nullopt));
    EXPECT_TRUE(available({{0, 1, 9}, {1, 0}}, std::nullopt));
    EXPECT_FALSE(available({{0}, {1, 0}}, std::nullopt));
    // A diagonal entry is looked up only by a tour of one location.
    EXPECT_TRUE(available({{0, 1}, {1}}, std::nullopt));
    EXPECT_FALSE(available({{}}, std::nullopt));
    EXPECT_TRUE(available(square, one_window_each(2, day)));

    TimeScheduler short_jobs = one_window_each(2, day);
    short_jobs.job_durations.pop_back();
    EXPECT_FALSE(available(square, short_jobs));
    TimeScheduler short_row = one_window_each(2, day);
    short_row.duration_matrix[0].pop_back();
    EXPECT_FALSE(available(square, short_row));
    TimeScheduler no_last_diagonal = one_window_each(2, day);
    no_last_diagonal.duration_matrix[1].pop_back();
    EXPECT_TRUE(available({{0, 1}, {1}}, no_last_diagonal));
    TimeScheduler fractional = one_window_each(2, day);
    fractional.job_durations[1] = TimeDelta{60, 500};
    EXPECT_FALSE(available(square, fractional));
    TimeScheduler no_windows = one_window_each(2, day);
    for (auto& windows : no_windows.time_windows) windows.windows.clear();
    EXPECT_FALSE(available(square, no_windows));
    TimeScheduler near_the_end = one_window_each(2, *DateTime::from_civil(262142, 12, 31, 12));
    EXPECT_FALSE(available(square, near_the_end));
    TimeScheduler long_jobs = one_window_each(2, day);
    long_jobs.job_durations.assign(2, TimeDelta::seconds(TimeDelta::kMaxSeconds / 2));
    EXPECT_FALSE(available(square, long_jobs));
}

// The basis is made once per problem, shared by every copy of the penalizer; a stop
// asked while it is made leaves nothing behind, and the next call makes it whole.
TEST(TrialEvaluatorAvailability, TheBasisIsMadeOnceAndAStopLeavesItUnmade) {
    const std::size_t n = 50;
    const Penalizer penalizer(DistanceMatrix{Rows(n, std::vector<std::uint64_t>(n, 1))},
                              one_window_each(n, *DateTime::from_civil(2026, 12, 7)));
    const Penalizer copy = penalizer;
    std::size_t asked = 0;
    EXPECT_EQ(TrialEvaluator::basis(penalizer, [&] { return ++asked == 10; }), nullptr);
    EXPECT_EQ(asked, 10u);
    const auto made = TrialEvaluator::basis(copy, [&] { return ++asked == 0; });
    ASSERT_NE(made, nullptr);
    EXPECT_GE(asked, 10 + n);
    EXPECT_TRUE(made->allowed);
    EXPECT_NE(made->schedule, nullptr);
    EXPECT_EQ(TrialEvaluator::basis(penalizer, [] { return true; }), made);
}

}  // namespace

namespace {

// A supplied route shorter than the problem is not what the incremental path
// assumes; searched in full, its first move beyond its end fails its check.
TEST(TrialEvaluatorAvailability, SuppliedRouteThatIsNoPermutationIsSearchedInFull) {
    const Rows rows{{0, 9, 1, 3}, {2, 0, 8, 1}, {7, 3, 0, 5}, {1, 6, 2, 0}};
    Solver solver(std::nullopt, Penalizer(DistanceMatrix{rows}, std::nullopt), Route{0, 1, 2});
    try {
        solver.solve();
        ADD_FAILURE() << "a move past the end of the route was not refused";
    } catch (const Panic& failure) {
        EXPECT_EQ(failure.message(), "assertion failed: i < j && j < route.len()");
    }
}

}  // namespace
