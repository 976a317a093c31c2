#pragma once
// The smallest or largest value over any range of a sequence in constant time. The
// sequence is cut into blocks of kBlock values: each value keeps the pick from its
// block's start and to its block's end, and a sparse table covers whole blocks. A reset
// from position u then costs O(n - u) rather than O((n - u) log n): a descent resets
// after every accepted move, and on long routes the full sparse table's rebuild was what
// the descent spent most on.
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

    // For the n values value_at(0 .. n - 1), of which the first `unchanged` are
    // those of the previous reset (of as many values), so that the ranges among
    // them stand and only the others are asked for.
    template <class ValueAt>
    void reset(std::size_t n, std::size_t unchanged, ValueAt value_at) {
        if (values_.size() != n) unchanged = 0;
        values_.resize(n);
        from_start_.resize(n);
        to_end_.resize(n);
        for (std::size_t k = unchanged; k < n; ++k) {
            values_[k] = value_at(k);
            from_start_[k] = k % kBlock == 0 ? values_[k] : Pick{}(from_start_[k - 1], values_[k]);
        }
        // The block holding the first new value is summed again from its end.
        const std::size_t first_block = unchanged / kBlock, blocks = (n + kBlock - 1) / kBlock;
        for (std::size_t block = first_block; block < blocks; ++block) {
            const std::size_t start = block * kBlock, last = std::min(n, start + kBlock) - 1;
            to_end_[last] = values_[last];
            for (std::size_t k = last; k-- > start;)
                to_end_[k] = Pick{}(values_[k], to_end_[k + 1]);
        }
        levels_.resize(blocks ? static_cast<std::size_t>(std::bit_width(blocks)) : 0);
        if (blocks) {
            levels_[0].resize(blocks);
            for (std::size_t block = first_block; block < blocks; ++block)
                levels_[0][block] = to_end_[block * kBlock];
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

private:
    // Over whole blocks first ..= last.
    T blocks_over(std::size_t first, std::size_t last) const {
        const std::size_t level = static_cast<std::size_t>(std::bit_width(last - first + 1)) - 1;
        const std::vector<T>& picks = levels_[level];
        return Pick{}(picks[first], picks[last + 1 - (std::size_t{1} << level)]);
    }

    std::vector<T> values_;
    std::vector<T> from_start_;           // over the block's start ..= k
    std::vector<T> to_end_;               // over k ..= the block's last
    std::vector<std::vector<T>> levels_;  // levels_[l][b]: over blocks b ..= b + 2^l - 1
};

}  // namespace tourwright
