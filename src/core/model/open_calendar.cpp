#include "model/open_calendar.hpp"

#include <algorithm>

#include "util/panic.hpp"

namespace tourwright {

OpenCalendar::OpenCalendar(std::vector<OpenInterval> intervals) : intervals_(std::move(intervals)) {
    bool ascending = !intervals_.empty();
    for (std::size_t k = 0; k < intervals_.size() && ascending; ++k)
        ascending = intervals_[k].open < intervals_[k].close &&
                    (k == 0 || intervals_[k - 1].close < intervals_[k].open);
    if (!ascending) panic_assertion("open intervals ascend, each non-empty");
}

std::size_t OpenCalendar::first_closing_after(DateTime t) const {
    const auto found = std::upper_bound(
        intervals_.begin(), intervals_.end(), t,
        [](DateTime instant, const OpenInterval& interval) { return instant < interval.close; });
    return static_cast<std::size_t>(found - intervals_.begin());
}

TimeDelta OpenCalendar::closed_for(DateTime t) const {
    const std::size_t k = first_closing_after(t);
    if (k == intervals_.size() || intervals_[k].open <= t) return TimeDelta::zero();
    return intervals_[k].open - t;
}

std::optional<DateTime> OpenCalendar::closing_after(DateTime t) const {
    const std::size_t k = first_closing_after(t);
    if (k == intervals_.size()) return std::nullopt;
    return intervals_[k].close;
}

DateTime OpenCalendar::room_for(DateTime t, TimeDelta length) const {
    for (std::size_t k = first_closing_after(t); k < intervals_.size(); ++k) {
        const DateTime from = std::max(t, intervals_[k].open);
        if (intervals_[k].close - from >= length) return from;
    }
    return std::max(t, intervals_.back().close);
}

}  // namespace tourwright
