#include "search/array_tour.hpp"

#include <algorithm>

namespace tourwright {

ArrayTour::ArrayTour(const Route& order)
    : at_(order), position_(order.size()), committed_(order), is_written_(order.size(), 0) {
    for (std::size_t p = 0; p < order.size(); ++p) position_[order[p]] = p;
}

void ArrayTour::put(std::size_t position, std::size_t location) {
    at_[position] = location;
    position_[location] = position;
    if (is_written_[position]) return;
    is_written_[position] = 1;
    written_.push_back(position);
}

void ArrayTour::reverse(std::size_t first, std::size_t last) {
    const std::size_t n = size();
    std::size_t from = position_[first], to = position_[last];
    std::size_t length = wrap(to + n - from) + 1;
    if (2 * length > n) {
        from = wrap(to + 1);
        to = wrap(from + n - length - 1);
        length = n - length;
    }
    for (std::size_t k = 0; k < length / 2; ++k) {
        const std::size_t a = at_[from], b = at_[to];
        put(from, b);
        put(to, a);
        from = wrap(from + 1);
        to = wrap(to + n - 1);
    }
}

void ArrayTour::move_stretch(std::span<const std::size_t> stretch, std::size_t left, bool joined) {
    const std::size_t n = size(), count = stretch.size();
    std::size_t held[4];
    std::copy(stretch.begin(), stretch.end(), held);
    // The stretch in the order it will have, and its positions [begin, end] now.
    if (!joined) std::reverse(held, held + count);
    const bool forward = count == 1 || next(stretch[0]) == stretch[1];
    const std::size_t begin = position_[forward ? stretch.front() : stretch.back()];
    const std::size_t end = wrap(begin + count - 1);
    const std::size_t right = next(left);
    // The rest runs from after the stretch to `left`, then from `right` back to before
    // it: the shorter side moves over by `count` places.
    const std::size_t after = wrap(position_[left] + n - end);
    if (after <= n - count - after) {
        for (std::size_t k = 0; k < after; ++k) put(wrap(begin + k), at_[wrap(end + 1 + k)]);
        for (std::size_t k = 0; k < count; ++k) put(wrap(begin + after + k), held[k]);
    } else {
        const std::size_t from = position_[right], before = wrap(begin + n - from);
        for (std::size_t k = before; k-- > 0;) put(wrap(from + k + count), at_[wrap(from + k)]);
        for (std::size_t k = 0; k < count; ++k) put(wrap(from + k), held[k]);
    }
}

void ArrayTour::swap_stretches(std::size_t at, std::size_t first, std::size_t second,
                               bool reverse_first, bool reverse_second) {
    std::vector<std::size_t> stretch(first + second);
    for (std::size_t k = 0; k < first + second; ++k) stretch[k] = at_[wrap(at + k)];
    const auto middle = stretch.begin() + static_cast<std::ptrdiff_t>(first);
    if (reverse_first) std::reverse(stretch.begin(), middle);
    if (reverse_second) std::reverse(middle, stretch.end());
    std::rotate(stretch.begin(), middle, stretch.end());
    for (std::size_t k = 0; k < stretch.size(); ++k) put(wrap(at + k), stretch[k]);
}

void ArrayTour::commit() {
    for (std::size_t p : written_) {
        committed_[p] = at_[p];
        is_written_[p] = 0;
    }
    written_.clear();
}

void ArrayTour::rollback() {
    for (std::size_t p : written_) {
        at_[p] = committed_[p];
        position_[at_[p]] = p;
        is_written_[p] = 0;
    }
    written_.clear();
}

Route ArrayTour::route_from(std::size_t location) const {
    Route route(size());
    const std::size_t from = position_[location];
    for (std::size_t k = 0; k < size(); ++k) route[k] = at_[wrap(from + k)];
    return route;
}

}  // namespace tourwright
