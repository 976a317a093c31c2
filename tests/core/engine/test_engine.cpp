// The engine behind the friendly layer: a start kept first with its late return
// counted, or an end kept last, or an open end (decided by the incremental path
// exactly as by full evaluation), the latest departure, seeded restarts that do not depend on the
// number of threads, and progress checks that end a search.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <optional>
#include <random>
#include <stdexcept>
#include <tuple>
#include <vector>

#include "engine/departure.hpp"
#include "engine/engine.hpp"
#include "evaluation/penalizer.hpp"
#include "search/iterated_search.hpp"
#include "search/solver.hpp"
#include "test_support.hpp"

namespace {

using namespace tourwright;
using namespace tourwright::test_support;

Penalizer depot_problem(std::size_t n, Rng& rng, bool single_window = false,
                        TourEnds ends = {0, std::nullopt, false}) {
    return random_problem(n, rng, {.single_window = single_window, .ends = ends});
}

enum class EndKind { Return, Fixed, Open };

TourEnds ends_of(EndKind kind, std::size_t n) {
    if (kind == EndKind::Fixed) return {0, n - 1, false};
    return {0, std::nullopt, kind == EndKind::Open};
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

class EngineEndsAgreement
    : public ::testing::TestWithParam<std::tuple<std::size_t, bool, EndKind>> {};

TEST_P(EngineEndsAgreement, DescentsKeepTheEndsAndDecideAsFullEvaluation) {
    const auto [n, single_window, kind] = GetParam();
    Rng rng(n * 31337 + single_window + 7 * static_cast<int>(kind));
    const TourEnds ends = ends_of(kind, n);
    const std::size_t stop = n - (ends.keeps_last() ? 1 : 0);
    std::size_t taken = 0;
    for (int problem = 0; problem < 25; ++problem) {
        const auto penalizer =
            std::make_shared<const Penalizer>(depot_problem(n, rng, single_window, ends));
        Route start = identity_route(n);
        std::shuffle(start.begin() + 1, start.begin() + static_cast<std::ptrdiff_t>(stop), rng);
        const Acceptances accepted = expect_descents_agree(
            [&] {
                return std::make_unique<Solver>(std::nullopt, penalizer, true, ends.keeps_last());
            },
            [&](Solver& solver) {
                solver.clock().start();
                solver.descend_from(start);
                EXPECT_EQ(solver.current().route[0], 0u);
                if (ends.keeps_last()) {
                    EXPECT_EQ(solver.current().route.back(), start.back());
                }
            });
        for (const auto& [i, j, route] : accepted) {
            EXPECT_GE(i, 1u);
            EXPECT_LT(j, stop);
        }
        taken += accepted.size();
    }
    EXPECT_TRUE(stop <= 2 || taken > 0);  // with stop <= 2 nothing can move
}

INSTANTIATE_TEST_SUITE_P(Sizes, EngineEndsAgreement,
                         ::testing::Combine(::testing::Values(3, 5, 8, 12), ::testing::Bool(),
                                            ::testing::Values(EndKind::Return, EndKind::Fixed,
                                                              EndKind::Open)));

// Kicks and restarts keep the ends too, and a tour that does not return counts only
// the legs it drives: no closing leg, no wait for it, its end the last job's.
TEST(EngineEnds, SearchesKeepThemAndCountOnlyTheLegsDriven) {
    for (EndKind kind : {EndKind::Fixed, EndKind::Open}) {
        for (Strategy strategy : {Strategy::Iterated, Strategy::Multistart}) {
            Rng rng(3 + static_cast<int>(kind));
            const std::size_t n = 14;
            EngineOptions options;
            options.ends = ends_of(kind, n);
            options.strategy = strategy;
            options.seed = 11;
            options.max_descents = 60;
            const auto penalizer =
                std::make_shared<const Penalizer>(depot_problem(n, rng, false, options.ends));
            Rng same(3 + static_cast<int>(kind));
            const Penalizer closed = depot_problem(n, same, false, {0, std::nullopt, false});
            const EngineResult result = run_engine(penalizer, options, nullptr);
            const Route& route = result.best.route;
            EXPECT_EQ(route[0], 0u);
            if (kind == EndKind::Fixed) {
                EXPECT_EQ(route.back(), n - 1);
            }
            Distance driven = 0;
            TimeDelta travel;
            for (std::size_t k = 0; k + 1 < n; ++k) {
                driven += closed.distance_matrix().distance(route[k], route[k + 1]);
                travel +=
                    at_least_zero(closed.time_scheduler()->travel_duration(route[k], route[k + 1]));
            }
            const TimeReport& report = *result.best.time_report;
            EXPECT_EQ(result.best.distance, driven);
            EXPECT_EQ(report.traveling_time, travel);
            EXPECT_EQ(report.schedule.back().kind, RecordKind::Work);
            EXPECT_EQ(report.schedule.back().window.end, report.end_time);
            EXPECT_EQ(report.duration, report.end_time - report.start_time);
        }
    }
}

// Brute force over every departure second within the first window: the one found
// keeps lateness and end, and every later one changes one of them.
TEST(EngineDeparture, TheLatestDepartureKeepsLatenessAndEndAndNoLaterOneDoes) {
    Rng rng(17);
    int delayed = 0;
    for (int problem = 0; problem < 30; ++problem) {
        const std::size_t n = 3 + static_cast<std::size_t>(problem % 4);
        const Penalizer penalizer =
            depot_problem(n, rng, problem % 2 == 0, ends_of(EndKind(problem % 3), n));
        Route route = identity_route(n);
        std::shuffle(route.begin() + 1, route.end() - 1, rng);
        const TimeReport earliest = *penalizer.penalize(route, false).time_report;
        const TimeWindow& window = penalizer.time_scheduler()->time_windows[0].windows[0];
        const DateTime found = *latest_departure(penalizer, route);
        for (DateTime t = window.start; t <= window.end; t = t + TimeDelta::seconds(1)) {
            const TimeReport report = *penalizer.penalize(route, false, t).time_report;
            const bool keeps =
                report.lateness == earliest.lateness && report.end_time == earliest.end_time;
            EXPECT_EQ(keeps, t <= found) << "problem " << problem;
            if (!keeps) break;
        }
        delayed += found > window.start;
    }
    EXPECT_GT(delayed, 5);
}

// Breaks end the order the bisection relies on; what it returns must still keep both.
TEST(EngineDeparture, WithBreaksTheDepartureFoundStillKeepsLatenessAndEnd) {
    Rng rng(23);
    for (int problem = 0; problem < 30; ++problem) {
        const std::size_t n = 3 + static_cast<std::size_t>(problem % 4);
        const Penalizer plain = depot_problem(n, rng, problem % 2 == 0);
        TimeScheduler scheduler = *plain.time_scheduler();
        const DateTime opening = scheduler.time_windows[0].windows[0].start;
        const DateTime earliest = opening + TimeDelta::seconds(draw(rng, 0, 4 * 3600));
        scheduler.breaks = {{minutes(30), earliest, earliest + hours(1)}};
        const Penalizer penalizer(plain.distance_matrix(), scheduler);
        const Route route = identity_route(n);
        const TimeReport first = *penalizer.penalize(route, false).time_report;
        const DateTime found = *latest_departure(penalizer, route);
        const TimeReport report = *penalizer.penalize(route, false, found).time_report;
        EXPECT_EQ(report.lateness, first.lateness) << "problem " << problem;
        EXPECT_EQ(report.end_time, first.end_time) << "problem " << problem;
    }
}

TEST(EngineSeed, TheSameSeedAndDescentsGiveTheSameTourOnAnyNumberOfThreads) {
    Rng rng(99);
    const auto penalizer = std::make_shared<const Penalizer>(depot_problem(30, rng));
    EngineOptions options;
    options.strategy = Strategy::Multistart;
    options.ends.start = 0;
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
    options.ends.start = 0;
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

// The logical searches decide the tour, not the OS threads; 512 keep a limit.
TEST(EngineSeed, TheIteratedSearchGivesTheSameTourOnAnyNumberOfWorkers) {
    Rng rng(11);
    const auto penalizer = std::make_shared<const Penalizer>(depot_problem(60, rng));
    EngineOptions options;
    options.max_descents = 30;
    options.ends.start = 0;
    options.seed = 3;
    options.threads = 6;
    std::optional<Route> first;
    for (unsigned workers : {1u, 2u, 4u, 6u}) {
        options.most_workers = workers;
        const EngineResult result = run_engine(penalizer, options, nullptr);
        EXPECT_EQ(result.descents, 30u);
        EXPECT_EQ(result.best.route, first.value_or(result.best.route)) << workers;
        first = result.best.route;
    }
    const auto big = std::make_shared<const Penalizer>(random_problem(4096, rng, {.time = false}));
    EngineOptions many;
    many.time_limit = TimeDelta{0, 300'000'000};
    many.seed = 3;
    many.threads = 512;
    EXPECT_LT(run_engine(big, many, nullptr).time_taken, TimeDelta::seconds(3));
}

// One descent of `strategy` from exactly `start`, its first four and its last location kept.
Route one_descent_from(const std::shared_ptr<const Penalizer>& penalizer, const Route& start,
                       Strategy strategy) {
    Solver solver(std::nullopt, penalizer, 4, true);
    solver.clock().start();
    if (strategy == Strategy::Multistart) {
        solver.descend_from(start);
        return solver.current().route;
    }
    IteratedSearchOptions options;
    options.keep_first = 4;
    options.keep_last = options.begin_as_given = true;
    options.max_descents = 1;
    options.on_begin = [&](const Route& route) { EXPECT_EQ(route, start); };
    SeededWords words{Rng(1)};
    return iterated_search(*penalizer, start, options, solver.clock(), words).best.route;
}

// A pinned run stays after the start, and a fixed end last, in the tour of either strategy
// on one thread or three, for any seed. An initial route comes back exactly without
// descents, bounds the result with them, repeats its tour for a seed, and is where the
// first descent begins, as it is.
TEST(EngineFixedLead, PinnedRunsStayAndInitialRoutesBoundTheResult) {
    Rng rng(29);
    const std::size_t n = 24;  // room for three searches
    EngineOptions options;
    options.ends = ends_of(EndKind::Fixed, n);
    const auto penalizer = std::make_shared<const Penalizer>(
        random_problem(n, rng, {.hours = true, .ends = options.ends}));
    Route initial = identity_route(n);
    std::shuffle(initial.begin() + 1, initial.end() - 1, rng);
    options.pinned.assign(initial.begin() + 1, initial.begin() + 4);
    const Solution alone = penalizer->penalize(initial, false);
    for (Strategy strategy : {Strategy::Iterated, Strategy::Multistart}) {
        const Route descended = one_descent_from(penalizer, initial, strategy);
        EXPECT_TRUE(penalizer->is_better(penalizer->penalize(descended, false), alone));
        for (unsigned threads : {1u, 3u}) {
            options.strategy = strategy;
            options.seed = options.threads = threads;
            options.initial.reset();
            options.max_descents = 30;
            const Route route = run_engine(penalizer, options, nullptr).best.route;
            EXPECT_TRUE(std::equal(initial.begin(), initial.begin() + 4, route.begin()));
            EXPECT_EQ(route.back(), n - 1);

            options.initial = initial;
            options.max_descents = 0;
            const EngineResult none = run_engine(penalizer, options, nullptr);
            EXPECT_EQ(none.best.route, initial);
            EXPECT_FALSE(none.descended);
            options.max_descents = 1;
            EXPECT_EQ(run_engine(penalizer, options, nullptr).best.route, descended);
            options.max_descents = 5;
            const Solution some = run_engine(penalizer, options, nullptr).best;
            EXPECT_FALSE(penalizer->is_better(alone, some));
            EXPECT_EQ(run_engine(penalizer, options, nullptr).best.route, some.route);
        }
    }
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

// A limit that has passed before any descent still ends with a whole tour, the one the
// iterated search begins from (not the index order), says that no descent finished,
// and asks nothing of the progress check.
TEST(EngineProgress, ALimitPassedInTheSetUpEndsWithTheFirstTourAndSaysSo) {
    Rng rng(3);
    const auto penalizer = std::make_shared<const Penalizer>(depot_problem(300, rng));
    EngineOptions options;
    options.time_limit = TimeDelta::zero();
    options.threads = 2;
    options.ends = {0, std::nullopt, false};
    const EngineResult result = run_engine(penalizer, options, [](const EngineProgress&) -> bool {
        ADD_FAILURE() << "the check was asked after the limit";
        return false;
    });
    EXPECT_EQ(result.descents, 0u);
    EXPECT_FALSE(result.descended);
    const Route first = first_tour(*penalizer, identity_route(300), 1, false);
    EXPECT_NE(first, identity_route(300));
    EXPECT_EQ(result.best.route, first);
    EXPECT_FALSE(result.best.time_report->schedule.empty());

    options.time_limit.reset();
    options.max_descents = 1;
    EXPECT_TRUE(run_engine(penalizer, options, nullptr).descended);
}

}  // namespace

namespace {

// On weeks small enough to try every tour, a short seeded search finds one no worse than
// the best of them all by full evaluation.
TEST(EngineExhaustive, WeekSearchesMatchTheBestOfEveryPermutation) {
    Rng rng(20261213);
    for (int problem = 0; problem < 60; ++problem) {
        const ProblemShape shape = random_week(rng);
        const std::size_t n = static_cast<std::size_t>(draw(rng, 3, 7));
        const auto penalizer = std::make_shared<const Penalizer>(random_problem(n, rng, shape));
        Route route = identity_route(n);
        std::optional<Objective> best;
        do {
            if (!penalizer->can_start_tour(route[0])) continue;
            const Objective objective = penalizer->objective(penalizer->penalize(route, false));
            if (!best || objective < *best) best = objective;
        } while (std::next_permutation(route.begin(), route.end()));
        EngineOptions options;
        options.max_descents = 30;
        options.seed = static_cast<std::uint64_t>(problem);
        const EngineResult found = run_engine(penalizer, options, nullptr);
        EXPECT_FALSE(*best < penalizer->objective(found.best)) << "problem " << problem;
    }
}

}  // namespace
