#pragma once
// Candidate neighbours by alpha-nearness: how much longer the cheapest 1-tree that
// must hold a leg is than the cheapest 1-tree, after a subgradient ascent has moved
// the trees' lengths towards those of tours. Legs of short tours are mostly among a
// location's five alpha-nearest, where a list of the nearest by distance misses some
// (a location in a corridor between two clusters has its tour legs to both, not to
// the nearer one twice).
#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <vector>

namespace tourwright {

// For each of the `n` locations, its `count` alpha-nearest (row after row) among the
// locations of `near` (row after row, `near_count` each, the nearest by distance),
// after `steps` steps of the ascent (at least one): the trees only use legs between a
// location and those in its row, which on points in a plane leave the cheapest trees
// as they are and keep each step to some milliseconds at n = 10,000. Ties go to the
// shorter leg. `leg` must be symmetric. Empty when `stop` said so (asked before each
// step) or when those legs do not connect every location; `enough` (asked before each
// step after the first) ends the ascent early, the lists made from its best step.
std::vector<std::size_t> alpha_nearest(
    std::size_t n, std::span<const std::size_t> near, std::size_t near_count,
    const std::function<std::int64_t(std::size_t, std::size_t)>& leg, std::size_t count,
    std::size_t steps, const std::function<bool()>& stop, const std::function<bool()>& enough);

}  // namespace tourwright
