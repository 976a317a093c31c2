#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

#include "util/panic.hpp"

namespace tourwright {

// Exact tour length: wide enough that no sum of 64-bit legs over any route wraps,
// so a tour over huge "forbidden" legs never looks short.
using Distance = unsigned __int128;

// Distances as given: not required to be square or symmetric, never validated.
struct DistanceMatrix {
    std::vector<std::vector<std::uint64_t>> rows;

    std::uint64_t distance(std::size_t from, std::size_t to) const {
        return checked_at(checked_at(rows, from), to);
    }
    std::size_t location_count() const { return rows.size(); }
};

}  // namespace tourwright
