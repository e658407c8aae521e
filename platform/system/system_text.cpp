// MultiByteToWideChar / WideCharToMultiByte. The stand-in's ANSI and OEM code pages are UTF-8.
#include <cstring>
#include <string>

#include "platform/core/core_internal.h"
#include "platform/core/utf_codec.h"
#include "platform/system/win_system.h"

namespace hl::platform {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

// Decodes one UTF-8 sequence at s[i]. An invalid sequence consumes its longest valid prefix (at least
// one byte), so that each maximal ill-formed part yields one replacement character.
struct Decoded {
  char32_t codePoint;
  size_t length;
  bool valid;
};

Decoded DecodeUtf8(const unsigned char* s, size_t n, size_t i) {
  unsigned char b0 = s[i];
  if (b0 < 0x80) return {b0, 1, true};
  size_t need;
  unsigned char lo = 0x80, hi = 0xBF;
  char32_t cp;
  if (b0 >= 0xC2 && b0 <= 0xDF) {
    need = 1;
    cp = b0 & 0x1F;
  } else if (b0 >= 0xE0 && b0 <= 0xEF) {
    need = 2;
    cp = b0 & 0x0F;
    if (b0 == 0xE0) lo = 0xA0;
    if (b0 == 0xED) hi = 0x9F;  // no surrogates
  } else if (b0 >= 0xF0 && b0 <= 0xF4) {
    need = 3;
    cp = b0 & 0x07;
    if (b0 == 0xF0) lo = 0x90;
    if (b0 == 0xF4) hi = 0x8F;
  } else {
    return {kReplacement, 1, false};
  }
  for (size_t k = 1; k <= need; ++k) {
    if (i + k >= n) return {kReplacement, k, false};
    unsigned char b = s[i + k];
    unsigned char low = k == 1 ? lo : 0x80, high = k == 1 ? hi : 0xBF;
    if (b < low || b > high) return {kReplacement, k, false};
    cp = (cp << 6) | (b & 0x3F);
  }
  return {cp, need + 1, true};
}

// Converts; false when `strict` and the input is not well-formed.
bool Utf8ToUtf16Checked(std::string_view in, bool strict, std::u16string& out) {
  const auto* s = reinterpret_cast<const unsigned char*>(in.data());
  for (size_t i = 0; i < in.size();) {
    Decoded d = DecodeUtf8(s, in.size(), i);
    if (!d.valid && strict) return false;
    AppendUtf16(out, d.codePoint);
    i += d.length;
  }
  return true;
}

// Converts; false when `strict` and the input holds an unpaired surrogate. `replaced` tells whether
// anything was replaced.
bool Utf16ToUtf8Checked(std::u16string_view in, bool strict, std::string& out, bool* replaced) {
  for (size_t i = 0; i < in.size(); ++i) {
    char32_t c = in[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < in.size() && in[i + 1] >= 0xDC00 && in[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (in[i + 1] - 0xDC00);
      ++i;
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      if (strict) return false;
      if (replaced) *replaced = true;
      c = kReplacement;
    }
    AppendUtf8(out, c);
  }
  return true;
}

bool IsUtf8CodePage(UINT codePage) {
  return codePage == CP_ACP || codePage == CP_OEMCP || codePage == CP_THREAD_ACP || codePage == CP_UTF8;
}

}  // namespace

std::string Utf16ToUtf8(std::u16string_view text) {
  std::string out;
  Utf16ToUtf8Checked(text, false, out, nullptr);
  return out;
}

std::u16string Utf8ToUtf16(std::string_view text) {
  std::u16string out;
  Utf8ToUtf16Checked(text, false, out);
  return out;
}

size_t WideLength(const WCHAR* text) {
  size_t n = 0;
  while (text[n] != 0) ++n;
  return n;
}

}  // namespace hl::platform

using hl::platform::Fail;

int MultiByteToWideChar(UINT CodePage, DWORD dwFlags, LPCSTR lpMultiByteStr, int cbMultiByte, LPWSTR lpWideCharStr,
                        int cchWideChar) {
  if (!hl::platform::IsUtf8CodePage(CodePage)) return Fail(ERROR_INVALID_PARAMETER, 0);
  if (lpMultiByteStr == nullptr || cbMultiByte == 0 || cbMultiByte < -1 || cchWideChar < 0 ||
      (lpWideCharStr == nullptr && cchWideChar != 0))
    return Fail(ERROR_INVALID_PARAMETER, 0);
  const DWORD allowed = CodePage == CP_UTF8 ? MB_ERR_INVALID_CHARS
                                            : (MB_PRECOMPOSED | MB_COMPOSITE | MB_USEGLYPHCHARS | MB_ERR_INVALID_CHARS);
  if ((dwFlags & ~allowed) != 0 || ((dwFlags & MB_PRECOMPOSED) && (dwFlags & MB_COMPOSITE)))
    return Fail(ERROR_INVALID_FLAGS, 0);
  size_t length = cbMultiByte == -1 ? std::strlen(lpMultiByteStr) + 1 : static_cast<size_t>(cbMultiByte);
  std::u16string wide;
  if (!hl::platform::Utf8ToUtf16Checked(std::string_view(lpMultiByteStr, length), (dwFlags & MB_ERR_INVALID_CHARS) != 0,
                                        wide))
    return Fail(ERROR_NO_UNICODE_TRANSLATION, 0);
  if (wide.size() > 0x7FFFFFFF) return Fail(ERROR_INVALID_PARAMETER, 0);
  int needed = static_cast<int>(wide.size());
  if (cchWideChar == 0) return needed;
  if (needed > cchWideChar) return Fail(ERROR_INSUFFICIENT_BUFFER, 0);
  std::memcpy(lpWideCharStr, wide.data(), wide.size() * sizeof(WCHAR));
  return needed;
}

int WideCharToMultiByte(UINT CodePage, DWORD dwFlags, LPCWSTR lpWideCharStr, int cchWideChar, LPSTR lpMultiByteStr,
                        int cbMultiByte, LPCSTR lpDefaultChar, LPBOOL lpUsedDefaultChar) {
  if (!hl::platform::IsUtf8CodePage(CodePage)) return Fail(ERROR_INVALID_PARAMETER, 0);
  if (lpWideCharStr == nullptr || cchWideChar == 0 || cchWideChar < -1 || cbMultiByte < 0 ||
      (lpMultiByteStr == nullptr && cbMultiByte != 0))
    return Fail(ERROR_INVALID_PARAMETER, 0);
  if (CodePage == CP_UTF8) {
    // UTF-8 has no default character: Windows refuses these arguments for it.
    if ((dwFlags & ~static_cast<DWORD>(WC_ERR_INVALID_CHARS)) != 0) return Fail(ERROR_INVALID_FLAGS, 0);
    if (lpDefaultChar != nullptr || lpUsedDefaultChar != nullptr) return Fail(ERROR_INVALID_PARAMETER, 0);
  }
  size_t length = cchWideChar == -1 ? hl::platform::WideLength(lpWideCharStr) + 1 : static_cast<size_t>(cchWideChar);
  std::string narrow;
  bool replaced = false;
  if (!hl::platform::Utf16ToUtf8Checked(std::u16string_view(lpWideCharStr, length),
                                        (dwFlags & WC_ERR_INVALID_CHARS) != 0, narrow, &replaced))
    return Fail(ERROR_NO_UNICODE_TRANSLATION, 0);
  if (lpUsedDefaultChar != nullptr) *lpUsedDefaultChar = replaced ? TRUE : FALSE;
  if (narrow.size() > 0x7FFFFFFF) return Fail(ERROR_INVALID_PARAMETER, 0);
  int needed = static_cast<int>(narrow.size());
  if (cbMultiByte == 0) return needed;
  if (needed > cbMultiByte) return Fail(ERROR_INSUFFICIENT_BUFFER, 0);
  std::memcpy(lpMultiByteStr, narrow.data(), narrow.size());
  return needed;
}
