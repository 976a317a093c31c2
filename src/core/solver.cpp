#include "solver.hpp"

#include <algorithm>

#include "rng.hpp"

namespace tourwright {
namespace {

bool visits_each_location_once(Route route, std::size_t n) {
    std::sort(route.begin(), route.end());
    return route == identity_route(n);
}

}  // namespace

Solver::Solver(std::optional<TimeDelta> time_limit, Penalizer penalizer,
               std::optional<Route> initial_route)
    : time_limited_(time_limit.has_value()),
      penalizer_(std::make_shared<const Penalizer>(std::move(penalizer))),
      location_count_(penalizer_->location_count()),
      current_(penalizer_->penalize(
          initial_route ? std::move(*initial_route) : start_route(identity_route(location_count_)),
          false)),
      best_(current_),
      clock_(time_limit) {
    // Incremental evaluation relies on every route being a permutation of the
    // locations; a supplied route that is not one is searched by full evaluation.
    if (visits_each_location_once(current_.route, location_count_))
        evaluator_ = TrialEvaluator::for_problem(*penalizer_);
}

Solver::Solver(std::optional<TimeDelta> time_limit, std::shared_ptr<const Penalizer> penalizer,
               bool keep_first)
    : time_limited_(time_limit.has_value()),
      penalizer_(std::move(penalizer)),
      keep_first_(keep_first),
      location_count_(penalizer_->location_count()),
      current_(penalizer_->penalize(start_route(identity_route(location_count_)), false)),
      best_(current_),
      clock_(time_limit),
      evaluator_(TrialEvaluator::for_problem(*penalizer_)) {}

Route start_route(const Penalizer& penalizer, Route route) {
    auto first = std::find_if(route.begin(), route.end(),
                              [&](std::size_t loc) { return penalizer.can_start_tour(loc); });
    if (first != route.end()) std::rotate(route.begin(), first, route.end());
    return route;
}

bool Solver::run_move(const LocalMove& move, std::size_t gap) {
    bool improved = false;
    const std::size_t n = location_count_;
    if (evaluator_) evaluator_->rebase(current_);
    for (std::size_t i = keep_first_ ? 1 : 0; i < n; ++i) {
        for (std::size_t j = i + gap + 1; j < n; ++j) {
            const bool accepted = evaluator_ ? accept_incrementally(move, i, j) : accept_in_full(move, i, j);
            improved = improved || accepted;
            if (observer_) {
                if (accepted) complete_current();
                observer_(i, j, accepted ? &current_ : nullptr);
            }
            if (clock_.should_stop_after_trial()) {
                stopping_ = true;
                return improved;
            }
        }
    }
    return improved;
}

bool Solver::accept_in_full(const LocalMove& move, std::size_t i, std::size_t j) {
    Route trial = current_.route;
    move.apply(trial, i, j);
    if (!penalizer_->can_start_tour(trial[0])) return false;
    Solution candidate = penalizer_->penalize(std::move(trial), false);
    if (!penalizer_->is_better(candidate, current_)) return false;
    current_ = std::move(candidate);
    return true;
}

bool Solver::accept_incrementally(const LocalMove& move, std::size_t i, std::size_t j) {
    std::array<Run, 3> runs;
    const std::span<const Run> trial{runs.data(), move.runs(i, j, runs)};
    if (!evaluator_->improves(i, j, trial)) return false;
    // The evaluator needs only the route and its distance; the time report waits until
    // the descent ends (or an observer looks), and then comes from full evaluation.
    const Distance distance = evaluator_->distance_with(i, j, trial);
    move.apply(current_.route, i, j);
    current_.distance = distance;
    current_.time_report.reset();
    report_pending_ = penalizer_->time_scheduler().has_value();
    evaluator_->rebase(current_);
    return true;
}

void Solver::complete_current() {
    if (!report_pending_) return;
    current_ = penalizer_->penalize(std::move(current_.route), false);
    report_pending_ = false;
    if (evaluator_) evaluator_->rebase(current_);
}

bool Solver::run_pass() {
    bool improved = false;
    for (const LocalMove& move : kLocalMoves) {
        if (stopping_) break;
        improved = run_move(move, move.gap) || improved;
    }
    return improved;
}

void Solver::descend() {
    bool improved = true;
    while (improved && !stopping()) improved = run_pass();
    complete_current();
}

void Solver::descend_from(Route start) {
    current_ = penalizer_->penalize(std::move(start), false);
    descend();
}

void Solver::solve() {
    clock_.start();
    stopping_ = false;
    while (!stopping()) {
        ++iterations_;
        descend();
        if (penalizer_->is_better(current_, best_)) best_ = current_;
        Route restart = identity_route(location_count_);
        shuffle(restart, thread_rng());
        current_ = penalizer_->penalize(start_route(std::move(restart)), false);
        if (!time_limited_) break;
    }
    best_ = penalizer_->penalize(best_.route, true);
    time_taken_ = clock_.elapsed();
}

}  // namespace tourwright
