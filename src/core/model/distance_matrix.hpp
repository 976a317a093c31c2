#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

#include "util/panic.hpp"

namespace tourwright {

// Exact tour length: wide enough that no sum of 64-bit legs over any route wraps,
// so a tour over huge "forbidden" legs never looks short.
using Distance = unsigned __int128;

// `distance` as a 64-bit count, saturated at 2^64 - 1 when it does not fit.
inline std::uint64_t saturated_u64(Distance distance) {
    return distance > UINT64_MAX ? UINT64_MAX : static_cast<std::uint64_t>(distance);
}

// Distances as given: not required to be square or symmetric, never validated.
struct DistanceMatrix {
    std::vector<std::vector<std::uint64_t>> rows;

    std::uint64_t distance(std::size_t from, std::size_t to) const {
        return checked_at(checked_at(rows, from), to);
    }
    std::size_t location_count() const { return rows.size(); }
};

}  // namespace tourwright
