#pragma once
// Kicks that move an iterated search out of the basin of its last local optimum
// while keeping most of the tour: each rearranges positions `first` .. `stop` - 1 of
// a route (the others stay where they are) and returns the locations next to which
// legs changed, where the next descent should look first.
#include <cstddef>
#include <vector>

#include "model/optional_stops.hpp"
#include "model/route.hpp"
#include "model/time_input.hpp"
#include "search/neighbour_lists.hpp"
#include "util/random_words.hpp"

namespace tourwright {

// Two adjacent random stretches of at most `longest` locations change places
// (a double bridge kept local, so that time windows are not thrown far off).
std::vector<std::size_t> swap_adjacent_stretches(Route& route, std::size_t first, std::size_t stop,
                                                 std::size_t longest, RandomWords& rng);

// `count` random locations are taken out and each put back next to one of its
// neighbours, chosen at random.
std::vector<std::size_t> relocate_near_neighbours(Route& route, std::size_t first, std::size_t stop,
                                                  std::size_t count,
                                                  const NeighbourLists& neighbours,
                                                  RandomWords& rng);

// One of the most important locations that `route` leaves out (when any) taken in, after
// one of its neighbours among positions max(first, 1) .. stop - 1, and one or two optional
// locations there left out (of a lower class where there are such): a kick of what the
// tour serves, so that a search does not keep the choice its first descent made. The
// locations left out come last among those returned.
std::vector<std::size_t> exchange_served(Route& route, std::size_t first, std::size_t stop,
                                         const OptionalStops& stops,
                                         const NeighbourLists& neighbours, RandomWords& rng);

// How many of `n` locations a tour on time can fit into the time one window spans: `n`
// times the share of the horizon (first opening to last closing) that a location's
// windows cover on average, a location without windows all of it; 0 when the windows
// leave no horizon. A kick's stretch no longer than that mostly stays on time where it
// lands.
double locations_per_window(const TimeScheduler& scheduler, std::size_t n);

}  // namespace tourwright
