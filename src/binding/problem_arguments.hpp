#pragma once
// The five problem arguments shared by every solve entry (the distance matrix
// and the time data), extracted in order with the parameter-name rule, and
// assembled into the objective.
#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <utility>
#include <vector>

#include "engine/tour_ends.hpp"
#include "errors.hpp"
#include "evaluation/penalizer.hpp"
#include "model/time_arguments.hpp"

namespace tourwright::python {

inline constexpr std::array<const char*, 5> kProblemParameters{
    "distance_matrix", "duration_matrix", "job_durations", "time_windows", "operation_times",
};

// Extracts one argument; a TypeError is reported with the parameter's name.
template <class Extract>
auto extract_argument(PyObject* value, const char* name, Extract extract) {
    try {
        return extract(value);
    } catch (const PythonError&) {
        prefix_argument_error(name);
        throw;
    }
}

// An optional argument: omitted or None means absent, and is not examined.
template <class Extract>
auto extract_optional(PyObject* value, const char* name, Extract extract)
    -> std::optional<decltype(extract(value))> {
    if (!value || value == Py_None) return std::nullopt;
    return extract_argument(value, name, extract);
}

struct ProblemArguments {
    std::vector<std::vector<std::uint64_t>> distance_rows;
    std::optional<std::vector<std::vector<std::uint64_t>>> duration_rows;
    std::optional<std::vector<std::uint64_t>> job_durations;
    std::optional<std::vector<std::vector<SecondsPair>>> time_windows;
    std::optional<SecondsPair> operation_times;
    // Only the engine module's entries take these (after their own parameters).
    WeekArguments week;
    StopClasses optional_classes;  // empty: every location required

    // Converts the time data (which may panic on values out of range) and forms the
    // objective for tours with these ends; the arguments are used up.
    Penalizer into_penalizer(const TourEnds& ends = {}) &&;
};

// `bound` holds the five arguments in kProblemParameters order (null where omitted).
ProblemArguments extract_problem_arguments(std::span<PyObject* const> bound);

}  // namespace tourwright::python
