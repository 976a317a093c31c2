// The kicks rearrange only what they may, as they say, and name the locations whose
// legs changed.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <set>
#include <utility>
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

// Positions before `first` and from `stop` on hold what they held.
void expect_kept_outside(const Route& before, const Route& after, std::size_t first,
                         std::size_t stop) {
    EXPECT_TRUE(std::is_permutation(before.begin(), before.end(), after.begin()));
    const auto kept = static_cast<std::ptrdiff_t>(std::min(first, before.size()));
    EXPECT_TRUE(std::equal(before.begin(), before.begin() + kept, after.begin()));
    const auto from = static_cast<std::ptrdiff_t>(std::min(stop, before.size()));
    EXPECT_TRUE(std::equal(before.begin() + from, before.end(), after.begin() + from));
}

// Up to the end of the route, or one short of it (a kept last location).
std::size_t random_stop(Rng& rng, std::size_t n) {
    return n - static_cast<std::size_t>(draw(rng, 0, n > 0 ? 1 : 0));
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
        const std::size_t stop = random_stop(rng, n);
        const auto touched = swap_adjacent_stretches(after, first, stop, longest, random);
        expect_kept_outside(before, after, first, stop);
        if (stop < first + 2 || longest == 0) {
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
        const std::size_t stop = random_stop(rng, n);
        const auto touched = relocate_near_neighbours(after, first, stop, 1, neighbours, random);
        expect_kept_outside(before, after, first, stop);
        if (after == before) continue;
        // One location moved: one whose removal leaves the rest in order (two such
        // when it moved by one place, as its neighbour then moved too).
        bool follows_a_neighbour = false;
        for (const std::size_t location : before) {
            Route a = after, b = before;
            std::erase(a, location);
            std::erase(b, location);
            const auto at = std::find(after.begin(), after.end(), location) - after.begin();
            const auto near = neighbours.predecessors(location);
            follows_a_neighbour |= a == b && at > 0 &&
                                   std::find(near.begin(), near.end(), after[at - 1]) != near.end();
        }
        EXPECT_TRUE(follows_a_neighbour);
        for (const std::size_t end : changed_legs(before, after))
            EXPECT_NE(std::find(touched.begin(), touched.end(), end), touched.end()) << end;
    }
}

// Kicks move longer stretches where windows are wide: the count of locations whose
// windows fit into one window's time.
TEST(Kicks, LocationsPerWindowCountTheHorizonEachLocationCovers) {
    const auto windows = [](std::vector<std::pair<std::int64_t, std::int64_t>> spans) {
        TimeWindows location;
        for (const auto& [start, end] : spans)
            location.windows.emplace_back(instant(start), instant(end));
        return location;
    };
    TimeScheduler scheduler;
    // Horizon 0 .. 100: all of it, a quarter, two tenths in two windows, overlapping
    // windows counted once at most, and no windows (open all the time).
    scheduler.time_windows = {windows({{0, 100}}),
                              windows({{50, 75}}),
                              windows({{0, 10}, {20, 30}}),
                              windows({{0, 90}, {10, 100}}),
                              {}};
    EXPECT_DOUBLE_EQ(locations_per_window(scheduler, 5), 1 + 0.25 + 0.2 + 1 + 1);
    // Locations beyond the windows given have none.
    EXPECT_DOUBLE_EQ(locations_per_window(scheduler, 7), 3.45 + 2);
    // Windows that leave no horizon, or none at all.
    scheduler.time_windows = {windows({{40, 40}}), windows({{40, 40}})};
    EXPECT_EQ(locations_per_window(scheduler, 2), 0);
    EXPECT_EQ(locations_per_window(TimeScheduler{}, 3), 0);
}

}  // namespace
