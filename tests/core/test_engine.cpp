// The engine behind the friendly layer: a depot kept first with its late return
// counted (decided by the incremental path exactly as by full evaluation),
// seeded restarts that do not depend on the number of threads, and progress
// checks that end a search.
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <random>
#include <stdexcept>
#include <tuple>
#include <vector>

#include "engine/engine.hpp"
#include "evaluation/penalizer.hpp"
#include "search/solver.hpp"
#include "test_support.hpp"

namespace {

using namespace tourwright;
using namespace tourwright::test_support;

Penalizer depot_problem(std::size_t n, Rng& rng, bool plain = false) {
    return random_problem(n, rng, {.plain = plain, .depot = true});
}

TEST(EngineDepot, ALateReturnCountsAsLateness) {
    const DateTime day = *DateTime::from_civil(2026, 12, 7);
    TimeScheduler scheduler;
    scheduler.duration_matrix = {{TimeDelta::zero(), hours(1)}, {hours(1), TimeDelta::zero()}};
    scheduler.job_durations = {TimeDelta::zero(), hours(2)};
    scheduler.time_windows = {TimeWindows{{TimeWindow(day + hours(8), day + hours(10))}},
                              TimeWindows{{TimeWindow(day + hours(8), day + hours(18))}}};
    const auto lateness = [&](bool late_return_counts) {
        const Penalizer penalizer(DistanceMatrix{{{0, 1}, {1, 0}}}, scheduler, late_return_counts);
        return penalizer.penalize({0, 1}, false).time_report->lateness;
    };
    // Out at 08:00, work 09:00-11:00, back at 12:00: two hours after the depot closed.
    EXPECT_EQ(lateness(false), TimeDelta::zero());
    EXPECT_EQ(lateness(true), hours(2));
}

class EngineDepotAgreement : public ::testing::TestWithParam<std::tuple<std::size_t, bool>> {};

TEST_P(EngineDepotAgreement, DescentsKeepTheDepotAndDecideAsFullEvaluation) {
    const auto [n, plain] = GetParam();
    Rng rng(n * 31337 + plain);
    std::size_t taken = 0;
    for (int problem = 0; problem < 25; ++problem) {
        const auto penalizer = std::make_shared<const Penalizer>(depot_problem(n, rng, plain));
        Route start = identity_route(n);
        std::shuffle(start.begin() + 1, start.end(), rng);
        const Acceptances accepted = expect_descents_agree(
            [&] { return std::make_unique<Solver>(std::nullopt, penalizer, true); },
            [&](Solver& solver) {
                solver.clock().start();
                solver.descend_from(start);
                EXPECT_EQ(solver.current().route[0], 0u);
            });
        for (const auto& [i, j, route] : accepted) EXPECT_GE(i, 1u);
        taken += accepted.size();
    }
    EXPECT_GT(taken, 0u);
}

INSTANTIATE_TEST_SUITE_P(Sizes, EngineDepotAgreement,
                         ::testing::Combine(::testing::Values(3, 5, 8, 12), ::testing::Bool()));

TEST(EngineSeed, TheSameSeedAndDescentsGiveTheSameTourOnAnyNumberOfThreads) {
    Rng rng(99);
    const auto penalizer = std::make_shared<const Penalizer>(depot_problem(30, rng));
    EngineOptions options;
    options.strategy = Strategy::Multistart;
    options.depot = 0;
    options.seed = 2026;
    options.max_descents = 9;
    std::optional<Route> first;
    for (unsigned threads : {1u, 2u, 3u}) {
        options.threads = threads;
        const EngineResult result = run_engine(penalizer, options, nullptr);
        EXPECT_EQ(result.descents, 9u);
        EXPECT_EQ(result.best.route[0], 0u);
        ASSERT_TRUE(result.best.time_report.has_value());
        EXPECT_FALSE(result.best.time_report->schedule.empty());
        if (!first) first = result.best.route;
        EXPECT_EQ(result.best.route, *first) << threads << " threads";
    }
    // More descents never give a worse tour than the first one alone.
    options.threads = 1;
    options.max_descents = 1;
    const EngineResult alone = run_engine(penalizer, options, nullptr);
    options.max_descents = 9;
    const EngineResult more = run_engine(penalizer, options, nullptr);
    EXPECT_FALSE(penalizer->is_better(alone.best, more.best));
}

TEST(EngineSeed, TheIteratedSearchRepeatsItsTourForTheSameSeedCapAndThreads) {
    Rng rng(5);
    const auto penalizer = std::make_shared<const Penalizer>(depot_problem(30, rng));
    EngineOptions options;
    options.depot = 0;
    options.seed = 7;
    options.max_descents = 40;
    options.threads = 2;
    const EngineResult first = run_engine(penalizer, options, nullptr);
    const EngineResult again = run_engine(penalizer, options, nullptr);
    EXPECT_EQ(first.best.route, again.best.route);
    EXPECT_EQ(first.best.route[0], 0u);
    EXPECT_EQ(first.descents, 40u);
    const Solution full = penalizer->penalize(first.best.route, false);
    EXPECT_EQ(full.time_report->lateness, first.best.time_report->lateness);
    EXPECT_EQ(full.time_report->duration, first.best.time_report->duration);
}

TEST(EngineProgress, ACheckThatSaysStopEndsATimeLimitedSearch) {
    Rng rng(7);
    const auto penalizer = std::make_shared<const Penalizer>(depot_problem(40, rng));
    EngineOptions options;
    options.time_limit = TimeDelta::seconds(1000);
    options.threads = 2;
    std::uint64_t calls = 0;
    const EngineResult result = run_engine(penalizer, options, [&](const EngineProgress& progress) {
        EXPECT_GE(progress.descents, 1u);
        return ++calls < 3;
    });
    EXPECT_EQ(calls, 3u);
    EXPECT_GE(result.descents, 1u);
    EXPECT_LT(result.time_taken, TimeDelta::seconds(1000));
    EXPECT_EQ(penalizer->penalize(result.best.route, false).time_report->lateness,
              result.best.time_report->lateness);
}

}  // namespace
