#include "search/distance_only/array_tour.hpp"

#include <algorithm>

namespace tourwright {

namespace {
// Positions per logged block: small enough that a short move copies little back,
// large enough that long reversals mark few blocks.
constexpr std::size_t kBlock = 64;
}  // namespace

ArrayTour::ArrayTour(const Route& order)
    : at_(order.begin(), order.end()),
      position_(order.size()),
      committed_(at_),
      is_written_((order.size() + kBlock - 1) / kBlock, 0) {
    for (std::size_t p = 0; p < order.size(); ++p)
        position_[order[p]] = static_cast<std::uint32_t>(p);
}

void ArrayTour::mark_written(std::size_t first, std::size_t length) {
    if (length == 0) return;
    const std::size_t last = wrap(first + length - 1);
    const std::size_t blocks = is_written_.size();
    std::size_t block = first / kBlock;
    // The blocks from `first`'s to `last`'s, going round the end when `last` < `first`
    // (then possibly all of them).
    for (std::size_t count = 0; count < blocks; ++count) {
        if (!is_written_[block]) {
            is_written_[block] = 1;
            written_blocks_.push_back(block);
        }
        if (block == last / kBlock && (last >= first || count > 0)) break;
        block = block + 1 == blocks ? 0 : block + 1;
    }
}

void ArrayTour::put(std::size_t position, std::size_t location) {
    at_[position] = static_cast<std::uint32_t>(location);
    position_[location] = static_cast<std::uint32_t>(position);
    mark_written(position, 1);
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
    if (length < 2) return;
    mark_written(from, length);
    std::uint32_t* const at = at_.data();
    std::uint32_t* const position = position_.data();
    const auto swap = [&](std::size_t p, std::size_t q) {
        const std::uint32_t a = at[p], b = at[q];
        at[p] = b;
        position[b] = static_cast<std::uint32_t>(p);
        at[q] = a;
        position[a] = static_cast<std::uint32_t>(q);
    };
    if (from <= to) {  // one run of the array: no wrapping in the loop
        for (; from < to; ++from, --to) swap(from, to);
        return;
    }
    for (std::size_t k = 0; k < length / 2; ++k) {
        swap(from, to);
        from = wrap(from + 1);
        to = to == 0 ? n - 1 : to - 1;
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

template <bool restore>
void ArrayTour::copy_block(std::size_t block) {
    const std::size_t begin = block * kBlock, end = std::min(begin + kBlock, size());
    for (std::size_t p = begin; p < end; ++p) {
        if constexpr (restore) {
            at_[p] = committed_[p];
            position_[at_[p]] = static_cast<std::uint32_t>(p);
        } else {
            committed_[p] = at_[p];
        }
    }
    is_written_[block] = 0;
}

void ArrayTour::commit() {
    for (std::size_t block : written_blocks_) copy_block<false>(block);
    written_blocks_.clear();
}

// Every location that moved left a position that was written since, so restoring
// the written blocks restores every position too.
void ArrayTour::rollback() {
    for (std::size_t block : written_blocks_) copy_block<true>(block);
    written_blocks_.clear();
}

Route ArrayTour::route_from(std::size_t location) const {
    Route route(size());
    const std::size_t from = position_[location];
    for (std::size_t k = 0; k < size(); ++k) route[k] = at_[wrap(from + k)];
    return route;
}

}  // namespace tourwright
