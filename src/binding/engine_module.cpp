// `tourwright_tools._engine`: the friendly layer's entry into the same core, with
// the options that `tourwright.solve` cannot offer. Its arguments arrive
// already validated by the layer above; what is checked here is what would
// otherwise crash or hang, so the errors are short.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "arguments.hpp"
#include "engine/departure.hpp"
#include "engine/engine.hpp"
#include "errors.hpp"
#include "extract.hpp"
#include "module_state.hpp"
#include "problem_arguments.hpp"
#include "py_output.hpp"
#include "released_search.hpp"
#include "text_tables.hpp"
#include "thread_end.hpp"
#include "util/clock.hpp"

namespace tourwright::python {
namespace {

// The engine's own parameters, after the problem's, in binding order.
enum Parameter : std::size_t {
    kTimeLimit = kProblemParameters.size(),
    kMaxDescents,
    kStart,
    kSeed,
    kThreads,
    kOnProgress,
    kStrategy,
    kEnd,
    kOpenEnd,
    kLatestDeparture,
    kInitial,
    kPinned,
    kOpenHours,
    kStartWindows,
    kBreaks,
    kOptional,
    kParameterCount
};

constexpr auto kEngineParameters = [] {
    std::array<const char*, kParameterCount> names{};
    std::copy(kProblemParameters.begin(), kProblemParameters.end(), names.begin());
    names[kTimeLimit] = "time_limit";
    names[kMaxDescents] = "max_descents";
    names[kStart] = "start";
    names[kSeed] = "seed";
    names[kThreads] = "threads";
    names[kOnProgress] = "on_progress";
    names[kStrategy] = "strategy";
    names[kEnd] = "end";
    names[kOpenEnd] = "open_end";
    names[kLatestDeparture] = "latest_departure";
    names[kInitial] = "initial";
    names[kPinned] = "pinned";
    names[kOpenHours] = "open_hours";
    names[kStartWindows] = "start_windows";
    names[kBreaks] = "breaks";
    names[kOptional] = "optional";
    return names;
}();

// Progress is reported at most this often, whatever the pace of the stop checks.
constexpr TimeDelta kProgressInterval{0, 100'000'000};
constexpr unsigned kMostThreads = 1024;
// The most days a tour's schedule may span: under operating hours each open day costs
// up to two records, and a record some 3 us to build and to become a Tour's event, so
// 10,000 days (27 years) cost some 60 ms past the search, where the million records
// that the core allows took 5 s past a 0.5 s limit.
constexpr std::int64_t kMostScheduleDays = 10'000;

[[noreturn]] void raise_value_error(const char* format, auto... values) {
    PyErr_Format(PyExc_ValueError, format, values...);
    throw PythonError{};
}

// Seconds as a float (or anything with __float__); negative means already passed.
TimeDelta extract_time_limit(PyObject* object) {
    const double seconds = PyFloat_AsDouble(object);
    if (seconds == -1.0 && PyErr_Occurred()) throw PythonError{};
    if (std::isnan(seconds)) raise_value_error("time_limit must be a number of seconds, not NaN");
    const double bounded = std::clamp(seconds, -1e15, 1e15);
    const double whole = std::floor(bounded);
    return TimeDelta{static_cast<std::int64_t>(whole),
                     static_cast<std::int32_t>(std::min((bounded - whole) * 1e9, 999'999'999.0))};
}

Strategy extract_strategy(PyObject* object) {
    if (PyUnicode_Check(object)) {
        if (PyUnicode_CompareWithASCIIString(object, "iterated") == 0) return Strategy::Iterated;
        if (PyUnicode_CompareWithASCIIString(object, "multistart") == 0)
            return Strategy::Multistart;
    }
    PyErr_Format(PyExc_ValueError, "strategy must be 'iterated' or 'multistart', not %R", object);
    throw PythonError{};
}

PyObject* extract_callable(PyObject* object) {
    if (!PyCallable_Check(object)) {
        PyErr_Format(PyExc_TypeError, "expected a callable, got '%s'", Py_TYPE(object)->tp_name);
        throw PythonError{};
    }
    return object;
}

// The objective's keys as a tuple of ints: (lateness, traveling time, duration,
// waiting time, distance) with time data, (distance,) without.
PyRef objective_tuple(const Objective& best, bool timed) {
    const auto distance = static_cast<unsigned long long>(saturated_u64(best.distance));
    if (!timed) return PyRef::checked(Py_BuildValue("(K)", distance));
    return PyRef::checked(
        Py_BuildValue("(LLLLK)", static_cast<long long>(best.lateness.whole_seconds()),
                      static_cast<long long>(best.traveling_time.whole_seconds()),
                      static_cast<long long>(best.duration.whole_seconds()),
                      static_cast<long long>(best.waiting_time.whole_seconds()), distance));
}

// Calls on_progress(elapsed seconds, descents begun, best objective or None);
// a result that is exactly False ends the search.
bool report_progress(PyObject* on_progress, const EngineProgress& progress, bool timed) {
    const double elapsed =
        static_cast<double>(progress.elapsed.secs) + progress.elapsed.nanos * 1e-9;
    PyRef best = progress.best ? objective_tuple(*progress.best, timed) : PyRef::borrow(Py_None);
    PyObject* answer = nullptr;
    try {
        answer =
            PyObject_CallFunction(on_progress, "dKO", elapsed,
                                  static_cast<unsigned long long>(progress.descents), best.get());
    } catch (ThreadEnd&) {
        // The interpreter ended this thread inside the callback (a daemon thread at
        // exit): it holds no lock any more, so `best` is left as it is.
        static_cast<void>(best.release());
        throw;
    }
    return PyRef::checked(answer).get() == Py_False;
}

bool extract_flag(PyObject* object) {
    const int truth = PyObject_IsTrue(object);
    if (truth < 0) throw PythonError{};
    return truth != 0;
}

// The working week's three arguments (open_hours, start_windows, breaks), bound in that
// order at `first`, checked against the problem they join.
// The problem's arguments after the five: open hours, start windows, breaks and the
// optional locations, from `bound[first]` on.
void extract_day(ProblemArguments& problem, std::span<PyObject* const> bound,
                 std::span<const char* const> names, std::size_t first) {
    WeekArguments& week = problem.week;
    week.open_hours = extract_optional(bound[first], names[first], extract_u64_pairs);
    week.start_windows = extract_optional(bound[first + 1], names[first + 1], extract_u64_list);
    week.breaks = extract_optional(bound[first + 2], names[first + 2], extract_u64_triples);
    const std::size_t n = problem.distance_rows.size();
    if (const auto refused = week.refusal(n, problem.operation_times.has_value()))
        raise_value_error("%s", refused->c_str());
    problem.optional_classes =
        extract_optional(bound[first + 3], names[first + 3], extract_stop_classes)
            .value_or(StopClasses{});
    if (!problem.optional_classes.empty() && problem.optional_classes.size() != n)
        raise_value_error("optional has %zu entries for %zu locations",
                          problem.optional_classes.size(), n);
}

// The start, the end and the pinned run are always served: the tour is built around them.
void check_required_ends(const OptionalStops& stops, const TourEnds& ends,
                         const std::vector<std::size_t>& pinned) {
    if (ends.start && stops.optional(*ends.start))
        raise_value_error("the start %zu cannot be optional", *ends.start);
    if (ends.end && stops.optional(*ends.end))
        raise_value_error("the end %zu cannot be optional", *ends.end);
    for (const std::size_t location : pinned)
        if (stops.optional(location))
            raise_value_error("pinned location %zu cannot be optional", location);
}

// A route the objective judges: each required location once, an optional one at most
// once; `what` names it in the message.
void check_served(const Route& route, const OptionalStops& stops, std::size_t n, const char* what) {
    if (stops.serves(route, n)) return;
    if (!stops.any()) raise_value_error("%s must visit each of the %zu locations once", what, n);
    raise_value_error("%s must visit each required location once and an optional one at most once",
                      what);
}

// The layer above validated the problem, so a panic is an internal failure: an
// ordinary exception of this module, not the contract's BaseException.
[[noreturn]] void raise_engine_error(PyObject* module, const Panic& failure) {
    PyRef error_class = PyRef::checked(PyObject_GetAttrString(module, "EngineError"));
    PyErr_SetString(error_class.get(), failure.message().c_str());
    throw PythonError{};
}

// Before the penalizer is formed, which reads the start.
void check_ends(const TourEnds& ends, std::size_t n) {
    if (ends.start && *ends.start >= n)
        raise_value_error("start %zu is out of range for %zu locations", *ends.start, n);
    if (ends.end && *ends.end >= n)
        raise_value_error("end %zu is out of range for %zu locations", *ends.end, n);
    if ((ends.end || ends.open) && !ends.start) raise_value_error("an end needs a start");
}

// The pinned run, as given: the engine would look for a location out of range past the
// route's end, and would keep a repeated location, or one of the ends, in two places.
std::vector<std::size_t> checked_pinned(const std::vector<std::uint64_t>& given,
                                        const TourEnds& ends, std::size_t n) {
    if (!given.empty() && !ends.start) raise_value_error("pinned locations need a start");
    std::vector<bool> seen(n, false);
    for (const std::uint64_t location : given) {
        if (location >= n)
            raise_value_error("pinned location %llu is out of range for %zu locations",
                              static_cast<unsigned long long>(location), n);
        if (location == *ends.start)
            raise_value_error("pinned location %zu is the start", *ends.start);
        if (ends.end && location == *ends.end)
            raise_value_error("pinned location %zu is the end", *ends.end);
        if (seen[location])
            raise_value_error("pinned location %llu is repeated",
                              static_cast<unsigned long long>(location));
        seen[location] = true;
    }
    return {given.begin(), given.end()};
}

// An initial route keeps every fixed place as the search does, or the search would begin
// outside the tours it keeps to.
Route checked_initial(const std::vector<std::uint64_t>& given, const EngineOptions& options,
                      const OptionalStops& stops, std::size_t n) {
    Route route(given.begin(), given.end());
    check_served(route, stops, n, "initial");
    const TourEnds& ends = options.ends;
    if (ends.start && route.front() != *ends.start)
        raise_value_error("initial must begin with the start %zu", *ends.start);
    if (!options.pinned.empty() &&
        !std::equal(options.pinned.begin(), options.pinned.end(), route.begin() + 1))
        raise_value_error("initial must follow the start with the pinned locations in order");
    if (ends.keeps_last() && route.back() != *ends.end)
        raise_value_error("initial must finish with the end %zu", *ends.end);
    return route;
}

void check_options(const Penalizer& penalizer, const EngineOptions& options) {
    if (options.ends.start && !penalizer.can_start_tour(*options.ends.start))
        raise_value_error("start %zu has no time window for the tour to start in",
                          *options.ends.start);
    if (options.initial && !options.initial->empty() &&
        !penalizer.can_start_tour(options.initial->front()))
        raise_value_error("initial begins with %zu, which has no time window to start in",
                          options.initial->front());
    if (options.threads < 1 || options.threads > kMostThreads)
        raise_value_error("threads must be between 1 and %u", kMostThreads);
}

PyObject* engine_solve(PyObject* module, PyObject* const* args, Py_ssize_t nargsf,
                       PyObject* kwnames) {
    // The limit covers the whole call: reading the arguments and building the
    // problem count against it too.
    const TimeDelta entered = monotonic_now();
    return guarded<PyObject*>(nullptr, [&] {
        std::array<PyObject*, kEngineParameters.size()> bound{};
        bind_fastcall({"solve()", kEngineParameters, 1}, args, nargsf, kwnames, bound);

        auto argument = [&](Parameter parameter, auto extract) {
            return extract_optional(bound[parameter], kEngineParameters[parameter], extract);
        };
        ProblemArguments problem =
            extract_problem_arguments(std::span(bound).first(kProblemParameters.size()));
        EngineOptions options;
        options.time_limit = argument(kTimeLimit, extract_time_limit);
        options.max_descents = argument(kMaxDescents, extract_u64);
        options.ends.start = argument(kStart, extract_u64);
        options.ends.end = argument(kEnd, extract_u64);
        options.ends.open = argument(kOpenEnd, extract_flag).value_or(false);
        options.latest_departure = argument(kLatestDeparture, extract_flag).value_or(false);
        options.seed = argument(kSeed, extract_u64);
        const auto threads = argument(kThreads, extract_u64);
        options.threads =
            threads ? static_cast<unsigned>(std::min<std::uint64_t>(*threads, kMostThreads + 1))
                    : 1;
        PyObject* on_progress = argument(kOnProgress, extract_callable).value_or(nullptr);
        options.strategy = argument(kStrategy, extract_strategy).value_or(Strategy::Iterated);
        options.most_schedule_days = kMostScheduleDays;
        extract_day(problem, bound, kEngineParameters, kOpenHours);

        const std::size_t n = problem.distance_rows.size();
        check_ends(options.ends, n);
        options.pinned = checked_pinned(
            argument(kPinned, extract_u64_list).value_or(std::vector<std::uint64_t>{}),
            options.ends, n);
        const OptionalStops stops(problem.optional_classes, {});
        check_required_ends(stops, options.ends, options.pinned);
        if (const auto initial = argument(kInitial, extract_u64_list))
            options.initial = checked_initial(*initial, options, stops, n);
        try {
            auto penalizer =
                std::make_shared<const Penalizer>(std::move(problem).into_penalizer(options.ends));
            check_options(*penalizer, options);
            // Freeing the tables when the call ends counts too: it takes about an eighth
            // of the time building them took (pages handed back against pages first
            // touched), 0.1 to 0.2 s at n = 10,000, so that much is kept back.
            const TimeDelta built = monotonic_now() - entered;
            const std::int64_t eighth = (built.secs * kNanosPerSecond + built.nanos) / 8;
            const TimeDelta freeing{eighth / kNanosPerSecond,
                                    static_cast<std::int32_t>(eighth % kNanosPerSecond)};
            if (options.time_limit) *options.time_limit -= built + freeing;

            TimeDelta last_report = TimeDelta::zero();
            EngineProgress latest{};
            std::function<bool()> visit;
            if (on_progress) {
                visit = [&] {
                    if (latest.elapsed - last_report < kProgressInterval) return false;
                    last_report = latest.elapsed;
                    return report_progress(on_progress, latest,
                                           penalizer->time_scheduler().has_value());
                };
            }
            EngineResult result =
                run_released(may_run_signal_handlers(), visit, [&](SearchClock::StopCheck check) {
                    ProgressCheck progress;
                    if (check) {
                        progress = [&](const EngineProgress& report) {
                            latest = report;
                            return !check();
                        };
                    }
                    return run_engine(penalizer, options, progress);
                });
            PyRef output =
                make_output(Output{std::move(result.best), result.descents, result.time_taken});
            return PyRef::checked(
                       Py_BuildValue("(OO)", output.get(), result.descended ? Py_True : Py_False))
                .release();
        } catch (const Panic& failure) {
            raise_engine_error(module, failure);
        }
    });
}

// The parameters of `evaluate`, after the problem's.
enum EvaluateParameter : std::size_t {
    kRoute = kProblemParameters.size(),
    kEvaluateStart,
    kEvaluateEnd,
    kEvaluateOpenEnd,
    kEvaluateLatestDeparture,
    kEvaluateOpenHours,
    kEvaluateStartWindows,
    kEvaluateBreaks,
    kEvaluateOptional,
    kEvaluateParameterCount
};

constexpr auto kEvaluateParameters = [] {
    std::array<const char*, kEvaluateParameterCount> names{};
    std::copy(kProblemParameters.begin(), kProblemParameters.end(), names.begin());
    names[kRoute] = "route";
    names[kEvaluateStart] = "start";
    names[kEvaluateEnd] = "end";
    names[kEvaluateOpenEnd] = "open_end";
    names[kEvaluateLatestDeparture] = "latest_departure";
    names[kEvaluateOpenHours] = "open_hours";
    names[kEvaluateStartWindows] = "start_windows";
    names[kEvaluateBreaks] = "breaks";
    names[kEvaluateOptional] = "optional";
    return names;
}();

// The totals and schedule of exactly `route`, as a search that ended on it reports them.
PyObject* engine_evaluate(PyObject* module, PyObject* const* args, Py_ssize_t nargsf,
                          PyObject* kwnames) {
    return guarded<PyObject*>(nullptr, [&] {
        std::array<PyObject*, kEvaluateParameters.size()> bound{};
        bind_fastcall({"evaluate()", kEvaluateParameters, kRoute + 1}, args, nargsf, kwnames,
                      bound);
        auto argument = [&](std::size_t parameter, auto extract) {
            return extract_optional(bound[parameter], kEvaluateParameters[parameter], extract);
        };
        ProblemArguments problem =
            extract_problem_arguments(std::span(bound).first(kProblemParameters.size()));
        const std::vector<std::uint64_t> given = extract_u64_list(bound[kRoute]);
        TourEnds ends;
        ends.start = argument(kEvaluateStart, extract_u64);
        ends.end = argument(kEvaluateEnd, extract_u64);
        ends.open = argument(kEvaluateOpenEnd, extract_flag).value_or(false);
        const bool latest = argument(kEvaluateLatestDeparture, extract_flag).value_or(false);
        extract_day(problem, bound, kEvaluateParameters, kEvaluateOpenHours);
        const std::size_t n = problem.distance_rows.size();
        check_ends(ends, n);
        const OptionalStops stops(problem.optional_classes, {});
        check_required_ends(stops, ends, {});
        Route route(given.begin(), given.end());
        check_served(route, stops, n, "route");
        if (ends.start && route.front() != *ends.start)
            raise_value_error("route must begin with the start %zu", *ends.start);
        if (ends.end && route.back() != *ends.end)
            raise_value_error("route must finish with the end %zu", *ends.end);
        try {
            const Penalizer penalizer = std::move(problem).into_penalizer(ends);
            if (!penalizer.can_start_tour(route.front()))
                raise_value_error("route begins with %zu, which has no time window to start in",
                                  route.front());
            const auto departure = latest ? latest_departure(penalizer, route) : std::nullopt;
            Solution solution =
                penalizer.penalize(std::move(route), true, departure, kMostScheduleDays);
            return make_output(Output{std::move(solution), 0, TimeDelta::zero()}).release();
        } catch (const Panic& failure) {
            raise_engine_error(module, failure);
        }
    });
}

// The breaks of a result's schedule as (start, end, location or None) tuples.
PyObject* breaks_of(PyObject*, PyObject* object) {
    return guarded<PyObject*>(nullptr, [&] {
        const auto& report = output_argument(object).solution.time_report;
        PyRef list = PyRef::checked(PyList_New(0));
        if (!report) return list.release();
        for (const ScheduleRecord& record : report->schedule) {
            if (record.kind != RecordKind::Break) continue;
            PyRef location = record.location == kOnLeg
                                 ? PyRef::borrow(Py_None)
                                 : PyRef::checked(PyLong_FromSize_t(record.location));
            PyRef item = PyRef::checked(Py_BuildValue(
                "(LLO)", static_cast<long long>(record.window.start.unix_seconds()),
                static_cast<long long>(record.window.end.unix_seconds()), location.get()));
            if (PyList_Append(list.get(), item.get()) < 0) throw PythonError{};
        }
        return list.release();
    });
}

PyMethodDef engine_methods[] = {
    {"evaluate", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(engine_evaluate)),
     METH_FASTCALL | METH_KEYWORDS,
     "evaluate(distance_matrix, duration_matrix, job_durations, time_windows, operation_times, "
     "route, start=None, end=None, open_end=False, latest_departure=False, open_hours=None, "
     "start_windows=None, breaks=None)\n--\n\n"
     "The PyOutput of exactly `route` (a permutation of the locations, with the start first and "
     "a fixed end last), as `solve` reports a tour it ends on."},
    {"breaks_of", breaks_of, METH_O,
     "breaks_of(output)\n--\n\n"
     "The breaks of a PyOutput's schedule, which its `schedule` leaves out, in order: "
     "(start, end, location) in Unix seconds, location None where a leg paused for it."},
    {"solve", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(engine_solve)),
     METH_FASTCALL | METH_KEYWORDS,
     "solve(distance_matrix, duration_matrix=None, job_durations=None, time_windows=None, "
     "operation_times=None, time_limit=None, max_descents=None, start=None, seed=None, "
     "threads=None, on_progress=None, strategy='iterated', end=None, open_end=False, "
     "latest_departure=False, initial=None, pinned=None, open_hours=None, start_windows=None, "
     "breaks=None)\n--\n\n"
     "Searches as tourwright.solve does, with a start and an end kept in place, seeded restarts, "
     "a cap on descents, progress reports and several threads, and leaves at the latest departure "
     "that costs nothing. `pinned` (locations other than the start and end, needs a start) stay "
     "right after the start in that order. `initial` (each location once, the start first, the "
     "pinned run next, a fixed end last) is where the search begins and what it improves on: "
     "the result is never worse, and with max_descents=0 it is exactly that route. Returns "
     "(PyOutput, whether a descent ended at a local optimum before the limit or a stop ended "
     "the search). `open_hours` ((open, close) Unix seconds, ascending and apart; not with "
     "operation_times) are the hours as instants; `start_windows` (a flag per location) marks "
     "the locations whose windows bind only the start of the job; `breaks` ((length, earliest, "
     "latest) seconds, ascending and apart) are taken as the core's break rule places them."},
    {"integer_rows", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(integer_rows)),
     METH_FASTCALL,
     "integer_rows(text, at, json)\n--\n\n"
     "The table of whole numbers in `text` from index `at` (a JSON array of arrays of "
     "integers, or lines of numbers to the end): (end, values as bytes of native uint64, "
     "row lengths, largest value), or None when the text there is anything else."},
    {"shorten_through_third",
     reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(shorten_through_third)),
     METH_FASTCALL,
     "shorten_through_third(matrix, xs, ys, scale)\n--\n\n"
     "Shortens in place the int64 n x n array of rounded-down distances between the points "
     "(xs[i] / scale, ys[i] / scale) as the classic collections' loops do: for i, for j, for k, "
     "d[i][j] = min(d[i][j], d[i][k] + d[k][j])."},
    {nullptr, nullptr, 0, nullptr},
};

PyModuleDef engine_def = {
    PyModuleDef_HEAD_INIT, "_engine",          "The search engine behind tourwright_tools.",
    sizeof(ModuleState),   engine_methods,     nullptr,
    traverse_module_state, clear_module_state, free_module_state,
};

// The engine's own exception for internal failures, an ordinary RuntimeError.
void add_engine_error(PyObject* module, const ModuleState&) {
    PyRef error_class = PyRef::checked(PyErr_NewExceptionWithDoc(
        "tourwright_tools._engine.EngineError",
        "An internal check of the search failed; the call that met it was abandoned.",
        PyExc_RuntimeError, nullptr));
    if (PyModule_AddObjectRef(module, "EngineError", error_class.get()) < 0) throw PythonError{};
}

}  // namespace
}  // namespace tourwright::python

PyMODINIT_FUNC PyInit__engine() {
    using namespace tourwright::python;
    return guarded<PyObject*>(nullptr,
                              [] { return initialise_module(engine_def, add_engine_error); });
}
