#pragma once
// The tour a descent improves, and the one way a trial replaces it: decided by the
// incremental evaluator where the problem allows one, else by full evaluation.
// An accepted trial takes only its route and exact distance at once; its time
// report comes from full evaluation when `complete` is called (at the end of a
// descent), so that every completed tour is exactly what full evaluation gives.
#include <cstddef>
#include <optional>

#include "evaluation/penalizer.hpp"
#include "evaluation/trial_evaluator.hpp"
#include "search/local_moves.hpp"

namespace tourwright {

class CurrentTour {
public:
    // `start` must be a full evaluation. With `incremental`, trials are decided by the
    // evaluator where the problem allows one and `start` is a route the objective judges
    // (what the evaluator relies on; every later tour is a change of it).
    CurrentTour(const Penalizer& penalizer, Solution start, bool incremental);
    // The evaluator refers to the solution held here, so a tour stays put.
    CurrentTour(const CurrentTour&) = delete;
    CurrentTour& operator=(const CurrentTour&) = delete;

    // Takes `solution` (a full evaluation of a route over every location) as the tour.
    void reset(Solution solution);
    // Takes `route` (over the locations the objective asks for) as the tour: where the
    // evaluator decides, without full evaluation until `complete`.
    void reset(Route route);
    // Applies `move` at (i, j) when that makes the tour strictly better.
    bool try_move(const LocalMove& move, std::size_t i, std::size_t j);
    // Applies `changes` (which leave out optional locations only) when that makes the tour
    // strictly better.
    bool try_exchange(Exchanges changes);
    bool try_exchange(const Exchange& change) { return try_exchange(Exchanges(&change, 1)); }
    // The tour with its time report.
    const Solution& complete();
    // The tour's objective, without completing it where the evaluator knows it.
    Objective objective() const;

    // The tour as it stands; its time report may be missing before `complete`.
    const Solution& solution() const { return solution_; }
    bool incremental() const { return evaluator_.has_value(); }
    // The evaluator deciding the trials, if any.
    const TrialEvaluator* evaluator() const { return evaluator_ ? &*evaluator_ : nullptr; }
    void use_full_evaluation() { evaluator_.reset(); }

private:
    bool accept_incrementally(const LocalMove& move, std::size_t i, std::size_t j);
    bool accept_in_full(const LocalMove& move, std::size_t i, std::size_t j);
    // Panics unless full evaluation accepts the trial too, with the same distance.
    void check_acceptance(const Route& trial, Distance distance) const;
    // Takes the route as changed as the tour, its distance summed by the evaluator; its time
    // report comes with `complete`.
    void accept();

    const Penalizer& penalizer_;
    Solution solution_;
    bool report_pending_ = false;  // `solution_` lacks its time report
    std::optional<TrialEvaluator> evaluator_;
};

}  // namespace tourwright
