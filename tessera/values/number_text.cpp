#include "tessera/values/number_text.h"

#include <algorithm>
#include <cstring>

#include "agent/log/format.h"
#include "tessera/values/trace.h"

namespace tessera {
namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Digits after an optional sign, accumulated with wrap-around in U; false when a non-digit occurs.
template <class U>
bool ParseSignedDigits(const char* text, U& magnitude, bool& negative) {
  magnitude = 0;
  negative = false;
  if (text == nullptr) return false;
  const char* p = text;
  if (*p == '+' || *p == '-') negative = *p++ == '-';
  for (; *p != '\0'; ++p) {
    if (!IsDigit(*p)) return false;
    magnitude = static_cast<U>(magnitude * 10u + static_cast<U>(*p - '0'));
  }
  return true;
}

}  // namespace

int32_t StringToInt32(const char* text) {
  uint32_t magnitude = 0;
  bool negative = false;
  if (!ParseSignedDigits(text, magnitude, negative)) return 0;
  return static_cast<int32_t>(negative ? 0u - magnitude : magnitude);
}

int64_t StringToInt64(const char* text) {
  uint64_t magnitude = 0;
  bool negative = false;
  if (!ParseSignedDigits(text, magnitude, negative)) return 0;
  return static_cast<int64_t>(negative ? 0u - magnitude : magnitude);
}

double StringToReal(const char* text) {
  if (text == nullptr) return 0;
  const char* p = text;
  bool negative = false;
  if (*p == '+' || *p == '-') negative = *p++ == '-';
  double whole = 0;
  for (; IsDigit(*p); ++p) whole = whole * 10 + (*p - '0');
  double fraction = 0;
  if (*p == '.') {
    double divisor = 10;
    for (++p; IsDigit(*p); ++p) {
      fraction += (*p - '0') / divisor;
      divisor *= 10;
    }
  }
  if (*p != '\0') return 0;
  double value = whole + fraction;
  return negative ? -value : value;
}

int32_t StringToInteger(const char* text) {
  if (text == nullptr || *text == '\0') return 0;
  const char* digits = text;
  bool negative = false;
  if (*digits == '+' || *digits == '-') negative = *digits++ == '-';
  size_t count = std::strlen(digits);
  for (size_t i = 0; i < count; ++i)
    if (!IsDigit(digits[i])) return -1;
  uint32_t value = 0, power = 1;
  for (size_t i = count; i-- > 0;) {
    value += static_cast<uint32_t>(digits[i] - '0') * power;
    power *= 10u;
  }
  return static_cast<int32_t>(negative ? 0u - value : value);
}

double StringToDecimal(const char* text) {
  if (text == nullptr) return 0;
  const char* dot = nullptr;
  for (const char* p = text; *p != '\0'; ++p) {
    if (*p == '.') {
      if (dot != nullptr) return 0;
      dot = p;
    } else if (!IsDigit(*p)) {
      return 0;
    }
  }
  const char* end = text + std::strlen(text);
  const char* wholeEnd = dot ? dot : end;
  double whole = 0;
  for (const char* p = text; p < wholeEnd; ++p) whole = whole * 10 + (*p - '0');
  double fraction = 0, scale = 1;
  if (dot != nullptr) {
    for (const char* p = dot + 1; p < end; ++p) {
      fraction = fraction * 10 + (*p - '0');
      scale *= 10;
    }
  }
  return whole + fraction / scale;
}

std::string ConvertToStringFromInteger(int32_t value) {
  TraceEntry("ConvertToStringFromInteger");
  return hl::Sprintf("%d", value);
}

std::string ConvertToStringFromUnsignedInteger(uint32_t value, int32_t& length) {
  TraceEntry("ConvertToStringFromUnsignedInteger");
  std::string text = hl::Sprintf("%u", value);
  length = static_cast<int32_t>(text.size());
  return text;
}

std::optional<std::string> ToString(const void* value, int32_t length, int kind) {
  TraceEntry("ToString");
  if (value == nullptr || length <= 0) return std::nullopt;
  const auto* bytes = static_cast<const unsigned char*>(value);
  if (kind == 0) {
    int32_t n = std::min<int32_t>(length, 4);
    uint32_t raw = 0;
    for (int32_t i = n - 1; i >= 0; --i) raw = (raw << 8) | bytes[i];
    if (n < 4 && (raw & (1u << (n * 8 - 1))) != 0) raw |= ~0u << (n * 8);
    return ConvertToStringFromInteger(static_cast<int32_t>(raw));
  }
  if (kind == 1) return std::string(bytes[0] != 0 ? "TRUE" : "FALSE");
  return std::nullopt;
}

}  // namespace tessera
