#include "engine/tour_ends.hpp"

namespace tourwright {

Penalizer tour_penalizer(DistanceMatrix distances, std::optional<TimeScheduler> scheduler,
                         const TourEnds& ends, const StopClasses& optional_classes) {
    if (ends.start && !ends.returns()) {
        const std::size_t start = *ends.start;
        for (auto& row : distances.rows)
            if (start < row.size()) row[start] = 0;
        if (scheduler)
            for (auto& row : scheduler->duration_matrix)
                if (start < row.size()) row[start] = TimeDelta::zero();
    }
    const bool late_return_counts = ends.start && ends.returns();
    return Penalizer(std::move(distances), std::move(scheduler), late_return_counts,
                     optional_classes);
}

}  // namespace tourwright
