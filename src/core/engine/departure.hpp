#pragma once
// The latest departure of a tour: travel and work never end earlier when they
// begin later, so without breaks lateness and the end instant only grow with the
// departure, and the latest one that keeps both is found by bisection over whole
// seconds. Breaks break that order (a later start may let a wait hold a break that
// delayed a passage before), so there the bisection may stop short of the latest such
// departure; it still moves only to departures that keep both.
#include <optional>

#include "evaluation/penalizer.hpp"

namespace tourwright {

// The latest instant, within the first window of the route's first location, at
// which the tour can leave with the lateness and end it has when it leaves at that
// window's opening; nullopt without time data. Every instant it returns was
// evaluated in full and keeps both, whatever the time data.
std::optional<DateTime> latest_departure(const Penalizer& penalizer, const Route& route);

}  // namespace tourwright
