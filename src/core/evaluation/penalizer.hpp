#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <limits>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "evaluation/objective.hpp"
#include "evaluation/time_output.hpp"
#include "model/distance_matrix.hpp"
#include "model/optional_stops.hpp"
#include "model/route.hpp"
#include "model/time_input.hpp"

namespace tourwright {

struct Solution {
    Route route;
    Distance distance = 0;
    std::optional<TimeReport> time_report;  // present exactly when the problem has time data

    // The total as a 64-bit count, saturated at 2^64 - 1 when it does not fit.
    std::uint64_t reported_distance() const { return saturated_u64(distance); }
};

// The most records a schedule may have: a tour whose schedule would need more (a long
// action under narrow operating hours has one per open day) is refused as a panic
// before its schedule is built, since it could not fit in memory.
inline constexpr std::int64_t kMostScheduleRecords = 1'000'000;

// What every trial evaluator of one problem reads and none changes (see TrialEvaluator).
struct TrialBasis;

// The objective: evaluates routes and is the only judge of which is better.
class Penalizer {
public:
    // With `late_return_counts`, every route is read as beginning at a depot: a
    // return after the end of its first location's last window is lateness too. Routes
    // may leave out the locations that `optional_classes` makes optional.
    Penalizer(DistanceMatrix distance_matrix, std::optional<TimeScheduler> time_scheduler,
              bool late_return_counts = false, const StopClasses& optional_classes = {})
        : distance_matrix_(std::move(distance_matrix)),
          time_scheduler_(std::move(time_scheduler)),
          late_return_counts_(late_return_counts),
          optional_stops_(time_scheduler_
                              ? OptionalStops(optional_classes, time_scheduler_->job_durations)
                              : OptionalStops(optional_classes, {})),
          prepared_(std::make_shared<Prepared>()) {}

    // Evaluates the closed tour `route` (taken over and returned inside the Solution),
    // which leaves its first location at `departure` when given (with time data), and
    // otherwise when the first window (in list order) of that location opens. A schedule
    // that could need more than kMostScheduleRecords records, or span more than
    // `most_days` days, is refused as a panic before it is built.
    Solution penalize(Route route, bool with_schedule,
                      std::optional<DateTime> departure = std::nullopt,
                      std::int64_t most_days = std::numeric_limits<std::int64_t>::max()) const;

    // The keys `solution` is judged by (its time report must be present with time data).
    Objective objective(const Solution& solution) const;
    // True when `candidate` is strictly better than `reference`.
    bool is_better(const Solution& candidate, const Solution& reference) const {
        return objective(candidate) < objective(reference);
    }

    // Whether a tour may begin with this location (always, without time data).
    bool can_start_tour(std::size_t location) const {
        return !time_scheduler_ || time_scheduler_->can_start_tour(location);
    }

    std::size_t location_count() const { return distance_matrix_.location_count(); }
    const DistanceMatrix& distance_matrix() const { return distance_matrix_; }
    const std::optional<TimeScheduler>& time_scheduler() const { return time_scheduler_; }
    bool late_return_counts() const { return late_return_counts_; }
    const OptionalStops& optional_stops() const { return optional_stops_; }
    // Whether `route` is one this objective judges: every required location once, an
    // optional one at most once.
    bool serves(const Route& route) const {
        return optional_stops_.serves(route, location_count());
    }
    // How late a tour that began at `first_location` is when it is back there at `end`.
    TimeDelta late_return(std::size_t first_location, DateTime end) const;

    // The trial basis, made by `make` on first use and then shared by every copy of this
    // penalizer and every thread: it costs time and memory in the square of the locations.
    // A null result (`make` was stopped) is not kept, so the next call makes it again.
    std::shared_ptr<const TrialBasis> trial_basis(
        const std::function<std::shared_ptr<const TrialBasis>()>& make) const;

private:
    struct Prepared {
        std::mutex mutex;
        std::shared_ptr<const TrialBasis> trial_basis;
    };

    Distance tour_distance(const Route& route) const;
    TimeReport tour_time(const Route& route, bool with_schedule,
                         std::optional<DateTime> departure) const;

    DistanceMatrix distance_matrix_;
    std::optional<TimeScheduler> time_scheduler_;
    bool late_return_counts_;
    OptionalStops optional_stops_;
    std::shared_ptr<Prepared> prepared_;
};

}  // namespace tourwright
