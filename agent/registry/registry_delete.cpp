// Deleting registry values and whole key trees.
#include "agent/log/log.h"
#include "agent/machine/text.h"
#include "agent/registry/registry.h"
#include "agent/registry/registry_internal.h"

namespace {

using hl::registry::IsDashDash;
using hl::registry::KeyCloser;

// Sub-key names are read into buffers of this many characters (plus the terminator).
constexpr DWORD kMaxKeyName = 260;

// Registry calls return their error instead of setting the thread's last error; it is set here
// so that the last-error text describes the failure just met.
void LogRegistryFailure(LONG code) {
  SetLastError(static_cast<DWORD>(code));
  LogLastError();
}

// Deletes every sub-key tree below the open `key`, always taking the first one (index 0).
bool DeleteAllSubkeyTrees(HKEY key) {
  for (;;) {
    char name[kMaxKeyName + 1] = {};
    DWORD length = kMaxKeyName + 1;
    if (RegEnumKeyExA(key, 0, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) return true;
    if (DeleteRegistryTree(key, name) == 0) return false;
  }
}

// Removes the values and sub-keys of `subKey` below the open `parent`, then the key itself.
bool EmptyAndDeleteKey(HKEY parent, const char* subKey) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(parent, subKey, 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS) return false;
  bool emptied = DeleteAllSubkeyTrees(key);
  RegCloseKey(key);
  return emptied && RegDeleteKeyA(parent, subKey) == ERROR_SUCCESS;
}

}  // namespace

LONG deleteValue(HKEY hive, const char* subKey, const char* valueName) {
  LogDebug("deleteValue: Inside function deleteValue ..... \n");
  const char* name = valueName;
  if (IsDashDash(valueName)) {
    LogInfo("deleteValue : going to delete the (default) value .\n");
    name = "";
  }
  HKEY key = nullptr;
  LONG result = RegOpenKeyExA(hive, subKey, 0, KEY_ALL_ACCESS, &key);
  if (result != ERROR_SUCCESS) {
    LogError("deleteValue:  %s Key not found!: %d  \n", subKey, result);
    LogRegistryFailure(result);
    return result;
  }
  KeyCloser closer(key);
  LogInfo("deleteValue:  Key found ...!: %d\n", result);
  result = RegDeleteValueA(key, name);
  if (result != ERROR_SUCCESS) {
    LogError("deleteValue:  Delete value %s failure! \n", valueName);
    LogRegistryFailure(result);
    return result;
  }
  LogInfo("deleteValue:  Delete value %s success! \n", valueName);
  return ERROR_SUCCESS;
}

LONG deleteValue(HKEY hive, const WCHAR* subKey, const WCHAR* valueName) {
  LogDebug("deleteValue: Inside function deleteValue ..... subkey : %ws, Valuename : %ws \n", subKey, valueName);
  const WCHAR* name = valueName;
  if (IsDashDash(valueName)) {
    LogInfo("deleteValue : going to delete the (default) value .\n");
    name = WSTR("");
  }
  HKEY key = nullptr;
  LONG result = RegOpenKeyExW(hive, subKey, 0, KEY_ALL_ACCESS, &key);
  if (result != ERROR_SUCCESS) {
    LogError("deleteValue:  %ws Key not found!: %d  \n", subKey, result);
    LogRegistryFailure(result);
    return result;
  }
  KeyCloser closer(key);
  LogInfo("deleteValue:  Key found ...!: %d\n", result);
  result = RegDeleteValueW(key, name);
  if (result != ERROR_SUCCESS) {
    LogError("deleteValue:  Delete value %ws failure! \n", valueName);
    LogRegistryFailure(result);
    return result;
  }
  LogInfo("deleteValue:  Delete value %ws success! \n", valueName);
  return ERROR_SUCCESS;
}

int DeleteRegistryTree(HKEY hive, const char* subKey) {
  // An empty sub-key would open the hive itself and delete everything under it.
  if (subKey == nullptr || *subKey == '\0') {
    LogError("DeleteRegistryTree: Refusing an empty sub-key: nothing is deleted \n");
    return 0;
  }
  HKEY key = nullptr;
  LONG result = RegOpenKeyExA(hive, subKey, 0, KEY_ALL_ACCESS, &key);
  if (result != ERROR_SUCCESS) {
    LogError("DeleteRegistryTree: Unable to open the key %s : %d \n", subKey, result);
    return 0;
  }
  bool emptied = DeleteAllSubkeyTrees(key);
  RegCloseKey(key);
  if (!emptied) return 0;
  result = RegDeleteKeyA(hive, subKey);
  if (result != ERROR_SUCCESS) {
    LogError("DeleteRegistryTree: Unable to delete the key %s : %d \n", subKey, result);
    return 0;
  }
  return 1;
}

int DeleteRegistrySubkeys(HKEY hive, const char* subKey) {
  // An empty sub-key would open the hive itself and delete everything under it.
  if (subKey == nullptr || *subKey == '\0') {
    LogError("DeleteRegistrySubkeys: Refusing an empty sub-key: nothing is deleted \n");
    return 0;
  }
  HKEY key = nullptr;
  LONG result = RegOpenKeyExA(hive, subKey, 0, KEY_ALL_ACCESS, &key);
  if (result != ERROR_SUCCESS) {
    LogError("DeleteRegistrySubkeys: Unable to open the key %s : %d \n", subKey, result);
    return 0;
  }
  // First-level sub-keys one at a time: each is emptied, then deleted.
  bool emptied = true;
  for (;;) {
    char name[kMaxKeyName + 1] = {};
    DWORD length = kMaxKeyName + 1;
    if (RegEnumKeyExA(key, 0, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    if (!EmptyAndDeleteKey(key, name)) {
      emptied = false;
      break;
    }
  }
  RegCloseKey(key);
  if (!emptied) return 0;
  result = RegDeleteKeyA(hive, subKey);
  if (result != ERROR_SUCCESS) {
    LogError("DeleteRegistrySubkeys: Unable to delete the key %s : %d \n", subKey, result);
    return 0;
  }
  return 1;
}
