#pragma once
// The eight segment moves of the descent. Each rearranges route[i..=j] in place.
#include <algorithm>
#include <array>
#include <cstddef>

#include "panic.hpp"
#include "penalizer.hpp"

namespace tourwright {

using MoveFn = void (*)(Route& route, std::size_t i, std::size_t j);

namespace moves {

inline void check_segment(const Route& route, std::size_t i, std::size_t j, std::size_t width) {
    if (!(i < j && j < route.size())) panic_assertion("i < j && j < route.len()");
    if (j - i + 1 < width) panic_assertion("j - i + 1 >= width");
}

inline void reverse(Route& r, std::size_t i, std::size_t j) {
    check_segment(r, i, j, 2);
    std::reverse(r.begin() + i, r.begin() + j + 1);
}
inline void swap(Route& r, std::size_t i, std::size_t j) {
    check_segment(r, i, j, 2);
    std::swap(r[i], r[j]);
}
template <std::size_t Width>
void rotate_left(Route& r, std::size_t i, std::size_t j) {
    check_segment(r, i, j, Width + 1);
    std::rotate(r.begin() + i, r.begin() + i + Width, r.begin() + j + 1);
}
template <std::size_t Width>
void rotate_right(Route& r, std::size_t i, std::size_t j) {
    check_segment(r, i, j, Width + 1);
    std::rotate(r.begin() + i, r.begin() + j + 1 - Width, r.begin() + j + 1);
}

}  // namespace moves

struct LocalMove {
    const char* name;
    MoveFn apply;
    std::size_t gap;  // the sweep tries j from i + gap + 1 upwards
};

// In the order a pass runs them.
inline constexpr std::array<LocalMove, 8> kLocalMoves{{
    {"reverse", moves::reverse, 0},
    {"swap", moves::swap, 2},
    {"rotate_left_1", moves::rotate_left<1>, 1},
    {"rotate_right_1", moves::rotate_right<1>, 1},
    {"rotate_left_2", moves::rotate_left<2>, 2},
    {"rotate_right_2", moves::rotate_right<2>, 3},
    {"rotate_left_3", moves::rotate_left<3>, 4},
    {"rotate_right_3", moves::rotate_right<3>, 5},
}};

}  // namespace tourwright
