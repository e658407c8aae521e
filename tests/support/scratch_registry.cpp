#include "tests/support/scratch_registry.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "platform/win32.h"
#ifndef _WIN32
#include "tests/support/temp_machine.h"
#endif

namespace hl::test {
namespace {

using WideText = std::basic_string<WCHAR>;

struct ParsedValue {
  WideText name;  // empty: the default value
  DWORD type = REG_NONE;
  std::vector<BYTE> data;
};

struct ParsedKey {
  HKEY hive = nullptr;
  std::string fullPath;
  WideText subKey;
  std::vector<ParsedValue> values;
};

WideText Widen(std::string_view utf8) {
  if (utf8.empty()) return {};
  const int length = static_cast<int>(utf8.size());
  int units = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), length, nullptr, 0);
  WideText wide(static_cast<size_t>(units), WCHAR(0));
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), length, wide.data(), units);
  return wide;
}

bool UnderScratchRoot(const std::string& fullPath) {
  for (const char* root : kScratchRoots) {
    const std::string prefix(root);
    if (fullPath == prefix || fullPath.rfind(prefix + "\\", 0) == 0) return true;
  }
  return false;
}

HKEY HiveOf(std::string_view name) {
  if (name == "HKEY_LOCAL_MACHINE") return HKEY_LOCAL_MACHINE;
  if (name == "HKEY_CURRENT_USER") return HKEY_CURRENT_USER;
  if (name == "HKEY_USERS") return HKEY_USERS;
  return nullptr;
}

// Splits "HKEY_X\\a\\b" into its hive and the rest.
bool SplitPath(const std::string& fullPath, HKEY& hive, WideText& subKey) {
  const size_t slash = fullPath.find('\\');
  hive = HiveOf(std::string_view(fullPath).substr(0, slash));
  subKey = slash == std::string::npos ? WideText() : Widen(fullPath.substr(slash + 1));
  return hive != nullptr;
}

// A quoted string starting at text[at] == '"'; `at` ends past the closing quote.
bool ReadQuoted(const std::string& text, size_t& at, std::string& out) {
  out.clear();
  for (++at; at < text.size(); ++at) {
    if (text[at] == '"') {
      ++at;
      return true;
    }
    if (text[at] == '\\' && at + 1 < text.size()) ++at;
    out += text[at];
  }
  return false;
}

bool ParseHexBytes(std::string_view text, std::vector<BYTE>& out) {
  out.clear();
  size_t at = 0;
  while (at < text.size()) {
    while (at < text.size() && (text[at] == ',' || text[at] == ' ')) ++at;
    if (at == text.size()) break;
    if (at + 2 > text.size()) return false;
    const std::string pair(text.substr(at, 2));
    char* end = nullptr;
    const unsigned long byte = std::strtoul(pair.c_str(), &end, 16);
    if (end != pair.c_str() + 2) return false;
    out.push_back(static_cast<BYTE>(byte));
    at += 2;
  }
  return true;
}

bool ParseData(const std::string& text, ParsedValue& value) {
  if (!text.empty() && text[0] == '"') {
    size_t at = 0;
    std::string utf8;
    if (!ReadQuoted(text, at, utf8) || at != text.size()) return false;
    WideText wide = Widen(utf8);
    wide.push_back(WCHAR(0));
    value.type = REG_SZ;
    const BYTE* bytes = reinterpret_cast<const BYTE*>(wide.data());
    value.data.assign(bytes, bytes + wide.size() * sizeof(WCHAR));
    return true;
  }
  if (text.rfind("dword:", 0) == 0 && text.size() == 14) {
    const DWORD number = static_cast<DWORD>(std::strtoul(text.c_str() + 6, nullptr, 16));
    value.type = REG_DWORD;
    const BYTE* bytes = reinterpret_cast<const BYTE*>(&number);
    value.data.assign(bytes, bytes + sizeof number);
    return true;
  }
  if (text.rfind("hex:", 0) == 0) {
    value.type = REG_BINARY;
    return ParseHexBytes(std::string_view(text).substr(4), value.data);
  }
  if (text.rfind("hex(", 0) == 0) {
    const size_t close = text.find("):");
    if (close == std::string::npos) return false;
    value.type = static_cast<DWORD>(std::strtoul(text.substr(4, close - 4).c_str(), nullptr, 16));
    return ParseHexBytes(std::string_view(text).substr(close + 2), value.data);
  }
  return false;
}

// Logical lines: a line ending in "\" goes on with the next one, whose leading blanks are dropped.
std::vector<std::string> LogicalLines(std::string_view text) {
  std::vector<std::string> lines;
  std::string current;
  bool continued = false;
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    std::string line(text.substr(start, end - start));
    start = end + 1;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (continued) line.erase(0, line.find_first_not_of(' '));
    current += line;
    continued = !current.empty() && current.back() == '\\' && current.find('=') != std::string::npos;
    if (continued) {
      current.pop_back();
      continue;
    }
    lines.push_back(current);
    current.clear();
  }
  return lines;
}

bool Parse(std::string_view text, std::vector<ParsedKey>& keys) {
  for (const std::string& line : LogicalLines(text)) {
    if (line.empty() || line[0] == ';' || line == "Windows Registry Editor Version 5.00") continue;
    if (line.front() == '[' && line.back() == ']') {
      ParsedKey key;
      key.fullPath = line.substr(1, line.size() - 2);
      if (!SplitPath(key.fullPath, key.hive, key.subKey)) {
        ADD_FAILURE() << "unknown hive in " << line;
        return false;
      }
      if (!UnderScratchRoot(key.fullPath)) {
        ADD_FAILURE() << "a test key must lie below a scratch root: " << key.fullPath;
        return false;
      }
      keys.push_back(std::move(key));
      continue;
    }
    if (keys.empty()) {
      ADD_FAILURE() << "value before any key: " << line;
      return false;
    }
    ParsedValue value;
    size_t at = 0;
    std::string name;
    if (line[0] == '@') {
      at = 1;
    } else if (line[0] != '"' || !ReadQuoted(line, at, name)) {
      ADD_FAILURE() << "cannot read the value name of: " << line;
      return false;
    }
    if (at >= line.size() || line[at] != '=' || !ParseData(line.substr(at + 1), value)) {
      ADD_FAILURE() << "cannot read the value of: " << line;
      return false;
    }
    value.name = Widen(name);
    keys.back().values.push_back(std::move(value));
  }
  return true;
}

void Write(const ParsedKey& key) {
  HKEY handle = nullptr;
  LONG result = RegCreateKeyExW(key.hive, key.subKey.c_str(), 0, nullptr,
                                REG_OPTION_NON_VOLATILE, KEY_SET_VALUE | KEY_WOW64_64KEY, nullptr, &handle, nullptr);
  if (result != ERROR_SUCCESS) {
    ADD_FAILURE() << "cannot create " << key.fullPath << ": " << result;
    return;
  }
  for (const ParsedValue& value : key.values) {
    result = RegSetValueExW(handle, value.name.empty() ? nullptr : value.name.c_str(), 0,
                            value.type, value.data.data(), static_cast<DWORD>(value.data.size()));
    if (result != ERROR_SUCCESS) ADD_FAILURE() << "cannot set a value of " << key.fullPath << ": " << result;
  }
  RegCloseKey(handle);
}

#ifdef _WIN32
// Removes a scratch root with everything below it, in the 64-bit view where paths are literal.
void DeleteRoot(const char* fullPath) {
  HKEY hive = nullptr;
  WideText subKey;
  if (!SplitPath(fullPath, hive, subKey)) return;
  HKEY handle = nullptr;
  const LPCWSTR path = subKey.c_str();
  if (RegOpenKeyExW(hive, path, 0, KEY_ALL_ACCESS | KEY_WOW64_64KEY, &handle) != ERROR_SUCCESS) return;
  RegDeleteTreeW(handle, nullptr);
  RegCloseKey(handle);
  RegDeleteKeyExW(hive, path, KEY_WOW64_64KEY, 0);
}

void DeleteRoots() {
  for (const char* root : kScratchRoots) DeleteRoot(root);
}
#endif

}  // namespace

#ifdef _WIN32
ScratchRegistry::ScratchRegistry() { DeleteRoots(); }
ScratchRegistry::~ScratchRegistry() { DeleteRoots(); }
#else
ScratchRegistry::ScratchRegistry() : machine_(std::make_unique<TempMachine>()) {}
ScratchRegistry::~ScratchRegistry() = default;
#endif

void ScratchRegistry::Import(std::string_view regText) {
  std::vector<ParsedKey> keys;
  if (!Parse(regText, keys)) return;
  for (const ParsedKey& key : keys) Write(key);
}

}  // namespace hl::test
