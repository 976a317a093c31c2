// The distance-only search of symmetric tours: which problems it takes, that it finds the
// obvious best tour, and that more descents never end with a longer tour.
#include <gtest/gtest.h>

#include <cmath>
#include <numeric>
#include <random>

#include "euclidean_points.hpp"
#include "search/distance_only/distance_only_search.hpp"

namespace {

using namespace tourwright;

struct SeededWords {
    std::mt19937 engine;
    std::uint32_t next_u32() { return static_cast<std::uint32_t>(engine()); }
};

// Location a sits at place label[a] of n evenly spaced on a circle.
std::vector<std::size_t> labels(std::size_t n) {
    std::vector<std::size_t> label = identity_route(n);
    std::shuffle(label.begin(), label.end(), std::mt19937(1));
    return label;
}

// The best tour goes round the circle.
Route round_tour(std::size_t n) {
    Route route(n);
    const auto label = labels(n);
    for (std::size_t a = 0; a < n; ++a) route[label[a]] = a;
    return route;
}

Penalizer circle(std::size_t n) {
    const auto label = labels(n);
    DistanceMatrix matrix{
        std::vector<std::vector<std::uint64_t>>(n, std::vector<std::uint64_t>(n))};
    for (std::size_t a = 0; a < n; ++a)
        for (std::size_t b = 0; b < n; ++b) {
            const double angle =
                2 * M_PI * static_cast<double>(label[a] + n - label[b]) / static_cast<double>(n);
            matrix.rows[a][b] = static_cast<std::uint64_t>(
                std::lround(1000 * std::hypot(1 - std::cos(angle), std::sin(angle))));
        }
    return Penalizer(std::move(matrix), std::nullopt);
}

// `n` random points in a square of side 1000, legs rounded.
Penalizer random_points(std::size_t n, unsigned seed) {
    std::mt19937 engine(seed);
    return Penalizer(DistanceMatrix{euclidean::random_rows(n, engine)}, std::nullopt);
}

SearchOutcome search(const Penalizer& penalizer, std::uint64_t descents, unsigned seed = 5,
                     IteratedSearchOptions options = {}) {
    SearchClock clock(std::nullopt);
    clock.start();
    SeededWords words{std::mt19937(seed)};
    options.max_descents = descents;
    Route start = identity_route(penalizer.location_count());
    std::shuffle(start.begin() + 1, start.end(), std::mt19937(seed));
    RandomWords random(words);
    return distance_only_search(penalizer, start, options, clock, random);
}

TEST(DistanceOnlySearch, TakesOnlySymmetricTablesWithSmallLegs) {
    SearchClock clock(std::nullopt);
    EXPECT_TRUE(distance_only_search_applies(circle(8), clock));
    EXPECT_FALSE(distance_only_search_applies(circle(7), clock));
    auto rows = circle(9).distance_matrix().rows;
    const auto applies = [&] {
        return distance_only_search_applies(Penalizer(DistanceMatrix{rows}, std::nullopt), clock);
    };
    rows[2][5] = rows[5][2] = (std::uint64_t{1} << 59) - 1;
    EXPECT_TRUE(applies());
    rows[2][5] = rows[5][2] = std::uint64_t{1} << 59;
    EXPECT_FALSE(applies());
    rows[2][5] = 7;
    EXPECT_FALSE(applies());
    rows[5][2] = 7;
    EXPECT_TRUE(applies());
    rows[4].pop_back();
    EXPECT_FALSE(applies());
}

TEST(DistanceOnlySearch, FindsTheRoundTourExactlyAndNeverLosesGround) {
    for (std::size_t n : {8u, 60u, 300u}) {
        const Penalizer penalizer = circle(n);
        const std::uint64_t round = penalizer.penalize(round_tour(n), false).reported_distance();
        std::uint64_t previous = UINT64_MAX;
        for (std::uint64_t descents : {1u, 10u, 100u, 2000u}) {
            const SearchOutcome outcome = search(penalizer, descents);
            EXPECT_EQ(outcome.descents, descents);
            EXPECT_EQ(outcome.best.route[0], 0u);
            EXPECT_EQ(outcome.best.distance,
                      penalizer.penalize(outcome.best.route, false).distance);
            EXPECT_LE(outcome.best.reported_distance(), previous);
            previous = outcome.best.reported_distance();
        }
        EXPECT_EQ(previous, round) << n;
        EXPECT_EQ(search(penalizer, 2000).best.route, search(penalizer, 2000).best.route);
    }
}

// Every new best tour's length is the running sum the kicks, restarts and moves kept,
// so a wrong sum in any accepted kick shows at the next new best.
TEST(DistanceOnlySearch, KicksAndRestartsKeepTheTourLengthExact) {
    const std::size_t n = 150;
    const Penalizer penalizer = random_points(n, 3);
    for (const std::uint64_t near_percent : {0u, 100u}) {
        IteratedSearchOptions options;
        options.params.distance_only.three_opt_from = near_percent ? 0 : n + 1;
        options.params.distance_only.near_kick_percent = near_percent;
        options.params.distance_only.stall_per_location = near_percent ? 1 : 0;  // every n descents
        std::size_t checked = 0;
        options.on_descent = [&](std::uint64_t, const Solution& best) {
            ASSERT_TRUE(visits_each_location_once(best.route, n));
            EXPECT_EQ(best.distance, penalizer.penalize(best.route, false).distance);
            ++checked;
        };
        search(penalizer, 1000, 7, options);
        EXPECT_EQ(checked, 1000u) << near_percent;
    }
}

// With every other location in each list, one descent (of chains one level deep, or
// deeper, after steps of 3-opt levels or not) ends where no 2-opt move and no swap of
// two adjacent stretches shortens the tour, and its length is the one the moves' gains
// added up to.
TEST(DistanceOnlySearch, OneDescentEndsInAnExactLocalOptimum) {
    for (unsigned seed = 1; seed <= 12; ++seed) {
        const std::size_t n = 10 + 3 * seed;
        const Penalizer penalizer = random_points(n, seed);
        IteratedSearchOptions options;
        options.params.distance_only.neighbours = n;
        options.params.distance_only.chain_depth = seed % 2 ? 1 : 30;
        options.params.distance_only.three_opt_from = seed % 4 < 2 ? 0 : n + 1;
        const Solution best = search(penalizer, 1, seed, options).best;
        ASSERT_TRUE(visits_each_location_once(best.route, n));
        EXPECT_EQ(best.distance, penalizer.penalize(best.route, false).distance);
        const auto d = [&](std::size_t i, std::size_t j) {
            return static_cast<std::int64_t>(
                penalizer.distance_matrix().rows[best.route[i % n]][best.route[j % n]]);
        };
        for (std::size_t i = 0; i < n; ++i)
            for (std::size_t j = i + 2; j < i + n - 1; ++j) {
                EXPECT_LE(d(i, i + 1) + d(j, j + 1), d(i, j) + d(i + 1, j + 1)) << seed;
                // The stretches i+1 .. k and k+1 .. j change places.
                for (std::size_t k = i + 1; k < j; ++k)
                    EXPECT_LE(d(i, i + 1) + d(k, k + 1) + d(j, j + 1),
                              d(i, k + 1) + d(j, i + 1) + d(k, j + 1))
                        << seed;
            }
    }
}

}  // namespace
