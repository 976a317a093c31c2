#pragma once
// Tables of whole numbers read straight from text. Problem files are mostly one or two
// big matrices; reading them number by number as interpreter objects costs seconds at a
// few thousand locations, so the plain common case is read here and everything else is
// left to the careful general readers, which name the fault.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace tourwright {

// Rows of numbers, all in one array.
struct IntegerRows {
    std::vector<std::uint64_t> values;  // row after row
    std::vector<std::size_t> lengths;   // how many numbers each row has
    std::size_t end = 0;                // the index just past what was read
    std::uint64_t largest = 0;          // the largest of the values
};

// The JSON array of arrays of integers that starts at text[at] ('['): integers without
// sign, fraction, exponent or leading zero, below 2**64, separated as JSON allows.
// nullopt for anything else (deeper nesting, other values, a syntax error, an end of text).
// `Char` is a character's code unit: one, two or four bytes.
template <class Char>
std::optional<IntegerRows> json_integer_rows(std::span<const Char> text, std::size_t at);

// Lines of whole numbers below 2**64 separated by spaces or tabs, from text[at] to the end.
// Lines end at "\n", "\r" or "\r\n"; lines without a number are left out. nullopt when any
// other character appears (a sign, a point, a comment).
template <class Char>
std::optional<IntegerRows> integer_lines(std::span<const Char> text, std::size_t at);

}  // namespace tourwright
