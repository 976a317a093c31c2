// One descent (no time limit) per problem with time windows, deciding every trial
// two ways side by side: the reference evaluates each trial route in full on the
// time data in plain integer seconds; the incremental path is the library's own
// (the solver's CurrentTour and its trial evaluator). Both must take the same
// decisions. Also: the library's own solver on the same problem, distance-only
// trials per second on the same matrix, which rule settled each incremental trial,
// the time the incremental descent spent on its acceptances (the summaries rebuilt,
// and the time report of the final tour) and its trials per second without them. Problems: four
// instances of the public TSPTW collection (the depot's window narrowed to its
// opening, so that a tour without lateness leaves the depot first) and random
// problems with one 30-120 minute window per location along a feasible tour.
//
// Then a working week of 200 stops (08:00-17:00, windows of one to three hours along a
// random tour of six days) in five forms side by side, each with its cost per trial as a
// ratio to the first: the daily pair; the same hours as a calendar of instants; the daily
// pair with a half-hour break a day between 11:30 and 13:30; windows that bind only the
// start; and all three together.
//
//   cmake -S . -B build/bench -DTOURWRIGHT_BUILD_BENCH=ON && cmake --build build/bench -j 2
//   build/bench/bench_time_trials [BENCH_FOLDER] [--reference-seconds S] [--repeat R]
//
// BENCH_FOLDER holds instances/lopez-ibanez/... (default: ../shared/bench beside the
// project). The reference descent stops after S seconds (default 5, 0: no limit);
// since both ways take the same decisions, its time for the whole descent is then
// extrapolated from its trials per second, and marked "~". The incremental and the
// distance-only descents are timed as the best of R runs (default 3).
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <numeric>
#include <optional>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "collection_instance.hpp"
#include "euclidean_points.hpp"
#include "evaluation/seconds_schedule.hpp"
#include "evaluation/trial_evaluator.hpp"
#include "search/current_tour.hpp"
#include "search/local_moves.hpp"
#include "search/solver.hpp"

namespace {

using namespace tourwright;
using Clock = std::chrono::steady_clock;
using Rows = std::vector<std::vector<std::uint64_t>>;

double seconds_since(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

struct Problem {
    std::string name;
    Rows distances;
    TimeScheduler time;
};

// Travel takes the distance in seconds; no job durations (the collection folds
// service times into the matrix); one window per location.
TimeScheduler windows_of(const Rows& rows,
                         const std::vector<std::pair<std::int64_t, std::int64_t>>& windows) {
    TimeScheduler time;
    for (const auto& row : rows) {
        auto& durations = time.duration_matrix.emplace_back();
        for (std::uint64_t d : row)
            durations.push_back(TimeDelta::seconds(static_cast<std::int64_t>(d)));
        time.job_durations.push_back(TimeDelta::zero());
    }
    for (const auto& [ready, due] : windows)
        time.time_windows.push_back(
            TimeWindows{{TimeWindow(*DateTime::from_unix(ready), *DateTime::from_unix(due))}});
    return time;
}

// An instance of the collection, with the depot's window narrowed to its opening.
// Integers only (the four instances used are).
std::optional<Problem> read_matrix_instance(const std::filesystem::path& path) {
    auto instance = collection::read_instance(path);
    if (!instance || instance->scale != 1) return std::nullopt;
    Problem problem;
    problem.distances = std::move(instance->travel);
    instance->windows[0].second = instance->windows[0].first;
    problem.time = windows_of(problem.distances, instance->windows);
    return problem;
}

// A window of 30 to 120 minutes around each location's visit on a random tour
// (travel in seconds, ten times the distance), the first location's from its start.
Problem random_problem(std::size_t n) {
    std::mt19937 rng(static_cast<unsigned>(n));
    Problem problem{"random", euclidean::random_rows(n, rng), {}};
    for (auto& row : problem.distances)
        for (auto& d : row) d *= 10;
    std::vector<std::size_t> order(n);
    std::iota(order.begin(), order.end(), std::size_t{0});
    std::shuffle(order.begin() + 1, order.end(), rng);
    std::vector<std::pair<std::int64_t, std::int64_t>> windows(n);
    std::uniform_int_distribution<std::int64_t> width(1800, 7200);
    std::int64_t clock = 1'800'000'000;
    windows[0] = {clock, clock};
    for (std::size_t k = 1; k < n; ++k) {
        clock += static_cast<std::int64_t>(problem.distances[order[k - 1]][order[k]]);
        const std::int64_t w = width(rng);
        const std::int64_t open = clock - std::uniform_int_distribution<std::int64_t>(0, w)(rng);
        windows[order[k]] = {open, open + w};
    }
    problem.time = windows_of(problem.distances, windows);
    return problem;
}

// One descent decided by `decide(route, move, i, j)`, which returns whether the
// trial improves and, when it does, has made it the current route. Stops once a
// pass improves nothing, or when `limit` seconds have passed (0: never).
struct Descent {
    std::uint64_t trials = 0;
    std::vector<std::uint64_t> accepted;  // the trial numbers of the acceptances
    double seconds = 0;
    bool finished = true;
};

template <class Decide>
Descent descend(std::size_t n, Decide&& decide, double limit = 0) {
    Descent descent;
    const auto start = Clock::now();
    bool improved = true;
    while (improved) {
        improved = false;
        for (const LocalMove& move : kLocalMoves) {
            for (std::size_t i = 0; i < n; ++i) {
                for (std::size_t j = i + move.gap + 1; j < n; ++j) {
                    ++descent.trials;
                    if (decide(move, i, j)) {
                        improved = true;
                        descent.accepted.push_back(descent.trials);
                    }
                }
            }
            if (limit > 0 && seconds_since(start) > limit) {
                descent.finished = false;
                descent.seconds = seconds_since(start);
                return descent;
            }
        }
    }
    decide.finish();
    descent.seconds = seconds_since(start);
    return descent;
}

// The reference: every trial route evaluated in full on integer seconds, passage by
// passage, compared by (lateness, traveling time, duration, breaks taken, distance) as
// the penalizer compares (waiting time follows from the other keys: the more breaks,
// the less waiting).
class FullIntegerEvaluation {
public:
    FullIntegerEvaluation(const Problem& problem, const SecondsSchedule& schedule, Route start)
        : problem_(problem),
          schedule_(schedule),
          route_(std::move(start)),
          keys_(evaluate(route_)) {}

    void finish() {}
    bool operator()(const LocalMove& move, std::size_t i, std::size_t j) {
        Route trial = route_;
        move.apply(trial, i, j);
        if (!schedule_.can_start_tour(trial[0])) return false;
        const Keys keys = evaluate(trial);
        if (!(keys < keys_)) return false;
        route_ = std::move(trial);
        keys_ = keys;
        return true;
    }
    const Route& route() const { return route_; }

private:
    using Keys = std::tuple<std::int64_t, std::int64_t, std::int64_t, std::int64_t, Distance>;
    Keys evaluate(const Route& route) const {
        const std::int64_t start = schedule_.tour_start(route[0]);
        SecondsClock clock = schedule_.starting_at(start);
        std::int64_t traveling = 0;
        Distance distance = 0;
        for (std::size_t k = 0; k < route.size(); ++k) {
            const std::size_t next = route[(k + 1) % route.size()];
            schedule_.pass(clock, k > 0 ? schedule_.travel_seconds(route[k - 1], route[k]) : 0,
                           route[k]);
            traveling += schedule_.travel_seconds(route[k], next);
            distance += problem_.distances[route[k]][next];
        }
        schedule_.return_leg(clock, schedule_.travel_seconds(route.back(), route.front()));
        return {clock.lateness, traveling, clock.at - start, -clock.on_break, distance};
    }

    const Problem& problem_;
    const SecondsSchedule& schedule_;
    Route route_;
    Keys keys_;
};

// The library's own path: trials decided and accepted by the solver's CurrentTour,
// the time report built by full evaluation once the descent ends.
class Incremental {
public:
    Incremental(const Penalizer& penalizer, const Route& start)
        : tour_(penalizer, penalizer.penalize(start, false), true) {}

    bool operator()(const LocalMove& move, std::size_t i, std::size_t j) {
        if (!tour_.try_move(move, i, j)) return false;
        taken_.push_back({&move, i, j});
        return true;
    }
    void finish() { tour_.complete(); }
    const Route& route() const { return tour_.solution().route; }
    const TrialEvaluator& evaluator() const { return *tour_.evaluator(); }

    // The time the acceptances took: the same tour from `start` with only the taken
    // trials tried again (each is accepted again), and the time report built at the end.
    double accepting(const Penalizer& penalizer, const Route& start) const {
        CurrentTour replay(penalizer, penalizer.penalize(start, false), true);
        const auto begin = Clock::now();
        for (const auto& [move, i, j] : taken_) replay.try_move(*move, i, j);
        replay.complete();
        return seconds_since(begin);
    }

private:
    struct Taken {
        const LocalMove* move;
        std::size_t i, j;
    };
    CurrentTour tour_;
    std::vector<Taken> taken_;
};

// The solver's start: the identity order, rotated to a location with a window.
Route solver_start_route(const Penalizer& penalizer) {
    return start_route(penalizer, identity_route(penalizer.location_count()));
}

const char* const kRuleNames[] = {"before",   "stretch", "rest-lost", "meet",
                                  "rejoined", "order",   "to-end"};

// Whether both ways decided alike, and the incremental descent's seconds per trial.
struct Measured {
    bool same = false;
    double per_trial = 0;
};

Measured run(const Problem& problem, double reference_limit, int repeats) {
    const std::size_t n = problem.distances.size();
    const Penalizer timed(DistanceMatrix{problem.distances}, problem.time);
    const Penalizer untimed(DistanceMatrix{problem.distances}, std::nullopt);
    if (!TrialEvaluator::for_problem(timed)) {
        std::printf("%-28s %5zu  incremental evaluation unavailable\n", problem.name.c_str(), n);
        return {};
    }
    const Route start = solver_start_route(timed);

    // The fast descents are short: the best of `repeats` runs, against a noisy machine.
    // Every run takes the same decisions, so the last one stands for all.
    std::optional<Incremental> incremental;
    auto best_of = [&](const Penalizer& penalizer) {
        Descent best;
        for (int k = 0; k < repeats; ++k) {
            incremental.emplace(penalizer, start);
            const Descent descent = descend(n, *incremental);
            if (k == 0 || descent.seconds < best.seconds) best = descent;
        }
        return best;
    };
    const Descent distance = best_of(untimed);
    const Descent fast = best_of(timed);
    const double accepting = incremental->accepting(timed, start);
    const SecondsSchedule schedule = *SecondsSchedule::compile(problem.time, n);
    FullIntegerEvaluation reference(problem, schedule, start);
    const Descent full = descend(n, reference, reference_limit);
    const bool same =
        full.finished
            ? full.accepted == fast.accepted && reference.route() == incremental->route()
            : std::equal(full.accepted.begin(), full.accepted.end(), fast.accepted.begin());

    Solver solver(std::nullopt, timed);
    const auto solver_start = Clock::now();
    solver.solve();
    const double solver_seconds = seconds_since(solver_start);
    const bool solver_same = solver.best().route == incremental->route();

    const double reference_rate = static_cast<double>(full.trials) / full.seconds;
    const double reference_seconds =
        full.finished ? full.seconds : static_cast<double>(fast.trials) / reference_rate;
    const double fast_rate = static_cast<double>(fast.trials) / fast.seconds;
    const double distance_rate = static_cast<double>(distance.trials) / distance.seconds;
    // Trials per second with the acceptances' time left out: the cost of deciding alone.
    const double deciding_rate = static_cast<double>(fast.trials) / (fast.seconds - accepting);
    std::printf("%-28s %5zu %9llu %6zu %s%9.3f %9.4f %7.0fx %7.4f %9.2f %9.2f %9.2f %6.2f %8.3f ",
                problem.name.c_str(), n, static_cast<unsigned long long>(fast.trials),
                fast.accepted.size(), full.finished ? " " : "~", reference_seconds, fast.seconds,
                reference_seconds / fast.seconds, accepting, fast_rate / 1e6, deciding_rate / 1e6,
                distance_rate / 1e6, fast_rate / distance_rate, solver_seconds);
    const auto& counts = incremental->evaluator().rule_counts();
    for (std::size_t r = 0; r < counts.size(); ++r)
        std::printf(" %s %.1f%%", kRuleNames[r],
                    100.0 * static_cast<double>(counts[r]) / static_cast<double>(fast.trials));
    std::printf("\n");
    if (!same || !solver_same)
        std::printf("  DIFFERENT DECISIONS: reference %s, solver %s\n", same ? "same" : "differs",
                    solver_same ? "same" : "differs");
    return {same && solver_same, fast.seconds / static_cast<double>(fast.trials)};
}

// The week of 200 stops in its five forms (see the top of this file).
std::vector<Problem> week_forms(std::size_t n) {
    std::mt19937 rng(2026);
    const Rows rows = euclidean::random_rows(n, rng);
    constexpr std::int64_t kMonday = 1'797'206'400;  // 2026-12-14 00:00 UTC
    constexpr std::int64_t kOpen = 8 * 3600, kClose = 17 * 3600, kDay = 86'400;
    std::vector<std::size_t> order(n);
    std::iota(order.begin(), order.end(), std::size_t{0});
    std::shuffle(order.begin() + 1, order.end(), rng);
    std::vector<std::int64_t> jobs(n);
    std::vector<std::pair<std::int64_t, std::int64_t>> windows(n);
    std::int64_t clock = kMonday + kOpen;
    windows[0] = {clock, clock};
    for (std::size_t k = 1; k < n; ++k) {
        clock += static_cast<std::int64_t>(rows[order[k - 1]][order[k]]);
        jobs[order[k]] = std::uniform_int_distribution<std::int64_t>(300, 600)(rng);
        if ((clock - kMonday) % kDay + jobs[order[k]] > kClose) clock += kDay - kClose + kOpen;
        const std::int64_t w = std::uniform_int_distribution<std::int64_t>(3600, 3 * 3600)(rng);
        const std::int64_t open = clock - std::uniform_int_distribution<std::int64_t>(0, w)(rng);
        windows[order[k]] = {open, open + w};
        clock += jobs[order[k]];
    }
    TimeScheduler daily = windows_of(rows, windows);
    for (std::size_t k = 0; k < n; ++k) daily.job_durations[k] = TimeDelta::seconds(jobs[k]);
    daily.operation_times = OperationTimes({kOpen, 0}, {kClose, 0});
    std::vector<OpenInterval> intervals;
    std::vector<BreakRule> breaks;
    for (std::int64_t day = 0; day < 28; ++day) {
        const std::int64_t midnight = kMonday + day * kDay;
        intervals.push_back(
            {*DateTime::from_unix(midnight + kOpen), *DateTime::from_unix(midnight + kClose)});
        breaks.push_back({TimeDelta::seconds(1800), *DateTime::from_unix(midnight + 41400),
                          *DateTime::from_unix(midnight + 48600)});
    }
    TimeScheduler calendar = daily;
    calendar.operation_times.reset();
    calendar.calendar = OpenCalendar(intervals);
    TimeScheduler with_breaks = daily;
    with_breaks.breaks = breaks;
    TimeScheduler starts = daily;
    starts.window_rules.assign(n, WindowRule::Start);
    TimeScheduler all = calendar;
    all.breaks = breaks;
    all.window_rules = starts.window_rules;
    return {{"week: daily pair", rows, daily},
            {"week: calendar", rows, calendar},
            {"week: breaks", rows, with_breaks},
            {"week: start rule", rows, starts},
            {"week: all three", rows, all}};
}

// Distance-only trials per second at n = 1000, over at most `limit` seconds of one descent
// (the best of `repeats`).
void distance_rate_at_1000(double limit, int repeats) {
    std::mt19937 rng(1000);
    const Penalizer penalizer(DistanceMatrix{euclidean::random_rows(1000, rng)}, std::nullopt);
    Descent descent;
    for (int k = 0; k < repeats; ++k) {
        Incremental incremental(penalizer, solver_start_route(penalizer));
        const Descent run = descend(1000, incremental, limit);
        if (k == 0 || run.seconds < descent.seconds) descent = run;
    }
    std::printf("distance only, random n = 1000: %llu trials in %.2f s%s: %.1f million trials/s\n",
                static_cast<unsigned long long>(descent.trials), descent.seconds,
                descent.finished ? " (whole descent)" : " (part of a descent)",
                static_cast<double>(descent.trials) / descent.seconds / 1e6);
}

}  // namespace

int main(int argc, char** argv) {
    std::filesystem::path folder =
        std::filesystem::path(TOURWRIGHT_SOURCE_DIR) / ".." / "shared" / "bench";
    double reference_limit = 5;
    int repeats = 3;
    for (int a = 1; a < argc; ++a) {
        const std::string arg = argv[a];
        if (arg == "--reference-seconds" && a + 1 < argc) {
            reference_limit = std::atof(argv[++a]);
        } else if (arg == "--repeat" && a + 1 < argc) {
            repeats = std::max(1, std::atoi(argv[++a]));
        } else if (arg.starts_with("--")) {
            std::fprintf(stderr, "usage: %s [BENCH_FOLDER] [--reference-seconds S] [--repeat R]\n",
                         argv[0]);
            return 2;
        } else {
            folder = arg;
        }
    }
    std::vector<Problem> problems;
    const char* const instances[] = {"Dumas/n100w60.001.txt", "Dumas/n200w40.001.txt",
                                     "OhlmannThomas/n200w120.001.txt", "AFG/rbg233.tw"};
    for (const char* name : instances) {
        const auto path = folder / "instances" / "lopez-ibanez" / name;
        if (auto problem = read_matrix_instance(path)) {
            problem->name = name;
            problems.push_back(std::move(*problem));
        } else {
            std::printf(
                "missing or unreadable: %s (pass the folder holding instances/lopez-ibanez as "
                "the first argument)\n",
                path.lexically_normal().c_str());
        }
    }
    for (std::size_t n : {100, 200, 500}) problems.push_back(random_problem(n));

    std::printf("%-28s %5s %9s %6s %10s %9s %8s %7s %9s %9s %9s %6s %8s  settled by\n", "problem",
                "n", "trials", "taken", "ref [s]", "incr [s]", "ratio", "acc [s]", "Mtrial/s",
                "decide/s", "dist Mt/s", "t/d", "solver[s]");
    bool all_same = true;
    for (const Problem& problem : problems)
        all_same = run(problem, reference_limit, repeats).same && all_same;
    std::vector<std::pair<std::string, double>> costs;
    for (const Problem& problem : week_forms(200)) {
        const Measured measured = run(problem, reference_limit, repeats);
        all_same = measured.same && all_same;
        costs.emplace_back(problem.name, measured.per_trial);
    }
    for (const auto& [name, per_trial] : costs)
        std::printf("%-28s %7.3f us/trial  %5.2fx the daily pair\n", name.c_str(), per_trial * 1e6,
                    per_trial / costs.front().second);
    distance_rate_at_1000(3, repeats);
    return all_same ? 0 : 1;
}
