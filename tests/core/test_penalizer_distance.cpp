// The distance objective: closed-tour length, its comparison, exact sums and the
// order in which failing lookups are reported.
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "util/panic.hpp"
#include "evaluation/penalizer.hpp"

namespace {

using tourwright::Distance;
using tourwright::DistanceMatrix;
using tourwright::Panic;
using tourwright::Penalizer;
using tourwright::Route;
using tourwright::Solution;

using Rows = std::vector<std::vector<std::uint64_t>>;

constexpr std::uint64_t kU64Max = std::numeric_limits<std::uint64_t>::max();
constexpr std::uint64_t kHalf = std::uint64_t{1} << 63;  // 2^63

Penalizer distance_only(Rows rows) { return Penalizer(DistanceMatrix{std::move(rows)}, std::nullopt); }

// gtest cannot print 128-bit integers; compare them as 64-bit halves.
struct Wide {
    std::uint64_t high, low;
    friend bool operator==(const Wide&, const Wide&) = default;
    friend std::ostream& operator<<(std::ostream& os, const Wide& w) {
        return os << "{high " << w.high << ", low " << w.low << "}";
    }
};
Wide wide(Distance d) { return {static_cast<std::uint64_t>(d >> 64), static_cast<std::uint64_t>(d)}; }

// A small asymmetric matrix: every entry distinct, so any wrong leg shows.
const Rows kAsymmetric{
    {1, 2, 4, 8},
    {16, 32, 64, 128},
    {256, 512, 1024, 2048},
    {4096, 8192, 16384, 32768},
};

struct TourCase {
    const char* name;
    Route route;
    std::uint64_t distance;
};

void PrintTo(const TourCase& c, std::ostream* os) { *os << c.name; }

class PenalizerDistanceTour : public ::testing::TestWithParam<TourCase> {};

TEST_P(PenalizerDistanceTour, SumsOpenPathAndClosingLeg) {
    const auto& c = GetParam();
    const Penalizer penalizer = distance_only(kAsymmetric);
    for (bool with_schedule : {false, true}) {
        const Solution s = penalizer.penalize(c.route, with_schedule);
        EXPECT_EQ(s.route, c.route);
        EXPECT_EQ(wide(s.distance), wide(c.distance));
        EXPECT_EQ(s.reported_distance(), c.distance);
        EXPECT_FALSE(s.time_report.has_value());
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PenalizerDistanceTour,
    ::testing::Values(
        TourCase{"OneLocationUsesDiagonal", {2}, 1024},
        TourCase{"OneLocationZero", {0}, 1},
        TourCase{"TwoLocationsThereAndBack", {1, 3}, 128 + 8192},
        TourCase{"TwoLocationsOtherWay", {3, 1}, 8192 + 128},
        // 0 -> 1 -> 2 -> 3 -> 0 versus the reverse direction 0 -> 3 -> 2 -> 1 -> 0.
        TourCase{"Forward", {0, 1, 2, 3}, 2 + 64 + 2048 + 4096},
        TourCase{"Backward", {0, 3, 2, 1}, 8 + 16384 + 512 + 16},
        TourCase{"ClosingLegUsesLastThenFirst", {2, 0, 3}, 256 + 8 + 16384},
        // Rows are not validated: a route may repeat a location.
        TourCase{"RepeatedLocation", {1, 1, 1}, 3 * 32}),
    [](const auto& info) { return std::string(info.param.name); });

struct LookupFailure {
    const char* name;
    Rows rows;
    Route route;
    std::size_t len, index;
};

void PrintTo(const LookupFailure& c, std::ostream* os) { *os << c.name; }

class PenalizerDistanceLookup : public ::testing::TestWithParam<LookupFailure> {};

TEST_P(PenalizerDistanceLookup, ReportsTheFirstFailingLookup) {
    const auto& c = GetParam();
    const Penalizer penalizer = distance_only(c.rows);
    std::string message = "<no panic>";
    try {
        (void)penalizer.penalize(c.route, false);
    } catch (const Panic& p) {
        message = p.message();
    }
    EXPECT_EQ(message, "index out of bounds: the len is " + std::to_string(c.len) +
                           " but the index is " + std::to_string(c.index));
}

// Ragged rows give each lookup its own length, so the message tells which one failed.
const Rows kRagged{
    {0, 1, 1, 1},  // row 0: 4 columns
    {1, 0, 1},     // row 1: 3 columns
    {1, 1, 0, 1},  // row 2: 4 columns
    {1, 1},        // row 3: 2 columns
};

INSTANTIATE_TEST_SUITE_P(
    Cases, PenalizerDistanceLookup,
    ::testing::Values(
        LookupFailure{"EmptyRoute", kRagged, {}, 0, 0},
        LookupFailure{"EmptyRouteEmptyMatrix", {}, {}, 0, 0},
        LookupFailure{"SingleLocationOnEmptyMatrix", {}, {0}, 0, 0},
        // Row 7 does not exist; its column 9 is never looked at.
        LookupFailure{"RowBeforeColumn", kRagged, {7, 9}, 4, 7},
        LookupFailure{"ColumnBeyondShortRow", kRagged, {3, 2}, 2, 2},
        LookupFailure{"ColumnBeyondEveryRow", kRagged, {0, 9}, 4, 9},
        // Open leg 1 -> 3 fails (row 1 has 3 columns); the closing leg 3 -> 2 would
        // fail too, with a different length.
        LookupFailure{"OpenPathBeforeClosingLeg", kRagged, {2, 1, 3}, 3, 3},
        // 2 -> 0 and 0 -> 3 are fine; the closing leg 3 -> 2 alone fails.
        LookupFailure{"ClosingLegAlone", kRagged, {2, 0, 3}, 2, 2},
        // Location 5 is a valid column of row 0 but has no row of its own.
        LookupFailure{"ClosingLegRowMissing", Rows{{0, 1, 1, 1, 1, 1}, {1, 0}}, {0, 5}, 2, 5},
        LookupFailure{"SingleLocationDiagonalMissing", kRagged, {3}, 2, 3},
        LookupFailure{"DiagonalBeyondShortRow", kRagged, {3, 3, 3}, 2, 3}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(PenalizerDistance, OnlyAStrictlyShorterTourIsBetter) {
    const Penalizer penalizer = distance_only({{0, 5, 1}, {1, 0, 5}, {5, 1, 0}});
    const Solution forward = penalizer.penalize({0, 1, 2}, false);   // 5 + 5 + 5
    const Solution backward = penalizer.penalize({0, 2, 1}, false);  // 1 + 1 + 1
    const Solution rotated = penalizer.penalize({1, 2, 0}, false);   // same tour as forward
    ASSERT_EQ(forward.reported_distance(), 15u);
    ASSERT_EQ(backward.reported_distance(), 3u);
    ASSERT_EQ(rotated.reported_distance(), 15u);

    EXPECT_TRUE(penalizer.is_better(backward, forward));
    EXPECT_FALSE(penalizer.is_better(forward, backward));
    // Equal distances: neither replaces the other, whatever the routes.
    EXPECT_FALSE(penalizer.is_better(forward, rotated));
    EXPECT_FALSE(penalizer.is_better(rotated, forward));
    EXPECT_FALSE(penalizer.is_better(forward, forward));
}

TEST(PenalizerDistance, SumsAreExactBeyondSixtyFourBits) {
    // Two legs of 2^63 total exactly 2^64 rather than wrapping to 0.
    const Penalizer two_halves = distance_only({{0, kHalf}, {kHalf, 0}});
    const Solution s = two_halves.penalize({0, 1}, false);
    EXPECT_EQ(wide(s.distance), (Wide{1, 0}));
    EXPECT_EQ(s.reported_distance(), kU64Max);

    // Four legs of 2^64 - 1.
    const Penalizer huge = distance_only({{kU64Max, kU64Max}, {kU64Max, kU64Max}});
    const Solution four = huge.penalize({0, 1, 0, 1}, false);
    EXPECT_EQ(wide(four.distance), (Wide{3, kU64Max - 3}));  // 4 * (2^64 - 1)
    EXPECT_EQ(four.reported_distance(), kU64Max);

    // Just below the saturation point the total is reported as is.
    const Penalizer almost = distance_only({{0, kHalf}, {kHalf - 1, 0}});
    const Solution fits = almost.penalize({0, 1}, false);
    EXPECT_EQ(wide(fits.distance), (Wide{0, kU64Max}));
    EXPECT_EQ(fits.reported_distance(), kU64Max);
}

TEST(PenalizerDistance, OneHugeLegBeatsTwo) {
    // 0 -> 1 -> 2 -> 0 crosses two legs of 2^63 (2^64 in total, which would be 0 if
    // it wrapped); 0 -> 2 -> 1 -> 0 crosses only one.
    const Penalizer penalizer = distance_only({
        {0, kHalf, 1},
        {kHalf, 0, kHalf},
        {0, 1, 0},
    });
    const Solution two_legs = penalizer.penalize({0, 1, 2}, false);
    const Solution one_leg = penalizer.penalize({0, 2, 1}, false);
    EXPECT_EQ(wide(two_legs.distance), (Wide{1, 0}));
    EXPECT_EQ(wide(one_leg.distance), (Wide{0, kHalf + 2}));
    EXPECT_TRUE(penalizer.is_better(one_leg, two_legs));
    EXPECT_FALSE(penalizer.is_better(two_legs, one_leg));
    EXPECT_EQ(one_leg.reported_distance(), kHalf + 2);
    EXPECT_EQ(two_legs.reported_distance(), kU64Max);
}

}  // namespace
