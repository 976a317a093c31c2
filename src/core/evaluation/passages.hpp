#pragma once
// The reference simulation of a whole tour, passage by passage: a passage is a leg (the
// first of no length, at the start) and the work at its destination (none for the
// return leg). Breaks are placed between and inside passages by the rule in
// model/breaks.hpp.
#include "evaluation/time_output.hpp"
#include "model/route.hpp"
#include "model/time_input.hpp"

namespace tourwright {

// The closed tour `route` from `start`: its jobs, its legs back to its first location,
// and the breaks it takes.
TimeReport tour_report(const TimeScheduler& scheduler, const Route& route, DateTime start,
                       bool with_schedule);

}  // namespace tourwright
