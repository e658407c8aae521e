// Texts as the running system gives them, for tests that run both on the simulated computer and
// on Windows: the ANSI code page differs (UTF-8 there, 1252 on a western Windows), and so do the
// system's message texts (Wine words some of them its own way).
#pragma once

#include <string>
#include <string_view>

#include "platform/win32.h"

namespace hl::test {

// `text` in the system's ANSI code page, as the narrow API passes it.
inline std::string InAnsiCodePage(std::basic_string_view<WCHAR> text) {
  if (text.empty()) return {};
  const LPCWSTR wide = text.data();
  const int units = static_cast<int>(text.size());
  const int bytes = WideCharToMultiByte(CP_ACP, 0, wide, units, nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(bytes), '\0');
  WideCharToMultiByte(CP_ACP, 0, wide, units, out.data(), bytes, nullptr, nullptr);
  return out;
}

// The system's one-line text for `code` in UTF-8, as FormatMessageW gives it with
// FORMAT_MESSAGE_MAX_WIDTH_MASK (line breaks become blanks); empty when the system has none.
inline std::string OneLineSystemText(DWORD code) {
  WCHAR* buffer = nullptr;
  const DWORD flags = FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_FROM_SYSTEM |
                      FORMAT_MESSAGE_MAX_WIDTH_MASK;
  const DWORD units = FormatMessageW(flags, nullptr, code, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
                                     reinterpret_cast<LPWSTR>(&buffer), 0, nullptr);
  std::string text;
  if (units != 0 && buffer != nullptr) {
    const int bytes = WideCharToMultiByte(CP_UTF8, 0, buffer, static_cast<int>(units), nullptr, 0, nullptr, nullptr);
    text.resize(static_cast<size_t>(bytes));
    WideCharToMultiByte(CP_UTF8, 0, buffer, static_cast<int>(units), text.data(), bytes, nullptr, nullptr);
  }
  if (buffer != nullptr) LocalFree(buffer);
  return text;
}

}  // namespace hl::test
