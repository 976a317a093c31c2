#include "search/plain_tour_search.hpp"

#include <algorithm>
#include <array>
#include <functional>
#include <optional>

#include "search/alpha_nearness.hpp"
#include "search/array_tour.hpp"
#include "search/partition_crossover.hpp"
#include "util/rng.hpp"

namespace tourwright {
namespace {

constexpr std::uint64_t kLegBound = std::uint64_t{1} << 59;
constexpr std::size_t kFewestLocations = 8;
// A slack of a thousand times the tour accepts any tour (and keeps the product in range).
constexpr std::uint64_t kMostSlackPpm = 1'000'000'000;
constexpr std::size_t kSlackLocations = 1000;
// The table is compared with its mirror image in tiles of this side, so that both
// stay in the cache.
constexpr std::size_t kTile = 64;
// Rows of the table read between two looks at the clock while the search is set up
// (some tens of microseconds at n = 10,000: on a loaded machine a stop request is
// seen within a few milliseconds all the same).
constexpr std::size_t kRowsPerStopCheck = 8;
// How many steps each level of a chain of 2-opt moves tries, the last figure for
// every deeper level. At n = 2000, 10 s, four problems against LKH, {5, 3, 1} came to
// +0.027 % on average; {4, 3, 1} +0.054, {6, 3, 1} +0.048, {8, 3, 1} +0.049,
// {5, 2, 1} +0.058, {5, 4, 1} +0.080, {5, 5, 1} +0.065, {5, 3, 2, 1} +0.11.
constexpr std::array<std::size_t, 3> kBreadth{5, 3, 1};
// Levels of a step of sequential 3-opt moves (not tuned: deep steps are cheap on
// five candidates, and most end after a few levels).
constexpr std::uint64_t kThreeOptDepth = 50;
constexpr std::int64_t kAscentShareOfTimeLeft = 10;
// The walk's tour is crossed with the best one after every n / 2 descents (at least
// 100): at n = 1000 and 2000 every 100 or 1000 did about as well, and at n = 5000 every
// 100 made a tenth fewer descents in one paired run.
constexpr std::uint64_t kFewestDescentsBetweenCrossings = 100;

using Rows = std::vector<std::vector<std::uint64_t>>;

// For each location, the `count` others nearest to it, nearest first (ties by index),
// and their legs; locations are numbered as in the search (its `i` is the table's
// `external[i]`). Building them reads the whole table, so it asks `stop` now and then
// whether to give up (and leave the lists unfinished).
struct NearLists {
    bool build(const Rows& rows, const Route& external, std::size_t count_each,
               const std::function<bool()>& stop) {
        const std::size_t n = rows.size();
        count = count_each;
        near.resize(n * count);
        legs.resize(n * count);
        std::vector<std::pair<std::uint64_t, std::size_t>> heap;
        for (std::size_t a = 0; a < n; ++a) {
            if (a % kRowsPerStopCheck == 0 && stop()) return false;
            heap.clear();
            const auto& row = rows[external[a]];
            for (std::size_t b = 0; b < n; ++b) {
                if (b == a) continue;
                const std::pair candidate(row[external[b]], b);
                if (heap.size() < count) {
                    heap.push_back(candidate);
                    std::push_heap(heap.begin(), heap.end());
                } else if (candidate < heap.front()) {
                    std::pop_heap(heap.begin(), heap.end());
                    heap.back() = candidate;
                    std::push_heap(heap.begin(), heap.end());
                }
            }
            std::sort_heap(heap.begin(), heap.end());
            for (std::size_t k = 0; k < count; ++k) {
                near[a * count + k] = heap[k].second;
                legs[a * count + k] = static_cast<std::int64_t>(heap[k].first);
            }
        }
        return true;
    }

    std::size_t count = 0;
    std::vector<std::size_t> near;
    std::vector<std::int64_t> legs;
};

class PlainTourSearch {
public:
    PlainTourSearch(const Penalizer& penalizer, const Route& start,
                    const IteratedSearchOptions& options, SearchClock& clock, RandomWords& rng)
        : penalizer_(penalizer),
          options_(options),
          clock_(clock),
          rng_(rng),
          rows_(penalizer.distance_matrix().rows),
          n_(start.size()),
          external_(start),
          tour_(identity_route(n_)),
          queued_(n_, 0),
          joined_(n_, {n_, n_}),
          length_(tour_length(identity_route(n_))),
          committed_length_(length_) {}

    SearchOutcome run() {
        // The start tour, which the search numbers 0 .. n - 1.
        SearchOutcome outcome{penalizer_.penalize(external_, false), 0, false};
        const auto stop = [this] { return stopping_ = clock_.should_stop(); };
        if (!lists_.build(rows_, external_, std::min(options_.params.plain_neighbours, n_ - 1),
                          stop) ||
            !copy_short_legs(stop))
            return outcome;
        if (n_ >= options_.params.plain_three_opt_from) {
            alpha_count_ = std::min(options_.params.plain_alpha_candidates, n_ - 1);
            const auto ascent_ends = ascent_deadline();
            alpha_ = alpha_nearest(
                n_, lists_.near, lists_.count,
                [this](std::size_t a, std::size_t b) { return leg(a, b); }, alpha_count_,
                options_.params.plain_ascent_steps, stop,
                [&] { return ascent_ends && clock_.elapsed() >= *ascent_ends; });
            if (stopping_) return outcome;
        }
        const std::uint64_t stall_limit = options_.params.plain_stall_per_location * n_;
        const std::uint64_t crossing_interval =
            std::max<std::uint64_t>(n_ / 2, kFewestDescentsBetweenCrossings);
        std::uint64_t since_best = 0;  // descents without a new best of the walk
        while (!stopping_ &&
               !(options_.max_descents && outcome.descents >= *options_.max_descents) &&
               !(stopping_ = clock_.should_stop())) {
            const bool restart = stall_limit && since_best >= stall_limit;
            if (++outcome.descents == 1) {
                for (std::size_t p = 0; p < n_; ++p) enqueue(tour_.at(p));
            } else if (restart) {
                restart_from();
                since_best = 0;
            } else {
                kick();
            }
            descend();
            if (!stopping_) outcome.descended = true;
            if (outcome.descents == 1) {
                best_length_ = walk_best_length_ = length_ + 1;
                const std::uint64_t ppm =
                    std::min<std::uint64_t>(options_.params.plain_slack_ppm, kMostSlackPpm);
                // Beyond `kSlackLocations` the slack stays that many average legs: a
                // kick changes a few legs wherever it falls, and a slack growing with
                // the whole tour let large tours drift.
                slack_ = length_ * static_cast<__int128>(ppm) / 1'000'000 *
                         static_cast<__int128>(kSlackLocations) /
                         static_cast<__int128>(std::max(n_, kSlackLocations));
            }
            // Record-to-record travel: a tour within the slack of the best one the walk
            // found since its last restart replaces the current one, so that the search
            // can cross the low ridges between nearby local optima. After a restart the
            // walk goes its own way from the kicked best tour, and the best tour takes
            // over what it does better (`cross_with_best`).
            ++since_best;
            if (restart) walk_best_length_ = length_;
            if (!restart && length_ > walk_best_length_ + slack_) {
                tour_.rollback();
                length_ = committed_length_;
            } else {
                tour_.commit();
                committed_length_ = length_;
                if (length_ < walk_best_length_) {
                    since_best = 0;
                    walk_best_length_ = length_;
                }
                if (length_ < best_length_) {
                    best_length_ = length_;
                    best_tour_ = tour_.route_from(0);
                    outcome.best = Solution{external_route(best_tour_),
                                            static_cast<Distance>(length_), std::nullopt};
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
        const std::int64_t share = *micros / kAscentShareOfTimeLeft;
        return clock_.elapsed() +
               TimeDelta{share / 1'000'000, static_cast<std::int32_t>(share % 1'000'000 * 1000)};
    }

    // The walk's tour may be shorter than the best one in places and longer in
    // others: the best tour takes over each group of locations where the walk's tour
    // runs shorter (the walk goes on as it was, so that the two stay apart).
    void cross_with_best(SearchOutcome& outcome) {
        const auto child =
            partition_crossover(best_tour_, tour_.route_from(0),
                                [this](std::size_t a, std::size_t b) { return leg(a, b); });
        if (!child) return;
        best_tour_ = child->route;
        best_length_ -= child->gain;
        outcome.best =
            Solution{external_route(best_tour_), static_cast<Distance>(best_length_), std::nullopt};
    }

    // A step of a chain of 2-opt moves: t2-t3 joined, t3-t4 cut, with the gain left
    // open after it.
    struct Step {
        std::size_t t2, t3, t4;
        std::int64_t gain;
    };

    std::int64_t leg(std::size_t from, std::size_t to) const {
        return short_legs_.empty()
                   ? static_cast<std::int64_t>(rows_[external_[from]][external_[to]])
                   : short_legs_[from * n_ + to];
    }

    // A route of the search's numbers as the caller numbers locations (the search's 0 is
    // where the start began).
    Route external_route(Route route) const {
        for (std::size_t& location : route) location = external_[location];
        return route;
    }

    // Legs below 2^16 are read from a copy of 2 bytes each, numbered as in the
    // search, which the cache holds four times as much of as the table's 8 (the
    // descent's time goes into reading legs; looking a leg up in the neighbour lists
    // first made a sixth fewer descents at n = 5000). False when `stop` ended the copy;
    // without it when a leg does not fit. Also sets the chains' depth: a chain's open
    // gain grows by less than the longest leg at each level, and has to stay within
    // 64 bits.
    bool copy_short_legs(const std::function<bool()>& stop) {
        std::uint64_t longest = 1;
        for (std::size_t a = 0; a < n_; ++a) {
            if (a % kRowsPerStopCheck == 0 && stop()) return false;
            longest = std::max(longest, *std::max_element(rows_[a].begin(), rows_[a].end()));
        }
        chain_depth_ =
            std::min<std::uint64_t>(options_.params.plain_chain_depth, INT64_MAX / longest - 1);
        three_opt_depth_ = std::min<std::uint64_t>(kThreeOptDepth, (INT64_MAX / longest - 1) / 2);
        if (longest > UINT16_MAX) return true;
        short_legs_.resize(n_ * n_);
        for (std::size_t a = 0; a < n_; ++a) {
            if (a % kRowsPerStopCheck == 0 && stop()) return false;
            const auto& row = rows_[external_[a]];
            for (std::size_t b = 0; b < n_; ++b)
                short_legs_[a * n_ + b] = static_cast<std::uint16_t>(row[external_[b]]);
        }
        return true;
    }

    __int128 tour_length(const Route& route) const {
        __int128 total = 0;
        for (std::size_t k = 0; k < route.size(); ++k)
            total += leg(route[k], route[(k + 1) % route.size()]);
        return total;
    }

    void enqueue(std::size_t location) {
        if (queued_[location]) return;
        queued_[location] = 1;
        queue_.push_back(location);
    }

    void descend() {
        for (std::size_t next = 0; next < queue_.size() && !stopping_; ++next) {
            const std::size_t anchor = queue_[next];
            queued_[anchor] = 0;
            if (three_opt_step(anchor) || chain(anchor) || segment_swap(anchor) || or_move(anchor))
                enqueue(anchor);
            if (clock_.should_stop_after_trial()) stopping_ = true;
        }
        for (std::size_t location : queue_) queued_[location] = 0;
        queue_.clear();
    }

    // A chain of 2-opt moves from `t1`: the leg from t1 to its neighbour t2 goes, t2
    // is joined to a near location t3, and t3's neighbour t4 on the side that keeps a
    // tour is cut off and joined to t1. Then t4 takes t2's part at the next level, up
    // to `plain_chain_depth` levels, and the chain is cut back to its most gainful
    // prefix. Each level goes on the tour at once and is undone when nothing beneath
    // it pays, so every step is an ordinary reversal whose change of length is exact.
    bool chain(std::size_t t1) {
        for (const bool forward : {true, false}) {
            const std::size_t t2 = forward ? tour_.next(t1) : tour_.previous(t1);
            best_closed_ = 0;
            if (!deepen(t1, t2, leg(t1, t2), 0)) continue;
            while (steps_.size() > best_steps_) {
                exchange(t1, steps_.back().t4, steps_.back().t2);
                pop_step();
            }
            length_ -= best_closed_;
            enqueue(t1);
            for (const Step& step : steps_)
                for (std::size_t location : {step.t2, step.t3, step.t4}) enqueue(location);
            while (!steps_.empty()) pop_step();
            return true;
        }
        return false;
    }

    // One level of `chain`, `gain` the length taken out so far beyond what was put in
    // (the leg t1-t2 not yet counted back). The few steps that leave the most gain are
    // tried, most first, more of them at the first levels. Once the chain closes with a
    // gain, it only goes deeper, with no second tries: true, the tour left as it is.
    bool deepen(std::size_t t1, std::size_t t2, std::int64_t gain, std::size_t level) {
        std::array<Step, kBreadth.front()> candidates;
        const std::size_t breadth = kBreadth[std::min(level, kBreadth.size() - 1)];
        std::size_t found = 0;
        const bool forward = tour_.next(t1) == t2;
        for (std::size_t k = 0; k < lists_.count; ++k) {
            const std::size_t t3 = lists_.near[t2 * lists_.count + k];
            // A chain worth going on with can still beat the best closing found.
            const std::int64_t open = gain - lists_.legs[t2 * lists_.count + k];
            if (open <= best_closed_) break;
            const std::size_t t4 = forward ? tour_.previous(t3) : tour_.next(t3);
            if (t3 == t1 || t4 == t2 || was_joined(t3, t4)) continue;
            // Steps that rewrite much of a large tour cost more than they find, once
            // kicks only change a few legs here and there.
            std::size_t span = forward ? tour_.position(t4) + n_ - tour_.position(t2)
                                       : tour_.position(t2) + n_ - tour_.position(t4);
            if (span >= n_) span -= n_;
            if (std::min(span + 1, n_ - 1 - span) > options_.params.plain_longest_reversal)
                continue;
            const Step step{t2, t3, t4, open + leg(t3, t4)};
            std::size_t place = std::min(found, breadth);
            for (; place > 0 && candidates[place - 1].gain < step.gain; --place)
                if (place < breadth) candidates[place] = candidates[place - 1];
            if (place < breadth) candidates[place] = step;
            found = std::min(found + 1, breadth);
        }
        for (std::size_t k = 0; k < found; ++k) {
            const Step& step = candidates[k];
            // Row t1, read by every level of the chain, stays in the cache (legs are
            // symmetric here).
            const std::int64_t closed = step.gain - leg(t1, step.t4);
            // The step goes on the tour only when it closes with a gain or a next
            // level can follow: t4's nearest neighbour leaves enough open.
            const bool deeper =
                level + 1 < chain_depth_ &&
                lists_.legs[step.t4 * lists_.count] < step.gain - std::max(best_closed_, closed);
            if (!deeper && closed <= best_closed_) continue;
            exchange(t1, t2, step.t4);
            push_step(step);
            if (closed > best_closed_) {
                best_closed_ = closed;
                best_steps_ = steps_.size();
            }
            if (deeper) deepen(t1, step.t4, step.gain, level + 1);
            if (best_closed_ > 0) return true;
            pop_step();
            exchange(t1, step.t4, t2);
        }
        return false;
    }

    // The legs a chain joins stay in the tour to its end, so each location has at most
    // two of them: they are kept by location, looked up at once.
    bool was_joined(std::size_t a, std::size_t b) const {
        return joined_[a][0] == b || joined_[a][1] == b;
    }
    void push_step(const Step& step) {
        steps_.push_back(step);
        for (const auto& [a, b] : {std::pair(step.t2, step.t3), std::pair(step.t3, step.t2)})
            *std::find(joined_[a].begin(), joined_[a].end(), n_) = b;
    }
    void pop_step() {
        const Step& step = steps_.back();
        for (const auto& [a, b] : {std::pair(step.t2, step.t3), std::pair(step.t3, step.t2)})
            *std::find(joined_[a].begin(), joined_[a].end(), b) = n_;
        steps_.pop_back();
    }

    // A Lin-Kernighan step from `t1` whose levels are sequential 3-opt moves on the
    // alpha-nearest: the leg t1-t2 goes, t2 is joined to a candidate t3, t3 leaves a
    // neighbour t4, t4 is joined to a candidate t5 and t5 leaves the neighbour t6 that
    // keeps a tour (or the level stops at t4, a 2-opt move). The first level that
    // closes with a gain (t6 or t4 joined to t1) is kept; otherwise the level with the
    // most gain left open goes on the tour and the next one starts from t6, as long as
    // t6's nearest neighbour leaves a gain possible. No leg the step put in is taken
    // out, and none it took out is put back.
    bool three_opt_step(std::size_t t1) {
        if (alpha_.empty()) return false;
        for (const bool forward : {true, false}) {
            const std::size_t t2 = forward ? tour_.next(t1) : tour_.previous(t1);
            reversals_.clear();
            put_in_.clear();
            taken_out_ = {ordered(t1, t2)};
            if (!three_opt_level(t1, t2, leg(t1, t2), 0)) continue;
            enqueue(t1);
            for (const auto& [a, b] : taken_out_) {
                enqueue(a);
                enqueue(b);
            }
            return true;
        }
        return false;
    }

    // One level of `three_opt_step`, `gain` what it has taken out beyond what it put
    // in (the leg t1-t2 not yet counted back). True once a level closed with a gain,
    // the tour left with it; else false, the tour as it was.
    bool three_opt_level(std::size_t t1, std::size_t t2, std::int64_t gain, std::size_t level) {
        const bool forward = tour_.next(t1) == t2;
        const auto ahead = [&](std::size_t a) {
            return forward ? tour_.next(a) : tour_.previous(a);
        };
        const auto behind = [&](std::size_t a) {
            return forward ? tour_.previous(a) : tour_.next(a);
        };
        // Whether b lies on the way from a to c, the way t1 runs to t2.
        const auto between = [&](std::size_t a, std::size_t b, std::size_t c) {
            const auto steps = [&](std::size_t from, std::size_t to) {
                const std::size_t p = tour_.position(from), q = tour_.position(to);
                return forward ? (q + n_ - p) % n_ : (p + n_ - q) % n_;
            };
            return steps(a, b) <= steps(a, c);
        };
        std::optional<ThreeOptMove> deepest;  // the most gain left open
        for (std::size_t k = 0; k < alpha_count_; ++k) {
            const std::size_t t3 = alpha_[t2 * alpha_count_ + k];
            const std::int64_t g1 = gain - leg(t2, t3);
            if (g1 <= 0 || t3 == t1 || t3 == ahead(t2) || was_taken_out(t2, t3)) continue;
            for (const bool t4_ahead : {false, true}) {
                const std::size_t t4 = t4_ahead ? ahead(t3) : behind(t3);
                if (t4 == t1 || was_put_in(t3, t4)) continue;
                const std::int64_t g2 = g1 + leg(t3, t4);
                if (!t4_ahead && g2 - leg(t4, t1) > 0) {
                    reverse_leg(t1, t2, t4);
                    put_in_.push_back(ordered(t2, t3));
                    taken_out_.push_back(ordered(t3, t4));
                    length_ -= g2 - leg(t4, t1);
                    return true;
                }
                for (std::size_t j = 0; j < alpha_count_; ++j) {
                    const std::size_t t5 = alpha_[t4 * alpha_count_ + j];
                    const std::int64_t g3 = g2 - leg(t4, t5);
                    if (g3 <= 0 || t5 == t1 || t5 == tour_.next(t4) || t5 == tour_.previous(t4) ||
                        was_taken_out(t4, t5))
                        continue;
                    // With t4 behind t3, t5 anywhere: two 2-opt moves. With t4 ahead,
                    // t5 between t2 and t3: t2 .. t5 and t6 .. t3 swapped (t6 ahead of
                    // t5), or each reversed in place (t6 behind t5).
                    std::array<ThreeOptMove, 2> moves{};
                    std::size_t count = 0;
                    if (!t4_ahead) {
                        moves[count++] = {ThreeOptKind::two_reversals,
                                          t3,
                                          t4,
                                          t5,
                                          between(t2, t5, t4) ? ahead(t5) : behind(t5),
                                          0};
                    } else if (between(t2, t5, t3)) {
                        moves[count++] = {ThreeOptKind::swap, t3, t4, t5, ahead(t5), 0};
                        if (t5 != t2)
                            moves[count++] = {
                                ThreeOptKind::reversed_in_place, t3, t4, t5, behind(t5), 0};
                    }
                    for (std::size_t m = 0; m < count; ++m) {
                        ThreeOptMove& move = moves[m];
                        if (was_put_in(move.t5, move.t6)) continue;
                        move.open = g3 + leg(move.t5, move.t6);
                        if (move.open - leg(move.t6, t1) > 0) {
                            apply(t1, t2, move);
                            length_ -= move.open - leg(move.t6, t1);
                            return true;
                        }
                        if (level + 1 < three_opt_depth_ &&
                            (!deepest || move.open > deepest->open) &&
                            lists_.legs[move.t6 * lists_.count] < move.open)
                            deepest = move;
                    }
                }
            }
        }
        if (!deepest) return false;
        const std::size_t undo_from = reversals_.size();
        apply(t1, t2, *deepest);
        if (three_opt_level(t1, deepest->t6, deepest->open, level + 1)) return true;
        while (reversals_.size() > undo_from) {
            const auto [a, b, c] = reversals_.back();
            exchange(a, c, b);
            reversals_.pop_back();
        }
        put_in_.resize(put_in_.size() - 2);
        taken_out_.resize(taken_out_.size() - 2);
        return false;
    }

    enum class ThreeOptKind { two_reversals, swap, reversed_in_place };
    struct ThreeOptMove {
        ThreeOptKind kind;
        std::size_t t3, t4, t5, t6;
        std::int64_t open;  // the gain left open after it
    };

    // Puts the level on the tour as 2-opt moves (logged, to be undone), which leave
    // t6 next to t1.
    void apply(std::size_t t1, std::size_t t2, const ThreeOptMove& move) {
        const auto [kind, t3, t4, t5, t6, open] = move;
        switch (kind) {
            case ThreeOptKind::two_reversals:
                reverse_leg(t1, t2, t4);
                reverse_leg(t1, t4, t6);
                break;
            case ThreeOptKind::swap:
                reverse_leg(t1, t2, t5);
                reverse_leg(t1, t5, t3);
                reverse_leg(t1, t3, t6);
                break;
            case ThreeOptKind::reversed_in_place:
                reverse_leg(t1, t2, t6);
                reverse_leg(t2, t5, t3);
                break;
        }
        put_in_.insert(put_in_.end(), {ordered(t2, t3), ordered(t4, t5)});
        taken_out_.insert(taken_out_.end(), {ordered(t3, t4), ordered(t5, t6)});
    }

    void reverse_leg(std::size_t a, std::size_t b, std::size_t c) {
        exchange(a, b, c);
        reversals_.push_back({a, b, c});
    }

    using Leg = std::pair<std::size_t, std::size_t>;
    static Leg ordered(std::size_t a, std::size_t b) { return a < b ? Leg(a, b) : Leg(b, a); }
    bool was_put_in(std::size_t a, std::size_t b) const {
        return std::find(put_in_.begin(), put_in_.end(), ordered(a, b)) != put_in_.end();
    }
    bool was_taken_out(std::size_t a, std::size_t b) const {
        return std::find(taken_out_.begin(), taken_out_.end(), ordered(a, b)) != taken_out_.end();
    }

    // The pure 3-opt move that no chain of reversals makes: the leg t1-t2 goes, t2 is
    // joined to a near t3 further on, t3 leaves its neighbour t4 beyond, and t4 is
    // joined to a near t5 between t2 and t3, whose neighbour t6 towards t3 is joined to
    // t1. The two stretches t2 .. t5 and t6 .. t3 change places, neither reversed.
    bool segment_swap(std::size_t t1) {
        const std::size_t count = lists_.count;
        for (const bool forward : {true, false}) {
            const auto ahead = [&](std::size_t a) {
                return forward ? tour_.next(a) : tour_.previous(a);
            };
            const auto steps = [&](std::size_t from, std::size_t to) {
                const std::size_t a = tour_.position(from), b = tour_.position(to);
                return forward ? (b + n_ - a) % n_ : (a + n_ - b) % n_;
            };
            const std::size_t t2 = ahead(t1);
            for (std::size_t k = 0; k < count; ++k) {
                const std::size_t t3 = lists_.near[t2 * count + k];
                const std::int64_t first = leg(t1, t2) - lists_.legs[t2 * count + k];
                if (first <= 0) break;
                const std::size_t t4 = ahead(t3);
                if (t4 == t1) continue;
                const std::size_t span = steps(t2, t3);
                for (std::size_t j = 0; j < count; ++j) {
                    const std::size_t t5 = lists_.near[t4 * count + j];
                    const std::int64_t second = first + leg(t3, t4) - lists_.legs[t4 * count + j];
                    if (second <= 0) break;
                    if (steps(t2, t5) >= span) continue;
                    const std::size_t t6 = ahead(t5);
                    if (second + leg(t5, t6) - leg(t1, t6) <= 0) continue;
                    // Cut after t1, t5 and t3 the way round the tour runs.
                    const auto at = [&](std::size_t a) {
                        return tour_.position(forward ? a : ahead(a));
                    };
                    swap_shorter({at(t1), at(t5), at(t3)}, 0);
                    return true;
                }
            }
        }
        return false;
    }

    // The 2-opt move that replaces the legs a-b and c-d, where d follows c the way b
    // follows a, with a-c and b-d.
    void exchange(std::size_t a, std::size_t b, std::size_t c) {
        if (tour_.next(a) == b)
            tour_.reverse(b, c);
        else
            tour_.reverse(c, b);
    }

    // The Or-moves that take a stretch beginning at `a` out and put it back with `a`
    // next to one of its neighbours.
    bool or_move(std::size_t a) {
        std::array<std::size_t, 4> stretch{};
        const std::size_t longest =
            std::min({options_.params.plain_longest_moved, stretch.size(), n_ - 4});
        for (std::size_t count = 1; count <= longest; ++count) {
            for (const bool forward : {true, false}) {
                if (count == 1 && !forward) break;
                stretch[0] = a;
                for (std::size_t k = 1; k < count; ++k)
                    stretch[k] =
                        forward ? tour_.next(stretch[k - 1]) : tour_.previous(stretch[k - 1]);
                const std::size_t z = stretch[count - 1];
                const std::size_t before = forward ? tour_.previous(a) : tour_.next(a);
                const std::size_t after = forward ? tour_.next(z) : tour_.previous(z);
                // No neighbour is nearer than what the two legs out of the stretch
                // could free (the leg that closes the gap is never negative).
                const std::int64_t freed = leg(before, a) + leg(z, after);
                if (lists_.legs[a * lists_.count] >= freed) continue;
                const std::int64_t removed = freed - leg(before, after);
                const auto inside = [&](std::size_t location) {
                    return std::find(stretch.begin(),
                                     stretch.begin() + static_cast<std::ptrdiff_t>(count),
                                     location) !=
                           stretch.begin() + static_cast<std::ptrdiff_t>(count);
                };
                for (std::size_t k = 0; k < lists_.count; ++k) {
                    const std::size_t c = lists_.near[a * lists_.count + k];
                    const std::int64_t ac = lists_.legs[a * lists_.count + k];
                    if (ac >= removed) break;
                    if (inside(c)) continue;
                    for (const std::size_t e : {tour_.next(c), tour_.previous(c)}) {
                        if (inside(e) || (c == before && e == after) || (c == after && e == before))
                            continue;
                        const std::int64_t gain = removed - ac - leg(z, e) + leg(c, e);
                        if (gain <= 0) continue;
                        const bool c_left = e == tour_.next(c);
                        tour_.move_stretch(std::span(stretch.data(), count), c_left ? c : e,
                                           c_left);
                        length_ -= gain;
                        for (std::size_t location : {before, after, z, c, e}) enqueue(location);
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
        if (alpha_.empty() && uniform_index(rng_, 99) < options_.params.plain_near_kick_percent) {
            near_kick();
            return;
        }
        const std::size_t longest =
            std::max<std::size_t>(1, std::min(options_.params.plain_kick_stretch, (n_ - 2) / 2));
        const std::size_t at = draw(0, n_ - 1), first = draw(1, longest), second = draw(1, longest);
        swap_stretches(at, first, second, rng_.next_u32());
    }

    // Once the search has stalled, it goes back to the best tour and kicks it harder,
    // taking the result whatever its length: a new walk from the best place found.
    void restart_from() {
        tour_ = ArrayTour(best_tour_);
        length_ = best_length_;
        for (std::size_t k = 0; k < options_.params.plain_restart_kicks; ++k) near_kick();
    }

    // A double bridge cut after a location and two of its near neighbours.
    void near_kick() {
        const std::size_t a = draw(0, n_ - 1), count = lists_.count;
        const std::size_t first_pick = draw(0, count - 1);
        std::size_t second_pick = draw(0, count - 2);
        if (second_pick >= first_pick) ++second_pick;
        std::array<std::size_t, 3> cuts{tour_.position(a),
                                        tour_.position(lists_.near[a * count + first_pick]),
                                        tour_.position(lists_.near[a * count + second_pick])};
        swap_shorter(cuts, rng_.next_u32());
    }

    // Cut after the three positions `cuts`, the tour falls into three stretches;
    // swapping any two of them gives the same tour, so the two shorter ones move.
    void swap_shorter(std::array<std::size_t, 3> cuts, std::uint32_t reversals) {
        std::sort(cuts.begin(), cuts.end());
        const std::array<std::size_t, 3> lengths{cuts[1] - cuts[0], cuts[2] - cuts[1],
                                                 n_ - (cuts[2] - cuts[0])};
        const std::size_t longest = static_cast<std::size_t>(
            std::max_element(lengths.begin(), lengths.end()) - lengths.begin());
        swap_stretches((cuts[longest] + lengths[longest] + 1) % n_, lengths[(longest + 1) % 3],
                       lengths[(longest + 2) % 3], reversals);
    }

    // The `first` locations from position `at` and the `second` after them change
    // places, each reversed when its bit of `reversals` says so; the locations at the
    // new joins are queued.
    void swap_stretches(std::size_t at, std::size_t first, std::size_t second,
                        std::uint32_t reversals) {
        const std::size_t ends[] = {at + n_ - 1, at + first - 1, at + first + second - 1};
        const std::size_t new_ends[] = {at + n_ - 1, at + second - 1, at + first + second - 1};
        auto junctions = [&](const std::size_t(&positions)[3]) {
            std::int64_t sum = 0;
            for (std::size_t p : positions) sum += leg(tour_.at(p % n_), tour_.at((p + 1) % n_));
            return sum;
        };
        const std::int64_t removed = junctions(ends);
        tour_.swap_stretches(at, first, second, reversals & 1, reversals & 2);
        length_ += junctions(new_ends) - removed;
        for (std::size_t p : new_ends) {
            enqueue(tour_.at(p % n_));
            enqueue(tour_.at((p + 1) % n_));
        }
    }

    const Penalizer& penalizer_;
    const IteratedSearchOptions& options_;
    SearchClock& clock_;
    RandomWords& rng_;
    const Rows& rows_;
    std::vector<std::uint16_t> short_legs_;  // row after row, when every leg fits
    std::size_t n_;
    // The search numbers locations in the order of the start tour, so that locations
    // near one another mostly have near numbers and the legs a move reads lie close
    // together in the copied table: its `i` is the caller's `external_[i]`.
    Route external_;
    NearLists lists_;
    ArrayTour tour_;
    Route best_tour_;  // the best tour found, numbered as in the search
    std::vector<std::uint8_t> queued_;
    std::vector<std::size_t> queue_;  // locations whose moves are still to be tried
    std::vector<Step> steps_;         // of the chain being tried
    std::int64_t best_closed_ = 0;    // the most a prefix of it gains when closed
    std::size_t best_steps_ = 0;      // and how many steps that prefix has
    std::size_t chain_depth_ = 1;     // the most levels a chain has
    // Each location's `alpha_count_` alpha-nearest, row after row (none: no steps of
    // 3-opt levels), and what such a step has done so far.
    std::vector<std::size_t> alpha_;
    std::size_t alpha_count_ = 0;
    std::uint64_t three_opt_depth_ = 1;
    std::vector<std::array<std::size_t, 3>> reversals_;  // 2-opt moves (exchange's a, b, c)
    std::vector<Leg> put_in_, taken_out_;
    // For each location, the (at most two) locations the chain has joined it to; n_
    // for none.
    std::vector<std::array<std::size_t, 2>> joined_;
    __int128 length_;                // of the tour as it stands
    __int128 committed_length_;      // of the tour the next kick changes
    __int128 best_length_ = 0;       // of the best tour found
    __int128 walk_best_length_ = 0;  // of the best tour since the last restart
    __int128 slack_ = 0;             // how much longer than the best tour a current one may be
    bool stopping_ = false;
};

}  // namespace

bool plain_tour_search_applies(const Penalizer& penalizer, SearchClock& clock) {
    const Rows& rows = penalizer.distance_matrix().rows;
    const std::size_t n = rows.size();
    if (penalizer.time_scheduler() || n < kFewestLocations) return false;
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
    const Rows& rows = penalizer.distance_matrix().rows;
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

SearchOutcome plain_tour_search(const Penalizer& penalizer, const Route& start,
                                const IteratedSearchOptions& options, SearchClock& clock,
                                RandomWords& rng) {
    return PlainTourSearch(penalizer, start, options, clock, rng).run();
}

}  // namespace tourwright
