#pragma once
#include "util/chrono.hpp"

namespace tourwright {

// Time since an arbitrary fixed point on the monotonic clock (CLOCK_MONOTONIC).
// Only differences mean anything: a wall clock set back or forward changes none.
TimeDelta monotonic_now();

}  // namespace tourwright
