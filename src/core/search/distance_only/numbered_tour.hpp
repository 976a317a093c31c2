#pragma once
// What the three parts of the distance-only search share: the tour they change, numbered
// the search's way, its legs and near lists, its length, and the queue of locations whose
// moves are still to be tried. The moves that change it live beside this file: the
// search's own moves and kicks (distance_only_search.cpp), chains of 2-opt moves
// (two_opt_chains.*) and steps of sequential 3-opt levels (three_opt_steps.*).
#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

#include "model/route.hpp"
#include "search/distance_only/array_tour.hpp"

namespace tourwright::distance_only {

using Rows = std::vector<std::vector<std::uint64_t>>;

// Rows of the table read between two looks at the clock while the search is set up
// (some tens of microseconds at n = 10,000: on a loaded machine a stop request is
// seen within a few milliseconds all the same).
inline constexpr std::size_t kRowsPerStopCheck = 8;

// For each location, the `count` others nearest to it, nearest first (ties by index),
// and their legs; locations are numbered as in the search (its `i` is the table's
// `external[i]`). Building them reads the whole table, so it asks `stop` now and then
// whether to give up (and leave the lists unfinished).
struct NearLists {
    bool build(const Rows& rows, const Route& external, std::size_t count_each,
               const std::function<bool()>& stop);

    std::size_t count = 0;
    std::vector<std::size_t> near;
    std::vector<std::int64_t> legs;
};

struct NumberedTour {
    NumberedTour(const Rows& table, const Route& start)
        : rows(table),
          n(start.size()),
          external(start),
          tour(identity_route(n)),
          queued(n, 0),
          length(tour_length(identity_route(n))) {}

    std::int64_t leg(std::size_t from, std::size_t to) const {
        return short_legs.empty() ? static_cast<std::int64_t>(rows[external[from]][external[to]])
                                  : short_legs[from * n + to];
    }

    // A route of the search's numbers as the caller numbers locations (the search's 0 is
    // where the start began).
    Route external_route(Route route) const {
        for (std::size_t& location : route) location = external[location];
        return route;
    }

    __int128 tour_length(const Route& route) const {
        __int128 total = 0;
        for (std::size_t k = 0; k < route.size(); ++k)
            total += leg(route[k], route[(k + 1) % route.size()]);
        return total;
    }

    void enqueue(std::size_t location) {
        if (queued[location]) return;
        queued[location] = 1;
        queue.push_back(location);
    }

    // The 2-opt move that replaces the legs a-b and c-d, where d follows c the way b
    // follows a, with a-c and b-d.
    void exchange(std::size_t a, std::size_t b, std::size_t c) {
        if (tour.next(a) == b)
            tour.reverse(b, c);
        else
            tour.reverse(c, b);
    }

    // Copies the legs to `short_legs` when every one is below 2^16, and returns the
    // longest (at least 1); 0 when `stop` ended the reading.
    std::uint64_t copy_short_legs(const std::function<bool()>& stop);

    const Rows& rows;
    // Legs below 2^16 are read from a copy of 2 bytes each, numbered as in the
    // search, which the cache holds four times as much of as the table's 8 (the
    // descent's time goes into reading legs; looking a leg up in the neighbour lists
    // first made a sixth fewer descents at n = 5000). Row after row; empty when a leg
    // does not fit.
    std::vector<std::uint16_t> short_legs;
    std::size_t n;
    // The search numbers locations in the order of the start tour, so that locations
    // near one another mostly have near numbers and the legs a move reads lie close
    // together in the copied table: its `i` is the caller's `external[i]`.
    Route external;
    NearLists lists;
    ArrayTour tour;
    std::vector<std::uint8_t> queued;
    std::vector<std::size_t> queue;  // locations whose moves are still to be tried
    __int128 length;                 // of the tour as it stands
};

}  // namespace tourwright::distance_only
