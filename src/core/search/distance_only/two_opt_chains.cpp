#include "search/distance_only/two_opt_chains.hpp"

#include <algorithm>
#include <utility>

namespace tourwright::distance_only {

TwoOptChains::TwoOptChains(NumberedTour& tour, std::array<std::size_t, 3> breadth)
    : t_(tour), joined_(tour.n, {tour.n, tour.n}) {
    for (std::size_t k = 0; k < breadth.size(); ++k)
        breadth_[k] = std::clamp<std::size_t>(breadth[k], 1, kMostBreadth);
}

bool TwoOptChains::chain(std::size_t t1, std::size_t longest_reversal) {
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
bool TwoOptChains::deepen(std::size_t t1, std::size_t t2, std::int64_t gain, std::size_t level) {
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

void TwoOptChains::push_step(const Step& step) {
    steps_.push_back(step);
    for (const auto& [a, b] : {std::pair(step.t2, step.t3), std::pair(step.t3, step.t2)})
        *std::find(joined_[a].begin(), joined_[a].end(), t_.n) = b;
}

void TwoOptChains::pop_step() {
    const Step& step = steps_.back();
    for (const auto& [a, b] : {std::pair(step.t2, step.t3), std::pair(step.t3, step.t2)})
        *std::find(joined_[a].begin(), joined_[a].end(), b) = t_.n;
    steps_.pop_back();
}

}  // namespace tourwright::distance_only
