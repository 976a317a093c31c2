// Tours that may leave optional locations out: what is left out weighs class by class,
// every change of what is served is decided by the trial evaluator as full evaluation
// decides it (with its shortcuts taken), and the search finds what trying every subset
// in every order finds.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "engine/engine.hpp"
#include "evaluation/trial_evaluator.hpp"
#include "search/current_tour.hpp"
#include "search/perturbation.hpp"
#include "test_support.hpp"

namespace {

using namespace tourwright;
using namespace tourwright::test_support;

TEST(OptionalStopsWeight, ClassesOutweighCountsAndCountsOutweighWork) {
    // Locations 1, 2: class 5; 3, 4: class 2; 0 required. Jobs of 1 to 4 minutes.
    const OptionalStops stops({std::nullopt, 5, 5, 2, 2},
                              {minutes(0), minutes(1), minutes(2), minutes(3), minutes(4)});
    EXPECT_EQ(stops.left_out({0, 1, 2, 3, 4}), (LeftOut{{0, minutes(0)}, {0, minutes(0)}}));
    EXPECT_EQ(stops.left_out({0, 4, 1}), (LeftOut{{1, minutes(2)}, {1, minutes(3)}}));
    // One of the higher class weighs more than both of the lower one.
    EXPECT_LT(stops.left_out({0, 1, 2}), stops.left_out({0, 2, 3, 4}));
    EXPECT_EQ(stops.compare_exchange(3, 1), 1);  // takes in class 2, leaves out class 5
    EXPECT_EQ(stops.compare_exchange(1, 4), -1);
    EXPECT_EQ(stops.compare_exchange(3, 4), 1);  // the same class: more work left out
    EXPECT_EQ(stops.compare_exchange(4, 3), -1);
    EXPECT_EQ(stops.compare_exchange(std::nullopt, 3), 1);
    EXPECT_EQ(stops.compare_exchange(3, std::nullopt), -1);
    EXPECT_TRUE(stops.serves({0, 3}, 5));
    EXPECT_FALSE(stops.serves({3, 1}, 5));     // the required 0 is missing
    EXPECT_FALSE(stops.serves({0, 3, 3}, 5));  // twice
    EXPECT_FALSE(stops.serves({0, 5}, 5));     // out of range
}

// Every change of what `route` serves: each optional position left out or traded for each
// location left out, each location left out put at each position, and each location left
// out taken in at one position while an optional one is left out at another.
std::vector<std::vector<Exchange>> every_exchange(const Penalizer& penalizer, const Route& route) {
    const std::size_t n = penalizer.location_count();
    std::vector<bool> served(n, false);
    for (std::size_t location : route) served[location] = true;
    std::vector<Exchange> single;
    for (std::size_t at = 1; at <= route.size(); ++at) {
        const bool droppable = at < route.size() && penalizer.optional_stops().optional(route[at]);
        if (droppable) single.push_back({at, true, std::nullopt});
        for (std::size_t location = 0; location < n; ++location) {
            if (served[location]) continue;
            single.push_back({at, false, location});
            if (droppable) single.push_back({at, true, location});
        }
    }
    std::vector<std::vector<Exchange>> changes;
    for (const Exchange& change : single) changes.push_back({change});
    for (const Exchange& first : single)
        for (const Exchange& second : single)
            if (first.removes != second.removes && !(first.removes && first.inserted) &&
                !(second.removes && second.inserted) && second.at > first.resumes())
                changes.push_back({first, second});
    return changes;
}

// A random route over location 0, every required location and some optional ones.
Route random_served_route(const Penalizer& penalizer, Rng& rng) {
    Route route = random_route(penalizer, rng);
    std::rotate(route.begin(), std::find(route.begin(), route.end(), 0), route.end());
    std::erase_if(route, [&](std::size_t location) {
        return penalizer.optional_stops().optional(location) && draw(rng, 0, 1) == 0;
    });
    return route;
}

TEST(OptionalStopsTrials, EveryExchangeIsDecidedAsFullEvaluationDecidesIt) {
    Rng rng(42);
    int improving = 0, trials = 0;
    TrialEvaluator::RuleCounts settled{};
    for (int problem = 0; problem < 600; ++problem) {
        ProblemShape shape = problem % 6 == 5 ? random_week(rng) : ProblemShape{};
        shape.optional = true;
        shape.time = problem % 6 != 0;
        shape.single_window = problem % 6 == 1;
        if (problem % 6 == 2) shape.ends = TourEnds{.start = 0, .end = std::nullopt};
        const std::size_t n = static_cast<std::size_t>(draw(rng, 2, 14));
        const Penalizer penalizer = random_problem(n, rng, shape);
        auto evaluator = TrialEvaluator::for_problem(penalizer);
        ASSERT_TRUE(evaluator.has_value());
        const Solution current = penalizer.penalize(random_served_route(penalizer, rng), false);
        evaluator->rebase(current);
        for (const std::vector<Exchange>& changes : every_exchange(penalizer, current.route)) {
            Route changed = current.route;
            apply_changes(changed, changes);
            const Solution full = penalizer.penalize(changed, false);
            const bool expected = penalizer.is_better(full, current);
            std::optional<std::size_t> in, out;
            for (const Exchange& change : changes) {
                if (change.inserted) in = change.inserted;
                if (change.removes) out = current.route[change.at];
            }
            const int order = penalizer.optional_stops().compare_exchange(in, out);
            ASSERT_EQ(evaluator->improves(changes, order), expected)
                << "problem " << problem << " at " << changes[0].at << " of " << changes.size();
            ASSERT_EQ(evaluator->distance_with(changes), full.distance);
            improving += expected;
            ++trials;
        }
        for (std::size_t rule = 0; rule < settled.size(); ++rule)
            settled[rule] += evaluator->rule_counts()[rule];
    }
    EXPECT_GT(improving, 0);
    EXPECT_LT(improving, trials);
    // The shortcuts fire: trials settled once they rejoin the current route.
    using Rule = TrialEvaluator::Rule;
    EXPECT_GT(settled[static_cast<std::size_t>(Rule::ClocksMeet)], 0u);
    EXPECT_GT(settled[static_cast<std::size_t>(Rule::OrderBound)], 0u);
    EXPECT_GT(settled[static_cast<std::size_t>(Rule::BeforeStretch)], 0u);
}

TEST(OptionalStopsTrials, ExchangesAcceptedIncrementallyAreThoseFullEvaluationAccepts) {
    Rng rng(7);
    for (int problem = 0; problem < 60; ++problem) {
        const Penalizer penalizer =
            random_problem(static_cast<std::size_t>(draw(rng, 3, 9)), rng, {.optional = true});
        const Route route = random_served_route(penalizer, rng);
        CurrentTour incremental(penalizer, penalizer.penalize(route, false), true);
        CurrentTour full(penalizer, penalizer.penalize(route, false), false);
        ASSERT_TRUE(incremental.incremental());
        for (int step = 0; step < 40; ++step) {
            const auto changes = every_exchange(penalizer, incremental.solution().route);
            if (changes.empty()) break;
            const std::vector<Exchange>& change =
                changes[static_cast<std::size_t>(draw(rng, 0, std::ssize(changes) - 1))];
            ASSERT_EQ(incremental.try_exchange(Exchanges(change)),
                      full.try_exchange(Exchanges(change)));
            ASSERT_EQ(incremental.solution().route, full.solution().route);
        }
        EXPECT_EQ(penalizer.objective(incremental.complete()),
                  penalizer.objective(full.complete()));
    }
}

// The served-set kick leaves out only optional locations of the positions it may change
// and takes in only locations left out.
TEST(OptionalStopsKick, ChangesWhatIsServedWithinItsPositions) {
    Rng rng(11);
    const Penalizer penalizer = random_problem(9, rng, {.optional = true});
    const NeighbourLists neighbours(penalizer, 4, false);
    SeededWords seeded{Rng(5)};
    RandomWords words(seeded);
    Route route = identity_route(9);
    std::erase_if(
        route, [&](std::size_t k) { return k % 2 == 1 && penalizer.optional_stops().optional(k); });
    for (int kick = 0; kick < 50; ++kick) {
        const Route before = route;
        exchange_served(route, 2, route.size() - 1, penalizer.optional_stops(), neighbours, words);
        ASSERT_TRUE(penalizer.serves(route));
        ASSERT_EQ(std::vector(route.begin(), route.begin() + 2),
                  std::vector(before.begin(), before.begin() + 2));
        ASSERT_EQ(route.back(), before.back());
    }
}

// On small overbooked days the search finds the best of every subset in every order, with
// and without time data (where every location is served), by both strategies.
TEST(OptionalStopsSearch, MatchesExhaustiveSearchOnSmallProblems) {
    Rng rng(2027);
    int worse = 0, left_out = 0;
    for (int problem = 0; problem < 120; ++problem) {
        const std::size_t n = static_cast<std::size_t>(draw(rng, 2, 7));
        const ProblemShape shape{.time = problem % 10 != 0,
                                 .ends = TourEnds{.start = 0, .end = std::nullopt},
                                 .optional = true};
        const auto penalizer = std::make_shared<const Penalizer>(random_problem(n, rng, shape));
        std::optional<Solution> optimum;
        for (std::uint32_t subset = 0; subset < (1u << (n - 1)); ++subset) {
            Route order{0};
            for (std::size_t k = 1; k < n; ++k)
                if (subset >> (k - 1) & 1) order.push_back(k);
            if (!penalizer->serves(order)) continue;
            do {
                Solution tour = penalizer->penalize(order, false);
                if (!optimum || penalizer->is_better(tour, *optimum)) optimum = std::move(tour);
            } while (std::next_permutation(order.begin() + 1, order.end()));
        }
        left_out += optimum->route.size() < n;
        EngineOptions options;
        options.ends.start = 0;
        options.seed = static_cast<std::uint64_t>(problem);
        options.max_descents = 200;
        for (Strategy strategy : {Strategy::Iterated, Strategy::Multistart}) {
            options.strategy = strategy;
            const Solution best = run_engine(penalizer, options, nullptr).best;
            EXPECT_TRUE(penalizer->serves(best.route));
            worse += penalizer->is_better(*optimum, best);
        }
        if (!shape.time) {
            EXPECT_EQ(optimum->route.size(), n);
        }
    }
    EXPECT_EQ(worse, 0);
    EXPECT_GT(left_out, 10) << "the problems were seldom overbooked";
}

}  // namespace
