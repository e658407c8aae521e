// Helpers shared by the registry wrappers.
#pragma once

#include "platform/win32.h"

namespace hl::registry {

// "--" (any case) names the key's default value, or empty data for the writers.
inline bool IsDashDash(const char* text) {
  return text != nullptr && text[0] == '-' && text[1] == '-' && text[2] == '\0';
}
inline bool IsDashDash(const WCHAR* text) {
  return text != nullptr && text[0] == u'-' && text[1] == u'-' && text[2] == u'\0';
}

// Closes a key handle when the scope ends.
class KeyCloser {
 public:
  explicit KeyCloser(HKEY key) : key_(key) {}
  ~KeyCloser() {
    if (key_ != nullptr) RegCloseKey(key_);
  }
  KeyCloser(const KeyCloser&) = delete;
  KeyCloser& operator=(const KeyCloser&) = delete;

 private:
  HKEY key_;
};

}  // namespace hl::registry
