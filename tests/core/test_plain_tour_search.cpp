// The search for plain symmetric tours: which problems it takes, that it finds the
// obvious best tour, and that more descents never end with a longer tour.
#include <gtest/gtest.h>

#include <cmath>
#include <numeric>
#include <random>

#include "search/plain_tour_search.hpp"

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

SearchOutcome search(const Penalizer& penalizer, std::uint64_t descents, unsigned seed = 5) {
    SearchClock clock(std::nullopt);
    clock.start();
    SeededWords words{std::mt19937(seed)};
    IteratedSearchOptions options;
    options.max_descents = descents;
    Route start = identity_route(penalizer.location_count());
    std::shuffle(start.begin() + 1, start.end(), std::mt19937(seed));
    RandomWords random(words);
    return plain_tour_search(penalizer, start, options, clock, random);
}

TEST(PlainTourSearch, TakesOnlySymmetricTablesWithSmallLegs) {
    SearchClock clock(std::nullopt);
    EXPECT_TRUE(plain_tour_search_applies(circle(8), clock));
    EXPECT_FALSE(plain_tour_search_applies(circle(7), clock));
    auto rows = circle(9).distance_matrix().rows;
    const auto applies = [&] {
        return plain_tour_search_applies(Penalizer(DistanceMatrix{rows}, std::nullopt), clock);
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

TEST(PlainTourSearch, FindsTheRoundTourExactlyAndNeverLosesGround) {
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

}  // namespace
