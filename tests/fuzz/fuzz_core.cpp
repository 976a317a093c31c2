// Seeded fuzz driver for the core, meant to run under the sanitizers: random tables,
// windows near the ends of the calendar, durations near the ends of their range,
// operating hours (a daily pair or a calendar of instants), breaks, windows that bind
// only the start and optional locations go through the time conversion, the penalizer
// and one descent of the solver. A call may end only in one of the known panics;
// anything else (another exception, a sanitizer report, a disagreement between the two
// evaluation paths) ends the run with a failure.
//
//   fuzz_core [seconds [seed]]   runs for `seconds` (default 10) and prints how
//                                many inputs it tried and how each one ended.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <optional>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "evaluation/penalizer.hpp"
#include "model/time_arguments.hpp"
#include "search/iterated_search.hpp"
#include "search/solver.hpp"
#include "util/panic.hpp"

namespace {

using namespace tourwright;

using Rows = std::vector<std::vector<std::uint64_t>>;

constexpr std::int64_t kSecondsPerDay = 86'400;
constexpr std::uint64_t kLastUnixSecond = 8'210'266'876'799;  // 262142-12-31T23:59:59
constexpr std::uint64_t kFirstUnixSecond =
    static_cast<std::uint64_t>(std::int64_t{-8'334'601'315'200});  // -262144-12-31
constexpr std::uint64_t kMaxDeltaSeconds = 9'223'372'036'854'775;

[[noreturn]] void fail(const std::string& what, std::uint64_t seed, std::uint64_t input) {
    std::fprintf(stderr, "fuzz_core: %s (seed %llu, input %llu)\n", what.c_str(),
                 static_cast<unsigned long long>(seed), static_cast<unsigned long long>(input));
    std::abort();
}

class Draw {
public:
    explicit Draw(std::uint64_t seed) : rng_(seed) {}

    std::uint64_t below(std::uint64_t bound) {
        return std::uniform_int_distribution<std::uint64_t>(0, bound - 1)(rng_);
    }
    bool one_in(std::uint64_t odds) { return below(odds) == 0; }
    // Usually small; rarely next to a limit, or any 64-bit value at all.
    std::uint64_t near(std::uint64_t typical, std::initializer_list<std::uint64_t> limits) {
        switch (below(64)) {
            case 0: return rng_();
            case 1: {
                const std::uint64_t limit = *(limits.begin() + below(limits.size()));
                return limit + below(5) - 2;
            }
            default: return below(typical + 1);
        }
    }
    // A duration; below `cap` when one is given.
    std::uint64_t seconds(std::optional<std::uint64_t> cap) {
        if (cap) return below(*cap + 1);
        return near(4 * 3600, {kMaxDeltaSeconds, 0, ~kMaxDeltaSeconds + 1});
    }
    // An instant in Unix seconds, mostly in one week, sometimes at the calendar's ends.
    std::uint64_t instant(std::uint64_t base) {
        switch (below(40)) {
            case 0: return kLastUnixSecond - below(3 * kSecondsPerDay) + below(2);
            case 1: return kFirstUnixSecond + below(3 * kSecondsPerDay) - below(2);
            case 2: return rng_();
            default: return base + below(7 * kSecondsPerDay);
        }
    }

private:
    std::mt19937_64 rng_;
};

struct Input {
    Rows distances;
    std::optional<Rows> durations;
    std::optional<std::vector<std::uint64_t>> jobs;
    std::optional<std::vector<std::vector<SecondsPair>>> windows;
    std::optional<SecondsPair> hours;
    std::vector<SecondsPair> calendar;  // open intervals, used where no daily pair is given
    std::vector<std::tuple<std::uint64_t, std::uint64_t, std::uint64_t>>
        breaks;                // length, from, to
    std::vector<bool> starts;  // where windows bind only the start
    StopClasses classes;       // optional locations, some of the time
};

// Sometimes one entry short, so that lookups can fail.
template <class Value>
Rows random_table(Draw& draw, std::size_t n, Value value) {
    Rows rows(n);
    for (auto& row : rows) {
        row.resize(draw.one_in(20) ? draw.below(n + 1) : n);
        for (auto& entry : row) entry = value();
    }
    if (draw.one_in(20) && !rows.empty()) rows.pop_back();
    return rows;
}

Input random_input(Draw& draw) {
    Input input;
    const std::size_t n = draw.one_in(30) ? 0 : 1 + draw.below(9);
    input.distances = random_table(draw, n, [&] {
        return draw.near(1000, {UINT64_MAX, 1ull << 63});
    });
    if (draw.one_in(3)) {
        input.classes.resize(n);
        for (std::size_t k = 1; k < n; ++k)
            if (draw.one_in(2)) input.classes[k] = static_cast<std::int32_t>(draw.below(3));
    }
    if (draw.one_in(5)) return input;
    // The schedule of the best tour has a record per working day, so with short
    // openings the actions are kept within a few hundred days.
    std::optional<std::uint64_t> cap;
    if (draw.one_in(2)) {
        const std::uint64_t open = draw.below(kSecondsPerDay);
        const std::uint64_t length =
            draw.one_in(3) ? 1 + draw.below(60) : draw.below(kSecondsPerDay);
        input.hours = SecondsPair{open, open + length};
        if (draw.one_in(10)) input.hours = SecondsPair{draw.seconds({}), draw.seconds({})};
        cap = 400 * std::max<std::uint64_t>(length, 1);
    }
    input.durations = random_table(draw, n, [&] { return draw.seconds(cap); });
    input.jobs.emplace(n - (n > 0 && draw.one_in(20) ? 1 : 0));
    for (auto& job : *input.jobs) job = draw.seconds(cap);
    const std::uint64_t base = 1'700'000'000;
    if (!input.hours && draw.one_in(2)) {
        // Mostly ascending and apart; now and then touching, which is refused.
        std::uint64_t at = base + draw.below(kSecondsPerDay);
        for (std::uint64_t k = 1 + draw.below(12); k > 0; --k) {
            const std::uint64_t length = draw.one_in(8) ? draw.below(60) : 1 + draw.below(40000);
            input.calendar.emplace_back(at, at + length);
            at += length + (draw.one_in(30) ? 0 : 1 + draw.below(50000));
        }
    }
    if (draw.one_in(2)) {
        std::uint64_t at = base + draw.below(kSecondsPerDay);
        for (std::uint64_t k = draw.below(6); k > 0; --k) {
            const std::uint64_t length = draw.one_in(10) ? 1 : 1 + draw.below(4 * 3600);
            const std::uint64_t latest = at + draw.below(4 * 3600);
            input.breaks.emplace_back(length, at, latest);
            at = latest + length + 1 + draw.below(kSecondsPerDay);
        }
    }
    if (draw.one_in(2))
        for (std::size_t k = 0; k < n; ++k) input.starts.push_back(draw.one_in(2));
    input.windows.emplace(n);
    for (auto& list : *input.windows) {
        std::vector<std::uint64_t> bounds;
        for (std::uint64_t k = 2 * draw.below(4); k > 0; --k) bounds.push_back(draw.instant(base));
        if (!draw.one_in(10)) std::sort(bounds.begin(), bounds.end());
        for (std::size_t k = 0; k + 1 < bounds.size(); k += 2)
            list.emplace_back(bounds[k], bounds[k + 1]);
    }
    return input;
}

// 32-bit words for the iterated search, from a fixed seed.
struct Words {
    std::mt19937 rng{7};
    std::uint32_t next_u32() { return static_cast<std::uint32_t>(rng()); }
};

// A few kicked descents of the iterated search, whose kicked tours are judged by the
// evaluator alone: the best it returns must be what full evaluation makes of its route.
bool iterated_search_is_exact(const Penalizer& penalizer) {
    SearchClock clock(std::nullopt);
    clock.start();
    IteratedSearchOptions options;
    options.max_descents = 4;
    Route start(penalizer.location_count());
    for (std::size_t k = 0; k < start.size(); ++k) start[k] = k;
    Words words;
    const Solution best = iterated_search(penalizer, std::move(start), options, clock, words).best;
    return penalizer.objective(best) == penalizer.objective(penalizer.penalize(best.route, false));
}

struct Outcome {
    std::string panic;  // empty when the call returned
    Route route;
    std::uint64_t distance = 0;
    std::optional<TimeReport> report;
    // Of the iterated search on the same problem, after the solver returned.
    std::string search_panic;
    bool search_exact = true;
};

Outcome solve(const Input& input, bool full_evaluation) {
    Outcome outcome;
    try {
        auto scheduler =
            assemble_time_scheduler(input.durations, input.jobs, input.windows, input.hours);
        auto instant = [](std::uint64_t t) {
            return *DateTime::from_unix(static_cast<std::int64_t>(t));
        };
        if (scheduler && !input.calendar.empty()) {
            std::vector<OpenInterval> intervals;
            for (const auto& [open, close] : input.calendar)
                intervals.push_back({instant(open), instant(close)});
            scheduler->calendar = OpenCalendar(std::move(intervals));
        }
        if (scheduler) {
            for (const auto& [length, earliest, latest] : input.breaks)
                scheduler->breaks.push_back({TimeDelta::seconds(static_cast<std::int64_t>(length)),
                                             instant(earliest), instant(latest)});
            for (const bool start : input.starts)
                scheduler->window_rules.push_back(start ? WindowRule::Start : WindowRule::Whole);
        }
        const Penalizer penalizer(DistanceMatrix{input.distances}, std::move(scheduler), false,
                                  input.classes);
        Solver solver(std::nullopt, penalizer);
        if (full_evaluation) solver.use_full_evaluation();
        solver.solve();
        if (!full_evaluation && penalizer.location_count() > 1) try {
                outcome.search_exact = iterated_search_is_exact(penalizer);
            } catch (const Panic& failure) {
                outcome.search_panic = failure.message();
            }
        outcome.route = solver.best().route;
        outcome.distance = solver.best().reported_distance();
        outcome.report = solver.best().time_report;
    } catch (const Panic& failure) {
        outcome.panic = failure.message();
    }
    return outcome;
}

bool known_panic(const std::string& message) {
    static const char* const kKnown[] = {
        "TimeDelta::seconds out of bounds",   "called `Option::unwrap()` on a `None` value",
        "assertion failed: start <= end",     "assertion failed: daily_start < daily_end",
        "`TimeDelta + TimeDelta` overflowed", "`TimeDelta - TimeDelta` overflowed",
        "`DateTime + TimeDelta` overflowed",  "`DateTime - TimeDelta` overflowed",
    };
    for (const char* known : kKnown)
        if (message == known) return true;
    if (message == "assertion failed: open intervals ascend, each non-empty") return true;
    // Random windows can make a tour span centuries, whose schedule is refused, not built.
    return message.rfind("index out of bounds: the len is ", 0) == 0 ||
           message.rfind("the schedule of this tour spans too many days to build", 0) == 0;
}

bool same_totals(const std::optional<TimeReport>& a, const std::optional<TimeReport>& b) {
    if (!a || !b) return !a && !b;
    return a->duration == b->duration && a->lateness == b->lateness &&
           a->working_time == b->working_time && a->waiting_time == b->waiting_time &&
           a->traveling_time == b->traveling_time && a->break_time == b->break_time &&
           a->start_time == b->start_time && a->end_time == b->end_time &&
           a->schedule == b->schedule;
}

}  // namespace

int main(int argc, char** argv) {
    const double seconds = argc > 1 ? std::atof(argv[1]) : 10.0;
    const std::uint64_t seed = argc > 2 ? std::strtoull(argv[2], nullptr, 10) : 20261208;
    Draw draw(seed);
    std::map<std::string, std::uint64_t> endings;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    std::uint64_t inputs = 0;
    while (std::chrono::steady_clock::now() < deadline) {
        const Input input = random_input(draw);
        ++inputs;
        const Outcome fast = solve(input, false);
        if (!fast.panic.empty() && !known_panic(fast.panic))
            fail("unexpected panic: " + fast.panic, seed, inputs);
        if (!fast.search_panic.empty() && !known_panic(fast.search_panic))
            fail("unexpected panic of the iterated search: " + fast.search_panic, seed, inputs);
        if (!fast.search_exact)
            fail("the iterated search's best is not full evaluation's", seed, inputs);
        // The incremental evaluation must decide every trial as full evaluation does.
        const Outcome reference = solve(input, true);
        if (fast.panic != reference.panic || fast.route != reference.route ||
            fast.distance != reference.distance || !same_totals(fast.report, reference.report))
            fail("incremental and full evaluation disagree", seed, inputs);
        std::string ending = fast.panic.empty() ? "returned" : fast.panic;
        if (ending.rfind("index out of bounds", 0) == 0) ending = "index out of bounds";
        ++endings[ending];
    }
    std::printf("fuzz_core: %llu inputs in %.0f s (seed %llu), no failure\n",
                static_cast<unsigned long long>(inputs), seconds,
                static_cast<unsigned long long>(seed));
    for (const auto& [ending, count] : endings)
        std::printf("  %8llu  %s\n", static_cast<unsigned long long>(count), ending.c_str());
}
