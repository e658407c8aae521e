#include "tessera/values/text_scan.h"

#include <climits>

namespace tessera {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

void SkipBlanks(const char*& p) {
  while (IsBlank(*p)) ++p;
}

bool ScanNumber(const char*& p, int& out) {
  SkipBlanks(p);
  const char* q = p;
  bool negative = false;
  if (*q == '+' || *q == '-') negative = *q++ == '-';
  if (!IsDigit(*q)) return false;
  long long value = 0;
  for (; IsDigit(*q); ++q) {
    if (value <= static_cast<long long>(INT_MAX) + 1) value = value * 10 + (*q - '0');
  }
  if (negative) value = -value;
  if (value > INT_MAX) value = INT_MAX;
  if (value < INT_MIN) value = INT_MIN;
  out = static_cast<int>(value);
  p = q;
  return true;
}

}  // namespace

int ScanText(const char* text, const char* format, std::vector<ScanField>& fields) {
  fields.clear();
  if (text == nullptr || format == nullptr) return 0;
  const char* p = text;
  for (const char* f = format; *f != '\0'; ++f) {
    if (IsBlank(*f)) {
      SkipBlanks(p);
      continue;
    }
    if (*f != '%') {
      if (*p != *f) break;
      ++p;
      continue;
    }
    ++f;
    size_t width = 0;
    while (IsDigit(*f)) width = width * 10 + static_cast<size_t>(*f++ - '0');
    ScanField field;
    if (*f == 'd') {
      if (!ScanNumber(p, field.number)) break;
    } else if (*f == 's') {
      SkipBlanks(p);
      if (*p == '\0') break;
      while (*p != '\0' && !IsBlank(*p) && (width == 0 || field.text.size() < width)) field.text += *p++;
    } else if (*f == 'c') {
      if (*p == '\0') break;
      field.text = std::string(1, *p++);
    } else if (*f == '%') {
      if (*p != '%') break;
      ++p;
      continue;
    } else {
      break;  // unsupported conversion
    }
    fields.push_back(std::move(field));
  }
  return static_cast<int>(fields.size());
}

}  // namespace tessera
