#include "util/integer_text.hpp"

#include <algorithm>
#include <string_view>

namespace tourwright {
namespace {

bool is_digit(std::uint32_t c) { return c - '0' < 10; }

// Reads the digits from `p` on (at least one) into `value`; false when the number is 2**64
// or more. Twenty digits is where overflow starts; fewer are summed without a check.
template <class Char>
bool read_whole(const Char*& p, const Char* end, std::uint64_t& value) {
    constexpr std::string_view kMost = "18446744073709551615";  // 2**64 - 1
    const Char* first = p;
    value = 0;
    for (; p != end && is_digit(*p); ++p) value = value * 10 + (*p - '0');
    if (static_cast<std::size_t>(p - first) < kMost.size()) return true;
    while (*first == '0' && first + 1 != p) ++first;  // leading zeros count for nothing
    const auto digits = static_cast<std::size_t>(p - first);
    if (digits != kMost.size()) return digits < kMost.size();
    return !std::lexicographical_compare(kMost.begin(), kMost.end(), first, p,
                                         [](char a, Char b) { return std::uint32_t(a) < b; });
}

template <class Char>
void skip_json_space(const Char*& p, const Char* end) {
    while (p != end && (*p == ' ' || *p == '\n' || *p == '\r' || *p == '\t')) ++p;
}

// `[` has been read; reads `]` or `int (, int)* ]` as one more row.
template <class Char>
bool read_json_row(const Char*& p, const Char* end, IntegerRows& rows) {
    std::size_t length = 0;
    skip_json_space(p, end);
    if (p != end && *p == ']') {
        ++p;
        rows.lengths.push_back(0);
        return true;
    }
    while (true) {
        skip_json_space(p, end);
        if (p == end || !is_digit(*p)) return false;
        const bool zero = *p == '0';
        const Char* first = p;
        std::uint64_t value;
        if (!read_whole(p, end, value) || (zero && p - first > 1)) return false;  // no "01"
        rows.values.push_back(value);
        rows.largest = std::max(rows.largest, value);
        ++length;
        skip_json_space(p, end);
        if (p == end) return false;
        const Char separator = *p++;
        if (separator == ']') break;
        if (separator != ',') return false;
    }
    rows.lengths.push_back(length);
    return true;
}

}  // namespace

template <class Char>
std::optional<IntegerRows> json_integer_rows(std::span<const Char> text, std::size_t at) {
    const Char* p = text.data() + std::min(at, text.size());
    const Char* const end = text.data() + text.size();
    if (p == end || *p != '[') return std::nullopt;
    IntegerRows rows;
    ++p;
    skip_json_space(p, end);
    if (p != end && *p == ']') {
        rows.end = static_cast<std::size_t>(p + 1 - text.data());
        return rows;
    }
    while (true) {
        skip_json_space(p, end);
        if (p == end || *p != '[') return std::nullopt;
        ++p;
        if (!read_json_row(p, end, rows)) return std::nullopt;
        skip_json_space(p, end);
        if (p == end) return std::nullopt;
        const Char separator = *p++;
        if (separator == ']') break;
        if (separator != ',') return std::nullopt;
    }
    rows.end = static_cast<std::size_t>(p - text.data());
    return rows;
}

template <class Char>
std::optional<IntegerRows> integer_lines(std::span<const Char> text, std::size_t at) {
    const Char* p = text.data() + std::min(at, text.size());
    const Char* const end = text.data() + text.size();
    IntegerRows rows;
    std::size_t length = 0;  // numbers on the current line so far
    while (p != end) {
        const Char c = *p;
        if (is_digit(c)) {
            std::uint64_t value;
            if (!read_whole(p, end, value)) return std::nullopt;
            rows.values.push_back(value);
            rows.largest = std::max(rows.largest, value);
            ++length;
            // A number runs up to a separator: "12a" or "1.5" is no whole number.
            if (p != end && *p != ' ' && *p != '\t' && *p != '\n' && *p != '\r') {
                return std::nullopt;
            }
        } else if (c == ' ' || c == '\t') {
            ++p;
        } else if (c == '\n' || c == '\r') {
            ++p;
            if (c == '\r' && p != end && *p == '\n') ++p;
            if (length > 0) rows.lengths.push_back(length);
            length = 0;
        } else {
            return std::nullopt;
        }
    }
    if (length > 0) rows.lengths.push_back(length);
    rows.end = text.size();
    return rows;
}

template std::optional<IntegerRows> json_integer_rows(std::span<const std::uint8_t>, std::size_t);
template std::optional<IntegerRows> json_integer_rows(std::span<const std::uint16_t>, std::size_t);
template std::optional<IntegerRows> json_integer_rows(std::span<const std::uint32_t>, std::size_t);
template std::optional<IntegerRows> integer_lines(std::span<const std::uint8_t>, std::size_t);
template std::optional<IntegerRows> integer_lines(std::span<const std::uint16_t>, std::size_t);
template std::optional<IntegerRows> integer_lines(std::span<const std::uint32_t>, std::size_t);

}  // namespace tourwright
