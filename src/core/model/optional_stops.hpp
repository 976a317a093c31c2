#pragma once
// Which locations a tour may leave out, and how what it leaves out weighs: class by
// class from the highest, one stop of a higher class outweighing any number of a
// lower one; within a class more stops weigh more, and then more work.
#include <compare>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "model/route.hpp"
#include "util/chrono.hpp"

namespace tourwright {

// What a tour leaves out of one priority class.
struct LeftOutClass {
    std::int64_t stops = 0;
    TimeDelta work{};

    friend auto operator<=>(const LeftOutClass&, const LeftOutClass&) = default;
};

// What a tour leaves out, a class per entry from the highest: less is better, compared
// lexicographically. Empty where every location is required.
using LeftOut = std::vector<LeftOutClass>;

// Per location: the priority class of an optional one (higher is more important), none
// for a required one; empty where every location is required.
using StopClasses = std::vector<std::optional<std::int32_t>>;

class OptionalStops {
public:
    // Every location required.
    OptionalStops() = default;
    // `work[k]`: the length of location k's job (absent entries count as none), kept only
    // where some location is optional.
    OptionalStops(const StopClasses& classes, const std::vector<TimeDelta>& work);

    bool any() const { return class_count_ > 0; }
    bool optional(std::size_t location) const {
        return location < rank_.size() && rank_[location] != kRequired;
    }
    // Whether optional location `a` is of a higher class than optional location `b`.
    bool outranks(std::size_t a, std::size_t b) const { return rank_[a] < rank_[b]; }
    // The class of an optional location, as given.
    std::int32_t class_of(std::size_t location) const { return classes_[rank_[location]]; }

    // What `route` (each location at most once) leaves out.
    LeftOut left_out(const Route& route) const;
    // How a tour that takes `in` and leaves `out` out as well compares with the tour
    // before, by what each leaves out alone: negative better, zero even, positive worse.
    int compare_exchange(std::optional<std::size_t> in, std::optional<std::size_t> out) const;
    // Whether `route` visits no location twice, none out of range and every required one.
    bool serves(const Route& route, std::size_t n) const;

private:
    static constexpr std::uint32_t kRequired = UINT32_MAX;
    TimeDelta work_of(std::size_t location) const {
        return location < work_.size() ? work_[location] : TimeDelta::zero();
    }

    std::vector<std::uint32_t> rank_;    // per location: its class's entry in LeftOut
    std::vector<std::int32_t> classes_;  // per entry: the class, highest first
    std::vector<TimeDelta> work_;
    std::size_t class_count_ = 0;
};

}  // namespace tourwright
