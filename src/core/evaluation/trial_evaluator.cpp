#include "evaluation/trial_evaluator.hpp"

#include <algorithm>
#include <tuple>

namespace tourwright {
namespace {

using Nanos = __int128;

// The steps of a trial are lambdas that share its state; the compiler would leave
// them out of line, and calls per step cost more than the steps.
#define TOURWRIGHT_INLINE_STEP __attribute__((always_inline))

// Stretches of the current route shorter than this are simulated rather than
// taken at once from the summaries.
constexpr std::size_t kShortest = 3;

Nanos nanos(TimeDelta d) { return Nanos{d.secs} * kNanosPerSecond + d.nanos; }
Nanos nanos(DateTime t) { return Nanos{t.unix_seconds()} * kNanosPerSecond + t.subsec_nanos(); }
Nanos positive_nanos(TimeDelta d) { return d.is_positive() ? nanos(d) : 0; }

// Whether a table has every entry that a tour over the first n locations looks up:
// all of each row but its diagonal, which only a tour of one location uses.
template <class Table>
bool covers(const Table& rows, std::size_t n) {
    if (rows.size() < n) return false;
    for (std::size_t k = 0; k < n; ++k) {
        const std::size_t needed = n > 1 && k == n - 1 ? n - 1 : n;
        if (rows[k].size() < needed) return false;
    }
    return true;
}

// Whether every tour over the n locations stays inside the ranges of DateTime and
// TimeDelta. A generous bound on the clock: it starts at a window, a window wait
// never takes it past the latest window end (plus one closed night), and each
// action adds its length and at most one night per step and per window.
// `stop`, asked before each location, may end the reading early, with false.
bool time_stays_in_range(const TimeScheduler& scheduler, std::size_t n,
                         const std::function<bool()>& stop) {
    if (scheduler.job_durations.size() < n || scheduler.time_windows.size() < n ||
        !covers(scheduler.duration_matrix, n))
        return false;
    constexpr Nanos kDay = Nanos{kSecondsPerDay} * kNanosPerSecond;
    const auto& hours = scheduler.operation_times;
    const Nanos open = hours ? nanos(hours->daily_end - hours->daily_start) : 0;
    auto allowance = [&](Nanos length, std::size_t windows) {
        const Nanos nights = hours ? length / open + 4 + static_cast<Nanos>(windows) : 0;
        return length + nights * kDay;
    };
    bool any_window = false;
    Nanos earliest = 0, latest = 0, actions = 0;
    for (std::size_t k = 0; k < n; ++k) {
        if (stop()) return false;
        const auto& windows = scheduler.time_windows[k].windows;
        for (const TimeWindow& window : windows) {
            earliest = any_window ? std::min(earliest, nanos(window.start)) : nanos(window.start);
            latest = any_window ? std::max(latest, nanos(window.end)) : nanos(window.end);
            any_window = true;
        }
        Nanos longest_travel = 0;
        const auto& row = scheduler.duration_matrix[k];
        for (std::size_t to = 0; to < std::min(n, row.size()); ++to)
            longest_travel = std::max(longest_travel, positive_nanos(row[to]));
        actions += allowance(positive_nanos(scheduler.job_durations[k]), windows.size()) +
                   allowance(longest_travel, 0);
    }
    if (!any_window) return false;
    const Nanos last_instant = latest + kDay + actions;
    const Nanos longest_span = last_instant - earliest;
    // Lateness sums one overrun per location, each within the span.
    const Nanos largest_total = longest_span * static_cast<Nanos>(n + 1);
    return last_instant < Nanos{DateTime::kMaxUnixSeconds} * kNanosPerSecond &&
           largest_total < Nanos{TimeDelta::kMaxSeconds} * kNanosPerSecond;
}

}  // namespace

TrialEvaluator::TrialEvaluator(const Penalizer& penalizer, std::shared_ptr<const TrialBasis> basis)
    : late_return_counts_(penalizer.late_return_counts()),
      distances_(DistanceLeg{&penalizer.distance_matrix().rows}),
      basis_(std::move(basis)),
      schedule_(basis_->schedule.get()),
      travel_times_(TravelLeg{schedule_}) {}

std::shared_ptr<const TrialBasis> TrialEvaluator::basis(const Penalizer& penalizer,
                                                       const std::function<bool()>& stop) {
    return penalizer.trial_basis([&]() -> std::shared_ptr<const TrialBasis> {
        auto made = std::make_shared<TrialBasis>();
        const std::size_t n = penalizer.location_count();
        if (!covers(penalizer.distance_matrix().rows, n)) return made;
        const auto& scheduler = penalizer.time_scheduler();
        if (!scheduler) {
            made->allowed = true;
            return made;
        }
        bool stopped = false;
        const std::function<bool()> asked = [&] { return stopped = stopped || (stop && stop()); };
        const bool in_range = time_stays_in_range(*scheduler, n, asked);
        auto compiled = in_range ? SecondsSchedule::compile(*scheduler, n, asked) : std::nullopt;
        if (stopped) return nullptr;
        if (compiled)
            made->schedule = std::make_unique<const SecondsSchedule>(std::move(*compiled));
        made->allowed = compiled.has_value();
        return made;
    });
}

std::optional<TrialEvaluator> TrialEvaluator::for_problem(const Penalizer& penalizer) {
    auto made = basis(penalizer);
    if (!made->allowed) return std::nullopt;
    return TrialEvaluator(penalizer, std::move(made));
}

void TrialEvaluator::rebase(const Solution& current) {
    current_ = &current;
    const Route& r = current.route;
    const std::size_t n = r.size();
    // What depends only on a route's first positions stands where they did not change,
    // as after an acceptance.
    if (based_on_.size() != n) based_on_.clear();
    const std::size_t unchanged =
        static_cast<std::size_t>(std::mismatch(based_on_.begin(), based_on_.end(), r.begin()).first - based_on_.begin());
    based_on_ = r;
    distances_.reset(r, unchanged);
    if (!schedule_) return;
    const SecondsSchedule& schedule = *schedule_;
    travel_times_.reset(r, unchanged);
    traveling_ = travel_times_.total();
    on_arrival_.resize(n);
    after_work_.resize(n);
    start_ = schedule.tour_start(r[0]);
    SecondsClock clock{start_, 0};
    // The legs as the travel sums hold them, since looking them up again costs more.
    auto leg_from = [&](std::size_t k) {
        return k + 1 < n ? travel_times_.leg_into(k + 1) : schedule.travel_seconds(r[k], r[0]);
    };
    if (unchanged > 0) {
        clock = after_work_[unchanged - 1];
        schedule.travel_for(clock, leg_from(unchanged - 1));
    }
    // The clock is the walk's own, so that where work never calls out it stays in
    // registers rather than being stored and reloaded at every step.
    auto walk = [&](SecondsClock clock, auto work) {
        for (std::size_t k = unchanged; k < n; ++k) {
            on_arrival_[k] = clock;
            work(clock, r[k]);
            after_work_[k] = clock;
            schedule.travel_for(clock, leg_from(k));
        }
        return clock;
    };
    clock = schedule.is_plain()
                ? walk(clock, [&](SecondsClock& c, std::size_t location) { schedule.work_plain(c, location); })
                : walk(clock, [&](SecondsClock& c, std::size_t location) { schedule.work(c, location); });
    end_ = clock.at;
    lateness_ = clock.lateness;
    return_lateness_ = late_return(r[0], end_);

    if (schedule.is_plain()) return summarize_plain(unchanged);
    keeps_order_from_.assign(n + 1, 1);
    for (std::size_t k = n - 1; k >= 1; --k)
        keeps_order_from_[k] = schedule.keeps_order(r[k]) && keeps_order_from_[k + 1];
}

void TrialEvaluator::summarize_plain(std::size_t unchanged) {
    const SecondsSchedule& schedule = *schedule_;
    const Route& r = current_->route;
    const std::size_t n = r.size();
    // Every summary at a position depends only on the route up to it (and the
    // clocks there), so those before `unchanged` stand.
    auto late_by = [&](std::size_t k) { return after_work_[k].lateness - on_arrival_[k].lateness; };
    auto began = [&](std::size_t k) { return after_work_[k].at - schedule.job(r[k]); };
    if (late_jobs_.size() != n + 1) unchanged = 0;
    late_jobs_.resize(n + 1);
    waited_.resize(n + 1);
    late_waited_.resize(n + 1);
    late_jobs_[0] = waited_[0] = late_waited_[0] = 0;
    for (std::size_t k = unchanged; k < n; ++k) {
        late_jobs_[k + 1] = late_jobs_[k] + (late_by(k) > 0);
        waited_[k + 1] = waited_[k] + (began(k) - on_arrival_[k].at);
        late_waited_[k + 1] = late_waited_[k] + (late_by(k) > 0 ? waited_[k + 1] : 0);
    }
    lead_.resize(n);
    back_lead_.resize(n);
    lead_[0] = back_lead_[0] = 0;
    for (std::size_t k = std::max<std::size_t>(unchanged, 1); k < n; ++k) {
        lead_[k] = lead_[k - 1] + schedule.job(r[k - 1]) + travel_times_.leg_into(k);
        back_lead_[k] = back_lead_[k - 1] + schedule.job(r[k]) + travel_times_.leg_back_into(k);
    }
    forward_.reset(n, unchanged, [&](std::size_t k) {
        const std::int64_t opening = schedule.opening(r[k]), closing = schedule.closing(r[k]);
        return Forward{opening - lead_[k], closing - schedule.job(r[k]) - lead_[k],
                       late_by(k) > 0 ? SecondsSchedule::kNever : closing - after_work_[k].at + waited_[k + 1],
                       std::min(began(k) - opening, late_by(k) > 0 ? late_by(k) : SecondsSchedule::kNever)};
    });
    backward_.reset(n, unchanged, [&](std::size_t k) {
        return Backward{schedule.opening(r[k]) + back_lead_[k],
                        schedule.closing(r[k]) - schedule.job(r[k]) + back_lead_[k]};
    });
    timed_latest_.resize(n + 1);
    timed_latest_[0] = {};
    for (std::size_t k = unchanged; k < n; ++k) {
        const bool timed = schedule.closing(r[k]) < SecondsSchedule::kNever;
        timed_latest_[k + 1] = {timed_latest_[k].count + timed,
                                timed_latest_[k].sum + (timed ? backward_.at(k).latest_start : 0)};
    }
}

bool TrialEvaluator::improves(std::size_t i, std::size_t j, std::span<const Run> runs) const {
    if (!schedule_) return distances_.total_with(i, j, runs) < current_->distance;
    return improves_in_time(i, j, runs);
}

template <TrialEvaluator::Effort effort, class Beats>
TOURWRIGHT_INLINE_STEP inline std::optional<bool> TrialEvaluator::settle_plain(
    std::size_t i, std::size_t j, std::span<const Run> runs, SecondsClock clock, std::size_t first,
    const Beats& beats) const {
    const SecondsSchedule& schedule = *schedule_;
    const Route& r = current_->route;
    // clock.lateness is the least lateness the trial can have so far; `most` the most
    // (kUnbounded once a reversed stretch was only bounded from below).
    constexpr std::int64_t kUnbounded = SecondsSchedule::kNever;
    std::int64_t most = clock.lateness;
    // Positions b down to a, reversed, on arrival at b: the clock exactly, the
    // lateness at least that of the job that comes out latest without waiting.
    auto bound_reversed = [&](std::size_t a, std::size_t b) TOURWRIGHT_INLINE_STEP {
        const std::int64_t relative = clock.at + back_lead_[b];
        const auto [opening, latest_start] = backward_.over(a, b);
        // Work there begins no later than the later of the arrival and the largest
        // opening: when that is within every latest start, no job is late.
        if (std::max(relative, opening) > latest_start) {
            // Nor can the jobs with windows there be less late in all than if none waited.
            const TimedSum& before = timed_latest_[a];
            const TimedSum& through = timed_latest_[b + 1];
            const std::int64_t none_waiting = (through.count - before.count) * relative - (through.sum - before.sum);
            clock.lateness += std::max({relative - latest_start, none_waiting, std::int64_t{0}});
            most = kUnbounded;
        }
        clock.at = schedule.job(r[a]) + std::max(relative, opening) - back_lead_[a];
    };
    // Positions a ..= b of the current route, on arrival at a; true when the lateness
    // came out exactly.
    auto rejoin = [&](std::size_t a, std::size_t b) TOURWRIGHT_INLINE_STEP {
        bool exact = true;
        const SecondsClock& then = on_arrival_[a];
        const std::int64_t was_late = after_work_[b].lateness - then.lateness;
        const std::int64_t relative = clock.at - lead_[a];
        const Forward stretch = forward_.over(a, b);
        // No job there can be less late than this.
        const std::int64_t worst_job = std::max<std::int64_t>(relative - stretch.latest_start, 0);
        if (clock.at == then.at || (was_late == 0 && worst_job == 0)) {
            clock.lateness += was_late;
            most += was_late;
        } else if (clock.at > then.at) {
            // A delay reaches each job less what was waited before it, making a late job
            // later by as much, and adds no more than itself to any job.
            const std::int64_t delay = clock.at - then.at;
            const std::int64_t late_jobs = late_jobs_[b + 1] - late_jobs_[a];
            const std::int64_t least_delay = std::max<std::int64_t>(delay - (waited_[b + 1] - waited_[a]), 0);
            if (least_delay > 0 && delay + waited_[a] <= stretch.room) {
                // Exactly: every late job later by the delay less the waits up to it, no
                // job on time made late.
                const std::int64_t added =
                    late_jobs * (delay + waited_[a]) - (late_waited_[b + 1] - late_waited_[a]);
                clock.lateness += was_late + added;
                most += was_late + added;
            } else {
                clock.lateness += std::max(was_late + least_delay * late_jobs, worst_job);
                most += was_late + delay * static_cast<std::int64_t>(b - a + 1);
                exact = false;
            }
        } else {
            // Arriving earlier makes no late job earlier than by the advance; exactly by
            // the advance while no wait or end of lateness cuts it short.
            const std::int64_t advance = then.at - clock.at;
            const std::int64_t gained = advance * (late_jobs_[b + 1] - late_jobs_[a]);
            if (advance <= stretch.early_room) {
                clock.lateness += was_late - gained;
                most += was_late - gained;
            } else {
                clock.lateness += std::max(was_late - gained, worst_job);
                most += was_late;
                exact = false;
            }
        }
        most = std::min(most, kUnbounded);
        clock.at = schedule.job(r[b]) + lead_[b] + std::max(relative, stretch.opening);
        return exact;
    };
    auto lost = [&]() TOURWRIGHT_INLINE_STEP { return !beats(clock.lateness, clock.at); };
    // Positions a ..= b on arrival at a: at once where that is exact (or bounds are
    // enough), else location by location until the rest can be taken exactly at once.
    // False once the trial is lost.
    auto pass = [&](std::size_t a, std::size_t b) TOURWRIGHT_INLINE_STEP {
        for (std::size_t p = a;; ++p) {
            // A few locations are simulated sooner than looked up, and exactly.
            if (b - p >= kShortest) {
                const SecondsClock before = clock;
                const std::int64_t before_most = most;
                if (rejoin(p, b) || effort != Effort::Exact) return true;
                clock = before;
                most = before_most;
            }
            // One location, in lead_ terms (which count the jobs and legs already).
            const Forward& here = forward_.at(p);
            const std::int64_t begin = std::max(clock.at - lead_[p], here.opening);
            const std::int64_t late = std::max<std::int64_t>(begin - here.latest_start, 0);
            clock.lateness += late;
            most += late;
            clock.at = begin + lead_[p] + schedule.job(r[p]);
            if (lost()) return false;
            if (p == b) return true;
            clock.at = begin + lead_[p + 1];
        }
    };

    std::size_t previous = i > 0 ? r[i - 1] : first;
    bool has_previous = i > 0;
    for (const Run& run : runs) {
        if (effort == Effort::Bound && run.reversed) {
            if (has_previous) schedule.travel(clock, previous, r[run.last]);
            bound_reversed(run.first, run.last);
            previous = r[run.first];
            has_previous = true;
        } else if (run.reversed) {
            if (has_previous) schedule.travel(clock, previous, r[run.last]);
            // Walked in back_lead_ terms, which count the jobs and legs already, so
            // that work at each position begins at the later of the walk so far and
            // its opening, with nothing to look up but the summaries in order.
            std::int64_t begin = clock.at + back_lead_[run.last];
            for (std::size_t p = run.last + 1; p-- > run.first;) {
                const auto [opening, latest_start] = backward_.at(p);
                begin = std::max(begin, opening);
                const std::int64_t late = std::max<std::int64_t>(begin - latest_start, 0);
                clock.lateness += late;
                most += late;
                clock.at = begin - back_lead_[p];  // the work there ends no sooner
                if (lost()) return settled(Rule::InStretch, false);
            }
            clock.at += schedule.job(r[run.first]);
            previous = r[run.first];
            has_previous = true;
        } else {
            if (has_previous) schedule.travel(clock, previous, r[run.first]);
            if (!pass(run.first, run.last)) return settled(Rule::InStretch, false);
            previous = r[run.last];
            has_previous = true;
        }
        if (lost()) return settled(Rule::InStretch, false);
    }
    if (j + 1 < r.size()) {
        schedule.travel(clock, previous, r[j + 1]);
        if (!pass(j + 1, r.size() - 1)) return settled(Rule::SuffixLost, false);
        previous = r.back();
    }
    schedule.travel(clock, previous, first);
    const Rule rule = effort == Effort::Exact      ? Rule::Simulated
                      : clock.lateness == most ? Rule::Rejoined
                                               : Rule::OrderBound;
    if (most < kUnbounded && beats(most, clock.at)) return settled(rule, true);
    if (lost()) return settled(rule, false);
    return std::nullopt;
}

template <class Beats>
std::optional<bool> TrialEvaluator::settle_rest(std::size_t p, const SecondsClock& clock,
                                                const Beats& beats) const {
    const SecondsClock& then = on_arrival_[p];
    const std::int64_t rest_lateness = lateness_ - then.lateness;
    if (clock.at == then.at)
        return settled(Rule::ClocksMeet, beats(clock.lateness + rest_lateness, end_));
    if (keeps_order_from_[p]) {
        // Arriving later, the rest is no less late and ends no sooner; arriving
        // earlier, no more late and no later.
        const bool better_as_bound = beats(clock.lateness + rest_lateness, end_);
        if (clock.at > then.at && !better_as_bound) return settled(Rule::OrderBound, false);
        if (clock.at < then.at && better_as_bound) return settled(Rule::OrderBound, true);
    }
    return std::nullopt;
}

bool TrialEvaluator::improves_in_time(std::size_t i, std::size_t j,
                                      std::span<const Run> runs) const {
    const SecondsSchedule& schedule = *schedule_;
    const Route& r = current_->route;
    const std::size_t first = i > 0 ? r[0] : runs[0].head(r);
    // The legs the trial adds are read in turn; asked for at once, their cache misses overlap.
    {
        std::size_t from = i > 0 ? r[i - 1] : first;
        for (const Run& run : runs) {
            schedule.prefetch_travel(from, run.head(r));
            from = run.tail(r);
        }
        schedule.prefetch_travel(from, j + 1 < r.size() ? r[j + 1] : first);
    }
    if (!schedule.can_start_tour(first)) return settled(Rule::BeforeStretch, false);

    // Travel time (and distance) are exact at once; lateness and duration only grow as
    // the simulation goes on, so the trial is lost once its partial totals do not beat
    // the current route.
    const std::int64_t start = i > 0 ? start_ : schedule.tour_start(first);
    std::optional<std::int64_t> traveling;  // summed when lateness ties
    // Whether the trial, with this lateness and ending then, beats the current route.
    // Waiting time is left out: it is the duration less the working time (the same for
    // every route) and the traveling time, so it never decides on its own. The
    // distance decides only on a tie and is summed only then.
    // A late return only grows with the end, so totals that bound the lateness of the
    // jobs and the end from below (or above) still bound the whole lateness so.
    auto beats = [&](std::int64_t lateness, std::int64_t end) TOURWRIGHT_INLINE_STEP {
        const std::int64_t total = lateness + late_return(first, end);
        if (total != lateness_ + return_lateness_) return total < lateness_ + return_lateness_;
        if (!traveling) traveling = travel_times_.total_with(i, j, runs);
        const auto trial = std::tuple{*traveling, end - start};
        const auto current = std::tuple{traveling_, end_ - start_};
        if (trial != current) return trial < current;
        return distances_.total_with(i, j, runs) < current_->distance;
    };
    SecondsClock clock = i > 0 ? after_work_[i - 1] : SecondsClock{start, 0};
    auto lost = [&]() TOURWRIGHT_INLINE_STEP { return !beats(clock.lateness, clock.at); };
    if (lost()) return settled(Rule::BeforeStretch, false);

    if (schedule.is_plain()) {
        if (const auto decision = settle_plain<Effort::Bound>(i, j, runs, clock, first, beats)) return *decision;
        const bool reversal = std::any_of(runs.begin(), runs.end(), [](const Run& run) { return run.reversed; });
        if (reversal) {
            if (const auto decision = settle_plain<Effort::SimulateReversed>(i, j, runs, clock, first, beats))
                return *decision;
        }
        return *settle_plain<Effort::Exact>(i, j, runs, clock, first, beats);
    }

    // Otherwise simulated from where the trial differs, and settled by the current
    // route's clocks once it rejoins it where they allow.
    std::size_t previous = i > 0 ? r[i - 1] : first;
    bool has_previous = i > 0;
    for (const Run& run : runs) {
        for (std::size_t step = 0; step <= run.last - run.first; ++step) {
            const std::size_t location = r[run.reversed ? run.last - step : run.first + step];
            if (has_previous) schedule.travel(clock, previous, location);
            schedule.work(clock, location);
            if (lost()) return settled(Rule::InStretch, false);
            previous = location;
            has_previous = true;
        }
    }
    for (std::size_t p = j + 1; p < r.size(); ++p) {
        schedule.travel(clock, previous, r[p]);
        // The rest of the tour is the current route's only when the tour starts as it does.
        if (i > 0) {
            if (const auto decision = settle_rest(p, clock, beats)) return *decision;
        }
        schedule.work(clock, r[p]);
        if (lost()) return settled(Rule::SuffixLost, false);
        previous = r[p];
    }
    schedule.travel(clock, previous, first);
    return settled(Rule::Simulated, beats(clock.lateness, clock.at));
}

}  // namespace tourwright
