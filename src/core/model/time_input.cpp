#include "model/time_input.hpp"

#include "util/panic.hpp"

namespace tourwright {

TimeDelta TimeScheduler::travel_duration(std::size_t from, std::size_t to) const {
    return checked_at(checked_at(duration_matrix, from), to);
}

}  // namespace tourwright
