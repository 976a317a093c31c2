#pragma once
// A calendar of open intervals in plain seconds, looked up through an index of stretches
// of 2^16 seconds (under a day, so that a stretch holds few intervals) so that finding the
// interval at an instant costs about as much as the daily pair's arithmetic, however long
// the calendar: a shift, one read and a step or two. A sparse calendar is indexed by
// longer stretches, so that the index never outgrows it.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "model/open_calendar.hpp"

namespace tourwright {

class SecondsCalendar {
public:
    // nullopt unless every instant of the calendar is whole seconds.
    static std::optional<SecondsCalendar> compile(const OpenCalendar& calendar);

    // The wait from `t` until the calendar is open (zero inside and after the intervals),
    // and how far the open time from there runs before it closes (kOpenOn after the last).
    struct Openness {
        std::int64_t closed_for;
        std::int64_t open_for;
    };
    static constexpr std::int64_t kOpenOn = std::int64_t{1} << 62;
    Openness at(std::int64_t t) const {
        const std::size_t k = first_closing_after(t);
        if (k == opens_.size()) return {0, kOpenOn};
        if (opens_[k] > t) return {opens_[k] - t, closes_[k] - opens_[k]};
        return {0, closes_[k] - t};
    }
    // The first instant from `t` on from which `length` runs without meeting a closing.
    std::int64_t room(std::int64_t t, std::int64_t length) const;
    // The open seconds before `t` since the first opening (an increasing count, so that
    // the open time between two instants is a difference).
    std::int64_t open_before(std::int64_t t) const;
    // The latest closing: past it, time runs without pause.
    std::int64_t last_closing() const { return closes_.back(); }

private:
    std::size_t first_closing_after(std::int64_t t) const {
        if (t < base_) return 0;
        const auto stretch = static_cast<std::size_t>((t - base_) >> shift_);
        if (stretch >= first_of_.size()) return opens_.size();
        std::size_t k = first_of_[stretch];
        while (k < closes_.size() && closes_[k] <= t) ++k;
        return k;
    }

    std::vector<std::int64_t> opens_;
    std::vector<std::int64_t> closes_;
    std::vector<std::int64_t> open_before_;  // the open seconds of the intervals before k
    std::int64_t base_ = 0;                  // the first opening
    int shift_ = 16;                         // a stretch is 2^shift_ seconds
    // For each stretch from base_ on: the first interval that closes after it begins.
    std::vector<std::size_t> first_of_;
};

}  // namespace tourwright
