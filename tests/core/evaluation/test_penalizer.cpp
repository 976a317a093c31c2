// Full evaluation of a route: the distance objective (closed-tour length, exact sums,
// the order in which failing lookups are reported), the time side (whole closed tours
// simulated), and the comparison of evaluated routes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <limits>
#include <map>
#include <numeric>
#include <optional>
#include <ostream>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "evaluation/penalizer.hpp"
#include "search/solver.hpp"
#include "test_support.hpp"
#include "util/panic.hpp"

namespace {

using namespace tourwright;
using namespace tourwright::test_support;

DateTime at(unsigned hour, unsigned minute = 0, unsigned day = 10) {
    return DateTime::from_civil(2024, 3, day, hour, minute).value();
}

const TimeDelta kZero = TimeDelta::zero();

using WindowList = std::vector<std::pair<DateTime, DateTime>>;

// A problem in plain tables, turned into a Penalizer on demand.
struct Problem {
    std::vector<std::vector<std::uint64_t>> distances;
    std::vector<std::vector<TimeDelta>> travel;
    std::vector<TimeDelta> jobs;
    std::vector<WindowList> windows;
    std::optional<std::pair<NaiveTime, NaiveTime>> hours;

    TimeScheduler scheduler() const {
        TimeScheduler scheduler;
        scheduler.duration_matrix = travel;
        scheduler.job_durations = jobs;
        for (const WindowList& list : windows) {
            TimeWindows location;
            for (const auto& [start, end] : list) location.windows.emplace_back(start, end);
            scheduler.time_windows.push_back(std::move(location));
        }
        if (hours) scheduler.operation_times.emplace(hours->first, hours->second);
        return scheduler;
    }
    Penalizer penalizer() const { return Penalizer(DistanceMatrix{distances}, scheduler()); }
};

// n locations, every table full, every location open 08:00-18:00.
Problem uniform_problem(std::size_t n) {
    Problem p;
    p.distances.assign(n, std::vector<std::uint64_t>(n, 0));
    for (std::size_t i = 0; i < n; ++i)
        for (std::size_t j = 0; j < n; ++j)
            p.distances[i][j] = i == j ? 0 : (i * 7 + j * 3) % 11 + 1;
    p.travel.assign(n, std::vector<TimeDelta>(n, minutes(20)));
    p.jobs.assign(n, minutes(30));
    p.windows.assign(n, WindowList{{at(8), at(18)}});
    return p;
}

// Work records carry their location; the other kinds do not.
std::string describe(const ScheduleRecord& record) {
    const auto clock = [](DateTime t) {
        const std::int64_t s = t.unix_seconds() - at(0).unix_seconds();
        return "d+" + std::to_string(s / 86400) + " " + std::to_string(s % 86400 / 3600) + ":" +
               std::to_string(s % 3600 / 60) + ":" + std::to_string(s % 60);
    };
    std::string kind = record.kind == RecordKind::Work
                           ? "Work(" + std::to_string(record.location) + ")"
                       : record.kind == RecordKind::Travel ? "Travel"
                                                           : "Wait";
    return kind + " " + clock(record.window.start) + " -> " + clock(record.window.end);
}

std::vector<std::string> describe(const std::vector<ScheduleRecord>& records) {
    std::vector<std::string> lines;
    for (const ScheduleRecord& record : records) lines.push_back(describe(record));
    return lines;
}

void expect_same_totals(const TimeReport& a, const TimeReport& b) {
    EXPECT_EQ(a.duration, b.duration);
    EXPECT_EQ(a.lateness, b.lateness);
    EXPECT_EQ(a.working_time, b.working_time);
    EXPECT_EQ(a.waiting_time, b.waiting_time);
    EXPECT_EQ(a.traveling_time, b.traveling_time);
    EXPECT_EQ(a.start_time, b.start_time);
    EXPECT_EQ(a.end_time, b.end_time);
}

// ---------------------------------------------------------------- penalize

TEST(RouteTime, TwoLocationTour) {
    Problem p;
    p.distances = {{0, 5}, {7, 0}};
    p.travel = {{kZero, minutes(30)}, {minutes(30), kZero}};
    p.jobs = {hours(1), hours(1)};
    p.windows = {{{at(8), at(18)}}, {{at(10), at(12)}}};
    const Penalizer penalizer = p.penalizer();

    const Solution solution = penalizer.penalize({0, 1}, true);
    EXPECT_EQ(solution.route, (Route{0, 1}));
    EXPECT_EQ(solution.reported_distance(), 12u);
    ASSERT_TRUE(solution.time_report.has_value());
    const TimeReport& report = *solution.time_report;
    EXPECT_EQ(describe(report.schedule),
              describe(std::vector<ScheduleRecord>{work(0, at(8), at(9)), travel(at(9), at(9, 30)),
                                                   wait(at(9, 30), at(10)), work(1, at(10), at(11)),
                                                   travel(at(11), at(11, 30))}));
    EXPECT_EQ(report.working_time, hours(2));
    EXPECT_EQ(report.traveling_time, hours(1));
    EXPECT_EQ(report.waiting_time, minutes(30));
    EXPECT_EQ(report.lateness, kZero);
    EXPECT_EQ(report.duration, hours(3) + minutes(30));
    EXPECT_EQ(report.start_time, at(8));
    EXPECT_EQ(report.end_time, at(11, 30));

    const Solution quiet = penalizer.penalize({0, 1}, false);
    ASSERT_TRUE(quiet.time_report.has_value());
    expect_same_totals(*quiet.time_report, report);
    EXPECT_TRUE(quiet.time_report->schedule.empty());
}

TEST(RouteTime, OneLocationTourTravelsBackToItself) {
    Problem p = uniform_problem(3);
    p.distances[2][2] = 4;
    p.travel[2][2] = minutes(15);
    p.jobs[2] = minutes(45);
    p.windows[2] = {{at(9), at(10)}};
    const Solution solution = p.penalizer().penalize({2}, true);
    EXPECT_EQ(solution.reported_distance(), 4u);
    const TimeReport& report = *solution.time_report;
    EXPECT_EQ(describe(report.schedule),
              describe(std::vector<ScheduleRecord>{work(2, at(9), at(9, 45)),
                                                   travel(at(9, 45), at(10))}));
    EXPECT_EQ(report.duration, hours(1));
    EXPECT_EQ(report.end_time, at(10));
}

TEST(RouteTime, StartsAtFirstWindowInListOrder) {
    // Location 0 lists a later window first; location 1 opens earlier than both.
    Problem p = uniform_problem(2);
    p.windows[0] = {{at(13), at(15)}, {at(9), at(10)}};
    p.windows[1] = {{at(6), at(20)}};
    p.jobs = {hours(1), hours(1)};
    p.travel = {{kZero, minutes(30)}, {minutes(30), kZero}};
    const TimeReport report = *p.penalizer().penalize({0, 1}, true).time_report;
    EXPECT_EQ(report.start_time, at(13));
    // 13:00 lies after the last listed window (09:00-10:00), so the job runs at once and
    // is late against that window.
    EXPECT_EQ(describe(report.schedule),
              describe(std::vector<ScheduleRecord>{
                  work(0, at(13), at(14)), travel(at(14), at(14, 30)),
                  work(1, at(14, 30), at(15, 30)), travel(at(15, 30), at(16))}));
    EXPECT_EQ(report.lateness, hours(4));

    // The other direction starts when location 1 opens.
    EXPECT_EQ(p.penalizer().penalize({1, 0}, false).time_report->start_time, at(6));
}

TEST(RouteTime, OperatingHoursApplyAcrossTheTour) {
    Problem p = uniform_problem(2);
    p.hours = {tod(8), tod(17)};
    p.windows[0] = {{at(15), at(16)}};
    p.windows[1] = {};
    p.jobs = {hours(1), hours(2)};
    p.travel = {{kZero, hours(1)}, {hours(3), kZero}};
    const TimeReport report = *p.penalizer().penalize({0, 1}, true).time_report;
    EXPECT_EQ(describe(report.schedule),
              describe(std::vector<ScheduleRecord>{
                  work(0, at(15), at(16)), travel(at(16), at(17)), wait(at(17), at(8, 0, 11)),
                  work(1, at(8, 0, 11), at(10, 0, 11)), travel(at(10, 0, 11), at(13, 0, 11))}));
    EXPECT_EQ(report.waiting_time, hours(15));
    EXPECT_EQ(report.lateness, kZero);  // a windowless location is never late
    EXPECT_EQ(report.duration, hours(22));
}

struct IndexCase {
    const char* name;
    std::function<void(Problem&)> damage;
    Route route;
    const char* message;
};

// Parameters print as their case name.
[[maybe_unused]] void PrintTo(const IndexCase& c, std::ostream* os) { *os << c.name; }

class RouteTimeIndex : public ::testing::TestWithParam<IndexCase> {};

TEST_P(RouteTimeIndex, ReportsFirstFailingLookup) {
    const IndexCase& c = GetParam();
    Problem p = uniform_problem(4);
    c.damage(p);
    const Penalizer penalizer = p.penalizer();
    for (const bool with_schedule : {true, false})
        EXPECT_EQ(panic_message([&] { penalizer.penalize(c.route, with_schedule); }), c.message);
}

INSTANTIATE_TEST_SUITE_P(Cases, RouteTimeIndex,
                         ::testing::Values(
                             // The start instant is looked up before any job.
                             IndexCase{"FirstLocationBeyondWindowTable",
                                       [](Problem& p) {
                                           p.windows.resize(2);
                                           p.jobs.resize(1);
                                       },
                                       {3, 0, 1, 2},
                                       "index out of bounds: the len is 2 but the index is 3"},
                             IndexCase{"FirstLocationWithoutWindows",
                                       [](Problem& p) {
                                           p.windows[3].clear();
                                           p.jobs.resize(1);
                                       },
                                       {3, 0, 1, 2},
                                       "index out of bounds: the len is 0 but the index is 0"},
                             // At one position: job duration, then windows, then travel.
                             IndexCase{"JobBeforeWindows",
                                       [](Problem& p) {
                                           p.jobs.resize(2);
                                           p.windows.resize(3);
                                       },
                                       {0, 3},
                                       "index out of bounds: the len is 2 but the index is 3"},
                             IndexCase{"WindowsOfLaterLocation",
                                       [](Problem& p) { p.windows.resize(3); },
                                       {0, 3},
                                       "index out of bounds: the len is 3 but the index is 3"},
                             IndexCase{"JobBeforeTravelOfSamePosition",
                                       [](Problem& p) {
                                           p.jobs.resize(3);
                                           p.travel.resize(2);
                                       },
                                       {0, 3},
                                       "index out of bounds: the len is 3 but the index is 3"},
                             // Travel of one position before the job of the next.
                             IndexCase{"TravelColumnBeforeNextJob",
                                       [](Problem& p) {
                                           p.travel[0].resize(2);
                                           p.jobs.resize(1);
                                       },
                                       {0, 2},
                                       "index out of bounds: the len is 2 but the index is 2"},
                             // The closing leg is simulated too.
                             IndexCase{"ClosingLegRowMissing",
                                       [](Problem& p) { p.travel.resize(2); },
                                       {0, 1, 2},
                                       "index out of bounds: the len is 2 but the index is 2"},
                             // The distance is summed before any time lookup.
                             IndexCase{"DistanceBeforeTime",
                                       [](Problem& p) {
                                           p.travel.assign(6,
                                                           std::vector<TimeDelta>(6, minutes(5)));
                                           p.jobs.resize(2);
                                       },
                                       {0, 5},
                                       "index out of bounds: the len is 4 but the index is 5"}),
                         [](const ::testing::TestParamInfo<IndexCase>& info) {
                             return info.param.name;
                         });

// ---------------------------------------------------------------- is_better

struct Keys {
    TimeDelta lateness;
    TimeDelta traveling;
    TimeDelta duration;
    TimeDelta waiting;
    std::uint64_t distance;
    TimeDelta working = TimeDelta::zero();
    DateTime start = at(8);
};

Solution solution_with(const Keys& k) {
    TimeReport report{k.duration, k.lateness,           k.working, k.waiting, k.traveling,
                      k.start,    k.start + k.duration, {}};
    return Solution{Route{0}, k.distance, std::move(report)};
}

struct BetterCase {
    const char* name;
    Keys candidate;
    Keys reference;
    bool candidate_better;
    bool reference_better;
};

// Parameters print as their case name.
[[maybe_unused]] void PrintTo(const BetterCase& c, std::ostream* os) { *os << c.name; }

class RouteTimeIsBetter : public ::testing::TestWithParam<BetterCase> {};

TEST_P(RouteTimeIsBetter, ComparesLexicographically) {
    const BetterCase& c = GetParam();
    const Penalizer penalizer(DistanceMatrix{{{0}}}, TimeScheduler{});
    const Solution candidate = solution_with(c.candidate);
    const Solution reference = solution_with(c.reference);
    EXPECT_EQ(penalizer.is_better(candidate, reference), c.candidate_better);
    EXPECT_EQ(penalizer.is_better(reference, candidate), c.reference_better);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RouteTimeIsBetter,
    ::testing::Values(BetterCase{"ShorterDistanceBreaksTie",
                                 {kZero, hours(1), hours(3), minutes(30), 10},
                                 {kZero, hours(1), hours(3), minutes(30), 12},
                                 true,
                                 false},
                      BetterCase{"IdenticalKeys",
                                 {minutes(5), hours(1), hours(3), minutes(30), 10},
                                 {minutes(5), hours(1), hours(3), minutes(30), 10},
                                 false,
                                 false},
                      BetterCase{"WorkingTimeAndInstantsIgnored",
                                 {kZero, hours(1), hours(3), minutes(30), 10, hours(1), at(8)},
                                 {kZero, hours(1), hours(3), minutes(30), 10, hours(9), at(13)},
                                 false,
                                 false},
                      BetterCase{"LessWorkButLater",
                                 {TimeDelta::seconds(1), kZero, kZero, kZero, 0, kZero},
                                 {kZero, hours(5), hours(9), hours(4), 99, hours(10)},
                                 false,
                                 true},
                      BetterCase{"LatenessFirst",
                                 {kZero, hours(5), hours(10), hours(5), 100},
                                 {TimeDelta{0, 1}, kZero, kZero, kZero, 0},
                                 true,
                                 false},
                      BetterCase{"LessTravelBeatsEverythingAfter",
                                 {kZero, hours(1), hours(9), hours(5), 100},
                                 {kZero, hours(2), hours(3), kZero, 1},
                                 true,
                                 false},
                      BetterCase{"DurationBeforeWaiting",
                                 {kZero, hours(1), hours(3), hours(2), 100},
                                 {kZero, hours(1), hours(4), kZero, 1},
                                 true,
                                 false},
                      BetterCase{"WaitingBeforeDistance",
                                 {kZero, hours(1), hours(3), hours(1), 100},
                                 {kZero, hours(1), hours(3), hours(2), 1},
                                 true,
                                 false},
                      BetterCase{"NanosecondsCount",
                                 {TimeDelta{1, 0}, kZero, kZero, kZero, 5},
                                 {TimeDelta{1, 1}, kZero, kZero, kZero, 5},
                                 true,
                                 false}),
    [](const ::testing::TestParamInfo<BetterCase>& info) { return info.param.name; });

TEST(RouteTimeIsBetterRule, TimeDataDecidesTheRule) {
    const Solution short_but_late = solution_with({hours(10), hours(5), hours(20), hours(5), 5});
    const Solution long_but_punctual = solution_with({kZero, kZero, hours(1), kZero, 6});
    const Penalizer timed(DistanceMatrix{{{0}}}, TimeScheduler{});
    const Penalizer untimed(DistanceMatrix{{{0}}}, std::nullopt);
    EXPECT_TRUE(timed.is_better(long_but_punctual, short_but_late));
    EXPECT_FALSE(timed.is_better(short_but_late, long_but_punctual));
    EXPECT_TRUE(untimed.is_better(short_but_late, long_but_punctual));
    EXPECT_FALSE(untimed.is_better(long_but_punctual, short_but_late));
}

TEST(RouteTimeIsBetterRule, MissingReportPanicsWithTimeData) {
    const Penalizer timed(DistanceMatrix{{{0}}}, TimeScheduler{});
    const Solution with_report = solution_with({kZero, kZero, kZero, kZero, 1});
    const Solution without_report{Route{0}, 1, std::nullopt};
    const char* message = "called `Option::unwrap()` on a `None` value";
    EXPECT_EQ(panic_message([&] { timed.is_better(without_report, with_report); }), message);
    EXPECT_EQ(panic_message([&] { timed.is_better(with_report, without_report); }), message);
}

// ---------------------------------------------------------------- invariants

int draw(std::mt19937& rng, int lo, int hi) {
    return std::uniform_int_distribution<int>(lo, hi)(rng);
}

// A duration in minutes that is zero or negative now and then.
TimeDelta random_length(std::mt19937& rng, int max_minutes) {
    const int kind = draw(rng, 0, 9);
    if (kind <= 1) return kZero;
    if (kind == 2) return TimeDelta::seconds(-static_cast<std::int64_t>(draw(rng, 1, 3600)));
    TimeDelta length = minutes(draw(rng, 1, max_minutes));
    if (kind == 3) length += TimeDelta::seconds(draw(rng, 1, 59));
    return length;
}

struct RandomCase {
    Problem problem;
    Route route;
};

RandomCase random_case(std::mt19937& rng) {
    const std::size_t n = draw(rng, 1, 7);
    RandomCase c;
    c.route.resize(n);
    std::iota(c.route.begin(), c.route.end(), std::size_t{0});
    std::shuffle(c.route.begin(), c.route.end(), rng);

    Problem& p = c.problem;
    p.distances.assign(n, std::vector<std::uint64_t>(n));
    p.travel.assign(n, std::vector<TimeDelta>(n));
    for (std::size_t i = 0; i < n; ++i) {
        for (std::size_t j = 0; j < n; ++j) {
            p.distances[i][j] = draw(rng, 0, 100);
            p.travel[i][j] = random_length(rng, 240);
        }
        p.jobs.push_back(random_length(rng, 300));
    }
    // Sorted, non-overlapping windows; some lists empty, but never the first location's.
    for (std::size_t loc = 0; loc < n; ++loc) {
        std::size_t count = draw(rng, 0, 3);
        if (loc == c.route[0] && count == 0) count = 1;
        WindowList list;
        DateTime cursor = at(0) + minutes(draw(rng, 0, 24 * 60));
        for (std::size_t k = 0; k < count; ++k) {
            const DateTime start = cursor + minutes(draw(rng, k == 0 ? 0 : 1, 10 * 60));
            const DateTime end = start + minutes(draw(rng, 0, 5 * 60));
            list.emplace_back(start, end);
            cursor = end;
        }
        p.windows.push_back(std::move(list));
    }
    if (draw(rng, 0, 2) == 0)
        p.hours = {
            {tod(draw(rng, 0, 11), draw(rng, 0, 59)), tod(draw(rng, 12, 23), draw(rng, 0, 59))}};
    return c;
}

void check_invariants(const RandomCase& c) {
    const Problem& p = c.problem;
    const Penalizer penalizer = p.penalizer();
    const Solution full = penalizer.penalize(c.route, true);
    const Solution quiet = penalizer.penalize(c.route, false);
    ASSERT_TRUE(full.time_report && quiet.time_report);
    const TimeReport& r = *full.time_report;

    EXPECT_EQ(r.duration, r.working_time + r.traveling_time + r.waiting_time);
    EXPECT_EQ(r.duration, r.end_time - r.start_time);
    EXPECT_EQ(r.start_time, p.windows[c.route[0]].front().first);

    // Same totals without the schedule.
    expect_same_totals(*quiet.time_report, r);
    EXPECT_TRUE(quiet.time_report->schedule.empty());

    // Travel and work totals do not depend on timing.
    TimeDelta travel_sum, work_sum;
    for (std::size_t i = 0; i < c.route.size(); ++i) {
        const TimeDelta leg = p.travel[c.route[i]][c.route[(i + 1) % c.route.size()]];
        if (leg.is_positive()) travel_sum += leg;
        if (p.jobs[c.route[i]].is_positive()) work_sum += p.jobs[c.route[i]];
    }
    EXPECT_EQ(r.traveling_time, travel_sum);
    EXPECT_EQ(r.working_time, work_sum);

    // The schedule is a gapless chain of records whose lengths make up the totals.
    DateTime cursor = r.start_time;
    TimeDelta per_kind[3];
    std::vector<std::size_t> visits;
    std::map<std::size_t, DateTime> finished;  // end of each location's last piece of work
    const ScheduleRecord* previous = nullptr;
    for (const ScheduleRecord& record : r.schedule) {
        SCOPED_TRACE(describe(record));
        EXPECT_EQ(record.window.start, cursor);
        cursor = record.window.end;
        const TimeDelta length = record.window.end - record.window.start;
        per_kind[static_cast<int>(record.kind)] += length;
        if (record.kind != RecordKind::Work) {
            EXPECT_TRUE(length.is_positive());
        }
        // Waits of one action merge, and no action ends with a wait.
        if (previous) {
            EXPECT_FALSE(previous->kind == RecordKind::Wait && record.kind == RecordKind::Wait);
        }
        previous = &record;

        if (record.kind == RecordKind::Work) {
            if (visits.empty() || visits.back() != record.location)
                visits.push_back(record.location);
            finished[record.location] = record.window.end;
            // Work begins inside a window, or once all of them are over.
            const WindowList& list = p.windows[record.location];
            const DateTime t = record.window.start;
            const bool allowed = list.empty() || t > list.back().second ||
                                 std::any_of(list.begin(), list.end(), [&](const auto& w) {
                                     return w.first <= t && t <= w.second;
                                 });
            EXPECT_TRUE(allowed);
        }
        // Work and travel happen within the operating hours of the day they start on.
        if (p.hours && record.kind != RecordKind::Wait) {
            const NaiveTime start_of_day = record.window.start.time_of_day();
            EXPECT_LE(p.hours->first, start_of_day);
            EXPECT_LT(start_of_day, p.hours->second);
            EXPECT_LE(length, p.hours->second - start_of_day);
        }
    }
    EXPECT_EQ(cursor, r.end_time);
    EXPECT_EQ(per_kind[static_cast<int>(RecordKind::Work)], r.working_time);
    EXPECT_EQ(per_kind[static_cast<int>(RecordKind::Travel)], r.traveling_time);
    EXPECT_EQ(per_kind[static_cast<int>(RecordKind::Wait)], r.waiting_time);

    // Every location is visited once, in route order, even with a zero-length job.
    EXPECT_EQ(visits, c.route);

    // Lateness: how far each job's last piece overran its location's last window.
    TimeDelta lateness;
    for (const auto& [location, end] : finished) {
        const WindowList& list = p.windows[location];
        if (!list.empty() && end > list.back().second) lateness += end - list.back().second;
    }
    EXPECT_EQ(r.lateness, lateness);
}

TEST(RouteTimeInvariants, HoldForRandomSmallProblems) {
    std::mt19937 rng(20240310);
    for (int problem = 0; problem < 500; ++problem) {
        const RandomCase c = random_case(rng);
        SCOPED_TRACE(::testing::Message()
                     << "problem " << problem << ", " << c.route.size() << " locations");
        check_invariants(c);
        if (HasFailure()) break;  // one broken problem says enough
    }
}

}  // namespace

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

Penalizer distance_only(Rows rows) {
    return Penalizer(DistanceMatrix{std::move(rows)}, std::nullopt);
}

// gtest cannot print 128-bit integers; compare them as 64-bit halves.
struct Wide {
    std::uint64_t high, low;
    friend bool operator==(const Wide&, const Wide&) = default;
    friend std::ostream& operator<<(std::ostream& os, const Wide& w) {
        return os << "{high " << w.high << ", low " << w.low << "}";
    }
};
Wide wide(Distance d) {
    return {static_cast<std::uint64_t>(d >> 64), static_cast<std::uint64_t>(d)};
}

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
    ::testing::Values(TourCase{"OneLocationUsesDiagonal", {2}, 1024},
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
    ::testing::Values(LookupFailure{"EmptyRoute", kRagged, {}, 0, 0},
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
                      LookupFailure{
                          "ClosingLegRowMissing", Rows{{0, 1, 1, 1, 1, 1}, {1, 0}}, {0, 5}, 2, 5},
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

// One second of opening a day makes a long job one record per day: a schedule that
// could not fit in memory is refused before it is built, one within the bound is built.
TEST(RouteTime, ASchedulePastTheMostRecordsIsRefusedBeforeItIsBuilt) {
    const DateTime day = *DateTime::from_civil(2026, 12, 7);
    const auto penalizer = [&](std::int64_t job) {
        TimeScheduler scheduler;
        scheduler.duration_matrix = {{TimeDelta::zero()}};
        scheduler.job_durations = {seconds(job)};
        scheduler.time_windows = {TimeWindows{{TimeWindow(day + hours(8), day + hours(9))}}};
        scheduler.operation_times.emplace(tod(8), tod(8, 0, 1));
        return Penalizer(DistanceMatrix{{{0}}}, std::move(scheduler));
    };
    const Solution built = penalizer(400'000).penalize({0}, true);
    EXPECT_GT(built.time_report->schedule.size(), 700'000u);
    EXPECT_LE(built.time_report->schedule.size(), static_cast<std::size_t>(kMostScheduleRecords));
    EXPECT_EQ(penalizer(40'000'000).penalize({0}, false).time_report->working_time,
              seconds(40'000'000));
    EXPECT_NE(panic_message([&] { penalizer(600'000).penalize({0}, true); }).find("too many days"),
              std::string::npos);
}

}  // namespace
