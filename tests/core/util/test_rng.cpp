// The restart generator: the ChaCha block, bounded draws, the shuffle and the
// per-thread, fork-aware stream.
#include <gtest/gtest.h>

#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <numeric>
#include <ostream>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "util/rng.hpp"

namespace {

using tourwright::chacha_block;
using tourwright::shuffle;
using tourwright::thread_rng;
using tourwright::uniform_index;

using Block = std::array<std::uint32_t, 16>;

// Hands out a fixed sequence of words, so the rejection and shuffle logic can be
// followed draw by draw.
struct ScriptedWords {
    std::vector<std::uint32_t> words;
    std::size_t used = 0;

    std::uint32_t next_u32() {
        if (used >= words.size()) {
            ADD_FAILURE() << "drew more than the " << words.size() << " scripted words";
            ++used;
            return 0;  // accepted by every range, so the caller terminates
        }
        return words[used++];
    }
};

// ---------------------------------------------------------------- chacha_block

struct ChachaVector {
    const char* name;
    Block input;
    Block output;
};

void PrintTo(const ChachaVector& c, std::ostream* os) { *os << c.name; }

class RngChachaBlock : public ::testing::TestWithParam<ChachaVector> {};

TEST_P(RngChachaBlock, TwentyRoundsMatchPublishedVectors) {
    EXPECT_EQ(chacha_block(GetParam().input, 20), GetParam().output);
}

constexpr Block kSigmaOnly{0x61707865, 0x3320646e, 0x79622d32, 0x6b206574};

INSTANTIATE_TEST_SUITE_P(
    Rfc7539, RngChachaBlock,
    ::testing::Values(
        // Section 2.3.2: key 00..1f, block counter 1, nonce 00000009 0000004a 00000000.
        ChachaVector{"Section232",
                     {0x61707865, 0x3320646e, 0x79622d32, 0x6b206574, 0x03020100, 0x07060504,
                      0x0b0a0908, 0x0f0e0d0c, 0x13121110, 0x17161514, 0x1b1a1918, 0x1f1e1d1c,
                      0x00000001, 0x09000000, 0x4a000000, 0x00000000},
                     {0xe4e7f110, 0x15593bd1, 0x1fdd0f50, 0xc47120a3, 0xc7f4d1c7, 0x0368c033,
                      0x9aaa2204, 0x4e6cd4c3, 0x466482d2, 0x09aa9f07, 0x05d7c214, 0xa2028bd9,
                      0xd19c12b5, 0xb94e16de, 0xe883d0cb, 0x4e3c50a2}},
        // Appendix A.1, test vector 1: all-zero key, nonce and counter.
        ChachaVector{"AppendixA1ZeroKey",
                     kSigmaOnly,
                     {0xade0b876, 0x903df1a0, 0xe56a5d40, 0x28bd8653, 0xb819d2bd, 0x1aed8da0,
                      0xccef36a8, 0xc70d778b, 0x7c5941da, 0x8d485751, 0x3fe02477, 0x374ad8b8,
                      0xf4b8436a, 0x1ca11815, 0x69b687c3, 0x8665eeb2}},
        // Appendix A.1, test vector 2: all-zero key and nonce, block counter 1.
        ChachaVector{
            "AppendixA1ZeroKeyCounter1",
            {0x61707865, 0x3320646e, 0x79622d32, 0x6b206574, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0},
            {0xbee7079f, 0x7a385155, 0x7c97ba98, 0x0d082d73, 0xa0290fcb, 0x6965e348, 0x3e53c612,
             0xed7aee32, 0x7621b729, 0x434ee69c, 0xb03371d5, 0xd539d874, 0x281fed31, 0x45fb0a51,
             0x1f0ae1ac, 0x6f4d794b}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(RngChachaBlockRounds, RoundCountIsHonoured) {
    // Zero rounds leave only the feed-forward: every word doubled.
    Block doubled{};
    for (std::size_t k = 0; k < 16; ++k) doubled[k] = kSigmaOnly[k] * 2;
    EXPECT_EQ(chacha_block(kSigmaOnly, 0), doubled);
    // The generator's 12 rounds give a different block from the 20-round cipher, and
    // the input is not modified.
    const Block input = kSigmaOnly;
    const Block twelve = chacha_block(input, 12);
    EXPECT_NE(twelve, chacha_block(input, 20));
    EXPECT_NE(twelve, chacha_block(input, 10));
    EXPECT_EQ(chacha_block(input, 12), twelve);
    EXPECT_EQ(input, kSigmaOnly);
}

// ---------------------------------------------------------------- uniform_index

struct UniformCase {
    const char* name;
    std::uint32_t k;
    std::vector<std::uint32_t> words;
    std::uint32_t expected;  // the index from the first accepted word
};

void PrintTo(const UniformCase& c, std::ostream* os) { *os << c.name; }

class RngUniformIndex : public ::testing::TestWithParam<UniformCase> {};

TEST_P(RngUniformIndex, RejectsLowWordsAboveTheZone) {
    const auto& c = GetParam();
    ScriptedWords source{c.words};
    EXPECT_EQ(uniform_index(source, c.k), c.expected);
    // Every scripted word but the last is a rejection; the last is accepted.
    EXPECT_EQ(source.used, c.words.size());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RngUniformIndex,
    ::testing::Values(
        // range 3: zone 0xBFFFFFFF.
        UniformCase{"Range3Accepts", 2, {0x55555556}, 1},  // product 0x1_00000002
        UniformCase{"Range3LowWordEqualToZoneAccepted", 2, {0x95555555}, 1},  // 0x1_BFFFFFFF
        UniformCase{"Range3RejectsTwiceThenAccepts",
                    2,
                    {0xFFFFFFFF /* low 0xFFFFFFFD */, 0x40000000 /* low 0xC0000000 */,
                     0x3FFFFFFF /* low 0xBFFFFFFD */},
                    0},
        // range 4, a power of two: zone 0x7FFFFFFF.
        UniformCase{"Range4LowWordJustBelowHalf", 3, {0x1FFFFFFF}, 0},  // 0x7FFFFFFC
        UniformCase{
            "Range4RejectsHalfThenTop", 3, {0x20000000 /* low 0x80000000 */, 0xDFFFFFFF}, 3},
        // range 1: the only index is 0, yet words with the top bit set are rejected.
        UniformCase{"Range1", 0, {0x80000000, 0xFFFFFFFF, 0x7FFFFFFF}, 0},
        // range 2^31, a power of two: odd words leave 2^31 in the low half.
        UniformCase{"Range2Pow31", 0x7FFFFFFF, {1, 3, 6}, 3},
        // range 10: zone 0x9FFFFFFF.
        UniformCase{"Range10", 9, {0x10000000 /* low 0xA0000000 */, 0xFFFFFFFF, 0xE6666667}, 9},
        // the widest range 2^32 - 1: zone 0xFFFFFFFE, only a low word of all ones fails.
        UniformCase{"WidestRange", 0xFFFFFFFE, {1, 0xFFFFFFFF}, 0xFFFFFFFE}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(RngUniformIndexBounds, NeverExceedsKAndReachesEveryIndex) {
    // Words spread over the whole 32-bit space by a Weyl sequence.
    for (std::uint32_t k :
         {0u, 1u, 2u, 3u, 5u, 6u, 7u, 9u, 100u, 65'535u, 0x7FFFFFFFu, 0x80000000u, 0xFFFFFFFEu}) {
        ScriptedWords source;
        for (std::uint32_t m = 0; m < 4096; ++m) source.words.push_back(m * 0x9E3779B9u);
        std::set<std::uint32_t> seen;
        while (source.used + 64 < source.words.size()) {
            const std::uint32_t index = uniform_index(source, k);
            ASSERT_LE(index, k) << "k = " << k;
            seen.insert(index);
        }
        if (k <= 9) {
            EXPECT_EQ(seen.size(), k + 1) << "k = " << k;
        }
    }
}

TEST(RngUniformIndexBounds, RoughlyUniformOnTheThreadGenerator) {
    // A loose check (dozens of standard deviations wide): catches a biased or
    // constant draw, never fails by chance.
    constexpr int kDraws = 30'000;
    std::array<int, 3> counts{};
    auto& rng = thread_rng();
    for (int d = 0; d < kDraws; ++d) {
        const std::uint32_t index = uniform_index(rng, 2);
        ASSERT_LE(index, 2u);
        ++counts[index];
    }
    for (int c : counts) {
        EXPECT_GT(c, kDraws / 3 - 1'000);
        EXPECT_LT(c, kDraws / 3 + 1'000);
    }
}

// ---------------------------------------------------------------- shuffle

struct ShuffleCase {
    const char* name;
    std::vector<std::uint32_t> words;
    std::vector<int> expected;  // the shuffled 0 .. n-1
};

void PrintTo(const ShuffleCase& c, std::ostream* os) { *os << c.name; }

class RngShuffle : public ::testing::TestWithParam<ShuffleCase> {};

TEST_P(RngShuffle, SwapsFromTheBackWithOneAcceptedDrawPerPosition) {
    const auto& c = GetParam();
    std::vector<int> items(c.expected.size());
    std::iota(items.begin(), items.end(), 0);
    ScriptedWords source{c.words};
    shuffle(items, source);
    EXPECT_EQ(items, c.expected);
    EXPECT_EQ(source.used, c.words.size());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RngShuffle,
    ::testing::Values(ShuffleCase{"Empty", {}, {}}, ShuffleCase{"OneItemDrawsNothing", {}, {0}},
                      // k = 1 (range 2): high word 1 is the position itself.
                      ShuffleCase{"TwoItemsKeep", {0x80000000}, {0, 1}},
                      ShuffleCase{"TwoItemsSwap", {0x10}, {1, 0}},
                      // k = 4 -> 1, k = 3 rejects once then -> 3, k = 2 -> 0, k = 1 -> 0:
                      // 0 1 2 3 4 -> 0 4 2 3 1 -> (same) -> 2 4 0 3 1 -> 4 2 0 3 1.
                      ShuffleCase{"FiveItems",
                                  {0x33333334, 0xFFFFFFFF, 0xC0000000, 0x00000000, 0x00000005},
                                  {4, 2, 0, 3, 1}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(RngShuffleProperty, KeepsAPermutationOnTheThreadGenerator) {
    for (std::size_t n : {0u, 1u, 2u, 3u, 10u, 257u}) {
        std::vector<std::size_t> items(n);
        std::iota(items.begin(), items.end(), std::size_t{0});
        shuffle(items, thread_rng());
        std::vector<std::size_t> sorted = items;
        std::sort(sorted.begin(), sorted.end());
        std::vector<std::size_t> identity(n);
        std::iota(identity.begin(), identity.end(), std::size_t{0});
        EXPECT_EQ(sorted, identity) << "n = " << n;
    }
}

// ---------------------------------------------------------------- thread_rng

std::vector<std::uint32_t> draw(std::size_t count) {
    std::vector<std::uint32_t> words(count);
    for (auto& w : words) w = thread_rng().next_u32();
    return words;
}

TEST(RngThreadRng, StreamVariesAndSurvivesReseeding) {
    // 40,000 words are 160,000 bytes: the generator reseeds twice on the way.
    const std::vector<std::uint32_t> words = draw(40'000);

    const std::set<std::uint32_t> distinct(words.begin(), words.end());
    EXPECT_GE(distinct.size(), 39'990u);  // a handful of birthday collisions at most

    // No 64-byte block may come back, which a reseed that rewound the counter
    // without a fresh key would cause.
    std::set<std::vector<std::uint32_t>> blocks;
    for (std::size_t at = 0; at + 16 <= words.size(); at += 16)
        blocks.emplace(words.begin() + at, words.begin() + at + 16);
    EXPECT_EQ(blocks.size(), words.size() / 16);

    std::uint64_t ones = 0;
    for (std::uint32_t w : words) ones += static_cast<unsigned>(std::popcount(w));
    const std::uint64_t bits = words.size() * 32;
    EXPECT_GT(ones, bits / 2 - 10'000);
    EXPECT_LT(ones, bits / 2 + 10'000);
}

TEST(RngThreadRng, EachThreadHasItsOwnGenerator) {
    const std::vector<std::uint32_t> here = draw(8);
    std::vector<std::uint32_t> there;
    const void* other_address = nullptr;
    std::thread worker([&] {
        other_address = &thread_rng();
        there = draw(8);
    });
    worker.join();
    EXPECT_NE(other_address, static_cast<const void*>(&thread_rng()));
    EXPECT_EQ(&thread_rng(), &thread_rng());
    EXPECT_NE(here, there);
}

TEST(RngThreadRng, ForkedChildDoesNotRepeatTheParentStream) {
    constexpr std::size_t kWords = 8;
    // Seed and leave words buffered in the current block, so that a child which
    // missed the fork would hand out exactly the parent's next words.
    (void)draw(3);

    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        close(fds[0]);
        const std::vector<std::uint32_t> words = draw(kWords);
        const ssize_t want = static_cast<ssize_t>(words.size() * sizeof(std::uint32_t));
        const bool ok = write(fds[1], words.data(), static_cast<std::size_t>(want)) == want;
        close(fds[1]);
        _exit(ok ? 0 : 1);
    }
    close(fds[1]);
    const std::vector<std::uint32_t> parent_words = draw(64);

    std::vector<std::uint32_t> child_words(kWords);
    std::size_t got = 0;
    auto* bytes = reinterpret_cast<char*>(child_words.data());
    const std::size_t want = kWords * sizeof(std::uint32_t);
    while (got < want) {
        const ssize_t n = read(fds[0], bytes + got, want - got);
        if (n <= 0) break;
        got += static_cast<std::size_t>(n);
    }
    close(fds[0]);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    ASSERT_EQ(got, want);

    const std::vector<std::uint32_t> parent_next(parent_words.begin(),
                                                 parent_words.begin() + kWords);
    EXPECT_NE(child_words, parent_next);
    const std::set<std::uint32_t> parent_set(parent_words.begin(), parent_words.end());
    for (std::uint32_t w : child_words)
        EXPECT_EQ(parent_set.count(w), 0u) << "child repeated parent word " << w;
}

}  // namespace
