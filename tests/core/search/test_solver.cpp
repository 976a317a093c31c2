// The multi-start descent: sweep bounds, pass order, the exact acceptance trace of
// a small instance, and the behaviour around the time limit.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <numeric>
#include <optional>
#include <ostream>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "evaluation/penalizer.hpp"
#include "search/local_moves.hpp"
#include "search/solver.hpp"
#include "test_support.hpp"
#include "util/chrono.hpp"

namespace {

using tourwright::DistanceMatrix;
using tourwright::identity_route;
using tourwright::kLocalMoves;
using tourwright::LocalMove;
using tourwright::Penalizer;
using tourwright::Route;
using tourwright::Solution;
using tourwright::Solver;
using tourwright::TimeDelta;
using tourwright::test_support::panic_message;

using Rows = std::vector<std::vector<std::uint64_t>>;

Penalizer distance_only(Rows rows) {
    return Penalizer(DistanceMatrix{std::move(rows)}, std::nullopt);
}

Rows zeros(std::size_t n) { return Rows(n, std::vector<std::uint64_t>(n, 0)); }

bool is_permutation_of_identity(Route route) {
    std::sort(route.begin(), route.end());
    return route == identity_route(route.size());
}

// Deterministic pseudo-random distances 1 ..= 100; symmetric on request.
Rows scrambled(std::size_t n, std::uint64_t seed, bool symmetric) {
    Rows rows(n, std::vector<std::uint64_t>(n, 0));
    std::uint64_t state = seed;
    auto next = [&] {
        state = state * 6364136223846793005ULL + 1442695040888963407ULL;
        return 1 + (state >> 33) % 100;
    };
    for (std::size_t a = 0; a < n; ++a)
        for (std::size_t b = 0; b < n; ++b) {
            if (a == b) continue;
            if (symmetric && b < a)
                rows[a][b] = rows[b][a];
            else
                rows[a][b] = next();
        }
    return rows;
}

struct Trial {
    std::size_t i, j;
    bool accepted;
    Route route;  // the accepted route, empty when rejected
    std::uint64_t distance;
};

// Records every trial the solver reports. A descent that keeps accepting (say, one
// that walked along ties) would never end; the budget turns that into a failure.
void record_trials(Solver& solver, std::vector<Trial>& trials) {
    solver.set_trial_observer([&trials](std::size_t i, std::size_t j, const Solution* accepted) {
        if (trials.size() >= 1'000'000) throw std::runtime_error("trial budget exhausted");
        trials.push_back(Trial{i, j, accepted != nullptr, accepted ? accepted->route : Route{},
                               accepted ? accepted->reported_distance() : 0});
    });
}

std::size_t count_accepted(const std::vector<Trial>& trials) {
    return static_cast<std::size_t>(
        std::count_if(trials.begin(), trials.end(), [](const Trial& t) { return t.accepted; }));
}

// The solver decides trials either incrementally (its default where the matrix is
// complete) or by evaluating each one in full; both must make the same decisions.
enum class Evaluation { Default, Full };
constexpr std::array<Evaluation, 2> kEvaluations{Evaluation::Default, Evaluation::Full};

const char* evaluation_name(Evaluation e) { return e == Evaluation::Full ? "Full" : "Default"; }
void PrintTo(Evaluation e, std::ostream* os) { *os << evaluation_name(e); }

void set_evaluation(Solver& solver, Evaluation e) {
    if (e == Evaluation::Full) solver.use_full_evaluation();
}

// ---------------------------------------------------------------- sweep bounds

struct SweepCase {
    std::size_t n;
    std::array<std::size_t, 8> trials_per_move;  // in pass order
};

void PrintTo(const SweepCase& c, std::ostream* os) { *os << "n = " << c.n; }

class SolverSweep : public ::testing::TestWithParam<SweepCase> {};

TEST_P(SolverSweep, TriesEachAdmissiblePairOnceInAscendingOrder) {
    const auto& c = GetParam();
    for (Evaluation evaluation : kEvaluations) {
        SCOPED_TRACE(evaluation_name(evaluation));
        Solver solver(std::nullopt, distance_only(zeros(c.n)));
        set_evaluation(solver, evaluation);
        for (std::size_t m = 0; m < kLocalMoves.size(); ++m) {
            const LocalMove& move = kLocalMoves[m];
            std::vector<Trial> trials;
            record_trials(solver, trials);
            // All distances are zero: every trial ties and none is taken.
            EXPECT_FALSE(solver.run_move(move, move.gap)) << move.name;
            EXPECT_EQ(trials.size(), c.trials_per_move[m]) << move.name << ", n = " << c.n;
            for (std::size_t t = 0; t < trials.size(); ++t) {
                EXPECT_FALSE(trials[t].accepted);
                EXPECT_LT(trials[t].i, trials[t].j);
                EXPECT_LT(trials[t].j, c.n);
                EXPECT_GE(trials[t].j - trials[t].i, move.gap + 1) << move.name;
                if (t > 0) {
                    const auto before = std::make_pair(trials[t - 1].i, trials[t - 1].j);
                    EXPECT_LT(before, std::make_pair(trials[t].i, trials[t].j)) << move.name;
                }
            }
        }
        EXPECT_EQ(solver.current().route, identity_route(c.n));
    }
}

INSTANTIATE_TEST_SUITE_P(BySize, SolverSweep,
                         ::testing::Values(SweepCase{1, {0, 0, 0, 0, 0, 0, 0, 0}},
                                           SweepCase{2, {1, 0, 0, 0, 0, 0, 0, 0}},
                                           SweepCase{3, {3, 0, 1, 1, 0, 0, 0, 0}},
                                           SweepCase{4, {6, 1, 3, 3, 1, 0, 0, 0}},
                                           SweepCase{6, {15, 6, 10, 10, 6, 3, 1, 0}},
                                           SweepCase{7, {21, 10, 15, 15, 10, 6, 3, 1}},
                                           SweepCase{10, {45, 28, 36, 36, 28, 21, 15, 10}}),
                         [](const auto& info) {
                             std::string name = "n";
                             name += std::to_string(info.param.n);
                             return name;
                         });

TEST(SolverPass, RunsTheEightSweepsInOrder) {
    Solver solver(std::nullopt, distance_only(zeros(10)));
    std::vector<Trial> trials;
    record_trials(solver, trials);
    EXPECT_FALSE(solver.run_pass());
    const std::array<std::size_t, 8> counts{45, 28, 36, 36, 28, 21, 15, 10};
    const std::array<std::size_t, 8> gaps{0, 2, 1, 1, 2, 3, 4, 5};
    ASSERT_EQ(trials.size(), std::accumulate(counts.begin(), counts.end(), std::size_t{0}));
    std::size_t at = 0;
    for (std::size_t m = 0; m < 8; ++m) {
        // Each sweep opens at its smallest segment, (0, gap + 1), and closes at (n - 2, n - 1)
        // or, for wider gaps, at (n - gap - 2, n - 1).
        EXPECT_EQ(trials[at].i, 0u) << "sweep " << m;
        EXPECT_EQ(trials[at].j, gaps[m] + 1) << "sweep " << m;
        const Trial& last = trials[at + counts[m] - 1];
        EXPECT_EQ(last.i, 10 - gaps[m] - 2) << "sweep " << m;
        EXPECT_EQ(last.j, 9u) << "sweep " << m;
        at += counts[m];
    }
}

TEST(SolverConstruction, EmptyMatrixFailsInTheFirstEvaluation) {
    EXPECT_EQ(panic_message([] { Solver solver(std::nullopt, distance_only({})); }),
              "index out of bounds: the len is 0 but the index is 0");
}

// ---------------------------------------------------------------- worked trace

const Rows kTraceRows{
    {0, 15, 19, 15, 12, 10}, {8, 0, 6, 8, 3, 19},   {10, 17, 0, 16, 11, 15},
    {10, 20, 3, 0, 4, 17},   {14, 6, 11, 5, 0, 16}, {14, 2, 3, 18, 19, 0},
};
const Route kTraceOptimum{2, 0, 5, 1, 4, 3};

// Which sweep of a pass over six locations a trial index falls in.
const char* move_of_trial(std::size_t index) {
    const std::array<std::size_t, 8> counts{15, 6, 10, 10, 6, 3, 1, 0};
    for (std::size_t m = 0; m < 8; ++m) {
        if (index < counts[m]) return kLocalMoves[m].name;
        index -= counts[m];
    }
    return "<beyond the pass>";
}

struct Acceptance {
    std::string move;
    std::size_t i, j;
    Route route;
    std::uint64_t distance;
    friend bool operator==(const Acceptance&, const Acceptance&) = default;
    friend std::ostream& operator<<(std::ostream& os, const Acceptance& a) {
        os << a.move << "(" << a.i << ", " << a.j << ") ->";
        for (std::size_t loc : a.route) os << ' ' << loc;
        return os << " (" << a.distance << ")";
    }
};

std::vector<Acceptance> acceptances_of_pass(const std::vector<Trial>& trials) {
    std::vector<Acceptance> out;
    for (std::size_t t = 0; t < trials.size(); ++t)
        if (trials[t].accepted)
            out.push_back(
                {move_of_trial(t), trials[t].i, trials[t].j, trials[t].route, trials[t].distance});
    return out;
}

class SolverTrace : public ::testing::TestWithParam<Evaluation> {};

TEST_P(SolverTrace, FirstPassAcceptsInOrderAndSecondPassNothing) {
    Solver solver(std::nullopt, distance_only(kTraceRows));
    set_evaluation(solver, GetParam());
    ASSERT_EQ(solver.current().route, identity_route(6));
    ASSERT_EQ(solver.current().reported_distance(), 71u);

    std::vector<Trial> trials;
    record_trials(solver, trials);
    EXPECT_TRUE(solver.run_pass());
    EXPECT_EQ(trials.size(), 51u);
    const std::vector<Acceptance> expected{
        {"reverse", 0, 1, {1, 0, 2, 3, 4, 5}, 65},
        {"reverse", 0, 2, {2, 0, 1, 3, 4, 5}, 56},
        {"reverse", 3, 4, {2, 0, 1, 4, 3, 5}, 53},
        {"rotate_left_1", 1, 4, {2, 1, 4, 3, 0, 5}, 48},
        {"rotate_left_1", 1, 5, {2, 4, 3, 0, 5, 1}, 44},
        {"rotate_left_2", 1, 5, {2, 0, 5, 1, 4, 3}, 33},
    };
    EXPECT_EQ(acceptances_of_pass(trials), expected);
    EXPECT_EQ(solver.current().route, kTraceOptimum);
    EXPECT_EQ(solver.current().reported_distance(), 33u);

    trials.clear();
    EXPECT_FALSE(solver.run_pass());
    EXPECT_EQ(trials.size(), 51u);
    EXPECT_EQ(count_accepted(trials), 0u);
    EXPECT_EQ(solver.current().route, kTraceOptimum);
}

TEST_P(SolverTrace, SolveWithoutLimitIsOneDeterministicDescent) {
    for (int run = 0; run < 3; ++run) {
        Solver solver(std::nullopt, distance_only(kTraceRows));
        set_evaluation(solver, GetParam());
        std::vector<Trial> trials;
        record_trials(solver, trials);
        solver.solve();
        EXPECT_EQ(solver.best().route, kTraceOptimum) << "run " << run;
        EXPECT_EQ(solver.best().reported_distance(), 33u) << "run " << run;
        EXPECT_FALSE(solver.best().time_report.has_value());
        EXPECT_EQ(solver.iterations(), 1u) << "run " << run;
        // One improving pass and one empty pass, then no second descent.
        EXPECT_EQ(trials.size(), 102u) << "run " << run;
        EXPECT_EQ(count_accepted(trials), 6u) << "run " << run;
        EXPECT_GE(solver.time_taken(), TimeDelta::zero());
        // The restart is still drawn, as a permutation of all locations.
        EXPECT_TRUE(is_permutation_of_identity(solver.current().route));
    }
}

TEST_P(SolverTrace, SuppliedInitialRouteIsUsedAsGiven) {
    Solver solver(std::nullopt, distance_only(kTraceRows), kTraceOptimum);
    set_evaluation(solver, GetParam());
    EXPECT_EQ(solver.current().route, kTraceOptimum);
    EXPECT_EQ(solver.best().route, kTraceOptimum);
    EXPECT_EQ(solver.current().reported_distance(), 33u);
    // Already a local optimum for all eight moves.
    EXPECT_FALSE(solver.run_pass());
}

TEST_P(SolverTrace, TotalsBeyondSixtyFourBitsAreNotMistakenForShortTours) {
    // The identity tour 0 1 2 crosses two legs of 2^63, exactly 2^64 in total (0 if
    // it wrapped); reversing its first two locations leaves one such leg.
    constexpr std::uint64_t kHalf = std::uint64_t{1} << 63;
    Solver solver(std::nullopt, distance_only({{0, kHalf, 1}, {kHalf, 0, kHalf}, {0, 1, 0}}));
    set_evaluation(solver, GetParam());
    ASSERT_EQ(solver.current().reported_distance(), UINT64_MAX);  // saturated for reporting
    std::vector<Trial> trials;
    record_trials(solver, trials);
    solver.solve();
    EXPECT_EQ(solver.best().route, (Route{1, 0, 2}));
    EXPECT_EQ(solver.best().reported_distance(), kHalf + 2);
    EXPECT_EQ(count_accepted(trials), 1u);
}

INSTANTIATE_TEST_SUITE_P(Evaluations, SolverTrace, ::testing::ValuesIn(kEvaluations),
                         [](const auto& info) { return std::string(evaluation_name(info.param)); });

TEST(SolverFailure, LookupFailureInATrialLeavesTheSweep) {
    // Row 1 is short: the start route 0 2 1 never reads [1][2], but the first trial,
    // reverse (0, 1) giving 2 0 1, does.
    Solver solver(std::nullopt, distance_only({{0, 1, 2}, {1, 0}, {2, 1, 0}}), Route{0, 2, 1});
    ASSERT_EQ(solver.current().reported_distance(), 4u);
    std::size_t trials = 0;
    solver.set_trial_observer([&](std::size_t, std::size_t, const Solution*) { ++trials; });
    EXPECT_EQ(panic_message([&] { solver.solve(); }),
              "index out of bounds: the len is 2 but the index is 2");
    EXPECT_EQ(trials, 0u);
    EXPECT_EQ(solver.current().route, (Route{0, 2, 1}));
}

// ---------------------------------------------------------------- ties

struct FullReversalCase {
    const char* name;
    Rows rows;
    Route start;
    bool taken;
};

void PrintTo(const FullReversalCase& c, std::ostream* os) { *os << c.name; }

class SolverFullReversal : public ::testing::TestWithParam<FullReversalCase> {};

TEST_P(SolverFullReversal, IsTakenOnlyWhenStrictlyShorter) {
    const auto& c = GetParam();
    const std::size_t n = c.rows.size();
    for (Evaluation evaluation : kEvaluations) {
        SCOPED_TRACE(evaluation_name(evaluation));
        Solver solver(std::nullopt, distance_only(c.rows), c.start);
        set_evaluation(solver, evaluation);
        std::vector<Trial> trials;
        record_trials(solver, trials);
        // With gap n - 2 the reverse sweep has the single pair (0, n - 1).
        EXPECT_EQ(solver.run_move(kLocalMoves[0], n - 2), c.taken);
        ASSERT_EQ(trials.size(), 1u);
        EXPECT_EQ(trials[0].i, 0u);
        EXPECT_EQ(trials[0].j, n - 1);
        Route reversed = c.start;
        std::reverse(reversed.begin(), reversed.end());
        EXPECT_EQ(solver.current().route, c.taken ? reversed : c.start);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SolverFullReversal,
    ::testing::Values(
        FullReversalCase{"SymmetricIdentity", scrambled(7, 1, true), identity_route(7), false},
        FullReversalCase{
            "SymmetricScrambledStart", scrambled(9, 2, true), {4, 8, 0, 3, 7, 1, 6, 2, 5}, false},
        FullReversalCase{"SymmetricTwoLocations", {{0, 4}, {4, 0}}, {1, 0}, false},
        // One direction of the cycle is cheap (1 per leg), the other dear (9 per leg).
        FullReversalCase{"DirectedCycleWrongWay",
                         {{0, 9, 0, 1}, {1, 0, 9, 0}, {0, 1, 0, 9}, {9, 0, 1, 0}},
                         {0, 1, 2, 3},
                         true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(SolverTies, SymmetricDescentNeverReversesTheWholeRoute) {
    Solver solver(std::nullopt, distance_only(scrambled(8, 7, true)));
    Route current = solver.current().route;
    std::size_t reversals = 0, accepted = 0;
    std::size_t trials = 0;
    solver.set_trial_observer([&](std::size_t, std::size_t, const Solution* taken) {
        if (++trials > 1'000'000) throw std::runtime_error("trial budget exhausted");
        if (!taken) return;
        ++accepted;
        Route reversed = current;
        std::reverse(reversed.begin(), reversed.end());
        if (taken->route == reversed) ++reversals;
        current = taken->route;
    });
    solver.solve();
    EXPECT_GT(accepted, 0u);  // the instance does improve, so the check had work to do
    EXPECT_EQ(reversals, 0u);
}

// ---------------------------------------------------------------- time limit

TEST(SolverLimit, PassedLimitGivesTheIdentityRouteAndNoIteration) {
    for (const TimeDelta limit : {TimeDelta::seconds(-1), TimeDelta{-1, 999'999'999}}) {
        Solver solver(limit, distance_only(kTraceRows));
        std::vector<Trial> trials;
        record_trials(solver, trials);
        solver.solve();
        EXPECT_EQ(solver.iterations(), 0u);
        EXPECT_TRUE(trials.empty());
        EXPECT_EQ(solver.best().route, identity_route(6));
        EXPECT_EQ(solver.best().reported_distance(), 71u);
        EXPECT_GT(solver.time_taken(), limit);
    }
}

TEST(SolverLimit, SingleLocationOnlyCountsAndRestarts) {
    {
        Solver solver(std::nullopt, distance_only({{7}}));
        std::vector<Trial> trials;
        record_trials(solver, trials);
        solver.solve();
        EXPECT_EQ(solver.iterations(), 1u);
        EXPECT_TRUE(trials.empty());
        EXPECT_EQ(solver.best().route, (Route{0}));
        EXPECT_EQ(solver.best().reported_distance(), 7u);
    }
    {
        const TimeDelta limit{0, 20'000'000};
        Solver solver(limit, distance_only({{7}}));
        std::vector<Trial> trials;
        record_trials(solver, trials);
        solver.solve();
        EXPECT_TRUE(trials.empty());
        EXPECT_EQ(solver.best().route, (Route{0}));
        EXPECT_EQ(solver.current().route, (Route{0}));
        EXPECT_EQ(solver.best().reported_distance(), 7u);
        EXPECT_GT(solver.time_taken(), limit);
    }
}

TEST(SolverLimit, TwoLocationsTryOnlyTheReversalAndKeepTheFirstRoute) {
    const Rows rows{{0, 3}, {5, 0}};
    {
        Solver solver(std::nullopt, distance_only(rows));
        std::vector<Trial> trials;
        record_trials(solver, trials);
        solver.solve();
        EXPECT_EQ(solver.iterations(), 1u);
        ASSERT_EQ(trials.size(), 1u);
        EXPECT_EQ(trials[0].i, 0u);
        EXPECT_EQ(trials[0].j, 1u);
        EXPECT_FALSE(trials[0].accepted);
        EXPECT_EQ(solver.best().route, (Route{0, 1}));
        EXPECT_EQ(solver.best().reported_distance(), 8u);
    }
    {
        // Restarts to 1 0 tie with 0 1 and never displace it.
        const TimeDelta limit{0, 30'000'000};
        Solver solver(limit, distance_only(rows));
        std::vector<Trial> trials;
        record_trials(solver, trials);
        solver.solve();
        for (const Trial& t : trials) {
            EXPECT_EQ(t.i, 0u);
            EXPECT_EQ(t.j, 1u);
            EXPECT_FALSE(t.accepted);
        }
        // One pass of one trial per iteration, except perhaps the last, cut off by the limit.
        EXPECT_LE(trials.size(), solver.iterations());
        EXPECT_LE(solver.iterations(), trials.size() + 1);
        EXPECT_EQ(solver.best().route, (Route{0, 1}));
        EXPECT_EQ(solver.best().reported_distance(), 8u);
        EXPECT_GT(solver.time_taken(), limit);
    }
}

class SolverShortLimit : public ::testing::TestWithParam<TimeDelta> {};

TEST_P(SolverShortLimit, BestNeverWorsensAndTheLimitIsExceeded) {
    const TimeDelta limit = GetParam();
    const Rows rows = scrambled(9, 42, false);
    const Penalizer reference = distance_only(rows);
    const std::uint64_t identity_distance =
        reference.penalize(identity_route(9), false).reported_distance();

    Solver solver(limit, distance_only(rows));
    std::uint64_t best_seen = solver.best().reported_distance();
    std::uint64_t lowest_accepted = UINT64_MAX;
    std::size_t trials = 0;
    bool best_worsened = false;
    solver.set_trial_observer([&](std::size_t, std::size_t, const Solution* taken) {
        ++trials;
        if (taken) lowest_accepted = std::min(lowest_accepted, taken->reported_distance());
        const std::uint64_t now = solver.best().reported_distance();
        if (now > best_seen) best_worsened = true;
        best_seen = now;
    });
    solver.solve();

    EXPECT_FALSE(best_worsened);
    const Solution& best = solver.best();
    EXPECT_TRUE(is_permutation_of_identity(best.route));
    EXPECT_EQ(best.reported_distance(), reference.penalize(best.route, false).reported_distance());
    EXPECT_LE(best.reported_distance(), best_seen);
    EXPECT_LE(best.reported_distance(), identity_distance);
    // Every descent ends at or below each route it accepted, and best is the lowest end.
    EXPECT_LE(best.reported_distance(), lowest_accepted);
    if (trials > 0) {
        EXPECT_GE(solver.iterations(), 1u);
    }
    EXPECT_GT(solver.time_taken(), limit);
}

INSTANTIATE_TEST_SUITE_P(Limits, SolverShortLimit,
                         ::testing::Values(TimeDelta::seconds(0), TimeDelta{0, 100'000'000}),
                         [](const auto& info) {
                             return info.param.nanos == 0 ? std::string("ZeroSeconds")
                                                          : std::string("TenthOfASecond");
                         });

// ---------------------------------------------------------------- stop check

// Full evaluation of 150 locations makes one descent last far longer than the
// pause before the first check, so a check that asks to stop lands mid-descent.
TEST(SolverStopCheck, AStopRequestEndsTheDescentWhereItIs) {
    const Rows rows = scrambled(150, 7, false);
    std::size_t unstopped_trials = 0;
    {
        Solver solver(std::nullopt, distance_only(rows));
        solver.use_full_evaluation();
        solver.set_trial_observer(
            [&](std::size_t, std::size_t, const Solution*) { ++unstopped_trials; });
        solver.solve();
    }
    Solver solver(std::nullopt, distance_only(rows));
    solver.use_full_evaluation();
    std::size_t trials = 0, checks = 0;
    solver.set_trial_observer([&](std::size_t, std::size_t, const Solution*) { ++trials; });
    solver.set_stop_check([&] { return ++checks > 0; });
    solver.solve();
    EXPECT_EQ(checks, 1u);
    EXPECT_EQ(solver.iterations(), 1u);
    EXPECT_LT(trials, unstopped_trials);
    const Solution& best = solver.best();
    EXPECT_TRUE(is_permutation_of_identity(best.route));
    EXPECT_EQ(best.reported_distance(),
              distance_only(rows).penalize(best.route, false).reported_distance());
}

TEST(SolverStopCheck, AFailingCheckAbandonsTheSearchAndAQuietOneChangesNothing) {
    const Rows rows = scrambled(150, 8, false);
    Solver reference(std::nullopt, distance_only(rows));
    reference.solve();

    Solver quiet(std::nullopt, distance_only(rows));
    quiet.use_full_evaluation();
    std::size_t checks = 0;
    quiet.set_stop_check([&] {
        ++checks;
        return false;
    });
    quiet.solve();
    EXPECT_GT(checks, 0u);
    EXPECT_EQ(quiet.best().route, reference.best().route);

    Solver failing(TimeDelta::seconds(100), distance_only(rows));
    failing.set_stop_check([]() -> bool { throw std::runtime_error("interrupted"); });
    EXPECT_THROW(failing.solve(), std::runtime_error);
}

}  // namespace

// How the search copes with locations that have no windows.
namespace {

using namespace tourwright;
using namespace tourwright::test_support;

// n locations, every table full, 20-minute legs and 30-minute jobs; those in
// `with_windows` open 08:00-18:00, the others without a window.
struct WindowedProblem {
    Rows distances;
    TimeScheduler time;
    Penalizer penalizer() const { return Penalizer(DistanceMatrix{distances}, time); }
};

WindowedProblem windowed_problem(std::size_t n, const std::vector<std::size_t>& with_windows) {
    WindowedProblem p{Rows(n, std::vector<std::uint64_t>(n)), {}};
    const DateTime day = *DateTime::from_civil(2024, 3, 10);
    for (std::size_t i = 0; i < n; ++i) {
        for (std::size_t j = 0; j < n; ++j)
            p.distances[i][j] = i == j ? 0 : (i * 7 + j * 3) % 11 + 1;
        p.time.duration_matrix.emplace_back(n, minutes(20));
        p.time.job_durations.push_back(minutes(30));
        auto& windows = p.time.time_windows.emplace_back().windows;
        if (std::find(with_windows.begin(), with_windows.end(), i) != with_windows.end())
            windows.emplace_back(day + hours(8), day + hours(18));
    }
    return p;
}

struct StartCase {
    const char* name;
    std::vector<std::size_t> with_windows;
    Route start;
};

// Parameters print as their case name.
[[maybe_unused]] void PrintTo(const StartCase& c, std::ostream* os) { *os << c.name; }

class SolverWindowless : public ::testing::TestWithParam<StartCase> {};

TEST_P(SolverWindowless, StartsFromRotatedIdentity) {
    const StartCase& c = GetParam();
    const Solver solver(std::nullopt, windowed_problem(6, c.with_windows).penalizer());
    EXPECT_EQ(solver.current().route, c.start);
    EXPECT_EQ(solver.best().route, c.start);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SolverWindowless,
    ::testing::Values(StartCase{"EveryLocation", {0, 1, 2, 3, 4, 5}, {0, 1, 2, 3, 4, 5}},
                      StartCase{"OnlyFirst", {0}, {0, 1, 2, 3, 4, 5}},
                      StartCase{"ThirdAndFifth", {2, 4}, {2, 3, 4, 5, 0, 1}},
                      StartCase{"OnlyLast", {5}, {5, 0, 1, 2, 3, 4}}),
    [](const ::testing::TestParamInfo<StartCase>& info) { return info.param.name; });

TEST(SolverWindowlessSearch, WithoutTimeDataStartsFromIdentity) {
    WindowedProblem p = windowed_problem(5, {});
    const Solver solver(std::nullopt, Penalizer(DistanceMatrix{p.distances}, std::nullopt));
    EXPECT_EQ(solver.current().route, (Route{0, 1, 2, 3, 4}));
}

// Thrown from the trial observer to stop a search that accepted a trial that is not
// strictly better: such a descent need not end.
struct NonImprovingAcceptance {};

// Runs the search, checking each accepted trial against a full evaluation of its route:
// it must begin where a tour can start and be strictly better than the solution it
// replaces. Returns what stopped the search early, or nothing.
std::string solve_checked(Solver& solver, const Penalizer& judge) {
    Solution last = solver.current();
    solver.set_trial_observer([&](std::size_t i, std::size_t j, const Solution* accepted) {
        if (!accepted) return;
        EXPECT_TRUE(judge.can_start_tour(accepted->route.front()));
        Solution full = judge.penalize(accepted->route, false);
        if (!judge.is_better(full, last)) {
            ADD_FAILURE() << "trial (" << i << ", " << j << ") accepted without improving: "
                          << ::testing::PrintToString(accepted->route) << " (distance "
                          << full.reported_distance() << ") replaced "
                          << ::testing::PrintToString(last.route) << " (distance "
                          << last.reported_distance() << ")";
            throw NonImprovingAcceptance{};
        }
        last = std::move(full);
    });
    try {
        solver.solve();
    } catch (const Panic& failure) {
        return failure.message();
    } catch (const NonImprovingAcceptance&) {
        return "<stopped after a non-improving acceptance>";
    }
    return "";
}

TEST(SolverWindowlessSearch, TourAlwaysBeginsWhereAWindowIs) {
    // Only location 3 has a window, so any trial or restart that put another location in
    // front would have no start instant. Repeated runs cover many random restarts.
    const WindowedProblem p = windowed_problem(6, {3});
    const Penalizer judge = p.penalizer();
    for (int run = 0; run < 30; ++run) {
        SCOPED_TRACE(::testing::Message() << "run " << run);
        Solver solver(std::nullopt, p.penalizer());
        ASSERT_EQ(solve_checked(solver, judge), "");
        EXPECT_EQ(solver.iterations(), 1u);
        EXPECT_EQ(solver.best().route.front(), 3u);
        Route sorted = solver.best().route;
        std::sort(sorted.begin(), sorted.end());
        EXPECT_EQ(sorted, (Route{0, 1, 2, 3, 4, 5}));
        ASSERT_TRUE(solver.best().time_report.has_value());
        EXPECT_FALSE(solver.best().time_report->schedule.empty());
        // The last restart, never returned, is rotated the same way.
        EXPECT_EQ(solver.current().route.front(), 3u);
        if (HasFailure()) break;
    }
}

TEST(SolverWindowlessSearch, DescentStillImprovesBehindFixedStart) {
    // Only 3 -> 0 -> 1 -> 2 -> 4 -> 3 is cheap (5); the start 3 4 0 1 2 costs 32. Every
    // order takes the same time, so the distance decides.
    WindowedProblem p = windowed_problem(5, {3});
    for (auto& row : p.distances) std::fill(row.begin(), row.end(), 10);
    p.distances[3][0] = p.distances[0][1] = p.distances[1][2] = p.distances[2][4] =
        p.distances[4][3] = 1;
    Solver solver(std::nullopt, p.penalizer());
    EXPECT_EQ(solver.current().route, (Route{3, 4, 0, 1, 2}));
    ASSERT_EQ(solve_checked(solver, p.penalizer()), "");
    EXPECT_EQ(solver.best().route, (Route{3, 0, 1, 2, 4}));
    EXPECT_EQ(solver.best().reported_distance(), 5u);
}

TEST(SolverWindowlessSearch, NoWindowAnywherePanics) {
    const WindowedProblem p = windowed_problem(4, {});
    EXPECT_EQ(panic_message([&] { Solver solver(std::nullopt, p.penalizer()); }),
              "index out of bounds: the len is 0 but the index is 0");
}

TEST(SolverWindowlessSearch, CanStartTour) {
    const WindowedProblem p = windowed_problem(4, {1, 3});
    const Penalizer timed = p.penalizer();
    const Penalizer untimed(DistanceMatrix{p.distances}, std::nullopt);
    const std::vector<bool> expected{false, true, false, true, false};
    for (std::size_t loc = 0; loc < expected.size(); ++loc) {
        SCOPED_TRACE(::testing::Message() << "location " << loc);
        EXPECT_EQ(timed.can_start_tour(loc), expected[loc]);
        EXPECT_EQ(timed.time_scheduler()->can_start_tour(loc), expected[loc]);
        EXPECT_TRUE(untimed.can_start_tour(loc));
    }
}

}  // namespace
