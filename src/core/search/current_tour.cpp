#include "search/current_tour.hpp"

#include <array>

namespace tourwright {

CurrentTour::CurrentTour(const Penalizer& penalizer, Solution start, bool incremental)
    : penalizer_(penalizer), solution_(std::move(start)) {
    if (incremental && visits_each_location_once(solution_.route, penalizer_.location_count()))
        evaluator_ = TrialEvaluator::for_problem(penalizer_);
    if (evaluator_) evaluator_->rebase(solution_);
}

void CurrentTour::reset(Solution solution) {
    solution_ = std::move(solution);
    report_pending_ = false;
    if (evaluator_) evaluator_->rebase(solution_);
}

bool CurrentTour::try_move(const LocalMove& move, std::size_t i, std::size_t j) {
    return evaluator_ ? accept_incrementally(move, i, j) : accept_in_full(move, i, j);
}

bool CurrentTour::accept_incrementally(const LocalMove& move, std::size_t i, std::size_t j) {
    std::array<Run, 3> runs;
    const std::span<const Run> trial{runs.data(), move.runs(i, j, runs)};
    if (!evaluator_->improves(i, j, trial)) return false;
    // The evaluator needs only the route and its distance.
    const Distance distance = evaluator_->distance_with(i, j, trial);
    move.apply(solution_.route, i, j);
    solution_.distance = distance;
    solution_.time_report.reset();
    report_pending_ = penalizer_.time_scheduler().has_value();
    evaluator_->rebase(solution_);
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

const Solution& CurrentTour::complete() {
    if (report_pending_) reset(penalizer_.penalize(std::move(solution_.route), false));
    return solution_;
}

}  // namespace tourwright
