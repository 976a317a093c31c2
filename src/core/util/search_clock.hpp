#pragma once
// When to end a search: its time limit, read on the monotonic clock, and a stop
// check from whoever runs it (the binding runs the interpreter's signal handlers
// there). Inside a sweep the clock is read only every so many trials; that number
// follows the measured cost of a trial, so readings come about every
// kReadingInterval whatever a trial costs, and cost nothing measurable.
#include <cstdint>
#include <functional>
#include <optional>

#include "util/chrono.hpp"

namespace tourwright {

class SearchClock {
public:
    // Returns true to end the search early, as a passed time limit does; may throw
    // to abandon it.
    using StopCheck = std::function<bool()>;

    static constexpr TimeDelta kReadingInterval{0, 500'000};
    static constexpr TimeDelta kCheckInterval{0, 20'000'000};

    explicit SearchClock(std::optional<TimeDelta> time_limit) : time_limit_(time_limit) {}

    void set_stop_check(StopCheck check) { stop_check_ = std::move(check); }
    bool time_limited() const { return time_limit_.has_value(); }
    // Begins the elapsed time (and the check's pacing) afresh.
    void start();
    TimeDelta elapsed() const;
    // What is left of the time limit (nothing once it has passed); nullopt without one.
    std::optional<TimeDelta> time_left() const;

    // Reads the clock now: whether the limit has passed or the check asked to stop.
    bool should_stop();
    // One trial done: reads the clock only when the trial count says it is time.
    bool should_stop_after_trial() {
        if (--trials_until_reading_ > 0) return false;
        return read_and_pace();
    }

private:
    bool read_and_pace();
    bool decide(TimeDelta now);

    std::optional<TimeDelta> time_limit_;
    StopCheck stop_check_;
    TimeDelta started_at_;
    TimeDelta last_reading_;
    TimeDelta last_check_;
    std::uint32_t trials_per_reading_ = 1;
    std::uint32_t trials_until_reading_ = 1;
    bool stop_requested_ = false;
};

}  // namespace tourwright
