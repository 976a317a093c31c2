#include "evaluation/trial_evaluator.hpp"

#include <algorithm>

#include "model/leg_tables.hpp"

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

// Whether every tour over the n locations stays inside the ranges of DateTime and
// TimeDelta. A generous bound on the clock: it starts at a window, a window wait
// never takes it past the latest window end (plus one closed night), and each
// action adds its length and at most one night per step and per window. A calendar
// pauses nothing after its last closing, so there an action adds its length and a day
// per window; each break adds its length and a day, and may be late once.
// `stop`, asked before each location, may end the reading early, with false.
bool time_stays_in_range(const TimeScheduler& scheduler, std::size_t n,
                         const std::function<bool()>& stop) {
    if (scheduler.job_durations.size() < n || scheduler.time_windows.size() < n ||
        !has_every_leg(scheduler.duration_matrix, n))
        return false;
    constexpr Nanos kDay = Nanos{kSecondsPerDay} * kNanosPerSecond;
    const auto& hours = scheduler.operation_times;
    const Nanos open = hours ? nanos(hours->daily_end - hours->daily_start) : 0;
    auto allowance = [&](Nanos length, std::size_t windows) {
        const Nanos nights = hours                ? length / open + 4 + static_cast<Nanos>(windows)
                             : scheduler.calendar ? 4 + static_cast<Nanos>(windows)
                                                  : 0;
        return length + nights * kDay;
    };
    bool any_window = false;
    Nanos earliest = 0, latest = 0, actions = 0;
    if (scheduler.calendar) latest = nanos(scheduler.calendar->intervals().back().close);
    for (const BreakRule& rule : scheduler.breaks) {
        actions += nanos(at_least_zero(rule.length)) + kDay;
        latest = std::max(latest, nanos(rule.latest));
    }
    for (std::size_t k = 0; k < n; ++k) {
        if (stop()) return false;
        const auto& windows = scheduler.time_windows[k].windows;
        for (const TimeWindow& window : windows) {
            earliest = any_window ? std::min(earliest, nanos(window.start)) : nanos(window.start);
            latest = std::max(latest, nanos(window.end));
            any_window = true;
        }
        Nanos longest_travel = 0;
        const auto& row = scheduler.duration_matrix[k];
        for (std::size_t to = 0; to < std::min(n, row.size()); ++to)
            longest_travel = std::max(longest_travel, nanos(at_least_zero(row[to])));
        actions += allowance(nanos(at_least_zero(scheduler.job_durations[k])), windows.size()) +
                   allowance(longest_travel, 0);
    }
    if (!any_window) return false;
    const Nanos last_instant = latest + kDay + actions;
    const Nanos longest_span = last_instant - earliest;
    // Lateness sums one overrun per location and per break, each within the span.
    const Nanos largest_total = longest_span * static_cast<Nanos>(n + 1 + scheduler.breaks.size());
    return last_instant < Nanos{DateTime::kMaxUnixSeconds} * kNanosPerSecond &&
           largest_total < Nanos{TimeDelta::kMaxSeconds} * kNanosPerSecond;
}

}  // namespace

TrialEvaluator::TrialEvaluator(const Penalizer& penalizer, std::shared_ptr<const TrialBasis> basis)
    : late_return_counts_(penalizer.late_return_counts()),
      exchanges_(penalizer.optional_stops().any()),
      distances_(DistanceLeg{&penalizer.distance_matrix().rows}),
      basis_(std::move(basis)),
      schedule_(basis_->schedule.get()),
      travel_times_(TravelLeg{schedule_}) {
    if (schedule_)
        for (std::size_t k = 0; k < penalizer.location_count(); ++k) working_ += schedule_->job(k);
}

std::shared_ptr<const TrialBasis> TrialEvaluator::basis(const Penalizer& penalizer,
                                                        const std::function<bool()>& stop) {
    return penalizer.trial_basis([&]() -> std::shared_ptr<const TrialBasis> {
        auto made = std::make_shared<TrialBasis>();
        const std::size_t n = penalizer.location_count();
        if (!has_every_leg(penalizer.distance_matrix().rows, n)) return made;
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
    // as after an acceptance, and so do the legs after the last position that changed.
    if (based_on_.size() != n) based_on_.clear();
    const std::size_t unchanged = static_cast<std::size_t>(
        std::mismatch(based_on_.begin(), based_on_.end(), r.begin()).first - based_on_.begin());
    const std::size_t rejoined =
        based_on_.empty()
            ? n
            : n - static_cast<std::size_t>(
                      std::mismatch(based_on_.rbegin(), based_on_.rend(), r.rbegin()).first -
                      based_on_.rbegin());
    based_on_ = r;
    distances_.reset(r, unchanged, rejoined);
    objective_ = SecondsObjective{.distance = distances_.total()};
    if (!schedule_) return;
    travel_times_.reset(r, unchanged, rejoined);
    if (exchanges_) {
        working_ = 0;
        for (std::size_t location : r) working_ += schedule_->job(location);
    }
    walk_current(unchanged);
    if (schedule_->is_single_window()) summarize_single_window(unchanged);
    if (schedule_->is_single_window() && !exchanges_) return;
    keeps_order_from_.assign(n + 1, 1);
    for (std::size_t k = n - 1; k >= 1; --k)
        keeps_order_from_[k] = schedule_->keeps_order(r[k]) && keeps_order_from_[k + 1];
}

void TrialEvaluator::walk_current(std::size_t unchanged) {
    const SecondsSchedule& schedule = *schedule_;
    const Route& r = current_->route;
    const std::size_t n = r.size();
    on_arrival_.resize(n);
    after_work_.resize(n);
    start_ = schedule.tour_start(r[0]);
    SecondsClock clock = schedule.starting_at(start_);
    // The legs as the travel sums hold them, since looking them up again costs more.
    auto leg_from = [&](std::size_t k) {
        return k + 1 < n ? travel_times_.leg_into(k + 1) : schedule.travel_seconds(r[k], r[0]);
    };
    if (schedule.has_breaks()) {
        // A break may fall in any passage, which is taken whole: on_arrival_ holds the
        // clock each passage begins with.
        if (unchanged > 0) clock = after_work_[unchanged - 1];
        for (std::size_t k = unchanged; k < n; ++k) {
            on_arrival_[k] = clock;
            schedule.pass(clock, k > 0 ? travel_times_.leg_into(k) : 0, r[k]);
            after_work_[k] = clock;
        }
        schedule.return_leg(clock, leg_from(n - 1));
        return sum_current(clock);
    }
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
    auto single_window = [&](SecondsClock& c, std::size_t location) {
        schedule.work_single_window(c, location);
    };
    auto general = [&](SecondsClock& c, std::size_t location) { schedule.work(c, location); };
    sum_current(schedule.is_single_window() ? walk(clock, single_window) : walk(clock, general));
}

void TrialEvaluator::sum_current(const SecondsClock& end) {
    end_ = end.at;
    end_pending_ = end.pending;
    end_on_break_ = end.on_break;
    job_lateness_ = end.lateness;
    const std::int64_t traveling = travel_times_.total(), duration = end_ - start_;
    const std::int64_t waiting = duration - working_ - traveling - end.on_break;
    objective_ = SecondsObjective{.lateness = job_lateness_ + late_return(current_->route[0], end_),
                                  .traveling_time = traveling,
                                  .duration = duration,
                                  .waiting_time = waiting,
                                  .distance = objective_.distance};
}

void TrialEvaluator::summarize_single_window(std::size_t unchanged) {
    const SecondsSchedule& schedule = *schedule_;
    const Route& r = current_->route;
    const std::size_t n = r.size();
    // Every summary at a position depends only on the route up to it (and the
    // clocks there), so those before `unchanged` stand.
    auto late_by = [&](std::size_t k) { return after_work_[k].lateness - on_arrival_[k].lateness; };
    auto began = [&](std::size_t k) { return after_work_[k].at - schedule.job(r[k]); };
    if (sums_.size() != n + 1) unchanged = 0;
    sums_.resize(n + 1);
    lead_.resize(n);
    back_lead_.resize(n);
    if (unchanged == 0) {
        sums_[0] = PrefixSums{};
        lead_[0] = back_lead_[0] = 0;
    }
    for (std::size_t k = unchanged; k < n; ++k) {
        if (k > 0) {
            lead_[k] = lead_[k - 1] + schedule.job(r[k - 1]) + travel_times_.leg_into(k);
            back_lead_[k] = back_lead_[k - 1] + schedule.job(r[k]) + travel_times_.leg_back_into(k);
        }
        const PrefixSums& here = sums_[k];
        PrefixSums& next = sums_[k + 1];
        const bool late = late_by(k) > 0;
        next.late_jobs = here.late_jobs + late;
        next.waited = here.waited + (began(k) - on_arrival_[k].at);
        next.late_waited = here.late_waited + (late ? next.waited : 0);
        const bool timed = schedule.closing(r[k]) < SecondsSchedule::kNever;
        const std::int64_t latest_start =
            schedule.closing(r[k]) - schedule.job(r[k]) + back_lead_[k];
        next.timed = here.timed + timed;
        next.timed_latest = here.timed_latest + (timed ? latest_start : 0);
    }
    forward_.reset(n, unchanged, [&](std::size_t k) {
        const std::int64_t opening = schedule.opening(r[k]), closing = schedule.closing(r[k]);
        const std::int64_t lead = lead_[k];
        const bool late = late_by(k) > 0;
        return ForwardSummary{
            opening - lead, closing - schedule.job(r[k]) - lead,
            late ? SecondsSchedule::kNever : closing - after_work_[k].at + sums_[k + 1].waited,
            std::min(began(k) - opening, late ? late_by(k) : SecondsSchedule::kNever)};
    });
    backward_.reset(n, unchanged, [&](std::size_t k) {
        const std::int64_t back_lead = back_lead_[k];
        return BackwardSummary{schedule.opening(r[k]) + back_lead,
                               schedule.closing(r[k]) - schedule.job(r[k]) + back_lead};
    });
}

bool TrialEvaluator::improves(std::size_t i, std::size_t j, std::span<const Run> runs) const {
    // Without time data the distance is the whole objective.
    if (!schedule_) return distances_.total_with(i, j, runs) < objective_.distance;
    return improves_in_time(i, j, runs);
}

// The keys of one trial in the objective's order. Traveling time and distance are
// exact at once; lateness and duration only grow as the walk goes on, so a trial is
// lost once its partial keys do not beat the current route. A late return only grows
// with the end, so keys that bound the lateness of the jobs and the end from below (or
// above) still bound the whole lateness so.
class TrialEvaluator::TrialObjective {
public:
    TrialObjective(const TrialEvaluator& evaluator, std::size_t i, std::size_t j,
                   std::span<const Run> runs, std::size_t first_location, std::int64_t start)
        : evaluator_(evaluator),
          i_(i),
          j_(j),
          runs_(runs),
          first_location_(first_location),
          start_(start),
          working_(evaluator.working_) {}
    // For a change of what the route serves.
    TrialObjective(const TrialEvaluator& evaluator, Exchanges changes, int left_out_order)
        : evaluator_(evaluator),
          i_(0),
          j_(0),
          first_location_(evaluator.current_->route[0]),
          start_(evaluator.start_),
          working_(evaluator.working_),
          exchanges_(changes),
          left_out_order_(left_out_order) {
        const SecondsSchedule& schedule = *evaluator.schedule_;
        for (const Exchange& change : changes) {
            if (change.removes) working_ -= schedule.job(evaluator.current_->route[change.at]);
            if (change.inserted) working_ += schedule.job(*change.inserted);
        }
    }

    // Whether the trial, with this lateness of its jobs and ending then, beats the
    // current route. Each key after the lateness is summed only when those before it
    // tie, the distance last of all.
    TOURWRIGHT_INLINE_STEP bool beats(std::int64_t job_lateness, std::int64_t end) {
        return beats(job_lateness, end, [] { return std::int64_t{0}; });
    }
    // The same, where breaks may have been taken: `break_time` gives their length. As
    // the duration stays only where nothing more is done, so do the breaks taken.
    TOURWRIGHT_INLINE_STEP bool beats(const SecondsClock& clock) {
        return beats(clock.lateness, clock.at, [&] { return clock.on_break; });
    }

private:
    template <class BreakTime>
    TOURWRIGHT_INLINE_STEP bool beats(std::int64_t job_lateness, std::int64_t end,
                                      BreakTime break_time) {
        const SecondsObjective& current = evaluator_.objective_;
        const std::int64_t lateness = job_lateness + evaluator_.late_return(first_location_, end);
        if (lateness != current.lateness) return lateness < current.lateness;
        if (!traveling_) {
            // What a change of what is served leaves out decides next; asked here, where
            // the trials that change nothing of it pay only once.
            if (left_out_order_ != 0) return left_out_order_ < 0;
            traveling_ = !exchanges_.empty() ? evaluator_.travel_times_.total_exchanged(exchanges_)
                                             : evaluator_.travel_times_.total_with(i_, j_, runs_);
        }
        if (*traveling_ != current.traveling_time) return *traveling_ < current.traveling_time;
        // The waiting time is the duration less the working time (the same for every tour
        // that serves the same stops), the traveling time, which ties here, and the breaks
        // taken.
        const std::int64_t duration = end - start_;
        if (duration != current.duration) return duration < current.duration;
        const std::int64_t waiting = duration - working_ - *traveling_ - break_time();
        if (waiting != current.waiting_time) return waiting < current.waiting_time;
        return (!exchanges_.empty()
                    ? evaluator_.distances_.total_exchanged(exchanges_)
                    : evaluator_.distances_.total_with(i_, j_, runs_)) < current.distance;
    }

    const TrialEvaluator& evaluator_;
    std::size_t i_, j_;
    std::span<const Run> runs_;
    std::size_t first_location_;
    std::int64_t start_;
    std::int64_t working_;
    Exchanges exchanges_;     // for a change of what is served
    int left_out_order_ = 0;  // what the trial leaves out against the current route
    std::optional<std::int64_t> traveling_;
};

// A trial on a single-window problem: its unchanged stretches taken at once from the
// summaries, the clock exactly and the lateness within bounds (reversed stretches
// bounded too with the least effort). Open when the bounds leave the verdict
// undecided, which never happens with Effort::Exact.
template <TrialEvaluator::Effort effort>
class TrialEvaluator::SummaryWalk {
public:
    SummaryWalk(const TrialEvaluator& evaluator, TrialObjective& objective, SecondsClock clock)
        : ev_(evaluator),
          schedule_(*evaluator.schedule_),
          r_(evaluator.current_->route),
          objective_(objective),
          at_(clock.at),
          late_{clock.lateness, clock.lateness} {}

    TOURWRIGHT_INLINE_STEP Verdict run(std::size_t i, std::size_t j, std::span<const Run> runs,
                                       std::size_t first_location) {
        std::size_t previous = i > 0 ? r_[i - 1] : first_location;
        bool has_previous = i > 0;
        // Each direction reads its own ends, which the compiler keeps apart from the
        // choice of direction better than through Run::head and Run::tail.
        for (const Run& run : runs) {
            if (run.reversed) {
                if (has_previous) at_ += schedule_.travel_seconds(previous, r_[run.last]);
                if (effort == Effort::Bound)
                    bound_reversed(run.first, run.last);
                else if (!walk_reversed(run.first, run.last))
                    return ev_.settled(Rule::InStretch, false);
                previous = r_[run.first];
            } else {
                if (has_previous) at_ += schedule_.travel_seconds(previous, r_[run.first]);
                if (!pass(run.first, run.last)) return ev_.settled(Rule::InStretch, false);
                previous = r_[run.last];
            }
            has_previous = true;
            if (lost()) return ev_.settled(Rule::InStretch, false);
        }
        if (j + 1 < r_.size()) {
            at_ += schedule_.travel_seconds(previous, r_[j + 1]);
            if (!pass(j + 1, r_.size() - 1)) return ev_.settled(Rule::SuffixLost, false);
            previous = r_.back();
        }
        at_ += schedule_.travel_seconds(previous, first_location);
        const Rule rule = effort == Effort::Exact ? Rule::Simulated
                          : late_.exact()         ? Rule::Rejoined
                                                  : Rule::OrderBound;
        if (late_.most < LatenessBounds::kUnbounded && objective_.beats(late_.most, at_))
            return ev_.settled(rule, true);
        if (lost()) return ev_.settled(rule, false);
        return Verdict::Open;
    }

private:
    TOURWRIGHT_INLINE_STEP bool lost() { return !objective_.beats(late_.least, at_); }
    const PrefixSums& sums(std::size_t k) const { return ev_.sums_[k]; }

    // Positions b down to a, reversed, on arrival at b: the clock exactly, the
    // lateness at least that of the job that comes out latest without waiting.
    TOURWRIGHT_INLINE_STEP void bound_reversed(std::size_t a, std::size_t b) {
        const std::int64_t relative = at_ + ev_.back_lead_[b];
        const auto [opening, latest_start] = ev_.backward_.over(a, b);
        // Work there begins no later than the later of the arrival and the largest
        // opening: when that is within every latest start, no job is late.
        if (std::max(relative, opening) > latest_start) {
            // Nor can the jobs with windows there be less late in all than if none waited.
            const PrefixSums &before = sums(a), &through = sums(b + 1);
            const std::int64_t none_waiting = (through.timed - before.timed) * relative -
                                              (through.timed_latest - before.timed_latest);
            late_.least += std::max({relative - latest_start, none_waiting, std::int64_t{0}});
            late_.most = LatenessBounds::kUnbounded;
        }
        at_ = schedule_.job(r_[a]) + std::max(relative, opening) - ev_.back_lead_[a];
    }

    // Positions b down to a, reversed, on arrival at b, location by location in
    // back_lead terms (which count the jobs and legs already), so that work at each
    // begins at the later of the walk so far and its opening. False once lost.
    TOURWRIGHT_INLINE_STEP bool walk_reversed(std::size_t a, std::size_t b) {
        std::int64_t begin = at_ + ev_.back_lead_[b];
        for (std::size_t p = b + 1; p-- > a;) {
            const auto [opening, latest_start] = ev_.backward_.at(p);
            begin = std::max(begin, opening);
            late_.add(std::max<std::int64_t>(begin - latest_start, 0));
            at_ = begin - ev_.back_lead_[p];  // the work there ends no sooner
            if (lost()) return false;
        }
        at_ += schedule_.job(r_[a]);
        return true;
    }

    // Positions a ..= b on arrival at a: at once where that is exact (or bounds are
    // enough), else location by location until the rest can be taken exactly at once.
    // False once lost.
    TOURWRIGHT_INLINE_STEP bool pass(std::size_t a, std::size_t b) {
        for (std::size_t p = a;; ++p) {
            // A few locations are simulated sooner than looked up, and exactly.
            if (b - p >= kShortest) {
                const std::int64_t at = at_;
                const LatenessBounds late = late_;
                if (rejoin(p, b) || effort != Effort::Exact) return true;
                at_ = at;
                late_ = late;
            }
            // One location, in lead terms (which count the jobs and legs already).
            const ForwardSummary& here = ev_.forward_.at(p);
            const std::int64_t begin = std::max(at_ - ev_.lead_[p], here.opening);
            late_.add(std::max<std::int64_t>(begin - here.latest_start, 0));
            at_ = begin + ev_.lead_[p] + schedule_.job(r_[p]);
            if (lost()) return false;
            if (p == b) return true;
            at_ = begin + ev_.lead_[p + 1];
        }
    }

    // Positions a ..= b of the current route, on arrival at a; true when the lateness
    // came out exactly.
    TOURWRIGHT_INLINE_STEP bool rejoin(std::size_t a, std::size_t b) {
        const SecondsClock& then = ev_.on_arrival_[a];
        const std::int64_t was_late = ev_.after_work_[b].lateness - then.lateness;
        const std::int64_t relative = at_ - ev_.lead_[a];
        const ForwardSummary stretch = ev_.forward_.over(a, b);
        // No job there can be less late than this.
        const std::int64_t worst_job = std::max<std::int64_t>(relative - stretch.latest_start, 0);
        bool exact = true;
        if (at_ == then.at || (was_late == 0 && worst_job == 0))
            late_.add(was_late);
        else if (at_ > then.at)
            exact = rejoin_later(a, b, at_ - then.at, was_late, worst_job, stretch.room);
        else
            exact = rejoin_earlier(a, b, then.at - at_, was_late, worst_job, stretch.early_room);
        late_.most = std::min(late_.most, LatenessBounds::kUnbounded);
        at_ = schedule_.job(r_[b]) + ev_.lead_[b] + std::max(relative, stretch.opening);
        return exact;
    }

    // A delay reaches each job less what was waited before it, making a late job later
    // by as much, and adds no more than itself to any job.
    TOURWRIGHT_INLINE_STEP bool rejoin_later(std::size_t a, std::size_t b, std::int64_t delay,
                                             std::int64_t was_late, std::int64_t worst_job,
                                             std::int64_t room) {
        const PrefixSums &before = sums(a), &through = sums(b + 1);
        const std::int64_t late_jobs = through.late_jobs - before.late_jobs;
        const std::int64_t least_delay =
            std::max<std::int64_t>(delay - (through.waited - before.waited), 0);
        if (least_delay > 0 && delay + before.waited <= room) {
            // Exactly: every late job later by the delay less the waits up to it, no
            // job on time made late.
            late_.add(was_late + late_jobs * (delay + before.waited) -
                      (through.late_waited - before.late_waited));
            return true;
        }
        late_.least += std::max(was_late + least_delay * late_jobs, worst_job);
        late_.most += was_late + delay * static_cast<std::int64_t>(b - a + 1);
        return false;
    }

    // Arriving earlier makes no late job earlier than by the advance; exactly by the
    // advance while no wait or end of lateness cuts it short.
    TOURWRIGHT_INLINE_STEP bool rejoin_earlier(std::size_t a, std::size_t b, std::int64_t advance,
                                               std::int64_t was_late, std::int64_t worst_job,
                                               std::int64_t early_room) {
        const std::int64_t gained = advance * (sums(b + 1).late_jobs - sums(a).late_jobs);
        if (advance <= early_room) {
            late_.add(was_late - gained);
            return true;
        }
        late_.least += std::max(was_late - gained, worst_job);
        late_.most += was_late;
        return false;
    }

    const TrialEvaluator& ev_;
    const SecondsSchedule& schedule_;
    const Route& r_;
    TrialObjective& objective_;
    std::int64_t at_;  // the clock
    LatenessBounds late_;
};

Verdict TrialEvaluator::settle_rest(std::size_t p, const SecondsClock& clock,
                                    TrialObjective& objective) const {
    // With breaks the trial is compared after its passage into p, which a break may
    // have changed as a whole, and then goes on as the current route from there.
    const SecondsClock& then = schedule_->has_breaks() ? after_work_[p] : on_arrival_[p];
    const SecondsClock at_end{end_, clock.lateness + job_lateness_ - then.lateness, end_pending_,
                              clock.on_break + end_on_break_ - then.on_break};
    if (clock.meets(then)) return settled(Rule::ClocksMeet, objective.beats(at_end));
    if (keeps_order_from_[p]) {
        // Arriving later, the rest is no less late and ends no sooner; arriving
        // earlier, no more late and no later.
        const bool better_as_bound = objective.beats(at_end);
        if (clock.at > then.at && !better_as_bound) return settled(Rule::OrderBound, false);
        if (clock.at < then.at && better_as_bound) return settled(Rule::OrderBound, true);
    }
    return Verdict::Open;
}

void TrialEvaluator::pass_location(SecondsClock& clock, std::size_t previous, bool has_previous,
                                   std::size_t location) const {
    const SecondsSchedule& schedule = *schedule_;
    if (schedule.has_breaks()) {
        // The first passage of a tour has a leg of no length.
        schedule.pass(clock, has_previous ? schedule.travel_seconds(previous, location) : 0,
                      location);
    } else {
        if (has_previous) schedule.travel(clock, previous, location);
        schedule.work(clock, location);
    }
}

Verdict TrialEvaluator::simulate(std::size_t i, std::size_t j, std::span<const Run> runs,
                                 SecondsClock clock, std::size_t first_location,
                                 std::int64_t start) const {
    const Route& r = current_->route;
    TrialObjective objective(*this, i, j, runs, first_location, start);
    if (!objective.beats(clock)) return settled(Rule::BeforeStretch, false);
    std::size_t previous = i > 0 ? r[i - 1] : first_location;
    bool has_previous = i > 0;
    for (const Run& run : runs) {
        for (std::size_t step = 0; step <= run.last - run.first; ++step) {
            const std::size_t location = r[run.reversed ? run.last - step : run.first + step];
            pass_location(clock, previous, has_previous, location);
            if (!objective.beats(clock)) return settled(Rule::InStretch, false);
            previous = location;
            has_previous = true;
        }
    }
    // The rest of the tour is the current route's only when the tour starts as it does.
    return simulate_rest(j + 1, previous, has_previous, clock, first_location, i > 0, objective);
}

Verdict TrialEvaluator::simulate_rest(std::size_t from, std::size_t previous, bool has_previous,
                                      SecondsClock clock, std::size_t first_location, bool settles,
                                      TrialObjective& objective) const {
    const SecondsSchedule& schedule = *schedule_;
    const Route& r = current_->route;
    auto lost = [&]() TOURWRIGHT_INLINE_STEP { return !objective.beats(clock); };
    const bool breaks = schedule.has_breaks();
    for (std::size_t p = from; p < r.size(); ++p) {
        if (breaks) {
            pass_location(clock, previous, has_previous, r[p]);
            if (lost()) return settled(Rule::SuffixLost, false);
            if (settles) {
                if (const Verdict verdict = settle_rest(p, clock, objective);
                    verdict != Verdict::Open)
                    return verdict;
            }
        } else {
            if (has_previous) schedule.travel(clock, previous, r[p]);
            if (settles) {
                if (const Verdict verdict = settle_rest(p, clock, objective);
                    verdict != Verdict::Open)
                    return verdict;
            }
            schedule.work(clock, r[p]);
            if (lost()) return settled(Rule::SuffixLost, false);
        }
        previous = r[p];
        has_previous = true;
    }
    schedule.return_leg(clock, schedule.travel_seconds(previous, first_location));
    return settled(Rule::Simulated, objective.beats(clock));
}

bool TrialEvaluator::improves(Exchanges changes, int left_out_order) const {
    // Without time data nothing is late, so what is left out decides before the distance.
    if (!schedule_) {
        if (left_out_order != 0) return left_out_order < 0;
        return distances_.total_exchanged(changes) < objective_.distance;
    }
    const Route& r = current_->route;
    TrialObjective objective(*this, changes, left_out_order);
    SecondsClock clock = after_work_[changes.front().at - 1];
    auto lost = [&](Rule rule) { return settled(rule, false) == Verdict::Better; };
    if (!objective.beats(clock)) return lost(Rule::BeforeStretch);
    std::size_t previous = r[changes.front().at - 1];
    std::size_t from = changes.front().at;  // the next position of the current route
    for (const Exchange& change : changes) {
        // The current route up to the change, which the rest cannot settle before the last.
        for (; from < change.at; ++from) {
            pass_location(clock, previous, true, r[from]);
            if (!objective.beats(clock)) return lost(Rule::InStretch);
            previous = r[from];
        }
        if (change.inserted) {
            pass_location(clock, previous, true, *change.inserted);
            if (!objective.beats(clock)) return lost(Rule::InStretch);
            previous = *change.inserted;
        }
        from = change.resumes();
    }
    return simulate_rest(from, previous, true, clock, r[0], true, objective) == Verdict::Better;
}

bool TrialEvaluator::improves_in_time(std::size_t i, std::size_t j,
                                      std::span<const Run> runs) const {
    const SecondsSchedule& schedule = *schedule_;
    const Route& r = current_->route;
    const std::size_t first_location = i > 0 ? r[0] : runs[0].head(r);
    // The legs the trial adds are read in turn; asked for at once, their cache misses overlap.
    {
        std::size_t from = i > 0 ? r[i - 1] : first_location;
        for (const Run& run : runs) {
            schedule.prefetch_travel(from, run.head(r));
            from = run.tail(r);
        }
        schedule.prefetch_travel(from, j + 1 < r.size() ? r[j + 1] : first_location);
    }
    auto better = [](Verdict verdict) { return verdict == Verdict::Better; };
    if (!schedule.can_start_tour(first_location))
        return better(settled(Rule::BeforeStretch, false));
    const std::int64_t start = i > 0 ? start_ : schedule.tour_start(first_location);
    const SecondsClock clock = i > 0 ? after_work_[i - 1] : schedule.starting_at(start);
    // Each path keeps an objective of its own: where no call takes its address, the
    // summary walk's stays in registers.
    if (!schedule.is_single_window())
        return better(simulate(i, j, runs, clock, first_location, start));
    TrialObjective objective(*this, i, j, runs, first_location, start);
    if (!objective.beats(clock.lateness, clock.at))
        return better(settled(Rule::BeforeStretch, false));
    Verdict verdict =
        SummaryWalk<Effort::Bound>(*this, objective, clock).run(i, j, runs, first_location);
    const bool reversal =
        std::any_of(runs.begin(), runs.end(), [](const Run& run) { return run.reversed; });
    if (verdict == Verdict::Open && reversal)
        verdict = SummaryWalk<Effort::SimulateReversed>(*this, objective, clock)
                      .run(i, j, runs, first_location);
    if (verdict == Verdict::Open)
        verdict =
            SummaryWalk<Effort::Exact>(*this, objective, clock).run(i, j, runs, first_location);
    return better(verdict);
}

}  // namespace tourwright
