#pragma once
// The smallest or largest value over any range of a sequence in constant time: a sparse
// table. Beyond kBlocksFrom values it covers blocks of kBlock values, each value keeping
// the pick from its block's start and to its block's end, so that a reset from position
// u costs O(n - u) rather than O((n - u) log n): a descent resets after every accepted
// move, and on routes of thousands the full table's rebuild was what it spent most on.
// Shorter sequences keep the plain table, whose ranges cost less to ask (by 4 % of the
// whole search at 200 locations).
#include <algorithm>
#include <bit>
#include <cstddef>
#include <vector>

namespace tourwright {

// `Pick` (a, b) -> the one of a and b to keep: std::min or std::max as a type.
template <class T, class Pick>
class RangeExtremes {
public:
    static constexpr std::size_t kBlock = 16;
    static constexpr std::size_t kBlocksFrom = 512;

    // For the n values value_at(0 .. n - 1), of which the first `unchanged` are
    // those of the previous reset (of as many values), so that the ranges among
    // them stand and only the others are asked for.
    template <class ValueAt>
    void reset(std::size_t n, std::size_t unchanged, ValueAt value_at) {
        if (values_.size() != n) {
            unchanged = 0;
            block_ = n > kBlocksFrom ? kBlock : 1;
        }
        values_.resize(n);
        for (std::size_t k = unchanged; k < n; ++k) values_[k] = value_at(k);
        const std::size_t first_block = unchanged / block_, blocks = (n + block_ - 1) / block_;
        levels_.resize(blocks ? static_cast<std::size_t>(std::bit_width(blocks)) : 0);
        if (blocks) levels_[0].resize(blocks);
        if (block_ == 1) {
            for (std::size_t k = unchanged; k < n; ++k) levels_[0][k] = values_[k];
        } else {
            from_start_.resize(n);
            to_end_.resize(n);
            for (std::size_t k = unchanged; k < n; ++k)
                from_start_[k] =
                    k % block_ == 0 ? values_[k] : Pick{}(from_start_[k - 1], values_[k]);
            // The block holding the first new value is summed again from its end.
            for (std::size_t block = first_block; block < blocks; ++block) {
                const std::size_t start = block * block_, last = std::min(n, start + block_) - 1;
                to_end_[last] = values_[last];
                for (std::size_t k = last; k-- > start;)
                    to_end_[k] = Pick{}(values_[k], to_end_[k + 1]);
                levels_[0][block] = to_end_[start];
            }
        }
        for (std::size_t level = 1, width = 2; level < levels_.size(); ++level, width *= 2) {
            const std::vector<T>& below = levels_[level - 1];
            std::vector<T>& here = levels_[level];
            here.resize(blocks - width + 1);
            // Ranges that reach a block from `first_block` on.
            const std::size_t from = first_block >= width ? first_block - width + 1 : 0;
            for (std::size_t b = from; b < here.size(); ++b)
                here[b] = Pick{}(below[b], below[b + width / 2]);
        }
    }

    // The value at position k.
    const T& at(std::size_t k) const { return values_[k]; }

    // Over positions first ..= last.
    T over(std::size_t first, std::size_t last) const {
        return block_ == 1 ? blocks_over(first, last) : over_in_blocks(first, last);
    }

private:
    // Kept apart, so that the plain table's ranges stay cheap where `over` is inlined.
    [[gnu::noinline]] T over_in_blocks(std::size_t first, std::size_t last) const {
        const std::size_t first_block = first / kBlock, last_block = last / kBlock;
        if (first_block == last_block) {
            if (first % kBlock == 0) return from_start_[last];
            if (last % kBlock == kBlock - 1 || last + 1 == values_.size()) return to_end_[first];
            T picked = values_[first];
            for (std::size_t k = first + 1; k <= last; ++k) picked = Pick{}(picked, values_[k]);
            return picked;
        }
        const T ends = Pick{}(to_end_[first], from_start_[last]);
        if (last_block == first_block + 1) return ends;
        return Pick{}(ends, blocks_over(first_block + 1, last_block - 1));
    }

    // Over whole blocks first ..= last.
    T blocks_over(std::size_t first, std::size_t last) const {
        const std::size_t level = static_cast<std::size_t>(std::bit_width(last - first + 1)) - 1;
        const std::vector<T>& picks = levels_[level];
        return Pick{}(picks[first], picks[last + 1 - (std::size_t{1} << level)]);
    }

    std::size_t block_ = 1;  // kBlock, or 1: the plain table
    std::vector<T> values_;
    // With blocks: over the block's start ..= k, and over k ..= the block's last.
    std::vector<T> from_start_;
    std::vector<T> to_end_;
    std::vector<std::vector<T>> levels_;  // levels_[l][b]: over blocks b ..= b + 2^l - 1
};

}  // namespace tourwright
