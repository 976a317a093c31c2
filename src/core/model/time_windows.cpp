#include "model/time_windows.hpp"

#include "util/panic.hpp"

namespace tourwright {

TimeWindow::TimeWindow(DateTime start, DateTime end) : start(start), end(end) {
    if (start > end) panic_assertion("start <= end");
}

std::optional<WindowWait> TimeWindows::next_window(DateTime t) const {
    if (windows.empty() || t > windows.back().end) return std::nullopt;
    // This exact bisection decides which of several windows with one start is found.
    std::size_t base = 0;
    std::size_t size = windows.size();
    while (size > 1) {
        const std::size_t half = size / 2;
        const std::size_t mid = base + half;
        if (!(windows[mid].start > t)) base = mid;
        size -= half;
    }
    if (windows[base].start == t) return WindowWait{&windows[base], TimeDelta::zero()};
    const std::size_t idx = windows[base].start < t ? base + 1 : base;
    if (idx > 0 && windows[idx - 1].start <= t && t <= windows[idx - 1].end)
        return WindowWait{&windows[idx - 1], TimeDelta::zero()};
    const TimeWindow& next = checked_at(windows, idx);
    return WindowWait{&next, t < next.start ? next.start - t : TimeDelta::zero()};
}

}  // namespace tourwright
