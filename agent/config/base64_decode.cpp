// Base64 decoding of the stored proxy password.
#include "agent/config/config_internal.h"

namespace hl::config {
namespace {

int SextetOf(char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}

bool IsSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

}  // namespace

std::string DecodeBase64(std::string_view text) {
  while (!text.empty() && IsSpace(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsSpace(text.back())) text.remove_suffix(1);
  if (text.size() % 4 != 0) return std::string();
  std::string out;
  out.reserve(text.size() / 4 * 3);
  for (size_t i = 0; i < text.size(); i += 4) {
    std::string_view group = text.substr(i, 4);
    // "xx==" carries one byte and "xxx=" two; the fill ends the text.
    size_t fill = group[3] != '=' ? 0 : (group[2] == '=' ? 2 : 1);
    unsigned bits = 0;
    for (size_t k = 0; k < 4 - fill; ++k) {
      int sextet = SextetOf(group[k]);
      if (sextet < 0) return std::string();
      bits |= static_cast<unsigned>(sextet) << (18 - 6 * k);
    }
    out.push_back(static_cast<char>((bits >> 16) & 0xFF));
    if (fill < 2) out.push_back(static_cast<char>((bits >> 8) & 0xFF));
    if (fill < 1) out.push_back(static_cast<char>(bits & 0xFF));
    if (fill > 0) break;
  }
  // The password is kept as a terminated text: it ends at its first zero byte.
  size_t zero = out.find('\0');
  if (zero != std::string::npos) out.resize(zero);
  return out;
}

}  // namespace hl::config
