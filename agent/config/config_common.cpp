#include <climits>

#include "agent/config/config_internal.h"

namespace hl::config {
namespace {

char FoldAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

}  // namespace

std::string ServerInfoKey() { return gv_RegKey + "\\ServerInfo"; }
std::string SystemDetailsKey() { return gv_RegKey + "\\SystemDetails"; }

bool EqualsNoCase(const OptString& value, std::string_view literal) {
  if (!value || value->size() != literal.size()) return false;
  for (size_t i = 0; i < literal.size(); ++i)
    if (FoldAscii((*value)[i]) != FoldAscii(literal[i])) return false;
  return true;
}

int DecimalValue(const OptString& text) {
  if (!text) return 0;
  size_t i = 0;
  const std::string& s = *text;
  while (i < s.size() && (s[i] == ' ' || (s[i] >= '\t' && s[i] <= '\r'))) ++i;
  bool negative = false;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
  long long value = 0;
  for (; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i) {
    value = value * 10 + (s[i] - '0');
    if (value > static_cast<long long>(INT_MAX) + 1) break;  // saturates below, as the runtime does
  }
  if (negative) value = -value;
  if (value > INT_MAX) return INT_MAX;
  if (value < INT_MIN) return INT_MIN;
  return static_cast<int>(value);
}

}  // namespace hl::config
