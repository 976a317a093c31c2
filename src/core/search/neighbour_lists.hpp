#pragma once
// For each location, the few locations most worth placing right after it and
// right before it, nearest first. A search that only tries moves creating such
// legs spends its time where improvements are likely, whatever the problem size.
#include <cstddef>
#include <functional>
#include <span>
#include <vector>

#include "evaluation/penalizer.hpp"

namespace tourwright {

class NeighbourLists {
public:
    // Up to `count` neighbours each way, ranked by travel time (distance breaking
    // ties, or alone without time data). With `use_windows`, the rank is the least
    // time between the two jobs (the travel, or the wait for the later window when
    // longer) and a leg that makes the job at its end late in every tour that uses
    // it is left out; that takes time arithmetic known to stay in range. `stop`, asked
    // before each location, leaves the lists unfinished when it says so (the search
    // that needs them is ending).
    NeighbourLists(const Penalizer& penalizer, std::size_t count, bool use_windows,
                   const std::function<bool()>& stop = {});

    // Keeps the `count` nearest of each list: what a construction with `count` gives.
    void keep(std::size_t count);

    std::span<const std::size_t> successors(std::size_t location) const {
        return successors_[location];
    }
    std::span<const std::size_t> predecessors(std::size_t location) const {
        return predecessors_[location];
    }
    std::size_t location_count() const { return successors_.size(); }

private:
    std::vector<std::vector<std::size_t>> successors_;
    std::vector<std::vector<std::size_t>> predecessors_;
};

}  // namespace tourwright
