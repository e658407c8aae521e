// GetEnvironmentVariable: the machine folder's "environment" first, then the process environment.
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>

#include "platform/core/machine.h"
#include "platform/core/core_internal.h"
#include "platform/system/win_system.h"

extern char** environ;

namespace {

// The variable's value; nullopt when it is not set. Names compare without regard to case, as on Windows.
std::optional<std::string> Lookup(std::string_view name) {
  auto machine = hl::platform::CurrentMachine();
  const nlohmann::json& env = machine->Section("environment");
  if (env.is_object()) {
    for (auto it = env.begin(); it != env.end(); ++it) {
      if (!hl::platform::EqualsNoCase(it.key(), name)) continue;
      if (it->is_string()) return it->get<std::string>();
      if (it->is_number()) return it->dump();
      return std::nullopt;  // null (or anything else) hides the variable
    }
  }
  std::string key(name);
  if (const char* value = std::getenv(key.c_str())) return std::string(value);
  for (char** entry = environ; entry != nullptr && *entry != nullptr; ++entry) {
    std::string_view text(*entry);
    size_t eq = text.find('=');
    if (eq != std::string_view::npos && hl::platform::EqualsNoCase(text.substr(0, eq), name))
      return std::string(text.substr(eq + 1));
  }
  return std::nullopt;
}

}  // namespace

DWORD GetEnvironmentVariableA(LPCSTR lpName, LPSTR lpBuffer, DWORD nSize) {
  if (lpName == nullptr || *lpName == '\0' || std::strchr(lpName, '=') != nullptr)
    return hl::platform::Fail(ERROR_ENVVAR_NOT_FOUND, DWORD{0});
  std::optional<std::string> value = Lookup(lpName);
  if (!value) return hl::platform::Fail(ERROR_ENVVAR_NOT_FOUND, DWORD{0});
  DWORD length = static_cast<DWORD>(value->size());
  if (lpBuffer == nullptr || nSize <= length) return length + 1;  // the size needed, with the terminator
  std::memcpy(lpBuffer, value->c_str(), value->size() + 1);
  if (length == 0) SetLastError(ERROR_SUCCESS);  // an empty value: 0 that is not a failure
  return length;
}

DWORD GetEnvironmentVariableW(LPCWSTR lpName, LPWSTR lpBuffer, DWORD nSize) {
  if (lpName == nullptr) return hl::platform::Fail(ERROR_ENVVAR_NOT_FOUND, DWORD{0});
  std::string name = hl::platform::Utf16ToUtf8(lpName);
  if (name.empty() || name.find('=') != std::string::npos) return hl::platform::Fail(ERROR_ENVVAR_NOT_FOUND, DWORD{0});
  std::optional<std::string> value = Lookup(name);
  if (!value) return hl::platform::Fail(ERROR_ENVVAR_NOT_FOUND, DWORD{0});
  std::u16string wide = hl::platform::Utf8ToUtf16(*value);
  DWORD length = static_cast<DWORD>(wide.size());
  if (lpBuffer == nullptr || nSize <= length) return length + 1;
  std::memcpy(lpBuffer, wide.c_str(), (wide.size() + 1) * sizeof(WCHAR));
  if (length == 0) SetLastError(ERROR_SUCCESS);
  return length;
}
