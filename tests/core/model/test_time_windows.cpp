// The time model's building blocks: windows, the window search, the daily
// operating hours and the travel-time table.
#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "model/operation_times.hpp"
#include "model/time_input.hpp"
#include "model/time_windows.hpp"
#include "test_support.hpp"

namespace {

using namespace tourwright;
using namespace tourwright::test_support;

// An instant on 2024-03-10 (or a neighbouring day) in UTC.
DateTime at(unsigned hour, unsigned minute = 0, unsigned second = 0, std::uint32_t nanos = 0,
            unsigned day = 10) {
    return DateTime::from_civil(2024, 3, day, hour, minute, second, nanos).value();
}

// ---------------------------------------------------------------- TimeWindow

TEST(TimeWindowNew, AcceptsOrderedAndZeroLengthWindows) {
    const TimeWindow ordered(at(10), at(12));
    EXPECT_EQ(ordered.start, at(10));
    EXPECT_EQ(ordered.end, at(12));

    const TimeWindow instant(at(10), at(10));
    EXPECT_EQ(instant.start, at(10));
    EXPECT_EQ(instant.end, at(10));
}

TEST(TimeWindowNew, RejectsEndBeforeStart) {
    EXPECT_EQ(panic_message([] { (void)TimeWindow(at(12), at(10)); }),
              "assertion failed: start <= end");
    // A single nanosecond the wrong way round is already rejected.
    EXPECT_EQ(panic_message([] { (void)TimeWindow(at(10, 0, 0, 1), at(10)); }),
              "assertion failed: start <= end");
}

// ---------------------------------------------------------------- next_window

struct NextWindowCase {
    const char* name;
    std::vector<std::pair<DateTime, DateTime>> windows;
    DateTime t;
    std::optional<std::size_t> index;  // position of the expected window; none expected
    TimeDelta wait;
};

// Parameters print as their case name.
[[maybe_unused]] void PrintTo(const NextWindowCase& c, std::ostream* os) { *os << c.name; }

class NextWindow : public ::testing::TestWithParam<NextWindowCase> {};

TEST_P(NextWindow, FindsWindowAndWait) {
    const NextWindowCase& c = GetParam();
    TimeWindows list;
    for (const auto& [start, end] : c.windows) list.windows.emplace_back(start, end);

    const auto found = list.next_window(c.t);
    if (!c.index) {
        EXPECT_FALSE(found.has_value());
        return;
    }
    ASSERT_TRUE(found.has_value());
    // The answer must point into the list itself: identical windows are told apart by position.
    ASSERT_GE(found->window, list.windows.data());
    ASSERT_LT(found->window, list.windows.data() + list.windows.size());
    EXPECT_EQ(static_cast<std::size_t>(found->window - list.windows.data()), *c.index);
    EXPECT_EQ(found->wait, c.wait);
}

// Five sorted windows, enough for several bisection rounds.
std::vector<std::pair<DateTime, DateTime>> five_windows() {
    return {{at(8), at(9)}, {at(10), at(11)}, {at(12), at(13)}, {at(14), at(15)}, {at(16), at(17)}};
}

const TimeDelta kZero = TimeDelta::zero();

INSTANTIATE_TEST_SUITE_P(
    Cases, NextWindow,
    ::testing::Values(
        // Both ends of every window belong to it.
        NextWindowCase{"AtFirstStart", five_windows(), at(8), 0, kZero},
        NextWindowCase{"AtMiddleStart", five_windows(), at(12), 2, kZero},
        NextWindowCase{"AtLastStart", five_windows(), at(16), 4, kZero},
        NextWindowCase{"AtFirstEnd", five_windows(), at(9), 0, kZero},
        NextWindowCase{"AtMiddleEnd", five_windows(), at(13), 2, kZero},
        NextWindowCase{"AtLastEnd", five_windows(), at(17), 4, kZero},
        NextWindowCase{"Inside", five_windows(), at(14, 30), 3, kZero},
        NextWindowCase{"InsideSecondWindow", five_windows(), at(10, 59, 59), 1, kZero},
        // Before the first window: wait for it to open.
        NextWindowCase{"BeforeFirst", five_windows(), at(6, 30), 0, hours(1) + minutes(30)},
        NextWindowCase{"BeforeFirstPreviousDay", five_windows(), at(23, 0, 0, 0, 9), 0, hours(9)},
        NextWindowCase{"OneNanosecondBeforeFirst", five_windows(), at(7, 59, 59, 999'999'999), 0,
                       nanos(1)},
        // In a gap: the later window and the time until it opens.
        NextWindowCase{"GapJustAfterEnd", five_windows(), at(9, 0, 0, 1), 1, hours(1) - nanos(1)},
        NextWindowCase{"GapMiddle", five_windows(), at(11, 30), 2, minutes(30)},
        NextWindowCase{"GapJustBeforeStart", five_windows(), at(13, 59, 59), 3, seconds(1)},
        NextWindowCase{"GapFraction", five_windows(), at(15, 0, 0, 500'000'000), 4,
                       minutes(59) + seconds(59) + nanos(500'000'000)},
        // After the last window nothing remains.
        NextWindowCase{"OneNanosecondAfterLast", five_windows(), at(17, 0, 0, 1), std::nullopt,
                       kZero},
        NextWindowCase{"NextDay", five_windows(), at(9, 0, 0, 0, 11), std::nullopt, kZero},
        // A single window.
        NextWindowCase{"SingleBefore", {{at(10), at(12)}}, at(9), 0, hours(1)},
        NextWindowCase{"SingleAtStart", {{at(10), at(12)}}, at(10), 0, kZero},
        NextWindowCase{"SingleInside", {{at(10), at(12)}}, at(11), 0, kZero},
        NextWindowCase{"SingleAtEnd", {{at(10), at(12)}}, at(12), 0, kZero},
        NextWindowCase{"SingleAfter", {{at(10), at(12)}}, at(12, 0, 0, 1), std::nullopt, kZero},
        // Zero-length windows are single instants.
        NextWindowCase{
            "ZeroLengthAtInstant", {{at(10), at(10)}, {at(12), at(13)}}, at(10), 0, kZero},
        NextWindowCase{"ZeroLengthJustMissed",
                       {{at(10), at(10)}, {at(12), at(13)}},
                       at(10, 0, 0, 1),
                       1,
                       hours(2) - nanos(1)},
        NextWindowCase{
            "ZeroLengthLastAtInstant", {{at(10), at(11)}, {at(12), at(12)}}, at(12), 1, kZero},
        NextWindowCase{"ZeroLengthLastJustMissed",
                       {{at(10), at(11)}, {at(12), at(12)}},
                       at(12, 0, 0, 1),
                       std::nullopt,
                       kZero},
        // No windows at all.
        NextWindowCase{"Empty", {}, at(10), std::nullopt, kZero},
        // Repeated starts: the bisection settles on the last window with that start,
        // not on the first one that contains the instant.
        NextWindowCase{"RepeatedStartAtStart",
                       {{at(10), at(10, 30)}, {at(10), at(11)}, {at(12), at(13)}},
                       at(10),
                       1,
                       kZero},
        NextWindowCase{"RepeatedStartInsideBoth",
                       {{at(10), at(10, 30)}, {at(10), at(11)}, {at(12), at(13)}},
                       at(10, 15),
                       1,
                       kZero},
        NextWindowCase{"RepeatedStartBefore",
                       {{at(10), at(10, 30)}, {at(10), at(11)}, {at(12), at(13)}},
                       at(9),
                       0,
                       hours(1)},
        NextWindowCase{
            "TwoIdenticalAtStart", {{at(10), at(10)}, {at(10), at(10)}}, at(10), 1, kZero},
        NextWindowCase{
            "TwoIdenticalBefore", {{at(10), at(10)}, {at(10), at(10)}}, at(9), 0, hours(1)},
        NextWindowCase{"ThreeIdenticalAtStart",
                       {{at(10), at(11)}, {at(10), at(11)}, {at(10), at(11)}},
                       at(10),
                       2,
                       kZero},
        NextWindowCase{"ThreeIdenticalInside",
                       {{at(10), at(11)}, {at(10), at(11)}, {at(10), at(11)}},
                       at(10, 30),
                       2,
                       kZero},
        // Only the last window in list order bounds the search, even if an earlier one is longer.
        NextWindowCase{"LastInListOrderBounds",
                       {{at(10), at(12)}, {at(10), at(11)}},
                       at(11, 30),
                       std::nullopt,
                       kZero},
        // An unsorted list is searched as if sorted: the containing window may be missed.
        NextWindowCase{"UnsortedMissesContainingWindow",
                       {{at(12), at(13)}, {at(10), at(11)}, {at(14), at(15)}},
                       at(12, 30),
                       2,
                       hours(1) + minutes(30)},
        NextWindowCase{"UnsortedFindsProbedWindow",
                       {{at(12), at(13)}, {at(10), at(11)}, {at(14), at(15)}},
                       at(10, 30),
                       1,
                       kZero}),
    [](const ::testing::TestParamInfo<NextWindowCase>& info) { return info.param.name; });

// ---------------------------------------------------------------- OperationTimes

TEST(OperationTimesNew, RequiresOpeningStrictlyBeforeClosing) {
    EXPECT_EQ(panic_message([] { (void)OperationTimes(tod(8), tod(8)); }),
              "assertion failed: daily_start < daily_end");
    EXPECT_EQ(panic_message([] { (void)OperationTimes(tod(17), tod(8)); }),
              "assertion failed: daily_start < daily_end");
    // Equal seconds but a later fraction is a valid, if tiny, day.
    const OperationTimes tiny(tod(8), tod(8, 0, 0, 1));
    EXPECT_EQ(tiny.daily_start, tod(8));
    EXPECT_EQ(tiny.daily_end, tod(8, 0, 0, 1));
    const OperationTimes whole_day(tod(0), tod(23, 59, 59, 999'999'999));
    EXPECT_EQ(whole_day.daily_end, tod(23, 59, 59, 999'999'999));
}

struct OperationWaitCase {
    const char* name;
    NaiveTime daily_start;
    NaiveTime daily_end;
    NaiveTime t;
    TimeDelta wait;
};

// Parameters print as their case name.
[[maybe_unused]] void PrintTo(const OperationWaitCase& c, std::ostream* os) { *os << c.name; }

class OperationTimesWait : public ::testing::TestWithParam<OperationWaitCase> {};

TEST_P(OperationTimesWait, WaitsUntilNextOpening) {
    const OperationWaitCase& c = GetParam();
    const OperationTimes hours_open(c.daily_start, c.daily_end);
    EXPECT_EQ(hours_open.waiting_time(c.t), c.wait);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, OperationTimesWait,
    ::testing::Values(
        OperationWaitCase{"AtOpening", tod(8), tod(17), tod(8), kZero},
        OperationWaitCase{"Midday", tod(8), tod(17), tod(12, 34, 56), kZero},
        OperationWaitCase{"LastNanosecondOpen", tod(8), tod(17), tod(16, 59, 59, 999'999'999),
                          kZero},
        OperationWaitCase{"OneSecondBeforeOpening", tod(8), tod(17), tod(7, 59, 59), seconds(1)},
        OperationWaitCase{"OneNanosecondBeforeOpening", tod(8), tod(17),
                          tod(7, 59, 59, 999'999'999), nanos(1)},
        OperationWaitCase{"Midnight", tod(8), tod(17), tod(0), hours(8)},
        // Closing time itself is closed: wait for tomorrow, 86400 s - (end - start).
        OperationWaitCase{"AtClosing", tod(8), tod(17), tod(17), hours(15)},
        OperationWaitCase{"HalfSecondAfterClosing", tod(8), tod(17), tod(17, 0, 0, 500'000'000),
                          hours(15) - nanos(500'000'000)},
        OperationWaitCase{"LastNanosecondOfDay", tod(8), tod(17), tod(23, 59, 59, 999'999'999),
                          hours(8) + nanos(1)},
        OperationWaitCase{"FractionalOpening", tod(6, 30, 15, 250'000'000), tod(22), tod(6, 30, 15),
                          nanos(250'000'000)},
        OperationWaitCase{"FractionalClosing", tod(6), tod(22, 0, 0, 250'000'000),
                          tod(22, 0, 0, 250'000'000), hours(8) - nanos(250'000'000)},
        OperationWaitCase{"OpenFromMidnightAtClosing", tod(0), tod(1), tod(1), hours(23)}),
    [](const ::testing::TestParamInfo<OperationWaitCase>& info) { return info.param.name; });

// ---------------------------------------------------------------- travel_duration

TimeScheduler ragged_scheduler() {
    TimeScheduler scheduler;
    scheduler.duration_matrix = {{seconds(0), seconds(5), seconds(7)}, {seconds(11)}};
    return scheduler;
}

TEST(SchedulerTravelDuration, ReadsRowThenColumn) {
    const TimeScheduler scheduler = ragged_scheduler();
    EXPECT_EQ(scheduler.travel_duration(0, 1), seconds(5));
    EXPECT_EQ(scheduler.travel_duration(0, 2), seconds(7));
    EXPECT_EQ(scheduler.travel_duration(1, 0), seconds(11));  // not the transposed entry
}

struct TravelIndexCase {
    const char* name;
    std::size_t from;
    std::size_t to;
    const char* message;
};

// Parameters print as their case name.
[[maybe_unused]] void PrintTo(const TravelIndexCase& c, std::ostream* os) { *os << c.name; }

class SchedulerTravelIndex : public ::testing::TestWithParam<TravelIndexCase> {};

TEST_P(SchedulerTravelIndex, ReportsFirstFailingLookup) {
    const TravelIndexCase& c = GetParam();
    const TimeScheduler scheduler = ragged_scheduler();
    EXPECT_EQ(panic_message([&] { scheduler.travel_duration(c.from, c.to); }), c.message);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SchedulerTravelIndex,
    ::testing::Values(
        TravelIndexCase{"MissingRow", 2, 0, "index out of bounds: the len is 2 but the index is 2"},
        TravelIndexCase{"ShortRow", 1, 1, "index out of bounds: the len is 1 but the index is 1"},
        TravelIndexCase{"ColumnBeyondFullRow", 0, 3,
                        "index out of bounds: the len is 3 but the index is 3"},
        // With both indices bad the row is reported, since it is looked up first.
        TravelIndexCase{"RowBeforeColumn", 5, 9,
                        "index out of bounds: the len is 2 but the index is 5"}),
    [](const ::testing::TestParamInfo<TravelIndexCase>& info) { return info.param.name; });

TEST(SchedulerTravelDuration, EmptyMatrixFailsOnRow) {
    const TimeScheduler scheduler;
    EXPECT_EQ(panic_message([&] { scheduler.travel_duration(0, 0); }),
              "index out of bounds: the len is 0 but the index is 0");
}

}  // namespace
