#pragma once
// The iterated search's tuning, each default chosen by measurement with
// bench/bench_strategy.cpp (which can set any of them from its command line).
#include <cstddef>
#include <cstdint>

namespace tourwright {

// The search for symmetric tours without time data (distance_only/).
struct DistanceOnlyParams {
    // Its neighbour lists, the longest stretch its Or-moves carry, and the longest
    // stretch of its kicks (double bridges of two adjacent stretches). Lists chosen by
    // alpha-nearness (a minimum 1-tree after 50 subgradient steps) instead of distance
    // did worse at n = 2000, 10 s against LKH on four problems: +0.067 % on average for
    // eight alpha-nearest, +0.045 / +0.038 % for the five / six nearest completed by
    // alpha-nearest, where the eight nearest came to +0.031 %; at n = 5000, 12 lists
    // did as well as 8.
    std::size_t neighbours = 8;
    std::size_t longest_moved = 3;
    // Levels of the chains of 2-opt moves its descent makes (1: 2-opt alone). At
    // n = 1000 and 2000, 10 s each against LKH, depth 6 came to +0.40 / +0.65 % where
    // 30 came to +0.13 / +0.25 % (before the segment swaps); 60 was no better.
    // Chains whose levels may also be sequential 3-opt moves (t4 on the side that
    // closes t2 .. t3 into a loop, opened again at a t5-t6 in it: the two stretches
    // swapped, or each reversed in place) did worse at n = 2000, 10 s, four problems
    // against LKH, where the 2-opt chains came to +0.027 % on average: mixed into the
    // same breadth +0.21 %, the best 3-opt step as one more try +0.064 %, 3-opt steps
    // only at the first level +0.17 %. Nor did a Lin-Kernighan step of 3-opt levels on
    // the five alpha-nearest (50 subgradient steps), breadth 1, depth 50, first gain
    // taken: +0.18 % in place of the 2-opt chains (with 2.4 times the descents), +0.22 %
    // before them, +0.049 % after them.
    std::size_t chain_depth = 30;
    // Tours of at least `three_opt_from` locations first try a Lin-Kernighan
    // step of sequential 3-opt levels on each location's `alpha_candidates`
    // alpha-nearest (after `ascent_steps` subgradient steps on the trees of the
    // `neighbours` nearest), then the chains. Measured with bench_strategy
    // --euclidean-only --side 40000 (bench_peers' square), gap over one LKH run or a
    // fixed length, three or more problems each, these steps (and no near kicks with
    // them) against the chains alone: at n = 5000 in 10 s +0.092 % against +0.194 %
    // (two seeds), in 30 s -0.141 % against -0.096 % (two problems), in 3 s (with near
    // kicks) +0.125 % against +0.19 to +0.30 %; at n = 10,000 in 10 s 0.22 points
    // shorter (one problem, with near kicks); at n = 4000 in 10 s 0.026 points shorter,
    // at n = 3000 0.014 longer, at n = 2000 +0.104 % against +0.087 % (eight problems),
    // and with near kicks at n = 1000 +0.048 % against +0.021 %: on smaller tours the
    // chains alone reach deep basins in the time and the step's first gains lead them
    // elsewhere. After the chains instead of before: +0.143 % at n = 5000, 10 s. The
    // ascent takes some 0.4 s at n = 5000 (at most a tenth of the time left).
    std::size_t three_opt_from = 4000;
    std::size_t alpha_candidates = 5;
    std::size_t ascent_steps = 300;
    // The most locations a step of those chains may reverse. Without the cap (2500)
    // at n = 5000 three problems came out 0.02 to 0.06 % shorter in 10 s, with a fifth
    // fewer descents, but two were no shorter in 30 s (+0.01 / -0.02 %); at n = 10,000
    // (5000 or 2500, 10 s) the descents fell by a third and two problems came to
    // -0.01 / +0.03 %.
    std::size_t longest_reversal = 1000;
    // How much longer than the best tour found (in millionths of the first local
    // optimum) a kicked tour may be and still replace the current one. Measured with
    // bench_strategy --euclidean-only at n = 1000 against one LKH run, 25 s of a loaded
    // machine: kicks of up to 10 with a slack of 500 came to +0.24 %; 5 or 30 with 500,
    // +0.84 % and +0.46 %; 10 with 200 or 900, +0.97 % and +0.60 %; without slack every
    // setting stalls near +0.8 %. With near kicks and restarts, 10 s, two problems at
    // n = 1000 and one at 2000: 250 came to +0.63 / +1.01 %, 500 to +0.63 / +0.78 %,
    // 1000 to +0.52 / +0.51 / +1.04 %, 2000 to +0.50 / +0.47 / +1.02 %, 4000 to
    // +0.66 / +0.69 / +1.46 %; the larger problems suffer first from too much slack,
    // and with 1000 against 500 bench_peers' n = 5000 came to +1.93 % from +1.55 %, hence
    // 1000 of the tour up to n = 1000 and, beyond, what that is in average legs.
    // With chains of 2-opt moves and segment swaps in the descent, longer kicks pay:
    // at n = 1000 and 2000, 10 s each against LKH, stretches of up to 10 came to
    // +0.09 / +0.13 / +0.16 / +0.25 %, 50 to +0.07 / +0.01 / +0.14 / +0.15 %, 100 to
    // +0.01 / +0.19 / +0.16 / +0.09 %; at n = 200 and 500 (2 s) 50 did as well as 25
    // and better than 10. Stretches of 200 came to -0.02 % at n = 5000 in 10 s (two
    // problems) but +0.03 / -0.01 % in 30 s, and at n = 2000 in 10 s to +0.08 % against
    // LKH where 100 came to +0.06 % and 50 to +0.03 % (four problems). In that setting
    // the two stretches never reversed came to +0.033 %, and three stretches X Y Z made
    // Z Y X (a double bridge) to +0.032 %, against +0.027 % as they are.
    std::size_t kick_stretch = 50;
    std::uint64_t slack_ppm = 1000;
    // The share of kicks (in percent) that are double bridges cut next to near
    // neighbours rather than two short adjacent stretches swapped (none where steps of
    // 3-opt levels run, see distance_only/distance_only_search.cpp). At n = 1000, 10 s
    // each on a heavily loaded machine, two problems, three runs: 0 came to +1.00 %
    // over LKH on average, 10 to +0.90 %, 30 to +0.85 %, 60 to +0.92 %; runs with
    // these kicks also varied less.
    std::uint64_t near_kick_percent = 30;
    // Descents without a new best of the walk (per location) before the search goes back
    // to its best tour and makes `restart_kicks` near double bridges at once (0:
    // never). Without
    // it a seeded search at n = 1000 returned the same tour at 10 s and 30 s. Over LKH,
    // 10 s each on a loaded machine, it is neutral within the noise so far: at n = 1000,
    // 0 came to +0.66 / +0.89 % and +0.66 / +0.61 %, 20 to +0.64 / +0.80 % and +0.63 /
    // +0.75 %, 100 to +0.65 / +0.88 %; at n = 2000, 0 to +1.05 %, 20 to +0.94 %.
    // With the present descent, n = 2000, 30 s, two problems against LKH: 20 with 8
    // kicks came to -0.004 / +0.007 %, 5 with 8 to +0.054 / +0.007 %, 3 with 8 to
    // +0.049 / +0.007 %, 3 with 32 to +0.054 / +0.019 %. At n = 1000, 10 s, eight
    // problems, where this setting came to +0.033 % on average (three of them stuck at
    // +0.04 to +0.11 %), every variation tried stayed within noise or did worse: 16,
    // 100 or 400 kicks +0.035 / +0.037 / +0.037 %, 5 per location +0.035 %, 3 with 32
    // kicks +0.033 %, 10 or 12 neighbours +0.054 / +0.090 %, and lists of 12 of which
    // each restart switches between the first 8 and all 12, +0.034 %. Which problems
    // stick changes with the setting, their lengths mostly do not: the basin the first
    // seconds reach decides. Fresh walks from nearest-neighbour tours at the start
    // (three of 50 descents per location, six of 25 or 40, ten of 15), each crossed
    // with the best tour at its end, came to +0.021 / +0.020 / +0.021 / +0.031 % there,
    // but at n = 2000 to +0.064 % (three) and +0.11 % (six) in 10 s, where this setting
    // came to +0.027 %, and to +0.030 % (three) in 30 s against +0.021 % (four problems).
    // A greedy-edge start tour in place of the nearest-neighbour one came to +0.032 %
    // at n = 1000 and +0.090 % at n = 2000 (10 s). Restarts from the best tour with a
    // window of 100 locations shuffled in place of the kicks: +0.035 % at n = 1000, and
    // +0.032 % with 5 descents per location.
    std::uint64_t stall_per_location = 20;
    std::size_t restart_kicks = 8;
    // At n = 2000 in 30 s (bench_strategy's four problems against one LKH run), where
    // these settings came to +0.034 % on average (seeds 2 to 4: +0.059 / +0.038 /
    // +0.023 %) and fast-tsp to -0.008 %, nothing tried did better beyond the runs' noise
    // (some 0.02 points): a slack of 300 ppm +0.015 % (seeds 2 to 4: +0.059 / +0.081 /
    // +0.050 %), of 100 ppm +0.036 %, 12 neighbours +0.037 %, chains of 50 levels
    // +0.057 %, Or-moves of up to 2 +0.079 %, reversals capped at 300 or 500 +0.072 /
    // +0.081 % (a third and a fifth more descents), restarts with 32 swaps of local
    // stretches of up to 200 +0.040 % (after 3 descents per location +0.064 %), steps of
    // 3-opt levels from 1000 locations with 30 or 6 % near kicks +0.078 / +0.049 %, near
    // kicks for 10 % of the kicks +0.059 / +0.038 % (seeds 1 / 3), for 50 % +0.019 /
    // +0.096 / +0.039 / +0.050 % (seeds 1 to 4).
};

struct IteratedSearchParams {
    // Neighbours each location's moves try. Longer lists slow large problems down
    // without a gain on small ones. With time data, `timed_neighbours` after the first
    // descent: descents get cheaper and more runs reach the best basin (on
    // GendreauDumasExtended n80w200, 29 runs found the best-known tour in 12 s of
    // search with five neighbours, 9 with ten, 1 with 25); the first descent alone
    // finds better tours with ten.
    std::size_t neighbours = 10;
    std::size_t timed_neighbours = 5;
    // Kicks: two adjacent stretches of up to `longest_stretch` locations change places,
    // or `relocated` locations move next to a neighbour. Where windows are wide the
    // stretches may be as long as the locations that fit into one window's time
    // (`locations_per_window`, at most `longest_distance_only_stretch`): on GendreauEtAl-extra
    // n100w200.001 (22 locations) at 1 s, 37 of 40 seeded runs found the best-known 570
    // where stretches of 8 found it in 22 (575 otherwise); ten runs of bench_instances.py
    // --sets GendreauEtAl-extra --time-limit 1, 8 of 10 and 1 of 10 (n100w200.005) off the
    // best-known before, 2 of 10 after. OhlmannThomas n150w140.001 (18) missed its
    // best-known in 34 of 60 runs before and 32 after; at 10 s GendreauDumasExtended n60 to
    // n100, OhlmannThomas and GendreauEtAl-extra all stayed on their best-known tours.
    std::size_t longest_stretch = 8;
    std::size_t relocated = 3;
    // Where the distance decides alone, nothing is thrown off by moving a long stretch,
    // and such a swap (a segment insertion, which the descent's short moves cannot
    // make) is what takes large problems on once they stagnate: at n = 500 and 1000
    // stretches of 40 to 80 do equally well where 8 and 20 leave tours 0.3 to 0.9 %
    // longer; at n = 200, 50 already throws too much away (25 and 12 do well). Hence
    // one per `locations_per_distance_only_stretch` locations, at most
    // `longest_distance_only_stretch`.
    std::size_t longest_distance_only_stretch = 50;
    std::size_t locations_per_distance_only_stretch = 8;
    // Descents without a new best of the run before it goes back to its best tour.
    std::uint64_t patience = 50;
    // Descents without a new best of the run (at least this many, and at least one per
    // location, since kicks are local) before it ends and the next begins from a random
    // tour. A run rarely leaves the basin it has settled in: on GendreauDumasExtended
    // n80w200 the runs that found the best-known tour did so within their first 150
    // descents; in 12 s of search, 37 to 41 runs found it with a patience of 100, 32 to
    // 35 with 81 (one per location), 25 with 200 and 16 with 400.
    std::uint64_t run_patience = 100;

    // Symmetric tours without time data go to the dedicated search of
    // distance_only/distance_only_search.hpp (0 keeps them with the general one), tuned by
    // `distance_only`.
    bool distance_only_search = true;
    DistanceOnlyParams distance_only;
};

}  // namespace tourwright
