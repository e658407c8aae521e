#include "tessera/values/string_utils.h"

#include <cstring>
#include <string_view>

#include "tessera/values/trace.h"

namespace tessera {
namespace {

bool IsLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// The store's scan: returns the start indices of the matches it finds.
std::vector<size_t> ScanMatches(std::string_view text, std::string_view pattern) {
  std::vector<size_t> starts;
  if (pattern.empty()) return starts;
  size_t j = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == pattern[j]) {
      if (++j == pattern.size()) {
        starts.push_back(i + 1 - pattern.size());
        j = 0;
      }
    } else {
      j = 0;
    }
  }
  return starts;
}

template <class Keep>
std::optional<std::string> Filter(const char* text, Keep keep) {
  if (text == nullptr) return std::nullopt;
  std::string out;
  for (const char* p = text; *p != '\0'; ++p)
    if (keep(*p)) out += *p;
  return out;
}

}  // namespace

bool EqualsIgnoreCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  auto fold = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; };
  for (size_t i = 0; i < a.size(); ++i)
    if (fold(a[i]) != fold(b[i])) return false;
  return true;
}

const char* SubString(const char* text, const char* pattern) {
  TraceEntry("SubString");
  if (text == nullptr || pattern == nullptr) return nullptr;
  return std::strstr(text, pattern);
}

bool FindSubString(const char* text, const char* pattern) {
  TraceEntry("FindSubString");
  return text != nullptr && pattern != nullptr && std::strstr(text, pattern) != nullptr;
}

int32_t GetIndex(const char* text, int32_t count, char c) {
  TraceEntry("GetIndex");
  for (int32_t i = 0; text != nullptr && i < count && text[i] != '\0'; ++i)
    if (text[i] == c) return i;
  return -1;
}

bool IsStringMatched(const char* list, int32_t length, const char* item, int32_t itemLength) {
  TraceEntry("IsStringMatched");
  if (list == nullptr || item == nullptr || length < 0 || itemLength < 0) return false;
  std::string_view entries(list, static_cast<size_t>(length));
  std::string_view wanted(item, static_cast<size_t>(itemLength));
  while (true) {
    size_t comma = entries.find(',');
    if (entries.substr(0, comma) == wanted) return true;
    if (comma == std::string_view::npos) return false;
    entries.remove_prefix(comma + 1);
  }
}

int32_t CountOccurrences(const char* text, const char* pattern) {
  TraceEntry("CountOccurrences");
  if (text == nullptr || pattern == nullptr) return -1;
  return static_cast<int32_t>(ScanMatches(text, pattern).size());
}

int32_t IndexOfSubstring(const char* text, const char* pattern) {
  TraceEntry("IndexOfSubstring");
  if (text == nullptr || pattern == nullptr) return -1;
  std::vector<size_t> starts = ScanMatches(text, pattern);
  return starts.empty() ? 0 : static_cast<int32_t>(starts.front());
}

int32_t LastIndexOfSubstring(const char* text, const char* pattern) {
  TraceEntry("LastIndexOfSubstring");
  if (text == nullptr || pattern == nullptr || *pattern == '\0') return -1;
  size_t at = std::string_view(text).rfind(pattern);
  return at == std::string_view::npos ? -1 : static_cast<int32_t>(at);
}

std::optional<std::string> LettersOnly(const char* text) {
  TraceEntry("LettersOnly");
  return Filter(text, [](char c) { return IsLetter(c); });
}

std::optional<std::string> LettersAndDigitsOnly(const char* text) {
  TraceEntry("LettersAndDigitsOnly");
  return Filter(text, [](char c) { return IsLetter(c) || IsDigit(c); });
}

std::optional<std::string> NoLettersOrDigits(const char* text) {
  TraceEntry("NoLettersOrDigits");
  return Filter(text, [](char c) { return !IsLetter(c) && !IsDigit(c); });
}

std::optional<std::string> RemoveAllOccurrences(const char* text, const char* pattern) {
  TraceEntry("RemoveAllOccurrences");
  if (text == nullptr || pattern == nullptr) return std::nullopt;
  std::string_view rest(text), p(pattern);
  if (p.empty()) return std::string(rest);
  std::string out;
  for (size_t at; (at = rest.find(p)) != std::string_view::npos; rest.remove_prefix(at + p.size()))
    out += rest.substr(0, at);
  out += rest;
  return out;
}

std::optional<std::string> RemoveFirstOccurrence(const char* text, const char* pattern) {
  TraceEntry("RemoveFirstOccurrence");
  if (text == nullptr || pattern == nullptr || *pattern == '\0') return std::nullopt;
  std::string out(text);
  size_t at = out.find(pattern);
  if (at == std::string::npos) return std::nullopt;
  out.erase(at, std::strlen(pattern));
  return out;
}

std::optional<std::string> RemoveLastOccurrence(const char* text, const char* pattern) {
  TraceEntry("RemoveLastOccurrence");
  if (text == nullptr || pattern == nullptr || *pattern == '\0') return std::nullopt;
  std::string out(text);
  size_t at = out.rfind(pattern);
  if (at == std::string::npos) return std::nullopt;
  out.erase(at, std::strlen(pattern));
  return out;
}

std::optional<std::string> SubstringBefore(const char* text, const char* pattern) {
  TraceEntry("SubstringBefore");
  const char* at = SubString(text, pattern);
  if (at == nullptr) return std::nullopt;
  return std::string(text, static_cast<size_t>(at - text));
}

std::optional<std::string> SubstringAfter(const char* text, const char* pattern) {
  TraceEntry("SubstringAfter");
  const char* at = SubString(text, pattern);
  if (at == nullptr) return std::nullopt;
  return std::string(at + std::strlen(pattern));
}

const char* SubstringAfterLast(const char* text, const char* pattern) {
  TraceEntry("SubstringAfterLast");
  if (text == nullptr || pattern == nullptr || *pattern == '\0') return nullptr;
  size_t at = std::string_view(text).rfind(pattern);
  return at == std::string_view::npos ? nullptr : text + at + std::strlen(pattern);
}

std::optional<std::string> TrimChar(const char* text, char c) {
  TraceEntry("TrimChar");
  if (text == nullptr) return std::nullopt;
  std::string_view view(text);
  size_t first = view.find_first_not_of(c);
  if (first == std::string_view::npos) return std::string();
  size_t last = view.find_last_not_of(c);
  return std::string(view.substr(first, last - first + 1));
}

std::optional<std::string> TrimLeadingChar(const char* text, char c) {
  TraceEntry("TrimLeadingChar");
  if (text == nullptr) return std::nullopt;
  std::string_view view(text);
  size_t first = view.find_first_not_of(c);
  return first == std::string_view::npos ? std::string() : std::string(view.substr(first));
}

std::optional<std::string> TrimTrailingChar(const char* text, char c) {
  TraceEntry("TrimTrailingChar");
  if (text == nullptr) return std::nullopt;
  std::string_view view(text);
  size_t last = view.find_last_not_of(c);
  return last == std::string_view::npos ? std::string() : std::string(view.substr(0, last + 1));
}

std::vector<std::string> SplitString(const char* text, const char* delimiter) {
  TraceEntry("SplitString");
  std::vector<std::string> parts;
  if (text == nullptr) return parts;
  std::string_view rest(text);
  std::string_view d = delimiter ? std::string_view(delimiter) : std::string_view();
  if (d.empty()) {
    parts.emplace_back(rest);
    return parts;
  }
  for (size_t at; (at = rest.find(d)) != std::string_view::npos; rest.remove_prefix(at + d.size()))
    parts.emplace_back(rest.substr(0, at));
  parts.emplace_back(rest);
  return parts;
}

std::optional<std::string> Tokenize(const char* text, const char* delimiters, const char*& cursor) {
  TraceEntry("Tokenize");
  const char* p = text ? text : cursor;
  if (p == nullptr) return std::nullopt;
  const char* delims = delimiters ? delimiters : "";
  p += std::strspn(p, delims);
  if (*p == '\0') {
    cursor = p;
    return std::nullopt;
  }
  size_t length = std::strcspn(p, delims);
  std::string token(p, length);
  p += length;
  if (*p != '\0') ++p;  // past the delimiter that ended the token
  cursor = p;
  return token;
}

}  // namespace tessera
