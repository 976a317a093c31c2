// Partition crossover: the child is a tour, exactly as much shorter than the first
// parent as it says, and takes from the second parent every stretch it runs better.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>

#include "euclidean_points.hpp"
#include "search/distance_only/partition_crossover.hpp"

namespace {

using namespace tourwright;

struct Points {
    euclidean::Points at;
    std::int64_t operator()(std::size_t a, std::size_t b) const {
        return static_cast<std::int64_t>(euclidean::rounded_distance(at[a], at[b]));
    }
    std::int64_t length(const Route& route) const {
        std::int64_t total = 0;
        for (std::size_t k = 0; k < route.size(); ++k)
            total += (*this)(route[k], route[(k + 1) % route.size()]);
        return total;
    }
};

Points random_points(std::size_t n, std::mt19937& rng) {
    return Points{euclidean::random_points(n, rng)};
}

Route reversed_between(Route route, std::size_t from, std::size_t to) {
    std::reverse(route.begin() + static_cast<std::ptrdiff_t>(from),
                 route.begin() + static_cast<std::ptrdiff_t>(to) + 1);
    return route;
}

// Each parent reverses a stretch of a common tour the other keeps: the child keeps
// whichever version of each stretch is shorter.
TEST(PartitionCrossover, TakesTheShorterVersionOfEachStretch) {
    std::mt19937 rng(4);
    for (int trial = 0; trial < 50; ++trial) {
        const std::size_t n = 30 + trial;
        const Points points = random_points(n, rng);
        Route base = identity_route(n);
        std::shuffle(base.begin(), base.end(), rng);
        const Route first = reversed_between(base, 3, 8);
        const Route second = reversed_between(base, 15, 22);
        const std::int64_t change_first = points.length(first) - points.length(base);
        const std::int64_t change_second = points.length(second) - points.length(base);
        const std::int64_t best = points.length(base) + std::min<std::int64_t>(change_first, 0) +
                                  std::min<std::int64_t>(change_second, 0);
        const auto child = partition_crossover(first, second, points);
        if (best == points.length(first)) {
            EXPECT_FALSE(child) << trial;
            continue;
        }
        ASSERT_TRUE(child) << trial;
        ASSERT_TRUE(visits_each_location_once(child->route, n));
        EXPECT_EQ(points.length(child->route), best) << trial;
        EXPECT_EQ(child->gain, points.length(first) - best) << trial;
    }
}

// Between unrelated tours the groups are large and tangled; whatever is taken, the
// child is a tour whose length is the first parent's less the gain.
TEST(PartitionCrossover, ChildOfUnrelatedToursIsATourOfTheStatedLength) {
    std::mt19937 rng(9);
    for (int trial = 0; trial < 200; ++trial) {
        const std::size_t n = 8 + trial % 40;
        const Points points = random_points(n, rng);
        Route first = identity_route(n), second = first;
        std::shuffle(first.begin(), first.end(), rng);
        // Mostly alike, as the search's tours are: a few random reversals apart.
        second = first;
        for (int k = 0; k < 1 + trial % 4; ++k) {
            const std::size_t a = rng() % n, b = rng() % n;
            second = reversed_between(second, std::min(a, b), std::max(a, b));
        }
        if (trial % 5 == 0) std::shuffle(second.begin(), second.end(), rng);
        const auto child = partition_crossover(first, second, points);
        if (!child) continue;
        ASSERT_TRUE(visits_each_location_once(child->route, n)) << trial;
        EXPECT_GT(child->gain, 0);
        EXPECT_EQ(points.length(child->route), points.length(first) - child->gain) << trial;
    }
}

}  // namespace
