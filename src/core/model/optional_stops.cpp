#include "model/optional_stops.hpp"

#include <algorithm>
#include <functional>

namespace tourwright {

OptionalStops::OptionalStops(const StopClasses& classes, const std::vector<TimeDelta>& work)
    : rank_(classes.size(), kRequired) {
    for (const auto& given : classes)
        if (given) classes_.push_back(*given);
    std::sort(classes_.begin(), classes_.end(), std::greater<>());
    classes_.erase(std::unique(classes_.begin(), classes_.end()), classes_.end());
    class_count_ = classes_.size();
    if (class_count_ > 0) work_ = work;
    for (std::size_t k = 0; k < classes.size(); ++k)
        if (classes[k])
            rank_[k] = static_cast<std::uint32_t>(
                std::lower_bound(classes_.begin(), classes_.end(), *classes[k], std::greater<>()) -
                classes_.begin());
}

LeftOut OptionalStops::left_out(const Route& route) const {
    if (!any()) return {};
    std::vector<bool> served(rank_.size(), false);
    for (std::size_t location : route)
        if (location < served.size()) served[location] = true;
    LeftOut out(class_count_);
    for (std::size_t k = 0; k < rank_.size(); ++k) {
        if (served[k] || rank_[k] == kRequired) continue;
        out[rank_[k]].stops += 1;
        out[rank_[k]].work += work_of(k);
    }
    return out;
}

int OptionalStops::compare_exchange(std::optional<std::size_t> in,
                                    std::optional<std::size_t> out) const {
    if (!in) return out ? 1 : 0;
    if (!out) return -1;
    // Taking in a stop of a higher class than the one left out is better, whatever the work.
    if (rank_[*in] != rank_[*out]) return rank_[*in] < rank_[*out] ? -1 : 1;
    const TimeDelta in_work = work_of(*in), out_work = work_of(*out);
    return out_work < in_work ? -1 : out_work > in_work ? 1 : 0;
}

bool OptionalStops::serves(const Route& route, std::size_t n) const {
    std::vector<bool> seen(n, false);
    for (std::size_t location : route) {
        if (location >= n || seen[location]) return false;
        seen[location] = true;
    }
    for (std::size_t k = 0; k < n; ++k)
        if (!seen[k] && !optional(k)) return false;
    return true;
}

}  // namespace tourwright
