#include "util/rng.hpp"

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <sys/random.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <string>

#include "util/panic.hpp"

namespace tourwright {
namespace {

constexpr std::size_t kReseedThreshold = 64 * 1024;  // bytes of output per seed
constexpr int kRounds = 12;

// Bumped in every forked child, so each thread's generator notices it on next use
// and never repeats the parent's stream.
std::atomic<std::uint64_t> fork_generation{0};

void register_fork_handler() {
    // A static's initialisation runs once, thread-safe, without std::call_once (whose
    // pthread_once would tie the wheel to glibc 2.34).
    [[maybe_unused]] static const int registered = pthread_atfork(
        nullptr, nullptr, [] { fork_generation.fetch_add(1, std::memory_order_relaxed); });
}

std::uint32_t rotl(std::uint32_t v, int n) { return (v << n) | (v >> (32 - n)); }

void quarter_round(std::array<std::uint32_t, 16>& x, int a, int b, int c, int d) {
    x[a] += x[b];
    x[d] = rotl(x[d] ^ x[a], 16);
    x[c] += x[d];
    x[b] = rotl(x[b] ^ x[c], 12);
    x[a] += x[b];
    x[d] = rotl(x[d] ^ x[a], 8);
    x[c] += x[d];
    x[b] = rotl(x[b] ^ x[c], 7);
}

#ifdef __APPLE__
// Fills `buffer` from the operating system, which has getentropy (macOS 10.12 and later) but no
// getrandom; each call fills at most 256 bytes. Returns 0 or an errno value.
int os_random(unsigned char* buffer, std::size_t length) {
    while (length > 0) {
        const std::size_t part = std::min<std::size_t>(length, 256);
        if (getentropy(buffer, part) != 0) return errno;
        buffer += part;
        length -= part;
    }
    return 0;
}
#else
// Reads from the kernel's /dev/urandom once /dev/random is ready, for kernels
// without the getrandom call. Returns 0 or an errno value.
int read_urandom_after_ready(unsigned char* buffer, std::size_t length) {
    int ready = open("/dev/random", O_RDONLY | O_CLOEXEC);
    if (ready < 0) return errno;
    pollfd waiting{ready, POLLIN, 0};
    int polled;
    while ((polled = poll(&waiting, 1, -1)) < 0 && errno == EINTR) {}
    int error = polled < 0 ? errno : 0;
    close(ready);
    if (error) return error;
    int source = open("/dev/urandom", O_RDONLY | O_CLOEXEC);
    if (source < 0) return errno;
    while (length > 0) {
        ssize_t got = read(source, buffer, length);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) {
            error = got < 0 ? errno : EIO;
            break;
        }
        buffer += got;
        length -= static_cast<std::size_t>(got);
    }
    close(source);
    return error;
}

// Fills `buffer` from the operating system. Returns 0 or an errno value.
int os_random(unsigned char* buffer, std::size_t length) {
    while (length > 0) {
        ssize_t got = getrandom(buffer, length, 0);
        if (got < 0) {
            if (errno == EINTR) continue;
            if (errno == ENOSYS) return read_urandom_after_ready(buffer, length);
            return errno;
        }
        buffer += got;
        length -= static_cast<std::size_t>(got);
    }
    return 0;
}
#endif

}  // namespace

std::array<std::uint32_t, 16> chacha_block(const std::array<std::uint32_t, 16>& input, int rounds) {
    std::array<std::uint32_t, 16> x = input;
    for (int r = 0; r < rounds; r += 2) {
        quarter_round(x, 0, 4, 8, 12);
        quarter_round(x, 1, 5, 9, 13);
        quarter_round(x, 2, 6, 10, 14);
        quarter_round(x, 3, 7, 11, 15);
        quarter_round(x, 0, 5, 10, 15);
        quarter_round(x, 1, 6, 11, 12);
        quarter_round(x, 2, 7, 8, 13);
        quarter_round(x, 3, 4, 9, 14);
    }
    for (std::size_t i = 0; i < 16; ++i) x[i] += input[i];
    return x;
}

std::array<std::uint32_t, 16> chacha_input(const std::array<std::uint32_t, 8>& key,
                                           std::uint64_t counter, std::uint64_t stream) {
    // "expand 32-byte k", then the key, the counter and the stream id.
    std::array<std::uint32_t, 16> input{0x61707865, 0x3320646e, 0x79622d32, 0x6b206574};
    std::copy(key.begin(), key.end(), input.begin() + 4);
    input[12] = static_cast<std::uint32_t>(counter);
    input[13] = static_cast<std::uint32_t>(counter >> 32);
    input[14] = static_cast<std::uint32_t>(stream);
    input[15] = static_cast<std::uint32_t>(stream >> 32);
    return input;
}

SeededRng::SeededRng(std::uint64_t seed, std::uint64_t stream) : stream_(stream) {
    // The seed's two halves, each spread by a distinct odd constant, fill the key.
    for (std::size_t k = 0; k < key_.size(); ++k) {
        const std::uint64_t mixed =
            (seed ^ (0x9E3779B97F4A7C15ULL * (k + 1))) * 0xBF58476D1CE4E5B9ULL;
        key_[k] = static_cast<std::uint32_t>(mixed >> 32);
    }
}

std::uint32_t SeededRng::next_u32() {
    if (next_word_ == block_.size()) {
        block_ = chacha_block(chacha_input(key_, counter_++, stream_), kRounds);
        next_word_ = 0;
    }
    return block_[next_word_++];
}

void ThreadRng::reseed() {
    unsigned char seed[32];
    if (int error = os_random(seed, sizeof seed)) {
        // A failed reseed keeps the current key; only the first seeding must succeed.
        if (!seeded_)
            panic(std::string("could not initialize thread_rng: ") + std::strerror(error));
        bytes_since_seed_ = 0;
        return;
    }
    std::memcpy(key_.data(), seed, sizeof seed);
    counter_ = 0;
    next_word_ = block_.size();
    bytes_since_seed_ = 0;
    fork_generation_ = fork_generation.load(std::memory_order_relaxed);
    seeded_ = true;
}

void ThreadRng::refill() {
    if (bytes_since_seed_ >= kReseedThreshold) reseed();
    block_ = chacha_block(chacha_input(key_, counter_++, 0), kRounds);
    next_word_ = 0;
    bytes_since_seed_ += sizeof block_;
}

std::uint32_t ThreadRng::next_u32() {
    // Checked per word: buffered output must not be shared with a forked child either.
    if (fork_generation_ != fork_generation.load(std::memory_order_relaxed)) reseed();
    if (next_word_ == block_.size()) refill();
    return block_[next_word_++];
}

ThreadRng& thread_rng() {
    thread_local ThreadRng rng;
    if (!rng.seeded_) {
        register_fork_handler();
        rng.reseed();
    }
    return rng;
}

}  // namespace tourwright
