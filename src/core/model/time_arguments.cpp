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
