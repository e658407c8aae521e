// How: UTF-8 is decoded one sequence at a time against the well-formed byte ranges of Unicode
// (table 3-7), so an ill-formed sequence stops at the first byte that cannot continue it and that
// maximal subpart becomes one U+FFFD (or fails the text under a strict policy). Keeping lone
// surrogates only widens the second byte's range after ED from 80..9F to 80..BF.
#include "platform/core/utf_codec.h"

#include "platform/core/core_internal.h"

namespace hl::platform::utf {
namespace {

bool IsHighSurrogate(char32_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool IsLowSurrogate(char32_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

struct Decoded {
  char32_t codePoint;
  size_t length;  // bytes consumed: the whole sequence, or the maximal ill-formed subpart
  bool wellFormed;
};

Decoded DecodeOne(const unsigned char* s, size_t n, size_t i, bool keepSurrogates) {
  const unsigned char lead = s[i];
  if (lead < 0x80) return {lead, 1, true};
  size_t trailing;
  unsigned char low = 0x80, high = 0xBF;  // range of the first trailing byte
  char32_t cp;
  if (lead >= 0xC2 && lead <= 0xDF) {
    trailing = 1, cp = lead & 0x1F;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    trailing = 2, cp = lead & 0x0F;
    if (lead == 0xE0) low = 0xA0;                        // no overlong three-byte forms
    if (lead == 0xED && !keepSurrogates) high = 0x9F;   // no encoded surrogates
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    trailing = 3, cp = lead & 0x07;
    if (lead == 0xF0) low = 0x90;  // no overlong four-byte forms
    if (lead == 0xF4) high = 0x8F; // nothing above U+10FFFF
  } else {
    return {kReplacementCharacter, 1, false};  // 80..C1 and F5..FF never start a sequence
  }
  for (size_t k = 1; k <= trailing; ++k) {
    if (i + k >= n) return {kReplacementCharacter, k, false};
    const unsigned char b = s[i + k];
    if (b < (k == 1 ? low : 0x80) || b > (k == 1 ? high : 0xBF)) return {kReplacementCharacter, k, false};
    cp = (cp << 6) | (b & 0x3F);
  }
  return {cp, trailing + 1, true};
}

}  // namespace

void AppendUtf16(std::u16string& out, char32_t cp) {
  if (cp >= 0x10000) {
    cp -= 0x10000;
    out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
    out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
  } else {
    out.push_back(static_cast<char16_t>(cp));
  }
}

void AppendUtf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

std::optional<std::u16string> Utf8ToUtf16(std::string_view text, Policy policy, bool* replaced) {
  std::u16string out;
  out.reserve(text.size());
  const auto* s = reinterpret_cast<const unsigned char*>(text.data());
  for (size_t i = 0; i < text.size();) {
    Decoded d = DecodeOne(s, text.size(), i, policy.keepLoneSurrogates);
    if (!d.wellFormed) {
      if (policy.strict) return std::nullopt;
      if (replaced) *replaced = true;
    }
    AppendUtf16(out, d.codePoint);
    i += d.length;
  }
  return out;
}

std::optional<std::string> Utf16ToUtf8(std::u16string_view text, Policy policy, bool* replaced) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    char32_t c = text[i];
    if (IsHighSurrogate(c) && i + 1 < text.size() && IsLowSurrogate(text[i + 1])) {
      c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      ++i;
    } else if ((IsHighSurrogate(c) || IsLowSurrogate(c)) && !policy.keepLoneSurrogates) {
      if (policy.strict) return std::nullopt;
      if (replaced) *replaced = true;
      c = kReplacementCharacter;
    }
    AppendUtf8(out, c);
  }
  return out;
}

bool IsWellFormedUtf16(std::u16string_view text) {
  for (size_t i = 0; i < text.size(); ++i) {
    if (IsHighSurrogate(text[i])) {
      if (i + 1 >= text.size() || !IsLowSurrogate(text[i + 1])) return false;
      ++i;
    } else if (IsLowSurrogate(text[i])) {
      return false;
    }
  }
  return true;
}

std::vector<uint8_t> PackUtf16Le(std::u16string_view units) {
  std::vector<uint8_t> bytes(units.size() * 2);
  for (size_t i = 0; i < units.size(); ++i) {
    bytes[2 * i] = static_cast<uint8_t>(units[i] & 0xFF);
    bytes[2 * i + 1] = static_cast<uint8_t>(units[i] >> 8);
  }
  return bytes;
}

std::u16string UnpackUtf16Le(const uint8_t* bytes, size_t size) {
  std::u16string units(size / 2, u'\0');
  for (size_t i = 0; i < units.size(); ++i)
    units[i] = static_cast<char16_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
  return units;
}

}  // namespace hl::platform::utf

namespace hl::platform {

std::string Utf16ToUtf8(std::u16string_view text) { return *utf::Utf16ToUtf8(text, utf::kReplace); }

std::u16string Utf8ToUtf16(std::string_view text) { return *utf::Utf8ToUtf16(text, utf::kReplace); }

size_t WideLength(const WCHAR* text) {
  size_t n = 0;
  while (text[n] != 0) ++n;
  return n;
}

}  // namespace hl::platform
