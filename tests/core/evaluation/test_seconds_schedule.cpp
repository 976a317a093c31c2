// The time data compiled to plain seconds must reach exactly the instants and
// lateness of the calendar simulation, action by action, and the trial evaluator
// built on it must decide every trial as full evaluation does, on problems chosen
// to stress its shortcuts.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <numeric>
#include <optional>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "evaluation/penalizer.hpp"
#include "evaluation/seconds_schedule.hpp"
#include "evaluation/trial_evaluator.hpp"
#include "search/local_moves.hpp"
#include "search/solver.hpp"
#include "test_support.hpp"

namespace {

using namespace tourwright;
using namespace tourwright::test_support;

TEST(SecondsSchedule, EveryActionEndsAndIsLateAsInTheCalendarSimulation) {
    Rng rng(20261208);
    for (int trial = 0; trial < 6000; ++trial) {
        const bool orderly = draw(rng, 0, 4) > 0;
        TimeScheduler scheduler;
        scheduler.time_windows.push_back(random_windows(rng, draw(rng, 0, 5), orderly));
        scheduler.operation_times = random_hours(rng);
        const std::int64_t open = opening_seconds(scheduler.operation_times);
        scheduler.job_durations.push_back(seconds(random_length(rng, open)));
        scheduler.duration_matrix.push_back({seconds(random_length(rng, open))});
        const auto compiled = SecondsSchedule::compile(scheduler, 1);
        ASSERT_TRUE(compiled.has_value());
        const OperationTimes* hours =
            scheduler.operation_times ? &*scheduler.operation_times : nullptr;
        const DateTime start = instant(draw(rng, -86400, 6 * 86400));
        for (const bool work : {true, false}) {
            TimeReport expected = TimeReport::starting_at(start);
            SecondsClock clock{start.unix_seconds(), 0};
            if (work) {
                continue_with_action(expected, scheduler.job_durations[0],
                                     &scheduler.time_windows[0], hours, ActionKind::Work, 0, false);
                compiled->work(clock, 0);
            } else {
                continue_with_action(expected, scheduler.duration_matrix[0][0], nullptr, hours,
                                     ActionKind::Travel, std::nullopt, false);
                compiled->travel(clock, 0, 0);
            }
            ASSERT_EQ(clock.at, expected.end_time.unix_seconds())
                << (work ? "work" : "travel") << ", case " << trial;
            ASSERT_EQ(clock.lateness, expected.lateness.secs)
                << (work ? "work" : "travel") << ", case " << trial;
        }
    }
}

// Tours of the working week, walked passage by passage in seconds, finish each job, end,
// are late and take their breaks exactly as full evaluation's schedule shows.
TEST(SecondsSchedule, WeekToursEndAndAreLateAsInFullEvaluation) {
    Rng rng(20261211);
    int broken = 0;
    for (int problem = 0; problem < 4000; ++problem) {
        const ProblemShape shape = random_week(rng);
        const std::size_t n = static_cast<std::size_t>(draw(rng, 1, 7));
        const Penalizer penalizer = random_problem(n, rng, shape);
        const auto compiled = SecondsSchedule::compile(*penalizer.time_scheduler(), n);
        ASSERT_TRUE(compiled.has_value());
        const Route route = random_route(penalizer, rng);
        const std::int64_t start = compiled->tour_start(route[0]);
        const TimeReport report = *penalizer.penalize(route, true).time_report;
        std::vector<std::int64_t> finished(n);  // where each location's last work step ends
        for (const ScheduleRecord& record : report.schedule)
            if (record.kind == RecordKind::Work)
                finished[record.location] = record.window.end.unix_seconds();
        SecondsClock clock = compiled->starting_at(start);
        for (std::size_t k = 0; k < n; ++k) {
            compiled->pass(clock, k > 0 ? compiled->travel_seconds(route[k - 1], route[k]) : 0,
                           route[k]);
            ASSERT_EQ(clock.at, finished[route[k]]) << "case " << problem << ", position " << k;
        }
        compiled->return_leg(clock, compiled->travel_seconds(route.back(), route.front()));
        ASSERT_EQ(clock.at, report.end_time.unix_seconds()) << "case " << problem;
        ASSERT_EQ(clock.lateness, report.lateness.secs) << "case " << problem;
        ASSERT_EQ(clock.on_break, report.break_time.secs) << "case " << problem;
        broken += report.break_time.is_positive();
    }
    EXPECT_GT(broken, 400) << "too few tours took a break";
}

// Whole days are skipped, not stepped through: an action over about 27,000 years
// of one-second openings ends where counting gives.
TEST(SecondsSchedule, LongActionEndsWhereCountingTheOpeningsGives) {
    TimeScheduler scheduler;
    scheduler.time_windows.push_back(TimeWindows{{TimeWindow(instant(0), instant(0))}});
    scheduler.operation_times = OperationTimes({36000, 0}, {36001, 0});
    constexpr std::int64_t kLength = 10'000'000;
    scheduler.job_durations.push_back(seconds(kLength));
    scheduler.duration_matrix.push_back({seconds(kLength)});
    const auto compiled = SecondsSchedule::compile(scheduler, 1);
    ASSERT_TRUE(compiled.has_value());
    const std::int64_t last_second = 36000 + (kLength - 1) * 86400;  // the opening that finishes it
    SecondsClock clock{kDay0, 0};
    compiled->work(clock, 0);
    EXPECT_EQ(clock.at, kDay0 + last_second + 1);
    EXPECT_EQ(clock.lateness, last_second + 1);
    compiled->travel(clock, 0, 0);
    EXPECT_EQ(clock.at, kDay0 + last_second + 1 + kLength * 86400);
}

// Legs are kept in 32 bits only where every one fits: one too long for that keeps
// its length, and so does a short one beside it.
TEST(SecondsSchedule, LegsTooLongForThirtyTwoBitsKeepTheirLength) {
    constexpr std::int64_t kLong = std::int64_t{3} << 31;
    for (const std::int64_t longest : {std::int64_t{86400}, kLong}) {
        TimeScheduler scheduler;
        for (int k = 0; k < 2; ++k) {
            scheduler.time_windows.push_back(TimeWindows{{TimeWindow(instant(0), instant(0))}});
            scheduler.job_durations.push_back(seconds(0));
        }
        scheduler.duration_matrix = {{seconds(0), seconds(longest)}, {seconds(7), seconds(0)}};
        const auto compiled = SecondsSchedule::compile(scheduler, 2);
        ASSERT_TRUE(compiled.has_value());
        EXPECT_EQ(compiled->travel_seconds(0, 1), longest);
        EXPECT_EQ(compiled->travel_seconds(1, 0), 7);
        SecondsClock clock{kDay0, 0};
        compiled->travel(clock, 0, 1);
        EXPECT_EQ(clock.at, kDay0 + longest);
    }
}

}  // namespace
