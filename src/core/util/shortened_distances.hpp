#pragma once
// The matrix of the classic collections' coordinate files: the Euclidean distances rounded
// down, then shortened in place by their loops
//     for i: for j: for k: d[i][j] = min(d[i][j], d[i][k] + d[k][j])
// (k innermost, one pass: not a shortest-path closure). The loops take n^3 steps, minutes at a
// few thousand locations; this gives the same matrix looking only at the k that can lower an
// entry, those nearly on the segment from i to j.
#include <cstdint>
#include <span>

namespace tourwright {

// `d` holds the n x n rounded-down distances, row after row, of the points (xs[i] / scale,
// ys[i] / scale), and is shortened in place. The coordinates are whole numbers of 1 / scale
// units at most 2^31 apart.
//
// Cost: O(n^2 log n) for the directions, plus, per row, the pairs (k, j) with j in a narrow
// cone behind k as seen from i. For points spread over a square of side L (in distance units)
// a cone holds a share of about 1 / sqrt(L) of them; the worst case, all points on one line or
// within a unit or two of each other, is every pair (n^3 steps, as the loops themselves).
void shorten_through_third(std::span<std::int64_t> d, std::span<const std::int64_t> xs,
                           std::span<const std::int64_t> ys, std::int64_t scale);

}  // namespace tourwright
