#include "search/iterated_search.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <tuple>

#include "search/current_tour.hpp"
#include "search/distance_only/distance_only_search.hpp"
#include "search/local_moves.hpp"
#include "search/neighbour_lists.hpp"
#include "search/perturbation.hpp"
#include "search/solver.hpp"
#include "util/rng.hpp"

namespace tourwright {
namespace {

// The moves `improve_leg` tries.
constexpr const LocalMove& kReverse = local_move("reverse");
constexpr const LocalMove& kSwap = local_move("swap");
constexpr std::array<const LocalMove*, 3> kRotateLeft{
    &local_move("rotate_left_1"), &local_move("rotate_left_2"), &local_move("rotate_left_3")};
constexpr std::array<const LocalMove*, 3> kRotateRight{
    &local_move("rotate_right_1"), &local_move("rotate_right_2"), &local_move("rotate_right_3")};

}  // namespace

namespace {

// `route` with positions kept .. stop - 1 sorted by `key`.
template <class Key>
Route sorted_by(Route route, std::size_t kept, std::size_t stop, Key key) {
    std::sort(route.begin() + static_cast<std::ptrdiff_t>(kept),
              route.begin() + static_cast<std::ptrdiff_t>(stop),
              [&](std::size_t a, std::size_t b) { return key(a) < key(b); });
    return route;
}

// `route` with positions kept .. stop - 1 in nearest-neighbour order by distance, each after
// the one before it.
Route nearest_order(const Penalizer& penalizer, Route route, std::size_t kept, std::size_t stop) {
    const auto& rows = penalizer.distance_matrix().rows;
    for (std::size_t k = kept; k + 1 < stop; ++k) {
        const std::size_t from = route[k - 1];
        if (from >= rows.size()) return route;
        auto leg = [&](std::size_t to) {
            return to < rows[from].size() ? rows[from][to] : UINT64_MAX;
        };
        const auto nearest =
            std::min_element(route.begin() + static_cast<std::ptrdiff_t>(k),
                             route.begin() + static_cast<std::ptrdiff_t>(stop),
                             [&](std::size_t a, std::size_t b) { return leg(a) < leg(b); });
        std::iter_swap(route.begin() + static_cast<std::ptrdiff_t>(k), nearest);
    }
    return route;
}

}  // namespace

Route first_tour(const Penalizer& penalizer, Route start, std::size_t kept, bool keep_last) {
    kept = std::max<std::size_t>(kept, 1);
    if (start.size() < kept + 2 + (keep_last ? 1 : 0)) return start;
    const std::size_t stop = start.size() - (keep_last ? 1 : 0);
    const auto& scheduler = penalizer.time_scheduler();
    if (!scheduler) return nearest_order(penalizer, std::move(start), kept, stop);
    const auto& windows = scheduler->time_windows;
    auto has = [&](std::size_t location) {
        return location < windows.size() && !windows[location].windows.empty();
    };
    auto by_end = [&](std::size_t location) {
        const bool timed = has(location);
        return std::tuple(!timed, timed ? windows[location].windows.back().end : DateTime{},
                          timed ? windows[location].windows.front().start : DateTime{}, location);
    };
    // Where windows are wide and of unequal widths, their ends say little of the order and
    // their middles more; where they are wide against the legs, the legs say most.
    auto by_middle = [&](std::size_t location) {
        if (!has(location)) return std::tuple(true, std::int64_t{0}, location);
        const auto& spans = windows[location].windows;
        return std::tuple(
            false, spans.front().start.unix_seconds() / 2 + spans.back().end.unix_seconds() / 2,
            location);
    };
    Solution best = penalizer.penalize(sorted_by(start, kept, stop, by_end), false);
    for (Route other :
         {sorted_by(start, kept, stop, by_middle), nearest_order(penalizer, start, kept, stop)}) {
        Solution candidate = penalizer.penalize(std::move(other), false);
        if (penalizer.is_better(candidate, best)) best = std::move(candidate);
    }
    return std::move(best.route);
}

namespace {

// The longest stretch a kick moves (see `longest_stretch` and `longest_distance_only_stretch`).
std::size_t longest_kick_stretch(const Penalizer& penalizer, const IteratedSearchParams& params,
                                 std::size_t n, bool distance_only) {
    double wanted = 0;
    if (distance_only)
        wanted = static_cast<double>(
            n / std::max<std::size_t>(params.locations_per_distance_only_stretch, 1));
    else if (penalizer.time_scheduler())
        wanted = std::ceil(locations_per_window(*penalizer.time_scheduler(), n));
    const std::size_t longest =
        std::max(params.longest_stretch, params.longest_distance_only_stretch);
    return static_cast<std::size_t>(std::clamp(wanted, static_cast<double>(params.longest_stretch),
                                               static_cast<double>(longest)));
}

// A full evaluation of `start`, which must be a route the objective judges.
Solution checked_start(const Penalizer& penalizer, Route start) {
    if (!penalizer.serves(start)) panic_assertion("start visits every location exactly once");
    return penalizer.penalize(std::move(start), false);
}

class IteratedSearch {
public:
    IteratedSearch(const Penalizer& penalizer, const IteratedSearchOptions& options,
                   SearchClock& clock, RandomWords& rng, Route start)
        : penalizer_(penalizer),
          options_(options),
          clock_(clock),
          rng_(rng),
          n_(penalizer.location_count()),
          first_(std::min(options.keep_first, n_)),
          tour_(penalizer, checked_start(penalizer, std::move(start)), true),
          params_(options.params),
          neighbours_(penalizer, params_.neighbours, tour_.incremental(),
                      [&clock] { return clock.should_stop(); }),
          position_(n_, kLeftOut),
          queued_(n_, false),
          distances_(&penalizer.distance_matrix().rows),
          // The lists are empty without a full table of distances.
          distance_only_(!penalizer.time_scheduler() && n_ > 1 &&
                         !neighbours_.successors(0).empty()),
          longest_stretch_(longest_kick_stretch(penalizer, params_, n_, distance_only_)),
          run_patience_(std::max<std::uint64_t>(
              {params_.run_patience, n_,
               n_ * n_ / std::max<std::uint64_t>(params_.run_patience_square_divisor, 1)})),
          stops_(penalizer.optional_stops()) {}

    SearchOutcome run() {
        SearchOutcome outcome{tour_.solution(), 0, false};
        // The tour the next kick changes, and the best of the run: kicked tours are judged
        // by their objectives, and only a new best of the run is evaluated in full.
        Route incumbent = tour_.solution().route;
        Objective incumbent_objective = tour_.objective();
        Solution run_best = tour_.solution();
        Objective run_best_objective = incumbent_objective, best_objective = incumbent_objective;
        std::uint64_t since_run_best = 0;
        bool restart_next = false;
        while (!stopping_ &&
               !(options_.max_descents && outcome.descents >= *options_.max_descents) &&
               !(stopping_ = clock_.should_stop())) {
            ++outcome.descents;
            const bool fresh = outcome.descents == 1 || restart_next;
            if (fresh) {
                if (restart_next) tour_.reset(shuffled(every_location(incumbent)));
                for (std::size_t location : tour_.solution().route) enqueue(location);
                restart_next = false;
            } else {
                Route kicked = incumbent;
                for (std::size_t location : kick(kicked)) enqueue(location);
                tour_.reset(std::move(kicked));
            }
            if (options_.on_begin) options_.on_begin(tour_.solution().route);
            descend();
            // A descent the clock cut short may not have reached a local optimum.
            if (!stopping_) outcome.descended = true;
            const Objective current = tour_.objective();
            if (fresh || current < run_best_objective) {
                run_best = tour_.complete();
                run_best_objective = current;
                since_run_best = 0;
                if (current < best_objective) {
                    outcome.best = run_best;
                    best_objective = current;
                }
            } else if (++since_run_best >= run_patience_) {
                // Settled: the next run begins from a random tour.
                restart_next = true;
            } else if (since_run_best % std::max<std::uint64_t>(params_.patience, 1) == 0) {
                incumbent = run_best.route;
                incumbent_objective = run_best_objective;
            }
            if (fresh || !(incumbent_objective < current)) {
                incumbent = tour_.solution().route;
                incumbent_objective = current;
            }
            // The first descent, which is all a call without a limit gets, tries the
            // longer lists; the kicked ones are cheaper with the short ones.
            if (outcome.descents == 1 && penalizer_.time_scheduler())
                neighbours_.keep(params_.timed_neighbours);
            if (options_.on_descent) options_.on_descent(outcome.descents, outcome.best);
        }
        return outcome;
    }

private:
    // Kicks and restarts move the first location too unless it is kept, or the
    // search could never leave a poor first location; the tour is then turned to
    // begin where a tour can start.
    // Where optional locations exist, half the kicks change what the tour serves.
    std::vector<std::size_t> kick(Route& route) {
        const std::uint32_t word = rng_.next_u32();
        const std::size_t stop = stop_of(route);
        std::vector<std::size_t> touched =
            stops_.any() && word % 4 < 2
                ? exchange_served(route, first_, stop, stops_, neighbours_, rng_)
            : word % 2 == 0 ? swap_adjacent_stretches(route, first_, stop, longest_stretch_, rng_)
                            : relocate_near_neighbours(route, first_, stop, params_.relocated,
                                                       neighbours_, rng_);
        route = startable(std::move(route));
        return touched;
    }

    // `route` with the locations it leaves out put back before its end, so that a run
    // from a random tour chooses afresh what to serve.
    Route every_location(Route route) const {
        if (route.size() == n_) return route;
        const Route left_out = locations_left_out(route, n_);
        route.insert(route.begin() + static_cast<std::ptrdiff_t>(stop_of(route)), left_out.begin(),
                     left_out.end());
        return route;
    }

    // One past the last position that moves may change.
    std::size_t stop_of(const Route& route) const {
        return route.size() - (options_.keep_last ? 1 : 0);
    }
    std::size_t stop() const { return stop_of(tour_.solution().route); }

    // Positions first_ .. stop - 1 in random order.
    Route shuffled(Route route) {
        for (std::size_t k = stop_of(route); k-- > first_ + 1;)
            std::swap(route[k],
                      route[first_ + uniform_index(rng_, static_cast<std::uint32_t>(k - first_))]);
        return startable(std::move(route));
    }

    Route startable(Route route) const {
        return first_ == 0 ? start_route(penalizer_, std::move(route)) : route;
    }

    void enqueue(std::size_t location) {
        if (queued_[location]) return;
        queued_[location] = true;
        queue_.push_back(location);
    }

    // Ends with the tour's time report still pending where the evaluator decided.
    void descend() {
        const Route& route = tour_.solution().route;
        std::fill(position_.begin(), position_.end(), kLeftOut);
        for (std::size_t k = 0; k < route.size(); ++k) position_[route[k]] = k;
        // A location left out may fit in now.
        if (stops_.any())
            for (std::size_t location = 0; location < n_; ++location)
                if (position_[location] == kLeftOut) enqueue(location);
        for (std::size_t next = 0; next < queue_.size() && !stopping_; ++next) {
            const std::size_t anchor = queue_[next];
            queued_[anchor] = false;
            if (improve_around(anchor)) enqueue(anchor);
        }
        for (std::size_t location : queue_) queued_[location] = false;
        queue_.clear();
    }

    // Tries the moves that create a leg from or to `anchor` and one of its
    // neighbours; true once one is accepted. When the distance is the whole
    // objective, only legs shorter than the one they replace at `anchor`: with
    // symmetric legs every move that shortens the tour adds such a leg somewhere
    // (its added legs are shorter in sum than the removed ones), so this mostly
    // skips moves that are found from another anchor, and the lists, nearest
    // first, end the loops early.
    bool improve_around(std::size_t anchor) {
        const Route& route = tour_.solution().route;
        const std::size_t at = position_[anchor];
        if (at == kLeftOut) return take_in(anchor);
        const std::size_t size = route.size();
        const std::size_t next = route[(at + 1) % size], previous = route[(at + size - 1) % size];
        for (std::size_t to : neighbours_.successors(anchor)) {
            if (distance_only_ && (*distances_)[anchor][to] >= (*distances_)[anchor][next]) break;
            if (position_[to] != kLeftOut && improve_leg(anchor, to)) return true;
        }
        for (std::size_t from : neighbours_.predecessors(anchor)) {
            if (distance_only_ && (*distances_)[from][anchor] >= (*distances_)[previous][anchor])
                break;
            if (position_[from] != kLeftOut && improve_leg(from, anchor)) return true;
        }
        return stops_.optional(anchor) && leave_out(anchor);
    }

    // Leaves out the optional `anchor`, or serves in its place a neighbour left out.
    bool leave_out(std::size_t anchor) {
        const std::size_t at = position_[anchor];
        if (attempt_exchange({at, true, std::nullopt})) return true;
        for (auto list : {neighbours_.successors(anchor), neighbours_.predecessors(anchor)})
            for (std::size_t other : list)
                if (position_[other] == kLeftOut && attempt_exchange({at, true, other}))
                    return true;
        return false;
    }

    // Serves `anchor`, left out: next to one of its neighbours, or in place of an optional one.
    bool take_in(std::size_t anchor) {
        for (std::size_t before : neighbours_.predecessors(anchor))
            if (position_[before] != kLeftOut &&
                attempt_exchange({position_[before] + 1, false, anchor}))
                return true;
        for (std::size_t after : neighbours_.successors(anchor))
            if (position_[after] != kLeftOut && attempt_exchange({position_[after], false, anchor}))
                return true;
        for (auto list : {neighbours_.successors(anchor), neighbours_.predecessors(anchor)})
            for (std::size_t other : list)
                if (position_[other] != kLeftOut && stops_.optional(other) &&
                    attempt_exchange({position_[other], true, anchor}))
                    return true;
        return trade_in(anchor);
    }

    // Serves `anchor`, left out, after one of its nearest neighbours, leaving out an optional
    // stop of a lower class a few positions from there: the time that stop took is where the
    // new one needs it, and what is left out weighs less whatever the tour's other keys.
    bool trade_in(std::size_t anchor) {
        const auto before = neighbours_.predecessors(anchor);
        for (std::size_t k = 0; k < std::min(before.size(), kTradePlaces); ++k) {
            if (position_[before[k]] == kLeftOut) continue;
            const std::size_t at = position_[before[k]] + 1;
            const Route& route = tour_.solution().route;
            auto lower = [&](std::size_t q) {
                return q < route.size() && stops_.optional(route[q]) &&
                       stops_.outranks(anchor, route[q]);
            };
            for (std::size_t reach = 1; reach <= kTradeReach; ++reach) {
                const std::size_t after = at + reach;
                if (lower(after)) {
                    const std::array<Exchange, 2> trade{
                        {{at, false, anchor}, {after, true, std::nullopt}}};
                    if (attempt_exchanges(trade)) return true;
                }
                if (at >= reach + 1 && lower(at - reach - 1)) {
                    const std::array<Exchange, 2> trade{
                        {{at - reach - 1, true, std::nullopt}, {at, false, anchor}}};
                    if (attempt_exchanges(trade)) return true;
                }
            }
        }
        return false;
    }

    // Every move that makes `to` follow `from` directly.
    bool improve_leg(std::size_t from, std::size_t to) {
        const std::size_t x = position_[from], y = position_[to];
        const std::size_t size = tour_.solution().route.size();
        if (y > x + 1) {
            if (attempt(kReverse, x + 1, y) || attempt(kReverse, x, y - 1)) return true;
            for (std::size_t w = 1; w <= 3; ++w) {
                if (x + 1 >= w + first_ && attempt(*kRotateLeft[w - 1], x + 1 - w, y - 1))
                    return true;
                if (y + w - 1 < size && attempt(*kRotateRight[w - 1], x + 1, y + w - 1))
                    return true;
            }
            if (y >= x + 3 && (attempt(kSwap, x + 1, y) || attempt(kSwap, x, y - 1))) return true;
        } else if (x > y && y >= first_) {
            for (std::size_t w = 1; w <= 3; ++w)
                if (x >= y + w &&
                    (attempt(*kRotateLeft[w - 1], y, x) || attempt(*kRotateRight[w - 1], y, x)))
                    return true;
            if (y >= first_ + 1 && attempt(kSwap, y - 1, x)) return true;
            if (x + 1 < size && attempt(kSwap, y, x + 1)) return true;
        }
        return false;
    }

    // One trial: the move at (i, j) replaces the current tour when strictly better.
    bool attempt(const LocalMove& move, std::size_t i, std::size_t j) {
        if (i < first_ || j >= stop() || stopping_) return false;
        const bool accepted = tour_.try_move(move, i, j);
        if (clock_.should_stop_after_trial()) stopping_ = true;
        if (!accepted) return false;
        // Only positions i ..= j changed.
        const Route& route = tour_.solution().route;
        for (std::size_t k = i; k <= j; ++k) position_[route[k]] = k;
        const auto from = static_cast<std::ptrdiff_t>(i) - 1,
                   to = static_cast<std::ptrdiff_t>(j) + 1;
        for (std::ptrdiff_t p :
             {from, from + 1, from + 2, from + 3, from + 4, to - 4, to - 3, to - 2, to - 1, to})
            if (p >= 0 && p < static_cast<std::ptrdiff_t>(route.size()))
                enqueue(route[static_cast<std::size_t>(p)]);
        return true;
    }

    // One trial of a change of what the tour serves, at a position moves may change.
    bool attempt_exchange(const Exchange& change) {
        return attempt_exchanges(Exchanges(&change, 1));
    }
    bool attempt_exchanges(Exchanges changes) {
        const std::size_t first = std::max<std::size_t>(first_, 1);
        for (const Exchange& change : changes)
            if (change.at < first || change.at > stop() || (change.removes && change.at >= stop()))
                return false;
        if (stopping_) return false;
        // At most one location is left out in all.
        std::size_t out = kLeftOut;
        for (const Exchange& change : changes)
            if (change.removes) out = tour_.solution().route[change.at];
        const bool accepted = tour_.try_exchange(changes);
        if (clock_.should_stop_after_trial()) stopping_ = true;
        if (!accepted) return false;
        const Route& route = tour_.solution().route;
        if (out != kLeftOut) {
            position_[out] = kLeftOut;
            enqueue(out);  // it may fit in elsewhere
        }
        for (std::size_t k = changes.front().at; k < route.size(); ++k) position_[route[k]] = k;
        // Around each change, where it stands in the changed route.
        std::ptrdiff_t shift = 0;
        for (const Exchange& change : changes) {
            const std::size_t at =
                static_cast<std::size_t>(static_cast<std::ptrdiff_t>(change.at) + shift);
            const std::size_t low = at >= 2 ? at - 2 : 0;
            for (std::size_t k = low; k < std::min(route.size(), at + 2); ++k) enqueue(route[k]);
            shift += (change.inserted ? 1 : 0) - (change.removes ? 1 : 0);
        }
        return true;
    }

    const Penalizer& penalizer_;
    const IteratedSearchOptions& options_;
    SearchClock& clock_;
    RandomWords& rng_;
    std::size_t n_;
    static constexpr std::size_t kLeftOut = SIZE_MAX;  // the position of a location left out
    // A stop left out is traded in after its nearest few neighbours for a stop at most this
    // many positions away.
    static constexpr std::size_t kTradePlaces = 4;
    static constexpr std::size_t kTradeReach = 5;

    std::size_t first_;  // the first position moves may change
    CurrentTour tour_;
    const IteratedSearchParams& params_;
    NeighbourLists neighbours_;
    std::vector<std::size_t> position_;  // of each location in the current tour
    std::vector<bool> queued_;
    std::vector<std::size_t> queue_;  // locations whose moves are still to be tried
    bool stopping_ = false;
    const std::vector<std::vector<std::uint64_t>>* distances_;
    bool distance_only_;           // the objective is the distance alone
    std::size_t longest_stretch_;  // that kicks swap
    std::uint64_t run_patience_;   // descents without a new best before a run ends
    const OptionalStops& stops_;
};

}  // namespace

bool takes_distance_only_search(const Penalizer& penalizer, const IteratedSearchOptions& options,
                                SearchClock& clock) {
    // The distance-only search knows closed tours from a free or fixed first location only: a
    // fixed last location or a pinned run keeps the general one.
    return options.params.distance_only_search && !options.keep_last && options.keep_first <= 1 &&
           distance_only_search_applies(penalizer, clock);
}

SearchOutcome iterated_search_with(const Penalizer& penalizer, Route start,
                                   const IteratedSearchOptions& options, SearchClock& clock,
                                   RandomWords& rng) {
    if (options.takes_distance_only ? *options.takes_distance_only
                                    : takes_distance_only_search(penalizer, options, clock)) {
        if (!penalizer.serves(start)) panic_assertion("start visits every location exactly once");
        if (!options.begin_as_given)
            start = nearest_neighbour_tour(penalizer, std::move(start), clock);
        return distance_only_search(penalizer, start, options, clock, rng);
    }
    Route first = options.begin_as_given ? std::move(start)
                                         : first_tour(penalizer, std::move(start),
                                                      options.keep_first, options.keep_last);
    return IteratedSearch(penalizer, options, clock, rng, std::move(first)).run();
}

}  // namespace tourwright
