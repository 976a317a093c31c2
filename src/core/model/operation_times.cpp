#include "model/operation_times.hpp"

#include "util/panic.hpp"

namespace tourwright {

OperationTimes::OperationTimes(NaiveTime daily_start, NaiveTime daily_end)
    : daily_start(daily_start), daily_end(daily_end) {
    if (!(daily_start < daily_end)) panic_assertion("daily_start < daily_end");
}

TimeDelta OperationTimes::waiting_time(NaiveTime t) const {
    if (t < daily_start) return daily_start - t;
    if (t < daily_end) return TimeDelta::zero();
    return TimeDelta::seconds(kSecondsPerDay) + (daily_start - t);  // until tomorrow's opening
}

}  // namespace tourwright
