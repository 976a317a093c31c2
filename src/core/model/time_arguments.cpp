#include "model/time_arguments.hpp"

#include "util/panic.hpp"

namespace tourwright {
namespace {

std::vector<TimeDelta> durations_from_seconds(const std::vector<std::uint64_t>& seconds) {
    std::vector<TimeDelta> durations;
    durations.reserve(seconds.size());
    for (std::uint64_t value : seconds) durations.push_back(seconds_to_delta(value));
    return durations;
}

bool is_instant(std::uint64_t seconds) {
    const auto value = static_cast<std::int64_t>(seconds);
    return value >= DateTime::kMinUnixSeconds && value <= DateTime::kMaxUnixSeconds;
}

std::int64_t as_signed(std::uint64_t seconds) { return static_cast<std::int64_t>(seconds); }

std::optional<std::string> open_hours_refusal(const std::vector<SecondsPair>& intervals) {
    if (intervals.empty()) return "open_hours must hold at least one interval";
    for (std::size_t k = 0; k < intervals.size(); ++k) {
        const auto [open, close] = intervals[k];
        if (!is_instant(open) || !is_instant(close))
            return "open_hours: an instant is out of range";
        if (as_signed(open) >= as_signed(close))
            return "open_hours: each interval must open before it closes";
        if (k > 0 && as_signed(intervals[k - 1].second) >= as_signed(open))
            return "open_hours must ascend and keep apart (each opens after the last closes)";
    }
    return std::nullopt;
}

// Lengths are kept below the span of instants, so that a latest start plus its length
// stays comparable.
std::optional<std::string> breaks_refusal(const std::vector<BreakSeconds>& breaks) {
    constexpr std::int64_t kLongest = DateTime::kMaxUnixSeconds - DateTime::kMinUnixSeconds;
    for (std::size_t k = 0; k < breaks.size(); ++k) {
        const auto [length, earliest, latest] = breaks[k];
        if (as_signed(length) <= 0 || as_signed(length) > kLongest)
            return "breaks: each length must be positive";
        if (!is_instant(earliest) || !is_instant(latest))
            return "breaks: an instant is out of range";
        if (as_signed(earliest) > as_signed(latest))
            return "breaks: each earliest start must not come after its latest";
        if (k == 0) continue;
        const auto [before_length, before_earliest, before_latest] = breaks[k - 1];
        if (as_signed(before_latest) + as_signed(before_length) > as_signed(earliest))
            return "breaks must ascend and keep apart (each may start only after the one "
                   "before ends at the latest)";
    }
    return std::nullopt;
}

NaiveTime time_of_day_from_seconds(std::uint64_t seconds) {
    return NaiveTime::from_seconds_wrapping(seconds_to_delta(seconds).secs);
}

}  // namespace

TimeDelta seconds_to_delta(std::uint64_t seconds) {
    return TimeDelta::seconds(static_cast<std::int64_t>(seconds));
}

DateTime unix_seconds_to_instant(std::uint64_t seconds) {
    auto instant = DateTime::from_unix(static_cast<std::int64_t>(seconds));
    if (!instant) panic_unwrap_none();
    return *instant;
}

std::optional<OperationTimes> operation_times_from_seconds(SecondsPair hours) {
    const auto [opening, closing] = hours;
    if (opening == closing || closing - opening == kSecondsPerDay) return std::nullopt;
    const NaiveTime daily_start = time_of_day_from_seconds(opening);
    const NaiveTime daily_end = time_of_day_from_seconds(closing);
    return OperationTimes(daily_start, daily_end);
}

std::optional<std::string> WeekArguments::refusal(std::size_t locations,
                                                  bool daily_hours_given) const {
    if (open_hours && daily_hours_given) return "give operation_times or open_hours, not both";
    if (open_hours)
        if (auto refused = open_hours_refusal(*open_hours)) return refused;
    if (start_windows && start_windows->size() != locations)
        return "start_windows must hold one flag per location (" + std::to_string(locations) +
               "), not " + std::to_string(start_windows->size());
    if (breaks) return breaks_refusal(*breaks);
    return std::nullopt;
}

void WeekArguments::add_to(TimeScheduler& scheduler) const {
    if (open_hours) {
        std::vector<OpenInterval> intervals;
        intervals.reserve(open_hours->size());
        for (const auto& [open, close] : *open_hours)
            intervals.push_back({unix_seconds_to_instant(open), unix_seconds_to_instant(close)});
        scheduler.calendar.emplace(std::move(intervals));
    }
    if (start_windows) {
        scheduler.window_rules.clear();
        for (const std::uint64_t flag : *start_windows)
            scheduler.window_rules.push_back(flag ? WindowRule::Start : WindowRule::Whole);
    }
    if (breaks) {
        scheduler.breaks.clear();
        for (const auto& [length, earliest, latest] : *breaks)
            scheduler.breaks.push_back({seconds_to_delta(length), unix_seconds_to_instant(earliest),
                                        unix_seconds_to_instant(latest)});
    }
}

std::optional<TimeScheduler> assemble_time_scheduler(
    std::optional<std::vector<std::vector<std::uint64_t>>> duration_matrix,
    const std::optional<std::vector<std::uint64_t>>& job_durations,
    const std::optional<std::vector<std::vector<SecondsPair>>>& time_windows,
    const std::optional<SecondsPair>& operation_times, const std::function<void()>& between_rows) {
    TimeScheduler scheduler;
    if (duration_matrix) {
        scheduler.duration_matrix.reserve(duration_matrix->size());
        for (auto& row : *duration_matrix) {
            if (between_rows) between_rows();
            scheduler.duration_matrix.push_back(durations_from_seconds(row));
            std::vector<std::uint64_t>().swap(row);
        }
    }
    if (job_durations) scheduler.job_durations = durations_from_seconds(*job_durations);
    if (time_windows) {
        scheduler.time_windows.reserve(time_windows->size());
        for (const auto& pairs : *time_windows) {
            TimeWindows& location = scheduler.time_windows.emplace_back();
            location.windows.reserve(pairs.size());
            for (const auto& [start, end] : pairs) {
                const DateTime opening = unix_seconds_to_instant(start);
                location.windows.emplace_back(opening, unix_seconds_to_instant(end));
            }
        }
    }
    if (operation_times) scheduler.operation_times = operation_times_from_seconds(*operation_times);
    if (!duration_matrix || !job_durations || !time_windows) return std::nullopt;
    return scheduler;
}

}  // namespace tourwright
