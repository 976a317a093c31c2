// The coordinate layout's shortened distances against the collections' own three loops.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "util/shortened_distances.hpp"

namespace {

struct Points {
    std::vector<std::int64_t> xs, ys;
    std::int64_t scale;
};

// floor(sqrt(dx^2 + dy^2) / scale), exactly.
std::vector<std::int64_t> floor_distances(const Points& points) {
    const std::size_t n = points.xs.size();
    std::vector<std::int64_t> d(n * n);
    for (std::size_t i = 0; i < n; ++i) {
        for (std::size_t j = 0; j < n; ++j) {
            const std::int64_t dx = points.xs[i] - points.xs[j], dy = points.ys[i] - points.ys[j];
            const std::int64_t square = dx * dx + dy * dy;
            auto root = static_cast<std::int64_t>(std::sqrt(static_cast<double>(square)));
            while (root * root > square) --root;
            while ((root + 1) * (root + 1) <= square) ++root;
            d[i * n + j] = root / points.scale;
        }
    }
    return d;
}

std::vector<std::int64_t> three_loops(std::vector<std::int64_t> d, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i)
        for (std::size_t j = 0; j < n; ++j)
            for (std::size_t k = 0; k < n; ++k)
                d[i * n + j] = std::min(d[i * n + j], d[i * n + k] + d[k * n + j]);
    return d;
}

TEST(ShortenedDistances, SameAsTheThreeLoops) {
    std::mt19937_64 rng(7);
    int shortened = 0;
    const auto uniform = [&](std::int64_t high) {
        return std::uniform_int_distribution<std::int64_t>(0, high)(rng);
    };
    for (int trial = 0; trial < 200; ++trial) {
        // Now and then enough points for narrow cones, looked at point by point.
        const std::size_t n = trial % 37 == 8 ? 200 : 2 + static_cast<std::size_t>(uniform(70));
        Points points{{}, {}, trial % 3 == 0 ? 100 : 1};
        // Small sides mostly (many shortened legs); some near the widest span allowed, whose
        // distances need 64-bit entries, or 32-bit ones in hundredths.
        const std::int64_t side =
            trial % 7 == 3 ? (std::int64_t{1} << 30) - uniform(1 << 20) : 1 << uniform(12);
        for (std::size_t i = 0; i < n; ++i) {
            switch (trial % 5) {
                case 0:
                    points.xs.push_back(uniform(side));
                    points.ys.push_back(uniform(side));
                    break;
                case 1:  // one line, with repeated points: long chains of shortened legs
                    points.xs.push_back(3 * (i % 17) + uniform(1));
                    points.ys.push_back(2 * points.xs.back());
                    break;
                case 2:  // a coarse grid: many ties and near-collinear triples
                    points.xs.push_back(uniform(6) * side / 8);
                    points.ys.push_back(uniform(3) * side / 8);
                    break;
                case 3:  // nearly on one line: deficits build up along chains of shortened legs
                    points.xs.push_back(37 * static_cast<std::int64_t>(i) + uniform(3));
                    points.ys.push_back(11 * static_cast<std::int64_t>(i) + uniform(3));
                    break;
                default:  // close pairs far apart
                    points.xs.push_back(i % 2 ? points.xs.back() + uniform(2) : uniform(side));
                    points.ys.push_back(i % 2 ? points.ys.back() : uniform(side));
            }
        }
        std::vector<std::int64_t> d = floor_distances(points);
        const std::vector<std::int64_t> expected = three_loops(d, n);
        shortened += d != expected;
        // As planned by default; every cone looked at point by point; nearly all swept.
        for (const tourwright::ShorteningPlan plan :
             {tourwright::ShorteningPlan{}, tourwright::ShorteningPlan{0, 0},
              tourwright::ShorteningPlan{n + 1, n + 1}}) {
            std::vector<std::int64_t> shortened_here = d;
            tourwright::shorten_through_third(shortened_here, points.xs, points.ys, points.scale,
                                              plan);
            ASSERT_EQ(shortened_here, expected)
                << "trial " << trial << ", wide share " << plan.wide_share;
        }
    }
    EXPECT_GT(shortened, 100);  // most trials have legs to shorten
}

}  // namespace
