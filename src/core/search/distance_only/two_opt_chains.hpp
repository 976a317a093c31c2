#pragma once
// Chains of 2-opt moves over the near lists: each level joins a near location and is cut
// back to the most gainful prefix once no deeper level pays.
#include <array>
#include <cstddef>
#include <cstdint>
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

}  // namespace tourwright::distance_only
