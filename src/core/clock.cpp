#include "clock.hpp"

#include <time.h>

#include "panic.hpp"

namespace tourwright {

DateTime now_utc() {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    if (now.tv_sec < 0) panic("system time before Unix epoch");
    auto instant = DateTime::from_unix(now.tv_sec, static_cast<std::uint32_t>(now.tv_nsec));
    if (!instant) panic("`DateTime + TimeDelta` overflowed");
    return *instant;
}

}  // namespace tourwright
