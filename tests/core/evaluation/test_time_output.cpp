// The simulation of a single work or travel action through windows and
// operating hours, and the accumulation of action reports.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <optional>
#include <ostream>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "evaluation/time_output.hpp"
#include "model/operation_times.hpp"
#include "model/time_windows.hpp"
#include "test_support.hpp"

namespace {

using namespace tourwright;
using namespace tourwright::test_support;

// The location of a record matters for work only.
std::string describe(const ScheduleRecord& record) {
    std::string text;
    switch (record.kind) {
        case RecordKind::Work: text = "Work(" + std::to_string(record.location) + ")"; break;
        case RecordKind::Travel: text = "Travel"; break;
        case RecordKind::Wait: text = "Wait"; break;
        case RecordKind::Break:
            text = record.location == kOnLeg ? "Break(leg)"
                                             : "Break(" + std::to_string(record.location) + ")";
            break;
    }
    return text + " " + format_instant(record.window.start) + " -> " +
           format_instant(record.window.end);
}

std::vector<std::string> describe(const std::vector<ScheduleRecord>& records) {
    std::vector<std::string> lines;
    for (const ScheduleRecord& record : records) lines.push_back(describe(record));
    return lines;
}

DateTime at(unsigned hour, unsigned minute = 0, unsigned second = 0, std::uint32_t nanos = 0,
            unsigned day = 10) {
    return DateTime::from_civil(2024, 3, day, hour, minute, second, nanos).value();
}
DateTime next_day(unsigned hour, unsigned minute = 0) { return at(hour, minute, 0, 0, 11); }

using WindowList = std::vector<std::pair<DateTime, DateTime>>;
using Hours = std::pair<NaiveTime, NaiveTime>;

constexpr std::size_t kLocation = 7;
const TimeDelta kZero = TimeDelta::zero();

struct ActionCase {
    const char* name;
    ActionKind kind;
    TimeDelta duration;
    std::optional<WindowList> windows;  // none: no windows are passed at all
    std::optional<Hours> hours;
    DateTime start;
    std::vector<ScheduleRecord> schedule;
    TimeDelta working;
    TimeDelta traveling;
    TimeDelta waiting;
    TimeDelta lateness;
    DateTime end;
};

// Parameters print as their case name.
[[maybe_unused]] void PrintTo(const ActionCase& c, std::ostream* os) { *os << c.name; }

TimeReport run(const ActionCase& c, bool with_schedule) {
    std::optional<TimeWindows> windows;
    if (c.windows) {
        windows.emplace();
        for (const auto& [start, end] : *c.windows) windows->windows.emplace_back(start, end);
    }
    std::optional<OperationTimes> hours;
    if (c.hours) hours.emplace(c.hours->first, c.hours->second);
    const std::optional<std::size_t> location =
        c.kind == ActionKind::Work ? std::optional<std::size_t>(kLocation) : std::nullopt;
    return action_report(c.duration, windows ? &*windows : nullptr, hours ? &*hours : nullptr,
                         c.start, c.kind, location, with_schedule);
}

class ActionReport : public ::testing::TestWithParam<ActionCase> {};

TEST_P(ActionReport, SimulatesAction) {
    const ActionCase& c = GetParam();
    for (const bool with_schedule : {true, false}) {
        SCOPED_TRACE(with_schedule ? "with schedule" : "without schedule");
        const TimeReport report = run(c, with_schedule);
        EXPECT_EQ(report.start_time, c.start);
        EXPECT_EQ(report.end_time, c.end);
        EXPECT_EQ(report.working_time, c.working);
        EXPECT_EQ(report.traveling_time, c.traveling);
        EXPECT_EQ(report.waiting_time, c.waiting);
        EXPECT_EQ(report.lateness, c.lateness);
        EXPECT_EQ(report.duration, c.end - c.start);
        EXPECT_EQ(report.duration, c.working + c.traveling + c.waiting);
        if (with_schedule) {
            EXPECT_EQ(describe(report.schedule), describe(c.schedule));
        } else {
            EXPECT_TRUE(report.schedule.empty());
        }
    }
}

const Hours kDay{tod(8), tod(17)};
constexpr auto kWork = ActionKind::Work;
constexpr auto kTravel = ActionKind::Travel;

INSTANTIATE_TEST_SUITE_P(
    Windows, ActionReport,
    ::testing::Values(
        ActionCase{"WaitThenWork",
                   kWork,
                   hours(2),
                   WindowList{{at(10), at(12)}},
                   std::nullopt,
                   at(9),
                   {wait(at(9), at(10)), work(kLocation, at(10), at(12))},
                   hours(2),
                   kZero,
                   hours(1),
                   kZero,
                   at(12)},
        // Would end at 13:00 inside the second window: jump there, all of it waiting.
        ActionCase{"DoesNotFitJumpsToNextWindow",
                   kWork,
                   hours(2),
                   WindowList{{at(10), at(12)}, {at(13), at(16)}},
                   std::nullopt,
                   at(11),
                   {wait(at(11), at(13)), work(kLocation, at(13), at(15))},
                   hours(2),
                   kZero,
                   hours(2),
                   kZero,
                   at(15)},
        // Would end at 13:00 in the gap: wait for the next opening at 14:00.
        ActionCase{"WouldEndInGap",
                   kWork,
                   hours(2),
                   WindowList{{at(10), at(12)}, {at(14), at(16)}},
                   std::nullopt,
                   at(11),
                   {wait(at(11), at(14)), work(kLocation, at(14), at(16))},
                   hours(2),
                   kZero,
                   hours(3),
                   kZero,
                   at(16)},
        // Would end at 12:30, already inside the later window: resume from there.
        ActionCase{"WouldEndInsideLaterWindow",
                   kWork,
                   hours(2),
                   WindowList{{at(10), at(11)}, {at(12), at(15)}},
                   std::nullopt,
                   at(10, 30),
                   {wait(at(10, 30), at(12, 30)), work(kLocation, at(12, 30), at(14, 30))},
                   hours(2),
                   kZero,
                   hours(2),
                   kZero,
                   at(14, 30)},
        ActionCase{"AfterLastWindowIsLate",
                   kWork,
                   hours(2),
                   WindowList{{at(10), at(12)}},
                   std::nullopt,
                   at(17),
                   {work(kLocation, at(17), at(19))},
                   hours(2),
                   kZero,
                   kZero,
                   hours(7),
                   at(19)},
        // The only window is too short: the wait for it counts once and the overrun is late.
        ActionCase{"OnlyWindowTooShort",
                   kWork,
                   hours(2),
                   WindowList{{at(10), at(11)}},
                   std::nullopt,
                   at(9),
                   {wait(at(9), at(10)), work(kLocation, at(10), at(12))},
                   hours(2),
                   kZero,
                   hours(1),
                   hours(1),
                   at(12)},
        ActionCase{"OnlyWindowTooShortFromInside",
                   kWork,
                   hours(2),
                   WindowList{{at(10), at(11)}},
                   std::nullopt,
                   at(10, 30),
                   {work(kLocation, at(10, 30), at(12, 30))},
                   hours(2),
                   kZero,
                   kZero,
                   hours(1) + minutes(30),
                   at(12, 30)},
        // Lateness is measured against the last window, not the one the work started in.
        ActionCase{"LatenessAgainstLastWindow",
                   kWork,
                   hours(3),
                   WindowList{{at(10), at(11)}, {at(12), at(13)}},
                   std::nullopt,
                   at(10, 30),
                   {work(kLocation, at(10, 30), at(13, 30))},
                   hours(3),
                   kZero,
                   kZero,
                   minutes(30),
                   at(13, 30)},
        // "Last" is list order, even when the list is not sorted.
        ActionCase{"LatenessAgainstLastInListOrder",
                   kWork,
                   hours(2),
                   WindowList{{at(14), at(16)}, {at(10), at(11)}},
                   std::nullopt,
                   at(12),
                   {work(kLocation, at(12), at(14))},
                   hours(2),
                   kZero,
                   kZero,
                   hours(3),
                   at(14)},
        ActionCase{"EndsExactlyAtLastWindowEnd",
                   kWork,
                   hours(2),
                   WindowList{{at(10), at(12)}},
                   std::nullopt,
                   at(10),
                   {work(kLocation, at(10), at(12))},
                   hours(2),
                   kZero,
                   kZero,
                   kZero,
                   at(12)},
        ActionCase{"EndsOneNanosecondLate",
                   kWork,
                   hours(2),
                   WindowList{{at(10), at(12)}},
                   std::nullopt,
                   at(10, 0, 0, 1),
                   {work(kLocation, at(10, 0, 0, 1), at(12, 0, 0, 1))},
                   hours(2),
                   kZero,
                   kZero,
                   nanos(1),
                   at(12, 0, 0, 1)},
        ActionCase{"EmptyWindowListNeverWaitsNorLate",
                   kWork,
                   hours(2),
                   WindowList{},
                   std::nullopt,
                   at(23),
                   {work(kLocation, at(23), next_day(1))},
                   hours(2),
                   kZero,
                   kZero,
                   kZero,
                   next_day(1)},
        ActionCase{"NoWindowsGiven",
                   kWork,
                   hours(1),
                   std::nullopt,
                   std::nullopt,
                   at(3),
                   {work(kLocation, at(3), at(4))},
                   hours(1),
                   kZero,
                   kZero,
                   kZero,
                   at(4)}),
    [](const ::testing::TestParamInfo<ActionCase>& info) { return info.param.name; });

INSTANTIATE_TEST_SUITE_P(
    OperatingHours, ActionReport,
    ::testing::Values(ActionCase{"TravelPausedOvernight",
                                 kTravel,
                                 hours(3),
                                 std::nullopt,
                                 kDay,
                                 at(16),
                                 {travel(at(16), at(17)), wait(at(17), next_day(8)),
                                  travel(next_day(8), next_day(10))},
                                 kZero,
                                 hours(3),
                                 hours(15),
                                 kZero,
                                 next_day(10)},
                      ActionCase{"TravelWaitsForOpening",
                                 kTravel,
                                 hours(1),
                                 std::nullopt,
                                 kDay,
                                 at(6),
                                 {wait(at(6), at(8)), travel(at(8), at(9))},
                                 kZero,
                                 hours(1),
                                 hours(2),
                                 kZero,
                                 at(9)},
                      // Closing time is already closed.
                      ActionCase{
                          "WorkStartingAtClosing",
                          kWork,
                          hours(1),
                          WindowList{},
                          kDay,
                          at(17),
                          {wait(at(17), next_day(8)), work(kLocation, next_day(8), next_day(9))},
                          hours(1),
                          kZero,
                          hours(15),
                          kZero,
                          next_day(9)},
                      ActionCase{"WorkEndingAtClosing",
                                 kWork,
                                 hours(1),
                                 WindowList{},
                                 kDay,
                                 at(16),
                                 {work(kLocation, at(16), at(17))},
                                 hours(1),
                                 kZero,
                                 kZero,
                                 kZero,
                                 at(17)},
                      ActionCase{"WorkOverThreeDays",
                                 kWork,
                                 hours(20),
                                 WindowList{},
                                 kDay,
                                 at(8),
                                 {work(kLocation, at(8), at(17)), wait(at(17), next_day(8)),
                                  work(kLocation, next_day(8), next_day(17)),
                                  wait(next_day(17), at(8, 0, 0, 0, 12)),
                                  work(kLocation, at(8, 0, 0, 0, 12), at(10, 0, 0, 0, 12))},
                                 hours(20),
                                 kZero,
                                 hours(30),
                                 kZero,
                                 at(10, 0, 0, 0, 12)},
                      // The wait for the window and the wait for the opening form one record.
                      ActionCase{"WindowAndOpeningWaitsMerge",
                                 kWork,
                                 hours(1),
                                 WindowList{{at(6), at(20)}},
                                 kDay,
                                 at(5),
                                 {wait(at(5), at(8)), work(kLocation, at(8), at(9))},
                                 hours(1),
                                 kZero,
                                 hours(3),
                                 kZero,
                                 at(9)},
                      // Only the piece that completes the job is measured for lateness.
                      ActionCase{"SplitWorkLateOnlyAtLastPiece",
                                 kWork,
                                 hours(10),
                                 WindowList{{at(8), at(18)}},
                                 kDay,
                                 at(8),
                                 {work(kLocation, at(8), at(17)), wait(at(17), next_day(8)),
                                  work(kLocation, next_day(8), next_day(9))},
                                 hours(10),
                                 kZero,
                                 hours(15),
                                 hours(15),
                                 next_day(9)}),
    [](const ::testing::TestParamInfo<ActionCase>& info) { return info.param.name; });

// Zero-length jobs still visit: they wait for the window and the opening, leave a
// zero-length Work record and are measured for lateness. Zero-length travel is nothing.
INSTANTIATE_TEST_SUITE_P(
    ZeroLength, ActionReport,
    ::testing::Values(
        ActionCase{"JobWaitsForWindow",
                   kWork,
                   kZero,
                   WindowList{{at(10), at(11)}},
                   std::nullopt,
                   at(9),
                   {wait(at(9), at(10)), work(kLocation, at(10), at(10))},
                   kZero,
                   kZero,
                   hours(1),
                   kZero,
                   at(10)},
        ActionCase{"JobAfterLastWindowIsLate",
                   kWork,
                   kZero,
                   WindowList{{at(10), at(11)}},
                   std::nullopt,
                   at(13),
                   {work(kLocation, at(13), at(13))},
                   kZero,
                   kZero,
                   kZero,
                   hours(2),
                   at(13)},
        ActionCase{"NegativeJobCountsAsZero",
                   kWork,
                   kZero - minutes(30),
                   WindowList{{at(10), at(11)}},
                   std::nullopt,
                   at(9),
                   {wait(at(9), at(10)), work(kLocation, at(10), at(10))},
                   kZero,
                   kZero,
                   hours(1),
                   kZero,
                   at(10)},
        ActionCase{"JobInsideWindow",
                   kWork,
                   kZero,
                   WindowList{{at(10), at(11)}},
                   std::nullopt,
                   at(10, 30),
                   {work(kLocation, at(10, 30), at(10, 30))},
                   kZero,
                   kZero,
                   kZero,
                   kZero,
                   at(10, 30)},
        ActionCase{"JobAtLastWindowEnd",
                   kWork,
                   kZero,
                   WindowList{{at(10), at(11)}},
                   std::nullopt,
                   at(11),
                   {work(kLocation, at(11), at(11))},
                   kZero,
                   kZero,
                   kZero,
                   kZero,
                   at(11)},
        ActionCase{"JobInGapWaitsForNextWindow",
                   kWork,
                   kZero,
                   WindowList{{at(10), at(11)}, {at(12), at(13)}},
                   std::nullopt,
                   at(11, 30),
                   {wait(at(11, 30), at(12)), work(kLocation, at(12), at(12))},
                   kZero,
                   kZero,
                   minutes(30),
                   kZero,
                   at(12)},
        ActionCase{"JobWithRepeatedStartsSettles",
                   kWork,
                   kZero,
                   WindowList{{at(10), at(10)}, {at(10), at(11)}},
                   std::nullopt,
                   at(9),
                   {wait(at(9), at(10)), work(kLocation, at(10), at(10))},
                   kZero,
                   kZero,
                   hours(1),
                   kZero,
                   at(10)},
        ActionCase{"JobWithoutWindowsWaitsForOpening",
                   kWork,
                   kZero,
                   WindowList{},
                   kDay,
                   at(6),
                   {wait(at(6), at(8)), work(kLocation, at(8), at(8))},
                   kZero,
                   kZero,
                   hours(2),
                   kZero,
                   at(8)},
        ActionCase{"JobWithoutWindowsOrHours",
                   kWork,
                   kZero,
                   WindowList{},
                   std::nullopt,
                   at(6),
                   {work(kLocation, at(6), at(6))},
                   kZero,
                   kZero,
                   kZero,
                   kZero,
                   at(6)},
        // The window opens after closing time: wait for it, then for the next morning.
        ActionCase{"JobWaitsForWindowThenOpening",
                   kWork,
                   kZero,
                   WindowList{{at(18), at(19)}},
                   kDay,
                   at(16, 30),
                   {wait(at(16, 30), next_day(8)), work(kLocation, next_day(8), next_day(8))},
                   kZero,
                   kZero,
                   hours(15) + minutes(30),
                   hours(13),
                   next_day(8)},
        ActionCase{"TravelDoesNothingAfterClosing",
                   kTravel,
                   kZero,
                   std::nullopt,
                   kDay,
                   at(17, 30),
                   {},
                   kZero,
                   kZero,
                   kZero,
                   kZero,
                   at(17, 30)},
        ActionCase{"NegativeTravelDoesNothing",
                   kTravel,
                   kZero - hours(1),
                   std::nullopt,
                   kDay,
                   at(6),
                   {},
                   kZero,
                   kZero,
                   kZero,
                   kZero,
                   at(6)}),
    [](const ::testing::TestParamInfo<ActionCase>& info) { return info.param.name; });

// ---------------------------------------------------------------- TimeReport::extend

TimeReport first_part(bool with_records) {
    TimeReport report{hours(1),    minutes(10), minutes(30), minutes(20),
                      minutes(10), at(8),       at(9),       {}};
    if (with_records)
        report.schedule = {work(3, at(8), at(8, 30)), wait(at(8, 30), at(8, 50)),
                           travel(at(8, 50), at(9))};
    return report;
}

TimeReport second_part(bool with_records) {
    TimeReport report{hours(2), minutes(5), hours(1), minutes(40), minutes(20), at(9), at(11), {}};
    if (with_records)
        report.schedule = {wait(at(9), at(9, 40)), work(4, at(9, 40), at(10, 40)),
                           travel(at(10, 40), at(11))};
    return report;
}

TEST(TimeReportExtend, SumsTotalsAndAppendsRecords) {
    for (const bool first_records : {false, true}) {
        for (const bool second_records : {false, true}) {
            SCOPED_TRACE(::testing::Message() << "first has records " << first_records
                                              << ", second has records " << second_records);
            TimeReport report = first_part(first_records);
            TimeReport other = second_part(second_records);
            std::vector<std::string> expected = describe(report.schedule);
            for (const std::string& line : describe(other.schedule)) expected.push_back(line);

            report.extend(std::move(other));
            EXPECT_EQ(report.duration, hours(3));
            EXPECT_EQ(report.lateness, minutes(15));
            EXPECT_EQ(report.working_time, hours(1) + minutes(30));
            EXPECT_EQ(report.waiting_time, hours(1));
            EXPECT_EQ(report.traveling_time, minutes(30));
            EXPECT_EQ(report.start_time, at(8));
            EXPECT_EQ(report.end_time, at(11));
            EXPECT_EQ(describe(report.schedule), expected);
        }
    }
}

TEST(TimeReportExtend, ChainedActionsKeepTheIdentity) {
    // Work then travel, as a tour evaluation strings them together.
    TimeWindows windows;
    windows.windows.emplace_back(at(10), at(11));
    const OperationTimes day(tod(8), tod(17));
    TimeReport report = TimeReport::starting_at(at(9));
    report.extend(
        action_report(hours(1), &windows, &day, report.end_time, ActionKind::Work, 2, true));
    report.extend(action_report(hours(7), nullptr, &day, report.end_time, ActionKind::Travel,
                                std::nullopt, true));
    EXPECT_EQ(report.start_time, at(9));
    EXPECT_EQ(report.end_time, next_day(9));
    EXPECT_EQ(report.working_time, hours(1));
    EXPECT_EQ(report.traveling_time, hours(7));
    EXPECT_EQ(report.waiting_time, hours(1) + hours(15));
    EXPECT_EQ(report.duration, report.end_time - report.start_time);
    EXPECT_EQ(describe(report.schedule),
              describe(std::vector<ScheduleRecord>{
                  wait(at(9), at(10)), work(2, at(10), at(11)), travel(at(11), at(17)),
                  wait(at(17), next_day(8)), travel(next_day(8), next_day(9))}));
}

TEST(TimeReportExtend, TotalOverflowPanics) {
    TimeReport report = first_part(false);
    TimeReport other = second_part(false);
    report.working_time = TimeDelta{TimeDelta::kMaxSeconds, 0};
    other.working_time = TimeDelta{TimeDelta::kMaxSeconds, 0};
    EXPECT_EQ(panic_message([&] { report.extend(std::move(other)); }),
              "`TimeDelta + TimeDelta` overflowed");
}

// ---------------------------------------------------------------- overflow

DateTime last_instant_minus(TimeDelta d) {
    return DateTime::from_unix(DateTime::kMaxUnixSeconds, 999'999'999).value() - d;
}

struct OverflowCase {
    const char* name;
    std::function<TimeReport()> action;
    const char* message;
};

// Parameters print as their case name.
[[maybe_unused]] void PrintTo(const OverflowCase& c, std::ostream* os) { *os << c.name; }

class ActionReportOverflow : public ::testing::TestWithParam<OverflowCase> {};

TEST_P(ActionReportOverflow, Panics) {
    EXPECT_EQ(panic_message([&] { GetParam().action(); }), GetParam().message);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ActionReportOverflow,
    ::testing::Values(OverflowCase{"WorkPastLastInstant",
                                   [] {
                                       return action_report(hours(48), nullptr, nullptr,
                                                            last_instant_minus(hours(24)),
                                                            ActionKind::Work, 0, false);
                                   },
                                   "`DateTime + TimeDelta` overflowed"},
                      OverflowCase{"TravelOneNanosecondTooFar",
                                   [] {
                                       return action_report(nanos(1), nullptr, nullptr,
                                                            last_instant_minus(kZero),
                                                            ActionKind::Travel, std::nullopt, true);
                                   },
                                   "`DateTime + TimeDelta` overflowed"},
                      // The would-be end of the job is computed before anything is done.
                      OverflowCase{"WouldBeEndPastLastInstant",
                                   [] {
                                       static TimeWindows windows;
                                       windows.windows = {TimeWindow(last_instant_minus(hours(1)),
                                                                     last_instant_minus(kZero))};
                                       return action_report(hours(3), &windows, nullptr,
                                                            last_instant_minus(hours(2)),
                                                            ActionKind::Work, 0, false);
                                   },
                                   "`DateTime + TimeDelta` overflowed"},
                      // 18:00 on the last representable day: the next opening lies beyond it.
                      OverflowCase{"OpeningWaitPastLastDay",
                                   [] {
                                       static const OperationTimes day(tod(8), tod(17));
                                       return action_report(
                                           hours(1), nullptr, &day,
                                           DateTime::from_civil(262142, 12, 31, 18).value(),
                                           ActionKind::Travel, std::nullopt, true);
                                   },
                                   "`DateTime + TimeDelta` overflowed"}),
    [](const ::testing::TestParamInfo<OverflowCase>& info) { return info.param.name; });

TEST(ActionReportOverflowBoundary, EndingOnLastInstantIsFine) {
    const DateTime last = last_instant_minus(kZero);
    for (const bool with_schedule : {true, false}) {
        const TimeReport report =
            action_report(hours(1), nullptr, nullptr, last_instant_minus(hours(1)),
                          ActionKind::Work, 0, with_schedule);
        EXPECT_EQ(report.end_time, last);
        EXPECT_EQ(report.working_time, hours(1));
    }
}

// ---------------------------------------------------------------- many days at once

// Building a schedule steps through every day; without one, whole days are taken at
// once. The two must agree on every total, on the end and on any panic.
struct Outcome {
    std::string panic = kNoPanic;
    TimeReport report = TimeReport::starting_at({});
};

Outcome run_action(const TimeReport& before, TimeDelta duration, const TimeWindows* windows,
                   const OperationTimes& hours, ActionKind kind, bool with_schedule) {
    Outcome outcome;
    outcome.report = before;
    outcome.panic = panic_message([&] {
        continue_with_action(outcome.report, duration, windows, &hours, kind, kLocation,
                             with_schedule);
    });
    return outcome;
}

TEST(ActionReportWholeDays, AgreesWithDayByDayStepping) {
    std::mt19937_64 rng(20261208);
    auto draw = [&](std::int64_t lo, std::int64_t hi) {
        return std::uniform_int_distribution<std::int64_t>(lo, hi)(rng);
    };
    // Near the last representable day now and then, so that the clock overflows mid-action.
    const DateTime late = DateTime::from_civil(262141, 6, 1).value();
    int skipped_days_seen = 0;
    for (int round = 0; round < 3000; ++round) {
        const std::int64_t open_start = draw(0, 86399);
        const std::int64_t open_end =
            draw(0, 9) < 3 ? open_start + draw(1, 3) : draw(open_start + 1, 86400);
        const OperationTimes hours(
            NaiveTime{static_cast<std::uint32_t>(open_start),
                      static_cast<std::uint32_t>(draw(0, 2) == 0 ? draw(0, 999'999'999) : 0)},
            open_end == 86400 ? NaiveTime{86399, 999'999'999}
                              : NaiveTime{static_cast<std::uint32_t>(open_end), 0});
        if (!(hours.daily_start < hours.daily_end)) continue;
        const DateTime origin = draw(0, 9) == 0 ? late : at(0);
        const DateTime start = origin + seconds(draw(0, 3 * 86400)) + nanos(draw(0, 2) * 500);
        // Windows around the action's days: sorted, or in any order, or none at all.
        TimeWindows windows;
        for (std::int64_t w = draw(0, 4); w > 0; --w) {
            const DateTime from = origin + seconds(draw(0, 300 * 86400));
            windows.windows.emplace_back(from, from + seconds(draw(0, 200 * 86400)));
        }
        if (draw(0, 1) == 0)
            std::sort(windows.windows.begin(), windows.windows.end(),
                      [](const TimeWindow& a, const TimeWindow& b) { return a.start < b.start; });
        const TimeDelta duration = seconds(draw(0, 400 * (open_end - open_start)));
        const ActionKind kind = draw(0, 1) == 0 ? ActionKind::Work : ActionKind::Travel;
        const TimeWindows* used = kind == ActionKind::Work && draw(0, 3) > 0 ? &windows : nullptr;
        TimeReport before = TimeReport::starting_at(start);
        if (draw(0, 20) == 0) before.waiting_time = kMaxTimeDelta - seconds(draw(0, 40 * 86400));

        const Outcome stepped = run_action(before, duration, used, hours, kind, true);
        const Outcome taken = run_action(before, duration, used, hours, kind, false);
        SCOPED_TRACE("round " + std::to_string(round));
        ASSERT_EQ(taken.panic, stepped.panic);
        if (stepped.panic != kNoPanic) continue;
        EXPECT_EQ(taken.report.end_time, stepped.report.end_time);
        EXPECT_EQ(taken.report.duration, stepped.report.duration);
        EXPECT_EQ(taken.report.lateness, stepped.report.lateness);
        EXPECT_EQ(taken.report.working_time, stepped.report.working_time);
        EXPECT_EQ(taken.report.waiting_time, stepped.report.waiting_time);
        EXPECT_EQ(taken.report.traveling_time, stepped.report.traveling_time);
        if (stepped.report.schedule.size() > 6) ++skipped_days_seen;
    }
    // Enough of the cases span several days for the comparison to mean something.
    EXPECT_GT(skipped_days_seen, 1000);
}

}  // namespace
