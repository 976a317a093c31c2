// Alpha-nearness lists: the legs of the best tour come first where the nearest by
// distance would miss them, and the lists give up cleanly.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numeric>

#include "euclidean_points.hpp"
#include "search/distance_only/alpha_nearness.hpp"

namespace {

using namespace tourwright;

// Nearest first, ties by index; `count` per location, row after row.
std::vector<std::size_t> nearest(const std::vector<std::vector<std::int64_t>>& legs,
                                 std::size_t count) {
    const std::size_t n = legs.size();
    std::vector<std::size_t> rows;
    for (std::size_t a = 0; a < n; ++a) {
        std::vector<std::size_t> others;
        for (std::size_t b = 0; b < n; ++b)
            if (b != a) others.push_back(b);
        std::stable_sort(others.begin(), others.end(),
                         [&](std::size_t x, std::size_t y) { return legs[a][x] < legs[a][y]; });
        rows.insert(rows.end(), others.begin(),
                    others.begin() + static_cast<std::ptrdiff_t>(count));
    }
    return rows;
}

std::vector<std::vector<std::int64_t>> plane(const std::vector<std::pair<double, double>>& points) {
    std::vector<std::vector<std::int64_t>> legs(points.size(),
                                                std::vector<std::int64_t>(points.size()));
    for (std::size_t a = 0; a < points.size(); ++a)
        for (std::size_t b = 0; b < points.size(); ++b)
            legs[a][b] =
                static_cast<std::int64_t>(euclidean::rounded_distance(points[a], points[b]));
    return legs;
}

// A 3 x 3 grid of points 10 apart and one point 500 away: every tour has two legs
// between it and the grid, which no grid point's five nearest hold, while the
// cheapest trees always join it to the grid, so some grid point lists it among its
// five alpha-nearest (and the far point lists grid points).
TEST(AlphaNearness, ListsTheLegsEveryTreeAndTourNeeds) {
    std::vector<std::pair<double, double>> points;
    for (std::size_t k = 0; k < 9; ++k)
        points.emplace_back(10.0 * static_cast<double>(k % 3), 10.0 * static_cast<double>(k / 3));
    points.emplace_back(520.0, 10.0);
    const auto legs = plane(points);
    const std::size_t n = points.size(), far = n - 1, count = 5;
    const auto near = nearest(legs, count);
    for (std::size_t a = 0; a < far; ++a)
        EXPECT_EQ(std::count(near.begin() + static_cast<std::ptrdiff_t>(a * count),
                             near.begin() + static_cast<std::ptrdiff_t>((a + 1) * count), far),
                  0);
    const auto lists = alpha_nearest(
        n, near, count, [&](std::size_t a, std::size_t b) { return legs[a][b]; }, count, 100,
        [] { return false; }, [] { return false; });
    ASSERT_EQ(lists.size(), n * count);
    EXPECT_GT(
        std::count(lists.begin(), lists.begin() + static_cast<std::ptrdiff_t>(far * count), far),
        0);
    for (std::size_t k = 0; k < count; ++k) EXPECT_LT(lists[far * count + k], far);
}

TEST(AlphaNearness, EndsWhenAskedAndGivesUpWhenTheLegsDoNotConnect) {
    // Two groups far apart: with two nearest each, every location lists only its own.
    std::vector<std::pair<double, double>> points;
    for (std::size_t k = 0; k < 8; ++k)
        points.emplace_back(static_cast<double>(k % 4), k < 4 ? 0.0 : 1000.0);
    const auto legs = plane(points);
    const auto lists = [&](std::size_t near_count, bool stop, bool enough, std::int64_t scale) {
        return alpha_nearest(
            8, nearest(legs, near_count), near_count,
            [&](std::size_t a, std::size_t b) { return scale * legs[a][b]; }, 2, 10,
            [&] { return stop; }, [&] { return enough; });
    };
    EXPECT_TRUE(lists(2, false, false, 1).empty());
    EXPECT_EQ(lists(5, false, false, 1).size(), 16u);
    // Ended after its first step, the ascent still gives lists; stopped, none.
    EXPECT_EQ(lists(5, false, true, 1).size(), 16u);
    EXPECT_TRUE(lists(5, true, false, 1).empty());
    // Legs too long for the ascent's arithmetic.
    EXPECT_TRUE(lists(5, false, false, std::int64_t{1} << 50).empty());
}

}  // namespace
