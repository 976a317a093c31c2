#pragma once
#include <vector>

#include "evaluation/time_output.hpp"
#include "pyref.hpp"

namespace tourwright::python {

// A new list with one new event object per schedule record, in record order.
// Throws PythonError when the interpreter fails.
PyRef schedule_to_list(const std::vector<ScheduleRecord>& records);

}  // namespace tourwright::python
