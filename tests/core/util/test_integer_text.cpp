// The quick reader of number tables: what it reads, and everything it leaves to the
// careful readers (which name the fault).
#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "util/integer_text.hpp"

namespace {

using tourwright::IntegerRows;

template <class Char = std::uint8_t>
std::optional<IntegerRows> json(const std::string& text) {
    const std::vector<Char> units(text.begin(), text.end());
    return tourwright::json_integer_rows(std::span<const Char>(units), text.find('['));
}

std::optional<IntegerRows> lines(const std::string& text) {
    const std::vector<std::uint8_t> units(text.begin(), text.end());
    return tourwright::integer_lines(std::span<const std::uint8_t>(units), 0);
}

TEST(IntegerText, JsonTablesAreReadWithTheirRowsAndEnd) {
    const auto rows = json<std::uint32_t>("x [ [0, 18446744073709551615],\n\t[] ,[7]\r\n] , 1");
    ASSERT_TRUE(rows);
    EXPECT_EQ(rows->values, (std::vector<std::uint64_t>{0, 18446744073709551615u, 7}));
    EXPECT_EQ(rows->lengths, (std::vector<std::size_t>{2, 0, 1}));
    EXPECT_EQ(rows->end, 42u);  // just past the closing bracket
    EXPECT_EQ(rows->largest, 18446744073709551615u);
    EXPECT_EQ(json<std::uint16_t>("[]")->lengths.size(), 0u);
}

TEST(IntegerText, AnythingButPlainJsonIntegerRowsIsLeftAlone) {
    for (const char* text :
         {"[[18446744073709551616]]", "[[01]]", "[[-1]]", "[[1.0]]", "[[1e3]]", "[[1,]]", "[[1 2]]",
          "[[1]", "[1]", "[[[1]]]", "[[\"1\"]]", "[", "[[1],[2]"}) {
        EXPECT_FALSE(json(text)) << text;
    }
}

TEST(IntegerText, LinesEndAtEveryLineBreakAndSkipBlankLines) {
    const auto rows = lines("2\n\n0 00018446744073709551615\r\n\t7 8 \r9 9\n \n");
    ASSERT_TRUE(rows);
    EXPECT_EQ(rows->values, (std::vector<std::uint64_t>{2, 0, 18446744073709551615u, 7, 8, 9, 9}));
    EXPECT_EQ(rows->lengths, (std::vector<std::size_t>{1, 2, 2, 2}));
    EXPECT_EQ(json("[[3, 12], [5]]")->largest, 12u);
    for (const char* text : {"1 -2", "1.5", "12a", "# note\n1", "1\v2", "18446744073709551616"}) {
        EXPECT_FALSE(lines(text)) << text;
    }
}

}  // namespace
