#include "model/open_hours.hpp"

namespace tourwright {

TimeDelta OpenHours::closed_for(DateTime t) const {
    if (daily_) return daily_->waiting_time(t.time_of_day());
    return calendar_ ? calendar_->closed_for(t) : TimeDelta::zero();
}

std::optional<TimeDelta> OpenHours::until_closing(DateTime t) const {
    if (daily_) return daily_->daily_end - t.time_of_day();
    if (!calendar_) return std::nullopt;
    const auto closing = calendar_->closing_after(t);
    if (!closing) return std::nullopt;
    return *closing - t;
}

DateTime OpenHours::room_for(DateTime t, TimeDelta length) const {
    if (calendar_) return calendar_->room_for(t, length);
    if (!daily_) return t;
    const DateTime open = t + closed_for(t);
    if (*until_closing(open) >= length) return open;
    // Not enough before this closing: the next opening, whose day is the whole opening long.
    const DateTime next = open + *until_closing(open);
    return next + closed_for(next);
}

}  // namespace tourwright
