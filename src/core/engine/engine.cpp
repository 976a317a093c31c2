#include "engine/engine.hpp"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <exception>
#include <limits>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "engine/departure.hpp"
#include "evaluation/trial_evaluator.hpp"
#include "search/iterated_search.hpp"
#include "search/solver.hpp"
#include "util/clock.hpp"
#include "util/panic.hpp"
#include "util/rng.hpp"
#include "util/search_clock.hpp"

namespace tourwright {
namespace {

// A quarter of `span`, which is not negative.
TimeDelta quarter(TimeDelta span) {
    constexpr std::int64_t kNanos = 1'000'000'000;
    const auto nanos = ((span.secs % 4) * kNanos + span.nanos) / 4;
    return TimeDelta{span.secs / 4, static_cast<std::int32_t>(nanos)};
}

// What the threads of one search share: the descents begun, the best tour found,
// and the request to stop.
class Search {
public:
    // The order of a candidate that loses every tie.
    static constexpr std::uint64_t kLastOrder = std::numeric_limits<std::uint64_t>::max();

    Search(std::shared_ptr<const Penalizer> penalizer, const EngineOptions& options)
        : penalizer_(std::move(penalizer)),
          options_(options),
          descent_cap_(options.max_descents ? *options.max_descents
                       : options.time_limit ? std::numeric_limits<std::uint64_t>::max()
                                            : 1) {
        if (options_.initial) offer(penalizer_->penalize(*options_.initial, false), kLastOrder);
    }

    // Makes what every thread reads, once, under the time limit and `check`; the threads
    // then get what is left of the limit. False when the limit or the check ended it.
    bool set_up(SearchClock::StopCheck check) {
        SearchClock clock(options_.time_limit);
        clock.set_stop_check(std::move(check));
        clock.start();
        if (!TrialEvaluator::basis(*penalizer_, [&clock] { return clock.should_stop(); }))
            return false;
        options_.time_limit = clock.time_left();
        return true;
    }

    // Searches on worker `w` of `workers` with the stop check `check` until the cap, the
    // clock or a stop request ends it. The iterated search's logical searches
    // (`options.threads` of them, see EngineOptions) go to the workers in turn: w, w +
    // workers, ..., one after another on one clock.
    void run_worker(unsigned w, unsigned workers, SearchClock::StopCheck check) {
        if (options_.strategy == Strategy::Multistart) {
            Solver solver(options_.time_limit, penalizer_, kept_first(),
                          options_.ends.keeps_last());
            solver.set_stop_check(std::move(check));
            run_multistart(solver);
        } else {
            SearchClock clock(options_.time_limit);
            clock.set_stop_check(std::move(check));
            clock.start();
            for (unsigned t = w; t < options_.threads && !clock.should_stop(); t += workers)
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
        return options_.strategy == Strategy::Multistart
                   ? std::min(next_descent_.load(), descent_cap_)
                   : iterated_descents_.load() + iterated_running_.load();
    }

    // The best tour found. Where no descent finished, none may have begun, or the
    // one cut short may have begun from a worse tour: the tour the iterated search
    // begins from is a candidate too, so that the shortest limit gives at least it
    // (an initial route was one from the outset).
    Solution best() {
        if (!descended_.load() && !options_.initial) {
            Route first =
                first_tour(*penalizer_, start_of(0), kept_first(), options_.ends.keeps_last());
            offer(penalizer_->penalize(std::move(first), false), kLastOrder);
        }
        return std::move(*best_);
    }

    // Whether a descent ended at a local optimum rather than where the clock stopped it.
    bool descended() const { return descended_.load(); }

private:
    void run_multistart(Solver& solver) {
        solver.clock().start();
        while (!solver.stopping()) {
            const std::uint64_t descent = next_descent_.fetch_add(1);
            if (descent >= descent_cap_) break;
            solver.descend_from(start_of(descent));
            if (!solver.stopped()) descended_.store(true);
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
        iterated.keep_first = kept_first();
        iterated.keep_last = options_.ends.keeps_last();
        iterated.begin_as_given = options_.initial.has_value();
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
            // Each part's set-up is begun only while the clock allows.
            if (clock.should_stop()) return;
            iterated.takes_distance_only = takes_distance_only_search(*penalizer_, iterated, clock);
            // Distance-only tours go without the index-order descent unless the search is that one
            // descent: its sweeps try every pair of positions (minutes at n = 5000), and it
            // would take the time of a search whose tours are far shorter. An initial route
            // is the candidate that bounds the result instead.
            const bool searching = options_.time_limit || share > 1;
            if (t == 0 && !options_.ends.start && !options_.initial &&
                !(*iterated.takes_distance_only && searching) && !clock.should_stop())
                offer(index_order_descent(clock), t);
            if (!clock.should_stop()) {
                SearchOutcome outcome =
                    iterated_search(*penalizer_, start_of(0), iterated, clock, rng);
                if (outcome.descended) descended_.store(true);
                offer(outcome.best, t);
            }
        };
        if (options_.seed) {
            SeededRng rng(*options_.seed, t);
            search(rng);
        } else {
            search(thread_rng());
        }
    }

    // The descent that `Solver::solve` makes first, from the index order: as a
    // candidate, it makes sure that the iterated search never ends with a worse
    // tour, whatever its own first location. It stops with `clock`, and under a time
    // limit after a quarter of what is left: a full descent costs seconds at a thousand
    // locations, which would leave the iterated search nothing. Cut short, its tour is
    // still a candidate.
    Solution index_order_descent(SearchClock& clock) {
        const auto left = clock.time_left();
        Solver solver(left ? std::optional(quarter(*left)) : std::nullopt, penalizer_, false);
        solver.set_stop_check([&clock] { return clock.should_stop(); });
        solver.clock().start();
        solver.descend_from(start_of(0));
        if (!solver.stopped()) descended_.store(true);
        return solver.current();
    }

    // The positions that stay where they are at the front of every tour: the start and
    // the run pinned after it.
    std::size_t kept_first() const { return options_.ends.start ? 1 + options_.pinned.size() : 0; }

    // Descent 0 starts from the initial route or else the index order, later ones from a
    // random order; a start stays first with its pinned run after it, an end last, and
    // only the others are shuffled. Where locations are optional, a later descent begins
    // without each of them in one case of two, so that restarts choose what to serve too.
    Route start_of(std::uint64_t descent) const {
        if (descent == 0 && options_.initial) return *options_.initial;
        Route route = identity_route(penalizer_->location_count());
        const TourEnds& ends = options_.ends;
        const std::size_t fixed = kept_first();
        const std::size_t stop = route.size() - (ends.keeps_last() ? 1 : 0);
        if (ends.start) {
            const auto start = route.begin() + static_cast<std::ptrdiff_t>(*ends.start);
            std::rotate(route.begin(), start, start + 1);
            // Each pinned location moves up to its place; the others keep their order.
            for (std::size_t k = 0; k < options_.pinned.size(); ++k) {
                const auto place = route.begin() + static_cast<std::ptrdiff_t>(k + 1);
                const auto pinned = std::find(place, route.end(), options_.pinned[k]);
                std::rotate(place, pinned, pinned + 1);
            }
        }
        if (ends.keeps_last()) {
            const auto end = std::find(route.begin(), route.end(), *ends.end);
            std::rotate(end, end + 1, route.end());
        }
        if (descent > 0 && stop > fixed) {
            std::span<std::size_t> movable(route.begin() + static_cast<std::ptrdiff_t>(fixed),
                                           route.begin() + static_cast<std::ptrdiff_t>(stop));
            const OptionalStops& stops = penalizer_->optional_stops();
            auto randomize = [&](auto& rng) {
                shuffle(movable, rng);
                if (!stops.any()) return;
                const auto kept = route.begin() + static_cast<std::ptrdiff_t>(fixed);
                const auto last = route.begin() + static_cast<std::ptrdiff_t>(stop);
                route.erase(std::remove_if(kept, last,
                                           [&](std::size_t location) {
                                               return stops.optional(location) &&
                                                      rng.next_u32() % 2 == 0;
                                           }),
                            last);
            };
            if (options_.seed) {
                SeededRng rng(*options_.seed, descent);
                randomize(rng);
            } else {
                randomize(thread_rng());
            }
        }
        return ends.start ? route : start_route(*penalizer_, std::move(route));
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
    EngineOptions options_;
    const std::uint64_t descent_cap_;
    std::atomic<std::uint64_t> next_descent_{0};
    std::atomic<std::uint64_t> iterated_descents_{0};  // ended
    std::atomic<std::uint64_t> iterated_running_{0};   // search threads in a search
    std::atomic<bool> stop_requested_{false};
    std::atomic<bool> descended_{false};
    std::mutex mutex_;
    std::optional<Solution> best_;
    std::uint64_t best_order_ = 0;
};

// Makes the calling thread's thread-local data of the C++ runtime (its exception
// globals) and of this library (thread_rng). Where they live in a library loaded
// after the program started (the C++ runtime and this library under Python), the C
// library allocates them at their first use, and ends the process when that fails:
// a thread that first meets them in the `std::bad_alloc` of an exhausted address
// space would end it instead of failing.
void make_thread_locals() {
    // Declared pure, so that only a store the compiler must make keeps the call.
    [[maybe_unused]] volatile int unwinding = std::uncaught_exceptions();
    thread_rng();
}

// Room kept free while a helper is started, and handed back just before it makes its
// thread-local data: that data takes a few hundred bytes, and the C library may have
// to grow its heap by a little more than 128 KiB for them.
constexpr std::size_t kThreadLocalReserve = std::size_t{1} << 20;

// The helper threads of one search, stopped and joined on every way out of
// run_engine: also when the calling thread unwinds, whatever the cause (a thread
// that the interpreter ends inside the progress check included), since a thread
// left joinable would end the process. They are started one at a time while no
// search thread allocates: each makes its thread-local data (see make_thread_locals)
// in room freed for it, and waits until every helper is started before it searches.
class Helpers {
public:
    Helpers(Search& search, unsigned count) : search_(search), workers_(count + 1) {
        threads_.reserve(count);
        failures_.resize(count);
    }
    Helpers(const Helpers&) = delete;
    Helpers& operator=(const Helpers&) = delete;
    ~Helpers() {
        search_.request_stop();
        open_gate();
        wait();
    }

    // Starts the next helper, as worker w of the search; returns when it is ready
    // to search. No room for it is a Panic.
    void start(unsigned w) {
        std::exception_ptr& failure = failures_[threads_.size()];
        void* reserve = std::malloc(kThreadLocalReserve);
        if (!reserve) cannot_start(w, "no memory for its thread-local data");
        try {
            // Helpers run no code that could end their thread, so catching all is safe.
            threads_.emplace_back([this, w, &failure] {
                make_thread_locals();
                if (!ready_and_wait()) return;
                try {
                    search_.run_worker(w, workers_,
                                       [this] { return search_.other_thread_check(); });
                } catch (...) {
                    failure = std::current_exception();
                    search_.request_stop();
                }
            });
        } catch (const std::system_error& error) {
            std::free(reserve);
            cannot_start(w, error.what());
        }
        std::free(reserve);
        for (std::size_t seen = ready_.load(); seen != threads_.size(); seen = ready_.load())
            ready_.wait(seen);
    }

    // Lets the started helpers search.
    void open_gate() {
        open_.store(true);
        open_.notify_all();
    }

    // Waits for every helper; rethrows the first failure among them.
    void join() {
        wait();
        for (std::exception_ptr& failure : failures_)
            if (failure) std::rethrow_exception(std::exchange(failure, nullptr));
    }

private:
    [[noreturn]] static void cannot_start(unsigned w, const std::string& why) {
        panic("could not start search thread " + std::to_string(w) + ": " + why);
    }

    // Tells the starting thread that this helper is ready, then waits for the gate;
    // false when the search was ended before it opened.
    bool ready_and_wait() {
        ready_.fetch_add(1);
        ready_.notify_all();
        open_.wait(false);
        return !search_.other_thread_check();
    }

    void wait() {
        for (std::thread& thread : threads_)
            if (thread.joinable()) thread.join();
    }

    Search& search_;
    const unsigned workers_;  // the helpers and the calling thread
    std::vector<std::thread> threads_;
    std::vector<std::exception_ptr> failures_;  // one per helper, sized up front
    // Atomic waits rather than a condition variable, whose wait needs a newer C++
    // runtime (GLIBCXX_3.4.30) than the oldest the wheels are made for.
    std::atomic<std::size_t> ready_{0};  // helpers that made their thread-local data
    std::atomic<bool> open_{false};
};

// The logical searches: the iterated search's thread t draws from its own stream
// and makes its share of the descents, so where a seed makes the tour reproducible
// their number decides it and does not depend on the machine. Each builds its own
// neighbour lists, so more than one per kLocationsPerThread locations costs more in
// set-up than it finds. The multi-start's descents are numbered whichever thread
// makes them, and an unseeded search is not reproducible: for them there are no more
// than the workers.
constexpr std::size_t kLocationsPerThread = 8;

unsigned logical_threads(const EngineOptions& options, std::size_t locations, unsigned workers) {
    std::size_t most = std::max<std::size_t>(locations / kLocationsPerThread, 1);
    if (options.strategy == Strategy::Multistart || !options.seed)
        most = std::min<std::size_t>(most, workers);
    return static_cast<unsigned>(std::clamp<std::size_t>(options.threads, 1, most));
}

// The most OS threads that search: threads beyond the machine's cores only take
// turns (and each would set up its search at once, outside the time limit), so no
// more than the cores, or `most_workers` where it is set.
unsigned most_workers(const EngineOptions& options) {
    return options.most_workers ? options.most_workers
                                : std::max(std::thread::hardware_concurrency(), 1u);
}

}  // namespace

EngineResult run_engine(std::shared_ptr<const Penalizer> penalizer, const EngineOptions& requested,
                        const ProgressCheck& progress) {
    const TimeDelta started_at = monotonic_now();
    EngineOptions options = requested;
    make_thread_locals();
    const unsigned cap = most_workers(requested);
    options.threads = logical_threads(requested, penalizer->location_count(), cap);
    const unsigned workers = std::min(options.threads, cap);
    Search search(penalizer, options);
    const SearchClock::StopCheck check = [&] {
        return search.calling_thread_check(progress, started_at);
    };
    // Stopped in its set-up, the search ends with its first start.
    if (search.set_up(check)) {
        Helpers helpers(search, workers - 1);
        for (unsigned w = 1; w < workers; ++w) helpers.start(w);
        helpers.open_gate();
        search.run_worker(0, workers, check);
        helpers.join();
    }

    EngineResult result;
    Route best = search.best().route;
    const auto departure =
        options.latest_departure ? latest_departure(*penalizer, best) : std::nullopt;
    result.best = penalizer->penalize(std::move(best), true, departure, options.most_schedule_days);
    result.descents = search.descents_begun();
    result.descended = search.descended();
    result.time_taken = monotonic_now() - started_at;
    return result;
}

}  // namespace tourwright
