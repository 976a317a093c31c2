#pragma once
// The per-thread random generator that draws the restart routes: ChaCha with
// 12 rounds, seeded from the operating system, reseeded after every 64 KiB of
// output and after a fork. Its stream is never reproducible.
#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <span>
#include <utility>
#include <vector>

namespace tourwright {

// One ChaCha block: `rounds` rounds (an even number) over the 16-word input state,
// with the input added back in.
std::array<std::uint32_t, 16> chacha_block(const std::array<std::uint32_t, 16>& input, int rounds);

// The input block of ChaCha: the constant, a 256-bit key, a 64-bit block counter
// and a 64-bit stream id.
std::array<std::uint32_t, 16> chacha_input(const std::array<std::uint32_t, 8>& key,
                                           std::uint64_t counter, std::uint64_t stream);

// A reproducible generator: ChaCha with 12 rounds keyed by a 64-bit seed, one
// independent stream per stream id. Never reseeded, so the same seed and stream
// give the same words in every process.
class SeededRng {
public:
    SeededRng(std::uint64_t seed, std::uint64_t stream);
    std::uint32_t next_u32();

private:
    std::array<std::uint32_t, 8> key_{};
    std::uint64_t stream_;
    std::uint64_t counter_ = 0;
    std::array<std::uint32_t, 16> block_{};
    std::size_t next_word_ = 16;
};

class ThreadRng {
public:
    std::uint32_t next_u32();

private:
    friend ThreadRng& thread_rng();
    ThreadRng() = default;
    void reseed();
    void refill();

    std::array<std::uint32_t, 8> key_{};
    std::uint64_t counter_ = 0;
    std::array<std::uint32_t, 16> block_{};
    std::size_t next_word_ = 16;
    std::size_t bytes_since_seed_ = 0;
    std::uint64_t fork_generation_ = 0;
    bool seeded_ = false;
};

// The calling thread's generator, seeded on its first use. Seeding failure panics
// "could not initialize thread_rng: " followed by the error's text.
ThreadRng& thread_rng();

// A uniform integer in 0 ..= k (k < 2^32 - 1) by widening multiplication with rejection.
template <class Rng>
std::uint32_t uniform_index(Rng& rng, std::uint32_t k) {
    const std::uint32_t range = k + 1;
    const std::uint32_t zone = (range << std::countl_zero(range)) - 1;
    for (;;) {
        const std::uint64_t product = std::uint64_t{rng.next_u32()} * range;
        if (static_cast<std::uint32_t>(product) <= zone)
            return static_cast<std::uint32_t>(product >> 32);
    }
}

// Fisher-Yates from the back.
template <class Rng, class T>
void shuffle(std::span<T> items, Rng& rng) {
    for (std::size_t k = items.size(); k-- > 1;)
        std::swap(items[k], items[uniform_index(rng, static_cast<std::uint32_t>(k))]);
}
template <class Rng, class T>
void shuffle(std::vector<T>& items, Rng& rng) {
    shuffle(std::span<T>(items), rng);
}

}  // namespace tourwright
