#pragma once
// Decides the trials of a descent exactly as full evaluation would, but from
// sums and summaries kept along the current route: distances and travel totals
// in constant time; time windows on the problem's time data compiled to plain
// seconds, simulated from where the trial first differs, and settled as early
// as bounds allow once the trial rejoins the current route.
#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <tuple>
#include <vector>

#include "evaluation/penalizer.hpp"
#include "evaluation/range_extremes.hpp"
#include "evaluation/route_sums.hpp"
#include "evaluation/seconds_schedule.hpp"

namespace tourwright {

// What every evaluator of one problem reads and none changes, made once per problem:
// whether the problem allows an evaluator at all, and its time data compiled to seconds
// (null without time data).
struct TrialBasis {
    bool allowed = false;
    std::unique_ptr<const SecondsSchedule> schedule;
};

class TrialEvaluator {
public:
    // What settled a trial with time data.
    enum class Rule {
        BeforeStretch,  // lost already where the trial starts to differ (or cannot start)
        InStretch,      // lost within the changed positions
        SuffixLost,     // lost within the unchanged rest
        ClocksMeet,     // the rest repeats the current route exactly
        Rejoined,       // unchanged stretches taken at once from the summaries, exactly
        OrderBound,     // a later (earlier) arrival cannot do better (worse) than the current
                        // route, or the lateness of unchanged stretches is bounded enough
        Simulated,      // simulated to the end, where nothing settled it sooner
        Count
    };
    using RuleCounts = std::array<std::uint64_t, static_cast<std::size_t>(Rule::Count)>;

    // Available only when no trial over all locations can fail a lookup or leave
    // the range of the time arithmetic, and (with time data) every input is whole
    // seconds, so that skipping work changes no outcome.
    static std::optional<TrialEvaluator> for_problem(const Penalizer& penalizer);
    // The basis the evaluators of `penalizer` share, made now unless it was made before.
    // Making it reads every leg; `stop`, asked between rows, may end that early, and then
    // the result is null.
    static std::shared_ptr<const TrialBasis> basis(const Penalizer& penalizer,
                                                   const std::function<bool()>& stop = {});

    // Takes `current` (which must outlive the next rebase) as the route trials change.
    void rebase(const Solution& current);

    // Whether the current route with positions i ..= j replaced by `runs` would be
    // strictly better than the current solution.
    bool improves(std::size_t i, std::size_t j, std::span<const Run> runs) const;
    // The distance of that trial, exactly.
    Distance distance_with(std::size_t i, std::size_t j, std::span<const Run> runs) const {
        return distances_.total_with(i, j, runs);
    }

    // How many trials with time data each rule settled so far.
    const RuleCounts& rule_counts() const { return counts_; }

private:
    struct DistanceLeg {
        const std::vector<std::vector<std::uint64_t>>* rows;
        Distance operator()(std::size_t from, std::size_t to) const { return (*rows)[from][to]; }
    };
    struct TravelLeg {
        const SecondsSchedule* schedule;
        std::int64_t operator()(std::size_t from, std::size_t to) const {
            return schedule->travel_seconds(from, to);
        }
    };

    TrialEvaluator(const Penalizer& penalizer, std::shared_ptr<const TrialBasis> basis);

    // The range summaries of the current route for plain problems, of which those over
    // the first `unchanged` positions stand.
    void summarize_plain(std::size_t unchanged);
    bool improves_in_time(std::size_t i, std::size_t j, std::span<const Run> runs) const;
    // The decision for a trial that arrives at position p of the current route with
    // `clock`, when the summaries settle it. `beats` (lateness, end instant) tells
    // whether a trial with those totals beats the current route.
    template <class Beats>
    std::optional<bool> settle_rest(std::size_t p, const SecondsClock& clock, const Beats& beats) const;
    // How hard settle_plain tries: bounds only; reversed stretches simulated; or
    // whatever is needed for the exact answer.
    enum class Effort { Bound, SimulateReversed, Exact };
    // For plain problems: the trial with its unchanged stretches taken at once, the
    // clock exactly and the lateness within bounds (reversed stretches bounded too
    // with the least effort); nullopt when the bounds leave the decision open, which
    // never happens with Effort::Exact.
    template <Effort effort, class Beats>
    std::optional<bool> settle_plain(std::size_t i, std::size_t j, std::span<const Run> runs,
                                     SecondsClock clock, std::size_t first, const Beats& beats) const;
    bool settled(Rule rule, bool decision) const {
        ++counts_[static_cast<std::size_t>(rule)];
        return decision;
    }

    // How late a tour that began at `first` returns at `end`: zero unless the
    // penalizer reads every route as beginning at a depot.
    std::int64_t late_return(std::size_t first, std::int64_t end) const {
        return late_return_counts_ ? std::max<std::int64_t>(end - schedule_->last_closing(first), 0) : 0;
    }

    bool late_return_counts_;
    const Solution* current_ = nullptr;
    Route based_on_;  // the route of the last rebase
    RouteLegSums<Distance, DistanceLeg> distances_;
    std::shared_ptr<const TrialBasis> basis_;
    const SecondsSchedule* schedule_;  // the basis's; null without time data
    RouteLegSums<std::int64_t, TravelLeg> travel_times_;
    // The current route's tour: start, end, lateness of its jobs, lateness of its
    // return and traveling time.
    std::int64_t start_ = 0, end_ = 0, lateness_ = 0, return_lateness_ = 0, traveling_ = 0;
    // Along the current route, for each position k: the clock on arrival (the tour's
    // start for k = 0) and after the work there, and (for problems that are not plain)
    // whether every location from k on keeps the order of arrivals.
    std::vector<SecondsClock> on_arrival_;
    std::vector<SecondsClock> after_work_;
    std::vector<char> keeps_order_from_;
    // For plain problems, with lead_[k] the jobs and legs before position k: work
    // at k begins at max(arrival, opening), so from an arrival T at position a the
    // work at b ends at job_b + lead_[b] + max(T - lead_[a], the largest opening - lead
    // over a ..= b), and it is on time while T - lead_[a] stays within the smallest
    // (closing - job - lead) over a ..= b.
    // The same backwards, for stretches walked in reverse: back_lead_[k] holds the
    // jobs and reversed legs from position k down to 1.
    std::vector<std::int64_t> lead_;
    std::vector<std::int64_t> back_lead_;
    // Before each position k: how many jobs of the current route were late, and how
    // long it waited in all (each a count up to k, so ranges are differences).
    std::vector<std::int64_t> late_jobs_;
    std::vector<std::int64_t> waited_;
    // The waits up to and including each late job, summed over the late jobs before k;
    // and per position, for a job on time, how far a delay can grow (counting the
    // waits up to it) before it is late (the room).
    std::vector<std::int64_t> late_waited_;
    // Per position, what a forward stretch is read for, kept side by side so that one
    // lookup gives all: opening - lead and closing - job - lead (the largest and the
    // smallest over a stretch), the room, and the early room: how much earlier the
    // work could start there, and for a late job how late it is (an advance within
    // both reaches every late job whole).
    struct Forward {
        std::int64_t opening, latest_start, room, early_room;
    };
    struct ForwardExtremes {
        Forward operator()(const Forward& a, const Forward& b) const {
            return {std::max(a.opening, b.opening), std::min(a.latest_start, b.latest_start),
                    std::min(a.room, b.room), std::min(a.early_room, b.early_room)};
        }
    };
    RangeExtremes<Forward, ForwardExtremes> forward_;
    // opening + back_lead and closing - job + back_lead, for stretches walked backwards.
    struct Backward {
        std::int64_t opening, latest_start;
    };
    struct BackwardExtremes {
        Backward operator()(const Backward& a, const Backward& b) const {
            return {std::max(a.opening, b.opening), std::min(a.latest_start, b.latest_start)};
        }
    };
    RangeExtremes<Backward, BackwardExtremes> backward_;
    // Before each position k: how many of the locations have a window, and the sum of
    // their backward latest starts (so that ranges are differences).
    struct TimedSum {
        std::int64_t count = 0, sum = 0;
    };
    std::vector<TimedSum> timed_latest_;
    mutable RuleCounts counts_{};
};

}  // namespace tourwright
