// MultiByteToWideChar / WideCharToMultiByte. The stand-in's ANSI and OEM code pages are UTF-8.
#include <cstring>
#include <string>

#include "platform/core/core_internal.h"
#include "platform/core/utf_codec.h"
#include "platform/system/win_system.h"

namespace hl::platform {
namespace {

bool IsUtf8CodePage(UINT codePage) {
  return codePage == CP_ACP || codePage == CP_OEMCP || codePage == CP_THREAD_ACP || codePage == CP_UTF8;
}

}  // namespace
}  // namespace hl::platform

using hl::platform::Fail;

UINT GetACP(void) { return CP_UTF8; }

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
  namespace utf = hl::platform::utf;
  auto converted = utf::Utf8ToUtf16(std::string_view(lpMultiByteStr, length),
                                    (dwFlags & MB_ERR_INVALID_CHARS) != 0 ? utf::kStrict : utf::kReplace);
  if (!converted) return Fail(ERROR_NO_UNICODE_TRANSLATION, 0);
  const std::u16string& wide = *converted;
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
  namespace utf = hl::platform::utf;
  bool replaced = false;
  auto converted = utf::Utf16ToUtf8(std::u16string_view(lpWideCharStr, length),
                                    (dwFlags & WC_ERR_INVALID_CHARS) != 0 ? utf::kStrict : utf::kReplace, &replaced);
  if (!converted) return Fail(ERROR_NO_UNICODE_TRANSLATION, 0);
  const std::string& narrow = *converted;
  if (lpUsedDefaultChar != nullptr) *lpUsedDefaultChar = replaced ? TRUE : FALSE;
  if (narrow.size() > 0x7FFFFFFF) return Fail(ERROR_INVALID_PARAMETER, 0);
  int needed = static_cast<int>(narrow.size());
  if (cbMultiByte == 0) return needed;
  if (needed > cbMultiByte) return Fail(ERROR_INSUFFICIENT_BUFFER, 0);
  std::memcpy(lpMultiByteStr, narrow.data(), narrow.size());
  return needed;
}
