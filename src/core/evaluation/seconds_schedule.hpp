#pragma once
// The time data of a problem compiled to plain 64-bit seconds, and the simulation
// of work and travel on it. It reaches exactly the instants and totals of the
// calendar arithmetic, for problems whose every input is whole seconds and whose
// every tour is known to stay inside the ranges (the caller proves that).
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "evaluation/seconds_calendar.hpp"
#include "model/time_input.hpp"

namespace tourwright {

// The clock of a simulated tour, the lateness gathered so far (in seconds), the first
// break neither taken nor dropped, and the length of the breaks taken. Two tours whose
// clocks meet (`at` and `pending` alike) go on alike.
struct SecondsClock {
    std::int64_t at = 0;
    std::int64_t lateness = 0;
    std::uint32_t pending = 0;
    std::int64_t on_break = 0;

    bool meets(const SecondsClock& other) const {
        return at == other.at && pending == other.pending;
    }
};

class SecondsSchedule {
public:
    // For the first n locations; nullopt unless every instant, duration, the open hours
    // and the breaks are whole seconds (and, under daily hours, every break fits an opening).
    // `stop`, asked between rows of the table, may end the work early, with nullopt.
    static std::optional<SecondsSchedule> compile(const TimeScheduler& scheduler, std::size_t n,
                                                  const std::function<bool()>& stop = {});

    bool can_start_tour(std::size_t location) const { return window_count(location) > 0; }
    // The opening of the location's first window in list order.
    std::int64_t tour_start(std::size_t location) const { return starts_[offsets_[location]]; }

    // The clock a tour starting at `start` begins with: the breaks due before it dropped.
    SecondsClock starting_at(std::int64_t start) const {
        return SecondsClock{start, 0, first_pending(start), 0};
    }
    bool has_breaks() const { return !breaks_.empty(); }
    // One passage of a tour: the leg of `leg` seconds, then the work at `to`, a pending
    // break taken where its rule (model/breaks.hpp) places it. Without a pending break
    // this is travel_for and work.
    void pass(SecondsClock& clock, std::int64_t leg, std::size_t to) const {
        if (clock.pending < breaks_.size()) return pass_with_break(clock, leg, &to);
        travel_for(clock, leg);
        work(clock, to);
    }
    // The last passage of a closed tour: its return leg, without work.
    void return_leg(SecondsClock& clock, std::int64_t leg) const {
        if (clock.pending < breaks_.size()) return pass_with_break(clock, leg, nullptr);
        travel_for(clock, leg);
    }

    void work(SecondsClock& clock, std::size_t location) const {
        if (!single_window_) return work_anywhere(clock, location);
        work_single_window(clock, location);
    }
    // Work on a single-window problem: what the general simulation comes to with one window at
    // most and no hours. Never calls out, so that a caller's clock can stay in registers.
    void work_single_window(SecondsClock& clock, std::size_t location) const {
        clock.at = std::max(clock.at, opening(location)) + jobs_[location];
        clock.lateness += std::max<std::int64_t>(clock.at - closing(location), 0);
    }
    void travel(SecondsClock& clock, std::size_t from, std::size_t to) const {
        travel_for(clock, travel_seconds(from, to));
    }
    // Travel of a leg whose travel_seconds are known.
    void travel_for(SecondsClock& clock, std::int64_t seconds) const {
        clock.at = pauses_ ? run(clock.at, seconds, nullptr) : clock.at + seconds;
    }
    // Asks the memory for a leg that will be read soon.
    void prefetch_travel(std::size_t from, std::size_t to) const {
        if (short_travel_.empty())
            __builtin_prefetch(&travel_[from * n_ + to]);
        else
            __builtin_prefetch(&short_travel_[from * n_ + to]);
    }
    // The travelling time of a leg (at_least_zero of its length).
    std::int64_t travel_seconds(std::size_t from, std::size_t to) const {
        return short_travel_.empty() ? travel_[from * n_ + to] : short_travel_[from * n_ + to];
    }

    // Whether work here never ends earlier, nor with less lateness, when it may
    // begin later. Travel always keeps the order.
    bool keeps_order(std::size_t location) const { return keeps_order_[location] != 0; }
    // Whether work ends at max(arrival, opening) + job everywhere: no open hours, no
    // breaks and at most one window per location.
    bool is_single_window() const { return single_window_; }
    // For single-window problems: the location's window, or bounds that never bind. Where
    // the window bounds only the start, its closing is its end plus the job: work that
    // begins by the end is on time, and later work is late by as much as it began late.
    std::int64_t opening(std::size_t location) const { return first_windows_[location].opening; }
    std::int64_t closing(std::size_t location) const { return first_windows_[location].closing; }
    std::int64_t job(std::size_t location) const { return jobs_[location]; }
    // The end of the location's last window in list order.
    std::int64_t last_closing(std::size_t location) const {
        return ends_[offsets_[location + 1] - 1];
    }

    // Far outside every instant a tour can reach, and far from overflowing.
    static constexpr std::int64_t kNever = std::int64_t{1} << 62;

private:
    struct Hours {
        std::int64_t opening;  // seconds after midnight
        std::int64_t closing;
    };
    struct Break {
        std::int64_t length;
        std::int64_t earliest;
        std::int64_t latest;
    };
    // The wait from an instant until the hours open, and the open time from there.
    using Openness = SecondsCalendar::Openness;
    // Work timed from an arrival: when its first step began, its end and its lateness.
    struct WorkTimes {
        std::int64_t began;
        std::int64_t end;
        std::int64_t lateness;
    };
    struct WindowAt {
        std::size_t index;  // into starts_ / ends_
        std::int64_t wait;
    };
    // The windows of the location where work is done.
    struct WorkSite {
        std::size_t first;  // into starts_ / ends_
        std::size_t count;
        bool ordered;
    };

    std::size_t window_count(std::size_t location) const {
        return offsets_[location + 1] - offsets_[location];
    }
    void work_anywhere(SecondsClock& clock, std::size_t location) const;
    WorkTimes timed_work(std::int64_t arrival, std::size_t location) const;
    // The first instant from `t` on inside a window of the site and open; past them all,
    // the first open one there.
    std::int64_t start_within(const WorkSite& site, std::int64_t t) const;
    void pass_with_break(SecondsClock& clock, std::int64_t leg, const std::size_t* to) const;
    // Work whose start alone its windows bind; apart, so that the common work stays small.
    [[gnu::noinline]] void work_from_start(SecondsClock& clock, std::size_t location) const;
    std::uint32_t first_pending(std::int64_t start) const;
    Openness openness(std::int64_t t) const;
    // As OpenCalendar::room_for, for either kind of hours.
    std::int64_t room(std::int64_t t, std::int64_t length) const;
    // As OpenHours::latest_room: the latest start from `from` to `until` with room for
    // `length`; kNoRoom where there is none.
    std::int64_t latest_room(std::int64_t from, std::int64_t until, std::int64_t length) const;
    static constexpr std::int64_t kNoRoom = -kNever;
    // An increasing count of open seconds: the open time between two instants is a difference.
    std::int64_t open_before(std::int64_t t) const;
    std::optional<WindowAt> next_window(const WorkSite& site, std::int64_t t) const;
    // Moves the clock from `start` through an action of `amount` seconds; for work
    // (`site` given) adds the lateness to `lateness`. Returns the end instant.
    // `began`, when given, gets the instant of work's first step.
    std::int64_t run(std::int64_t start, std::int64_t amount, const WorkSite* site,
                     std::int64_t* lateness = nullptr, std::int64_t* began = nullptr) const;
    // At a closing time with `remaining` still to do: skips the following whole
    // days in which neither a window nor the end of the action intervenes.
    void skip_whole_days(std::int64_t& t, std::int64_t& remaining, const WorkSite* site) const;

    std::size_t n_ = 0;
    // n x n, row-major, each at_least_zero. In 32 bits where every leg fits, so
    // that the table read on every trial takes half the cache.
    std::vector<std::int64_t> travel_;
    std::vector<std::int32_t> short_travel_;
    std::vector<std::int64_t> jobs_;    // each at_least_zero
    std::vector<std::size_t> offsets_;  // windows of location k: [offsets_[k], offsets_[k + 1])
    std::vector<std::int64_t> starts_;  // all windows, in each location's list order
    std::vector<std::int64_t> ends_;
    // Each location's first window side by side, read on every step of single-window problems.
    struct FirstWindow {
        std::int64_t opening;
        std::int64_t closing;
    };
    std::vector<FirstWindow> first_windows_;
    std::vector<char> ordered_;  // the location's windows ascend and are disjoint
    std::vector<char> keeps_order_;
    std::vector<char> start_rule_;  // the location's windows bind only the start
    bool any_start_rule_ = false;   // so that problems without one never look it up
    std::optional<Hours> hours_;
    std::optional<SecondsCalendar> calendar_;
    bool pauses_ = false;  // either kind of open hours
    std::vector<Break> breaks_;
    bool single_window_ = false;
};

}  // namespace tourwright
