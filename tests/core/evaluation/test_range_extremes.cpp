// The range tables answer every range as a scan would, also after a reset that keeps
// the values before some position.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <vector>

#include "evaluation/range_extremes.hpp"
#include "test_support.hpp"

namespace {

using namespace tourwright;
using namespace tourwright::test_support;

struct Smaller {
    std::int64_t operator()(std::int64_t a, std::int64_t b) const { return std::min(a, b); }
};

void expect_every_range_scanned(const RangeExtremes<std::int64_t, Smaller>& table,
                                const std::vector<std::int64_t>& values) {
    for (std::size_t a = 0; a < values.size(); ++a) {
        EXPECT_EQ(table.at(a), values[a]);
        std::int64_t scanned = values[a];
        for (std::size_t b = a; b < values.size(); ++b) {
            scanned = std::min(scanned, values[b]);
            ASSERT_EQ(table.over(a, b), scanned)
                << "over " << a << " ..= " << b << " of " << values.size();
        }
    }
}

TEST(RangeExtremes, EveryRangeAsAScanAlsoAfterKeepingAPrefix) {
    Rng rng(17);
    RangeExtremes<std::int64_t, Smaller> table;
    // The plain table, and blocks: ranges within one, across two and across many.
    constexpr std::size_t plain = RangeExtremes<std::int64_t, Smaller>::kBlocksFrom;
    for (std::size_t n :
         {std::size_t{1}, std::size_t{2}, std::size_t{3}, std::size_t{7}, std::size_t{9},
          std::size_t{33}, plain, plain + 1, plain + 190, 3 * plain}) {
        std::vector<std::int64_t> values(n);
        for (auto& v : values) v = draw(rng, -50, 50);
        table.reset(n, 0, [&](std::size_t k) { return values[k]; });
        expect_every_range_scanned(table, values);
        // New values from `unchanged` on; those before must not be asked for again.
        const auto unchanged = static_cast<std::size_t>(draw(rng, 0, static_cast<std::int64_t>(n)));
        for (std::size_t k = unchanged; k < n; ++k) values[k] = draw(rng, -50, 50);
        table.reset(n, unchanged, [&](std::size_t k) {
            EXPECT_GE(k, unchanged);
            return values[k];
        });
        expect_every_range_scanned(table, values);
    }
}

}  // namespace
