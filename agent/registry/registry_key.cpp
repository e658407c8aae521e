// The small key object used by the download records: an open key, its view bits and an
// optional kernel transaction that the open and create calls run in.
#include <cstring>

#include "agent/registry/registry.h"

namespace {

// The view bits of an access mask (KEY_WOW64_64KEY, KEY_WOW64_32KEY).
constexpr REGSAM kViewBits = 0x300;

// The transacted calls are not exported by every system: they are looked up at each call in
// the library that exports the registry functions.
// Signatures of the transacted calls, looked up at run time.
typedef LONG(WINAPI* PFN_RegOpenKeyTransactedA)(HKEY, LPCSTR, DWORD, REGSAM, PHKEY, HANDLE, PVOID);
typedef LONG(WINAPI* PFN_RegCreateKeyTransactedA)(HKEY, LPCSTR, DWORD, LPSTR, DWORD, REGSAM,
                                                  const SECURITY_ATTRIBUTES*, PHKEY, LPDWORD, HANDLE, PVOID);

template <class Fn>
Fn LookUpAdvapi(const char* name) {
  HMODULE advapi = GetModuleHandleA("advapi32.dll");
  if (advapi == nullptr) advapi = LoadLibraryA("advapi32.dll");
  if (advapi == nullptr) return nullptr;
  // Through void*: the exported address has the real signature, FARPROC is only its carrier.
  return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(advapi, name)));
}

}  // namespace

LONG RegistryKey::Open(HKEY parent, const char* subKey, REGSAM access) {
  HKEY opened = nullptr;
  LONG result;
  if (transaction_ == nullptr) {
    result = RegOpenKeyExA(parent, subKey, 0, access, &opened);
  } else if (transaction_->handle != nullptr) {
    auto openTransacted = LookUpAdvapi<PFN_RegOpenKeyTransactedA>("RegOpenKeyTransactedA");
    if (openTransacted == nullptr) return ERROR_INVALID_FUNCTION;
    result = openTransacted(parent, subKey, 0, access, &opened, transaction_->handle, nullptr);
  } else if (transaction_->allowFallback) {
    result = RegOpenKeyExA(parent, subKey, 0, access, &opened);
  } else {
    return ERROR_INVALID_FUNCTION;
  }
  if (result != ERROR_SUCCESS) return result;
  Close();
  key_ = opened;
  view_ = access & kViewBits;
  return ERROR_SUCCESS;
}

LONG RegistryKey::Create(HKEY parent, const char* subKey, LPSTR keyClass, DWORD options, REGSAM access,
                         LPSECURITY_ATTRIBUTES security, LPDWORD disposition) {
  HKEY created = nullptr;
  DWORD localDisposition = 0;
  LPDWORD dispositionOut = disposition ? disposition : &localDisposition;
  LONG result;
  if (transaction_ == nullptr) {
    result = RegCreateKeyExA(parent, subKey, 0, keyClass, options, access, security, &created, dispositionOut);
  } else if (transaction_->handle != nullptr) {
    auto createTransacted = LookUpAdvapi<PFN_RegCreateKeyTransactedA>("RegCreateKeyTransactedA");
    if (createTransacted == nullptr) return ERROR_INVALID_FUNCTION;
    result = createTransacted(parent, subKey, 0, keyClass, options, access, security, &created, dispositionOut,
                              transaction_->handle, nullptr);
  } else if (transaction_->allowFallback) {
    result = RegCreateKeyExA(parent, subKey, 0, keyClass, options, access, security, &created, dispositionOut);
  } else {
    return ERROR_INVALID_FUNCTION;
  }
  if (result != ERROR_SUCCESS) return result;
  Close();
  key_ = created;
  view_ = access & kViewBits;
  return ERROR_SUCCESS;
}

LONG RegistryKey::QueryDWORDValue(const char* name, DWORD& value) {
  // The type is asked first so that any other type reports 13, however long its data.
  DWORD type = REG_NONE;
  DWORD size = 0;
  LONG result = RegQueryValueExA(key_, name, nullptr, &type, nullptr, &size);
  if (result != ERROR_SUCCESS) return result;
  if (type != REG_DWORD) return ERROR_INVALID_DATA;
  DWORD number = 0;
  size = sizeof(number);
  result = RegQueryValueExA(key_, name, nullptr, &type, reinterpret_cast<LPBYTE>(&number), &size);
  if (result != ERROR_SUCCESS) return result;
  if (type != REG_DWORD) return ERROR_INVALID_DATA;
  value = number;
  return ERROR_SUCCESS;
}

LONG RegistryKey::QueryStringValue(const char* name, char* buffer, ULONG* chars) {
  if (chars == nullptr) return ERROR_INVALID_PARAMETER;
  const DWORD capacity = *chars;  // 8-bit text: one byte per character
  DWORD bytes = capacity;
  *chars = 0;
  // The type is asked first: a value of another type never reaches the caller's buffer.
  DWORD type = REG_NONE;
  DWORD probeSize = 0;
  LONG result = RegQueryValueExA(key_, name, nullptr, &type, nullptr, &probeSize);
  if (result != ERROR_SUCCESS) return result;
  if (type != REG_SZ && type != REG_EXPAND_SZ) return ERROR_INVALID_DATA;
  result = RegQueryValueExA(key_, name, nullptr, &type, reinterpret_cast<LPBYTE>(buffer), &bytes);
  if (result != ERROR_SUCCESS) return result;
  if (type != REG_SZ && type != REG_EXPAND_SZ) return ERROR_INVALID_DATA;
  if (buffer != nullptr) {
    if (bytes != 0 && buffer[bytes - 1] != '\0') return ERROR_INVALID_DATA;
    if (bytes == 0 && capacity != 0) buffer[0] = '\0';  // an empty value gives an empty buffer
  }
  *chars = bytes;
  return ERROR_SUCCESS;
}

LONG RegistryKey::SetValue(const char* name, const char* text, DWORD type) {
  if (text == nullptr) return ERROR_INVALID_DATA;
  return RegSetValueExA(key_, name, 0, type, reinterpret_cast<const BYTE*>(text),
                        static_cast<DWORD>(std::strlen(text) + 1));
}

LONG RegistryKey::Close() {
  LONG result = ERROR_SUCCESS;
  if (key_ != nullptr) {
    result = RegCloseKey(key_);
    key_ = nullptr;
  }
  view_ = 0;
  return result;
}
