// Ordering of names without regard to ASCII case (listener table lists, sorted lookups).
#pragma once

#include <cstddef>
#include <string_view>

namespace tessera {

// Negative, 0 or positive like strcmp, on the case-folded bytes.
inline int CompareNamesIgnoreCase(std::string_view a, std::string_view b) {
  auto fold = [](char c) {
    unsigned char u = static_cast<unsigned char>(c);
    return (u >= 'A' && u <= 'Z') ? static_cast<unsigned char>(u - 'A' + 'a') : u;
  };
  const size_t n = a.size() < b.size() ? a.size() : b.size();
  for (size_t i = 0; i < n; ++i) {
    const unsigned char x = fold(a[i]);
    const unsigned char y = fold(b[i]);
    if (x != y) return x < y ? -1 : 1;
  }
  return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

}  // namespace tessera
