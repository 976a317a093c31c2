#pragma once
// The smallest or largest value over any range of a sequence in constant time,
// after O(n log n) preparation (a sparse table).
#include <bit>
#include <cstddef>
#include <vector>

namespace tourwright {

// `Pick` (a, b) -> the one of a and b to keep: std::min or std::max as a type.
template <class T, class Pick>
class RangeExtremes {
public:
    // For the n values value_at(0 .. n - 1), of which the first `unchanged` are
    // those of the previous reset (of as many values), so that the ranges among
    // them stand and only the others are asked for.
    template <class ValueAt>
    void reset(std::size_t n, std::size_t unchanged, ValueAt value_at) {
        if (levels_.empty() || levels_[0].size() != n) unchanged = 0;
        levels_.resize(n ? static_cast<std::size_t>(std::bit_width(n)) : 0);
        if (n) {
            levels_[0].resize(n);
            for (std::size_t k = unchanged; k < n; ++k) levels_[0][k] = value_at(k);
        }
        for (std::size_t level = 1, width = 2; level < levels_.size(); ++level, width *= 2) {
            const std::vector<T>& below = levels_[level - 1];
            std::vector<T>& here = levels_[level];
            here.resize(n - width + 1);
            // Ranges that reach an entry from `unchanged` on.
            const std::size_t from = unchanged >= width ? unchanged - width + 1 : 0;
            for (std::size_t k = from; k < here.size(); ++k)
                here[k] = Pick{}(below[k], below[k + width / 2]);
        }
    }

    // The value at position k.
    const T& at(std::size_t k) const { return levels_[0][k]; }

    // Over positions first ..= last.
    T over(std::size_t first, std::size_t last) const {
        const std::size_t level = static_cast<std::size_t>(std::bit_width(last - first + 1)) - 1;
        const std::vector<T>& values = levels_[level];
        return Pick{}(values[first], values[last + 1 - (std::size_t{1} << level)]);
    }

private:
    std::vector<std::vector<T>> levels_;  // levels_[l][k]: over k ..= k + 2^l - 1
};

}  // namespace tourwright
