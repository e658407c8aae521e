// A small bounded scanner with the sscanf rules the store's text formats need.
#pragma once

#include <string>
#include <vector>

namespace tessera {

struct ScanField {
  int number = 0;    // for %d
  std::string text;  // for %s, %Ns and %c
};

// Scans `text` with `format`: %d (optional sign and digits, leading blanks skipped, clamped to
// the int range), %s / %Ns (a run of non-blank characters, at most N), %c (one character, blanks
// not skipped), a blank (any run of white space, also none) and literal characters. Stops at the
// first mismatch like sscanf. Returns the number of conversions made; `fields` holds them in order.
int ScanText(const char* text, const char* format, std::vector<ScanField>& fields);

}  // namespace tessera
