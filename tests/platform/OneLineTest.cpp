#include "OneLine.h"

#include <gtest/gtest.h>

#include <string>

namespace mandel {
namespace {

// What reaches a terminal or the window's notice line is text: control
// characters (C0, DEL, C1 in UTF-8 and as lone bytes), bytes that are not
// UTF-8 and invisible reordering characters are escaped; printable UTF-8 passes.
TEST(OneLine, EscapesEverythingThatIsNotPrintableText)
{
    const struct {
        const char* name;
        std::string text;
        std::string shown;
    } rows[] = {
        {"plain", "mode takes 1 to 9", "mode takes 1 to 9"},
        {"line breaks and tabs", "a\nb\r\tc", "a\\nb\\r\\tc"},
        {"escape and delete", "\x1b[31m\x7f", "\\x1b[31m\\x7f"},
        {"a lone C1 byte (CSI on 8-bit terminals)", "x\x9b" "31m", "x\\x9b31m"},
        {"C1 in UTF-8", "x\xc2\x9b" "31m", "x\\xc2\\x9b31m"},
        {"printable UTF-8", "Zoom \xc3\x97 10 \xe2\x80\x94 \xf0\x9f\x98\x80", "Zoom \xc3\x97 10 \xe2\x80\x94 \xf0\x9f\x98\x80"},
        {"an overlong form", "\xc0\xaf", "\\xc0\\xaf"},
        {"a surrogate", "\xed\xa0\x80", "\\xed\\xa0\\x80"},
        {"cut short", "ab\xe2\x80", "ab\\xe2\\x80"},
        {"right-to-left override", "a\xe2\x80\xae" "b", "a\\xe2\\x80\\xaeb"},
    };
    for (const auto& r : rows)
        EXPECT_EQ(onOneLine(r.text), r.shown) << r.name;
}

// A value is quoted with about 80 characters of it, however long it is.
TEST(OneLine, QuotesAboutEightyCharactersAndAnEllipsis)
{
    EXPECT_EQ(inQuotes("short"), "'short'");
    EXPECT_EQ(inQuotes(std::string(80, 'a')), "'" + std::string(80, 'a') + "'");
    EXPECT_EQ(inQuotes(std::string(10 << 20, 'a')), "'" + std::string(80, 'a') + "...'");
    EXPECT_EQ(inQuotes(std::string(100, '\x01')).size(), 2 + 80 * 4 + 3u) << "an escape counts as one character";
    EXPECT_EQ(inQuotes(std::string(79, 'a') + "\xc3\x97\xc3\x97"), "'" + std::string(79, 'a') + "\xc3\x97...'")
        << "never in the middle of a character";
    EXPECT_EQ(shortened(std::string(500, 'b'), 400), std::string(400, 'b') + "...");
}

} // namespace
} // namespace mandel
