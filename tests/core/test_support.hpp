#pragma once
// Helpers shared by the core test suites: readable failure output for the time
// types, capture of panic messages, and short constructors for durations and
// times of day.
#include <algorithm>
#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <ostream>
#include <random>
#include <string>

#include "util/chrono.hpp"
#include "util/panic.hpp"
#include "search/solver.hpp"

namespace tourwright {

namespace test_support {

// "YYYY-MM-DD hh:mm:ss.nnnnnnnnn" in UTC. Computed here rather than through the
// code under test, so a fault in the calendar code cannot hide in its own output.
inline std::string format_instant(const DateTime& t) {
    // Civil date from days since 1970-01-01 (400-year eras).
    const std::int64_t secs = t.unix_seconds();
    std::int64_t days = secs / kSecondsPerDay - (secs % kSecondsPerDay < 0 ? 1 : 0);
    const std::int64_t second_of_day = secs - days * kSecondsPerDay;
    days += 719468;
    const std::int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const std::int64_t doe = days - era * 146097;
    const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const std::int64_t mp = (5 * doy + 2) / 153;
    const std::int64_t day = doy - (153 * mp + 2) / 5 + 1;
    const std::int64_t month = mp < 10 ? mp + 3 : mp - 9;
    const std::int64_t year = yoe + era * 400 + (month <= 2 ? 1 : 0);
    char text[256];
    std::snprintf(text, sizeof text, "%" PRId64 "-%02" PRId64 "-%02" PRId64 " %02" PRId64
                  ":%02" PRId64 ":%02" PRId64 ".%09u",
                  year, month, day, second_of_day / 3600, second_of_day / 60 % 60,
                  second_of_day % 60, t.subsec_nanos());
    return text;
}

inline constexpr const char* kNoPanic = "<no panic>";

// The message of the Panic that `body` raises, or kNoPanic when it returns normally.
// Any other exception propagates, failing the test that called it.
template <class F>
std::string panic_message(F&& body) {
    try {
        body();
    } catch (const Panic& failure) {
        return failure.message();
    }
    return kNoPanic;
}

inline TimeDelta hours(std::int64_t h) { return TimeDelta::seconds(h * 3600); }
inline TimeDelta minutes(std::int64_t m) { return TimeDelta::seconds(m * 60); }
inline TimeDelta seconds(std::int64_t s) { return TimeDelta::seconds(s); }
inline TimeDelta nanos(std::int32_t n) { return TimeDelta{0, n}; }

// The random source of the randomised suites, and a uniform integer in low ..= high.
using Rng = std::mt19937_64;
inline std::int64_t draw(Rng& rng, std::int64_t low, std::int64_t high) {
    return std::uniform_int_distribution<std::int64_t>(low, high)(rng);
}

// A random order of every location, rotated to begin where a tour can start.
inline Route random_route(const Penalizer& penalizer, Rng& rng) {
    Route route = identity_route(penalizer.location_count());
    std::shuffle(route.begin(), route.end(), rng);
    return start_route(penalizer, std::move(route));
}

inline NaiveTime tod(unsigned hour, unsigned minute = 0, unsigned second = 0, std::uint32_t ns = 0) {
    return NaiveTime{hour * 3600 + minute * 60 + second, ns};
}

}  // namespace test_support

// GoogleTest finds these by argument-dependent lookup, so they must sit in the
// namespace of the types they print.
inline void PrintTo(const TimeDelta& d, std::ostream* os) {
    *os << "TimeDelta{" << d.secs << "s, " << d.nanos << "ns}";
}
inline void PrintTo(const NaiveTime& t, std::ostream* os) {
    *os << "NaiveTime{" << t.secs << "s, " << t.nanos << "ns}";
}
inline void PrintTo(const DateTime& t, std::ostream* os) {
    *os << "DateTime{" << test_support::format_instant(t) << "}";
}

}  // namespace tourwright
