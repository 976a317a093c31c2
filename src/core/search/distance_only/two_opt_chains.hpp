#pragma once
// Chains of 2-opt moves over the near lists: each level joins a near location and is cut
// back to the most gainful prefix once no deeper level pays.
#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

#include "search/distance_only/numbered_tour.hpp"

namespace tourwright::distance_only {

class TwoOptChains {
public:
    // How many steps each level tries: `breadth[0]` at the first, `breadth[1]` at the
    // second, `breadth[2]` at every deeper one (each at most `kMostBreadth`).
    static constexpr std::size_t kMostBreadth = 8;
    TwoOptChains(NumberedTour& tour, std::array<std::size_t, 3> breadth);

    // The most levels a chain has (at least 1).
    void set_depth(std::uint64_t depth) { depth_ = depth; }

    // A chain of 2-opt moves from `t1`: the leg from t1 to its neighbour t2 goes, t2
    // is joined to a near location t3, and t3's neighbour t4 on the side that keeps a
    // tour is cut off and joined to t1. Then t4 takes t2's part at the next level, up
    // to the depth, and the chain is cut back to its most gainful prefix. Each level
    // goes on the tour at once and is undone when nothing beneath it pays, so every
    // step is an ordinary reversal whose change of length is exact. True when the tour
    // got shorter (the locations at changed legs queued).
    bool chain(std::size_t t1, std::size_t longest_reversal);

private:
    // A step of a chain: t2-t3 joined, t3-t4 cut, with the gain left open after it.
    struct Step {
        std::size_t t2, t3, t4;
        std::int64_t gain;
    };

    bool deepen(std::size_t t1, std::size_t t2, std::int64_t gain, std::size_t level);
    // The legs a chain joins stay in the tour to its end, so each location has at most
    // two of them: they are kept by location, looked up at once.
    bool was_joined(std::size_t a, std::size_t b) const {
        return joined_[a][0] == b || joined_[a][1] == b;
    }
    void push_step(const Step& step);
    void pop_step();

    NumberedTour& t_;
    std::array<std::size_t, 3> breadth_;
    std::size_t longest_reversal_ = 0;
    std::vector<Step> steps_;       // of the chain being tried
    std::int64_t best_closed_ = 0;  // the most a prefix of it gains when closed
    std::size_t best_steps_ = 0;    // and how many steps that prefix has
    std::uint64_t depth_ = 1;       // the most levels a chain has
    // For each location, the (at most two) locations the chain has joined it to; n
    // for none.
    std::vector<std::array<std::size_t, 2>> joined_;
};

// Defined here, not in a source file of their own: the descent calls them for every
// location it looks at, and in a source file of their own (reached through a call) the
// descents at n = 1000 fell by a tenth or more.
inline TwoOptChains::TwoOptChains(NumberedTour& tour, std::array<std::size_t, 3> breadth)
    : t_(tour), joined_(tour.n, {tour.n, tour.n}) {
    for (std::size_t k = 0; k < breadth.size(); ++k)
        breadth_[k] = std::clamp<std::size_t>(breadth[k], 1, kMostBreadth);
}

inline bool TwoOptChains::chain(std::size_t t1, std::size_t longest_reversal) {
    longest_reversal_ = longest_reversal;
    for (const bool forward : {true, false}) {
        const std::size_t t2 = forward ? t_.tour.next(t1) : t_.tour.previous(t1);
        best_closed_ = 0;
        if (!deepen(t1, t2, t_.leg(t1, t2), 0)) continue;
        while (steps_.size() > best_steps_) {
            t_.exchange(t1, steps_.back().t4, steps_.back().t2);
            pop_step();
        }
        t_.length -= best_closed_;
        t_.enqueue(t1);
        for (const Step& step : steps_)
            for (std::size_t location : {step.t2, step.t3, step.t4}) t_.enqueue(location);
        while (!steps_.empty()) pop_step();
        return true;
    }
    return false;
}

// One level of `chain`, `gain` the length taken out so far beyond what was put in
// (the leg t1-t2 not yet counted back). The few steps that leave the most gain are
// tried, most first, more of them at the first levels. Once the chain closes with a
// gain, it only goes deeper, with no second tries: true, the tour left as it is.
inline bool TwoOptChains::deepen(std::size_t t1, std::size_t t2, std::int64_t gain,
                                 std::size_t level) {
    std::array<Step, kMostBreadth> candidates;
    const std::size_t breadth = breadth_[std::min(level, breadth_.size() - 1)];
    std::size_t found = 0;
    const std::size_t n = t_.n;
    const NearLists& lists = t_.lists;
    const bool forward = t_.tour.next(t1) == t2;
    for (std::size_t k = 0; k < lists.count; ++k) {
        const std::size_t t3 = lists.near[t2 * lists.count + k];
        // A chain worth going on with can still beat the best closing found.
        const std::int64_t open = gain - lists.legs[t2 * lists.count + k];
        if (open <= best_closed_) break;
        const std::size_t t4 = forward ? t_.tour.previous(t3) : t_.tour.next(t3);
        if (t3 == t1 || t4 == t2 || was_joined(t3, t4)) continue;
        // Steps that rewrite much of a large tour cost more than they find, once
        // kicks only change a few legs here and there.
        std::size_t span = forward ? t_.tour.position(t4) + n - t_.tour.position(t2)
                                   : t_.tour.position(t2) + n - t_.tour.position(t4);
        if (span >= n) span -= n;
        if (std::min(span + 1, n - 1 - span) > longest_reversal_) continue;
        const Step step{t2, t3, t4, open + t_.leg(t3, t4)};
        std::size_t place = std::min(found, breadth);
        for (; place > 0 && candidates[place - 1].gain < step.gain; --place)
            if (place < breadth) candidates[place] = candidates[place - 1];
        if (place < breadth) candidates[place] = step;
        found = std::min(found + 1, breadth);
    }
    for (std::size_t k = 0; k < found; ++k) {
        const Step& step = candidates[k];
        // Row t1, read by every level of the chain, stays in the cache (legs are
        // symmetric here).
        const std::int64_t closed = step.gain - t_.leg(t1, step.t4);
        // The step goes on the tour only when it closes with a gain or a next
        // level can follow: t4's nearest neighbour leaves enough open.
        const bool deeper = level + 1 < depth_ && lists.legs[step.t4 * lists.count] <
                                                      step.gain - std::max(best_closed_, closed);
        if (!deeper && closed <= best_closed_) continue;
        t_.exchange(t1, t2, step.t4);
        push_step(step);
        if (closed > best_closed_) {
            best_closed_ = closed;
            best_steps_ = steps_.size();
        }
        if (deeper) deepen(t1, step.t4, step.gain, level + 1);
        if (best_closed_ > 0) return true;
        pop_step();
        t_.exchange(t1, step.t4, t2);
    }
    return false;
}

inline void TwoOptChains::push_step(const Step& step) {
    steps_.push_back(step);
    for (const auto& [a, b] : {std::pair(step.t2, step.t3), std::pair(step.t3, step.t2)})
        *std::find(joined_[a].begin(), joined_[a].end(), t_.n) = b;
}

inline void TwoOptChains::pop_step() {
    const Step& step = steps_.back();
    for (const auto& [a, b] : {std::pair(step.t2, step.t3), std::pair(step.t3, step.t2)})
        *std::find(joined_[a].begin(), joined_[a].end(), b) = t_.n;
    steps_.pop_back();
}

}  // namespace tourwright::distance_only
