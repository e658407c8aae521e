// FindFirstFile name patterns with the DOS rules Windows applies to them.
//
// Windows turns "?" into "any one character, or nothing before a dot or the end", "*" followed by "."
// into "anything up to the last dot", and "." followed by "*", "?" or the end into "a dot or the end
// of the name". That is why "*.*" matches names without a dot and "name*.*" matches "name" itself.
#include <vector>

#include "platform/files/files_internal.h"

namespace hl::platform {
namespace {

constexpr char16_t kDosStar = 0xF001;  // "*" before "."
constexpr char16_t kDosQm = 0xF002;    // "?"
constexpr char16_t kDosDot = 0xF003;   // "." before "*", "?" or the end

char16_t Fold(char16_t c) { return (c >= u'a' && c <= u'z') ? static_cast<char16_t>(c - u'a' + u'A') : c; }

std::u16string Translate(std::u16string_view pattern) {
  std::u16string out;
  for (size_t i = 0; i < pattern.size(); ++i) {
    char16_t c = pattern[i];
    char16_t next = i + 1 < pattern.size() ? pattern[i + 1] : 0;
    if (c == u'?') {
      out.push_back(kDosQm);
    } else if (c == u'*' && next == u'.') {
      out.push_back(kDosStar);
    } else if (c == u'.' && (next == u'*' || next == u'?' || next == 0)) {
      out.push_back(kDosDot);
    } else {
      out.push_back(c);
    }
  }
  return out;
}

}  // namespace

bool MatchesFilePattern(std::u16string_view rawPattern, std::u16string_view name) {
  const std::u16string pattern = Translate(rawPattern);
  const size_t P = pattern.size(), N = name.size();
  const size_t lastDot = name.rfind(u'.');
  // reachable[p][n]: pattern position p can stand at name position n. Filled from the end.
  std::vector<char> memo((P + 1) * (N + 1), 0);
  auto at = [&](size_t p, size_t n) -> char& { return memo[p * (N + 1) + n]; };
  at(P, N) = 1;
  for (size_t p = P; p-- > 0;) {
    for (size_t n = N + 1; n-- > 0;) {
      char16_t c = pattern[p];
      bool end = n == N;
      bool ok = false;
      switch (c) {
        case u'*': ok = at(p + 1, n) || (!end && at(p, n + 1)); break;
        case kDosStar:
          // Consumes characters but never the last dot of the name.
          ok = at(p + 1, n) || (!end && (lastDot == std::u16string_view::npos || n < lastDot) && at(p, n + 1));
          break;
        case kDosQm:
          ok = (end || name[n] == u'.') ? at(p + 1, n) : at(p + 1, n + 1);
          break;
        case kDosDot: ok = end ? at(p + 1, n) : (name[n] == u'.' && at(p + 1, n + 1)); break;
        default: ok = !end && Fold(name[n]) == Fold(c) && at(p + 1, n + 1); break;
      }
      at(p, n) = ok ? 1 : 0;
    }
  }
  return at(0, 0) != 0;
}

}  // namespace hl::platform
