#pragma once
// The matrix of the classic collections' coordinate files: the Euclidean distances rounded
// down, then shortened in place by their loops
//     for i: for j: for k: d[i][j] = min(d[i][j], d[i][k] + d[k][j])
// (k innermost, one pass: not a shortest-path closure). The loops take n^3 steps, minutes at a
// few thousand locations; this gives the same matrix looking only at the k that can lower an
// entry, those nearly on the segment from i to j.
#include <cstddef>
#include <cstdint>
#include <span>

namespace tourwright {

// `d` holds the n x n rounded-down distances, row after row, of the points (xs[i] / scale,
// ys[i] / scale), and is shortened in place. The coordinates are whole numbers of 1 / scale
// units at most 2^31 apart.
//
// Cost: O(n^2 log n) for the directions; then, per row i and location k, the points in k's
// cone as seen from i, or one sweep of row k when the cone is wide. With points spread out and
// few legs shortened the cones are narrow: about n^2 steps of a few nanoseconds. Where
// shortened legs are common (many points per unit of area: each shortened row widens the cones
// of the rows after it), or points lie on one line, cones are wide and whole rows are swept
// without looking at directions: the loops' n^3 steps, in sweeps of 16- or 32-bit entries
// several at a time (about 0.1 ns a step; 1.5 s at n = 2000).
//
// `plan` splits the work between looking at cones point by point and sweeping whole rows; the
// result is the same whatever it says (the tests try each way), only the time differs.
struct ShorteningPlan {
    // A cone holding more than 1 / wide_share of the points is swept whole (0: never).
    std::size_t wide_share = 64;
    // Rows are swept whole, without looking at directions, while more than 1 / sweep_all_share
    // of the cones of the last row that looked were wide (0: never).
    std::size_t sweep_all_share = 2;
};
void shorten_through_third(std::span<std::int64_t> d, std::span<const std::int64_t> xs,
                           std::span<const std::int64_t> ys, std::int64_t scale,
                           const ShorteningPlan& plan = {});

}  // namespace tourwright
