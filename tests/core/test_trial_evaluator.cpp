// Incremental trial evaluation must take exactly the decisions of full
// evaluation: checked move by move on random problems, with and without time
// data, and over whole descents.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <numeric>
#include <optional>
#include <random>
#include <tuple>
#include <vector>

#include "search/local_moves.hpp"
#include "evaluation/penalizer.hpp"
#include "search/solver.hpp"
#include "test_support.hpp"
#include "evaluation/trial_evaluator.hpp"

namespace {

using namespace tourwright;
using namespace tourwright::test_support;
using Rows = std::vector<std::vector<std::uint64_t>>;
using Rng = std::mt19937_64;

std::uint64_t draw(Rng& rng, std::uint64_t low, std::uint64_t high) {
    return std::uniform_int_distribution<std::uint64_t>(low, high)(rng);
}

// Asymmetric distances; with `huge`, some legs near 2^63 push totals past 2^64.
Rows random_distances(std::size_t n, Rng& rng, bool huge) {
    Rows rows(n, std::vector<std::uint64_t>(n));
    for (auto& row : rows)
        for (auto& entry : row) entry = huge && draw(rng, 0, 4) == 0 ? (1ULL << 63) + draw(rng, 0, 9) : draw(rng, 0, 50);
    return rows;
}

// Windows over three days, zero-length and negative jobs and legs, locations without windows
// and, in some problems, operating hours.
TimeScheduler random_schedule(std::size_t n, Rng& rng) {
    const DateTime day = *DateTime::from_civil(2026, 12, 7);
    TimeScheduler scheduler;
    for (std::size_t from = 0; from < n; ++from) {
        auto& row = scheduler.duration_matrix.emplace_back();
        // Now and then a negative length (an input of 2^63 or more): it takes no time.
        for (std::size_t to = 0; to < n; ++to)
            row.push_back(minutes(static_cast<std::int64_t>(draw(rng, 0, 3) * 20) - 30 * (draw(rng, 0, 9) == 0)));
        scheduler.job_durations.push_back(
            minutes(static_cast<std::int64_t>(draw(rng, 0, 4) * 15) - 30 * (draw(rng, 0, 9) == 0)));
        TimeWindows& windows = scheduler.time_windows.emplace_back();
        std::uint64_t at = draw(rng, 0, 600);
        for (std::uint64_t w = draw(rng, from == 0 ? 1 : 0, 3); w > 0; --w) {
            const std::uint64_t length = draw(rng, 0, 240);
            windows.windows.emplace_back(day + minutes(static_cast<std::int64_t>(at)),
                                         day + minutes(static_cast<std::int64_t>(at + length)));
            at += length + draw(rng, 1, 900);
        }
    }
    if (draw(rng, 0, 2) == 0)
        scheduler.operation_times.emplace(NaiveTime{static_cast<std::uint32_t>(draw(rng, 5, 9) * 3600), 0},
                                          NaiveTime{static_cast<std::uint32_t>(draw(rng, 15, 20) * 3600), 0});
    return scheduler;
}

Penalizer random_problem(std::size_t n, Rng& rng, bool with_time) {
    std::optional<TimeScheduler> time;
    if (with_time) time = random_schedule(n, rng);
    return Penalizer(DistanceMatrix{random_distances(n, rng, !with_time && draw(rng, 0, 1))},
                     std::move(time));
}

// A random route over all locations that can start a tour.
class TrialEvaluatorAgreement : public ::testing::TestWithParam<std::tuple<std::size_t, bool>> {};

TEST_P(TrialEvaluatorAgreement, EveryTrialIsDecidedAsFullEvaluationDecidesIt) {
    const auto [n, with_time] = GetParam();
    Rng rng(n * 7919 + with_time);
    int accepted = 0;
    for (int problem = 0; problem < 40; ++problem) {
        const Penalizer penalizer = random_problem(n, rng, with_time);
        auto evaluator = TrialEvaluator::for_problem(penalizer);
        ASSERT_TRUE(evaluator.has_value());
        const Solution current = penalizer.penalize(random_route(penalizer, rng), false);
        evaluator->rebase(current);
        std::array<tourwright::Run, 3> runs;
        for (const LocalMove& move : kLocalMoves) {
            for (std::size_t i = 0; i < n; ++i) {
                for (std::size_t j = i + move.gap + 1; j < n; ++j) {
                    Route moved = current.route;
                    move.apply(moved, i, j);
                    const bool expected = penalizer.can_start_tour(moved[0]) &&
                                          penalizer.is_better(penalizer.penalize(moved, false), current);
                    accepted += expected;
                    ASSERT_EQ(evaluator->improves(i, j, {runs.data(), move.runs(i, j, runs)}), expected)
                        << move.name << " at (" << i << ", " << j << "), problem " << problem;
                }
            }
        }
    }
    if (n > 2) {
        EXPECT_GT(accepted, 0) << "the random problems never exercised an acceptance";
    }
}

TEST_P(TrialEvaluatorAgreement, DescentsAcceptTheSameTrialsEitherWay) {
    const auto [n, with_time] = GetParam();
    Rng rng(n * 104729 + with_time);
    for (int problem = 0; problem < 15; ++problem) {
        const Penalizer penalizer = random_problem(n, rng, with_time);
        std::vector<std::tuple<std::size_t, std::size_t, Route>> traces[2];
        Route results[2];
        for (int full = 0; full < 2; ++full) {
            Solver solver(std::nullopt, penalizer);
            if (full) solver.use_full_evaluation();
            solver.set_trial_observer([&, full](std::size_t i, std::size_t j, const Solution* accepted) {
                if (accepted) traces[full].emplace_back(i, j, accepted->route);
            });
            solver.solve();
            results[full] = solver.best().route;
        }
        EXPECT_EQ(traces[0], traces[1]);
        EXPECT_EQ(results[0], results[1]);
    }
}

INSTANTIATE_TEST_SUITE_P(Sizes, TrialEvaluatorAgreement,
                         ::testing::Combine(::testing::Values(2, 3, 5, 8, 11), ::testing::Bool()));

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
        return TrialEvaluator::for_problem(Penalizer(DistanceMatrix{std::move(rows)}, std::move(time)))
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
