// Small helpers shared by the registry tests.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/win32.h"

namespace hl::platform::reg::test {

// An open key that closes itself.
class ScopedKey {
 public:
  ScopedKey() = default;
  explicit ScopedKey(HKEY key) : key_(key) {}
  ~ScopedKey() {
    if (key_) RegCloseKey(key_);
  }
  ScopedKey(const ScopedKey&) = delete;
  ScopedKey& operator=(const ScopedKey&) = delete;
  HKEY get() const { return key_; }
  HKEY* out() { return &key_; }
  HKEY release() {
    HKEY key = key_;
    key_ = nullptr;
    return key;
  }

 private:
  HKEY key_ = nullptr;
};

inline LONG Create(HKEY root, const char* path, ScopedKey& key, REGSAM sam = KEY_ALL_ACCESS,
                   DWORD* disposition = nullptr) {
  return RegCreateKeyExA(root, path, 0, nullptr, 0, sam, nullptr, key.out(), disposition);
}

inline LONG Open(HKEY root, const char* path, ScopedKey& key, REGSAM sam = KEY_READ) {
  return RegOpenKeyExA(root, path, 0, sam, key.out());
}

inline LONG SetString(HKEY key, const char* name, const std::string& text, DWORD type = REG_SZ) {
  return RegSetValueExA(key, name, 0, type, reinterpret_cast<const BYTE*>(text.c_str()),
                        static_cast<DWORD>(text.size() + 1));
}

inline LONG SetDword(HKEY key, const char* name, DWORD number) {
  return RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number), sizeof number);
}

// Reads a value through the A form; empty optional-like result signalled by the returned code.
inline LONG GetString(HKEY key, const char* name, std::string& text) {
  DWORD size = 0;
  DWORD type = 0;
  LONG result = RegQueryValueExA(key, name, nullptr, &type, nullptr, &size);
  if (result != ERROR_SUCCESS) return result;
  std::vector<char> buffer(size + 1, '\0');
  result = RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer.data()), &size);
  if (result == ERROR_SUCCESS) text.assign(buffer.data());
  return result;
}

inline LONG GetDword(HKEY key, const char* name, DWORD& number) {
  DWORD size = sizeof number;
  return RegQueryValueExA(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(&number), &size);
}

}  // namespace hl::platform::reg::test
