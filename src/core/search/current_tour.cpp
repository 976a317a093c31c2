#include "search/current_tour.hpp"

#include <array>

#include "util/panic.hpp"

namespace tourwright {
namespace {

// Builds with TOURWRIGHT_CROSS_CHECK check every incremental acceptance against full
// evaluation, so that the sanitizer runs catch an evaluator fault the agreement tests
// miss.
#ifdef TOURWRIGHT_CROSS_CHECK
constexpr bool kCrossCheck = true;
#else
constexpr bool kCrossCheck = false;
#endif

}  // namespace

CurrentTour::CurrentTour(const Penalizer& penalizer, Solution start, bool incremental)
    : penalizer_(penalizer), solution_(std::move(start)) {
    if (incremental && penalizer_.serves(solution_.route))
        evaluator_ = TrialEvaluator::for_problem(penalizer_);
    if (evaluator_) evaluator_->rebase(solution_);
}

void CurrentTour::reset(Solution solution) {
    solution_ = std::move(solution);
    report_pending_ = false;
    if (evaluator_) evaluator_->rebase(solution_);
}

void CurrentTour::reset(Route route) {
    if (!evaluator_) return reset(penalizer_.penalize(std::move(route), false));
    if constexpr (kCrossCheck)
        if (!penalizer_.serves(route)) panic_assertion("a reset route is one the objective judges");
    solution_.route = std::move(route);
    accept();
}

bool CurrentTour::try_move(const LocalMove& move, std::size_t i, std::size_t j) {
    return evaluator_ ? accept_incrementally(move, i, j) : accept_in_full(move, i, j);
}

bool CurrentTour::accept_incrementally(const LocalMove& move, std::size_t i, std::size_t j) {
    std::array<Run, 3> runs;
    const std::span<const Run> trial{runs.data(), move.runs(i, j, runs)};
    if (!evaluator_->improves(i, j, trial)) return false;
    if constexpr (kCrossCheck) {
        Route route = solution_.route;
        move.apply(route, i, j);
        check_acceptance(route, evaluator_->distance_with(i, j, trial));
    }
    move.apply(solution_.route, i, j);
    accept();
    return true;
}

bool CurrentTour::accept_in_full(const LocalMove& move, std::size_t i, std::size_t j) {
    Route trial = solution_.route;
    move.apply(trial, i, j);
    if (!penalizer_.can_start_tour(trial[0])) return false;
    Solution candidate = penalizer_.penalize(std::move(trial), false);
    if (!penalizer_.is_better(candidate, solution_)) return false;
    solution_ = std::move(candidate);
    return true;
}

bool CurrentTour::try_exchange(Exchanges changes) {
    std::optional<std::size_t> in, out;
    for (const Exchange& change : changes) {
        if (change.inserted) in = change.inserted;
        if (change.removes) out = solution_.route[change.at];
    }
    if (evaluator_) {
        if (!evaluator_->improves(changes, penalizer_.optional_stops().compare_exchange(in, out)))
            return false;
        if constexpr (kCrossCheck) {
            Route route = solution_.route;
            apply_changes(route, changes);
            check_acceptance(route, evaluator_->distance_with(changes));
        }
        apply_changes(solution_.route, changes);
        accept();
        return true;
    }
    Route trial = solution_.route;
    apply_changes(trial, changes);
    Solution candidate = penalizer_.penalize(std::move(trial), false);
    if (!penalizer_.is_better(candidate, solution_)) return false;
    solution_ = std::move(candidate);
    return true;
}

void CurrentTour::accept() {
    solution_.time_report.reset();
    report_pending_ = penalizer_.time_scheduler().has_value();
    evaluator_->rebase(solution_);
    solution_.distance = evaluator_->current_objective().distance;
}

void CurrentTour::check_acceptance(const Route& trial, Distance distance) const {
    const Solution full = penalizer_.penalize(trial, false);
    const Solution current = penalizer_.penalize(solution_.route, false);
    if (full.distance != distance || !penalizer_.can_start_tour(full.route[0]) ||
        !penalizer_.is_better(full, current))
        panic_assertion("incremental acceptance agrees with full evaluation");
}

const Solution& CurrentTour::complete() {
    if (report_pending_) reset(penalizer_.penalize(std::move(solution_.route), false));
    return solution_;
}

Objective CurrentTour::objective() const {
    if (!report_pending_) return penalizer_.objective(solution_);
    const SecondsObjective& in_seconds = evaluator_->current_objective();
    const Objective objective{TimeDelta::seconds(in_seconds.lateness),
                              penalizer_.optional_stops().left_out(solution_.route),
                              TimeDelta::seconds(in_seconds.traveling_time),
                              TimeDelta::seconds(in_seconds.duration),
                              TimeDelta::seconds(in_seconds.waiting_time),
                              in_seconds.distance};
    if constexpr (kCrossCheck)
        if (objective != penalizer_.objective(penalizer_.penalize(solution_.route, false)))
            panic_assertion("the evaluator's objective is full evaluation's");
    return objective;
}

}  // namespace tourwright
