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
#include <vector>

#include "evaluation/objective.hpp"
#include "evaluation/penalizer.hpp"
#include "evaluation/range_extremes.hpp"
#include "evaluation/route_sums.hpp"
#include "evaluation/seconds_schedule.hpp"
#include "evaluation/window_summaries.hpp"

namespace tourwright {

// What every evaluator of one problem reads and none changes, made once per problem:
// whether the problem allows an evaluator at all, and its time data compiled to seconds
// (null without time data).
struct TrialBasis {
    bool allowed = false;
    std::unique_ptr<const SecondsSchedule> schedule;
};

// What a trial comes to: better than the current route, not better, or still open
// (the bounds so far leave it undecided).
enum class Verdict { Better, NotBetter, Open };

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
    // How hard a walk of a single-window problem tries: bounds only; reversed stretches
    // simulated; or whatever is needed for the exact answer.
    enum class Effort { Bound, SimulateReversed, Exact };

    // Available only when no trial over all locations can fail a lookup or leave
    // the range of the time arithmetic, and (with time data) every input is whole
    // seconds, so that skipping work changes no outcome.
    static std::optional<TrialEvaluator> for_problem(const Penalizer& penalizer);
    // The basis the evaluators of `penalizer` share, made now unless it was made before.
    // Making it reads every leg; `stop`, asked between rows, may end that early, and then
    // the result is null.
    static std::shared_ptr<const TrialBasis> basis(const Penalizer& penalizer,
                                                   const std::function<bool()>& stop = {});

    // Takes `current` (which must outlive the next rebase) as the route trials change; its
    // distance is summed again here, so it may be stale.
    void rebase(const Solution& current);
    // The current route's objective as full evaluation gives it (what it leaves out apart),
    // its distance exact.
    const SecondsObjective& current_objective() const { return objective_; }

    // Whether the current route with positions i ..= j replaced by `runs` would be
    // strictly better than the current solution.
    bool improves(std::size_t i, std::size_t j, std::span<const Run> runs) const;
    // The distance of that trial, exactly.
    Distance distance_with(std::size_t i, std::size_t j, std::span<const Run> runs) const {
        return distances_.total_with(i, j, runs);
    }

    // Whether the current route after `changes` would be strictly better than the current
    // solution, where `left_out_order` says how what it leaves out compares (negative
    // better; see OptionalStops::compare_exchange).
    bool improves(Exchanges changes, int left_out_order) const;
    Distance distance_with(Exchanges changes) const { return distances_.total_exchanged(changes); }

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
    // The objective of one trial, its keys summed only as far as the comparison needs.
    class TrialObjective;
    // One trial on a single-window problem, walked with the summaries.
    template <Effort effort>
    class SummaryWalk;

    TrialEvaluator(const Penalizer& penalizer, std::shared_ptr<const TrialBasis> basis);

    // The clocks along the current route from position `unchanged` on, and its totals.
    void walk_current(std::size_t unchanged);
    // The current route's end, lateness and objective, from its clock at the end.
    void sum_current(const SecondsClock& end);
    // The summaries of the current route for single-window problems, of which those over the
    // first `unchanged` positions stand.
    void summarize_single_window(std::size_t unchanged);
    bool improves_in_time(std::size_t i, std::size_t j, std::span<const Run> runs) const;
    // For problems that are not single-window: simulated from where the trial differs, and
    // settled by the current route's clocks once it rejoins it where they allow.
    Verdict simulate(std::size_t i, std::size_t j, std::span<const Run> runs, SecondsClock clock,
                     std::size_t first_location, std::int64_t start) const;
    // One passage of a simulation: the leg from `previous` (none when `has_previous` is
    // false, at the tour's first location) and the work at `location`.
    void pass_location(SecondsClock& clock, std::size_t previous, bool has_previous,
                       std::size_t location) const;
    // The rest of a simulated trial: the current route from position `from` on, after
    // `previous`, and the return to `first_location`; settled by the current route's
    // clocks where `settles` (the trial starts as the current route does).
    Verdict simulate_rest(std::size_t from, std::size_t previous, bool has_previous,
                          SecondsClock clock, std::size_t first_location, bool settles,
                          TrialObjective& objective) const;
    // The verdict for a trial that arrives at position p of the current route with
    // `clock` (with breaks: has done the work there), when the current route's clocks
    // settle it.
    Verdict settle_rest(std::size_t p, const SecondsClock& clock, TrialObjective& objective) const;
    Verdict settled(Rule rule, bool better) const {
        ++counts_[static_cast<std::size_t>(rule)];
        return better ? Verdict::Better : Verdict::NotBetter;
    }

    // How late a tour that began at `first_location` returns at `end`: zero unless the
    // penalizer reads every route as beginning at a depot.
    std::int64_t late_return(std::size_t first_location, std::int64_t end) const {
        if (!late_return_counts_) return 0;
        return std::max<std::int64_t>(end - schedule_->last_closing(first_location), 0);
    }

    bool late_return_counts_;
    bool exchanges_;  // routes may leave locations out, so that trials may change what is served
    const Solution* current_ = nullptr;
    Route based_on_;  // the route of the last rebase
    RouteLegSums<Distance, DistanceLeg> distances_;
    std::shared_ptr<const TrialBasis> basis_;
    const SecondsSchedule* schedule_;  // the basis's; null without time data
    RouteLegSums<std::int64_t, TravelLeg> travel_times_;
    std::int64_t working_ = 0;  // the current route's jobs, the working time of its tour
    // The current route's tour: its start, end and objective (distance included).
    std::int64_t start_ = 0, end_ = 0;
    SecondsObjective objective_;
    std::int64_t job_lateness_ = 0;  // the lateness of its jobs, without a late return
    std::uint32_t end_pending_ = 0;  // the first break it did not take
    std::int64_t end_on_break_ = 0;  // the length of the breaks it took
    // Along the current route, for each position k: the clock on arrival (the tour's
    // start for k = 0; with breaks, where the passage into k begins) and after the work
    // there, and (for problems that are not single-window) whether every location from k
    // on keeps the order of arrivals.
    std::vector<SecondsClock> on_arrival_;
    std::vector<SecondsClock> after_work_;
    std::vector<char> keeps_order_from_;
    // For single-window problems (see window_summaries.hpp): the leads and the sums before each
    // position (n + 1 entries), and each position's summaries for stretches walked
    // forwards and backwards.
    std::vector<std::int64_t> lead_;
    std::vector<std::int64_t> back_lead_;
    std::vector<PrefixSums> sums_;
    RangeExtremes<ForwardSummary, ForwardSummary::Over> forward_;
    RangeExtremes<BackwardSummary, BackwardSummary::Over> backward_;
    mutable RuleCounts counts_{};
};

}  // namespace tourwright
