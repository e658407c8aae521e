// Logged wrappers around the Windows registry used by the whole agent.
#pragma once

#include <optional>
#include <string>

#include "platform/win32.h"

// 1 when this is a 32-bit process under WOW64 (asked of the system at each call), else 0.
int ProcessRunsUnderWow64();

// GetRegKeyValue's results (the numbers callers compare with).
inline constexpr signed char kRegValueRead = 2;       // the value was read into `text`
inline constexpr signed char kRegKeyOpenedOnly = 1;   // the key exists; no value name, nothing queried
inline constexpr signed char kRegKeyNotOpened = -1;   // the key cannot be opened; `text` emptied
inline constexpr signed char kRegQueryFailed = -2;    // the value query failed; `text` emptied

// Reads a value as text from a full key path ("HKEY_LOCAL_MACHINE\\SOFTWARE\\X").
signed char GetRegKeyValue(const char* keyPath, const char* valueName, std::string& text, bool use64BitView);

// Reads string data; `out` is none first, then the data up to its first zero. Returns the error code.
LONG ReadRegSZ(HKEY hive, const char* subKey, const char* valueName, std::optional<std::string>& out);
// As ReadRegSZ through the wide API: the value name is UTF-8, the data UTF-16.
LONG ReadRegSZEx(HKEY hive, const char* subKey, const char* valueName,
                 std::optional<std::basic_string<WCHAR>>& out);
// Reads at most 4 bytes; `out` is untouched on failure (2 when missing).
LONG ReadDwordRegistryData(HKEY hive, const char* subKey, const char* valueName, DWORD* out);

LONG addRegistryKey(HKEY hive, const char* subKey);
LONG addRegistryKeyEx(HKEY hive, const char* subKey);
// Writes a value from text; "--" as name is the default value, "--" as data is empty data.
LONG writeValue(HKEY hive, const char* subKey, const char* valueName, const char* data, DWORD type);
// As writeValue in the 64-bit view under WOW64, with REG_MULTI_SZ and REG_QWORD too.
LONG writeValueEx(HKEY hive, const char* subKey, const char* valueName, const char* data, DWORD type);
LONG deleteValue(HKEY hive, const char* subKey, const char* valueName);
LONG deleteValue(HKEY hive, const WCHAR* subKey, const WCHAR* valueName);
// 1 when the key and everything below it were deleted, else 0.
int DeleteRegistryTree(HKEY hive, const char* subKey);
int DeleteRegistrySubkeys(HKEY hive, const char* subKey);

// A kernel transaction for RegistryKey: the handle and whether plain calls may stand in.
struct RegistryTransaction {
  HANDLE handle = nullptr;
  bool allowFallback = true;
};

// Key object used by the download records.
class RegistryKey {
 public:
  explicit RegistryKey(RegistryTransaction* transaction = nullptr) : transaction_(transaction) {}
  ~RegistryKey() { Close(); }
  RegistryKey(const RegistryKey&) = delete;
  RegistryKey& operator=(const RegistryKey&) = delete;

  LONG Open(HKEY parent, const char* subKey, REGSAM access = KEY_READ | KEY_WRITE);
  LONG Create(HKEY parent, const char* subKey, LPSTR keyClass = nullptr, DWORD options = REG_OPTION_NON_VOLATILE,
              REGSAM access = KEY_READ | KEY_WRITE, LPSECURITY_ATTRIBUTES security = nullptr,
              LPDWORD disposition = nullptr);
  LONG QueryDWORDValue(const char* name, DWORD& value);
  // `chars` is the buffer size in characters on entry, the stored length (terminator included) after.
  LONG QueryStringValue(const char* name, char* buffer, ULONG* chars);
  LONG SetValue(const char* name, const char* text, DWORD type = REG_SZ);
  LONG Close();

  HKEY handle() const { return key_; }
  REGSAM viewBits() const { return view_; }

 private:
  HKEY key_ = nullptr;
  REGSAM view_ = 0;
  RegistryTransaction* transaction_;
};
