// Trial distances from prefix sums must agree exactly with full evaluation, and
// the descent must take the same decisions either way.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <optional>
#include <random>
#include <tuple>
#include <vector>

#include "local_moves.hpp"
#include "penalizer.hpp"
#include "solver.hpp"

namespace {

using namespace tourwright;
using Rows = std::vector<std::vector<std::uint64_t>>;

// Random asymmetric distances; some problems mix in legs near 2^63 so that
// totals pass 2^64 and only exact sums compare correctly.
Rows random_rows(std::size_t n, std::mt19937_64& rng, bool huge) {
    std::uniform_int_distribution<std::uint64_t> small(0, 50);
    std::bernoulli_distribution rare(0.2);
    Rows rows(n, std::vector<std::uint64_t>(n));
    for (auto& row : rows)
        for (auto& entry : row) entry = huge && rare(rng) ? (1ULL << 63) + small(rng) : small(rng);
    return rows;
}

class IncrementalDistance : public ::testing::TestWithParam<std::tuple<std::size_t, bool>> {};

TEST_P(IncrementalDistance, EveryMoveAtEveryPairMatchesFullEvaluation) {
    const auto [n, huge] = GetParam();
    std::mt19937_64 rng(n * 7919 + huge);
    for (int problem = 0; problem < 20; ++problem) {
        const Penalizer penalizer(DistanceMatrix{random_rows(n, rng, huge)}, std::nullopt);
        Route route(n);
        for (std::size_t k = 0; k < n; ++k) route[k] = k;
        std::shuffle(route.begin(), route.end(), rng);
        RouteDistances distances;
        distances.reset(penalizer.distance_matrix(), route);
        ASSERT_EQ(distances.total(), penalizer.penalize(route, false).distance);
        std::array<tourwright::Run, 3> runs;
        for (const LocalMove& move : kLocalMoves) {
            for (std::size_t i = 0; i < n; ++i) {
                for (std::size_t j = i + move.gap + 1; j < n; ++j) {
                    Route moved = route;
                    move.apply(moved, i, j);
                    const std::size_t count = move.runs(i, j, runs);
                    ASSERT_EQ(distances.total_with(i, j, {runs.data(), count}),
                              penalizer.penalize(moved, false).distance)
                        << move.name << " at (" << i << ", " << j << ")";
                }
            }
        }
    }
}

TEST_P(IncrementalDistance, DescentTakesTheSameDecisionsAsFullEvaluation) {
    const auto [n, huge] = GetParam();
    std::mt19937_64 rng(n * 104729 + huge);
    for (int problem = 0; problem < 10; ++problem) {
        const Rows rows = random_rows(n, rng, huge);
        std::vector<std::tuple<std::size_t, std::size_t, Route>> trace[2];
        const Solution* results[2];
        std::optional<Solver> solvers[2];
        for (int full = 0; full < 2; ++full) {
            solvers[full].emplace(std::nullopt, Penalizer(DistanceMatrix{rows}, std::nullopt));
            if (full) solvers[full]->use_full_evaluation();
            solvers[full]->set_trial_observer([&, full](std::size_t i, std::size_t j, const Solution* accepted) {
                if (accepted) trace[full].emplace_back(i, j, accepted->route);
            });
            solvers[full]->solve();
            results[full] = &solvers[full]->best();
        }
        EXPECT_EQ(trace[0], trace[1]);
        EXPECT_EQ(results[0]->route, results[1]->route);
        EXPECT_TRUE(results[0]->distance == results[1]->distance);
    }
}

INSTANTIATE_TEST_SUITE_P(Sizes, IncrementalDistance,
                         ::testing::Combine(::testing::Values(2, 3, 5, 8, 13),
                                            ::testing::Bool()));

TEST(IncrementalDistanceUse, OnlyForDistanceOnlyProblemsWithCompleteRows) {
    EXPECT_TRUE(Penalizer(DistanceMatrix{{{0, 1}, {1, 0, 5}}}, std::nullopt)
                    .judges_by_complete_distances());
    // A short row could fail a lookup, which full evaluation must report.
    EXPECT_FALSE(Penalizer(DistanceMatrix{{{0, 1}, {1}}}, std::nullopt)
                     .judges_by_complete_distances());
    EXPECT_FALSE(Penalizer(DistanceMatrix{{{0}}}, TimeScheduler{}).judges_by_complete_distances());
}

}  // namespace
