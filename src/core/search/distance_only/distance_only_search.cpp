#include "search/distance_only/distance_only_search.hpp"

#include <algorithm>
#include <array>
#include <optional>

#include "search/distance_only/numbered_tour.hpp"
#include "search/distance_only/partition_crossover.hpp"
#include "search/distance_only/three_opt_steps.hpp"
#include "search/distance_only/two_opt_chains.hpp"
#include "util/rng.hpp"

namespace tourwright {
namespace {

using distance_only::kRowsPerStopCheck;
using distance_only::NumberedTour;
using distance_only::ThreeOptSteps;
using distance_only::TwoOptChains;

constexpr std::uint64_t kLegBound = std::uint64_t{1} << 59;
constexpr std::size_t kFewestLocations = 8;
// A slack of a thousand times the tour accepts any tour (and keeps the product in range).
constexpr std::uint64_t kMostSlackPpm = 1'000'000'000;
// The table is compared with its mirror image in tiles of this side, so that both
// stay in the cache.
constexpr std::size_t kTile = 64;

class DistanceOnlySearch {
public:
    DistanceOnlySearch(const Penalizer& penalizer, const Route& start,
                       const IteratedSearchOptions& options, SearchClock& clock, RandomWords& rng)
        : penalizer_(penalizer),
          options_(options),
          params_(options.params.distance_only),
          clock_(clock),
          rng_(rng),
          t_(penalizer.distance_matrix().rows, start),
          chains_(t_, {params_.chain_breadth_first, params_.chain_breadth_second,
                       params_.chain_breadth_deeper}),
          three_opt_(t_),
          committed_length_(t_.length) {}

    SearchOutcome run() {
        // The start tour, which the search numbers 0 .. n - 1.
        SearchOutcome outcome{penalizer_.penalize(t_.external, false), 0, false};
        const auto stop = [this] { return stopping_ = clock_.should_stop(); };
        if (!t_.lists.build(t_.rows, t_.external, std::min(params_.neighbours, t_.n - 1), stop))
            return outcome;
        // A chain's or a step's open gain grows by less than the longest leg at each
        // level, and has to stay within 64 bits.
        const std::uint64_t longest = t_.copy_short_legs(stop);
        if (!longest) return outcome;
        chains_.set_depth(std::min<std::uint64_t>(params_.chain_depth, INT64_MAX / longest - 1));
        three_opt_.set_depth(
            std::min<std::uint64_t>(params_.three_opt_depth, (INT64_MAX / longest - 1) / 2));
        if (t_.n >= params_.three_opt_from) {
            const auto ascent_ends = ascent_deadline();
            three_opt_.build_candidates(
                std::min(params_.alpha_candidates, t_.n - 1), params_.ascent_steps, stop,
                [&] { return ascent_ends && clock_.elapsed() >= *ascent_ends; });
            if (stopping_) return outcome;
        }
        const std::uint64_t stall_limit = params_.stall_per_location * t_.n;
        const std::uint64_t crossing_interval =
            std::max<std::uint64_t>(t_.n / 2, params_.fewest_descents_between_crossings);
        std::uint64_t since_best = 0;  // descents without a new best of the walk
        while (!stopping_ &&
               !(options_.max_descents && outcome.descents >= *options_.max_descents) &&
               !(stopping_ = clock_.should_stop())) {
            const bool restart = stall_limit && since_best >= stall_limit;
            if (++outcome.descents == 1) {
                for (std::size_t p = 0; p < t_.n; ++p) t_.enqueue(t_.tour.at(p));
            } else if (restart) {
                restart_from();
                since_best = 0;
            } else {
                kick();
            }
            descend();
            if (!stopping_) outcome.descended = true;
            if (outcome.descents == 1) {
                best_length_ = walk_best_length_ = t_.length + 1;
                const std::uint64_t ppm = std::min<std::uint64_t>(params_.slack_ppm, kMostSlackPpm);
                // Beyond `slack_locations` the slack stays that many average legs: a
                // kick changes a few legs wherever it falls, and a slack growing with
                // the whole tour let large tours drift.
                slack_ = t_.length * static_cast<__int128>(ppm) / 1'000'000 *
                         static_cast<__int128>(params_.slack_locations) /
                         static_cast<__int128>(std::max(t_.n, params_.slack_locations));
            }
            // Record-to-record travel: a tour within the slack of the best one the walk
            // found since its last restart replaces the current one, so that the search
            // can cross the low ridges between nearby local optima. After a restart the
            // walk goes its own way from the kicked best tour, and the best tour takes
            // over what it does better (`cross_with_best`).
            ++since_best;
            if (restart) walk_best_length_ = t_.length;
            if (!restart && t_.length > walk_best_length_ + slack_) {
                t_.tour.rollback();
                t_.length = committed_length_;
            } else {
                t_.tour.commit();
                committed_length_ = t_.length;
                if (t_.length < walk_best_length_) {
                    since_best = 0;
                    walk_best_length_ = t_.length;
                }
                if (t_.length < best_length_) {
                    best_length_ = t_.length;
                    best_tour_ = t_.tour.route_from(0);
                    outcome.best = Solution{t_.external_route(best_tour_),
                                            static_cast<Distance>(t_.length), std::nullopt};
                }
            }
            if (outcome.descents % crossing_interval == 0) cross_with_best(outcome);
            if (options_.on_descent) options_.on_descent(outcome.descents, outcome.best);
        }
        return outcome;
    }

private:
    // Short time limits go to the search rather than the ascent: it may take a tenth
    // of what is left (at n = 5000 and 1 s, the full ascent and the setup left no time
    // for a single descent).
    std::optional<TimeDelta> ascent_deadline() const {
        const auto left = clock_.time_left();
        const auto micros = left ? left->whole_microseconds() : std::nullopt;
        if (!micros) return std::nullopt;
        const std::int64_t share = *micros / static_cast<std::int64_t>(std::max<std::uint64_t>(
                                                 params_.ascent_time_divisor, 1));
        return clock_.elapsed() +
               TimeDelta{share / 1'000'000, static_cast<std::int32_t>(share % 1'000'000 * 1000)};
    }

    // The walk's tour may be shorter than the best one in places and longer in
    // others: the best tour takes over each group of locations where the walk's tour
    // runs shorter (the walk goes on as it was, so that the two stay apart).
    void cross_with_best(SearchOutcome& outcome) {
        const auto child =
            partition_crossover(best_tour_, t_.tour.route_from(0),
                                [this](std::size_t a, std::size_t b) { return t_.leg(a, b); });
        if (!child) return;
        best_tour_ = child->route;
        best_length_ -= child->gain;
        outcome.best = Solution{t_.external_route(best_tour_), static_cast<Distance>(best_length_),
                                std::nullopt};
    }

    void descend() {
        for (std::size_t next = 0; next < t_.queue.size() && !stopping_; ++next) {
            const std::size_t anchor = t_.queue[next];
            t_.queued[anchor] = 0;
            if (three_opt_.step(anchor) || chains_.chain(anchor, params_.longest_reversal) ||
                segment_swap(anchor) || or_move(anchor))
                t_.enqueue(anchor);
            if (clock_.should_stop_after_trial()) stopping_ = true;
        }
        for (std::size_t location : t_.queue) t_.queued[location] = 0;
        t_.queue.clear();
    }

    // The pure 3-opt move that no chain of reversals makes: the leg t1-t2 goes, t2 is
    // joined to a near t3 further on, t3 leaves its neighbour t4 beyond, and t4 is
    // joined to a near t5 between t2 and t3, whose neighbour t6 towards t3 is joined to
    // t1. The two stretches t2 .. t5 and t6 .. t3 change places, neither reversed.
    bool segment_swap(std::size_t t1) {
        const std::size_t count = t_.lists.count;
        for (const bool forward : {true, false}) {
            const auto ahead = [&](std::size_t a) {
                return forward ? t_.tour.next(a) : t_.tour.previous(a);
            };
            const auto steps = [&](std::size_t from, std::size_t to) {
                const std::size_t a = t_.tour.position(from), b = t_.tour.position(to);
                return forward ? (b + t_.n - a) % t_.n : (a + t_.n - b) % t_.n;
            };
            const std::size_t t2 = ahead(t1);
            for (std::size_t k = 0; k < count; ++k) {
                const std::size_t t3 = t_.lists.near[t2 * count + k];
                const std::int64_t first = t_.leg(t1, t2) - t_.lists.legs[t2 * count + k];
                if (first <= 0) break;
                const std::size_t t4 = ahead(t3);
                if (t4 == t1) continue;
                const std::size_t span = steps(t2, t3);
                for (std::size_t j = 0; j < count; ++j) {
                    const std::size_t t5 = t_.lists.near[t4 * count + j];
                    const std::int64_t second =
                        first + t_.leg(t3, t4) - t_.lists.legs[t4 * count + j];
                    if (second <= 0) break;
                    if (steps(t2, t5) >= span) continue;
                    const std::size_t t6 = ahead(t5);
                    if (second + t_.leg(t5, t6) - t_.leg(t1, t6) <= 0) continue;
                    // Cut after t1, t5 and t3 the way round the tour runs.
                    const auto at = [&](std::size_t a) {
                        return t_.tour.position(forward ? a : ahead(a));
                    };
                    swap_shorter({at(t1), at(t5), at(t3)}, 0);
                    return true;
                }
            }
        }
        return false;
    }

    // The Or-moves that take a stretch beginning at `a` out and put it back with `a`
    // next to one of its neighbours.
    bool or_move(std::size_t a) {
        std::array<std::size_t, 4> stretch{};
        const std::size_t longest = std::min({params_.longest_moved, stretch.size(), t_.n - 4});
        for (std::size_t count = 1; count <= longest; ++count) {
            for (const bool forward : {true, false}) {
                if (count == 1 && !forward) break;
                stretch[0] = a;
                for (std::size_t k = 1; k < count; ++k)
                    stretch[k] =
                        forward ? t_.tour.next(stretch[k - 1]) : t_.tour.previous(stretch[k - 1]);
                const std::size_t z = stretch[count - 1];
                const std::size_t before = forward ? t_.tour.previous(a) : t_.tour.next(a);
                const std::size_t after = forward ? t_.tour.next(z) : t_.tour.previous(z);
                // No neighbour is nearer than what the two legs out of the stretch
                // could free (the leg that closes the gap is never negative).
                const std::int64_t freed = t_.leg(before, a) + t_.leg(z, after);
                if (t_.lists.legs[a * t_.lists.count] >= freed) continue;
                const std::int64_t removed = freed - t_.leg(before, after);
                const auto inside = [&](std::size_t location) {
                    return std::find(stretch.begin(),
                                     stretch.begin() + static_cast<std::ptrdiff_t>(count),
                                     location) !=
                           stretch.begin() + static_cast<std::ptrdiff_t>(count);
                };
                for (std::size_t k = 0; k < t_.lists.count; ++k) {
                    const std::size_t c = t_.lists.near[a * t_.lists.count + k];
                    const std::int64_t ac = t_.lists.legs[a * t_.lists.count + k];
                    if (ac >= removed) break;
                    if (inside(c)) continue;
                    for (const std::size_t e : {t_.tour.next(c), t_.tour.previous(c)}) {
                        if (inside(e) || (c == before && e == after) || (c == after && e == before))
                            continue;
                        const std::int64_t gain = removed - ac - t_.leg(z, e) + t_.leg(c, e);
                        if (gain <= 0) continue;
                        const bool c_left = e == t_.tour.next(c);
                        t_.tour.move_stretch(std::span(stretch.data(), count), c_left ? c : e,
                                             c_left);
                        t_.length -= gain;
                        for (std::size_t location : {before, after, z, c, e}) t_.enqueue(location);
                        return true;
                    }
                }
            }
        }
        return false;
    }

    std::size_t draw(std::size_t low, std::size_t high) {
        return low + uniform_index(rng_, static_cast<std::uint32_t>(high - low));
    }

    // Kicks: mostly two short adjacent stretches swap places; sometimes a double bridge
    // cut after a location and two of its near neighbours, which joins near locations
    // that lie far apart in the tour (what local kicks never bring together). Steps of
    // 3-opt levels join such locations themselves: with them, at n = 5000 in 10 s
    // (three problems, two seeds), no near kicks came to 0.025 points shorter.
    void kick() {
        if (!three_opt_.active() && uniform_index(rng_, 99) < params_.near_kick_percent) {
            near_kick();
            return;
        }
        const std::size_t longest =
            std::max<std::size_t>(1, std::min(params_.kick_stretch, (t_.n - 2) / 2));
        const std::size_t at = draw(0, t_.n - 1), first = draw(1, longest),
                          second = draw(1, longest);
        swap_stretches(at, first, second, rng_.next_u32());
    }

    // Once the search has stalled, it goes back to the best tour and kicks it harder,
    // taking the result whatever its length: a new walk from the best place found.
    void restart_from() {
        t_.tour = ArrayTour(best_tour_);
        t_.length = best_length_;
        for (std::size_t k = 0; k < params_.restart_kicks; ++k) near_kick();
    }

    // A double bridge cut after a location and two of its near neighbours.
    void near_kick() {
        const std::size_t a = draw(0, t_.n - 1), count = t_.lists.count;
        const std::size_t first_pick = draw(0, count - 1);
        std::size_t second_pick = draw(0, count - 2);
        if (second_pick >= first_pick) ++second_pick;
        std::array<std::size_t, 3> cuts{t_.tour.position(a),
                                        t_.tour.position(t_.lists.near[a * count + first_pick]),
                                        t_.tour.position(t_.lists.near[a * count + second_pick])};
        swap_shorter(cuts, rng_.next_u32());
    }

    // Cut after the three positions `cuts`, the tour falls into three stretches;
    // swapping any two of them gives the same tour, so the two shorter ones move.
    void swap_shorter(std::array<std::size_t, 3> cuts, std::uint32_t reversals) {
        std::sort(cuts.begin(), cuts.end());
        const std::array<std::size_t, 3> lengths{cuts[1] - cuts[0], cuts[2] - cuts[1],
                                                 t_.n - (cuts[2] - cuts[0])};
        const std::size_t longest = static_cast<std::size_t>(
            std::max_element(lengths.begin(), lengths.end()) - lengths.begin());
        swap_stretches((cuts[longest] + lengths[longest] + 1) % t_.n, lengths[(longest + 1) % 3],
                       lengths[(longest + 2) % 3], reversals);
    }

    // The `first` locations from position `at` and the `second` after them change
    // places, each reversed when its bit of `reversals` says so; the locations at the
    // new joins are queued.
    void swap_stretches(std::size_t at, std::size_t first, std::size_t second,
                        std::uint32_t reversals) {
        const std::size_t ends[] = {at + t_.n - 1, at + first - 1, at + first + second - 1};
        const std::size_t new_ends[] = {at + t_.n - 1, at + second - 1, at + first + second - 1};
        auto junctions = [&](const std::size_t(&positions)[3]) {
            std::int64_t sum = 0;
            for (std::size_t p : positions)
                sum += t_.leg(t_.tour.at(p % t_.n), t_.tour.at((p + 1) % t_.n));
            return sum;
        };
        const std::int64_t removed = junctions(ends);
        t_.tour.swap_stretches(at, first, second, reversals & 1, reversals & 2);
        t_.length += junctions(new_ends) - removed;
        for (std::size_t p : new_ends) {
            t_.enqueue(t_.tour.at(p % t_.n));
            t_.enqueue(t_.tour.at((p + 1) % t_.n));
        }
    }

    const Penalizer& penalizer_;
    const IteratedSearchOptions& options_;
    const DistanceOnlyParams& params_;
    SearchClock& clock_;
    RandomWords& rng_;
    // The tour, its legs and queue, and the two kinds of deep moves that change it.
    NumberedTour t_;
    TwoOptChains chains_;
    ThreeOptSteps three_opt_;
    Route best_tour_;                // the best tour found, numbered as in the search
    __int128 committed_length_;      // of the tour the next kick changes
    __int128 best_length_ = 0;       // of the best tour found
    __int128 walk_best_length_ = 0;  // of the best tour since the last restart
    __int128 slack_ = 0;             // how much longer than the best tour a current one may be
    bool stopping_ = false;
};

}  // namespace

bool distance_only_search_applies(const Penalizer& penalizer, SearchClock& clock) {
    const distance_only::Rows& rows = penalizer.distance_matrix().rows;
    const std::size_t n = rows.size();
    // Tours that may leave locations out are searched by the general search.
    if (penalizer.time_scheduler() || penalizer.optional_stops().any() || n < kFewestLocations)
        return false;
    for (const auto& row : rows)
        if (row.size() != n) return false;
    for (std::size_t a0 = 0; a0 < n; a0 += kTile) {
        for (std::size_t b0 = a0; b0 < n; b0 += kTile) {
            if (clock.should_stop()) return true;
            for (std::size_t a = a0; a < std::min(a0 + kTile, n); ++a) {
                for (std::size_t b = b0; b < std::min(b0 + kTile, n); ++b)
                    if (rows[a][b] >= kLegBound || rows[a][b] != rows[b][a]) return false;
            }
        }
    }
    return true;
}

Route nearest_neighbour_tour(const Penalizer& penalizer, Route start, SearchClock& clock) {
    const distance_only::Rows& rows = penalizer.distance_matrix().rows;
    for (std::size_t k = 1; k + 1 < start.size(); ++k) {
        if (k % kRowsPerStopCheck == 0 && clock.should_stop()) break;
        const auto& row = rows[start[k - 1]];
        const auto nearest =
            std::min_element(start.begin() + static_cast<std::ptrdiff_t>(k), start.end(),
                             [&](std::size_t a, std::size_t b) { return row[a] < row[b]; });
        std::iter_swap(start.begin() + static_cast<std::ptrdiff_t>(k), nearest);
    }
    return start;
}

SearchOutcome distance_only_search(const Penalizer& penalizer, const Route& start,
                                   const IteratedSearchOptions& options, SearchClock& clock,
                                   RandomWords& rng) {
    return DistanceOnlySearch(penalizer, start, options, clock, rng).run();
}

}  // namespace tourwright
