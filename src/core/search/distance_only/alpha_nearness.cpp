#include "search/distance_only/alpha_nearness.hpp"

#include <algorithm>
#include <limits>
#include <queue>
#include <tuple>

namespace tourwright {
namespace {

// Legs are scaled up so that the ascent's penalties can move in steps finer than
// one unit of the table.
constexpr std::int64_t kScale = 100;
constexpr std::int64_t kNone = std::numeric_limits<std::int64_t>::max();

// The legs the trees may use, both ways, location by location (scaled).
struct Graph {
    std::vector<std::size_t> start;  // location a's legs are [start[a], start[a + 1])
    std::vector<std::size_t> to;
    std::vector<std::int64_t> weight;

    Graph(std::size_t n, std::span<const std::size_t> near, std::size_t near_count,
          const std::function<std::int64_t(std::size_t, std::size_t)>& leg) {
        std::vector<std::pair<std::size_t, std::size_t>> pairs;
        pairs.reserve(2 * near.size());
        for (std::size_t a = 0; a < n; ++a) {
            for (std::size_t k = 0; k < near_count; ++k) {
                const std::size_t b = near[a * near_count + k];
                pairs.emplace_back(a, b);
                pairs.emplace_back(b, a);
            }
        }
        std::sort(pairs.begin(), pairs.end());
        pairs.erase(std::unique(pairs.begin(), pairs.end()), pairs.end());
        start.assign(n + 1, 0);
        for (const auto& [a, b] : pairs) ++start[a + 1];
        for (std::size_t a = 0; a < n; ++a) start[a + 1] += start[a];
        to.reserve(pairs.size());
        weight.reserve(pairs.size());
        for (const auto& [a, b] : pairs) {
            to.push_back(b);
            // Legs too long to scale show as such (and end the search for lists).
            const std::int64_t length = leg(a, b);
            weight.push_back(length > std::numeric_limits<std::int64_t>::max() / kScale
                                 ? std::numeric_limits<std::int64_t>::max()
                                 : kScale * length);
        }
    }
};

// The cheapest 1-tree under the penalties `pi`: a spanning tree of locations 1 ..
// n - 1 and location 0's two cheapest legs. `parent` and `parent_cost` describe the
// tree (rooted at 1; location 0 and the root have none), `order` lists the tree's
// locations as they joined it, parents first.
struct OneTree {
    std::vector<std::size_t> parent, order;
    std::vector<std::int64_t> parent_cost;
    std::vector<int> degree;
    std::int64_t length = 0;
    bool spanning = false;

    void build(const Graph& graph, const std::vector<std::int64_t>& pi) {
        const std::size_t n = pi.size();
        const auto cost = [&](std::size_t a, std::size_t e) {
            return graph.weight[e] + pi[a] + pi[graph.to[e]];
        };
        parent.assign(n, n);
        parent_cost.assign(n, kNone);
        degree.assign(n, 0);
        order.clear();
        length = 0;
        std::vector<std::uint8_t> joined(n, 0);
        using Entry = std::tuple<std::int64_t, std::size_t, std::size_t>;  // cost, to, from
        std::priority_queue<Entry, std::vector<Entry>, std::greater<>> heap;
        joined[0] = 1;
        heap.emplace(0, 1, n);
        while (!heap.empty()) {
            const auto [c, b, from] = heap.top();
            heap.pop();
            if (joined[b]) continue;
            joined[b] = 1;
            order.push_back(b);
            if (from != n) {
                parent[b] = from;
                parent_cost[b] = c;
                length += c;
                ++degree[b];
                ++degree[from];
            }
            for (std::size_t e = graph.start[b]; e < graph.start[b + 1]; ++e) {
                const std::size_t d = graph.to[e];
                if (joined[d]) continue;
                const std::int64_t c2 = cost(b, e);
                if (c2 < parent_cost[d]) {
                    parent_cost[d] = c2;
                    heap.emplace(c2, d, b);
                }
            }
        }
        spanning = order.size() == n - 1;
        // Location 0 joins by its two cheapest legs.
        std::size_t first = graph.start[1], second = graph.start[1];
        for (std::size_t e = graph.start[0]; e < graph.start[1]; ++e) {
            const std::int64_t c = cost(0, e);
            if (first == graph.start[1] || c < cost(0, first)) {
                second = first;
                first = e;
            } else if (second == graph.start[1] || c < cost(0, second)) {
                second = e;
            }
        }
        if (second == graph.start[1]) {
            spanning = false;
            return;
        }
        second_of_zero = cost(0, second);
        length += cost(0, first) + second_of_zero;
        degree[0] = 2;
        ++degree[graph.to[first]];
        ++degree[graph.to[second]];
    }

    std::int64_t second_of_zero = 0;
};

}  // namespace

std::vector<std::size_t> alpha_nearest(
    std::size_t n, std::span<const std::size_t> near, std::size_t near_count,
    const std::function<std::int64_t(std::size_t, std::size_t)>& leg, std::size_t count,
    std::size_t steps, const std::function<bool()>& stop, const std::function<bool()>& enough) {
    if (n < 3 || near_count == 0 || count == 0) return {};
    const Graph graph(n, near, near_count, leg);
    // Trees and penalties stay far from the 64-bit limit (penalties move by a few
    // average legs at most).
    if (*std::max_element(graph.weight.begin(), graph.weight.end()) >
        std::numeric_limits<std::int64_t>::max() / 16 / static_cast<std::int64_t>(n))
        return {};
    std::vector<std::int64_t> pi(n, 0), best_pi(n, 0);
    std::vector<int> last_move(n, 0);
    OneTree tree;
    // The step size shrinks from its first value to none over the ascent, as
    // Volgenant and Jonker schedule it.
    double first_step = 0;
    std::int64_t best_bound = std::numeric_limits<std::int64_t>::min();
    for (std::size_t k = 1; k <= std::max<std::size_t>(steps, 1); ++k) {
        if (stop()) return {};
        if (k > 1 && enough()) break;
        tree.build(graph, pi);
        if (!tree.spanning) return {};
        std::int64_t bound = tree.length;
        for (std::int64_t p : pi) bound -= 2 * p;
        if (bound > best_bound) {
            best_bound = bound;
            best_pi = pi;
        }
        if (std::all_of(tree.degree.begin(), tree.degree.end(), [](int d) { return d == 2; }))
            break;
        if (k == 1) first_step = 0.01 * static_cast<double>(bound) / static_cast<double>(n);
        const double m = static_cast<double>(steps), i = static_cast<double>(k);
        const double step = steps < 3
                                ? first_step
                                : first_step * ((i - 1) * (2 * m - 5) / (2 * (m - 1)) - (i - 2) +
                                                (i - 1) * (i - 2) / (2 * (m - 1) * (m - 2)));
        if (step <= 0) break;
        for (std::size_t a = 0; a < n; ++a) {
            const int move = tree.degree[a] - 2;
            pi[a] += static_cast<std::int64_t>(step * (0.7 * move + 0.3 * last_move[a]));
            last_move[a] = move;
        }
    }
    tree.build(graph, best_pi);
    if (!tree.spanning) return {};
    // Depths in the tree, for the dearest leg on the path between two locations.
    std::vector<std::size_t> depth(n, 0);
    for (std::size_t b : tree.order)
        if (tree.parent[b] != n) depth[b] = depth[tree.parent[b]] + 1;
    const auto dearest_on_path = [&](std::size_t a, std::size_t b) {
        std::int64_t dearest = std::numeric_limits<std::int64_t>::min();
        while (a != b) {
            if (depth[a] < depth[b]) std::swap(a, b);
            dearest = std::max(dearest, tree.parent_cost[a]);
            a = tree.parent[a];
        }
        return dearest;
    };
    count = std::min(count, n - 1);
    std::vector<std::size_t> lists(n * count, n);
    std::vector<std::tuple<std::int64_t, std::int64_t, std::size_t>> ranked;
    for (std::size_t a = 0; a < n; ++a) {
        ranked.clear();
        for (std::size_t e = graph.start[a]; e < graph.start[a + 1]; ++e) {
            const std::size_t b = graph.to[e];
            const std::int64_t cost = graph.weight[e] + best_pi[a] + best_pi[b];
            std::int64_t alpha = 0;
            if (a == 0 || b == 0)
                alpha = std::max<std::int64_t>(0, cost - tree.second_of_zero);
            else if (tree.parent[a] != b && tree.parent[b] != a)
                alpha = cost - dearest_on_path(a, b);
            ranked.emplace_back(alpha, graph.weight[e], b);
        }
        const std::size_t kept = std::min(count, ranked.size());
        std::partial_sort(ranked.begin(), ranked.begin() + static_cast<std::ptrdiff_t>(kept),
                          ranked.end());
        for (std::size_t k = 0; k < kept; ++k) lists[a * count + k] = std::get<2>(ranked[k]);
        // A location with fewer legs in the graph repeats its last one.
        for (std::size_t k = kept; k < count; ++k)
            lists[a * count + k] = lists[a * count + kept - 1];
    }
    return lists;
}

}  // namespace tourwright
