#pragma once
// Lin-Kernighan steps whose levels are sequential 3-opt moves on each location's
// alpha-nearest (alpha_nearness.hpp): for large tours, tried before the chains of 2-opt
// moves.
#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <utility>
#include <vector>

#include "search/distance_only/numbered_tour.hpp"

namespace tourwright::distance_only {

class ThreeOptSteps {
public:
    explicit ThreeOptSteps(NumberedTour& tour) : t_(tour) {}

    // Each location's `count` alpha-nearest among its near lists, after `ascent_steps`
    // subgradient steps (fewer once `ascent_over` says so). False, and no steps, when
    // `stop` ended the ascent or the lists leave the locations unconnected.
    bool build_candidates(std::size_t count, std::size_t ascent_steps,
                          const std::function<bool()>& stop,
                          const std::function<bool()>& ascent_over);
    // The most levels a step has (at least 1).
    void set_depth(std::uint64_t depth) { depth_ = depth; }
    // Whether there are candidates, so that steps run.
    bool active() const { return !alpha_.empty(); }

    // A Lin-Kernighan step from `t1` whose levels are sequential 3-opt moves on the
    // alpha-nearest: the leg t1-t2 goes, t2 is joined to a candidate t3, t3 leaves a
    // neighbour t4, t4 is joined to a candidate t5 and t5 leaves the neighbour t6 that
    // keeps a tour (or the level stops at t4, a 2-opt move). The first level that
    // closes with a gain (t6 or t4 joined to t1) is kept; otherwise the level with the
    // most gain left open goes on the tour and the next one starts from t6, as long as
    // t6's nearest neighbour leaves a gain possible. No leg the step put in is taken
    // out, and none it took out is put back. False without candidates.
    bool step(std::size_t t1);

private:
    enum class ThreeOptKind { two_reversals, swap, reversed_in_place };
    struct ThreeOptMove {
        ThreeOptKind kind;
        std::size_t t3, t4, t5, t6;
        std::int64_t open;  // the gain left open after it
    };
    using Leg = std::pair<std::size_t, std::size_t>;

    bool deepen(std::size_t t1, std::size_t t2, std::int64_t gain, std::size_t level);
    void apply(std::size_t t1, std::size_t t2, const ThreeOptMove& move);
    void reverse_leg(std::size_t a, std::size_t b, std::size_t c);
    static Leg ordered(std::size_t a, std::size_t b) { return a < b ? Leg(a, b) : Leg(b, a); }
    bool was_put_in(std::size_t a, std::size_t b) const {
        return std::find(put_in_.begin(), put_in_.end(), ordered(a, b)) != put_in_.end();
    }
    bool was_taken_out(std::size_t a, std::size_t b) const {
        return std::find(taken_out_.begin(), taken_out_.end(), ordered(a, b)) != taken_out_.end();
    }

    NumberedTour& t_;
    // Each location's `alpha_count_` alpha-nearest, row after row (none: no steps).
    std::vector<std::size_t> alpha_;
    std::size_t alpha_count_ = 0;
    std::uint64_t depth_ = 1;
    // What the step being tried has done so far: its 2-opt moves (exchange's a, b, c),
    // and the legs it put in and took out.
    std::vector<std::array<std::size_t, 3>> reversals_;
    std::vector<Leg> put_in_, taken_out_;
};

}  // namespace tourwright::distance_only
