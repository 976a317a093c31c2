#include "search/distance_only/three_opt_steps.hpp"

#include <algorithm>
#include <optional>

#include "search/distance_only/alpha_nearness.hpp"

namespace tourwright::distance_only {

bool ThreeOptSteps::build_candidates(std::size_t count, std::size_t ascent_steps,
                                     const std::function<bool()>& stop,
                                     const std::function<bool()>& ascent_over) {
    alpha_count_ = count;
    alpha_ = alpha_nearest(
        t_.n, t_.lists.near, t_.lists.count,
        [this](std::size_t a, std::size_t b) { return t_.leg(a, b); }, alpha_count_, ascent_steps,
        stop, ascent_over);
    return !alpha_.empty();
}

bool ThreeOptSteps::step(std::size_t t1) {
    if (alpha_.empty()) return false;
    for (const bool forward : {true, false}) {
        const std::size_t t2 = forward ? t_.tour.next(t1) : t_.tour.previous(t1);
        reversals_.clear();
        put_in_.clear();
        taken_out_ = {ordered(t1, t2)};
        if (!deepen(t1, t2, t_.leg(t1, t2), 0)) continue;
        t_.enqueue(t1);
        for (const auto& [a, b] : taken_out_) {
            t_.enqueue(a);
            t_.enqueue(b);
        }
        return true;
    }
    return false;
}

// One level of `step`, `gain` what it has taken out beyond what it put
// in (the leg t1-t2 not yet counted back). True once a level closed with a gain,
// the tour left with it; else false, the tour as it was.
bool ThreeOptSteps::deepen(std::size_t t1, std::size_t t2, std::int64_t gain, std::size_t level) {
    const bool forward = t_.tour.next(t1) == t2;
    const auto ahead = [&](std::size_t a) {
        return forward ? t_.tour.next(a) : t_.tour.previous(a);
    };
    const auto behind = [&](std::size_t a) {
        return forward ? t_.tour.previous(a) : t_.tour.next(a);
    };
    // Whether b lies on the way from a to c, the way t1 runs to t2.
    const auto between = [&](std::size_t a, std::size_t b, std::size_t c) {
        const auto steps = [&](std::size_t from, std::size_t to) {
            const std::size_t p = t_.tour.position(from), q = t_.tour.position(to);
            return forward ? (q + t_.n - p) % t_.n : (p + t_.n - q) % t_.n;
        };
        return steps(a, b) <= steps(a, c);
    };
    std::optional<ThreeOptMove> deepest;  // the most gain left open
    for (std::size_t k = 0; k < alpha_count_; ++k) {
        const std::size_t t3 = alpha_[t2 * alpha_count_ + k];
        const std::int64_t g1 = gain - t_.leg(t2, t3);
        if (g1 <= 0 || t3 == t1 || t3 == ahead(t2) || was_taken_out(t2, t3)) continue;
        for (const bool t4_ahead : {false, true}) {
            const std::size_t t4 = t4_ahead ? ahead(t3) : behind(t3);
            if (t4 == t1 || was_put_in(t3, t4)) continue;
            const std::int64_t g2 = g1 + t_.leg(t3, t4);
            if (!t4_ahead && g2 - t_.leg(t4, t1) > 0) {
                reverse_leg(t1, t2, t4);
                put_in_.push_back(ordered(t2, t3));
                taken_out_.push_back(ordered(t3, t4));
                t_.length -= g2 - t_.leg(t4, t1);
                return true;
            }
            for (std::size_t j = 0; j < alpha_count_; ++j) {
                const std::size_t t5 = alpha_[t4 * alpha_count_ + j];
                const std::int64_t g3 = g2 - t_.leg(t4, t5);
                if (g3 <= 0 || t5 == t1 || t5 == t_.tour.next(t4) || t5 == t_.tour.previous(t4) ||
                    was_taken_out(t4, t5))
                    continue;
                // With t4 behind t3, t5 anywhere: two 2-opt moves. With t4 ahead,
                // t5 between t2 and t3: t2 .. t5 and t6 .. t3 swapped (t6 ahead of
                // t5), or each reversed in place (t6 behind t5).
                std::array<ThreeOptMove, 2> moves{};
                std::size_t count = 0;
                if (!t4_ahead) {
                    moves[count++] = {ThreeOptKind::two_reversals,
                                      t3,
                                      t4,
                                      t5,
                                      between(t2, t5, t4) ? ahead(t5) : behind(t5),
                                      0};
                } else if (between(t2, t5, t3)) {
                    moves[count++] = {ThreeOptKind::swap, t3, t4, t5, ahead(t5), 0};
                    if (t5 != t2)
                        moves[count++] = {
                            ThreeOptKind::reversed_in_place, t3, t4, t5, behind(t5), 0};
                }
                for (std::size_t m = 0; m < count; ++m) {
                    ThreeOptMove& move = moves[m];
                    if (was_put_in(move.t5, move.t6)) continue;
                    move.open = g3 + t_.leg(move.t5, move.t6);
                    if (move.open - t_.leg(move.t6, t1) > 0) {
                        apply(t1, t2, move);
                        t_.length -= move.open - t_.leg(move.t6, t1);
                        return true;
                    }
                    if (level + 1 < depth_ && (!deepest || move.open > deepest->open) &&
                        t_.lists.legs[move.t6 * t_.lists.count] < move.open)
                        deepest = move;
                }
            }
        }
    }
    if (!deepest) return false;
    const std::size_t undo_from = reversals_.size();
    apply(t1, t2, *deepest);
    if (deepen(t1, deepest->t6, deepest->open, level + 1)) return true;
    while (reversals_.size() > undo_from) {
        const auto [a, b, c] = reversals_.back();
        t_.exchange(a, c, b);
        reversals_.pop_back();
    }
    put_in_.resize(put_in_.size() - 2);
    taken_out_.resize(taken_out_.size() - 2);
    return false;
}

// Puts the level on the tour as 2-opt moves (logged, to be undone), which leave
// t6 next to t1.
void ThreeOptSteps::apply(std::size_t t1, std::size_t t2, const ThreeOptMove& move) {
    const auto [kind, t3, t4, t5, t6, open] = move;
    switch (kind) {
        case ThreeOptKind::two_reversals:
            reverse_leg(t1, t2, t4);
            reverse_leg(t1, t4, t6);
            break;
        case ThreeOptKind::swap:
            reverse_leg(t1, t2, t5);
            reverse_leg(t1, t5, t3);
            reverse_leg(t1, t3, t6);
            break;
        case ThreeOptKind::reversed_in_place:
            reverse_leg(t1, t2, t6);
            reverse_leg(t2, t5, t3);
            break;
    }
    put_in_.insert(put_in_.end(), {ordered(t2, t3), ordered(t4, t5)});
    taken_out_.insert(taken_out_.end(), {ordered(t3, t4), ordered(t5, t6)});
}

void ThreeOptSteps::reverse_leg(std::size_t a, std::size_t b, std::size_t c) {
    t_.exchange(a, b, c);
    reversals_.push_back({a, b, c});
}

}  // namespace tourwright::distance_only
