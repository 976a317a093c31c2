#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

#include "evaluation/penalizer.hpp"
#include "search/current_tour.hpp"
#include "search/local_moves.hpp"
#include "util/chrono.hpp"
#include "util/search_clock.hpp"

namespace tourwright {

// `route` rotated to begin at its first location that can start a tour, so that a
// location without windows is never asked for a start instant. Unchanged when none can.
Route start_route(const Penalizer& penalizer, Route route);

// Multi-start first-improvement descent over the eight segment moves (and, where
// locations are optional, the changes of what a tour serves). Without a
// time limit it runs exactly one descent from the identity order, so its answer
// does not depend on chance. The limit is honoured inside sweeps too: a descent
// that reaches it stops where it is, and the search ends as it always does.
class Solver {
public:
    // Told of every trial of a sweep: its positions and, when it was accepted, the new
    // current solution (null when rejected). Lets callers trace the descent.
    using TrialObserver =
        std::function<void(std::size_t i, std::size_t j, const Solution* accepted)>;

    Solver(std::optional<TimeDelta> time_limit, Penalizer penalizer,
           std::optional<Route> initial_route = std::nullopt);
    // A solver over a penalizer shared with others (one per thread of a search).
    // No trial moves the first `keep_first` positions (a start, then the run pinned
    // after it); with `keep_last`, nor position n - 1 (an end).
    Solver(std::optional<TimeDelta> time_limit, std::shared_ptr<const Penalizer> penalizer,
           std::size_t keep_first, bool keep_last = false);
    // The trial evaluator refers to the penalizer held here, so a solver stays put.
    Solver(const Solver&) = delete;
    Solver& operator=(const Solver&) = delete;

    void solve();
    // One sweep of `move` over every admissible (i, j) from i + gap + 1 upwards;
    // true when a trial was accepted.
    bool run_move(const LocalMove& move, std::size_t gap);
    // One sweep of the changes of what the tour serves (where locations are optional):
    // each optional stop left out or traded for one left out, each one left out taken in;
    // true when a trial was accepted.
    bool run_exchanges();
    // The eight sweeps in order, then the changes of what is served; true when any of
    // them accepted a trial.
    bool run_pass();
    // One descent from `start` (passes until none improves, or the clock says stop),
    // leaving its end in `current`. The clock must have been started.
    void descend_from(Route start);
    // Whether the clock (time limit or stop check) has ended the search.
    bool stopping() { return stopping_ = stopping_ || clock_.should_stop(); }
    // Whether the clock has ended the search, as last read: after `descend_from`, false
    // when the descent ended at a local optimum.
    bool stopped() const { return stopping_; }
    SearchClock& clock() { return clock_; }

    const Solution& best() const { return best_; }
    const Solution& current() const { return tour_.solution(); }
    std::uint64_t iterations() const { return iterations_; }
    TimeDelta time_taken() const { return time_taken_; }
    void set_trial_observer(TrialObserver observer) { observer_ = std::move(observer); }
    // Called every few tens of milliseconds of search: true ends the search early
    // with what it has found; an exception abandons it.
    void set_stop_check(SearchClock::StopCheck check) { clock_.set_stop_check(std::move(check)); }
    // Evaluates every trial in full even where incremental evaluation would do: the reference
    // that the incremental path is checked and measured against.
    void use_full_evaluation() { tour_.use_full_evaluation(); }

private:
    Solver(std::optional<TimeDelta> time_limit, std::shared_ptr<const Penalizer> penalizer,
           std::size_t keep_first, bool keep_last, std::optional<Route> start);
    void descend();
    Route start_route(Route route) const {
        return tourwright::start_route(*penalizer_, std::move(route));
    }

    std::shared_ptr<const Penalizer> penalizer_;
    std::size_t keep_first_;
    bool keep_last_;
    std::size_t location_count_;
    CurrentTour tour_;
    Solution best_;
    std::uint64_t iterations_ = 0;
    TimeDelta time_taken_;
    SearchClock clock_;
    bool stopping_ = false;  // the clock said stop; every loop of the search unwinds
    TrialObserver observer_;
};

}  // namespace tourwright
