#pragma once
// Random points in a square of side 1000 and the rounded distances between them: the
// problems without time data that the core tests, the fuzz driver and the benchmarks
// search. One generator, so that a problem drawn from the same stream is the same
// problem everywhere.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <random>
#include <utility>
#include <vector>

namespace tourwright::euclidean {

using Points = std::vector<std::pair<double, double>>;
using Rows = std::vector<std::vector<std::uint64_t>>;

// `n` points, each drawn x then y, uniform in [0, 1000).
inline Points random_points(std::size_t n, std::mt19937& rng) {
    std::uniform_real_distribution<double> coordinate(0, 1000);
    Points points(n);
    for (auto& [x, y] : points) {
        x = coordinate(rng);
        y = coordinate(rng);
    }
    return points;
}

// The distance from `a` to `b`, rounded to the nearest whole number.
inline std::uint64_t rounded_distance(const std::pair<double, double>& a,
                                      const std::pair<double, double>& b) {
    return static_cast<std::uint64_t>(
        std::lround(std::hypot(a.first - b.first, a.second - b.second)));
}

inline Rows distance_rows(const Points& points) {
    Rows rows(points.size(), std::vector<std::uint64_t>(points.size()));
    for (std::size_t a = 0; a < points.size(); ++a)
        for (std::size_t b = 0; b < points.size(); ++b)
            rows[a][b] = rounded_distance(points[a], points[b]);
    return rows;
}

inline Rows random_rows(std::size_t n, std::mt19937& rng) {
    return distance_rows(random_points(n, rng));
}

}  // namespace tourwright::euclidean
