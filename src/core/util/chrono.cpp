#include "util/chrono.hpp"

#include "util/panic.hpp"

namespace tourwright {
namespace {

// Floor division and its remainder, for normalising signed counts.
constexpr std::int64_t floor_div(std::int64_t a, std::int64_t b) {
    std::int64_t q = a / b;
    return (a % b != 0 && ((a < 0) != (b < 0))) ? q - 1 : q;
}
constexpr std::int64_t floor_mod(std::int64_t a, std::int64_t b) { return a - floor_div(a, b) * b; }

}  // namespace

void panic_out_of_range(const char* message) { panic(message); }

TimeDelta TimeDelta::seconds(std::int64_t count) {
    if (count < -kMaxSeconds || count > kMaxSeconds) panic("TimeDelta::seconds out of bounds");
    return TimeDelta{count, 0};
}

std::optional<std::int64_t> TimeDelta::whole_microseconds() const {
    __int128 total = static_cast<__int128>(secs) * 1'000'000 + nanos / 1000;
    // The nanosecond part is non-negative, so a negative total with a sub-microsecond
    // remainder sits one microsecond below the truncated value.
    if (total < 0 && nanos % 1000 != 0) total += 1;
    if (total < INT64_MIN || total > INT64_MAX) return std::nullopt;
    return static_cast<std::int64_t>(total);
}

NaiveTime NaiveTime::from_seconds_wrapping(std::int64_t count) {
    return NaiveTime{static_cast<std::uint32_t>(floor_mod(count, kSecondsPerDay)), 0};
}

std::optional<DateTime> DateTime::from_unix(std::int64_t secs, std::uint32_t nanos) {
    if (secs < kMinUnixSeconds || secs > kMaxUnixSeconds || nanos >= kNanosPerSecond)
        return std::nullopt;
    return DateTime(secs, nanos);
}

std::int64_t days_from_civil(std::int64_t year, unsigned month, unsigned day) {
    // Howard Hinnant's days_from_civil on 400-year eras.
    year -= month <= 2;
    const std::int64_t era = floor_div(year, 400);
    const std::int64_t yoe = year - era * 400;
    const std::int64_t doy = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
    const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

std::optional<DateTime> DateTime::from_civil(std::int64_t year, unsigned month, unsigned day,
                                             unsigned hour, unsigned minute, unsigned second,
                                             std::uint32_t nanos) {
    // The year bounds only keep the day arithmetic small; from_unix decides the range.
    if (year < -262145 || year > 262143 || month < 1 || month > 12 || day < 1 || day > 31 ||
        hour > 23 || minute > 59 || second > 59)
        return std::nullopt;
    const std::int64_t days = days_from_civil(year, month, day);
    return from_unix(days * kSecondsPerDay + hour * 3600 + minute * 60 + second, nanos);
}

NaiveTime DateTime::time_of_day() const {
    return NaiveTime{static_cast<std::uint32_t>(floor_mod(secs_, kSecondsPerDay)), nanos_};
}

}  // namespace tourwright
