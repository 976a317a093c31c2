// The iterated search: every returned tour is exactly what full evaluation gives,
// runs repeat given the same random words and descent budget, the result is never
// worse than the first local optimum, and a kept first location stays first.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <memory>
#include <optional>
#include <random>
#include <tuple>
#include <vector>

#include "engine/engine.hpp"
#include "euclidean_points.hpp"
#include "evaluation/penalizer.hpp"
#include "evaluation/trial_evaluator.hpp"
#include "search/current_tour.hpp"
#include "search/iterated_search.hpp"
#include "search/neighbour_lists.hpp"
#include "search/solver.hpp"
#include "test_support.hpp"

namespace {

using namespace tourwright;
using namespace tourwright::test_support;

// Symmetric Euclidean legs between random points and no time data: the distance is
// the whole objective.
Penalizer euclidean_problem(std::size_t n, Rng& rng) {
    // Whole coordinates from the suite's own stream, which its expectations were drawn on.
    euclidean::Points points(n);
    for (auto& [x, y] : points) {
        x = static_cast<double>(draw(rng, 0, 1000));
        y = static_cast<double>(draw(rng, 0, 1000));
    }
    return Penalizer(DistanceMatrix{euclidean::distance_rows(points)}, std::nullopt);
}

SearchOutcome search(const Penalizer& penalizer, bool keep_first, std::uint64_t descents,
                     unsigned seed) {
    SearchClock clock(std::nullopt);
    clock.start();
    SeededWords words{Rng(seed)};
    IteratedSearchOptions options;
    options.keep_first = keep_first;
    options.max_descents = descents;
    return iterated_search(penalizer, identity_route(penalizer.location_count()), options, clock,
                           words);
}

auto totals(const Solution& s) {
    if (!s.time_report)
        return std::tuple(s.distance, TimeDelta{}, TimeDelta{}, TimeDelta{}, TimeDelta{},
                          TimeDelta{}, DateTime{}, DateTime{});
    const TimeReport& r = *s.time_report;
    return std::tuple(s.distance, r.lateness, r.traveling_time, r.duration, r.waiting_time,
                      r.working_time, r.start_time, r.end_time);
}

// (size, keep the first location, with time windows)
class IteratedSearchOnRandomProblems
    : public ::testing::TestWithParam<std::tuple<std::size_t, bool, bool>> {};

TEST_P(IteratedSearchOnRandomProblems, ReturnsExactRepeatableToursNoWorseThanTheFirstDescent) {
    const auto [n, keep_first, windows] = GetParam();
    Rng rng(n * 31 + keep_first);
    // Small problems run long enough to go through the random restarts too.
    const std::uint64_t descents = n <= 5 ? 700 : 30;
    for (int round = 0; round < 4; ++round) {
        const Penalizer penalizer = windows ? random_problem(n, rng) : euclidean_problem(n, rng);
        EXPECT_EQ(penalizer.time_scheduler().has_value(), windows);
        const SearchOutcome first = search(penalizer, keep_first, 1, 0);
        const SearchOutcome outcome = search(penalizer, keep_first, descents, 11);
        ASSERT_EQ(outcome.descents, descents);
        Route sorted = outcome.best.route;
        std::sort(sorted.begin(), sorted.end());
        ASSERT_EQ(sorted, identity_route(n));
        EXPECT_EQ(totals(outcome.best), totals(penalizer.penalize(outcome.best.route, false)));
        EXPECT_FALSE(penalizer.is_better(first.best, outcome.best));
        if (keep_first) {
            EXPECT_EQ(outcome.best.route[0], 0u);
        }
        EXPECT_EQ(search(penalizer, keep_first, descents, 11).best.route, outcome.best.route);
    }
}

// Kicked tours are taken without full evaluation: their distance, objective and the
// lateness come from the evaluator, exactly as full evaluation gives them.
TEST(CurrentTourReset, ARouteIsJudgedAsFullEvaluationJudgesIt) {
    Rng rng(23);
    for (int problem = 0; problem < 200; ++problem) {
        ProblemShape shape = random_week(rng);
        shape.single_window = problem % 3 == 0;
        shape.optional = problem % 4 == 1;
        const auto n = static_cast<std::size_t>(draw(rng, 2, 12));
        const Penalizer penalizer = random_problem(n, rng, shape);
        const Route start = identity_route(n);
        CurrentTour tour(penalizer, penalizer.penalize(start, false), true);
        if (!tour.incremental()) continue;
        Route route = random_route(penalizer, rng);
        std::rotate(route.begin(), std::find(route.begin(), route.end(), 0), route.end());
        const Solution full = penalizer.penalize(route, false);
        tour.reset(std::move(route));
        EXPECT_EQ(tour.solution().distance, full.distance);
        EXPECT_EQ(tour.objective(), penalizer.objective(full));
        EXPECT_EQ(totals(tour.complete()), totals(full));
    }
}

INSTANTIATE_TEST_SUITE_P(Sizes, IteratedSearchOnRandomProblems,
                         ::testing::Combine(::testing::Values(std::size_t{2}, std::size_t{5},
                                                              std::size_t{12}, std::size_t{40}),
                                            ::testing::Bool(), ::testing::Bool()));

// At this size and budget several runs end, some in worse basins than earlier
// ones; the best reported after every descent never gets worse, and is returned.
TEST(IteratedSearchAcrossRuns, KeepsTheBestOfAllRuns) {
    Rng rng(17);
    for (bool windows : {false, true}) {
        const Penalizer penalizer = windows ? random_problem(40, rng) : euclidean_problem(40, rng);
        std::optional<Solution> previous;
        int worse = 0;
        IteratedSearchOptions options;
        options.max_descents = 400;
        options.on_descent = [&](std::uint64_t, const Solution& best) {
            worse += previous && penalizer.is_better(*previous, best);
            previous = best;
        };
        SearchClock clock(std::nullopt);
        clock.start();
        SeededWords words{Rng(4)};
        const SearchOutcome outcome =
            iterated_search(penalizer, identity_route(40), options, clock, words);
        EXPECT_EQ(worse, 0);
        ASSERT_TRUE(previous.has_value());
        EXPECT_EQ(totals(outcome.best), totals(*previous));
    }
}

// A pinned run after the start stays in place in the tour every descent begins from (the
// first, as given or not, each kick and each restart) and in every best reported.
TEST(IteratedSearchPinned, EveryBeginningAndEveryBestKeepTheLeadingPositions) {
    Rng rng(23);
    for (bool as_given : {false, true}) {
        const Penalizer penalizer = random_problem(30, rng, {.hours = as_given});
        const Route start = random_route(penalizer, rng);
        auto expect_lead = [&](const Route& route) {
            EXPECT_TRUE(std::equal(start.begin(), start.begin() + 4, route.begin()));
        };
        std::vector<Route> begun;
        IteratedSearchOptions options;
        options.keep_first = 4;
        options.max_descents = 300;
        options.begin_as_given = as_given;
        options.on_begin = [&](const Route& route) {
            expect_lead(route);
            begun.push_back(route);
        };
        options.on_descent = [&](std::uint64_t, const Solution& best) { expect_lead(best.route); };
        SearchClock clock(std::nullopt);
        clock.start();
        SeededWords words{Rng(as_given)};
        expect_lead(iterated_search(penalizer, start, options, clock, words).best.route);
        ASSERT_EQ(begun.size(), 300u);
        EXPECT_EQ(begun[0], as_given ? start : first_tour(penalizer, start, 4, false));
    }
}

// At the far end of the calendar no bound proves the time arithmetic safe for
// every tour, so every trial is evaluated in full; the outcome is as exact.
TEST(IteratedSearchInFull, WhereIncrementalEvaluationIsUnavailable) {
    Rng rng(5);
    const Penalizer penalizer =
        random_problem(10, rng, {.hours = true, .day = *DateTime::from_civil(262142, 12, 1)});
    ASSERT_FALSE(TrialEvaluator::for_problem(penalizer).has_value());
    const SearchOutcome first = search(penalizer, true, 1, 3);
    const SearchOutcome outcome = search(penalizer, true, 20, 3);
    EXPECT_EQ(totals(outcome.best), totals(penalizer.penalize(outcome.best.route, false)));
    EXPECT_FALSE(penalizer.is_better(first.best, outcome.best));
    EXPECT_EQ(outcome.best.route[0], 0u);
}

TEST(IteratedSearchStops, WhenTheClockHasRunOutAlready) {
    Rng rng(9);
    const Penalizer penalizer = random_problem(20, rng);
    SearchClock clock(TimeDelta::seconds(-1));
    clock.start();
    SeededWords words{Rng(1)};
    const SearchOutcome outcome = iterated_search(penalizer, identity_route(20), {}, clock, words);
    EXPECT_EQ(outcome.descents, 0u);
    EXPECT_EQ(totals(outcome.best), totals(penalizer.penalize(outcome.best.route, false)));
}

// Without a kept first location the search may begin anywhere a tour can start: on
// small problems it reaches the optimum found by trying every order, and even one
// descent is never worse than the descent `Solver::solve` makes.
TEST(IteratedSearchFirstLocation, MovesAndMatchesExhaustiveSearchOnSmallProblems) {
    Rng rng(2026);
    int worse = 0;
    for (int problem = 0; problem < 150; ++problem) {
        const std::size_t n = static_cast<std::size_t>(draw(rng, 2, 7));
        const auto penalizer = std::make_shared<const Penalizer>(random_problem(n, rng));
        std::optional<Solution> optimum;
        Route order = identity_route(n);
        do {
            if (!penalizer->can_start_tour(order[0])) continue;
            Solution tour = penalizer->penalize(order, false);
            if (!optimum || penalizer->is_better(tour, *optimum)) optimum = std::move(tour);
        } while (std::next_permutation(order.begin(), order.end()));
        EngineOptions options;
        options.seed = static_cast<std::uint64_t>(problem);
        options.max_descents = 300;
        worse += penalizer->is_better(*optimum, run_engine(penalizer, options, nullptr).best);
        Solver solver(std::nullopt, penalizer, false);
        solver.clock().start();
        solver.descend_from(start_route(*penalizer, identity_route(n)));
        options.max_descents = 1;
        EXPECT_FALSE(
            penalizer->is_better(solver.current(), run_engine(penalizer, options, nullptr).best))
            << "problem " << problem;
    }
    EXPECT_EQ(worse, 0);
}

// The lists are the search's largest set-up; they stop being built when told to.
TEST(NeighbourListsStop, LeavesTheRestUnbuiltOnceTheStopSaysSo) {
    Rng rng(3);
    const Penalizer penalizer = random_problem(12, rng);
    int asked = 0;
    const NeighbourLists lists(penalizer, 4, true, [&] { return ++asked > 5; });
    EXPECT_EQ(asked, 6);
    EXPECT_FALSE(lists.successors(4).empty() && lists.predecessors(4).empty());
    for (std::size_t location = 5; location < 12; ++location)
        EXPECT_TRUE(lists.successors(location).empty());
}

}  // namespace
