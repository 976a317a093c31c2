#pragma once
// A failed internal check. The call that meets one is abandoned; the binding
// turns it into the Python-visible PanicException carrying `message()`.
#include <cstddef>
#include <exception>
#include <string>
#include <utility>
#include <vector>

namespace tourwright {

class Panic : public std::exception {
public:
    explicit Panic(std::string message) : message_(std::move(message)) {}
    const char* what() const noexcept override { return message_.c_str(); }
    const std::string& message() const noexcept { return message_; }

private:
    std::string message_;
};

[[noreturn]] inline void panic(std::string message) { throw Panic(std::move(message)); }

[[noreturn]] inline void panic_index_out_of_bounds(std::size_t len, std::size_t index) {
    panic("index out of bounds: the len is " + std::to_string(len) + " but the index is " +
          std::to_string(index));
}

[[noreturn]] inline void panic_unwrap_none() {
    panic("called `Option::unwrap()` on a `None` value");
}

[[noreturn]] inline void panic_assertion(const char* condition) {
    panic(std::string("assertion failed: ") + condition);
}

// Bounds-checked element access with the fixed index-failure message.
template <class Sequence>
decltype(auto) checked_at(Sequence& items, std::size_t index) {
    if (index >= items.size()) panic_index_out_of_bounds(items.size(), index);
    return items[index];
}

}  // namespace tourwright
