// Text conversions between UTF-8 and UTF-16 and the small text tools the agent shares.
// Every conversion asks the system for the size first (length -1, so the terminator counts),
// then converts into a buffer of exactly that size.
#include "agent/machine/text.h"

#include <cstring>
#include <vector>

#include "agent/log/log.h"

namespace {

// UTF-8 -> UTF-16 into `out`; false (after the last-error text) when the system refuses.
bool Utf8ToWide(const char* utf8, hl::WString& out) {
  out.clear();
  int chars = MultiByteToWideChar(CP_UTF8, 0, utf8, -1, nullptr, 0);
  if (chars <= 0) {
    LogLastError();
    return false;
  }
  std::vector<WCHAR> buffer(static_cast<size_t>(chars), u'\0');
  int written = MultiByteToWideChar(CP_UTF8, 0, utf8, -1, buffer.data(), chars);
  // A failed conversion still hands back what the buffer holds (zero-filled, possibly partial).
  out.assign(buffer.data());
  if (written <= 0) {
    LogLastError();
    return false;
  }
  return true;
}

// Only A to Z change: the runtime's lower-casing in the default ("C") locale.
WCHAR LowerAscii(WCHAR c) { return (c >= 'A' && c <= 'Z') ? static_cast<WCHAR>(c - 'A' + 'a') : c; }
char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

std::string LowerBytes(const char* text) {
  std::string lower(text);
  for (char& c : lower) c = LowerAscii(c);
  return lower;
}

}  // namespace

int ChangeToWideStr(const char* utf8, hl::WString& out) {
  if (utf8 == nullptr) {
    LogError("ChangeToWideStr: AnsiString is empty! \n");
    out.clear();
    return 0;
  }
  return Utf8ToWide(utf8, out) ? 1 : 0;
}

bool ChangeUtf8ToWideStr(const char* utf8, hl::WString& out) {
  LogDebug("UTF String Received:%s\n", utf8);
  if (utf8 == nullptr) {
    LogError("ChangeUtf8ToWideStr: utf8 is empty! \n");
    out.clear();
    return false;
  }
  return Utf8ToWide(utf8, out);
}

bool ChangeUtf8ToWideSecretStr(const char* utf8, hl::WString& out) {
  // As ChangeUtf8ToWideStr, but the text is a secret (a password): it never reaches the log.
  if (utf8 == nullptr) {
    LogError("ChangeUtf8ToWideStr: utf8 is empty! \n");
    out.clear();
    return false;
  }
  return Utf8ToWide(utf8, out);
}

bool ChangeWideToUtf8Str(const WCHAR* wide, std::string& out) {
  out.clear();
  if (wide == nullptr) {
    LogError("ChangeWideToUtf8Str: wideString is empty! \n");
    return false;
  }
  int bytes = WideCharToMultiByte(CP_UTF8, 0, wide, -1, nullptr, 0, nullptr, nullptr);
  if (bytes <= 0) {
    LogLastError();
    return false;
  }
  // The converted length plus one byte, zero-filled.
  std::vector<char> buffer(static_cast<size_t>(bytes) + 1, '\0');
  int written = WideCharToMultiByte(CP_UTF8, 0, wide, -1, buffer.data(), bytes, nullptr, nullptr);
  out.assign(buffer.data());
  if (written <= 0) {
    LogLastError();
    return false;
  }
  return true;
}

int ChangeAnsiToUTF8Str(const char* text, std::string& out) {
  out.clear();
  if (text == nullptr) {
    LogError("ChangeAnsiToUTF8Str: ansiString is empty! \n");
    return 0;
  }
  hl::WString wide;
  if (ChangeToWideStr(text, wide) != 1) return 0;
  return ChangeWideToUtf8Str(wide.c_str(), out) ? 1 : 0;
}

std::string ToLowerUtf8(const char* utf8) {
  if (utf8 == nullptr) return std::string();
  hl::WString wide;
  if (ChangeToWideStr(utf8, wide) != 1) return std::string(utf8);
  for (WCHAR& c : wide) c = LowerAscii(c);
  std::string out;
  if (!ChangeWideToUtf8Str(wide.c_str(), out)) return std::string(utf8);
  return out;
}

std::string FindAndReplaceWithNoCase(const char* input, const char* oldString, const char* newString) {
  hl::Printf("FindAndReplaceWithNoCase : Input String : %s \n", input);
  hl::Printf("FindAndReplaceWithNoCase : oldString String : %s \n", oldString);
  hl::Printf("FindAndReplaceWithNoCase : newString String : %s \n", newString);

  if (input == nullptr || std::strlen(input) <= 1) {
    hl::Printf("FindAndReplaceWithNoCase : The input string is either NULL or empty string \n");
    return input ? std::string(input) : std::string();
  }
  if (oldString == nullptr || std::strlen(oldString) <= 1) {
    hl::Printf("FindAndReplaceWithNoCase : The string to find is either NULL or empty string \n");
    return std::string(input);
  }
  // Without a replacement nothing is removed: the input comes back whole.
  if (newString == nullptr) {
    hl::Printf("FindAndReplaceWithNoCase : The new string is NULL, we are sending the input string as output ..\n");
    return std::string(input);
  }
  const std::string lowerOld = LowerBytes(oldString);
  if (lowerOld == LowerBytes(newString)) {
    hl::Printf(
        "FindAndReplaceWithNoCase : Both the old string and new strings are same , we are sending the input string "
        "as output ..\n");
    return std::string(input);
  }

  // The lower-cased copy is edited in step with the result so that positions keep matching;
  // lower-casing A-Z keeps every byte where it was.
  std::string result(input);
  std::string lower = LowerBytes(input);
  const std::string replacement(newString);
  size_t position = 0;
  for (;;) {
    size_t hit = lower.find(lowerOld, position);
    if (hit == std::string::npos) break;
    result.replace(hit, lowerOld.size(), replacement);
    lower.replace(hit, lowerOld.size(), replacement);
    position = hit + replacement.size();  // never search inside inserted text
  }
  return result;
}

std::string ReplaceChar(const char* text, char from, char to) {
  if (text == nullptr) return std::string();
  std::string copy(text);
  for (char& c : copy) {
    if (c == from) c = to;
  }
  return copy;
}

ULONGLONG StringToUInt64(const char* text) {
  ULONGLONG value = 0;
  if (text == nullptr) return value;
  // Wrap-around arithmetic and no check of the characters, by design of the callers.
  for (const char* p = text; *p != '\0'; ++p) {
    // char is signed on Windows: bytes above 0x7F count as negative digits there too.
    value = value * 10u + static_cast<ULONGLONG>(static_cast<long long>(static_cast<signed char>(*p)) - '0');
  }
  return value;
}
