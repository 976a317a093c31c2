#include "shortened_distances.hpp"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <vector>

// Why the result is exactly the loops'. While i is fixed only row i changes, so at step j the
// loops see rows k != i as they are when row i begins, and row i's entries k < j already
// lowered, those k >= j as they were. Row i thus ends as
//     new[j] = min(old[j], min over k of old[k] + d[k][j], min over k < j of new[k] + d[k][j]),
// found here in rounds: one through every k with the old row, then rounds through only the
// entries the previous round lowered, to later columns, until none is lowered.
//
// Which k need looking at. Let e be the exact distances. Every entry d[k][j] is at least
// e[k][j] - s[k]: s[k] = 1 while row k is still rounded down, else the largest shortfall
// e[k][j] - d[k][j] of its row once done, leaving out the entries lowered more than `deep`,
// which are tried one by one (a few long chains would otherwise widen every cone). The entry
// d[i][k] passed on is e[i][k] - a[k] (a[k] < 1 in the first round). Through k, an entry d[i][j] <=
// e[i][j] drops only if
//     e[i][k] + e[k][j] - e[i][j] < a[k] + s[k].
// The left side falls as j moves away from i along its ray, towards r (1 - cos t) with
// r = e[i][k] and t the angle at i between k and j; so only the j within angle
// 2 asin(sqrt((a[k] + s[k]) / 2r)) of k's direction from i can be lowered through k. Those
// are found by bisection among the other points sorted by their direction from i, and each
// is tested against the inequality before its entry is read; a wide cone sweeps all of row k
// instead, which only tries more sums. Rounding
// errors of the floating-point distances and angles are far below the margins added to the
// bounds, which only widen the cones; the sums themselves are compared in integers.

namespace tourwright {
namespace {

constexpr double pi = std::numbers::pi;
// Added to every cone's half-angle: atan2 of whole numbers errs by a few units in the last
// place, about 1e-15.
constexpr double angle_margin = 1e-12;
constexpr std::size_t probe_every = 32;
// How far below the exact distance an entry of a finished row may be and still count in its
// row's shortfall; entries lowered further are listed.
constexpr double deep = 2.0;

// The length of (dx, dy), differences of 64-bit coordinates: their squares cannot overflow a
// double, and the result does not depend on the C library (std::hypot's does, and glibc's
// newest hypot would tie the wheel to glibc 2.35).
double length(double dx, double dy) { return std::sqrt(dx * dx + dy * dy); }

// Another point as seen from i, with what the test of a pair needs at hand: the cone of a k
// holds points far apart in the matrix, so its rows are read only for the pairs that pass.
struct Direction {
    double angle;
    double x, y;
    double distance;  // from i
    std::size_t point;
    bool operator<(const Direction& other) const { return angle < other.angle; }
};

// Streams the processor can do several entries at a time (most x86-64 machines can, the
// baseline cannot): `target[j] = min(target[j], base + through[j])` for every j. Choosing the
// clone at load time needs glibc's indirect functions, which musl lacks.
#if defined(__GNUC__) && defined(__x86_64__) && defined(__linux__) && defined(__GLIBC__)
#define TOURWRIGHT_WIDE_CLONES __attribute__((target_clones("avx2", "default")))
#else
#define TOURWRIGHT_WIDE_CLONES
#endif
// Entry j of `target` through k: base = d[i][k], `through` row k.
template <class Value>
[[gnu::always_inline]] inline void lower_entry(std::span<Value> target, std::size_t j,
                                               const Value* through, Value base) {
    target[j] = std::min(target[j], static_cast<Value>(base + through[j]));
}
template <class Value>
[[gnu::always_inline]] inline void sweep_entries(std::span<Value> target, const Value* through,
                                                 Value base) {
    for (std::size_t j = 0; j < target.size(); ++j) lower_entry(target, j, through, base);
}
// One copy per entry type, each compiled for both kinds of processor.
TOURWRIGHT_WIDE_CLONES void sweep(std::span<std::int16_t> target, const std::int16_t* through,
                                  std::int16_t base) {
    sweep_entries(target, through, base);
}
TOURWRIGHT_WIDE_CLONES void sweep(std::span<std::int32_t> target, const std::int32_t* through,
                                  std::int32_t base) {
    sweep_entries(target, through, base);
}
TOURWRIGHT_WIDE_CLONES void sweep(std::span<std::int64_t> target, const std::int64_t* through,
                                  std::int64_t base) {
    sweep_entries(target, through, base);
}

// `Value` holds the entries: the narrowest type that fits, as sweeps go as much faster.
template <class Value>
class RowShortener {
public:
    RowShortener(std::span<Value> d, std::span<const std::int64_t> xs,
                 std::span<const std::int64_t> ys, std::int64_t scale, const ShorteningPlan& plan)
        : plan_(plan),
          d_(d),
          xs_(xs),
          ys_(ys),
          scale_(static_cast<double>(scale)),
          n_(xs.size()),
          shortfall_(n_, 1.0),
          deep_(n_),
          exact_(n_),
          angle_(n_),
          old_(n_),
          next_(n_) {
        const auto [low_x, high_x] = std::minmax_element(xs.begin(), xs.end());
        const auto [low_y, high_y] = std::minmax_element(ys.begin(), ys.end());
        const double extent =
            length(static_cast<double>(*high_x - *low_x), static_cast<double>(*high_y - *low_y));
        // Distances err by a few units in the last place of the largest one.
        margin_ = 1e-6 + 1e-12 * extent / scale_;
    }

    void shorten(std::size_t i) {
        // Where most cones are wide (shortened legs are common), whole rows are swept
        // without looking at directions at all; every probe_every-th row looks at the cones
        // again to tell whether that still holds.
        if (i % probe_every == 0) {
            sweep_all_ = false;
            looked_ = swept_ = 0;
        } else if (i % probe_every == 1) {
            sweep_all_ = swept_ * plan_.sweep_all_share > looked_;
        }
        look_from(i);
        const std::span<Value> row = d_.subspan(i * n_, n_);
        std::copy(row.begin(), row.end(), old_.begin());
        for (std::size_t k = 0; k < n_; ++k) {
            if (k != i) lower_through(k, old_[k], 1.0 + shortfall_[k], row, false);
        }
        lowered_.clear();
        for (std::size_t j = 0; j < n_; ++j) {
            if (row[j] < old_[j]) lowered_.push_back(j);
        }
        while (!lowered_.empty()) {
            std::copy(row.begin(), row.end(), next_.begin());
            for (const std::size_t k : lowered_) {
                const double deficit = exact_[k] - static_cast<double>(row[k]);
                lower_through(k, row[k], deficit + shortfall_[k], next_, true);
            }
            lowered_.clear();
            for (std::size_t j = 0; j < n_; ++j) {
                if (next_[j] < row[j]) lowered_.push_back(j);
                row[j] = next_[j];
            }
        }
        double shortfall = 1.0, deepest = 1.0;
        for (std::size_t j = 0; j < n_; ++j) {
            const double below = exact_[j] - static_cast<double>(row[j]);
            if (below > deep) {
                deep_[i].push_back(j);
                deepest = std::max(deepest, below);
            } else {
                shortfall = std::max(shortfall, below);
            }
        }
        // Many deep entries are cheaper in wider cones, mostly swept, than one by one.
        if (deep_[i].size() * plan_.wide_share > n_) {
            deep_[i] = {};
            shortfall = deepest;
        }
        shortfall_[i] = shortfall;
    }

private:
    // The distances and directions from i, and the other points sorted by direction.
    void look_from(std::size_t i) {
        around_.clear();
        for (std::size_t j = 0; j < n_; ++j) {
            const auto dx = static_cast<double>(xs_[j] - xs_[i]);
            const auto dy = static_cast<double>(ys_[j] - ys_[i]);
            exact_[j] = length(dx, dy) / scale_;
            if (sweep_all_) continue;
            angle_[j] = std::atan2(dy, dx);
            if (j != i) {
                around_.push_back({angle_[j], static_cast<double>(xs_[j]),
                                   static_cast<double>(ys_[j]), exact_[j], j});
            }
        }
        if (!sweep_all_) std::sort(around_.begin(), around_.end());
    }

    // target[j] = min(target[j], base + d[k][j]) for the j within the cone of k (only j > k
    // when `later_only`), where `reach` bounds e[i][k] + e[k][j] - e[i][j] for any j lowered.
    void lower_through(std::size_t k, Value base, double reach, std::span<Value> target,
                       bool later_only) {
        const Value* through = d_.data() + k * n_;
        const auto sweep_row = [&] {
            const std::size_t first = later_only ? k + 1 : 0;
            sweep(target.subspan(first), through + first, base);
        };
        if (sweep_all_) return sweep_row();
        ++looked_;
        const auto x = static_cast<double>(xs_[k]), y = static_cast<double>(ys_[k]);
        // e[i][k] + e[k][j] - e[i][j] < reach, with the distances in units of 1 / scale.
        const double bound = (reach + margin_ - exact_[k]) * scale_;
        const auto lower = [&](std::size_t from, std::size_t to) {
            for (std::size_t at = from; at < to; ++at) {
                const Direction& other = around_[at];
                const std::size_t j = other.point;
                if (later_only && j <= k) continue;
                const double beyond =
                    std::sqrt((other.x - x) * (other.x - x) + (other.y - y) * (other.y - y));
                if (beyond >= bound + other.distance * scale_) continue;
                lower_entry(target, j, through, base);
            }
        };
        // The cone's one or two runs of `around_`; a cone that wraps past -pi or pi is split.
        std::size_t runs[2][2] = {{0, around_.size()}, {0, 0}};
        const double ratio = (reach + margin_) / (2.0 * exact_[k]);
        if (ratio < 1.0) {  // else every direction, also for a point where i is (ratio infinite)
            const double half = 2.0 * std::asin(std::sqrt(ratio)) + angle_margin;
            const double from = angle_[k] - half;
            const double to = angle_[k] + half;
            if (from < -pi) {
                runs[0][0] = index_at(from + 2 * pi, false);
                runs[1][1] = index_at(to, true);
            } else if (to > pi) {
                runs[0][0] = index_at(from, false);
                runs[1][1] = index_at(to - 2 * pi, true);
            } else {
                runs[0][0] = index_at(from, false);
                runs[0][1] = index_at(to, true);
            }
        }
        // A wide cone touches most of row k: read in order, it is one sweep the processor
        // streams, where picking its entries in the cone's order misses the cache at each.
        if ((runs[0][1] - runs[0][0] + runs[1][1]) * plan_.wide_share > n_) {
            ++swept_;
            return sweep_row();
        }
        for (const auto& [from, to] : runs) lower(from, to);
        for (const std::size_t j : deep_[k]) {
            if (!later_only || j > k) lower_entry(target, j, through, base);
        }
    }

    // The first direction at or after `angle` (or after it, when `past`).
    std::size_t index_at(double angle, bool past) const {
        const Direction probe{angle, 0, 0, 0, 0};
        const auto at = past ? std::upper_bound(around_.begin(), around_.end(), probe)
                             : std::lower_bound(around_.begin(), around_.end(), probe);
        return static_cast<std::size_t>(at - around_.begin());
    }

    ShorteningPlan plan_;
    std::span<Value> d_;
    std::span<const std::int64_t> xs_, ys_;
    double scale_;
    std::size_t n_;
    double margin_ = 0;
    std::vector<double> shortfall_;  // s[k] of the explanation above, but for deep_[k]
    // The entries of row k lowered more than `deep` below the exact distance, looked at
    // one by one: a few long chains of shortened legs would otherwise widen every cone.
    std::vector<std::vector<std::size_t>> deep_;
    std::vector<double> exact_, angle_;
    std::vector<Value> old_, next_;
    std::vector<Direction> around_;
    std::vector<std::size_t> lowered_;
    bool sweep_all_ = false;
    std::size_t looked_ = 0, swept_ = 0;  // cones looked at, and swept, since the last probe
};

// The shortening done on a copy of `d` in narrower entries.
template <class Value>
void shorten_narrow(std::span<std::int64_t> d, std::span<const std::int64_t> xs,
                    std::span<const std::int64_t> ys, std::int64_t scale,
                    const ShorteningPlan& plan) {
    std::vector<Value> narrow(d.begin(), d.end());
    RowShortener<Value> shortener(narrow, xs, ys, scale, plan);
    for (std::size_t i = 0; i < xs.size(); ++i) shortener.shorten(i);
    std::copy(narrow.begin(), narrow.end(), d.begin());
}

}  // namespace

void shorten_through_third(std::span<std::int64_t> d, std::span<const std::int64_t> xs,
                           std::span<const std::int64_t> ys, std::int64_t scale,
                           const ShorteningPlan& plan) {
    if (xs.empty()) return;
    // Sums of two entries must fit too.
    const std::int64_t largest = *std::max_element(d.begin(), d.end());
    if (largest < (1 << 14)) {
        shorten_narrow<std::int16_t>(d, xs, ys, scale, plan);
    } else if (largest < (1 << 30)) {
        shorten_narrow<std::int32_t>(d, xs, ys, scale, plan);
    } else {
        RowShortener<std::int64_t> shortener(d, xs, ys, scale, plan);
        for (std::size_t i = 0; i < xs.size(); ++i) shortener.shorten(i);
    }
}

}  // namespace tourwright
