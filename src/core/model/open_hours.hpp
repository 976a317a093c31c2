#pragma once
#include <cstddef>
#include <optional>

#include "model/open_calendar.hpp"
#include "model/operation_times.hpp"
#include "util/chrono.hpp"

namespace tourwright {

// The open hours of a problem, whichever form they take (the daily pair or a calendar),
// seen through the three lookups a simulation needs. Holds no hours at all when both are
// absent; it borrows what it points to.
class OpenHours {
public:
    OpenHours(std::nullptr_t = nullptr) {}
    OpenHours(const OperationTimes* daily) : daily_(daily) {}
    OpenHours(const OpenCalendar* calendar) : calendar_(calendar) {}

    explicit operator bool() const { return daily_ || calendar_; }
    // The daily pair, for what only it allows (the whole-day skip); null otherwise.
    const OperationTimes* daily() const { return daily_; }

    // The wait from `t` until open; zero inside the hours (and without hours).
    TimeDelta closed_for(DateTime t) const;
    // From the open instant `t` to the closing that ends its stretch; nullopt when it
    // never closes (without hours, past a calendar's last interval).
    std::optional<TimeDelta> until_closing(DateTime t) const;
    // The first instant from `t` on that is open and from which `length` runs without
    // meeting a closing. Under daily hours shorter than `length` no instant has that
    // room, and the next opening is taken instead.
    DateTime room_for(DateTime t, TimeDelta length) const;

private:
    const OperationTimes* daily_ = nullptr;
    const OpenCalendar* calendar_ = nullptr;
};

}  // namespace tourwright
