#include "agent/log/format.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace {

using hl::Sprintf;

TEST(Format, IntegersFollowTheMicrosoftRuntimeWidths) {
  EXPECT_EQ(Sprintf("%d", 42), "42");
  EXPECT_EQ(Sprintf("%d", 4294967295u), "-1");         // int is 32-bit
  EXPECT_EQ(Sprintf("%ld", 4294967295u), "-1");        // so is long on Windows
  EXPECT_EQ(Sprintf("%lu", -1), "4294967295");
  EXPECT_EQ(Sprintf("%lld", 4294967296LL), "4294967296");
  EXPECT_EQ(Sprintf("%I64u", 18446744073709551615ULL), "18446744073709551615");
  EXPECT_EQ(Sprintf("%x", 0x061100), "61100");
  EXPECT_EQ(Sprintf("0x%x", static_cast<LONG>(0x80041017)), "0x80041017");
  EXPECT_EQ(Sprintf("%02d:%03d", 3, 45), "03:045");
  EXPECT_EQ(Sprintf("%5d|%-5d|", 7, 7), "    7|7    |");
  EXPECT_EQ(Sprintf("%hd", 70000), "4464");
  EXPECT_EQ(Sprintf("%u", true), "1");
}

TEST(Format, PrecisionZeroPrintsNothingForZero) {
  // The adapter listing uses "%-10.d": index 0 prints as blanks only.
  EXPECT_EQ(Sprintf("%-10.d|", 0), "          |");
  EXPECT_EQ(Sprintf("%-10.d|", 7), "7         |");
  EXPECT_EQ(Sprintf("%-20.20s|", "10.0.0.42"), "10.0.0.42           |");
  EXPECT_EQ(Sprintf("%-5.3s|", "abcdef"), "abc  |");
}

TEST(Format, TextsNarrowWideAndNull) {
  const WCHAR wide[] = {u'h', u'\u00e9', 0xD83D, 0xDE00, 0};
  EXPECT_EQ(Sprintf("%s", "plain"), "plain");
  // Wide texts are written in the system's code page: UTF-8 on the simulated computer, Windows-1252
  // on a Western Windows (the emoji has no form there).
  const bool utf8 = GetACP() == CP_UTF8;
  const std::string inCodePage = utf8 ? "h\xC3\xA9\xF0\x9F\x98\x80" : "h\xE9??";
  EXPECT_EQ(Sprintf("%S", wide), inCodePage);
  EXPECT_EQ(Sprintf("%ws", wide), inCodePage);
  EXPECT_EQ(Sprintf("%ls", wide), inCodePage);
  EXPECT_EQ(Sprintf("%s", wide), inCodePage);  // type-safe: a wide argument stays readable
  EXPECT_EQ(Sprintf("%S", "narrow"), "narrow");
  EXPECT_EQ(Sprintf("%s", static_cast<const char*>(nullptr)), "(null)");
  EXPECT_EQ(Sprintf("%s", std::optional<std::string>()), "(null)");
  EXPECT_EQ(Sprintf("%s", std::optional<std::string>("x")), "x");
  EXPECT_EQ(Sprintf("%s", std::string("std")), "std");
  std::string_view view = std::string_view("viewed text").substr(0, 6);
  EXPECT_EQ(Sprintf("[%s]", view), "[viewed]") << "a view prints its own length";
  EXPECT_EQ(Sprintf("[%.3s]", view), "[vie]");
  const WCHAR lone[] = {0xD800, u'a', 0};
  EXPECT_EQ(Sprintf("%S", lone), utf8 ? "\xEF\xBF\xBD" "a" : "?a");
}

TEST(Format, CharactersPercentAndOddSpecs) {
  EXPECT_EQ(Sprintf("%c%c", 'o', 'k'), "ok");
  EXPECT_EQ(Sprintf("state : %c   %s", '1', "61100"), "state : 1   61100");
  EXPECT_EQ(Sprintf("100%%"), "100%");
  EXPECT_EQ(Sprintf("%*d|%-*d|", 4, 1, 3, 2), "   1|2  |");
  EXPECT_EQ(Sprintf("%.2f", 2.5), "2.50");
  EXPECT_EQ(Sprintf("trailing %"), "trailing %");
  EXPECT_EQ(Sprintf("%y"), "%y");
}

TEST(Format, MissingArgumentsAreSafe) {
  EXPECT_EQ(Sprintf("%d %s"), "0 (null)");
  EXPECT_EQ(Sprintf("%s %d", "a"), "a 0");
}

TEST(Format, LongTextsAreNotTruncated) {
  std::string big(10000, 'x');
  EXPECT_EQ(Sprintf("[%s]", big).size(), 10002u);
  EXPECT_EQ(Sprintf("%300d", 1).size(), 300u);
}

}  // namespace
