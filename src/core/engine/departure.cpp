#include "engine/departure.hpp"

namespace tourwright {

std::optional<DateTime> latest_departure(const Penalizer& penalizer, const Route& route) {
    const auto& scheduler = penalizer.time_scheduler();
    if (!scheduler || route.empty()) return std::nullopt;
    const TimeWindow& first = checked_at(checked_at(scheduler->time_windows, route[0]).windows, 0);
    const TimeReport earliest = *penalizer.penalize(route, false).time_report;
    auto keeps = [&](std::int64_t delay) {
        const DateTime departure = first.start + TimeDelta::seconds(delay);
        const TimeReport report = *penalizer.penalize(route, false, departure).time_report;
        return report.lateness == earliest.lateness && report.end_time == earliest.end_time;
    };
    std::int64_t low = 0, high = (first.end - first.start).whole_seconds();
    while (low < high) {
        const std::int64_t middle = low + (high - low + 1) / 2;
        if (keeps(middle))
            low = middle;
        else
            high = middle - 1;
    }
    return first.start + TimeDelta::seconds(low);
}

}  // namespace tourwright
