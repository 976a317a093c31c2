#include "engine.hpp"

#include <algorithm>
#include <atomic>
#include <exception>
#include <limits>
#include <mutex>
#include <thread>
#include <vector>

#include "clock.hpp"
#include "rng.hpp"
#include "solver.hpp"

namespace tourwright {
namespace {

// What the threads of one search share: the next descent to begin, the best
// finished descent, and the request to stop.
class Search {
public:
    Search(std::shared_ptr<const Penalizer> penalizer, const EngineOptions& options)
        : penalizer_(std::move(penalizer)),
          options_(options),
          descent_cap_(options.max_descents ? *options.max_descents
                       : options.time_limit ? std::numeric_limits<std::uint64_t>::max()
                                            : 1) {}

    // Makes descents on this thread until the cap, the clock or a stop request ends them.
    void work(Solver& solver) {
        solver.clock().start();
        while (!solver.stopping()) {
            const std::uint64_t descent = next_descent_.fetch_add(1);
            if (descent >= descent_cap_) break;
            solver.descend_from(start_of(descent, solver));
            offer(solver.current(), descent);
        }
    }

    // Stop checks: the calling thread's asks `progress`; the others' follow it.
    bool calling_thread_check(const ProgressCheck& progress, TimeDelta started_at) {
        if (stop_requested_.load(std::memory_order_relaxed)) return true;
        std::optional<Solution> best;
        {
            std::lock_guard lock(mutex_);
            best = best_;
        }
        const EngineProgress report{monotonic_now() - started_at, descents_begun(),
                                    best ? &*best : nullptr};
        if (!progress || progress(report)) return false;
        request_stop();
        return true;
    }
    bool other_thread_check() const { return stop_requested_.load(std::memory_order_relaxed); }
    void request_stop() { stop_requested_.store(true, std::memory_order_relaxed); }

    std::uint64_t descents_begun() const { return std::min(next_descent_.load(), descent_cap_); }

    // The best finished descent, or the first start when none finished.
    Solution best(const Solver& solver) {
        if (best_) return std::move(*best_);
        return penalizer_->penalize(start_of(0, solver), false);
    }

private:
    // Descent 0 starts from the index order, later ones from a random order; with a
    // depot it stays first and only the others are shuffled.
    Route start_of(std::uint64_t descent, const Solver& solver) const {
        Route route = identity_route(penalizer_->location_count());
        if (options_.depot) std::rotate(route.begin(), route.begin() + *options_.depot, route.begin() + *options_.depot + 1);
        const std::size_t fixed = options_.depot ? 1 : 0;
        if (descent > 0 && route.size() > fixed) {
            std::span<std::size_t> movable(route.begin() + fixed, route.end());
            if (options_.seed) {
                SeededRng rng(*options_.seed, descent);
                shuffle(movable, rng);
            } else {
                shuffle(movable, thread_rng());
            }
        }
        return options_.depot ? route : solver.start_route(std::move(route));
    }

    // Keeps the better tour; between equals, the one of the earlier descent, so that
    // the outcome does not depend on which thread finished first.
    void offer(const Solution& candidate, std::uint64_t descent) {
        std::lock_guard lock(mutex_);
        const bool better = !best_ || penalizer_->is_better(candidate, *best_) ||
                            (!penalizer_->is_better(*best_, candidate) && descent < best_descent_);
        if (!better) return;
        best_ = candidate;
        best_descent_ = descent;
    }

    std::shared_ptr<const Penalizer> penalizer_;
    const EngineOptions& options_;
    const std::uint64_t descent_cap_;
    std::atomic<std::uint64_t> next_descent_{0};
    std::atomic<bool> stop_requested_{false};
    std::mutex mutex_;
    std::optional<Solution> best_;
    std::uint64_t best_descent_ = 0;
};

}  // namespace

EngineResult run_engine(std::shared_ptr<const Penalizer> penalizer, const EngineOptions& options,
                        const ProgressCheck& progress) {
    const TimeDelta started_at = monotonic_now();
    Search search(penalizer, options);
    const bool keep_first = options.depot.has_value();

    std::vector<std::exception_ptr> failures(std::max(options.threads, 1u));
    std::vector<std::thread> helpers;
    std::optional<Solver> solver;
    try {
        for (unsigned t = 1; t < options.threads; ++t) {
            helpers.emplace_back([&, t] {
                try {
                    Solver helper(options.time_limit, penalizer, keep_first);
                    helper.set_stop_check([&] { return search.other_thread_check(); });
                    search.work(helper);
                } catch (...) {
                    failures[t] = std::current_exception();
                    search.request_stop();
                }
            });
        }
        solver.emplace(options.time_limit, penalizer, keep_first);
        solver->set_stop_check([&] { return search.calling_thread_check(progress, started_at); });
        search.work(*solver);
    } catch (...) {
        failures[0] = std::current_exception();
        search.request_stop();
    }
    for (std::thread& helper : helpers) helper.join();
    for (const std::exception_ptr& failure : failures)
        if (failure) std::rethrow_exception(failure);

    EngineResult result;
    result.best = penalizer->penalize(search.best(*solver).route, true);
    result.descents = search.descents_begun();
    result.time_taken = monotonic_now() - started_at;
    return result;
}

}  // namespace tourwright
