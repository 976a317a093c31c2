#include "engine/engine.hpp"

#include <algorithm>
#include <atomic>
#include <exception>
#include <limits>
#include <mutex>
#include <thread>
#include <vector>

#include "util/clock.hpp"
#include "search/iterated_search.hpp"
#include "util/rng.hpp"
#include "util/search_clock.hpp"
#include "search/solver.hpp"

namespace tourwright {
namespace {

// What the threads of one search share: the descents begun, the best tour found,
// and the request to stop.
class Search {
public:
    Search(std::shared_ptr<const Penalizer> penalizer, const EngineOptions& options)
        : penalizer_(std::move(penalizer)),
          options_(options),
          descent_cap_(options.max_descents ? *options.max_descents
                       : options.time_limit ? std::numeric_limits<std::uint64_t>::max()
                                            : 1) {}

    // Searches on thread `t` with the stop check `check` until the cap, the clock or a
    // stop request ends it.
    void run_thread(unsigned t, SearchClock::StopCheck check) {
        if (options_.strategy == Strategy::Multistart) {
            Solver solver(options_.time_limit, penalizer_, options_.depot.has_value());
            solver.set_stop_check(std::move(check));
            run_multistart(solver);
        } else {
            SearchClock clock(options_.time_limit);
            clock.set_stop_check(std::move(check));
            clock.start();
            run_iterated(t, clock);
        }
    }

    // Stop checks: the calling thread's asks `progress`; the others' follow it.
    bool calling_thread_check(const ProgressCheck& progress, TimeDelta started_at) {
        if (stop_requested_.load(std::memory_order_relaxed)) return true;
        if (!progress) return false;
        std::optional<Objective> best;
        {
            std::lock_guard lock(mutex_);
            if (best_) best = penalizer_->objective(*best_);
        }
        const EngineProgress report{monotonic_now() - started_at, descents_begun(), best};
        if (progress(report)) return false;
        request_stop();
        return true;
    }
    bool other_thread_check() const { return stop_requested_.load(std::memory_order_relaxed); }
    void request_stop() { stop_requested_.store(true, std::memory_order_relaxed); }

    std::uint64_t descents_begun() const {
        // An iterated search reports its descents as they end; the one each search
        // thread is in has begun too (exact once the threads are done).
        return options_.strategy == Strategy::Multistart ? std::min(next_descent_.load(), descent_cap_)
                                                         : iterated_descents_.load() + iterated_running_.load();
    }

    // The best tour found, or the first start when no descent finished.
    Solution best() {
        if (best_) return std::move(*best_);
        return penalizer_->penalize(start_of(0), false);
    }

private:
    void run_multistart(Solver& solver) {
        solver.clock().start();
        while (!solver.stopping()) {
            const std::uint64_t descent = next_descent_.fetch_add(1);
            if (descent >= descent_cap_) break;
            solver.descend_from(start_of(descent));
            offer(solver.current(), descent);
        }
    }

    // Thread t makes its share of the cap on descents, from its own stream.
    void run_iterated(unsigned t, SearchClock& clock) {
        const std::uint64_t threads = std::max(options_.threads, 1u);
        const std::uint64_t share =
            descent_cap_ == std::numeric_limits<std::uint64_t>::max()
                ? descent_cap_
                : descent_cap_ / threads + (t < descent_cap_ % threads ? 1 : 0);
        if (share == 0) return;
        IteratedSearchOptions iterated;
        iterated.keep_first = options_.depot.has_value();
        if (share != std::numeric_limits<std::uint64_t>::max()) iterated.max_descents = share;
        iterated.on_descent = [&](std::uint64_t, const Solution& best) {
            iterated_descents_.fetch_add(1, std::memory_order_relaxed);
            offer(best, t);
        };
        struct Running {
            std::atomic<std::uint64_t>& count;
            explicit Running(std::atomic<std::uint64_t>& c) : count(c) { ++count; }
            ~Running() { --count; }
        };
        auto search = [&](auto& rng) {
            const Running running(iterated_running_);
            offer(iterated_search(*penalizer_, start_of(0), iterated, clock, rng).best, t);
        };
        if (options_.seed) {
            SeededRng rng(*options_.seed, t);
            search(rng);
        } else {
            search(thread_rng());
        }
    }

    // Descent 0 starts from the index order, later ones from a random order; with a
    // depot it stays first and only the others are shuffled.
    Route start_of(std::uint64_t descent) const {
        Route route = identity_route(penalizer_->location_count());
        const std::size_t fixed = options_.depot ? 1 : 0;
        if (options_.depot) {
            const auto depot = route.begin() + static_cast<std::ptrdiff_t>(*options_.depot);
            std::rotate(route.begin(), depot, depot + 1);
        }
        if (descent > 0 && route.size() > fixed) {
            std::span<std::size_t> movable(route.begin() + static_cast<std::ptrdiff_t>(fixed), route.end());
            if (options_.seed) {
                SeededRng rng(*options_.seed, descent);
                shuffle(movable, rng);
            } else {
                shuffle(movable, thread_rng());
            }
        }
        return options_.depot ? route : start_route(*penalizer_, std::move(route));
    }

    // Keeps the better tour; between equals, the one of the earlier descent (or
    // thread), so that the outcome does not depend on which thread finished first.
    void offer(const Solution& candidate, std::uint64_t order) {
        std::lock_guard lock(mutex_);
        const bool better = !best_ || penalizer_->is_better(candidate, *best_) ||
                            (!penalizer_->is_better(*best_, candidate) && order < best_order_);
        if (!better) return;
        best_ = candidate;
        best_order_ = order;
    }

    std::shared_ptr<const Penalizer> penalizer_;
    const EngineOptions& options_;
    const std::uint64_t descent_cap_;
    std::atomic<std::uint64_t> next_descent_{0};
    std::atomic<std::uint64_t> iterated_descents_{0};  // ended
    std::atomic<std::uint64_t> iterated_running_{0};   // search threads in a search
    std::atomic<bool> stop_requested_{false};
    std::mutex mutex_;
    std::optional<Solution> best_;
    std::uint64_t best_order_ = 0;
};

}  // namespace

EngineResult run_engine(std::shared_ptr<const Penalizer> penalizer, const EngineOptions& options,
                        const ProgressCheck& progress) {
    const TimeDelta started_at = monotonic_now();
    Search search(penalizer, options);

    std::vector<std::exception_ptr> failures(std::max(options.threads, 1u));
    std::vector<std::thread> helpers;
    try {
        for (unsigned t = 1; t < options.threads; ++t) {
            helpers.emplace_back([&, t] {
                try {
                    search.run_thread(t, [&] { return search.other_thread_check(); });
                } catch (...) {
                    failures[t] = std::current_exception();
                    search.request_stop();
                }
            });
        }
        search.run_thread(0, [&] { return search.calling_thread_check(progress, started_at); });
    } catch (...) {
        failures[0] = std::current_exception();
        search.request_stop();
    }
    for (std::thread& helper : helpers) helper.join();
    for (const std::exception_ptr& failure : failures)
        if (failure) std::rethrow_exception(failure);

    EngineResult result;
    result.best = penalizer->penalize(search.best().route, true);
    result.descents = search.descents_begun();
    result.time_taken = monotonic_now() - started_at;
    return result;
}

}  // namespace tourwright
