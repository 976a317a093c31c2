#include "neighbour_lists.hpp"

#include <algorithm>
#include <optional>
#include <utility>

namespace tourwright {
namespace {

TimeDelta at_least_zero(TimeDelta d) { return d.is_positive() ? d : TimeDelta::zero(); }

bool covers(const auto& rows, std::size_t n) {
    return rows.size() >= n && std::all_of(rows.begin(), rows.begin() + static_cast<std::ptrdiff_t>(n),
                                           [n](const auto& row) { return row.size() >= n; });
}

// Answers whether a leg dooms the job at its end: work at `from` starts no earlier
// than its first window opens (windows ascending), so with the job there, the
// travel and the job at `to`, the latter ends after the last window of `to`.
class LateLegs {
public:
    explicit LateLegs(const TimeScheduler* scheduler, std::size_t n) {
        if (!scheduler || scheduler->job_durations.size() < n || scheduler->time_windows.size() < n ||
            !covers(scheduler->duration_matrix, n))
            return;
        scheduler_ = scheduler;
        for (std::size_t k = 0; k < n; ++k) {
            const auto& windows = scheduler->time_windows[k].windows;
            const bool ascending = std::is_sorted(windows.begin(), windows.end(), [](const auto& a, const auto& b) {
                return a.start < b.start;
            });
            earliest_departure_.push_back(
                ascending && !windows.empty()
                    ? std::optional(windows.front().start + at_least_zero(scheduler->job_durations[k]))
                    : std::nullopt);
        }
    }

    bool is_late(std::size_t from, std::size_t to) const {
        if (!scheduler_ || !earliest_departure_[from]) return false;
        const auto& windows = scheduler_->time_windows[to].windows;
        if (windows.empty()) return false;
        const DateTime done = *earliest_departure_[from] +
                              at_least_zero(scheduler_->duration_matrix[from][to]) +
                              at_least_zero(scheduler_->job_durations[to]);
        return done > windows.back().end;
    }

private:
    const TimeScheduler* scheduler_ = nullptr;
    std::vector<std::optional<DateTime>> earliest_departure_;
};

}  // namespace

NeighbourLists::NeighbourLists(const Penalizer& penalizer, std::size_t count, bool drop_late_legs)
    : successors_(penalizer.location_count()), predecessors_(penalizer.location_count()) {
    const std::size_t n = penalizer.location_count();
    const auto& distances = penalizer.distance_matrix().rows;
    // Without full tables there is nothing safe to rank by; the lists stay empty.
    if (!covers(distances, n)) return;
    const TimeScheduler* scheduler = penalizer.time_scheduler() ? &*penalizer.time_scheduler() : nullptr;
    const LateLegs late(drop_late_legs ? scheduler : nullptr, n);
    const bool timed = scheduler && covers(scheduler->duration_matrix, n);
    auto cost = [&](std::size_t from, std::size_t to) {
        return std::pair(timed ? at_least_zero(scheduler->duration_matrix[from][to]) : TimeDelta::zero(),
                         distances[from][to]);
    };
    auto nearest = [&](std::size_t location, bool outgoing) {
        std::vector<std::size_t> others;
        for (std::size_t other = 0; other < n; ++other) {
            if (other == location) continue;
            const std::size_t from = outgoing ? location : other, to = outgoing ? other : location;
            if (!late.is_late(from, to)) others.push_back(other);
        }
        auto leg = [&](std::size_t other) { return outgoing ? cost(location, other) : cost(other, location); };
        const std::size_t kept = std::min(count, others.size());
        std::partial_sort(others.begin(), others.begin() + static_cast<std::ptrdiff_t>(kept), others.end(),
                          [&](std::size_t a, std::size_t b) { return std::pair(leg(a), a) < std::pair(leg(b), b); });
        others.resize(kept);
        return others;
    };
    for (std::size_t location = 0; location < n; ++location) {
        successors_[location] = nearest(location, true);
        predecessors_[location] = nearest(location, false);
    }
}

}  // namespace tourwright
