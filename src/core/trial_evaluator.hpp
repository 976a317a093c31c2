#pragma once
// Decides the trials of a descent exactly as full evaluation would, but from
// sums and checkpoints kept along the current route: distances and travel
// totals in constant time, the time simulation resumed where the trial first
// differs, stopped as soon as the trial can no longer win, and cut short where
// its clock meets the current route's again.
#include <cstddef>
#include <optional>
#include <span>
#include <vector>

#include "penalizer.hpp"
#include "route_sums.hpp"

namespace tourwright {

class TrialEvaluator {
public:
    // Available only when no trial over all locations can fail a lookup or leave
    // the range of the time arithmetic, so that skipping work changes no outcome.
    static std::optional<TrialEvaluator> for_problem(const Penalizer& penalizer);

    // Takes `current` (which must outlive the next rebase) as the route trials change.
    void rebase(const Solution& current);

    // Whether the current route with positions i ..= j replaced by `runs` would be
    // strictly better than the current solution.
    bool improves(std::size_t i, std::size_t j, std::span<const Run> runs) const;

private:
    struct DistanceLeg {
        const std::vector<std::vector<std::uint64_t>>* rows;
        Distance operator()(std::size_t from, std::size_t to) const { return (*rows)[from][to]; }
    };
    // Travel counts only where it takes time; in nanoseconds.
    struct TravelLeg {
        const std::vector<std::vector<TimeDelta>>* rows;
        __int128 operator()(std::size_t from, std::size_t to) const;
    };

    explicit TrialEvaluator(const Penalizer& penalizer);

    bool improves_in_time(std::size_t i, std::size_t j, std::span<const Run> runs,
                          Distance distance) const;
    void work(TimeReport& state, std::size_t location) const;
    void travel(TimeReport& state, std::size_t from, std::size_t to) const;

    const Penalizer* penalizer_;
    bool late_return_counts_;
    const TimeScheduler* scheduler_;  // null without time data
    const OperationTimes* hours_;     // null when open around the clock
    const Solution* current_ = nullptr;
    RouteLegSums<Distance, DistanceLeg> distances_;
    RouteLegSums<__int128, TravelLeg> travel_times_;
    // Along the current route, for positions k = 1 .. n - 1: the state before the
    // travel from position k - 1 to k, and the state on arrival at position k.
    std::vector<TimeReport> before_leaving_;
    std::vector<TimeReport> on_arrival_;
};

}  // namespace tourwright
