#pragma once
// Iterated local search over the exact objective: a first-improvement descent
// over the eight segment moves, restricted to moves that create a leg between
// near neighbours; then, until the clock or the descent budget says stop, a
// small kick of the incumbent tour and another descent started where the kick
// changed the tour. A tour no worse than the incumbent replaces it (so the search
// walks across plateaus). The search goes in runs: after a while without a new
// best of its own a run returns to its best tour, and after longer it ends and the
// next run begins from a random tour; the best of all runs is the result. Every
// trial and every kicked tour is judged as full evaluation would judge it, and every
// best of a run is a full evaluation.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>

#include "evaluation/penalizer.hpp"
#include "search/search_params.hpp"
#include "util/random_words.hpp"
#include "util/search_clock.hpp"

namespace tourwright {

struct IteratedSearchOptions {
    // How many leading positions never move (a start, then the run pinned after it):
    // moves, kicks and restarts work on positions keep_first .. n - 1.
    std::size_t keep_first = 0;
    // Nor does position n - 1 (an end).
    bool keep_last = false;
    // Stops after this many descents even when the clock has not.
    std::optional<std::uint64_t> max_descents;
    // Told after every descent: the number begun so far and the best solution.
    std::function<void(std::uint64_t descents, const Solution& best)> on_descent;
    // Told of the route each descent of the general search begins from: the first tour,
    // a kicked incumbent or a random restart.
    std::function<void(const Route& route)> on_begin;
    IteratedSearchParams params;
    // The first descent begins from `start` as it is, not from first_tour(start) nor from
    // a nearest-neighbour tour (a route the caller already has, to improve on).
    bool begin_as_given = false;
    // Whether the distance-only search takes the problem, when the caller has already
    // asked `takes_distance_only_search` (which reads the whole table).
    std::optional<bool> takes_distance_only;
};

struct SearchOutcome {
    Solution best;               // evaluated without the schedule
    std::uint64_t descents = 0;  // begun
    bool descended = false;      // whether a descent ended before the clock stopped it
};

// The tour the first descent begins from: `start`'s first `kept` locations (its first
// location at least), then the others in the best of three orders: by the end of their
// last window and the start of their first, by the middle of their windows' span (no
// windows last in both), and nearest neighbour by distance; without time data the last
// alone. With `keep_last`, the last location stays last.
Route first_tour(const Penalizer& penalizer, Route start, std::size_t kept, bool keep_last);

// Searches the tours over the locations of `start` (a permutation of all of them,
// whose first location can start a tour) until `clock` (already started) says
// stop or `max_descents` have begun. The first descent begins from
// `first_tour(start)`, or from `start` itself with `begin_as_given`. Given the
// same stream of `rng` words and a descent budget that ends the search before the
// clock does, the result is always the same; it is never worse than the first
// descent's local optimum.
SearchOutcome iterated_search_with(const Penalizer& penalizer, Route start,
                                   const IteratedSearchOptions& options, SearchClock& clock,
                                   RandomWords& rng);

// Whether `iterated_search_with` hands the problem to the search of
// distance_only/distance_only_search.hpp (see `distance_only_search_applies`, clock included).
bool takes_distance_only_search(const Penalizer& penalizer, const IteratedSearchOptions& options,
                                SearchClock& clock);

template <class Rng>
SearchOutcome iterated_search(const Penalizer& penalizer, Route start,
                              const IteratedSearchOptions& options, SearchClock& clock, Rng& rng) {
    RandomWords words(rng);
    return iterated_search_with(penalizer, std::move(start), options, clock, words);
}

}  // namespace tourwright
