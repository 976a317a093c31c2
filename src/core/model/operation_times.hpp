#pragma once
#include "util/chrono.hpp"

namespace tourwright {

// Daily operating hours, open on [daily_start, daily_end) of every UTC day.
struct OperationTimes {
    NaiveTime daily_start;
    NaiveTime daily_end;

    // Panics "assertion failed: daily_start < daily_end" unless daily_start < daily_end.
    OperationTimes(NaiveTime daily_start, NaiveTime daily_end);

    // The wait from time of day `t` until the operation is open; zero inside the hours.
    TimeDelta waiting_time(NaiveTime t) const;
};

}  // namespace tourwright
