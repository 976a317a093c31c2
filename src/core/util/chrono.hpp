#pragma once
// Time arithmetic with fixed ranges: every operation that would leave its
// type's range panics with a fixed message instead of wrapping.
#include <compare>
#include <cstdint>
#include <optional>

namespace tourwright {

inline constexpr std::int64_t kNanosPerSecond = 1'000'000'000;
inline constexpr std::int64_t kSecondsPerDay = 86'400;

// A signed duration: whole seconds plus a nanosecond part in [0, 1e9).
// Its range is +/- (2^63 - 1) milliseconds.
struct TimeDelta {
    std::int64_t secs = 0;
    std::int32_t nanos = 0;

    static constexpr std::int64_t kMaxSeconds = 9'223'372'036'854'775;  // (2^63 - 1) / 1000

    static constexpr TimeDelta zero() { return {}; }
    // Whole seconds; panics "TimeDelta::seconds out of bounds" beyond the range.
    static TimeDelta seconds(std::int64_t count);

    bool is_positive() const { return secs > 0 || (secs == 0 && nanos > 0); }
    // Whole seconds, truncated toward zero.
    std::int64_t whole_seconds() const { return secs < 0 && nanos > 0 ? secs + 1 : secs; }
    // Whole microseconds truncated toward zero, nullopt when they do not fit 64 bits.
    std::optional<std::int64_t> whole_microseconds() const;

    friend auto operator<=>(const TimeDelta&, const TimeDelta&) = default;
};

// Panics with `message`; kept out of line so the arithmetic below stays small enough
// to inline into the simulation's inner loop.
[[noreturn, gnu::cold]] void panic_out_of_range(const char* message);

inline constexpr TimeDelta kMaxTimeDelta{TimeDelta::kMaxSeconds, 807'000'000};
inline constexpr TimeDelta kMinTimeDelta{-TimeDelta::kMaxSeconds - 1, 193'000'000};

// Both parts are far inside 64 bits, so the sums cannot overflow before the range check.
inline TimeDelta operator+(TimeDelta a, TimeDelta b) {
    TimeDelta sum{a.secs + b.secs, a.nanos + b.nanos};
    if (sum.nanos >= kNanosPerSecond) sum.nanos -= kNanosPerSecond, ++sum.secs;
    if (sum < kMinTimeDelta || sum > kMaxTimeDelta) [[unlikely]]
        panic_out_of_range("`TimeDelta + TimeDelta` overflowed");
    return sum;
}
inline TimeDelta operator-(TimeDelta a, TimeDelta b) {
    TimeDelta difference{a.secs - b.secs, a.nanos - b.nanos};
    if (difference.nanos < 0) difference.nanos += kNanosPerSecond, --difference.secs;
    if (difference < kMinTimeDelta || difference > kMaxTimeDelta) [[unlikely]]
        panic_out_of_range("`TimeDelta - TimeDelta` overflowed");
    return difference;
}
inline TimeDelta& operator+=(TimeDelta& a, TimeDelta b) { return a = a + b; }
inline TimeDelta& operator-=(TimeDelta& a, TimeDelta b) { return a = a - b; }

// A time of day: seconds after midnight and a nanosecond fraction.
struct NaiveTime {
    std::uint32_t secs = 0;   // 0 .. 86399
    std::uint32_t nanos = 0;  // 0 .. 999999999

    // Seconds after midnight, wrapping around the day in both directions.
    static NaiveTime from_seconds_wrapping(std::int64_t count);

    friend auto operator<=>(const NaiveTime&, const NaiveTime&) = default;
};

// Within a day: always representable.
inline TimeDelta operator-(NaiveTime a, NaiveTime b) {
    TimeDelta difference{std::int64_t{a.secs} - b.secs,
                         static_cast<std::int32_t>(std::int64_t{a.nanos} - b.nanos)};
    if (difference.nanos < 0) difference.nanos += kNanosPerSecond, --difference.secs;
    return difference;
}

// An instant in UTC of the proleptic Gregorian calendar, from -262144-12-31T00:00:00
// to 262142-12-31T23:59:59.999999999. Held as seconds since 1970-01-01T00:00:00
// plus a nanosecond fraction.
class DateTime {
public:
    static constexpr std::int64_t kMinUnixSeconds = -8'334'601'315'200;  // -262144-12-31T00:00:00
    static constexpr std::int64_t kMaxUnixSeconds = 8'210'266'876'799;   // 262142-12-31T23:59:59

    constexpr DateTime() = default;
    // nullopt when the instant is outside the representable range.
    static std::optional<DateTime> from_unix(std::int64_t secs, std::uint32_t nanos = 0);
    // Civil date and time; nullopt when invalid or outside the representable range.
    static std::optional<DateTime> from_civil(std::int64_t year, unsigned month, unsigned day,
                                              unsigned hour = 0, unsigned minute = 0,
                                              unsigned second = 0, std::uint32_t nanos = 0);

    // Whole seconds since the Unix epoch, the fraction dropped (rounded down).
    std::int64_t unix_seconds() const { return secs_; }
    std::uint32_t subsec_nanos() const { return nanos_; }
    NaiveTime time_of_day() const;

    friend auto operator<=>(const DateTime&, const DateTime&) = default;

private:
    constexpr DateTime(std::int64_t secs, std::uint32_t nanos) : secs_(secs), nanos_(nanos) {}
    friend inline DateTime operator+(DateTime, TimeDelta);
    friend inline DateTime operator-(DateTime, TimeDelta);

    std::int64_t secs_ = 0;
    std::uint32_t nanos_ = 0;
};

inline DateTime operator+(DateTime t, TimeDelta d) {
    std::int64_t secs = t.secs_ + d.secs;
    std::int64_t nanos = std::int64_t{t.nanos_} + d.nanos;
    if (nanos >= kNanosPerSecond) nanos -= kNanosPerSecond, ++secs;
    if (secs < DateTime::kMinUnixSeconds || secs > DateTime::kMaxUnixSeconds) [[unlikely]]
        panic_out_of_range("`DateTime + TimeDelta` overflowed");
    return DateTime(secs, static_cast<std::uint32_t>(nanos));
}
inline DateTime operator-(DateTime t, TimeDelta d) {
    std::int64_t secs = t.secs_ - d.secs;
    std::int64_t nanos = std::int64_t{t.nanos_} - d.nanos;
    if (nanos < 0) nanos += kNanosPerSecond, --secs;
    if (secs < DateTime::kMinUnixSeconds || secs > DateTime::kMaxUnixSeconds) [[unlikely]]
        panic_out_of_range("`DateTime - TimeDelta` overflowed");
    return DateTime(secs, static_cast<std::uint32_t>(nanos));
}
inline DateTime& operator+=(DateTime& t, TimeDelta d) { return t = t + d; }
// At most about 1.7e13 seconds apart: always representable.
inline TimeDelta operator-(DateTime a, DateTime b) {
    TimeDelta difference{
        a.unix_seconds() - b.unix_seconds(),
        static_cast<std::int32_t>(std::int64_t{a.subsec_nanos()} - b.subsec_nanos())};
    if (difference.nanos < 0) difference.nanos += kNanosPerSecond, --difference.secs;
    return difference;
}

// Days since 1970-01-01 of a proleptic Gregorian date.
std::int64_t days_from_civil(std::int64_t year, unsigned month, unsigned day);

}  // namespace tourwright
