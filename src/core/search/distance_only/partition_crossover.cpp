#include "search/distance_only/partition_crossover.hpp"

#include <array>
#include <numeric>
#include <vector>

namespace tourwright {
namespace {

// Each location's two neighbours in a tour.
std::vector<std::array<std::size_t, 2>> neighbours(const Route& route) {
    const std::size_t n = route.size();
    std::vector<std::array<std::size_t, 2>> around(n);
    for (std::size_t k = 0; k < n; ++k)
        around[route[k]] = {route[(k + n - 1) % n], route[(k + 1) % n]};
    return around;
}

bool has_leg(const std::array<std::size_t, 2>& around, std::size_t b) {
    return around[0] == b || around[1] == b;
}

std::size_t root(std::vector<std::size_t>& parent, std::size_t a) {
    while (parent[a] != a) a = parent[a] = parent[parent[a]];
    return a;
}

}  // namespace

std::optional<Crossed> partition_crossover(
    const Route& first, const Route& second,
    const std::function<std::int64_t(std::size_t, std::size_t)>& leg) {
    const std::size_t n = first.size();
    const auto a = neighbours(first), b = neighbours(second);
    // Groups: locations joined by legs that only one of the tours has.
    std::vector<std::size_t> parent(n);
    std::iota(parent.begin(), parent.end(), 0);
    std::vector<std::uint8_t> differs(n, 0);
    for (std::size_t u = 0; u < n; ++u)
        for (std::size_t k = 0; k < 2; ++k)
            for (const auto& [own, other] : {std::pair(&a, &b), std::pair(&b, &a)}) {
                const std::size_t v = (*own)[u][k];
                if (has_leg((*other)[u], v)) continue;
                differs[u] = differs[v] = 1;
                parent[root(parent, u)] = root(parent, v);
            }
    // Where both tours run alike (locations without a differing leg), they run
    // along the same path: the group at its far end.
    const auto across = [&](std::size_t from, std::size_t to) {
        while (!differs[to]) {
            const std::size_t ahead = a[to][0] == from ? a[to][1] : a[to][0];
            from = to;
            to = ahead;
        }
        return root(parent, to);
    };
    // Per group: the shared paths that lead out of it, and the length of each tour's
    // legs inside it that the other lacks (each leg seen from both ends, so twice).
    std::vector<std::size_t> exits(n, 0);
    std::vector<std::int64_t> first_inside(n, 0), second_inside(n, 0);
    for (std::size_t u = 0; u < n; ++u) {
        if (!differs[u]) continue;
        const std::size_t group = root(parent, u);
        for (std::size_t v : a[u]) {
            if (!has_leg(b[u], v))
                first_inside[group] += leg(u, v);
            else if (across(u, v) != group)
                ++exits[group];
        }
        for (std::size_t v : b[u])
            if (!has_leg(a[u], v)) second_inside[group] += leg(u, v);
    }
    std::int64_t gain = 0;
    std::vector<std::uint8_t> takes_second(n, 0);
    for (std::size_t u = 0; u < n; ++u) {
        if (!differs[u] || root(parent, u) != u) continue;
        if (exits[u] == 2 && second_inside[u] < first_inside[u]) {
            takes_second[u] = 1;
            gain += (first_inside[u] - second_inside[u]) / 2;
        }
    }
    if (gain == 0) return std::nullopt;
    // Each location keeps the neighbours of the tour its group takes; shared legs
    // join the groups, so together they close into one tour.
    const auto around = [&](std::size_t u) -> const std::array<std::size_t, 2>& {
        return differs[u] && takes_second[root(parent, u)] ? b[u] : a[u];
    };
    Crossed child{Route(n), gain};
    std::size_t previous = first[n - 1], at = first[0];
    for (std::size_t k = 0; k < n; ++k) {
        child.route[k] = at;
        const auto& next = around(at);
        const std::size_t ahead = next[0] == previous ? next[1] : next[0];
        previous = at;
        at = ahead;
    }
    return child;
}

}  // namespace tourwright
