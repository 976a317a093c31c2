#pragma once
#include <optional>
#include <vector>

#include "util/chrono.hpp"

namespace tourwright {

// A closed interval of instants; both ends belong to it.
struct TimeWindow {
    DateTime start;
    DateTime end;

    // Panics "assertion failed: start <= end" when start is later than end.
    TimeWindow(DateTime start, DateTime end);

    friend bool operator==(const TimeWindow&, const TimeWindow&) = default;
};

// The window an instant falls into (or the next one to open) and the wait until it opens.
struct WindowWait {
    const TimeWindow* window;
    TimeDelta wait;
};

// The windows of one location, in the caller's order: not sorted, merged or checked.
// `next_window` assumes ascending, non-overlapping windows.
struct TimeWindows {
    std::vector<TimeWindow> windows;

    std::optional<WindowWait> next_window(DateTime t) const;
};

}  // namespace tourwright
