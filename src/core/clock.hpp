#pragma once
#include "chrono.hpp"

namespace tourwright {

// The wall clock (CLOCK_REALTIME) as a UTC instant. Panics "system time before
// Unix epoch" when the clock stands before 1970.
DateTime now_utc();

}  // namespace tourwright
