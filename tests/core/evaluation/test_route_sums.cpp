// The route sums give the total of every trial a move describes by runs exactly as
// summing the moved route leg by leg, also after a reset that keeps a prefix.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <vector>

#include "evaluation/route_sums.hpp"
#include "model/distance_matrix.hpp"
#include "search/local_moves.hpp"
#include "test_support.hpp"

namespace {

using namespace tourwright;
using namespace tourwright::test_support;

using Legs = std::vector<std::vector<std::int64_t>>;

struct LegOf {
    const Legs* legs;
    std::int64_t operator()(std::size_t from, std::size_t to) const { return (*legs)[from][to]; }
};

std::int64_t closed_total(const Legs& legs, const Route& route) {
    std::int64_t total = 0;
    for (std::size_t k = 0; k < route.size(); ++k)
        total += legs[route[k]][route[(k + 1) % route.size()]];
    return total;
}

TEST(RouteLegSums, EveryMoveTotalsAsTheMovedRoute) {
    Rng rng(5);
    for (std::size_t n : {2, 3, 6, 11}) {
        Legs legs(n, std::vector<std::int64_t>(n));
        for (auto& row : legs)
            for (auto& leg : row) leg = draw(rng, -20, 100);  // asymmetric, some negative
        RouteLegSums<std::int64_t, LegOf> sums(LegOf{&legs});
        Route route = identity_route(n);
        std::shuffle(route.begin(), route.end(), rng);
        sums.reset(route);
        EXPECT_EQ(sums.total(), closed_total(legs, route));
        for (std::size_t k = 1; k < n; ++k) {
            EXPECT_EQ(sums.leg_into(k), legs[route[k - 1]][route[k]]);
            EXPECT_EQ(sums.leg_back_into(k), legs[route[k]][route[k - 1]]);
        }
        std::array<tourwright::Run, 3> runs;
        for (const LocalMove& move : kLocalMoves) {
            for (std::size_t i = 0; i < n; ++i) {
                for (std::size_t j = i + move.gap + 1; j < n; ++j) {
                    Route moved = route;
                    move.apply(moved, i, j);
                    ASSERT_EQ(sums.total_with(i, j, {runs.data(), move.runs(i, j, runs)}),
                              closed_total(legs, moved))
                        << move.name << " at (" << i << ", " << j << "), n = " << n;
                }
            }
        }
        // An accepted trial changes the route from some position on; the sums before
        // it stand.
        Route changed = route;
        const auto from = static_cast<std::size_t>(draw(rng, 0, static_cast<std::int64_t>(n) - 1));
        std::reverse(changed.begin() + static_cast<std::ptrdiff_t>(from), changed.end());
        sums.reset(changed, from);
        EXPECT_EQ(sums.total(), closed_total(legs, changed));
        // A move in the middle: the sums after it only shift, up or down, also where they
        // are unsigned and the shift wraps.
        RouteLegSums<Distance, LegOf> wide(LegOf{&legs});
        wide.reset(changed);
        const auto to = static_cast<std::size_t>(
            draw(rng, static_cast<std::int64_t>(from), static_cast<std::int64_t>(n) - 1));
        Route middle = changed;
        std::reverse(middle.begin() + static_cast<std::ptrdiff_t>(from),
                     middle.begin() + static_cast<std::ptrdiff_t>(to) + 1);
        sums.reset(middle, from, to + 1);
        wide.reset(middle, from, to + 1);
        EXPECT_EQ(sums.total(), closed_total(legs, middle));
        EXPECT_EQ(wide.total(), static_cast<Distance>(closed_total(legs, middle)));
        for (std::size_t k = 1; k < n; ++k) {
            EXPECT_EQ(sums.leg_into(k), legs[middle[k - 1]][middle[k]]) << k;
            EXPECT_EQ(sums.leg_back_into(k), legs[middle[k]][middle[k - 1]]) << k;
            EXPECT_EQ(wide.leg_into(k), static_cast<Distance>(legs[middle[k - 1]][middle[k]]));
        }
    }
}

}  // namespace
