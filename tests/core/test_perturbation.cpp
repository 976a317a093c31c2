// The kicks rearrange only what they may, as they say, and name the locations whose
// legs changed.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <vector>

#include "search/neighbour_lists.hpp"
#include "search/perturbation.hpp"
#include "test_support.hpp"

namespace {

using namespace tourwright;
using namespace tourwright::test_support;

// The locations whose successor differs between the two routes, as open paths.
std::set<std::size_t> changed_legs(const Route& before, const Route& after) {
    std::set<std::size_t> ends;
    for (std::size_t k = 0; k + 1 < after.size(); ++k) {
        const auto at = std::find(before.begin(), before.end(), after[k]) - before.begin();
        if (static_cast<std::size_t>(at) + 1 == before.size() || before[at + 1] != after[k + 1])
            ends.insert({after[k], after[k + 1]});
    }
    return ends;
}

void expect_kept_before(const Route& before, const Route& after, std::size_t first) {
    EXPECT_TRUE(std::is_permutation(before.begin(), before.end(), after.begin()));
    const auto kept = static_cast<std::ptrdiff_t>(std::min(first, before.size()));
    EXPECT_TRUE(std::equal(before.begin(), before.begin() + kept, after.begin()));
}

TEST(Kicks, AdjacentStretchesOfAtMostTheLongestChangePlaces) {
    Rng rng(3);
    SeededWords words{Rng(11)};
    RandomWords random(words);
    for (int trial = 0; trial < 300; ++trial) {
        const auto n = static_cast<std::size_t>(draw(rng, 0, 12));
        const auto first = static_cast<std::size_t>(draw(rng, 0, 2));
        const auto longest = static_cast<std::size_t>(draw(rng, 0, 4));
        const Route before = identity_route(n);
        Route after = before;
        const auto touched = swap_adjacent_stretches(after, first, longest, random);
        expect_kept_before(before, after, first);
        if (n < first + 2 || longest == 0) {
            EXPECT_EQ(after, before);
            EXPECT_TRUE(touched.empty());
            continue;
        }
        // On the identity, the second stretch (a run up from p + a) now comes first,
        // then the first (a run up from p), then the rest as it was.
        const auto p = static_cast<std::size_t>(
            std::mismatch(before.begin(), before.end(), after.begin()).first - before.begin());
        ASSERT_LT(p, n);
        const std::size_t a = after[p] - p;
        std::size_t b = 1;
        while (p + b < n && after[p + b] == after[p] + b) ++b;
        EXPECT_LE(a, longest);
        EXPECT_LE(b, longest);
        ASSERT_LE(p + a + b, n);
        for (std::size_t k = 0; k < a; ++k) EXPECT_EQ(after[p + b + k], p + k);
        EXPECT_TRUE(std::equal(after.begin() + static_cast<std::ptrdiff_t>(p + a + b), after.end(),
                               before.begin() + static_cast<std::ptrdiff_t>(p + a + b)));
        for (const std::size_t end : changed_legs(before, after))
            EXPECT_NE(std::find(touched.begin(), touched.end(), end), touched.end()) << end;
    }
}

TEST(Kicks, ARelocatedLocationFollowsOneOfItsNearNeighbours) {
    Rng rng(8);
    SeededWords words{Rng(13)};
    RandomWords random(words);
    for (int problem = 0; problem < 40; ++problem) {
        const auto n = static_cast<std::size_t>(draw(rng, 3, 12));
        const Penalizer penalizer = random_problem(n, rng, ProblemShape{.time = false});
        const NeighbourLists neighbours(penalizer, 3, false);
        const auto first = static_cast<std::size_t>(draw(rng, 0, 1));
        Route before = identity_route(n);
        std::shuffle(before.begin(), before.end(), rng);
        Route after = before;
        const auto touched = relocate_near_neighbours(after, first, 1, neighbours, random);
        expect_kept_before(before, after, first);
        if (after == before) continue;
        // One location moved: the one whose removal leaves the rest in order.
        std::size_t moved = n;
        for (const std::size_t location : before) {
            Route a = after, b = before;
            std::erase(a, location);
            std::erase(b, location);
            if (a == b) moved = location;
        }
        ASSERT_LT(moved, n);
        const auto at = std::find(after.begin(), after.end(), moved) - after.begin();
        ASSERT_GT(at, 0);
        const auto near = neighbours.predecessors(moved);
        EXPECT_NE(std::find(near.begin(), near.end(), after[at - 1]), near.end());
        for (const std::size_t end : changed_legs(before, after))
            EXPECT_NE(std::find(touched.begin(), touched.end(), end), touched.end()) << end;
    }
}

}  // namespace
