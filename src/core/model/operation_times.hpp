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

// The whole-day skip shared by both simulations of a long action: begun at an opening
// with `remaining` to do, an action takes whole days at once, each the whole opening
// (`open` long) and then the night, while more than an opening remains. This many
// days at most; each simulation takes fewer where its windows or ranges require.
template <class Length>
Length whole_days_within(Length remaining, Length open) {
    return (remaining - 1) / open;
}

}  // namespace tourwright
