#include "search/solver.hpp"

#include <algorithm>
#include <memory>

#include "util/rng.hpp"

namespace tourwright {
namespace {

Route identity_or(std::optional<Route> route, const Penalizer& penalizer) {
    return route ? std::move(*route)
                 : start_route(penalizer, identity_route(penalizer.location_count()));
}

}  // namespace

// A supplied route that is not a permutation of the locations is searched by full
// evaluation (the tour decides so).
Solver::Solver(std::optional<TimeDelta> time_limit, Penalizer penalizer,
               std::optional<Route> initial_route)
    : Solver(time_limit, std::make_shared<const Penalizer>(std::move(penalizer)), false, false,
             std::move(initial_route)) {}

Solver::Solver(std::optional<TimeDelta> time_limit, std::shared_ptr<const Penalizer> penalizer,
               std::size_t keep_first, bool keep_last)
    : Solver(time_limit, std::move(penalizer), keep_first, keep_last, std::nullopt) {}

Solver::Solver(std::optional<TimeDelta> time_limit, std::shared_ptr<const Penalizer> penalizer,
               std::size_t keep_first, bool keep_last, std::optional<Route> start)
    : penalizer_(std::move(penalizer)),
      keep_first_(keep_first),
      keep_last_(keep_last),
      location_count_(penalizer_->location_count()),
      tour_(*penalizer_, penalizer_->penalize(identity_or(std::move(start), *penalizer_), false),
            true),
      best_(tour_.solution()),
      clock_(time_limit) {}

Route start_route(const Penalizer& penalizer, Route route) {
    auto first = std::find_if(route.begin(), route.end(),
                              [&](std::size_t loc) { return penalizer.can_start_tour(loc); });
    if (first != route.end()) std::rotate(route.begin(), first, route.end());
    return route;
}

bool Solver::run_move(const LocalMove& move, std::size_t gap) {
    bool improved = false;
    // The sweeps run over every location's position even for a route that lacks some
    // (which `tourwright.solve` refuses through the move's check), unless the tour may
    // leave locations out.
    const std::size_t size =
        penalizer_->optional_stops().any() ? tour_.solution().route.size() : location_count_;
    const std::size_t n = size - (keep_last_ && size > 0 ? 1 : 0);
    for (std::size_t i = keep_first_; i < n; ++i) {
        for (std::size_t j = i + gap + 1; j < n; ++j) {
            const bool accepted = tour_.try_move(move, i, j);
            improved = improved || accepted;
            if (observer_) observer_(i, j, accepted ? &tour_.complete() : nullptr);
            if (clock_.should_stop_after_trial()) {
                stopping_ = true;
                return improved;
            }
        }
    }
    return improved;
}

bool Solver::run_exchanges() {
    const OptionalStops& stops = penalizer_->optional_stops();
    bool improved = false;
    auto attempt = [&](const Exchange& change) {
        const bool accepted = tour_.try_exchange(change);
        improved = improved || accepted;
        if (clock_.should_stop_after_trial()) stopping_ = true;
        return accepted;
    };
    const std::size_t first = std::max<std::size_t>(keep_first_, 1);
    auto stop = [&] { return tour_.solution().route.size() - (keep_last_ ? 1 : 0); };
    auto left_out = [&] { return locations_left_out(tour_.solution().route, location_count_); };
    // Each optional stop left out, or traded for one left out; then each one left out
    // taken in wherever it fits. What is left out changes only where a trial is accepted.
    Route out = left_out();
    for (std::size_t at = first; at < stop() && !stopping_; ++at) {
        if (!stops.optional(tour_.solution().route[at])) continue;
        bool changed = attempt({at, true, std::nullopt});
        for (std::size_t k = 0; !changed && !stopping_ && k < out.size(); ++k)
            changed = attempt({at, true, out[k]});
        if (changed) out = left_out();
    }
    for (std::size_t location : left_out())
        for (std::size_t at = first; at <= stop() && !stopping_; ++at)
            if (attempt({at, false, location})) break;
    return improved;
}

bool Solver::run_pass() {
    bool improved = false;
    for (const LocalMove& move : kLocalMoves) {
        if (stopping_) break;
        improved = run_move(move, move.gap) || improved;
    }
    if (!stopping_ && penalizer_->optional_stops().any()) improved = run_exchanges() || improved;
    return improved;
}

void Solver::descend() {
    bool improved = true;
    while (improved && !stopping()) improved = run_pass();
    tour_.complete();
}

void Solver::descend_from(Route start) {
    tour_.reset(penalizer_->penalize(std::move(start), false));
    descend();
}

void Solver::solve() {
    clock_.start();
    stopping_ = false;
    while (!stopping()) {
        ++iterations_;
        descend();
        if (penalizer_->is_better(tour_.solution(), best_)) best_ = tour_.solution();
        Route restart = identity_route(location_count_);
        shuffle(restart, thread_rng());
        tour_.reset(penalizer_->penalize(start_route(std::move(restart)), false));
        if (!clock_.time_limited()) break;
    }
    best_ = penalizer_->penalize(best_.route, true);
    time_taken_ = clock_.elapsed();
}

}  // namespace tourwright
