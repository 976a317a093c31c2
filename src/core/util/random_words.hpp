#pragma once
// Any generator of uniform 32-bit words (a type with `std::uint32_t next_u32()`),
// seen through one pointer and one function so that the search need not be a
// template: the thread's generator and a seeded one serve alike.
#include <cstdint>

namespace tourwright {

class RandomWords {
public:
    template <class Rng>
    explicit RandomWords(Rng& rng)
        : state_(&rng), next_([](void* state) { return static_cast<Rng*>(state)->next_u32(); }) {}

    std::uint32_t next_u32() { return next_(state_); }

private:
    void* state_;
    std::uint32_t (*next_)(void*);
};

}  // namespace tourwright
