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

using Lines = std::vector<std::string>;

Lines LinesOf(const std::string& text)
{
    std::istringstream in(text);
    LineReader reader(in);
    Lines items;
    std::string_view item;
    while (reader.Next(item))
        items.emplace_back(item);
    return items;
}

// Files from any system: CR, CR LF and LF end lines alike, also where a CR LF
// pair straddles the reader's blocks; a line too long goes on as the next one.
TEST(TextScanTest, LinesEndAlikeOnEverySystemAndLongOnesGoOn)
{
    EXPECT_EQ(LinesOf("a\nb\r\nc\rd\r\r\n\n"), (Lines{"a", "b", "c", "d", "", ""}));
    for (const char* ending : {"\r\n", "\r"}) {
        std::string text;
        for (int i = 0; i < 30000; ++i)
            text += std::to_string(i % 1000) + ending;
        const Lines lines = LinesOf(text);
        ASSERT_EQ(lines.size(), 30000u) << "ending " << int(ending[1]);
        for (int i = 0; i < 30000; ++i)
            ASSERT_EQ(lines[size_t(i)], std::to_string(i % 1000)) << i;
    }
    const std::string head(LineReader::kMaxLine, 'a');
    EXPECT_EQ(LinesOf(head + "bcd\nz\n"), (Lines{head, "bcd", "z"}));
}

// Numbers in exchange files read as the C library reads them, but for
// integers out of range, which saturate instead of wrapping.
TEST(TextScanTest, NumbersReadAsTheCLibraryDoes)
{
    for (const char* s : {"62", "  62", "+7", "-13abc", "abc", "", "0x1A", " \t-0", "-2147483648", "\r\n5"})
        EXPECT_EQ(ParseInt(s), std::atoi(s)) << '"' << s << '"';
    EXPECT_EQ(ParseInt("99999999999999999999"), INT_MAX);
    EXPECT_EQ(ParseInt("-99999999999999999999"), INT_MIN);
    for (const char* s : {"-2.5", "  3.25e2", ".5", "5.", "-.5e-2", "+-3", "-0x1p3", "1e400", "1e-400", "4.9e-324",
                          "-Infinity", "1.5e+", "abc", "3.14\r", "\t2.5 junk", "0.1", "123456789.123456789", "-0"}) {
        const double expected = std::atof(s), got = ParseReal(s);
        EXPECT_EQ(got, expected) << '"' << s << '"';
        EXPECT_EQ(std::signbit(got), std::signbit(expected)) << '"' << s << '"';
    }
    EXPECT_TRUE(std::isnan(ParseReal(" -NaN")));
}

} // namespace
} // namespace qm
