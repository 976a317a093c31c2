#pragma once
// The search for tours where the distance decides alone and legs are symmetric:
// chains of 2-opt moves (each level joining a near location, cut back to the most
// gainful prefix), segment swaps and Or-moves (a stretch of up to three locations
// moved elsewhere, either way round) over neighbour lists, with a queue of locations
// still to look at instead of full sweeps, on an array tour whose moves rewrite the
// shorter side; then double bridges kept local (two adjacent stretches swap places,
// each perhaps reversed), after each of which the descent looks only where legs
// changed, and the result replaces the current tour when it is within a small slack
// of the best tour found (record-to-record travel). Each move's change of length is
// worked out exactly in 64 bits, which the legs' bound guarantees.
#include "search/iterated_search.hpp"

namespace tourwright {

// Whether the distance-only search takes the tours of this problem: no time data, a square
// symmetric table over at least eight locations, every leg below 2^59 (so that the
// few legs a move adds and removes sum within 64 bits). Reading the table takes a
// while on large problems: when `clock` says stop on the way, the answer is yes, and
// the distance-only search then stops at once too.
bool distance_only_search_applies(const Penalizer& penalizer, SearchClock& clock);

// `start`'s first location, then each time the nearest of those left; cut short
// (the rest in `start`'s order) when `clock` says stop. For problems the
// search takes.
Route nearest_neighbour_tour(const Penalizer& penalizer, Route start, SearchClock& clock);

// What `iterated_search_with` promises, for problems the distance-only search takes; tours
// begin with `start`'s first location. Kicks and descents depend on the random
// words alone, never on the clock, and the best tour is kept apart from the current
// one: with the same words, a longer search never ends with a longer tour.
SearchOutcome distance_only_search(const Penalizer& penalizer, const Route& start,
                                   const IteratedSearchOptions& options, SearchClock& clock,
                                   RandomWords& rng);

}  // namespace tourwright
