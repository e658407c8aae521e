// The one text codec as its two callers see it: the code-page conversions and the registry's
// narrow API get the same hostile UTF-8, and each result is pinned. They differ only where the
// registry keeps lone surrogates so that no name or value is lost on a file round trip.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/core/utf_codec.h"
#include "platform/registry/registry_test_support.h"
#include "platform/win32.h"
#include "tests/support/temp_machine.h"

namespace hl::platform::reg {
namespace {

constexpr char16_t R = 0xFFFD;

struct HostileCase {
  const char* name;
  std::string bytes;
  std::u16string codePage;  // what MultiByteToWideChar(CP_UTF8, 0) gives
  std::u16string registry;  // what the registry stores from RegSetValueExA
};

const std::vector<HostileCase>& Cases() {
  static const std::vector<HostileCase> cases = {
      {"well-formed", "h\xE2\x82\xAC\xF0\x9D\x84\x9E", u"h\u20AC\U0001D11E", u"h\u20AC\U0001D11E"},
      {"overlong two-byte NUL", "\xC0\x80", {R, R}, {R, R}},
      {"overlong three-byte", "\xE0\x80\x80", {R, R, R}, {R, R, R}},
      {"overlong four-byte", "\xF0\x80\x80\x80", {R, R, R, R}, {R, R, R, R}},
      {"above U+10FFFF", "\xF4\x90\x80\x80", {R, R, R, R}, {R, R, R, R}},
      {"encoded lone surrogate", "\xED\xA0\x80", {R, R, R}, {0xD800}},
      {"encoded surrogate pair", "\xED\xA0\xBD\xED\xB8\x80", {R, R, R, R, R, R}, {0xD83D, 0xDE00}},
      {"truncated at the end", "a\xE2\x82", {u'a', R}, {u'a', R}},
      {"truncated before ASCII", "\xE2\x82" "b", {R, u'b'}, {R, u'b'}},
      {"stray continuation bytes", "\x80\xBF", {R, R}, {R, R}},
      {"lead bytes that never start", "\xF5\xFF", {R, R}, {R, R}},
  };
  return cases;
}

std::u16string ViaCodePage(const std::string& bytes, DWORD flags, DWORD* error) {
  int needed = MultiByteToWideChar(CP_UTF8, flags, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
  *error = needed == 0 ? GetLastError() : ERROR_SUCCESS;
  if (needed == 0) return {};
  std::u16string out(static_cast<size_t>(needed), u'\0');
  MultiByteToWideChar(CP_UTF8, flags, bytes.data(), static_cast<int>(bytes.size()), out.data(), needed);
  return out;
}

std::u16string ViaRegistry(HKEY key, const std::string& bytes) {
  std::string data = bytes + '\0';
  EXPECT_EQ(RegSetValueExA(key, "v", 0, REG_SZ, reinterpret_cast<const BYTE*>(data.data()),
                           static_cast<DWORD>(data.size())),
            ERROR_SUCCESS);
  DWORD size = 0;
  EXPECT_EQ(RegQueryValueExW(key, u"v", nullptr, nullptr, nullptr, &size), ERROR_SUCCESS);
  std::u16string wide(size / 2, u'\0');
  EXPECT_EQ(RegQueryValueExW(key, u"v", nullptr, nullptr, reinterpret_cast<BYTE*>(wide.data()), &size),
            ERROR_SUCCESS);
  if (!wide.empty() && wide.back() == u'\0') wide.pop_back();
  return wide;
}

TEST(TextCodecCallers, HostileUtf8AsEachCallerGetsIt) {
  hl::test::TempMachine machine;
  test::ScopedKey key;
  ASSERT_EQ(test::Create(HKEY_CURRENT_USER, "Codec", key), ERROR_SUCCESS);
  for (const HostileCase& c : Cases()) {
    SCOPED_TRACE(c.name);
    DWORD error = 0;
    EXPECT_EQ(ViaCodePage(c.bytes, 0, &error), c.codePage);
    EXPECT_EQ(ViaRegistry(key.get(), c.bytes), c.registry);
    // The strict code-page form refuses exactly what the lenient one replaced.
    std::u16string strict = ViaCodePage(c.bytes, MB_ERR_INVALID_CHARS, &error);
    if (c.codePage.find(R) == std::u16string::npos) {
      EXPECT_EQ(strict, c.codePage);
    } else {
      EXPECT_EQ(error, static_cast<DWORD>(ERROR_NO_UNICODE_TRANSLATION));
    }
  }
}

TEST(TextCodecCallers, LoneSurrogatesOnTheWayOut) {
  const char16_t lone[] = {u'x', 0xDC00, 0};
  char narrow[16] = {};
  BOOL usedDefault = FALSE;
  int n = WideCharToMultiByte(CP_ACP, 0, lone, -1, narrow, sizeof narrow, nullptr, &usedDefault);
  EXPECT_EQ(std::string(narrow, static_cast<size_t>(n)), std::string("x\xEF\xBF\xBD", 4) + '\0');
  EXPECT_TRUE(usedDefault);
  EXPECT_EQ(WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, lone, -1, narrow, sizeof narrow, nullptr, nullptr), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_UNICODE_TRANSLATION));

  // The registry keeps the surrogate for its file and hands the narrow API a replacement.
  hl::test::TempMachine machine;
  test::ScopedKey key;
  ASSERT_EQ(test::Create(HKEY_CURRENT_USER, "Codec", key), ERROR_SUCCESS);
  ASSERT_EQ(RegSetValueExW(key.get(), u"w", 0, REG_SZ, reinterpret_cast<const BYTE*>(lone), sizeof lone),
            ERROR_SUCCESS);
  std::string back;
  ASSERT_EQ(test::GetString(key.get(), "w", back), ERROR_SUCCESS);
  EXPECT_EQ(back, "x\xEF\xBF\xBD");
  EXPECT_EQ(*utf::Utf16ToUtf8(std::u16string_view(lone, 2), utf::kReplaceKeep), "x\xED\xB0\x80");
}

TEST(TextCodec, PoliciesAndPacking) {
  EXPECT_FALSE(utf::Utf8ToUtf16("\xED\xA0\x80", utf::kStrict));
  EXPECT_EQ(*utf::Utf8ToUtf16("\xED\xA0\x80", utf::kStrictKeep), std::u16string(1, char16_t{0xD800}));
  EXPECT_FALSE(utf::Utf8ToUtf16("\xC0\x80", utf::kStrictKeep)) << "keeping surrogates does not admit overlongs";
  bool replaced = false;
  EXPECT_EQ(*utf::Utf8ToUtf16("ok", utf::kReplace, &replaced), u"ok");
  EXPECT_FALSE(replaced);
  EXPECT_FALSE(utf::Utf16ToUtf8(std::u16string(1, char16_t{0xD800}), utf::kStrict));

  const std::u16string units = u"A\u20AC";
  std::vector<uint8_t> bytes = utf::PackUtf16Le(units);
  EXPECT_EQ(bytes, (std::vector<uint8_t>{0x41, 0x00, 0xAC, 0x20}));
  bytes.push_back(0x7F);  // an odd last byte is not half a unit
  EXPECT_EQ(utf::UnpackUtf16Le(bytes.data(), bytes.size()), units);
}

}  // namespace
}  // namespace hl::platform::reg
