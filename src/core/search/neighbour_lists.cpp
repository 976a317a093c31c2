#include "search/neighbour_lists.hpp"

#include <algorithm>
#include <optional>
#include <utility>

#include "model/leg_tables.hpp"

namespace tourwright {
namespace {

// What the windows say of a leg. Work at a location (windows ascending) starts no
// earlier than its first window opens and, when on time, ends no later than its
// last one closes.
class WindowedLegs {
public:
    explicit WindowedLegs(const TimeScheduler* scheduler, std::size_t n) {
        if (!scheduler || scheduler->job_durations.size() < n ||
            scheduler->time_windows.size() < n || !is_full_square(scheduler->duration_matrix, n))
            return;
        scheduler_ = scheduler;
        for (std::size_t k = 0; k < n; ++k) {
            const auto& windows = scheduler->time_windows[k].windows;
            const bool ascending =
                std::is_sorted(windows.begin(), windows.end(),
                               [](const auto& a, const auto& b) { return a.start < b.start; });
            earliest_departure_.push_back(
                ascending && !windows.empty()
                    ? std::optional(windows.front().start +
                                    at_least_zero(scheduler->job_durations[k]))
                    : std::nullopt);
        }
    }

    // Whether the job at `to` is late in every tour with this leg.
    bool is_late(std::size_t from, std::size_t to) const {
        if (!scheduler_ || !earliest_departure_[from]) return false;
        const auto& windows = scheduler_->time_windows[to].windows;
        if (windows.empty()) return false;
        const DateTime done = *earliest_departure_[from] +
                              at_least_zero(scheduler_->duration_matrix[from][to]) +
                              at_least_zero(scheduler_->job_durations[to]);
        return done > windows.back().end;
    }

    // The least time from the end of an on-time job at `from` to the start of the
    // job at `to`: the travel, or the wait for `to` to open when that is longer.
    TimeDelta least_gap(std::size_t from, std::size_t to) const {
        const TimeDelta travel = at_least_zero(scheduler_->duration_matrix[from][to]);
        const auto& before = scheduler_->time_windows[from].windows;
        if (!earliest_departure_[to] || before.empty()) return travel;
        return std::max(travel,
                        scheduler_->time_windows[to].windows.front().start - before.back().end);
    }

    bool known() const { return scheduler_ != nullptr; }

private:
    const TimeScheduler* scheduler_ = nullptr;
    std::vector<std::optional<DateTime>> earliest_departure_;
};

}  // namespace

NeighbourLists::NeighbourLists(const Penalizer& penalizer, std::size_t count, bool use_windows,
                               const std::function<bool()>& stop)
    : successors_(penalizer.location_count()), predecessors_(penalizer.location_count()) {
    const std::size_t n = penalizer.location_count();
    const auto& distances = penalizer.distance_matrix().rows;
    // Without full tables there is nothing safe to rank by; the lists stay empty.
    if (!is_full_square(distances, n)) return;
    const TimeScheduler* scheduler =
        penalizer.time_scheduler() ? &*penalizer.time_scheduler() : nullptr;
    const WindowedLegs windowed(use_windows ? scheduler : nullptr, n);
    const bool timed = scheduler && is_full_square(scheduler->duration_matrix, n);
    auto cost = [&](std::size_t from, std::size_t to) {
        const TimeDelta time = windowed.known() ? windowed.least_gap(from, to)
                               : timed ? at_least_zero(scheduler->duration_matrix[from][to])
                                       : TimeDelta::zero();
        return std::pair(time, distances[from][to]);
    };
    // Each candidate's rank is worked out once, then the nearest are sorted out.
    std::vector<std::pair<std::pair<TimeDelta, std::uint64_t>, std::size_t>> ranked;
    auto nearest = [&](std::size_t location, bool outgoing) {
        ranked.clear();
        for (std::size_t other = 0; other < n; ++other) {
            if (other == location) continue;
            const std::size_t from = outgoing ? location : other, to = outgoing ? other : location;
            if (!windowed.is_late(from, to)) ranked.emplace_back(cost(from, to), other);
        }
        const auto kept = static_cast<std::ptrdiff_t>(std::min(count, ranked.size()));
        std::partial_sort(ranked.begin(), ranked.begin() + kept, ranked.end());
        std::vector<std::size_t> others;
        for (auto it = ranked.begin(); it != ranked.begin() + kept; ++it)
            others.push_back(it->second);
        return others;
    };
    for (std::size_t location = 0; location < n; ++location) {
        if (stop && stop()) return;
        successors_[location] = nearest(location, true);
        predecessors_[location] = nearest(location, false);
    }
}

void NeighbourLists::keep(std::size_t count) {
    for (auto* lists : {&successors_, &predecessors_})
        for (auto& list : *lists)
            if (list.size() > count) list.resize(count);
}

}  // namespace tourwright
