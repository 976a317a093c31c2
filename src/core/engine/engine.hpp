#pragma once
// The search behind the friendly layer: the same objective and descent as
// `Solver::solve`, with what callers beyond `tourwright.solve` ask for: a start
// kept first and an end kept last, reproducible restarts, a cap on descents,
// progress reports that can end the search, and descents on several threads at once.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <limits>
#include <memory>
#include <optional>
#include <vector>

#include "engine/tour_ends.hpp"
#include "evaluation/penalizer.hpp"
#include "util/chrono.hpp"

namespace tourwright {

// How descents follow one another: independent descents from random tours (the
// search of `Solver::solve`), or an iterated local search that kicks its best tour
// and descends again over near-neighbour moves.
enum class Strategy { Iterated, Multistart };

struct EngineOptions {
    Strategy strategy = Strategy::Iterated;
    std::optional<TimeDelta> time_limit;
    // Without either stop, one descent is made, as `Solver::solve` does.
    std::optional<std::uint64_t> max_descents;
    // Kept in place by every descent, kick and restart (the penalizer must have been
    // built for them by tour_penalizer).
    TourEnds ends;
    // Locations kept right after the start, in this order (only with a start): like
    // the ends, positions 1 .. pinned.size() stay as they are in every tour searched.
    std::vector<std::size_t> pinned;
    // A route to improve on: every location once, the start first, the pinned run next,
    // a fixed end last (the caller checks). The first descent of each iterated search
    // and the multi-start's descent 0 begin from it as it is, and it is a candidate
    // itself: the result is never worse, and is exactly it when no descent is made.
    std::optional<Route> initial;
    // The best tour leaves at its latest departure (see latest_departure) rather
    // than at the opening of its first location's first window.
    bool latest_departure = false;
    // The best tour's schedule is refused (see Penalizer::penalize) where it would span
    // more days than this.
    std::int64_t most_schedule_days = std::numeric_limits<std::int64_t>::max();
    // With a seed, the multi-start's descent d starts from a route drawn from stream d
    // of a generator seeded with it, whichever thread makes it: the same seed and cap
    // on descents give the same tour for any number of threads. The iterated search
    // on thread t draws from stream t and makes its share of the cap: the same seed,
    // cap and number of threads give the same tour.
    std::optional<std::uint64_t> seed;
    // The searches: independent iterated searches (one per thread t above), or threads
    // sharing the multi-start's descents. They run on at most `most_workers` OS threads
    // (0: the machine's cores), an iterated search's logical searches one after another
    // on each, so the same seed, cap and `threads` give the same tour on any machine.
    unsigned threads = 1;
    unsigned most_workers = 0;
};

struct EngineProgress {
    TimeDelta elapsed;
    std::uint64_t descents;  // begun so far
    // Of the best finished descent so far (or the initial route); none before the first.
    std::optional<Objective> best;
};

// Called from the calling thread every few tens of milliseconds: false ends the
// search with the best tour found so far; an exception abandons it.
using ProgressCheck = std::function<bool(const EngineProgress&)>;

struct EngineResult {
    Solution best;  // evaluated with its schedule
    std::uint64_t descents = 0;
    // False when the limit or a stop ended the search before any descent reached a
    // local optimum: `best` is then no worse than the tour the first descent began
    // from, but may be far from what a search finds.
    bool descended = false;
    TimeDelta time_taken;
};

// Runs the search on the calling thread and up to `most_workers - 1` more. The
// searches (`threads`) are capped at one per eight locations, and but for a seeded
// iterated search (whose tour they decide) at the workers too.
// Validation of the options (ends that are locations, a start that can start a tour,
// an end other than the start only with a start, a pinned run of other locations and
// an initial route that keeps them all in place) is the caller's; a thread that
// cannot be started is a Panic.
EngineResult run_engine(std::shared_ptr<const Penalizer> penalizer, const EngineOptions& options,
                        const ProgressCheck& progress);

}  // namespace tourwright
