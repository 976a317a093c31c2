#include "search/distance_only/numbered_tour.hpp"

#include <algorithm>
#include <utility>

namespace tourwright::distance_only {

bool NearLists::build(const Rows& rows, const Route& external, std::size_t count_each,
                      const std::function<bool()>& stop) {
    const std::size_t n = rows.size();
    count = count_each;
    near.resize(n * count);
    legs.resize(n * count);
    std::vector<std::pair<std::uint64_t, std::size_t>> heap;
    for (std::size_t a = 0; a < n; ++a) {
        if (a % kRowsPerStopCheck == 0 && stop()) return false;
        heap.clear();
        const auto& row = rows[external[a]];
        for (std::size_t b = 0; b < n; ++b) {
            if (b == a) continue;
            const std::pair candidate(row[external[b]], b);
            if (heap.size() < count) {
                heap.push_back(candidate);
                std::push_heap(heap.begin(), heap.end());
            } else if (candidate < heap.front()) {
                std::pop_heap(heap.begin(), heap.end());
                heap.back() = candidate;
                std::push_heap(heap.begin(), heap.end());
            }
        }
        std::sort_heap(heap.begin(), heap.end());
        for (std::size_t k = 0; k < count; ++k) {
            near[a * count + k] = heap[k].second;
            legs[a * count + k] = static_cast<std::int64_t>(heap[k].first);
        }
    }
    return true;
}

std::uint64_t NumberedTour::copy_short_legs(const std::function<bool()>& stop) {
    std::uint64_t longest = 1;
    for (std::size_t a = 0; a < n; ++a) {
        if (a % kRowsPerStopCheck == 0 && stop()) return 0;
        longest = std::max(longest, *std::max_element(rows[a].begin(), rows[a].end()));
    }
    if (longest > UINT16_MAX) return longest;
    short_legs.resize(n * n);
    for (std::size_t a = 0; a < n; ++a) {
        if (a % kRowsPerStopCheck == 0 && stop()) return 0;
        const auto& row = rows[external[a]];
        for (std::size_t b = 0; b < n; ++b)
            short_legs[a * n + b] = static_cast<std::uint16_t>(row[external[b]]);
    }
    return longest;
}

}  // namespace tourwright::distance_only
