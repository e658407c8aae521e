// FormatMessageA/W: system message texts, inserts, line widths and allocated buffers.
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

#include "platform/core/core_internal.h"
#include "platform/system/win_system.h"

namespace hl::platform {

std::optional<std::string_view> SystemMessageText(DWORD code);

namespace {

// Reads insert `index` (1-based) of an argument array as text. `wide` tells the array holds UTF-16 texts.
std::string InsertArgument(const DWORD_PTR* args, unsigned index, std::string_view format, bool wide) {
  DWORD_PTR value = args[index - 1];
  char last = format.empty() ? 's' : format.back();
  if (last == 's' || last == 'S') {
    bool wideText = wide ? last != 'S' || format.find('h') != std::string_view::npos
                         : last == 'S' || format.find('l') != std::string_view::npos;
    if (value == 0) return "(null)";
    if (wideText) return Utf16ToUtf8(reinterpret_cast<const WCHAR*>(value));
    return std::string(reinterpret_cast<const char*>(value));
  }
  if (format.find('*') != std::string_view::npos) return {};  // width arguments are not offered
  std::string directive = "%" + std::string(format);
  char buffer[128];
  if (last == 'c') {
    std::snprintf(buffer, sizeof buffer, "%c", static_cast<int>(value));
  } else {
    // Integers: drop size prefixes and print the 64-bit value in the requested form.
    std::string flags;
    for (char c : format.substr(0, format.size() - 1))
      if (c != 'l' && c != 'h' && c != 'I' && c != '6' && c != '4' && c != '3' && c != '2') flags.push_back(c);
    directive = "%" + flags + "ll" + last;
    if (last == 'd' || last == 'i') {
      long long signedValue = static_cast<long long>(static_cast<intptr_t>(value));
      if (format.find("I64") == std::string_view::npos && format.find("ll") == std::string_view::npos)
        signedValue = static_cast<int32_t>(value);
      std::snprintf(buffer, sizeof buffer, directive.c_str(), signedValue);
    } else {
      unsigned long long unsignedValue = value;
      if (format.find("I64") == std::string_view::npos && format.find("ll") == std::string_view::npos)
        unsignedValue = static_cast<uint32_t>(value);
      std::snprintf(buffer, sizeof buffer, directive.c_str(), unsignedValue);
    }
  }
  return buffer;
}

// Breaks text into lines of at most `width` characters at blanks (or inside a word that is longer).
std::string WrapLines(const std::string& text, unsigned width) {
  std::string out;
  size_t lineStart = 0;  // in `out`
  size_t lastBlank = std::string::npos;
  for (char c : text) {
    if (c == '\n') {
      out.push_back(c);
      lineStart = out.size();
      lastBlank = std::string::npos;
      continue;
    }
    if (c != '\r' && out.size() - lineStart >= width) {
      if (lastBlank != std::string::npos) {
        out.replace(lastBlank, 1, "\r\n");
        lineStart = lastBlank + 2;
      } else {
        out += "\r\n";
        lineStart = out.size();
      }
      lastBlank = std::string::npos;
    }
    if (c == ' ') lastBlank = out.size();
    out.push_back(c);
  }
  return out;
}

// Expands a message text; nullopt with the last error set when it cannot.
std::optional<std::string> Expand(std::string_view text, DWORD flags, const void* arguments, bool wide) {
  const unsigned width = flags & FORMAT_MESSAGE_MAX_WIDTH_MASK;
  const bool ignoreInserts = flags & FORMAT_MESSAGE_IGNORE_INSERTS;
  const auto* args = static_cast<const DWORD_PTR*>(arguments);
  std::string out;
  bool ended = false;
  for (size_t i = 0; i < text.size() && !ended; ++i) {
    char c = text[i];
    if (c == '\r' || c == '\n') {
      // A regular line break: kept as it stands without a width, a blank otherwise.
      if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
      if (width == 0) {
        out += "\r\n";
      } else {
        out.push_back(' ');
      }
      continue;
    }
    if (c != '%' || i + 1 >= text.size()) {
      out.push_back(c);
      continue;
    }
    char next = text[i + 1];
    if (next >= '1' && next <= '9') {
      size_t start = i;
      unsigned index = static_cast<unsigned>(next - '0');
      i += 1;
      if (i + 1 < text.size() && text[i + 1] >= '0' && text[i + 1] <= '9') index = index * 10 + (text[++i] - '0');
      std::string_view format;
      if (i + 1 < text.size() && text[i + 1] == '!') {
        size_t close = text.find('!', i + 2);
        if (close != std::string_view::npos) {
          format = text.substr(i + 2, close - i - 2);
          i = close;
        }
      }
      if (ignoreInserts) {
        out.append(text.substr(start, i + 1 - start));
        continue;
      }
      // Only argument arrays are offered; a va_list cannot be read portably.
      if (args == nullptr || !(flags & FORMAT_MESSAGE_ARGUMENT_ARRAY)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return std::nullopt;
      }
      out += InsertArgument(args, index, format, wide);
      continue;
    }
    ++i;
    switch (next) {
      case 'n': out += "\r\n"; break;  // a hard line break stays whatever the width
      case '0': ended = true; break;
      case 't': out.push_back('\t'); break;
      case 'r': out.push_back('\r'); break;
      case 'b': out.push_back(' '); break;
      default: out.push_back(next); break;  // "%%", "%.", "%!", "% " and the rest stand for the character
    }
  }
  if (width != 0 && width != FORMAT_MESSAGE_MAX_WIDTH_MASK) out = WrapLines(out, width);
  return out;
}

// The message text to expand; nullopt with the last error set when there is none.
std::optional<std::string> Source(DWORD flags, LPCVOID source, DWORD messageId, bool wide) {
  if (flags & FORMAT_MESSAGE_FROM_STRING) {
    if (source == nullptr) {
      SetLastError(ERROR_INVALID_PARAMETER);
      return std::nullopt;
    }
    if (wide) return Utf16ToUtf8(static_cast<const WCHAR*>(source));
    return std::string(static_cast<const char*>(source));
  }
  if (!(flags & (FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_FROM_HMODULE))) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return std::nullopt;
  }
  // Modules of the stand-in carry no message tables, so only the system table can answer.
  if (flags & FORMAT_MESSAGE_FROM_SYSTEM) {
    if (auto text = SystemMessageText(messageId)) return std::string(*text);
  }
  SetLastError(ERROR_MR_MID_NOT_FOUND);
  return std::nullopt;
}

// Stores `text` (of CharT units) in the caller's buffer or a LocalAlloc'd one; its length or 0.
template <class CharT>
DWORD Store(const std::basic_string<CharT>& text, DWORD flags, CharT* buffer, DWORD size) {
  const size_t length = text.size();
  if (flags & FORMAT_MESSAGE_ALLOCATE_BUFFER) {
    auto** out = reinterpret_cast<CharT**>(buffer);
    if (out == nullptr) return Fail(ERROR_INVALID_PARAMETER, DWORD{0});
    *out = nullptr;
    size_t units = length + 1 > size ? length + 1 : size;
    auto* block = static_cast<CharT*>(LocalAlloc(LMEM_ZEROINIT, units * sizeof(CharT)));
    if (block == nullptr) return 0;
    std::memcpy(block, text.c_str(), (length + 1) * sizeof(CharT));
    *out = block;
    return static_cast<DWORD>(length);
  }
  if (buffer == nullptr) return Fail(ERROR_INVALID_PARAMETER, DWORD{0});
  if (length + 1 > size) return Fail(ERROR_INSUFFICIENT_BUFFER, DWORD{0});
  std::memcpy(buffer, text.c_str(), (length + 1) * sizeof(CharT));
  return static_cast<DWORD>(length);
}

}  // namespace
}  // namespace hl::platform

DWORD FormatMessageA(DWORD dwFlags, LPCVOID lpSource, DWORD dwMessageId, DWORD, LPSTR lpBuffer, DWORD nSize,
                     va_list* Arguments) {
  if ((dwFlags & FORMAT_MESSAGE_ALLOCATE_BUFFER) && lpBuffer != nullptr) *reinterpret_cast<LPSTR*>(lpBuffer) = nullptr;
  auto source = hl::platform::Source(dwFlags, lpSource, dwMessageId, false);
  if (!source) return 0;
  auto text = hl::platform::Expand(*source, dwFlags, Arguments, false);
  if (!text) return 0;
  return hl::platform::Store(*text, dwFlags, lpBuffer, nSize);
}

DWORD FormatMessageW(DWORD dwFlags, LPCVOID lpSource, DWORD dwMessageId, DWORD, LPWSTR lpBuffer, DWORD nSize,
                     va_list* Arguments) {
  if ((dwFlags & FORMAT_MESSAGE_ALLOCATE_BUFFER) && lpBuffer != nullptr) *reinterpret_cast<LPWSTR*>(lpBuffer) = nullptr;
  auto source = hl::platform::Source(dwFlags, lpSource, dwMessageId, true);
  if (!source) return 0;
  auto text = hl::platform::Expand(*source, dwFlags, Arguments, true);
  if (!text) return 0;
  return hl::platform::Store(hl::platform::Utf8ToUtf16(*text), dwFlags, lpBuffer, nSize);
}
