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

// Location 0 is the depot, open for a few hours only, so that many tours come
// back late; the others have one or two windows and, sometimes, operating hours
// (one window and no hours when `plain`: the fast path's other branch).
Penalizer depot_problem(std::size_t n, Rng& rng, bool plain = false) {
    const DateTime day = *DateTime::from_civil(2026, 12, 7);
    std::vector<std::vector<std::uint64_t>> distances(n, std::vector<std::uint64_t>(n));
    TimeScheduler scheduler;
    for (std::size_t from = 0; from < n; ++from) {
        auto& row = scheduler.duration_matrix.emplace_back();
        for (std::size_t to = 0; to < n; ++to) {
            distances[from][to] = static_cast<std::uint64_t>(draw(rng, 0, 50));
            row.push_back(minutes(draw(rng, 0, 6) * 10));
        }
        scheduler.job_durations.push_back(minutes(draw(rng, 0, 3) * 15));
        TimeWindows& windows = scheduler.time_windows.emplace_back();
        std::int64_t at = from == 0 ? 480 : draw(rng, 480, 900);
        for (std::int64_t w = from == 0 || plain ? 1 : draw(rng, 1, 2); w > 0; --w) {
            const std::int64_t length = from == 0 ? draw(rng, 60, 300) : draw(rng, 0, 120);
            windows.windows.emplace_back(day + minutes(at), day + minutes(at + length));
            at += length + draw(rng, 1, 300);
        }
    }
    if (!plain && draw(rng, 0, 2) == 0)
        scheduler.operation_times.emplace(NaiveTime{7 * 3600, 0}, NaiveTime{19 * 3600, 0});
    return Penalizer(DistanceMatrix{std::move(distances)}, std::move(scheduler), true);
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
    int accepted = 0;
    for (int problem = 0; problem < 25; ++problem) {
        const auto penalizer = std::make_shared<const Penalizer>(depot_problem(n, rng, plain));
        Route start = identity_route(n);
        std::shuffle(start.begin() + 1, start.end(), rng);
        std::vector<std::tuple<std::size_t, std::size_t, Route>> traces[2];
        for (int full = 0; full < 2; ++full) {
            Solver solver(std::nullopt, penalizer, true);
            if (full) solver.use_full_evaluation();
            std::size_t trials = 0;
            solver.set_trial_observer([&, full](std::size_t i, std::size_t j, const Solution* taken) {
                // A wrong decision can make a descent cycle; end it as a failure instead.
                if (++trials > 1'000'000) throw std::runtime_error("trial budget exhausted");
                EXPECT_GE(i, 1u);
                if (taken) traces[full].emplace_back(i, j, taken->route);
            });
            solver.clock().start();
            solver.descend_from(start);
            EXPECT_EQ(solver.current().route[0], 0u);
        }
        EXPECT_EQ(traces[0], traces[1]) << "problem " << problem;
        accepted += static_cast<int>(traces[0].size());
    }
    EXPECT_GT(accepted, 0);
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
