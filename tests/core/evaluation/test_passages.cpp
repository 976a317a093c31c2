// The reference simulation of whole tours over the working week: a calendar of open
// intervals, windows that bind only the start, and each case of the break rule, on
// small tours whose schedules are worked out by hand.
#include <gtest/gtest.h>

#include <array>
#include <optional>
#include <vector>

#include "evaluation/penalizer.hpp"
#include "test_support.hpp"

namespace {

using namespace tourwright;
using namespace tourwright::test_support;

DateTime h(double hours) { return instant(static_cast<std::int64_t>(hours * 3600)); }

// Two locations (or one) with whole-day windows from h(0), the legs both ways `leg`
// long, and the jobs given.
TimeScheduler two_stops(TimeDelta job0, TimeDelta leg, TimeDelta job1) {
    TimeScheduler scheduler;
    scheduler.duration_matrix = {{TimeDelta::zero(), leg}, {leg, TimeDelta::zero()}};
    scheduler.job_durations = {job0, job1};
    scheduler.time_windows.resize(2);
    for (TimeWindows& windows : scheduler.time_windows) windows.windows = {{h(0), h(100)}};
    return scheduler;
}

OpenCalendar calendar(std::vector<std::array<double, 2>> hours) {
    std::vector<OpenInterval> intervals;
    for (const auto& [open, close] : hours) intervals.push_back({h(open), h(close)});
    return OpenCalendar(std::move(intervals));
}

BreakRule half_hour_break(double earliest, double latest) {
    return {minutes(30), h(earliest), h(latest)};
}

// The report of `route` (from its first window's opening, or `departure`), whose
// totals must match its records, which follow one another without gaps.
TimeReport evaluated(const TimeScheduler& scheduler, Route route = {0, 1},
                     std::optional<DateTime> departure = std::nullopt) {
    const std::size_t n = scheduler.job_durations.size();
    const Penalizer penalizer(DistanceMatrix{std::vector(n, std::vector<std::uint64_t>(n, 1))},
                              scheduler);
    TimeReport report = *penalizer.penalize(std::move(route), true, departure).time_report;
    std::array<TimeDelta, 4> per_kind{};
    DateTime clock = report.start_time;
    for (const ScheduleRecord& record : report.schedule) {
        EXPECT_EQ(record.window.start, clock);
        clock = record.window.end;
        per_kind[static_cast<int>(record.kind)] += record.window.end - record.window.start;
    }
    EXPECT_EQ(clock, report.end_time);
    EXPECT_EQ(per_kind, (std::array{report.working_time, report.traveling_time, report.waiting_time,
                                    report.break_time}));
    EXPECT_EQ(report.duration, report.end_time - report.start_time);
    return report;
}

TEST(CalendarTour, SplitsAJobOverIntervalsOfDaysTwentyThreeAndTwentyFiveHoursLong) {
    // 08:00-17:00 local on three days whose clocks change: the second day opens 23 hours
    // after the first, the third 25 hours after the second.
    TimeScheduler scheduler = two_stops(hours(20), hours(0), hours(0));
    scheduler.calendar = calendar({{8, 17}, {31, 40}, {56, 65}});
    const TimeReport report = evaluated(scheduler, {0}, h(8));
    EXPECT_EQ(report.schedule,
              (std::vector{work(0, h(8), h(17)), wait(h(17), h(31)), work(0, h(31), h(40)),
                           wait(h(40), h(56)), work(0, h(56), h(58))}));
    EXPECT_EQ(report.lateness, TimeDelta::zero());
}

TEST(CalendarTour, ALegWaitsForTheNextIntervalAndTimeRunsOnPastTheLast) {
    TimeScheduler scheduler = two_stops(hours(1), hours(3), hours(1));
    scheduler.calendar = calendar({{8, 10}, {14, 16.5}});
    const TimeReport report = evaluated(scheduler, {0, 1}, h(8));
    EXPECT_EQ(report.schedule,
              (std::vector{work(0, h(8), h(9)), travel(h(9), h(10)), wait(h(10), h(14)),
                           travel(h(14), h(16)), work(1, h(16), h(16.5)), work(1, h(16.5), h(17)),
                           travel(h(17), h(20))}));
}

// Location 1's window [10:00, 12:00] binds only the start of its 3-hour job.
TimeScheduler start_rule_stop(TimeDelta leg) {
    TimeScheduler scheduler = two_stops(TimeDelta::zero(), leg, hours(3));
    scheduler.time_windows[1].windows = {{h(10), h(12)}};
    scheduler.window_rules = {WindowRule::Whole, WindowRule::Start};
    return scheduler;
}

TEST(StartRule, StartsAtTheWindowsLastInstantAndRunsOn) {
    const TimeReport report = evaluated(start_rule_stop(hours(12)));
    EXPECT_EQ(report.schedule, (std::vector{work(0, h(0), h(0)), travel(h(0), h(12)),
                                            work(1, h(12), h(15)), travel(h(15), h(27))}));
    EXPECT_EQ(report.lateness, TimeDelta::zero());
}

TEST(StartRule, WaitsForTheWindowAndTheHoursThenPausesOvernightOnTime) {
    TimeScheduler scheduler = start_rule_stop(hours(1));
    scheduler.time_windows[1].windows = {{h(6), h(16)}};
    scheduler.operation_times.emplace(tod(8), tod(17));
    const TimeReport report = evaluated(scheduler, {0, 1}, h(8) - hours(1));
    EXPECT_EQ(report.schedule,
              (std::vector{wait(h(7), h(8)), work(0, h(8), h(8)), travel(h(8), h(9)),
                           work(1, h(9), h(12)), travel(h(12), h(13))}));
    // Arriving at 16:00, the job starts on its window's last instant and ends next morning.
    scheduler.duration_matrix = {{TimeDelta::zero(), hours(8)}, {hours(8), TimeDelta::zero()}};
    const TimeReport late_arrival = evaluated(scheduler, {0, 1}, h(8));
    EXPECT_EQ(late_arrival.schedule,
              (std::vector{work(0, h(8), h(8)), travel(h(8), h(16)), work(1, h(16), h(17)),
                           wait(h(17), h(32)), work(1, h(32), h(34)), travel(h(34), h(41)),
                           wait(h(41), h(56)), travel(h(56), h(57))}));
    EXPECT_EQ(late_arrival.lateness, TimeDelta::zero());
}

TEST(StartRule, AStartAfterTheLastWindowIsLateByHowFarItLiesAfterItsEnd) {
    const TimeReport report = evaluated(start_rule_stop(hours(13)));
    EXPECT_EQ(report.schedule, (std::vector{work(0, h(0), h(0)), travel(h(0), h(13)),
                                            work(1, h(13), h(16)), travel(h(16), h(29))}));
    EXPECT_EQ(report.lateness, hours(1));
}

TEST(BreakRule, AWaitHoldsTheBreakAndLeavesThePassageAsItWas) {
    TimeScheduler scheduler = two_stops(hours(1), hours(1), hours(1));
    scheduler.time_windows[1].windows = {{h(5), h(100)}};
    const TimeReport without = evaluated(scheduler);
    scheduler.breaks = {half_hour_break(2, 4)};
    const TimeReport report = evaluated(scheduler);
    EXPECT_EQ(report.schedule,
              (std::vector{work(0, h(0), h(1)), travel(h(1), h(2)), break_at(1, h(2), h(2.5)),
                           wait(h(2.5), h(5)), work(1, h(5), h(6)), travel(h(6), h(7))}));
    EXPECT_EQ(report.end_time, without.end_time);
    EXPECT_EQ(report.waiting_time + report.break_time, without.waiting_time);
}

TEST(BreakRule, ADeferredBreakPausesTheLegItFallsDueOn) {
    TimeScheduler scheduler = two_stops(hours(1), hours(4), hours(1));
    scheduler.breaks = {half_hour_break(2, 3)};
    const TimeReport report = evaluated(scheduler);
    EXPECT_EQ(report.schedule, (std::vector{work(0, h(0), h(1)), travel(h(1), h(2)),
                                            break_at(kOnLeg, h(2), h(2.5)), travel(h(2.5), h(5.5)),
                                            work(1, h(5.5), h(6.5)), travel(h(6.5), h(10.5))}));
    EXPECT_EQ(report.lateness, TimeDelta::zero());
}

TEST(BreakRule, ABreakDueBeforeTheWorkEndsIsTakenOnArrivalAfterWaitingForItsEarliest) {
    TimeScheduler scheduler = two_stops(hours(1), hours(1), hours(4));
    scheduler.breaks = {half_hour_break(3, 5)};
    const TimeReport report = evaluated(scheduler);
    EXPECT_EQ(report.schedule, (std::vector{work(0, h(0), h(1)), travel(h(1), h(2)),
                                            wait(h(2), h(3)), break_at(1, h(3), h(3.5)),
                                            work(1, h(3.5), h(7.5)), travel(h(7.5), h(8.5))}));
}

TEST(BreakRule, OneBreakAPassageSoTheNextIsLateByHowFarItStartsAfterItsLatest) {
    TimeScheduler scheduler = two_stops(hours(3), hours(1), hours(1));
    scheduler.breaks = {{hours(1), h(0), h(1)}, half_hour_break(2, 3)};
    const TimeReport report = evaluated(scheduler);
    EXPECT_EQ(report.schedule, (std::vector{break_at(0, h(0), h(1)), work(0, h(1), h(4)),
                                            break_at(kOnLeg, h(4), h(4.5)), travel(h(4.5), h(5.5)),
                                            work(1, h(5.5), h(6.5)), travel(h(6.5), h(7.5))}));
    EXPECT_EQ(report.lateness, hours(1));
    EXPECT_EQ(report.break_time, minutes(90));
}

TEST(BreakRule, BreaksOutsideTheToursTimeAreNotTaken) {
    TimeScheduler scheduler = two_stops(hours(1), hours(1), hours(1));
    const TimeReport without = evaluated(scheduler, {0, 1}, h(2));
    // Due before the departure at 02:00 (dropped), and after the tour ends at 05:00.
    scheduler.breaks = {half_hour_break(0, 1), half_hour_break(50, 60)};
    const TimeReport report = evaluated(scheduler, {0, 1}, h(2));
    EXPECT_EQ(report.schedule, without.schedule);
    EXPECT_EQ(report.break_time, TimeDelta::zero());
}

TEST(BreakRule, UnderDailyHoursABreakWithoutRoomBeforeTheClosingWaitsForTheMorning) {
    TimeScheduler scheduler = two_stops(hours(2), hours(7), hours(1));
    scheduler.operation_times.emplace(tod(8), tod(17));
    scheduler.breaks = {{minutes(45), h(16.5), h(16.75)}};
    const TimeReport report = evaluated(scheduler, {0, 1}, h(8));
    EXPECT_EQ(report.schedule,
              (std::vector{work(0, h(8), h(10)), travel(h(10), h(17)), wait(h(17), h(32)),
                           break_at(1, h(32), h(32.75)), work(1, h(32.75), h(33.75)),
                           travel(h(33.75), h(40.75))}));
    EXPECT_EQ(report.lateness, h(32) - h(16.75));
}

TEST(BreakRule, UnderACalendarALegPausesForTheBreakAtTheNextIntervalWithRoom) {
    TimeScheduler scheduler = two_stops(minutes(90), hours(1), hours(2));
    scheduler.calendar = calendar({{0, 2}, {3, 10}});
    scheduler.breaks = {{hours(1), h(1.5), h(5)}};
    const TimeReport report = evaluated(scheduler);
    EXPECT_EQ(report.schedule,
              (std::vector{work(0, h(0), h(1.5)), travel(h(1.5), h(2)), wait(h(2), h(3)),
                           break_at(kOnLeg, h(3), h(4)), travel(h(4), h(4.5)),
                           work(1, h(4.5), h(6.5)), travel(h(6.5), h(7.5))}));
    EXPECT_EQ(report.lateness, TimeDelta::zero());
}

TEST(CalendarTour, TheScheduleSizeCheckCoversCalendars) {
    TimeScheduler scheduler = two_stops(hours(30), hours(1), hours(1));
    scheduler.calendar = calendar({{0, 10}, {24, 34}, {48, 58}, {72, 82}});
    const Penalizer penalizer(DistanceMatrix{{{0, 1}, {1, 0}}}, scheduler);
    EXPECT_EQ(panic_message([&] {
                  penalizer.penalize({0, 1}, true, std::nullopt, 2);
              }),
              "the schedule of this tour spans too many days to build: more than 2 days (one "
              "record per open day of each action)");
}

}  // namespace
