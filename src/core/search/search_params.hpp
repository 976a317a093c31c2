#pragma once
// The iterated search's tuning. Each default was chosen by measurement with
// bench/bench_strategy.cpp (which can set any of them from its command line,
// `--param NAME=V,..`); the figures, instances and runs behind each are in
// bench/README.md.
#include <cstddef>
#include <cstdint>

namespace tourwright {

// The search for symmetric tours without time data (distance_only/).
struct DistanceOnlyParams {
    // Near lists by distance: alpha-nearness lists did worse, longer lists no better.
    std::size_t neighbours = 8;
    // The longest stretch an Or-move carries: 2 came out worse.
    std::size_t longest_moved = 3;
    // Levels of a chain of 2-opt moves (1: 2-opt alone): 6 far worse, 60 no better.
    std::size_t chain_depth = 30;
    // How many steps each level of a chain tries (the first, the second, every deeper
    // one; at most 8): every other mix of 4 to 8, 2 to 5 and a fourth level did worse.
    std::size_t chain_breadth_first = 5;
    std::size_t chain_breadth_second = 3;
    std::size_t chain_breadth_deeper = 1;
    // Tours from this size first try steps of sequential 3-opt levels on the
    // `alpha_candidates` alpha-nearest (after `ascent_steps` subgradient steps): they
    // pay on large tours only, where the chains alone do not reach deep basins in time.
    std::size_t three_opt_from = 4000;
    std::size_t alpha_candidates = 5;
    std::size_t ascent_steps = 300;
    // Levels of a 3-opt step (not tuned: deep steps are cheap on five candidates).
    std::uint64_t three_opt_depth = 50;
    // The ascent may take this share (1 / divisor) of the time left, so that short
    // limits still leave time for descents.
    std::uint64_t ascent_time_divisor = 10;
    // The most locations a chain's step may reverse: uncapped cost a fifth of the descents.
    std::size_t longest_reversal = 1000;
    // Kicks swap adjacent stretches of up to this many locations: 10 too short, 200 too long.
    std::size_t kick_stretch = 50;
    // How much longer than the walk's best tour (in millionths of the first local
    // optimum) a kicked tour may be and still be kept: less stalls, more drifts.
    std::uint64_t slack_ppm = 1000;
    // Beyond this many locations the slack stays that many average legs: a kick changes
    // a few legs wherever it falls, and a slack growing with the whole tour let large
    // tours drift.
    std::size_t slack_locations = 1000;
    // The walk's tour is crossed with the best one after every n / 2 descents, at least
    // this many apart: 100 and 1000 did about as well.
    std::uint64_t fewest_descents_between_crossings = 100;
    // The share of kicks (percent) that are double bridges next to near neighbours
    // (none where 3-opt steps run): they join what local kicks never bring together.
    std::uint64_t near_kick_percent = 30;
    // Descents without a new best of the walk (per location) before it goes back to the
    // best tour with `restart_kicks` near double bridges (0: never): without them a
    // seeded search returned the same tour at 10 s and 30 s.
    std::uint64_t stall_per_location = 20;
    std::size_t restart_kicks = 8;
};

struct IteratedSearchParams {
    // Neighbours each location's moves try; with time data `timed_neighbours` after the
    // first descent, whose cheaper descents let more runs reach the best basin.
    std::size_t neighbours = 10;
    std::size_t timed_neighbours = 5;
    // Kicks: two adjacent stretches of up to `longest_stretch` locations change places,
    // or `relocated` locations move next to a neighbour. Where windows are wide the
    // stretches may be as long as the locations that fit into one window's time
    // (`locations_per_window`, at most `longest_distance_only_stretch`), which finds the
    // best-known tours of wide-window sets far more often.
    std::size_t longest_stretch = 8;
    std::size_t relocated = 3;
    // Where the distance decides alone, a long stretch swap (a segment insertion the
    // short moves cannot make) is what takes large problems on once they stagnate: one
    // per `locations_per_distance_only_stretch` locations, at most
    // `longest_distance_only_stretch`.
    std::size_t longest_distance_only_stretch = 50;
    std::size_t locations_per_distance_only_stretch = 8;
    // Descents without a new best of the run before it goes back to its best tour.
    std::uint64_t patience = 50;
    // Descents without a new best of the run (at least this many, and at least one per
    // location, since kicks are local) before the next run begins from a random tour:
    // runs rarely leave the basin they settled in within their first 150 descents.
    std::uint64_t run_patience = 100;
    // And at least n^2 / this many: a restart's first descent costs time in the square of
    // the locations (seconds at 2000), so a large run that ends early wastes its restart.
    // At n = 2000 ten descents per location instead of one gave shorter tours at 30 s on
    // all six runs of bench_large_windows' W = 5000 and 20000 problems; up to 200
    // locations nothing changes.
    std::uint64_t run_patience_square_divisor = 200;

    // Symmetric tours without time data go to the dedicated search of
    // distance_only/distance_only_search.hpp (0 keeps them with the general one), tuned by
    // `distance_only`.
    bool distance_only_search = true;
    DistanceOnlyParams distance_only;
};

}  // namespace tourwright
