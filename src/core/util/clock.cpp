#include "util/clock.hpp"

#include <time.h>

namespace tourwright {

TimeDelta monotonic_now() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return TimeDelta{static_cast<std::int64_t>(now.tv_sec), static_cast<std::int32_t>(now.tv_nsec)};
}

}  // namespace tourwright
