// MultiByteToWideChar / WideCharToMultiByte: sizes, terminators, invalid input, surrogates.
#include <gtest/gtest.h>

#include <string>

#include "platform/win32.h"
#include "tests/support/wine.h"

namespace {

using Wide = std::basic_string<WCHAR>;

TEST(MultiByteToWideChar, SizeQueryAndConversionIncludeTheTerminatorWithMinusOne) {
  const char* text = "caf\xc3\xa9";  // 4 characters
  // The simulated computer's ANSI and OEM code pages are UTF-8 too; a Western Windows's are not.
  const bool utf8System = GetACP() == CP_UTF8;
  for (UINT cp : {CP_UTF8, CP_ACP, CP_OEMCP}) {
    if (cp != CP_UTF8 && !utf8System) continue;
    EXPECT_EQ(MultiByteToWideChar(cp, 0, text, -1, nullptr, 0), 5) << cp;
    WCHAR out[5];
    ASSERT_EQ(MultiByteToWideChar(cp, 0, text, -1, out, 5), 5);
    EXPECT_EQ(Wide(out), WSTR("caf\u00e9"));
  }
  // An explicit length converts exactly those bytes and adds no terminator.
  EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, text, 3, nullptr, 0), 3);
}

TEST(MultiByteToWideChar, ErrorsAsOnWindows) {
  WCHAR out[8];
  struct Case {
    UINT cp;
    DWORD flags;
    const char* in;
    int inLength;
    WCHAR* out;
    int outSize;
    DWORD error;
  } cases[] = {
      {CP_UTF8, 0, "abc", -1, out, 3, ERROR_INSUFFICIENT_BUFFER},
      {CP_UTF8, 0, nullptr, -1, out, 8, ERROR_INVALID_PARAMETER},
      {CP_UTF8, 0, "abc", 0, out, 8, ERROR_INVALID_PARAMETER},
      {CP_UTF8, 0, "abc", -1, nullptr, 8, ERROR_INVALID_PARAMETER},
      {CP_UTF8, MB_ERR_INVALID_CHARS, "a\xff", -1, out, 8, ERROR_NO_UNICODE_TRANSLATION},
      {CP_UTF8, MB_ERR_INVALID_CHARS, "\xed\xa0\x80", -1, out, 8, ERROR_NO_UNICODE_TRANSLATION},  // surrogate
      {CP_UTF8, MB_ERR_INVALID_CHARS, "\xc0\xaf", -1, out, 8, ERROR_NO_UNICODE_TRANSLATION},      // overlong
  };
  for (const auto& c : cases) {
    SetLastError(0);
    EXPECT_EQ(MultiByteToWideChar(c.cp, c.flags, c.in, c.inLength, c.out, c.outSize), 0);
    EXPECT_EQ(GetLastError(), c.error) << (c.in ? c.in : "(null)");
  }
  // For UTF-8 the only flag is MB_ERR_INVALID_CHARS; Wine takes any.
  SetLastError(0);
  EXPECT_EQ(MultiByteToWideChar(CP_UTF8, MB_PRECOMPOSED, "abc", -1, out, 8), hl::test::WindowsOrWine(0, 4));
  EXPECT_EQ(GetLastError(), hl::test::WindowsOrWine<DWORD>(ERROR_INVALID_FLAGS, 0));
}

#ifndef _WIN32
TEST(MultiByteToWideChar, TheSimulatedComputerKnowsTheUtf8CodePagesOnly) {
  WCHAR out[8];
  EXPECT_EQ(MultiByteToWideChar(1252, 0, "abc", -1, out, 8), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}
#endif

TEST(MultiByteToWideChar, InvalidBytesBecomeReplacementCharacters) {
  WCHAR out[8];
  int n = MultiByteToWideChar(CP_UTF8, 0, "a\xff" "b\xe2\x82", -1, out, 8);
  ASSERT_EQ(n, 5);
  EXPECT_EQ(Wide(out), WSTR("a\uFFFDb\uFFFD"));
}

TEST(MultiByteToWideChar, SupplementaryCharactersBecomeSurrogatePairs) {
  WCHAR out[4];
  ASSERT_EQ(MultiByteToWideChar(CP_UTF8, 0, "\xf0\x9f\x98\x80", -1, out, 4), 3);
  EXPECT_EQ(out[0], 0xD83D);
  EXPECT_EQ(out[1], 0xDE00);
  EXPECT_EQ(out[2], 0);
}

TEST(WideCharToMultiByte, SizesPairsAndUnpairedSurrogates) {
  const WCHAR text[] = {WCHAR('a'), 0xD83D, 0xDE00, 0};
  EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr), 6);
  char out[8];
  ASSERT_EQ(WideCharToMultiByte(CP_UTF8, 0, text, -1, out, 8, nullptr, nullptr), 6);
  EXPECT_STREQ(out, "a\xf0\x9f\x98\x80");
  EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, text, -1, out, 5, nullptr, nullptr), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));

  const WCHAR lone[] = {WCHAR('x'), 0xDC00, 0};
  ASSERT_EQ(WideCharToMultiByte(CP_UTF8, 0, lone, -1, out, 8, nullptr, nullptr), 5);
  EXPECT_STREQ(out, "x\xef\xbf\xbd");
  EXPECT_EQ(WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, lone, -1, out, 8, nullptr, nullptr), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_UNICODE_TRANSLATION));

  // UTF-8 has no default character to report; Wine converts anyway.
  BOOL used = FALSE;
  SetLastError(0);
  EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, text, -1, out, 8, nullptr, &used), hl::test::WindowsOrWine(0, 6));
  EXPECT_EQ(GetLastError(), hl::test::WindowsOrWine<DWORD>(ERROR_INVALID_PARAMETER, 0));
  if (GetACP() == CP_UTF8) {
    EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, text, -1, out, 8, nullptr, &used), 6);
    EXPECT_FALSE(used);
  }
  EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, nullptr, -1, out, 8, nullptr, nullptr), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

}  // namespace
