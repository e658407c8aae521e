#include "tessera/xml/xml_escape.h"

#include <cstdint>

namespace tessera {
namespace {

// Length of the well-formed UTF-8 sequence starting at text[i] whose code point XML 1.0 allows;
// 0 when there is none.
size_t XmlCharLength(std::string_view text, size_t i) {
  const auto byte = [&](size_t k) { return static_cast<unsigned char>(text[k]); };
  const unsigned char lead = byte(i);
  size_t count;
  uint32_t cp;
  if (lead < 0x80) return 1;
  if (lead >= 0xC2 && lead <= 0xDF) {
    count = 2;
    cp = lead & 0x1F;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    count = 3;
    cp = lead & 0x0F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    count = 4;
    cp = lead & 0x07;
  } else {
    return 0;
  }
  if (i + count > text.size()) return 0;
  for (size_t k = 1; k < count; ++k) {
    const unsigned char next = byte(i + k);
    if ((next & 0xC0) != 0x80) return 0;
    cp = (cp << 6) | (next & 0x3F);
  }
  const bool overlong = (count == 3 && cp < 0x800) || (count == 4 && cp < 0x10000);
  const bool excluded = (cp >= 0xD800 && cp <= 0xDFFF) || cp == 0xFFFE || cp == 0xFFFF || cp > 0x10FFFF;
  return overlong || excluded ? 0 : count;
}

}  // namespace

bool AppendAttributeText(std::string& out, std::string_view text) {
  const size_t start = out.size();
  out.reserve(out.size() + text.size());
  size_t i = 0;
  while (i < text.size()) {
    const char c = text[i];
    switch (c) {
      case '&': out += "&amp;"; ++i; continue;
      case '<': out += "&lt;"; ++i; continue;
      case '>': out += "&gt;"; ++i; continue;
      case '"': out += "&quot;"; ++i; continue;
      case '\t': out += "&#9;"; ++i; continue;
      case '\n': out += "&#10;"; ++i; continue;
      case '\r': out += "&#13;"; ++i; continue;
      default: break;
    }
    if (static_cast<unsigned char>(c) < 0x20) {
      out.resize(start);
      return false;
    }
    const size_t n = XmlCharLength(text, i);
    if (n == 0) {
      out.resize(start);
      return false;
    }
    out.append(text.substr(i, n));
    i += n;
  }
  return true;
}

bool IsPlainXmlName(std::string_view name) {
  if (name.empty()) return false;
  const auto letter = [](char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); };
  if (!letter(name[0]) && name[0] != '_') return false;
  for (char c : name)
    if (!letter(c) && !(c >= '0' && c <= '9') && c != '_' && c != '-' && c != '.') return false;
  return true;
}

}  // namespace tessera
