#include "util/search_clock.hpp"

#include "util/clock.hpp"

namespace tourwright {
namespace {

constexpr std::uint32_t kMostTrialsPerReading = 1u << 16;

}  // namespace

void SearchClock::start() {
    started_at_ = last_reading_ = last_check_ = monotonic_now();
    stop_requested_ = false;
    trials_per_reading_ = trials_until_reading_ = 1;
}

TimeDelta SearchClock::elapsed() const { return monotonic_now() - started_at_; }

bool SearchClock::should_stop() { return decide(monotonic_now()); }

bool SearchClock::read_and_pace() {
    const TimeDelta now = monotonic_now();
    const TimeDelta since = now - last_reading_;
    if (since + since < kReadingInterval && trials_per_reading_ < kMostTrialsPerReading)
        trials_per_reading_ *= 2;
    else if (since > kReadingInterval + kReadingInterval && trials_per_reading_ > 1)
        trials_per_reading_ /= 2;
    trials_until_reading_ = trials_per_reading_;
    last_reading_ = now;
    return decide(now);
}

// A passed limit ends the search without asking the stop check: whoever set the
// limit hears nothing more of the search once it has passed.
bool SearchClock::decide(TimeDelta now) {
    if (time_limit_ && now - started_at_ > *time_limit_) return true;
    if (stop_check_ && !stop_requested_ && now - last_check_ >= kCheckInterval) {
        last_check_ = now;
        stop_requested_ = stop_check_();
    }
    return stop_requested_;
}

}  // namespace tourwright
