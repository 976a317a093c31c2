#include "search/plain_tour_search.hpp"

#include <algorithm>
#include <array>
#include <functional>

#include "search/array_tour.hpp"
#include "util/rng.hpp"

namespace tourwright {
namespace {

constexpr std::uint64_t kLegBound = std::uint64_t{1} << 59;
constexpr std::size_t kFewestLocations = 8;
// A slack of a thousand times the tour accepts any tour (and keeps the product in range).
constexpr std::uint64_t kMostSlackPpm = 1'000'000'000;
// The table is compared with its mirror image in tiles of this side, so that both
// stay in the cache.
constexpr std::size_t kTile = 64;
// Rows of the table read between two looks at the clock while the search is set up
// (some tens of microseconds at n = 10,000: on a loaded machine a stop request is
// seen within a few milliseconds all the same).
constexpr std::size_t kRowsPerStopCheck = 8;

using Rows = std::vector<std::vector<std::uint64_t>>;

// For each location, the `count` others nearest to it, nearest first (ties by index),
// and their legs. Building them reads the whole table, so it asks `stop` now and then
// whether to give up (and leave the lists unfinished).
struct NearLists {
    bool build(const Rows& rows, std::size_t count_each, const std::function<bool()>& stop) {
        const std::size_t n = rows.size();
        count = count_each;
        near.resize(n * count);
        legs.resize(n * count);
        std::vector<std::pair<std::uint64_t, std::size_t>> heap;
        for (std::size_t a = 0; a < n; ++a) {
            if (a % kRowsPerStopCheck == 0 && stop()) return false;
            heap.clear();
            for (std::size_t b = 0; b < n; ++b) {
                if (b == a) continue;
                const std::pair candidate(rows[a][b], b);
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
          first_(start.front()),
          tour_(start),
          queued_(n_, 0),
          length_(tour_length(start)),
          committed_length_(length_) {}

    SearchOutcome run() {
        SearchOutcome outcome{penalizer_.penalize(tour_.route_from(first_), false), 0};
        const auto stop = [this] { return stopping_ = clock_.should_stop(); };
        if (!lists_.build(rows_, std::min(options_.params.plain_neighbours, n_ - 1), stop) ||
            !copy_short_legs(stop))
            return outcome;
        while (!stopping_ &&
               !(options_.max_descents && outcome.descents >= *options_.max_descents) &&
               !(stopping_ = clock_.should_stop())) {
            if (++outcome.descents == 1) {
                for (std::size_t p = 0; p < n_; ++p) enqueue(tour_.at(p));
            } else {
                kick();
            }
            descend();
            if (outcome.descents == 1) {
                best_length_ = length_ + 1;
                const std::uint64_t ppm =
                    std::min<std::uint64_t>(options_.params.plain_slack_ppm, kMostSlackPpm);
                slack_ = length_ * static_cast<__int128>(ppm) / 1'000'000;
            }
            // Record-to-record travel: a tour within the slack of the best one found
            // replaces the current one, so that the search can cross the low ridges
            // between nearby local optima.
            if (length_ > best_length_ + slack_) {
                tour_.rollback();
                length_ = committed_length_;
            } else {
                tour_.commit();
                committed_length_ = length_;
                if (length_ < best_length_) {
                    best_length_ = length_;
                    outcome.best = Solution{tour_.route_from(first_),
                                            static_cast<Distance>(length_), std::nullopt};
                }
            }
            if (options_.on_descent) options_.on_descent(outcome.descents, outcome.best);
        }
        return outcome;
    }

private:
    std::int64_t leg(std::size_t from, std::size_t to) const {
        return short_legs_.empty() ? static_cast<std::int64_t>(rows_[from][to])
                                   : short_legs_[from * n_ + to];
    }

    // Legs below 2^16 are read from a copy of 2 bytes each, which the cache holds
    // four times as much of as the table's 8 (the descent's time goes into reading
    // legs). False when `stop` ended the copy; without it when a leg does not fit.
    bool copy_short_legs(const std::function<bool()>& stop) {
        for (std::size_t a = 0; a < n_; ++a) {
            if (a % kRowsPerStopCheck == 0 && stop()) return false;
            if (*std::max_element(rows_[a].begin(), rows_[a].end()) > UINT16_MAX) return true;
        }
        short_legs_.resize(n_ * n_);
        for (std::size_t a = 0; a < n_; ++a) {
            if (a % kRowsPerStopCheck == 0 && stop()) return false;
            std::copy(rows_[a].begin(), rows_[a].end(),
                      short_legs_.begin() + static_cast<std::ptrdiff_t>(a * n_));
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
            if (two_opt(anchor) || or_move(anchor)) enqueue(anchor);
            if (clock_.should_stop_after_trial()) stopping_ = true;
        }
        for (std::size_t location : queue_) queued_[location] = 0;
        queue_.clear();
    }

    // The 2-opt moves that give `a` a nearer neighbour on either side: with symmetric
    // legs, every improving 2-opt move adds a leg shorter than one it removes at an
    // end, so the lists, nearest first, can stop at the leg they would replace.
    bool two_opt(std::size_t a) {
        for (const bool forward : {true, false}) {
            const std::size_t b = forward ? tour_.next(a) : tour_.previous(a);
            const std::int64_t ab = leg(a, b);
            for (std::size_t k = 0; k < lists_.count; ++k) {
                const std::size_t c = lists_.near[a * lists_.count + k];
                const std::int64_t ac = lists_.legs[a * lists_.count + k];
                if (ac >= ab) break;
                const std::size_t d = forward ? tour_.next(c) : tour_.previous(c);
                if (c == b || d == a) continue;
                const std::int64_t gain = ab + leg(c, d) - ac - leg(b, d);
                if (gain <= 0) continue;
                if (forward)
                    tour_.reverse(b, c);
                else
                    tour_.reverse(c, b);
                length_ -= gain;
                for (std::size_t location : {b, c, d}) enqueue(location);
                return true;
            }
        }
        return false;
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

    // Two adjacent stretches swap places, each reversed or not at random.
    void kick() {
        const std::size_t longest =
            std::max<std::size_t>(1, std::min(options_.params.plain_kick_stretch, (n_ - 2) / 2));
        const std::size_t at = draw(0, n_ - 1), first = draw(1, longest), second = draw(1, longest);
        const std::size_t ends[] = {at + n_ - 1, at + first - 1, at + first + second - 1};
        const std::size_t new_ends[] = {at + n_ - 1, at + second - 1, at + first + second - 1};
        auto junctions = [&](const std::size_t(&positions)[3]) {
            std::int64_t sum = 0;
            for (std::size_t p : positions) sum += leg(tour_.at(p % n_), tour_.at((p + 1) % n_));
            return sum;
        };
        const std::int64_t removed = junctions(ends);
        const std::uint32_t bits = rng_.next_u32();
        tour_.swap_stretches(at, first, second, bits & 1, bits & 2);
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
    std::size_t first_;  // where returned tours begin
    NearLists lists_;
    ArrayTour tour_;
    std::vector<std::uint8_t> queued_;
    std::vector<std::size_t> queue_;  // locations whose moves are still to be tried
    __int128 length_;                 // of the tour as it stands
    __int128 committed_length_;       // of the tour the next kick changes
    __int128 best_length_ = 0;        // of the best tour found
    __int128 slack_ = 0;              // how much longer than the best tour a current one may be
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
