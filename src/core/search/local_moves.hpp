#pragma once
// The eight segment moves of the descent. Each rearranges route[i..=j] in place.
#include <algorithm>
#include <array>
#include <cstddef>
#include <string_view>

#include "evaluation/route_sums.hpp"
#include "model/route.hpp"
#include "util/panic.hpp"

namespace tourwright {

using MoveFn = void (*)(Route& route, std::size_t i, std::size_t j);
// Describes the segment i ..= j after the move as runs of the route before it
// (for segments longer than the move's width, as every sweep tries); returns how
// many runs it wrote.
using MoveRunsFn = std::size_t (*)(std::size_t i, std::size_t j, std::array<Run, 3>& runs);

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
    check_segment(r, i, j, Width);
    std::rotate(r.begin() + i, r.begin() + i + Width, r.begin() + j + 1);
}
template <std::size_t Width>
void rotate_right(Route& r, std::size_t i, std::size_t j) {
    check_segment(r, i, j, Width);
    std::rotate(r.begin() + i, r.begin() + j + 1 - Width, r.begin() + j + 1);
}

inline std::size_t reverse_runs(std::size_t i, std::size_t j, std::array<Run, 3>& runs) {
    runs[0] = {i, j, true};
    return 1;
}
inline std::size_t swap_runs(std::size_t i, std::size_t j, std::array<Run, 3>& runs) {
    runs[0] = {j, j, false};
    if (j == i + 1) {
        runs[1] = {i, i, false};
        return 2;
    }
    runs[1] = {i + 1, j - 1, false};
    runs[2] = {i, i, false};
    return 3;
}
template <std::size_t Width>
std::size_t rotate_left_runs(std::size_t i, std::size_t j, std::array<Run, 3>& runs) {
    runs[0] = {i + Width, j, false};
    runs[1] = {i, i + Width - 1, false};
    return 2;
}
template <std::size_t Width>
std::size_t rotate_right_runs(std::size_t i, std::size_t j, std::array<Run, 3>& runs) {
    runs[0] = {j + 1 - Width, j, false};
    runs[1] = {i, j - Width, false};
    return 2;
}

}  // namespace moves

struct LocalMove {
    const char* name;
    MoveFn apply;
    MoveRunsFn runs;
    std::size_t gap;  // the sweep tries j from i + gap + 1 upwards
};

// In the order a pass runs them.
inline constexpr std::array<LocalMove, 8> kLocalMoves{{
    {"reverse", moves::reverse, moves::reverse_runs, 0},
    {"swap", moves::swap, moves::swap_runs, 2},
    {"rotate_left_1", moves::rotate_left<1>, moves::rotate_left_runs<1>, 1},
    {"rotate_right_1", moves::rotate_right<1>, moves::rotate_right_runs<1>, 1},
    {"rotate_left_2", moves::rotate_left<2>, moves::rotate_left_runs<2>, 2},
    {"rotate_right_2", moves::rotate_right<2>, moves::rotate_right_runs<2>, 3},
    {"rotate_left_3", moves::rotate_left<3>, moves::rotate_left_runs<3>, 4},
    {"rotate_right_3", moves::rotate_right<3>, moves::rotate_right_runs<3>, 5},
}};

// The move of that name; naming one that does not exist fails to compile where
// the name is a constant.
constexpr const LocalMove& local_move(std::string_view name) {
    for (const LocalMove& move : kLocalMoves)
        if (std::string_view(move.name) == name) return move;
    panic_assertion("a local move of that name exists");
}

}  // namespace tourwright
