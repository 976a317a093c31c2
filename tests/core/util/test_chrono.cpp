// Time arithmetic: ranges, overflow panics, truncation and calendar conversion.
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "test_support.hpp"
#include "util/chrono.hpp"

namespace {

using tourwright::DateTime;
using tourwright::NaiveTime;
using tourwright::TimeDelta;
using tourwright::test_support::kNoPanic;
using tourwright::test_support::panic_message;

constexpr std::int64_t kI64Max = std::numeric_limits<std::int64_t>::max();
constexpr std::int64_t kI64Min = std::numeric_limits<std::int64_t>::min();

// The extremes of the duration range, +/- (2^63 - 1) milliseconds.
constexpr TimeDelta kMaxDelta{9'223'372'036'854'775, 807'000'000};
constexpr TimeDelta kMinDelta{-9'223'372'036'854'776, 193'000'000};
constexpr TimeDelta kOneNano{0, 1};
constexpr TimeDelta kMinusOneNano{-1, 999'999'999};

// First and last representable instants, worked out by hand from the 146097-day
// Gregorian cycle (and cross-checked against 0000-03-01 = day -719468).
constexpr std::int64_t kFirstInstantUnix = -8'334'601'315'200;  // -262144-12-31T00:00:00
constexpr std::int64_t kLastSecondUnix = 8'210'266'876'799;     // 262142-12-31T23:59:59

DateTime unix_at(std::int64_t secs, std::uint32_t nanos = 0) {
    auto t = DateTime::from_unix(secs, nanos);
    EXPECT_TRUE(t.has_value()) << "from_unix(" << secs << ", " << nanos << ") refused";
    return t.value_or(DateTime{});
}

// ---------------------------------------------------------------- TimeDelta

struct DeltaArithmeticCase {
    const char* name;
    TimeDelta a;
    char op;  // '+' or '-'
    TimeDelta b;
    std::optional<TimeDelta> expected;  // nullopt: the operation must panic
};

void PrintTo(const DeltaArithmeticCase& c, std::ostream* os) { *os << c.name; }

class ChronoTimeDeltaArithmetic : public ::testing::TestWithParam<DeltaArithmeticCase> {};

TEST_P(ChronoTimeDeltaArithmetic, StaysInRangeOrPanicsWithFixedMessage) {
    const auto& c = GetParam();
    std::optional<TimeDelta> result;
    const std::string message =
        panic_message([&] { result = c.op == '+' ? c.a + c.b : c.a - c.b; });
    if (c.expected) {
        EXPECT_EQ(message, kNoPanic);
        ASSERT_TRUE(result.has_value());
        EXPECT_EQ(*result, *c.expected);
        EXPECT_GE(result->nanos, 0);
        EXPECT_LT(result->nanos, 1'000'000'000);
    } else {
        EXPECT_EQ(message, c.op == '+' ? "`TimeDelta + TimeDelta` overflowed"
                                       : "`TimeDelta - TimeDelta` overflowed");
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ChronoTimeDeltaArithmetic,
    ::testing::Values(
        DeltaArithmeticCase{"MaxPlusZero", kMaxDelta, '+', TimeDelta::zero(), kMaxDelta},
        DeltaArithmeticCase{"MaxPlusOneNano", kMaxDelta, '+', kOneNano, std::nullopt},
        DeltaArithmeticCase{"MaxPlusOneSecond", kMaxDelta, '+', TimeDelta{1, 0}, std::nullopt},
        DeltaArithmeticCase{"WholeSecondsPlusMillisReachMax", TimeDelta{9'223'372'036'854'775, 0},
                            '+', TimeDelta{0, 807'000'000}, kMaxDelta},
        DeltaArithmeticCase{"WholeSecondsPlusMillisJustPastMax",
                            TimeDelta{9'223'372'036'854'775, 0}, '+', TimeDelta{0, 807'000'001},
                            std::nullopt},
        DeltaArithmeticCase{"MaxMinusMinusOneNano", kMaxDelta, '-', kMinusOneNano, std::nullopt},
        DeltaArithmeticCase{"MinMinusOneNano", kMinDelta, '-', kOneNano, std::nullopt},
        DeltaArithmeticCase{"MinPlusMinusOneNano", kMinDelta, '+', kMinusOneNano, std::nullopt},
        DeltaArithmeticCase{"MinMinusZero", kMinDelta, '-', TimeDelta::zero(), kMinDelta},
        DeltaArithmeticCase{"MaxPlusMin", kMaxDelta, '+', kMinDelta, TimeDelta::zero()},
        DeltaArithmeticCase{"MinMinusMax", kMinDelta, '-', kMaxDelta, std::nullopt},
        DeltaArithmeticCase{"MaxMinusMax", kMaxDelta, '-', kMaxDelta, TimeDelta::zero()},
        DeltaArithmeticCase{"ZeroMinusMinIsMax", TimeDelta::zero(), '-', kMinDelta, kMaxDelta},
        DeltaArithmeticCase{"ZeroMinusMaxIsMin", TimeDelta::zero(), '-', kMaxDelta, kMinDelta},
        DeltaArithmeticCase{"NanosCarryIntoSeconds", TimeDelta{1, 600'000'000}, '+',
                            TimeDelta{0, 500'000'000}, TimeDelta{2, 100'000'000}},
        DeltaArithmeticCase{"NanosBorrowFromSeconds", TimeDelta::zero(), '-', kOneNano,
                            kMinusOneNano},
        DeltaArithmeticCase{"TwoNegativeHalvesMakeMinusOne", TimeDelta{-1, 500'000'000}, '+',
                            TimeDelta{-1, 500'000'000}, TimeDelta{-1, 0}},
        DeltaArithmeticCase{"NegativeMinusPositive", TimeDelta{-3, 250'000'000}, '-',
                            TimeDelta{1, 500'000'000}, TimeDelta{-5, 750'000'000}}),
    [](const auto& info) { return std::string(info.param.name); });

struct SecondsCase {
    const char* name;
    std::int64_t count;
    bool accepted;
};

void PrintTo(const SecondsCase& c, std::ostream* os) { *os << c.name; }

class ChronoTimeDeltaSeconds : public ::testing::TestWithParam<SecondsCase> {};

TEST_P(ChronoTimeDeltaSeconds, AcceptsExactlyTheMillisecondRange) {
    const auto& c = GetParam();
    std::optional<TimeDelta> result;
    const std::string message = panic_message([&] { result = TimeDelta::seconds(c.count); });
    if (c.accepted) {
        EXPECT_EQ(message, kNoPanic);
        ASSERT_TRUE(result.has_value());
        EXPECT_EQ(*result, (TimeDelta{c.count, 0}));
    } else {
        EXPECT_EQ(message, "TimeDelta::seconds out of bounds");
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ChronoTimeDeltaSeconds,
    ::testing::Values(SecondsCase{"Zero", 0, true}, SecondsCase{"NegativeOne", -1, true},
                      SecondsCase{"LargestPositive", 9'223'372'036'854'775, true},
                      SecondsCase{"LargestNegative", -9'223'372'036'854'775, true},
                      SecondsCase{"OnePastPositive", 9'223'372'036'854'776, false},
                      SecondsCase{"OnePastNegative", -9'223'372'036'854'776, false},
                      SecondsCase{"Int64Max", kI64Max, false},
                      SecondsCase{"Int64Min", kI64Min, false}),
    [](const auto& info) { return std::string(info.param.name); });

struct TruncationCase {
    const char* name;
    TimeDelta delta;
    std::int64_t whole_seconds;
    std::optional<std::int64_t> whole_microseconds;
};

void PrintTo(const TruncationCase& c, std::ostream* os) { *os << c.name; }

class ChronoTimeDeltaTruncation : public ::testing::TestWithParam<TruncationCase> {};

TEST_P(ChronoTimeDeltaTruncation, TruncatesTowardZero) {
    const auto& c = GetParam();
    EXPECT_EQ(c.delta.whole_seconds(), c.whole_seconds);
    EXPECT_EQ(c.delta.whole_microseconds(), c.whole_microseconds);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ChronoTimeDeltaTruncation,
    ::testing::Values(
        TruncationCase{"Zero", TimeDelta::zero(), 0, 0},
        TruncationCase{"PositiveWithNanos", TimeDelta{1, 999'999'999}, 1, 1'999'999},
        TruncationCase{"SubMicrosecondDropped", TimeDelta{1, 999}, 1, 1'000'000},
        TruncationCase{"MinusOneNano", kMinusOneNano, 0, 0},
        TruncationCase{"MinusOneMicro", TimeDelta{-1, 999'999'000}, 0, -1},
        TruncationCase{"MinusOneAndAHalfSeconds", TimeDelta{-2, 500'000'000}, -1, -1'500'000},
        TruncationCase{"NegativeWithSubMicroRemainder", TimeDelta{-2, 500'000'500}, -1, -1'499'999},
        TruncationCase{"NegativeWholeSeconds", TimeDelta{-7, 0}, -7, -7'000'000},
        TruncationCase{"LargestMicros", TimeDelta{9'223'372'036'854, 775'807'000},
                       9'223'372'036'854, kI64Max},
        TruncationCase{"LargestMicrosWithNanos", TimeDelta{9'223'372'036'854, 775'807'999},
                       9'223'372'036'854, kI64Max},
        TruncationCase{"OneMicroPastLargest", TimeDelta{9'223'372'036'854, 775'808'000},
                       9'223'372'036'854, std::nullopt},
        TruncationCase{"SmallestMicros", TimeDelta{-9'223'372'036'855, 224'192'000},
                       -9'223'372'036'854, kI64Min},
        TruncationCase{"SmallestMicrosWithNanos", TimeDelta{-9'223'372'036'855, 224'191'001},
                       -9'223'372'036'854, kI64Min},
        TruncationCase{"OneMicroPastSmallest", TimeDelta{-9'223'372'036'855, 224'191'000},
                       -9'223'372'036'854, std::nullopt},
        TruncationCase{"MaxDelta", kMaxDelta, 9'223'372'036'854'775, std::nullopt},
        TruncationCase{"MinDelta", kMinDelta, -9'223'372'036'854'775, std::nullopt}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ChronoTimeDelta, OrdersBySecondsThenNanos) {
    const std::vector<TimeDelta> ascending{
        kMinDelta, TimeDelta{-1, 0},          kMinusOneNano,   TimeDelta::zero(),
        kOneNano,  TimeDelta{0, 999'999'999}, TimeDelta{1, 0}, kMaxDelta};
    for (std::size_t i = 0; i + 1 < ascending.size(); ++i) {
        EXPECT_LT(ascending[i], ascending[i + 1]) << "at " << i;
        EXPECT_FALSE(ascending[i + 1] < ascending[i]) << "at " << i;
    }
}

TEST(ChronoTimeDelta, PositiveOnlyAboveZero) {
    EXPECT_FALSE(TimeDelta::zero().is_positive());
    EXPECT_FALSE(kMinusOneNano.is_positive());
    EXPECT_FALSE(kMinDelta.is_positive());
    EXPECT_TRUE(kOneNano.is_positive());
    EXPECT_TRUE((TimeDelta{1, 0}).is_positive());
}

// ---------------------------------------------------------------- DateTime

TEST(ChronoDateTime, LastRepresentableInstantIsEndOf262142) {
    const auto last = DateTime::from_civil(262142, 12, 31, 23, 59, 59, 999'999'999);
    ASSERT_TRUE(last.has_value());
    EXPECT_EQ(last->unix_seconds(), kLastSecondUnix);
    EXPECT_EQ(last->subsec_nanos(), 999'999'999u);
    EXPECT_EQ(DateTime::kMaxUnixSeconds, kLastSecondUnix);
    EXPECT_TRUE(DateTime::from_unix(kLastSecondUnix, 999'999'999).has_value());
    EXPECT_FALSE(DateTime::from_unix(kLastSecondUnix + 1).has_value());
    EXPECT_FALSE(DateTime::from_civil(262143, 1, 1).has_value());
}

// The range starts on the last day of the year -262144, one day before -262143
// begins, and nothing earlier is representable.
TEST(ChronoDateTime, FirstRepresentableInstantIsLastDayOfMinus262144) {
    const auto first = DateTime::from_civil(-262144, 12, 31);
    ASSERT_TRUE(first.has_value());
    EXPECT_EQ(first->unix_seconds(), kFirstInstantUnix);
    EXPECT_EQ(DateTime::kMinUnixSeconds, kFirstInstantUnix);
    const auto year_start = DateTime::from_civil(-262143, 1, 1);
    ASSERT_TRUE(year_start.has_value());
    EXPECT_EQ(year_start->unix_seconds(), kFirstInstantUnix + 86'400);
    EXPECT_FALSE(DateTime::from_civil(-262144, 12, 30, 23, 59, 59).has_value());
    EXPECT_FALSE(DateTime::from_unix(kFirstInstantUnix - 1, 999'999'999).has_value());
    EXPECT_EQ(panic_message([&] { (void)(*first - kOneNano); }),
              "`DateTime - TimeDelta` overflowed");
    EXPECT_EQ(panic_message([&] { (void)(*first + kMinusOneNano); }),
              "`DateTime + TimeDelta` overflowed");
}

TEST(ChronoDateTime, FromCivilRefusesInvalidFields) {
    struct Case {
        std::int64_t year;
        unsigned month, day, hour, minute, second;
        std::uint32_t nanos;
    };
    for (const Case& c :
         {Case{2000, 0, 1, 0, 0, 0, 0}, Case{2000, 13, 1, 0, 0, 0, 0}, Case{2000, 1, 0, 0, 0, 0, 0},
          Case{2000, 1, 32, 0, 0, 0, 0}, Case{2000, 1, 1, 24, 0, 0, 0},
          Case{2000, 1, 1, 0, 60, 0, 0}, Case{2000, 1, 1, 0, 0, 60, 0},
          Case{2000, 1, 1, 0, 0, 0, 1'000'000'000}, Case{-262145, 12, 31, 23, 59, 59, 0},
          Case{-1'000'000, 1, 1, 0, 0, 0, 0}, Case{1'000'000, 1, 1, 0, 0, 0, 0},
          Case{kI64Min, 1, 1, 0, 0, 0, 0}, Case{kI64Max, 12, 31, 0, 0, 0, 0}}) {
        EXPECT_FALSE(
            DateTime::from_civil(c.year, c.month, c.day, c.hour, c.minute, c.second, c.nanos)
                .has_value())
            << c.year << "-" << c.month << "-" << c.day << " " << c.hour << ":" << c.minute << ":"
            << c.second << "." << c.nanos;
    }
}

TEST(ChronoDateTime, FromUnixRefusesOutOfRangeParts) {
    EXPECT_TRUE(DateTime::from_unix(DateTime::kMinUnixSeconds).has_value());
    EXPECT_FALSE(DateTime::from_unix(DateTime::kMinUnixSeconds - 1, 999'999'999).has_value());
    EXPECT_FALSE(DateTime::from_unix(kI64Min).has_value());
    EXPECT_FALSE(DateTime::from_unix(kI64Max).has_value());
    EXPECT_TRUE(DateTime::from_unix(0, 999'999'999).has_value());
    EXPECT_FALSE(DateTime::from_unix(0, 1'000'000'000).has_value());
}

struct CivilCase {
    const char* name;
    std::int64_t year;
    unsigned month, day, hour, minute, second;
    std::int64_t unix_seconds;
};

void PrintTo(const CivilCase& c, std::ostream* os) { *os << c.name; }

class ChronoDateTimeCivil : public ::testing::TestWithParam<CivilCase> {};

TEST_P(ChronoDateTimeCivil, AgreesWithKnownUnixTimestamps) {
    const auto& c = GetParam();
    const auto t = DateTime::from_civil(c.year, c.month, c.day, c.hour, c.minute, c.second);
    ASSERT_TRUE(t.has_value());
    EXPECT_EQ(t->unix_seconds(), c.unix_seconds);
    EXPECT_EQ(t->subsec_nanos(), 0u);
    EXPECT_EQ(t->time_of_day(), (NaiveTime{c.hour * 3600 + c.minute * 60 + c.second, 0}));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ChronoDateTimeCivil,
    ::testing::Values(CivilCase{"Epoch", 1970, 1, 1, 0, 0, 0, 0},
                      CivilCase{"SecondBeforeEpoch", 1969, 12, 31, 23, 59, 59, -1},
                      CivilCase{"DayAfterEpoch", 1970, 1, 2, 0, 0, 0, 86'400},
                      CivilCase{"LeapDay2000", 2000, 2, 29, 0, 0, 0, 951'782'400},
                      CivilCase{"March2000", 2000, 3, 1, 0, 0, 0, 951'868'800},
                      CivilCase{"LeapDay2024Noon", 2024, 2, 29, 12, 0, 0, 1'709'208'000},
                      CivilCase{"Int32Limit", 2038, 1, 19, 3, 14, 7, 2'147'483'647},
                      CivilCase{"March2100", 2100, 3, 1, 0, 0, 0, 4'107'542'400},
                      CivilCase{"March1900", 1900, 3, 1, 0, 0, 0, -2'203'891'200},
                      CivilCase{"Year1600", 1600, 1, 1, 0, 0, 0, -11'676'096'000},
                      CivilCase{"Year1", 1, 1, 1, 0, 0, 0, -62'135'596'800},
                      CivilCase{"LeapDayYear0", 0, 2, 29, 0, 0, 0, -62'162'121'600},
                      CivilCase{"March0", 0, 3, 1, 0, 0, 0, -62'162'035'200},
                      CivilCase{"LastDayOfMinus1", -1, 12, 31, 0, 0, 0, -62'167'305'600},
                      CivilCase{"End9999", 9999, 12, 31, 23, 59, 59, 253'402'300'799}),
    [](const auto& info) { return std::string(info.param.name); });

struct ShiftCase {
    const char* name;
    DateTime start;
    char op;  // '+' or '-'
    TimeDelta delta;
    std::optional<DateTime> expected;  // nullopt: the operation must panic
};

void PrintTo(const ShiftCase& c, std::ostream* os) { *os << c.name; }

class ChronoDateTimeShift : public ::testing::TestWithParam<ShiftCase> {};

TEST_P(ChronoDateTimeShift, StaysInRangeOrPanicsWithFixedMessage) {
    const auto& c = GetParam();
    std::optional<DateTime> result;
    const std::string message =
        panic_message([&] { result = c.op == '+' ? c.start + c.delta : c.start - c.delta; });
    if (c.expected) {
        EXPECT_EQ(message, kNoPanic);
        ASSERT_TRUE(result.has_value());
        EXPECT_EQ(*result, *c.expected);
    } else {
        EXPECT_EQ(message, c.op == '+' ? "`DateTime + TimeDelta` overflowed"
                                       : "`DateTime - TimeDelta` overflowed");
    }
}

std::vector<ShiftCase> shift_cases() {
    const DateTime lowest = unix_at(DateTime::kMinUnixSeconds);
    const DateTime highest = unix_at(DateTime::kMaxUnixSeconds, 999'999'999);
    const DateTime epoch = unix_at(0);
    const TimeDelta span = highest - lowest;
    return {
        {"HighestPlusOneNano", highest, '+', kOneNano, std::nullopt},
        {"HighestMinusMinusOneNano", highest, '-', kMinusOneNano, std::nullopt},
        {"HighestPlusZero", highest, '+', TimeDelta::zero(), highest},
        {"HighestMinusOneNano", highest, '-', kOneNano,
         unix_at(DateTime::kMaxUnixSeconds, 999'999'998)},
        {"LowestMinusOneNano", lowest, '-', kOneNano, std::nullopt},
        {"LowestPlusMinusOneNano", lowest, '+', kMinusOneNano, std::nullopt},
        {"LowestPlusOneNano", lowest, '+', kOneNano, unix_at(DateTime::kMinUnixSeconds, 1)},
        {"LowestPlusSpanIsHighest", lowest, '+', span, highest},
        {"HighestMinusSpanIsLowest", highest, '-', span, lowest},
        {"EpochPlusMaxDelta", epoch, '+', kMaxDelta, std::nullopt},
        {"EpochMinusMaxDelta", epoch, '-', kMaxDelta, std::nullopt},
        {"EpochPlusMinDelta", epoch, '+', kMinDelta, std::nullopt},
        {"EpochMinusMinDelta", epoch, '-', kMinDelta, std::nullopt},
        {"NanosCarry", unix_at(0, 999'999'999), '+', kOneNano, unix_at(1, 0)},
        {"NanosBorrow", epoch, '-', kOneNano, unix_at(-1, 999'999'999)},
        {"AddNegativeDelta", unix_at(10, 100), '+', TimeDelta{-3, 500'000'000},
         unix_at(7, 500'000'100)},
        {"SubtractNegativeDelta", unix_at(-10, 0), '-', TimeDelta{-2, 250'000'000},
         unix_at(-9, 750'000'000)},
        {"OneDayForward", unix_at(951'782'400), '+', TimeDelta{86'400, 0}, unix_at(951'868'800)},
    };
}

INSTANTIATE_TEST_SUITE_P(Cases, ChronoDateTimeShift, ::testing::ValuesIn(shift_cases()),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(ChronoDateTime, DifferenceIsExactAndSigned) {
    struct Case {
        DateTime a, b;
        TimeDelta expected;
    };
    const DateTime lowest = unix_at(DateTime::kMinUnixSeconds);
    const DateTime highest = unix_at(DateTime::kMaxUnixSeconds, 999'999'999);
    const std::vector<Case> cases{
        {unix_at(10), unix_at(3, 500'000'000), TimeDelta{6, 500'000'000}},
        {unix_at(3, 500'000'000), unix_at(10), TimeDelta{-7, 500'000'000}},
        {unix_at(0), unix_at(0, 1), kMinusOneNano},
        {unix_at(-1, 999'999'999), unix_at(-1, 999'999'999), TimeDelta::zero()},
        {highest, lowest,
         TimeDelta{DateTime::kMaxUnixSeconds - DateTime::kMinUnixSeconds, 999'999'999}},
        {lowest, highest, TimeDelta{DateTime::kMinUnixSeconds - DateTime::kMaxUnixSeconds - 1, 1}},
    };
    for (std::size_t k = 0; k < cases.size(); ++k) {
        const auto& c = cases[k];
        EXPECT_EQ(c.a - c.b, c.expected) << "case " << k;
        // The difference takes b back to a exactly.
        EXPECT_EQ(c.b + (c.a - c.b), c.a) << "case " << k;
    }
}

TEST(ChronoDateTime, OrdersChronologicallyIncludingFraction) {
    const std::vector<DateTime> ascending{unix_at(DateTime::kMinUnixSeconds),
                                          unix_at(-86'401, 999'999'999),
                                          unix_at(-1),
                                          unix_at(-1, 999'999'999),
                                          unix_at(0),
                                          unix_at(0, 1),
                                          unix_at(1),
                                          unix_at(DateTime::kMaxUnixSeconds, 999'999'999)};
    for (std::size_t i = 0; i + 1 < ascending.size(); ++i)
        EXPECT_LT(ascending[i], ascending[i + 1]) << "at " << i;
}

TEST(ChronoDateTime, UnixSecondsRoundDownAcrossTheEpoch) {
    // Half a second before the epoch lies in second -1, not 0.
    const DateTime t = unix_at(-1, 500'000'000);
    EXPECT_EQ(t.unix_seconds(), -1);
    EXPECT_EQ(t.subsec_nanos(), 500'000'000u);
}

TEST(ChronoDateTime, TimeOfDayHandlesNegativeUnixSeconds) {
    struct Case {
        std::int64_t secs;
        std::uint32_t nanos;
        NaiveTime expected;
    };
    const std::vector<Case> cases{
        {0, 0, {0, 0}},
        {-1, 0, {86'399, 0}},
        {-1, 500'000'000, {86'399, 500'000'000}},
        {-86'400, 0, {0, 0}},
        {-86'401, 7, {86'399, 7}},
        {-3'600, 0, {82'800, 0}},
        {86'399, 999'999'999, {86'399, 999'999'999}},
        {86'400, 0, {0, 0}},
        {951'868'800 + 3'661, 0, {3'661, 0}},
        {DateTime::kMaxUnixSeconds, 0, {86'399, 0}},
        {kFirstInstantUnix, 0, {0, 0}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(unix_at(c.secs, c.nanos).time_of_day(), c.expected)
            << "unix " << c.secs << "." << c.nanos;
}

// ---------------------------------------------------------------- NaiveTime

TEST(ChronoNaiveTime, DifferenceIsSigned) {
    struct Case {
        NaiveTime a, b;
        TimeDelta expected;
    };
    const std::vector<Case> cases{
        {{20, 0}, {10, 0}, TimeDelta{10, 0}},
        {{10, 0}, {20, 0}, TimeDelta{-10, 0}},
        {{0, 0}, {0, 1}, kMinusOneNano},
        {{5, 200'000'000}, {3, 700'000'000}, TimeDelta{1, 500'000'000}},
        {{3, 700'000'000}, {5, 200'000'000}, TimeDelta{-2, 500'000'000}},
        {{86'399, 999'999'999}, {0, 0}, TimeDelta{86'399, 999'999'999}},
        {{0, 0}, {86'399, 999'999'999}, TimeDelta{-86'400, 1}},
        {{43'200, 0}, {43'200, 0}, TimeDelta::zero()},
    };
    for (std::size_t k = 0; k < cases.size(); ++k)
        EXPECT_EQ(cases[k].a - cases[k].b, cases[k].expected) << "case " << k;
}

TEST(ChronoNaiveTime, OrdersBySecondsThenFraction) {
    EXPECT_LT((NaiveTime{0, 999'999'999}), (NaiveTime{1, 0}));
    EXPECT_LT((NaiveTime{1, 0}), (NaiveTime{1, 1}));
    EXPECT_EQ((NaiveTime{5, 5}), (NaiveTime{5, 5}));
}

TEST(ChronoNaiveTime, FromSecondsWrapsAroundTheDayBothWays) {
    struct Case {
        std::int64_t count;
        std::uint32_t secs;
    };
    const std::vector<Case> cases{
        {0, 0},
        {86'399, 86'399},
        {86'400, 0},
        {90'000, 3'600},
        {-1, 86'399},
        {-86'400, 0},
        {-86'401, 86'399},
        {-90'000, 82'800},
        {9'223'372'036'854'775, 25'975},
        {-9'223'372'036'854'775, 60'425},
    };
    for (const auto& c : cases)
        EXPECT_EQ(NaiveTime::from_seconds_wrapping(c.count), (NaiveTime{c.secs, 0}))
            << "count " << c.count;
}

}  // namespace
