#include "agent/machine/text.h"

#include <gtest/gtest.h>

#include "tests/support/log_capture.h"

namespace {

using hl::test::LogCapture;

TEST(TextConversion, Utf8AndUtf16RoundTripIncludingSurrogatePairs) {
  const char* utf8 = "h\xC3\xA9llo \xE2\x82\xAC \xF0\x9F\x98\x80";  // "héllo € 😀"
  hl::WString wide;
  ASSERT_TRUE(ChangeUtf8ToWideStr(utf8, wide));
  EXPECT_EQ(wide, hl::WString(WSTR("h\u00e9llo \u20ac \U0001F600")));
  EXPECT_EQ(ChangeToWideStr(utf8, wide), 1);
  EXPECT_EQ(wide.size(), 10u);  // the emoji takes two UTF-16 units

  std::string back;
  ASSERT_TRUE(ChangeWideToUtf8Str(wide.c_str(), back));
  EXPECT_EQ(back, utf8);
  ASSERT_EQ(ChangeAnsiToUTF8Str(utf8, back), 1);
  EXPECT_EQ(back, utf8);

  ASSERT_TRUE(ChangeUtf8ToWideStr("", wide));
  EXPECT_TRUE(wide.empty());
}

TEST(TextConversion, MissingInputsFailWithTheirErrorLines) {
  LogCapture log;
  hl::WString wide = WSTR("stale");
  std::string narrow = "stale";
  EXPECT_EQ(ChangeToWideStr(nullptr, wide), 0);
  EXPECT_FALSE(ChangeUtf8ToWideStr(nullptr, wide));
  EXPECT_FALSE(ChangeWideToUtf8Str(nullptr, narrow));
  EXPECT_EQ(ChangeAnsiToUTF8Str(nullptr, narrow), 0);
  EXPECT_TRUE(wide.empty());
  EXPECT_TRUE(narrow.empty());

  EXPECT_TRUE(log.Has("[ERROR] ChangeToWideStr: AnsiString is empty! ")) << log.All();
  EXPECT_TRUE(log.Has("[DEBUG] UTF String Received:(null)")) << log.All();
  EXPECT_TRUE(log.Has("[ERROR] ChangeUtf8ToWideStr: utf8 is empty! ")) << log.All();
  EXPECT_TRUE(log.Has("[ERROR] ChangeAnsiToUTF8Str: ansiString is empty! ")) << log.All();
}

TEST(TextConversion, Utf8ToWideLogsTheReceivedText) {
  LogCapture log;
  hl::WString wide;
  ChangeUtf8ToWideStr("Harborline", wide);
  EXPECT_TRUE(log.Has("[DEBUG] UTF String Received:Harborline")) << log.All();
}

TEST(TextUtilities, ToLowerUtf8ChangesOnlyAsciiLetters) {
  EXPECT_EQ(ToLowerUtf8("CORP\\Admin-01"), "corp\\admin-01");
  // Non-ASCII capitals stay: the default locale lower-cases A to Z only.
  EXPECT_EQ(ToLowerUtf8("\xC3\x84" "BC Stra\xC3\x9F" "E"), "\xC3\x84" "bc stra\xC3\x9F" "e");
  EXPECT_EQ(ToLowerUtf8(""), "");
  EXPECT_EQ(ToLowerUtf8(nullptr), "");
}

struct ReplaceCase {
  const char* input;
  const char* oldText;
  const char* newText;
  const char* expected;
  const char* notice;  // the line printed when the input comes back unchanged, or null
};

TEST(TextUtilities, FindAndReplaceWithNoCase) {
  const ReplaceCase cases[] = {
      // Inserted text is never searched again, even when it holds the old text.
      {"https://srv/CORP", "CORP", "corp.example", "https://srv/corp.example", nullptr},
      {"Hello HELLO hello", "hello", "Bye", "Bye Bye Bye", nullptr},
      {"abab", "AB", "abab", "abababab", nullptr},
      {"xxCorPyy", "corp", "", "xxyy", nullptr},
      {"no match here", "corp", "x", "no match here", nullptr},
      {"aXbxc", "x", "y", "aXbxc", "The string to find is either NULL or empty string"},
      {"a", "a", "bb", "a", "The input string is either NULL or empty string"},
      {"path/CORP", "corp", "CORP", "path/CORP", "Both the old string and new strings are same"},
  };
  for (const ReplaceCase& c : cases) {
    ::testing::internal::CaptureStdout();
    std::string result = FindAndReplaceWithNoCase(c.input, c.oldText, c.newText);
    std::string printed = ::testing::internal::GetCapturedStdout();
    EXPECT_EQ(result, c.expected) << c.input;
    EXPECT_NE(printed.find(std::string("FindAndReplaceWithNoCase : Input String : ") + c.input + " \n"),
              std::string::npos)
        << printed;
    EXPECT_NE(printed.find(std::string("FindAndReplaceWithNoCase : oldString String : ") + c.oldText + " \n"),
              std::string::npos);
    if (c.notice != nullptr) {
      EXPECT_NE(printed.find(c.notice), std::string::npos) << printed;
    }
  }
}

TEST(TextUtilities, FindAndReplaceWithMissingTextsReturnsTheInput) {
  ::testing::internal::CaptureStdout();
  EXPECT_EQ(FindAndReplaceWithNoCase(nullptr, "ab", "cd"), "");
  EXPECT_EQ(FindAndReplaceWithNoCase("abc", nullptr, "cd"), "abc");
  EXPECT_EQ(FindAndReplaceWithNoCase("abc", "ab", nullptr), "abc");
  std::string printed = ::testing::internal::GetCapturedStdout();
  EXPECT_NE(printed.find("FindAndReplaceWithNoCase : Input String : (null) \n"), std::string::npos) << printed;
}

TEST(TextUtilities, ReplaceCharCopiesWithEveryOccurrenceReplaced) {
  EXPECT_EQ(ReplaceChar("a\\b\\\\c", '\\', '/'), "a/b//c");
  EXPECT_EQ(ReplaceChar("", '\\', '/'), "");
  EXPECT_EQ(ReplaceChar(nullptr, '\\', '/'), "");
}

TEST(TextUtilities, StringToUInt64WrapsAndCountsEveryCharacter) {
  EXPECT_EQ(StringToUInt64("0"), 0u);
  EXPECT_EQ(StringToUInt64(""), 0u);
  EXPECT_EQ(StringToUInt64("4294967296"), 4294967296ull);
  EXPECT_EQ(StringToUInt64("18446744073709551615"), 18446744073709551615ull);
  EXPECT_EQ(StringToUInt64("18446744073709551616"), 0u);  // wraps around
  EXPECT_EQ(StringToUInt64("1a"), 10u + ('a' - '0'));     // no check of the characters
  EXPECT_EQ(StringToUInt64("1."), 10u - 2u);              // '.' is '0' - 2
}

}  // namespace
