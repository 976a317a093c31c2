// One deterministic descent (no time limit) on random Euclidean problems, with
// trial distances from prefix sums and with every trial evaluated in full.
// Both must end in the same tour; the ratio of their times is the speed-up.
//   cmake -S . -B build/bench -DTOURWRIGHT_BUILD_BENCH=ON && cmake --build build/bench
//   build/bench/bench_descent
#include <chrono>
#include <cmath>
#include <cstdio>
#include <optional>
#include <random>
#include <vector>

#include "solver.hpp"

namespace {

using namespace tourwright;

DistanceMatrix euclidean(std::size_t n, unsigned seed) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> coordinate(0, 1000);
    std::vector<std::pair<double, double>> points(n);
    for (auto& [x, y] : points) x = coordinate(rng), y = coordinate(rng);
    DistanceMatrix matrix{std::vector<std::vector<std::uint64_t>>(n, std::vector<std::uint64_t>(n))};
    for (std::size_t a = 0; a < n; ++a)
        for (std::size_t b = 0; b < n; ++b)
            matrix.rows[a][b] = static_cast<std::uint64_t>(
                std::lround(std::hypot(points[a].first - points[b].first,
                                       points[a].second - points[b].second)));
    return matrix;
}

struct Outcome {
    double seconds;
    Route route;
    std::uint64_t distance;
};

Outcome descend(const DistanceMatrix& matrix, bool full) {
    Solver solver(std::nullopt, Penalizer(matrix, std::nullopt));
    if (full) solver.use_full_evaluation();
    const auto start = std::chrono::steady_clock::now();
    solver.solve();
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    return {took.count(), solver.best().route, solver.best().reported_distance()};
}

}  // namespace

int main() {
    std::printf("%6s %12s %12s %9s %10s\n", "n", "full [s]", "prefix [s]", "speed-up", "distance");
    for (std::size_t n : {25, 50, 100, 200}) {
        const DistanceMatrix matrix = euclidean(n, static_cast<unsigned>(n));
        const Outcome full = descend(matrix, true);
        const Outcome fast = descend(matrix, false);
        if (full.route != fast.route) {
            std::printf("n=%zu: the two evaluations ended in different tours\n", n);
            return 1;
        }
        std::printf("%6zu %12.4f %12.4f %8.1fx %10llu\n", n, full.seconds, fast.seconds,
                    full.seconds / fast.seconds, static_cast<unsigned long long>(fast.distance));
    }
    return 0;
}
