#pragma once
// A closed tour as an array of locations with each location's position, for searches
// over symmetric legs, where a tour and its mirror image are the same tour. A
// reversal rewrites the shorter of the two paths it may reverse, so a 2-opt move
// costs at most n / 2 writes. The blocks of positions written since the last `commit`
// are logged (a flag per block, not per write: the searches spend much of their time
// in reversals), so a rejected change is undone in about the time it took.
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "model/route.hpp"

namespace tourwright {

class ArrayTour {
public:
    // `order` must hold each of the locations 0 .. n - 1 once.
    explicit ArrayTour(const Route& order);

    std::size_t size() const { return at_.size(); }
    std::size_t at(std::size_t position) const { return at_[position]; }
    std::size_t position(std::size_t location) const { return position_[location]; }
    std::size_t next(std::size_t location) const { return at_[wrap(position_[location] + 1)]; }
    std::size_t previous(std::size_t location) const {
        return at_[wrap(position_[location] + size() - 1)];
    }

    // Reverses the path that runs forward from `first` to `last` (or, when shorter, the
    // rest of the tour: the same tour seen from the other side).
    void reverse(std::size_t first, std::size_t last);
    // Takes the path `stretch` (listed in tour order, either direction) out and puts it
    // back between the neighbours `left` and `right` (right = next(left)), in the order
    // given by `joined`: `stretch.front()` next to `left` when true, else next to `right`.
    void move_stretch(std::span<const std::size_t> stretch, std::size_t left, bool joined);
    // The `first` locations from position `at` and the `second` after them change
    // places, each reversed when asked: a double bridge kept local.
    void swap_stretches(std::size_t at, std::size_t first, std::size_t second, bool reverse_first,
                        bool reverse_second);

    // The tour from the last commit on, or back to it.
    void commit();
    void rollback();
    // The tour as a route beginning with `location`.
    Route route_from(std::size_t location) const;

private:
    std::size_t wrap(std::size_t position) const {
        return position >= size() ? position - size() : position;
    }
    void put(std::size_t position, std::size_t location);
    // Logs the `length` positions from `first` on (wrapping round) as written.
    void mark_written(std::size_t first, std::size_t length);
    // Sets `at_` in [begin, end) from `committed_`, or the other way round.
    template <bool restore>
    void copy_block(std::size_t block);

    // 32-bit entries: half the cache that reversals sweep (a tour of 2^32 locations
    // would need a table of 2^64 legs).
    std::vector<std::uint32_t> at_;
    std::vector<std::uint32_t> position_;
    std::vector<std::uint32_t> committed_;     // `at_` at the last commit
    std::vector<std::size_t> written_blocks_;  // blocks with a position written since
    std::vector<std::uint8_t> is_written_;     // by block
};

}  // namespace tourwright
