#pragma once
// Turns the caller's plain integers into the time model. Durations arrive as
// seconds, instants as Unix seconds and times of day as seconds after midnight,
// all as unsigned 64-bit values whose upper half stands for negative counts.
#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "model/time_input.hpp"

namespace tourwright {

using SecondsPair = std::pair<std::uint64_t, std::uint64_t>;
// A break as (length, earliest start, latest start).
using BreakSeconds = std::array<std::uint64_t, 3>;

// The working week of a problem beyond its daily hours: open hours as intervals of Unix
// seconds, the locations whose windows bind only the start, and the breaks.
struct WeekArguments {
    std::optional<std::vector<SecondsPair>> open_hours;
    std::optional<std::vector<std::uint64_t>> start_windows;  // non-zero: the start rule
    std::optional<std::vector<BreakSeconds>> breaks;

    // Why they cannot be added to a problem of `locations` locations (whose daily hours
    // are given or not), naming the argument; nullopt when they can.
    std::optional<std::string> refusal(std::size_t locations, bool daily_hours_given) const;
    // Adds them to `scheduler`; refusal() must have found nothing.
    void add_to(TimeScheduler& scheduler) const;
};

// Seconds as a duration; panics "TimeDelta::seconds out of bounds" beyond +/- 9223372036854775 s.
TimeDelta seconds_to_delta(std::uint64_t seconds);

// Unix seconds as an instant; panics "called `Option::unwrap()` on a `None` value"
// outside -8334601315200 ..= 8210266876799 (-262144-12-31 to 262142-12-31T23:59:59).
DateTime unix_seconds_to_instant(std::uint64_t seconds);

// The opening hours (a, b) in seconds after midnight; nullopt when they span the
// whole day (a = b, or b - a = 86400 modulo 2^64).
std::optional<OperationTimes> operation_times_from_seconds(SecondsPair hours);

// Converts every given table (so each is validated) and returns the time model
// when the duration matrix, the job durations and the windows are all given.
// `between_rows`, called before each row of the duration matrix, may throw to abandon
// the work (a large matrix takes a while). Each row of seconds is freed once converted, so
// that the converted rows reuse its memory instead of touching as much again.
std::optional<TimeScheduler> assemble_time_scheduler(
    std::optional<std::vector<std::vector<std::uint64_t>>> duration_matrix,
    const std::optional<std::vector<std::uint64_t>>& job_durations,
    const std::optional<std::vector<std::vector<SecondsPair>>>& time_windows,
    const std::optional<SecondsPair>& operation_times,
    const std::function<void()>& between_rows = {});

}  // namespace tourwright
