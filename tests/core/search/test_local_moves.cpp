// The eight segment moves of the descent: their effect, their pass order and gaps,
// and the checks on their positions.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <ostream>
#include <string>
#include <vector>

#include "model/route.hpp"
#include "search/local_moves.hpp"
#include "util/panic.hpp"

namespace {

using tourwright::identity_route;
using tourwright::kLocalMoves;
using tourwright::LocalMove;
using tourwright::Panic;
using tourwright::Route;

const LocalMove* find_move(const std::string& name) {
    for (const LocalMove& move : kLocalMoves)
        if (name == move.name) return &move;
    return nullptr;
}

struct MoveRow {
    std::size_t order;  // position in a pass
    const char* name;
    std::size_t gap;
    Route on_0_to_8_at_1_7;  // result on 0 1 2 3 4 5 6 7 8 with i = 1, j = 7
};

void PrintTo(const MoveRow& c, std::ostream* os) { *os << c.name; }

class LocalMovesTable : public ::testing::TestWithParam<MoveRow> {};

TEST_P(LocalMovesTable, PassOrderNameAndGap) {
    const auto& row = GetParam();
    ASSERT_LT(row.order, kLocalMoves.size());
    EXPECT_STREQ(kLocalMoves[row.order].name, row.name);
    EXPECT_EQ(kLocalMoves[row.order].gap, row.gap);
}

TEST_P(LocalMovesTable, WorkedExampleOnSegmentOneToSeven) {
    const auto& row = GetParam();
    const LocalMove* move = find_move(row.name);
    ASSERT_NE(move, nullptr) << row.name;
    Route route = identity_route(9);
    move->apply(route, 1, 7);
    EXPECT_EQ(route, row.on_0_to_8_at_1_7);
}

INSTANTIATE_TEST_SUITE_P(
    Moves, LocalMovesTable,
    ::testing::Values(MoveRow{0, "reverse", 0, {0, 7, 6, 5, 4, 3, 2, 1, 8}},
                      MoveRow{1, "swap", 2, {0, 7, 2, 3, 4, 5, 6, 1, 8}},
                      MoveRow{2, "rotate_left_1", 1, {0, 2, 3, 4, 5, 6, 7, 1, 8}},
                      MoveRow{3, "rotate_right_1", 1, {0, 7, 1, 2, 3, 4, 5, 6, 8}},
                      MoveRow{4, "rotate_left_2", 2, {0, 3, 4, 5, 6, 7, 1, 2, 8}},
                      MoveRow{5, "rotate_right_2", 3, {0, 6, 7, 1, 2, 3, 4, 5, 8}},
                      MoveRow{6, "rotate_left_3", 4, {0, 4, 5, 6, 7, 1, 2, 3, 8}},
                      MoveRow{7, "rotate_right_3", 5, {0, 5, 6, 7, 1, 2, 3, 4, 8}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(LocalMoves, ExactlyEightMoves) { EXPECT_EQ(kLocalMoves.size(), 8u); }

// Where the element at offset t of the rearranged segment of length len came from.
std::size_t source_offset(const std::string& name, std::size_t t, std::size_t len) {
    if (name == "reverse") return len - 1 - t;
    if (name == "swap") return t == 0 ? len - 1 : t == len - 1 ? 0 : t;
    const std::size_t width = name.back() - '0';
    if (name.rfind("rotate_left_", 0) == 0) return (t + width) % len;
    return (t + len - width) % len;  // rotate_right_
}

TEST(LocalMoves, EveryMoveRearrangesOnlyItsSegment) {
    // Distinct labels that are not positions, so a mix-up of the two shows.
    Route original(11);
    for (std::size_t k = 0; k < original.size(); ++k) original[k] = 100 + (k * 7) % 11;
    const std::size_t n = original.size();
    for (const LocalMove& move : kLocalMoves) {
        for (std::size_t i = 0; i < n; ++i) {
            for (std::size_t j = i + move.gap + 1; j < n; ++j) {
                Route route = original;
                move.apply(route, i, j);
                const std::size_t len = j - i + 1;
                for (std::size_t p = 0; p < n; ++p) {
                    const std::size_t from =
                        (p < i || p > j) ? p : i + source_offset(move.name, p - i, len);
                    ASSERT_EQ(route[p], original[from])
                        << move.name << " at (" << i << ", " << j << "), position " << p;
                }
            }
        }
    }
}

TEST(LocalMoves, SwapOnAdjacentPositionsExchangesThem) {
    const LocalMove* swap = find_move("swap");
    ASSERT_NE(swap, nullptr);
    Route route{4, 5, 6};
    swap->apply(route, 1, 2);
    EXPECT_EQ(route, (Route{4, 6, 5}));
}

// A rotation by the whole length of its segment puts everything back in place;
// that is still a legal call.
TEST(LocalMoves, SegmentAsLongAsTheRotationIsAccepted) {
    struct Case {
        const char* name;
        std::size_t i, j;
    };
    for (const Case& c : {Case{"rotate_left_1", 2, 3}, Case{"rotate_right_1", 2, 3},
                          Case{"rotate_left_2", 2, 3}, Case{"rotate_right_2", 2, 3},
                          Case{"rotate_left_3", 2, 4}, Case{"rotate_right_3", 2, 4}}) {
        const LocalMove* move = find_move(c.name);
        ASSERT_NE(move, nullptr) << c.name;
        Route route = identity_route(6);
        std::string message = "<no panic>";
        try {
            move->apply(route, c.i, c.j);
        } catch (const Panic& p) {
            message = p.message();
        }
        EXPECT_EQ(message, "<no panic>") << c.name << " at (" << c.i << ", " << c.j << ")";
        // Width 1 on two elements exchanges them; a full-length rotation is the identity.
        const std::size_t width = std::string(c.name).back() - '0';
        const Route expected = width == 1 ? Route{0, 1, 3, 2, 4, 5} : identity_route(6);
        if (message == "<no panic>") {
            EXPECT_EQ(route, expected) << c.name;
        }
    }
}

struct BadPositions {
    const char* name;
    const char* move;
    std::size_t length, i, j;
};

void PrintTo(const BadPositions& c, std::ostream* os) { *os << c.name; }

class LocalMovesBadPositions : public ::testing::TestWithParam<BadPositions> {};

TEST_P(LocalMovesBadPositions, FailAnAssertionAndLeaveTheRoute) {
    const auto& c = GetParam();
    const LocalMove* move = find_move(c.move);
    ASSERT_NE(move, nullptr) << c.move;
    Route route = identity_route(c.length);
    std::string message = "<no panic>";
    try {
        move->apply(route, c.i, c.j);
    } catch (const Panic& p) {
        message = p.message();
    }
    EXPECT_EQ(message.rfind("assertion failed: ", 0), 0u) << "message: " << message;
    EXPECT_EQ(route, identity_route(c.length));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, LocalMovesBadPositions,
    ::testing::Values(BadPositions{"ReverseIEqualsJ", "reverse", 5, 2, 2},
                      BadPositions{"ReverseIAfterJ", "reverse", 5, 3, 1},
                      BadPositions{"ReverseJAtLength", "reverse", 5, 1, 5},
                      BadPositions{"SwapJFarBeyond", "swap", 5, 0, 1000},
                      BadPositions{"SwapOnEmptyRoute", "swap", 0, 0, 1},
                      BadPositions{"SwapIEqualsJ", "swap", 5, 4, 4},
                      BadPositions{"RotateLeft1JAtLength", "rotate_left_1", 4, 0, 4},
                      BadPositions{"RotateRight1IAfterJ", "rotate_right_1", 6, 5, 0},
                      BadPositions{"RotateLeft2IEqualsJ", "rotate_left_2", 6, 3, 3},
                      BadPositions{"RotateRight2JAtLength", "rotate_right_2", 6, 2, 6},
                      BadPositions{"RotateLeft3TwoElements", "rotate_left_3", 6, 1, 2},
                      BadPositions{"RotateRight3TwoElements", "rotate_right_3", 6, 3, 4},
                      BadPositions{"RotateRight3JAtLength", "rotate_right_3", 6, 0, 6}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
