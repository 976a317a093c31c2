#include "problem_arguments.hpp"

#include "extract.hpp"

namespace tourwright::python {

ProblemArguments extract_problem_arguments(std::span<PyObject* const> bound) {
    ProblemArguments arguments;
    arguments.distance_rows = extract_argument(bound[0], kProblemParameters[0], extract_u64_rows);
    arguments.duration_rows = extract_optional(bound[1], kProblemParameters[1], extract_u64_rows);
    arguments.job_durations = extract_optional(bound[2], kProblemParameters[2], extract_u64_list);
    arguments.time_windows =
        extract_optional(bound[3], kProblemParameters[3], extract_window_lists);
    arguments.operation_times = extract_optional(bound[4], kProblemParameters[4], extract_u64_pair);
    return arguments;
}

Penalizer ProblemArguments::into_penalizer(const TourEnds& ends) && {
    // Signal handlers (Ctrl-C) run between rows, as while the tables were read.
    auto time_scheduler =
        assemble_time_scheduler(std::move(duration_rows), job_durations, time_windows,
                                operation_times, run_signal_handlers);
    if (time_scheduler) week.add_to(*time_scheduler);
    return tour_penalizer(DistanceMatrix{std::move(distance_rows)}, std::move(time_scheduler), ends,
                          optional_classes);
}

}  // namespace tourwright::python
