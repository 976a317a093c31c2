// The array tour: every change leaves the same cycle as the plain rearrangement of
// a route would (up to rotation and direction), positions stay consistent, and a
// rollback restores the committed array exactly.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <set>
#include <utility>

#include "search/distance_only/array_tour.hpp"

namespace {

using namespace tourwright;

// The tour's legs as unordered pairs: what a symmetric length depends on.
std::set<std::pair<std::size_t, std::size_t>> legs(const Route& route) {
    std::set<std::pair<std::size_t, std::size_t>> out;
    for (std::size_t k = 0; k < route.size(); ++k) {
        const std::size_t a = route[k], b = route[(k + 1) % route.size()];
        out.emplace(std::min(a, b), std::max(a, b));
    }
    return out;
}

TEST(ArrayTour, ChangesMatchPlainRearrangementsAndRollBack) {
    std::mt19937 rng(3);
    for (std::size_t n : {9u, 10u, 31u, 200u}) {
        Route route = identity_route(n);
        std::shuffle(route.begin(), route.end(), rng);
        ArrayTour tour(route);
        for (int step = 0; step < 300; ++step) {
            const Route before = tour.route_from(route[0]);
            auto pick = [&](std::size_t below) { return static_cast<std::size_t>(rng() % below); };
            // `expected` is the change made on a route beginning where it happens.
            Route expected = tour.route_from(tour.at(pick(n)));
            if (step % 3 == 0) {
                const std::size_t last = 1 + pick(n - 2);
                tour.reverse(expected[0], expected[last]);
                std::reverse(expected.begin(),
                             expected.begin() + static_cast<std::ptrdiff_t>(last) + 1);
            } else if (step % 3 == 1) {
                const std::size_t count = 1 + pick(3), left = count + pick(n - count - 1);
                const bool joined = pick(2), backward = pick(2);
                Route stretch(expected.begin(),
                              expected.begin() + static_cast<std::ptrdiff_t>(count));
                if (backward) std::reverse(stretch.begin(), stretch.end());
                tour.move_stretch(stretch, expected[left], joined);
                if (!joined) std::reverse(stretch.begin(), stretch.end());
                expected.insert(expected.begin() + static_cast<std::ptrdiff_t>(left) + 1,
                                stretch.begin(), stretch.end());
                expected.erase(expected.begin(),
                               expected.begin() + static_cast<std::ptrdiff_t>(count));
            } else {
                const std::size_t first = 1 + pick(n / 2 - 1), second = 1 + pick(n / 2 - 1);
                const bool reverse_first = pick(2), reverse_second = pick(2);
                const auto middle = expected.begin() + static_cast<std::ptrdiff_t>(first);
                const auto end = middle + static_cast<std::ptrdiff_t>(second);
                tour.swap_stretches(tour.position(expected[0]), first, second, reverse_first,
                                    reverse_second);
                if (reverse_first) std::reverse(expected.begin(), middle);
                if (reverse_second) std::reverse(middle, end);
                std::rotate(expected.begin(), middle, end);
            }
            ASSERT_EQ(legs(tour.route_from(0)), legs(expected)) << "n " << n << " step " << step;
            for (std::size_t p = 0; p < n; ++p) ASSERT_EQ(tour.position(tour.at(p)), p);
            if (step % 5 == 4) {
                tour.rollback();
                ASSERT_EQ(tour.route_from(route[0]), before);
            } else {
                tour.commit();
            }
        }
    }
}

}  // namespace
