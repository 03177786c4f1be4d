#include <climits>
#include <cmath>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "formats/TextScan.h"

namespace qm {
namespace {

// Everything a reader hands out, lines or tokens.
template <class Reader>
std::vector<std::string> ReadAll(const std::string& text)
{
    std::istringstream in(text);
    Reader reader(in);
    std::vector<std::string> items;
    std::string_view item;
    while (reader.Next(item))
        items.emplace_back(item);
    return items;
}

const auto LinesOf = ReadAll<LineReader>;
const auto TokensOf = ReadAll<TokenReader>;

using Lines = std::vector<std::string>;

TEST(LineReaderTest, EveryLineEndingReadsAlike)
{
    EXPECT_EQ(LinesOf("a\nb\r\nc\rd"), (Lines{"a", "b", "c", "d"}));
    EXPECT_EQ(LinesOf("\r\n\r\n"), (Lines{"", ""}));
    EXPECT_EQ(LinesOf("\r\r\n\n"), (Lines{"", "", ""})); // CR, CR LF, LF
    EXPECT_EQ(LinesOf("x\r"), (Lines{"x"}));
    EXPECT_EQ(LinesOf(""), Lines{});

    // Many short lines, so that some CR LF pair straddles the reader's blocks.
    for (const char* ending : {"\n", "\r\n", "\r"}) {
        std::string text;
        for (int i = 0; i < 30000; ++i)
            text += std::to_string(i % 1000) + ending;
        const Lines lines = LinesOf(text);
        ASSERT_EQ(lines.size(), 30000u) << "ending " << int(ending[0]);
        for (int i = 0; i < 30000; ++i)
            ASSERT_EQ(lines[size_t(i)], std::to_string(i % 1000)) << i;
    }
}

TEST(LineReaderTest, LongLinesGoOnAsTheNextLine)
{
    const std::string head(LineReader::kMaxLine, 'a');
    EXPECT_EQ(LinesOf(head + "bcd\nz\n"), (Lines{head, "bcd", "z"}));
    // A line that just fills the buffer leaves its ending as an empty line.
    EXPECT_EQ(LinesOf(head + "\r\nz"), (Lines{head, "", "z"}));
    EXPECT_EQ(LinesOf(std::string(LineReader::kMaxLine - 1, 'a') + "\nz"),
              (Lines{std::string(LineReader::kMaxLine - 1, 'a'), "z"}));
}

TEST(TokenReaderTest, WhiteSpaceSeparatesAndLongTokensAreCut)
{
    EXPECT_EQ(TokensOf(" ROKU4\r\n\tPOINT\v1\f-2.5\r"), (Lines{"ROKU4", "POINT", "1", "-2.5"}));
    EXPECT_EQ(TokensOf("   \n\r "), Lines{});

    const std::string huge(100000, '7');
    const Lines tokens = TokensOf("a " + huge + " b");
    ASSERT_EQ(tokens.size(), 3u);
    EXPECT_EQ(tokens[1], huge.substr(0, TokenReader::kMaxToken));
    EXPECT_EQ(tokens[2], "b");

    std::istringstream in("x y");
    TokenReader reader(in);
    EXPECT_TRUE(reader.Skip(2));
    EXPECT_FALSE(reader.Skip(1));
}

TEST(NumberTest, ConversionsReadAsTheCLibraryDoes)
{
    for (const char* s :
         {"62", "  62", "+7", "-13abc", "abc", "", "0x1A", " \t-0", "2147483647", "-2147483648", "12 34", "\r\n5"})
        EXPECT_EQ(ParseInt(s), std::atoi(s)) << '"' << s << '"';
    // Out of range saturates instead of wrapping.
    EXPECT_EQ(ParseInt("99999999999999999999"), INT_MAX);
    EXPECT_EQ(ParseInt("-99999999999999999999"), INT_MIN);

    for (const char* s : {"1",      "-2.5",      "  3.25e2",   ".5",     "5.",
                          "-.5e-2", "+1.5",      "+-3",        "-+3",    "0x1A",
                          "-0x1p3", "1e400",     "-1e400",     "1e-400", "4.9e-324",
                          "inf",    "-Infinity", "1e",         "1.5e+",  "abc",
                          "",       "3.14\r",    "\t2.5 junk", "0.1",    "123456789.123456789",
                          "-0"}) {
        const double expected = std::atof(s);
        const double got = ParseReal(s);
        EXPECT_EQ(got, expected) << '"' << s << '"';
        EXPECT_EQ(std::signbit(got), std::signbit(expected)) << '"' << s << '"';
    }
    EXPECT_TRUE(std::isnan(ParseReal("nan")));
    EXPECT_TRUE(std::isnan(ParseReal(" -NaN")));
}

} // namespace
} // namespace qm
