#pragma once
// What a table of legs (rows of entries [from][to], distances or travel durations,
// never validated) must hold for the work that reads it.
#include <algorithm>
#include <cstddef>

namespace tourwright {

// Whether `rows` has every entry that a tour over the first n locations looks up: all
// of each row but its diagonal, which only a tour of one location uses (so that the
// last row may end before it).
template <class Rows>
bool has_every_leg(const Rows& rows, std::size_t n) {
    if (rows.size() < n) return false;
    for (std::size_t k = 0; k < n; ++k) {
        const std::size_t needed = n > 1 && k == n - 1 ? n - 1 : n;
        if (rows[k].size() < needed) return false;
    }
    return true;
}

// Whether `rows` is at least n x n, diagonal included.
template <class Rows>
bool is_full_square(const Rows& rows, std::size_t n) {
    return rows.size() >= n &&
           std::all_of(rows.begin(), rows.begin() + static_cast<std::ptrdiff_t>(n),
                       [n](const auto& row) { return row.size() >= n; });
}

}  // namespace tourwright
