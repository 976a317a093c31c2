#pragma once
#include <cstddef>
#include <optional>
#include <vector>

#include "util/chrono.hpp"

namespace tourwright {

// One stretch of open time, [open, close): work and travel run from `open` up to `close`.
struct OpenInterval {
    DateTime open;
    DateTime close;

    friend bool operator==(const OpenInterval&, const OpenInterval&) = default;
};

// Open hours as instants: the working week of a calendar, its exceptions and its clock
// changes already resolved by the caller, so that nothing here knows of days or zones.
// Outside the intervals work and travel pause. The caller covers every instant a tour
// can reach; past the last interval time runs without pause, so that no action can
// wait for ever.
class OpenCalendar {
public:
    // Panics "assertion failed: open intervals ascend, each non-empty" unless the
    // intervals are non-empty, each with open < close, and each opens after the one
    // before closes.
    explicit OpenCalendar(std::vector<OpenInterval> intervals);

    const std::vector<OpenInterval>& intervals() const { return intervals_; }

    // The wait from `t` until the calendar is open; zero inside an interval and after
    // the last one.
    TimeDelta closed_for(DateTime t) const;
    // The closing of the interval holding the open instant `t`; nullopt after the last
    // interval (never closes). `t` must be open (closed_for(t) is zero).
    std::optional<DateTime> closing_after(DateTime t) const;
    // The first instant from `t` on at which `length` runs without meeting a closing:
    // `t` itself where that holds, otherwise the opening of the first interval at least
    // `length` long (or the end of the last interval).
    DateTime room_for(DateTime t, TimeDelta length) const;

private:
    // The index of the first interval that closes after `t` (size() when none does).
    std::size_t first_closing_after(DateTime t) const;

    std::vector<OpenInterval> intervals_;
};

}  // namespace tourwright
