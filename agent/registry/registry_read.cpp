// Registry readers: a value as text from a full key path, strings and DWORDs from a hive and sub-key.
#include <cstring>
#include <string_view>
#include <vector>

#include "agent/log/log.h"
#include "agent/machine/text.h"
#include "agent/registry/registry.h"
#include "agent/registry/registry_internal.h"

namespace {

using hl::registry::IsDashDash;
using hl::registry::KeyCloser;

// The first read of GetRegKeyValue fits most values; larger data is read once more at its size.
constexpr DWORD kFirstReadBuffer = 1000;
// Longest hive component the path parser keeps.
constexpr size_t kMaxHiveName = 99;
// Zero bytes added after string data so that it always ends.
constexpr DWORD kStringSlack = 5;

struct HiveName {
  const char* name;
  HKEY hive;
};

// Compared case-sensitively, in this order.
const HiveName kHiveNames[] = {
    {"HKEY_CLASSES_ROOT", HKEY_CLASSES_ROOT},     {"HKCR", HKEY_CLASSES_ROOT},
    {"HKEY_CURRENT_CONFIG", HKEY_CURRENT_CONFIG}, {"HKCC", HKEY_CURRENT_CONFIG},
    {"HKEY_CURRENT_USER", HKEY_CURRENT_USER},     {"HKCU", HKEY_CURRENT_USER},
    {"HKEY_LOCAL_MACHINE", HKEY_LOCAL_MACHINE},   {"HKLM", HKEY_LOCAL_MACHINE},
    {"HKEY_USERS", HKEY_USERS},                   {"HKU", HKEY_USERS},
    {"HKEY_DYN_DATA", HKEY_DYN_DATA},             {"HKDD", HKEY_DYN_DATA},
};

HKEY HiveFromName(std::string_view name) {
  if (name.size() > kMaxHiveName) return nullptr;
  for (const HiveName& entry : kHiveNames) {
    if (name == entry.name) return entry.hive;
  }
  return nullptr;
}

// The bytes up to the first zero byte or the end of the data.
std::string TextUpToZero(const std::vector<BYTE>& data, DWORD size) {
  size_t limit = size < data.size() ? size : data.size();
  const char* begin = reinterpret_cast<const char*>(data.data());
  const void* zero = std::memchr(begin, 0, limit);
  return std::string(begin, zero ? static_cast<const char*>(zero) - begin : limit);
}

}  // namespace

signed char GetRegKeyValue(const char* keyPath, const char* valueName, std::string& text, bool use64BitView) {
  LogDebug("@@@@@@@@ Inside GetRegKeyValue Method @@@@@@@@ \n");
  LogDebug("GetRegKeyValue : Key      : %s\n", keyPath);
  LogDebug("GetRegKeyValue : ValueName: %s\n", valueName);

  std::string_view path = keyPath ? std::string_view(keyPath) : std::string_view();
  size_t slash = path.find('\\');
  HKEY hive = HiveFromName(path.substr(0, slash));
  std::string subKey = slash == std::string_view::npos ? std::string() : std::string(path.substr(slash + 1));

  HKEY key = nullptr;
  REGSAM access = KEY_QUERY_VALUE | (use64BitView ? KEY_WOW64_64KEY : 0);
  LONG result = hive ? RegOpenKeyExA(hive, subKey.c_str(), 0, access, &key) : ERROR_INVALID_HANDLE;
  if (result != ERROR_SUCCESS) {
    LogDebug("GetRegKeyValue : Unable to open the key: %s\n", keyPath);
    text.clear();
    return kRegKeyNotOpened;
  }
  KeyCloser closer(key);

  if (valueName == nullptr || valueName[0] == '\0') return kRegKeyOpenedOnly;

  const char* queryName = valueName;
  if (IsDashDash(valueName)) {
    LogDebug("GetRegKeyValue : going to add the (default) value .\n");
    queryName = "";
  }

  // A failed probe leaves the type as REG_DWORD so that the read below reports the failure.
  DWORD type = REG_DWORD;
  DWORD size = 0;
  if (RegQueryValueExA(key, queryName, nullptr, &type, nullptr, &size) != ERROR_SUCCESS) type = REG_DWORD;

  if (type == REG_DWORD) {
    DWORD number = 0;
    size = sizeof(number);
    result = RegQueryValueExA(key, queryName, nullptr, nullptr, reinterpret_cast<LPBYTE>(&number), &size);
    if (result == ERROR_SUCCESS) {
      text = hl::Sprintf("%ld", static_cast<LONG>(number));
      LogDebug("GetRegKeyValue : RegValue(dword) : %d RegValue String(hex) : %s\n", number, text);
      return kRegValueRead;
    }
  } else {
    std::vector<BYTE> data(kFirstReadBuffer, 0);
    size = kFirstReadBuffer;
    result = RegQueryValueExA(key, queryName, nullptr, nullptr, data.data(), &size);
    if (result == ERROR_MORE_DATA) {
      data.assign(size, 0);
      LogError("GetRegKeyValue : Query of Key %s and valueName is %s failed due to error: %d. So retrying!\n", keyPath,
               valueName, result);
      result = RegQueryValueExA(key, queryName, nullptr, nullptr, data.data(), &size);
    }
    if (result == ERROR_SUCCESS) {
      text = TextUpToZero(data, size);
      LogDebug("GetRegKeyValue : RegValue : %s RegValue String : %s\n", text, text);
      return kRegValueRead;
    }
  }

  LogError("GetRegKeyValue : Query of Key %s and valueName is %s failed due to error: %d.\n", keyPath, valueName,
           result);
  text.clear();
  return kRegQueryFailed;
}

LONG ReadRegSZ(HKEY hive, const char* subKey, const char* valueName, std::optional<std::string>& out) {
  out.reset();
  HKEY key = nullptr;
  LONG result = RegOpenKeyExA(hive, subKey, 0, KEY_QUERY_VALUE, &key);
  if (result != ERROR_SUCCESS) {
    LogError("ReadRegSZ: Error while opening registry key %s ,and the error is  %d \n", subKey, result);
    return result;
  }
  KeyCloser closer(key);

  DWORD size = 0;
  result = RegQueryValueExA(key, valueName, nullptr, nullptr, nullptr, &size);
  if (result != ERROR_SUCCESS) return result;

  std::vector<BYTE> data(static_cast<size_t>(size) + kStringSlack, 0);
  result = RegQueryValueExA(key, valueName, nullptr, nullptr, data.data(), &size);
  if (result != ERROR_SUCCESS) {
    LogError("ReadRegSZ: Error while reading DWORD value! %d \n", result);
    out = std::string();  // the zeroed buffer: an empty text
    return result;
  }
  out = TextUpToZero(data, size);
  return ERROR_SUCCESS;
}

LONG ReadRegSZEx(HKEY hive, const char* subKey, const char* valueName, std::optional<std::basic_string<WCHAR>>& out) {
  out.reset();
  hl::WString wideName;
  if (valueName != nullptr && !ChangeUtf8ToWideStr(valueName, wideName)) return ERROR_INVALID_PARAMETER;
  const WCHAR* queryName = valueName ? wideName.c_str() : nullptr;

  HKEY key = nullptr;
  LONG result = RegOpenKeyExA(hive, subKey, 0, KEY_QUERY_VALUE, &key);
  if (result != ERROR_SUCCESS) {
    LogError("ReadRegSZEx: Error while opening registry key %s to read the value %s ,and the error is  %d \n", subKey,
             valueName, result);
    return result;
  }
  KeyCloser closer(key);

  DWORD size = 0;
  result = RegQueryValueExW(key, queryName, nullptr, nullptr, nullptr, &size);
  if (result != ERROR_SUCCESS) return result;

  // size + 5 zeroed bytes, held as whole UTF-16 units.
  std::vector<WCHAR> data((static_cast<size_t>(size) + kStringSlack + 1) / 2, u'\0');
  result = RegQueryValueExW(key, queryName, nullptr, nullptr, reinterpret_cast<LPBYTE>(data.data()), &size);
  if (result != ERROR_SUCCESS) {
    LogError("ReadRegSZEx: Error while reading DWORD value! %d \n", result);
    out = std::basic_string<WCHAR>();
    return result;
  }
  size_t units = size / 2;
  size_t length = 0;
  while (length < units && data[length] != u'\0') ++length;
  out = std::basic_string<WCHAR>(data.data(), length);
  return ERROR_SUCCESS;
}

LONG ReadDwordRegistryData(HKEY hive, const char* subKey, const char* valueName, DWORD* out) {
  if (out == nullptr) return ERROR_INVALID_PARAMETER;
  HKEY key = nullptr;
  LONG result = RegOpenKeyExA(hive, subKey, 0, KEY_QUERY_VALUE, &key);
  if (result == ERROR_FILE_NOT_FOUND) {
    LogDebug("ReadDwordRegistryData:  value  %s Not found: %d \n", valueName, result);
    return result;
  }
  if (result != ERROR_SUCCESS) {
    LogError("ReadDwordRegistryData: Error while opening registry key %s,and the errorcode is : %d \n", subKey, result);
    return result;
  }
  KeyCloser closer(key);

  // Read over a copy of the caller's value: shorter data changes only its first bytes, as a
  // read straight into the caller's DWORD would, and a failed read leaves it whole.
  DWORD value = *out;
  DWORD size = sizeof(value);
  result = RegQueryValueExA(key, valueName, nullptr, nullptr, reinterpret_cast<LPBYTE>(&value), &size);
  if (result == ERROR_FILE_NOT_FOUND) {
    LogDebug("ReadDwordRegistryData:  value  %s Not found: %d \n", valueName, result);
    return result;
  }
  if (result != ERROR_SUCCESS) {
    LogError("ReadDwordRegistryData: Error while reading DWORD value of %s : %d \n", valueName, result);
    return result;
  }
  *out = value;
  return ERROR_SUCCESS;
}
