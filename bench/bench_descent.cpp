// One deterministic descent (no time limit) on random Euclidean problems, with
// incremental trial evaluation and with every trial evaluated in full, without
// and with time windows. Both must end in the same tour; the ratio of their
// times is the speed-up.
//   cmake -S . -B build/bench -DTOURWRIGHT_BUILD_BENCH=ON && cmake --build build/bench
//   build/bench/bench_descent
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <optional>
#include <random>
#include <vector>

#include "euclidean_points.hpp"
#include "search/solver.hpp"

namespace {

using namespace tourwright;

DistanceMatrix random_plane(std::size_t n, unsigned seed) {
    std::mt19937 rng(seed);
    return DistanceMatrix{euclidean::random_rows(n, rng)};
}

// Travel takes the distance in seconds; each location has a two-hour window
// around its visit on a random tour, and a job of up to ten minutes.
TimeScheduler windows_along_a_tour(const DistanceMatrix& matrix, unsigned seed) {
    const std::size_t n = matrix.rows.size();
    std::mt19937 rng(seed);
    std::vector<std::size_t> order(n);
    for (std::size_t k = 0; k < n; ++k) order[k] = k;
    std::shuffle(order.begin() + 1, order.end(), rng);
    TimeScheduler scheduler;
    scheduler.time_windows.resize(n);
    for (const auto& row : matrix.rows) {
        auto& durations = scheduler.duration_matrix.emplace_back();
        for (std::uint64_t d : row)
            durations.push_back(TimeDelta::seconds(static_cast<std::int64_t>(d)));
        scheduler.job_durations.push_back(
            TimeDelta::seconds(std::uniform_int_distribution<int>(0, 600)(rng)));
    }
    const DateTime day = *DateTime::from_civil(2026, 12, 7, 6);
    DateTime clock = day;
    for (std::size_t k = 0; k < n; ++k) {
        const std::size_t at = order[k];
        const DateTime open = k == 0 ? day : clock + TimeDelta::seconds(-3600);
        scheduler.time_windows[at].windows.emplace_back(
            open, open + TimeDelta::seconds(k == 0 ? 86400 : 7200));
        clock =
            clock + scheduler.job_durations[at] + scheduler.duration_matrix[at][order[(k + 1) % n]];
    }
    return scheduler;
}

struct Outcome {
    double seconds;
    Route route;
    std::uint64_t distance;
};

Outcome descend(const DistanceMatrix& matrix, const std::optional<TimeScheduler>& time, bool full) {
    Solver solver(std::nullopt, Penalizer(matrix, time));
    if (full) solver.use_full_evaluation();
    const auto start = std::chrono::steady_clock::now();
    solver.solve();
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    return {took.count(), solver.best().route, solver.best().reported_distance()};
}

}  // namespace

int main() {
    std::printf("%-8s %6s %12s %16s %9s %10s\n", "problem", "n", "full [s]", "incremental [s]",
                "speed-up", "distance");
    for (bool with_time : {false, true}) {
        for (std::size_t n : {25, 50, 100, 200}) {
            const DistanceMatrix matrix = random_plane(n, static_cast<unsigned>(n));
            std::optional<TimeScheduler> time;
            if (with_time) time = windows_along_a_tour(matrix, static_cast<unsigned>(n));
            const Outcome full = descend(matrix, time, true);
            const Outcome fast = descend(matrix, time, false);
            if (full.route != fast.route) {
                std::printf("n=%zu: the two evaluations ended in different tours\n", n);
                return 1;
            }
            std::printf("%-8s %6zu %12.4f %16.4f %8.1fx %10llu\n",
                        with_time ? "windows" : "distance", n, full.seconds, fast.seconds,
                        full.seconds / fast.seconds,
                        static_cast<unsigned long long>(fast.distance));
        }
    }
    return 0;
}
