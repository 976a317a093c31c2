#include "search/perturbation.hpp"

#include <algorithm>
#include <cstdint>

#include "util/rng.hpp"

namespace tourwright {
namespace {

// A uniform integer in low ..= high.
std::size_t draw(RandomWords& rng, std::size_t low, std::size_t high) {
    return low + uniform_index(rng, static_cast<std::uint32_t>(high - low));
}

// The locations at the given positions that exist.
void add_at(std::vector<std::size_t>& touched, const Route& route,
            std::initializer_list<std::ptrdiff_t> positions) {
    for (std::ptrdiff_t p : positions)
        if (p >= 0 && static_cast<std::size_t>(p) < route.size())
            touched.push_back(route[static_cast<std::size_t>(p)]);
}

}  // namespace

std::vector<std::size_t> swap_adjacent_stretches(Route& route, std::size_t first, std::size_t stop,
                                                 std::size_t longest, RandomWords& rng) {
    const std::size_t movable = stop > first ? stop - first : 0;
    if (movable < 2 || longest == 0) return {};
    const std::size_t a = draw(rng, 1, std::min(longest, movable - 1));
    const std::size_t b = draw(rng, 1, std::min(longest, movable - a));
    const std::size_t p = draw(rng, first, stop - a - b);
    std::rotate(route.begin() + static_cast<std::ptrdiff_t>(p),
                route.begin() + static_cast<std::ptrdiff_t>(p + a),
                route.begin() + static_cast<std::ptrdiff_t>(p + a + b));
    std::vector<std::size_t> touched;
    const auto q = static_cast<std::ptrdiff_t>(p);
    const auto na = static_cast<std::ptrdiff_t>(a), nb = static_cast<std::ptrdiff_t>(b);
    add_at(touched, route, {q - 1, q, q + nb - 1, q + nb, q + na + nb - 1, q + na + nb});
    return touched;
}

std::vector<std::size_t> relocate_near_neighbours(Route& route, std::size_t first, std::size_t stop,
                                                  std::size_t count,
                                                  const NeighbourLists& neighbours,
                                                  RandomWords& rng) {
    std::vector<std::size_t> touched;
    for (std::size_t round = 0; round < count && stop > first + 1; ++round) {
        const std::size_t p = draw(rng, first, stop - 1);
        const std::size_t location = route[p];
        const auto before = neighbours.predecessors(location);
        if (before.empty()) continue;
        const std::size_t after_whom = before[draw(rng, 0, before.size() - 1)];
        route.erase(route.begin() + static_cast<std::ptrdiff_t>(p));
        add_at(touched, route,
               {static_cast<std::ptrdiff_t>(p) - 1, static_cast<std::ptrdiff_t>(p)});
        // Back where it was when the neighbour would take it out of first .. stop - 1.
        const auto at = std::find(route.begin(), route.end(), after_whom) + 1;
        const auto index = static_cast<std::size_t>(at - route.begin());
        const bool inside = index >= first && index < stop;
        const auto back = route.begin() + static_cast<std::ptrdiff_t>(p);
        const auto inserted = route.insert(inside ? at : back, location);
        const auto q = inserted - route.begin();
        add_at(touched, route, {q - 1, q, q + 1});
    }
    return touched;
}

std::vector<std::size_t> exchange_served(Route& route, std::size_t first, std::size_t stop,
                                         const OptionalStops& stops,
                                         const NeighbourLists& neighbours, RandomWords& rng) {
    // The stop taken in is one of the most important left out.
    std::vector<std::size_t> left_out;
    for (std::size_t location : locations_left_out(route, neighbours.location_count())) {
        if (!left_out.empty() && stops.outranks(location, left_out[0])) left_out.clear();
        if (left_out.empty() || !stops.outranks(left_out[0], location))
            left_out.push_back(location);
    }
    const bool takes_in = !left_out.empty();
    const std::size_t taken_in = takes_in ? left_out[draw(rng, 0, left_out.size() - 1)] : 0;
    std::vector<std::size_t> touched, dropped;
    first = std::max<std::size_t>(first, 1);
    // One or two, of a lower class than the one taken in where there are such: a tour where
    // two stops make one late keeps either alone.
    for (std::size_t drops = draw(rng, 1, 2); drops > 0; --drops) {
        std::vector<std::size_t> droppable, lower;
        for (std::size_t p = first; p < stop; ++p) {
            if (!stops.optional(route[p])) continue;
            droppable.push_back(p);
            if (takes_in && stops.outranks(taken_in, route[p])) lower.push_back(p);
        }
        const auto& from = lower.empty() ? droppable : lower;
        if (from.empty()) break;
        const std::size_t p = from[draw(rng, 0, from.size() - 1)];
        dropped.push_back(route[p]);
        route.erase(route.begin() + static_cast<std::ptrdiff_t>(p));
        add_at(touched, route,
               {static_cast<std::ptrdiff_t>(p) - 1, static_cast<std::ptrdiff_t>(p)});
        --stop;
    }
    if (takes_in && stop >= first) {
        // After a neighbour among the positions that may change, else anywhere among them.
        std::vector<std::size_t> places;
        for (std::size_t before : neighbours.predecessors(taken_in)) {
            const auto at = std::find(route.begin(), route.end(), before);
            const auto index = static_cast<std::size_t>(at - route.begin()) + 1;
            if (at != route.end() && index >= first && index <= stop) places.push_back(index);
        }
        const std::size_t index =
            places.empty() ? draw(rng, first, stop) : places[draw(rng, 0, places.size() - 1)];
        route.insert(route.begin() + static_cast<std::ptrdiff_t>(index), taken_in);
        const auto q = static_cast<std::ptrdiff_t>(index);
        add_at(touched, route, {q - 1, q, q + 1});
    }
    // Last, so that the descent tries the tour without them before taking them back.
    touched.insert(touched.end(), dropped.begin(), dropped.end());
    return touched;
}

double locations_per_window(const TimeScheduler& scheduler, std::size_t n) {
    std::int64_t opens = INT64_MAX, closes = INT64_MIN;
    for (const TimeWindows& location : scheduler.time_windows)
        for (const TimeWindow& window : location.windows) {
            opens = std::min(opens, window.start.unix_seconds());
            closes = std::max(closes, window.end.unix_seconds());
        }
    if (opens >= closes) return 0;
    const double horizon = static_cast<double>(closes) - static_cast<double>(opens);
    double covered = 0;
    for (std::size_t location = 0; location < n; ++location) {
        const auto* windows =
            location < scheduler.time_windows.size() ? &scheduler.time_windows[location] : nullptr;
        if (!windows || windows->windows.empty()) {
            covered += 1;
            continue;
        }
        double spans = 0;
        for (const TimeWindow& window : windows->windows)
            spans += static_cast<double>(window.end.unix_seconds() - window.start.unix_seconds());
        covered += std::min(spans / horizon, 1.0);
    }
    return covered;
}

}  // namespace tourwright
