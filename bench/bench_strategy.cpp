// The iterated search against the multi-start descent at equal time, on the
// classic TSPTW collection and on random Euclidean problems without windows.
//
// TSPTW: one instance per group of each set (n up to --max-n), customers relabelled
// by a seeded permutation so that the file order gives no hint, the depot first.
// The iterated search keeps the depot first; the multi-start descent cannot, so
// its tour is judged rotated to the depot. Tours are judged by the literature's
// rules from the depot (wait when early, a late arrival is a violation, back by
// the depot's due time); the gap is the travel time over the best-known value.
//   cmake -S . -B build/bench -DTOURWRIGHT_BUILD_BENCH=ON && cmake --build build/bench -j 2
//   build/bench/bench_strategy [--budget SECONDS] [--min-n N] [--max-n N] [--only NAME,NAME]
//       [--seed N] [--verbose] [--windows-only | --euclidean-only] [FOLDER]
//       [--sizes N,N,..] [--instances K] [--side S] [--reference FILE]
//       [--param NAME=V,V,..]..
// FOLDER holds instances/lopez-ibanez and instances/bks (default: ../shared/bench
// beside the project).
// Euclidean: K instances of each size (default 200, 500, 1000; one each), points in a
// square of side S (default 10000; bench_peers.py draws in one of 40000). With
// --reference (the output of bench/lkh_euclidean.py) the iterated search is judged
// by its gap over LKH's tour instead of against the multi-start descent.
// --param sweeps the iterated search's tuning (IteratedSearchParams, by member
// name): the benchmark runs once for each combination of the values given, e.g.
//   bench_strategy --euclidean-only --param distance_only.kick_stretch=10,30,50 --param
//   distance_only.neighbours=6,8
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <numeric>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "collection_instance.hpp"
#include "search/iterated_search.hpp"
#include "search/solver.hpp"

namespace {

using namespace tourwright;
namespace fs = std::filesystem;
using collection::Instance;
using collection::Matrix;
using collection::read_instance;

// (set, instance) -> best-known travel time, in file units.
std::map<std::pair<std::string, std::string>, double> read_best_known(const fs::path& csv) {
    std::map<std::pair<std::string, std::string>, double> best;
    std::ifstream in(csv);
    std::string line;
    std::getline(in, line);
    while (std::getline(in, line)) {
        std::vector<std::string> fields;
        std::istringstream cells(line);
        for (std::string cell; std::getline(cells, cell, ',');) fields.push_back(cell);
        if (fields.size() >= 4 && fields[2] == "traveltime")
            best[{fields[0], fields[1]}] = std::stod(fields[3]);
    }
    return best;
}

// Instances of one group differ only in their number: "n20w20.001" -> "n20w20";
// Langevin's end in two digits instead ("N20ft301" -> "N20ft3").
std::string group_of(const Instance& instance) {
    std::string name = instance.name;
    if (auto dot = name.rfind('.');
        dot != std::string::npos &&
        name.find_first_not_of("0123456789", dot + 1) == std::string::npos)
        return name.substr(0, dot);
    if (instance.set == "Langevin") return name.substr(0, name.size() - 2);
    return name;
}

void relabel_customers(Instance& instance, unsigned seed) {
    const std::size_t n = instance.travel.size();
    std::vector<std::size_t> old_of(n);
    std::iota(old_of.begin(), old_of.end(), std::size_t{0});
    std::mt19937 rng(seed);
    std::shuffle(old_of.begin() + 1, old_of.end(), rng);
    Instance relabelled = instance;
    for (std::size_t a = 0; a < n; ++a) {
        relabelled.windows[a] = instance.windows[old_of[a]];
        for (std::size_t b = 0; b < n; ++b)
            relabelled.travel[a][b] = instance.travel[old_of[a]][old_of[b]];
    }
    instance = std::move(relabelled);
}

// Travel time is the matrix, jobs take no time (service is in the matrix), and the
// depot's window is narrowed to its opening, when the tour leaves.
Penalizer penalizer_for(const Instance& instance) {
    const std::size_t n = instance.travel.size();
    const DateTime base = *DateTime::from_civil(2026, 1, 1);
    TimeScheduler scheduler;
    for (const auto& row : instance.travel) {
        auto& durations = scheduler.duration_matrix.emplace_back();
        for (std::uint64_t t : row)
            durations.push_back(TimeDelta::seconds(static_cast<std::int64_t>(t)));
    }
    scheduler.job_durations.assign(n, TimeDelta::zero());
    for (std::size_t k = 0; k < n; ++k) {
        const auto [ready, due] = instance.windows[k];
        scheduler.time_windows.push_back(TimeWindows{{TimeWindow(
            base + TimeDelta::seconds(ready), base + TimeDelta::seconds(k == 0 ? ready : due))}});
    }
    return Penalizer(DistanceMatrix{instance.travel}, std::move(scheduler));
}

struct Judged {
    std::uint64_t travel = 0;
    bool on_time = true;
};

// From the depot at its opening: wait when early; a late arrival, the return
// included, is a violation.
Judged judge(const Instance& instance, Route route) {
    std::rotate(route.begin(), std::find(route.begin(), route.end(), std::size_t{0}), route.end());
    route.push_back(0);
    Judged judged;
    std::int64_t t = instance.windows[0].first;
    for (std::size_t k = 0; k + 1 < route.size(); ++k) {
        const std::uint64_t leg = instance.travel[route[k]][route[k + 1]];
        judged.travel += leg;
        t = std::max(t + static_cast<std::int64_t>(leg), instance.windows[route[k + 1]].first);
        if (t > instance.windows[route[k + 1]].second) judged.on_time = false;
    }
    return judged;
}

struct SeededWords {
    std::mt19937 engine;
    std::uint32_t next_u32() { return static_cast<std::uint32_t>(engine()); }
};

Route multistart(const Penalizer& penalizer, double budget) {
    Solver solver(TimeDelta{static_cast<std::int64_t>(budget),
                            static_cast<std::int32_t>(std::fmod(budget, 1) * 1e9)},
                  penalizer);
    solver.solve();
    return solver.best().route;
}

// IteratedSearchParams' members by name, for --param.
struct Param {
    const char* name;
    std::function<void(IteratedSearchParams&, std::uint64_t)> set;
};
#define TOURWRIGHT_PARAM(member)                                                        \
    Param {                                                                             \
#member, [](IteratedSearchParams & p,                                           \
                    std::uint64_t v) { p.member = static_cast<decltype(p.member)>(v); } \
    }
const Param kParams[] = {
    TOURWRIGHT_PARAM(neighbours),
    TOURWRIGHT_PARAM(timed_neighbours),
    TOURWRIGHT_PARAM(longest_stretch),
    TOURWRIGHT_PARAM(relocated),
    TOURWRIGHT_PARAM(longest_distance_only_stretch),
    TOURWRIGHT_PARAM(locations_per_distance_only_stretch),
    TOURWRIGHT_PARAM(patience),
    TOURWRIGHT_PARAM(run_patience),
    TOURWRIGHT_PARAM(run_patience_square_divisor),
    TOURWRIGHT_PARAM(distance_only_search),
    TOURWRIGHT_PARAM(distance_only.neighbours),
    TOURWRIGHT_PARAM(distance_only.longest_moved),
    TOURWRIGHT_PARAM(distance_only.chain_depth),
    TOURWRIGHT_PARAM(distance_only.chain_breadth_first),
    TOURWRIGHT_PARAM(distance_only.chain_breadth_second),
    TOURWRIGHT_PARAM(distance_only.chain_breadth_deeper),
    TOURWRIGHT_PARAM(distance_only.three_opt_from),
    TOURWRIGHT_PARAM(distance_only.alpha_candidates),
    TOURWRIGHT_PARAM(distance_only.ascent_steps),
    TOURWRIGHT_PARAM(distance_only.three_opt_depth),
    TOURWRIGHT_PARAM(distance_only.ascent_time_divisor),
    TOURWRIGHT_PARAM(distance_only.longest_reversal),
    TOURWRIGHT_PARAM(distance_only.kick_stretch),
    TOURWRIGHT_PARAM(distance_only.slack_ppm),
    TOURWRIGHT_PARAM(distance_only.slack_locations),
    TOURWRIGHT_PARAM(distance_only.fewest_descents_between_crossings),
    TOURWRIGHT_PARAM(distance_only.near_kick_percent),
    TOURWRIGHT_PARAM(distance_only.stall_per_location),
    TOURWRIGHT_PARAM(distance_only.restart_kicks),
};
#undef TOURWRIGHT_PARAM

Route iterated(const Penalizer& penalizer, const IteratedSearchParams& params, double budget,
               unsigned seed, std::uint64_t* descents = nullptr) {
    SearchClock clock(TimeDelta{static_cast<std::int64_t>(budget),
                                static_cast<std::int32_t>(std::fmod(budget, 1) * 1e9)});
    SeededWords words{std::mt19937(seed)};
    Route start(penalizer.location_count());
    std::iota(start.begin(), start.end(), std::size_t{0});
    IteratedSearchOptions options;
    options.keep_first = 1;
    options.params = params;
    clock.start();
    SearchOutcome outcome = iterated_search(penalizer, std::move(start), options, clock, words);
    if (descents) *descents = outcome.descents;
    return outcome.best.route;
}

struct Tally {
    int count = 0, on_time = 0;
    double gap_sum = 0, worst = 0;
    void add(const Judged& judged, double best) {
        const double gap = 100.0 * (static_cast<double>(judged.travel) / best - 1);
        ++count;
        on_time += judged.on_time;
        gap_sum += gap;
        worst = std::max(worst, gap);
    }
    void print(const char* label) const {
        std::printf("  %-11s %3d/%-3d on time  mean gap %+7.3f %%  worst %+7.3f %%\n", label,
                    on_time, count, count ? gap_sum / count : 0.0, worst);
    }
};

void tsptw(const IteratedSearchParams& params, const fs::path& folder, double budget,
           std::size_t min_n, std::size_t max_n, const std::string& only, unsigned seed,
           bool verbose) {
    const auto best_known = read_best_known(folder / "instances" / "bks" / "best_known.csv");
    std::map<std::string, std::pair<Tally, Tally>> by_set;
    std::pair<Tally, Tally> overall;
    std::vector<fs::path> sets;
    for (const auto& entry : fs::directory_iterator(folder / "instances" / "lopez-ibanez"))
        if (entry.is_directory()) sets.push_back(entry.path());
    std::sort(sets.begin(), sets.end());
    for (const auto& set : sets) {
        std::vector<fs::path> files;
        for (const auto& entry : fs::directory_iterator(set)) files.push_back(entry.path());
        std::sort(files.begin(), files.end());
        std::set<std::string> groups_done;
        for (const auto& file : files) {
            auto instance = read_instance(file);
            if (!instance || instance->travel.size() > max_n || instance->travel.size() < min_n)
                continue;
            if (!groups_done.insert(group_of(*instance)).second) continue;
            if (!only.empty() &&
                ("," + only + ",").find("," + instance->name + ",") == std::string::npos)
                continue;
            const auto best = best_known.find({instance->set, instance->name});
            if (best == best_known.end()) continue;
            const double best_scaled =
                std::round(best->second * static_cast<double>(instance->scale));
            relabel_customers(*instance, 12345);
            const Penalizer penalizer = penalizer_for(*instance);
            const Judged a = judge(*instance, multistart(penalizer, budget));
            std::uint64_t descents = 0;
            const Judged b = judge(*instance, iterated(penalizer, params, budget, seed, &descents));
            auto& [ms, ils] = by_set[instance->set];
            ms.add(a, best_scaled);
            ils.add(b, best_scaled);
            overall.first.add(a, best_scaled);
            overall.second.add(b, best_scaled);
            if (verbose)
                std::printf(
                    "%-22s %-14s n=%4zu best %9.0f  multistart %9llu%s  iterated %9llu%s (%llu "
                    "descents)\n",
                    instance->set.c_str(), instance->name.c_str(), instance->travel.size(),
                    best_scaled, static_cast<unsigned long long>(a.travel),
                    a.on_time ? "" : " late", static_cast<unsigned long long>(b.travel),
                    b.on_time ? "" : " late", static_cast<unsigned long long>(descents));
        }
    }
    for (const auto& [set, tallies] : by_set) {
        std::printf("%s\n", set.c_str());
        tallies.first.print("multistart");
        tallies.second.print("iterated");
    }
    std::printf("all sets\n");
    overall.first.print("multistart");
    overall.second.print("iterated");
}

// Points drawn by splitmix64 seeded with n + 1000003 * instance (instance 0 seeded
// with n), so that bench/lkh_euclidean.py can give the same problems to LKH:
// x, y = side * (word >> 11) / 2^53, in turn.
Matrix random_euclidean(std::size_t n, std::size_t instance, double side) {
    std::uint64_t state = n + 1000003 * instance;
    auto coordinate = [&] {
        std::uint64_t z = state += 0x9E3779B97F4A7C15ULL;
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
        z ^= z >> 31;
        return side * static_cast<double>(z >> 11) / 9007199254740992.0;
    };
    std::vector<std::pair<double, double>> points(n);
    for (auto& [x, y] : points) x = coordinate(), y = coordinate();
    Matrix rows(n, std::vector<std::uint64_t>(n));
    for (std::size_t a = 0; a < n; ++a)
        for (std::size_t b = 0; b < n; ++b)
            rows[a][b] = static_cast<std::uint64_t>(std::floor(
                std::hypot(points[a].first - points[b].first, points[a].second - points[b].second) +
                0.5));
    return rows;
}

// LKH's tour lengths by (n, instance), as bench/lkh_euclidean.py prints them: lines
// "n instance length seconds" after a header.
std::map<std::pair<std::size_t, std::size_t>, std::uint64_t> read_reference(const fs::path& path) {
    std::map<std::pair<std::size_t, std::size_t>, std::uint64_t> lengths;
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream words(line);
        std::size_t n = 0, instance = 0;
        std::uint64_t length = 0;
        if (words >> n >> instance >> length) lengths[{n, instance}] = length;
    }
    return lengths;
}

// One line of the table: against LKH's `reference` length when given, else against
// the multi-start descent.
void euclidean_problem(const IteratedSearchParams& params, std::size_t n, std::size_t k,
                       double side, double budget, unsigned seed,
                       std::optional<std::uint64_t> reference) {
    const Matrix rows = random_euclidean(n, k, side);
    const Penalizer penalizer(DistanceMatrix{rows}, std::nullopt);
    const auto length = [&](const Route& route) {
        return penalizer.penalize(route, false).reported_distance();
    };
    const std::uint64_t a = reference ? *reference : length(multistart(penalizer, budget));
    std::uint64_t descents = 0;
    const std::uint64_t b = length(iterated(penalizer, params, budget, seed, &descents));
    const double ratio = static_cast<double>(b) / static_cast<double>(a);
    std::printf("%6zu %4zu %12llu %12llu %8.4f %10llu\n", n, k, static_cast<unsigned long long>(a),
                static_cast<unsigned long long>(b), reference ? 100 * (ratio - 1) : ratio,
                static_cast<unsigned long long>(descents));
    std::fflush(stdout);
}

void euclidean(const IteratedSearchParams& params, double budget, unsigned seed,
               const std::vector<std::size_t>& sizes, std::size_t instances, double side,
               const fs::path& reference) {
    const auto lkh =
        reference.empty() ? decltype(read_reference(reference)){} : read_reference(reference);
    std::printf("random Euclidean, no windows (tour length)\n%6s %4s %12s %12s %8s %10s\n", "n",
                "inst", reference.empty() ? "multistart" : "LKH", "iterated",
                reference.empty() ? "ratio" : "gap %", "descents");
    for (std::size_t n : sizes) {
        for (std::size_t k = 0; k < instances; ++k) {
            const auto found = lkh.find({n, k});
            if (!reference.empty() && found == lkh.end())
                std::printf("%6zu %4zu (no reference)\n", n, k);
            else
                euclidean_problem(params, n, k, side, budget, seed,
                                  found == lkh.end() ? std::nullopt : std::optional(found->second));
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    double budget = 1;
    std::size_t min_n = 0, max_n = 101;
    bool verbose = false, windows = true, euclidean_problems = true;
    std::string only;
    unsigned seed = 7;
    std::vector<std::size_t> sizes{200, 500, 1000};
    std::size_t instances = 1;
    double side = 10000;
    fs::path reference;
    fs::path folder = fs::path(TOURWRIGHT_SOURCE_DIR) / ".." / "shared" / "bench";
    std::vector<std::pair<const Param*, std::vector<std::uint64_t>>> sweep;
    for (int k = 1; k < argc; ++k) {
        const std::string arg = argv[k];
        if (arg == "--budget" && k + 1 < argc)
            budget = std::atof(argv[++k]);
        else if (arg == "--max-n" && k + 1 < argc)
            max_n = std::strtoul(argv[++k], nullptr, 10);
        else if (arg == "--min-n" && k + 1 < argc)
            min_n = std::strtoul(argv[++k], nullptr, 10);
        else if (arg == "--only" && k + 1 < argc)
            only = argv[++k];
        else if (arg == "--seed" && k + 1 < argc)
            seed = static_cast<unsigned>(std::atoi(argv[++k]));
        else if (arg == "--verbose")
            verbose = true;
        else if (arg == "--sizes" && k + 1 < argc) {
            sizes.clear();
            std::istringstream list(argv[++k]);
            for (std::string size; std::getline(list, size, ',');)
                sizes.push_back(std::stoul(size));
        } else if (arg == "--instances" && k + 1 < argc)
            instances = std::strtoul(argv[++k], nullptr, 10);
        else if (arg == "--side" && k + 1 < argc)
            side = std::atof(argv[++k]);
        else if (arg == "--reference" && k + 1 < argc)
            reference = argv[++k];
        else if (arg == "--param" && k + 1 < argc) {
            const std::string setting = argv[++k];
            const std::string name = setting.substr(0, setting.find('='));
            const auto param = std::find_if(std::begin(kParams), std::end(kParams),
                                            [&](const Param& p) { return name == p.name; });
            if (param == std::end(kParams) || setting.find('=') == std::string::npos) {
                std::fprintf(stderr, "--param wants NAME=V,V,..; the names:");
                for (const Param& p : kParams) std::fprintf(stderr, " %s", p.name);
                std::fprintf(stderr, "\n");
                return 2;
            }
            std::vector<std::uint64_t> values;
            std::istringstream list(setting.substr(name.size() + 1));
            for (std::string value; std::getline(list, value, ',');)
                values.push_back(std::stoull(value));
            sweep.emplace_back(&*param, std::move(values));
        } else if (arg == "--windows-only")
            euclidean_problems = false;
        else if (arg == "--euclidean-only")
            windows = false;
        else
            folder = arg;
    }
    if (windows && !fs::is_directory(folder / "instances" / "lopez-ibanez")) {
        std::fprintf(stderr,
                     "no TSPTW collection at %s (expected instances/lopez-ibanez there); "
                     "give its folder as the argument\n",
                     folder.string().c_str());
        return 2;
    }
    // Each combination of the swept values in turn, the last parameter fastest.
    std::vector<std::size_t> choice(sweep.size(), 0);
    for (bool more = true; more;) {
        IteratedSearchParams params;
        for (std::size_t p = 0; p < sweep.size(); ++p) {
            sweep[p].first->set(params, sweep[p].second[choice[p]]);
            std::printf("%s%s=%llu", p ? " " : "params: ", sweep[p].first->name,
                        static_cast<unsigned long long>(sweep[p].second[choice[p]]));
        }
        if (!sweep.empty()) std::printf("\n");
        if (windows) tsptw(params, folder, budget, min_n, max_n, only, seed, verbose);
        if (euclidean_problems) euclidean(params, budget, seed, sizes, instances, side, reference);
        more = false;
        for (std::size_t p = sweep.size(); p-- > 0 && !more;) {
            more = ++choice[p] < sweep[p].second.size();
            if (!more) choice[p] = 0;
        }
    }
    return 0;
}
