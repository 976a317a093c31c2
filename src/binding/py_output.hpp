#pragma once
#include <cstdint>

#include "evaluation/penalizer.hpp"
#include "pyref.hpp"
#include "util/chrono.hpp"

namespace tourwright::python {

// What a solve call hands back: owned outright, never changed after creation.
struct Output {
    Solution solution;
    std::uint64_t iterations;
    TimeDelta time_taken;
};

// A new PyOutput object owning `output`.
PyRef make_output(Output output);

// What the PyOutput `object` owns; throws PythonError with a TypeError set for anything else.
const Output& output_argument(PyObject* object);

}  // namespace tourwright::python
