// The Reg* functions of the stand-in over the registry store.
#include <chrono>
#include <cstring>
#include <iterator>
#include <memory>
#include <optional>
#include <string>

#include "platform/core/handles.h"
#include "platform/core/machine.h"
#include "platform/registry/registry_store.h"
#include "platform/registry/registry_text.h"
#include "platform/registry/registry_view.h"
#include "platform/registry/win_registry.h"

namespace hl::platform::reg {
namespace {

// What a handle stands for: a key by path (so it survives re-reads of the file), the path as the
// caller named it (for injected faults), the granted access and the view it was opened in.
struct KeyRef {
  Hive hive = Hive::LocalMachine;
  Path path;           // the key reached, after WOW64 redirection
  std::string shown;   // e.g. "HKEY_LOCAL_MACHINE\\SOFTWARE\\X", as the caller sees it
  REGSAM access = KEY_ALL_ACCESS;
  View view = View::Native;
  bool predefined = false;
};

struct KeyObject : KernelObject {
  KeyRef ref;
};

constexpr REGSAM kGenericRead = 0x80000000u;
constexpr REGSAM kGenericWrite = 0x40000000u;
constexpr REGSAM kGenericExecute = 0x20000000u;
constexpr REGSAM kGenericAll = 0x10000000u;
constexpr REGSAM kMaximumAllowed = 0x02000000u;

REGSAM Granted(REGSAM sam) {
  REGSAM granted = sam & ~static_cast<REGSAM>(KEY_WOW64_RES);
  if (sam & kGenericRead) granted |= KEY_READ;
  if (sam & kGenericWrite) granted |= KEY_WRITE;
  if (sam & kGenericExecute) granted |= KEY_EXECUTE;
  if (sam & (kGenericAll | kMaximumAllowed)) granted |= KEY_ALL_ACCESS;
  return granted;
}

std::optional<Hive> PredefinedHive(HKEY key) {
  if (key == HKEY_CLASSES_ROOT) return Hive::ClassesRoot;
  if (key == HKEY_CURRENT_USER) return Hive::CurrentUser;
  if (key == HKEY_LOCAL_MACHINE) return Hive::LocalMachine;
  if (key == HKEY_USERS) return Hive::Users;
  if (key == HKEY_CURRENT_CONFIG) return Hive::CurrentConfig;
  return std::nullopt;
}

LONG Resolve(HKEY key, const ProcessModel& model, KeyRef& out) {
  if (auto hive = PredefinedHive(key)) {
    out = KeyRef{};
    out.hive = *hive;
    out.shown = HiveName(*hive);
    out.view = DefaultView(model);
    out.predefined = true;
    return ERROR_SUCCESS;
  }
  auto object = LookupHandleAs<KeyObject>(reinterpret_cast<HANDLE>(key));
  if (!object) return ERROR_INVALID_HANDLE;
  out = object->ref;
  return ERROR_SUCCESS;
}

HKEY NewHandle(const KeyRef& ref) {
  auto object = std::make_shared<KeyObject>();
  object->ref = ref;
  return reinterpret_cast<HKEY>(RegisterHandle(std::move(object)));
}

std::optional<DWORD> Fault(std::string_view api, const std::string& subject) {
  if (auto fault = InjectedFault(api, subject)) return fault;
  if (!api.empty() && (api.back() == 'A' || api.back() == 'W'))
    return InjectedFault(api.substr(0, api.size() - 1), subject);
  return std::nullopt;
}

// Splits a subkey path. A leading backslash is refused; empty components elsewhere are skipped, as
// Windows' path parser skips repeated separators ("a\\\\b" is "a\\b", "a\\" is "a").
LONG SplitSubKey(std::u16string_view text, Path& out) {
  out.clear();
  if (!text.empty() && text.front() == u'\\') return ERROR_BAD_PATHNAME;
  size_t start = 0;
  while (start < text.size()) {
    size_t sep = text.find(u'\\', start);
    if (sep == std::u16string_view::npos) sep = text.size();
    if (sep > start) out.emplace_back(text.substr(start, sep - start));
    start = sep + 1;
  }
  return ERROR_SUCCESS;
}

// The view a call on `parent` works in. Under a redirected key the view is fixed by the handle;
// elsewhere KEY_WOW64_64KEY / KEY_WOW64_32KEY choose it, else the handle's (or the process's) view.
LONG ChooseView(const KeyRef& parent, REGSAM sam, const ProcessModel& model, View& view) {
  view = View::Native;
  if (!model.os64) return ERROR_SUCCESS;  // one view only: the flags are ignored
  REGSAM flags = sam & KEY_WOW64_RES;
  if (flags == KEY_WOW64_RES) return ERROR_INVALID_PARAMETER;
  bool fixed = parent.hive == Hive::LocalMachine && !parent.path.empty() && NamesEqual(parent.path[0], u"SOFTWARE");
  if (fixed || flags == 0) {
    view = parent.view;
  } else {
    view = flags == KEY_WOW64_64KEY ? View::Native : View::Wow32;
  }
  return ERROR_SUCCESS;
}

KeyRef Child(const KeyRef& parent, const Path& parts, View view, const ProcessModel& model) {
  KeyRef child;
  child.hive = parent.hive;
  Path logical = parent.path;
  logical.insert(logical.end(), parts.begin(), parts.end());
  child.path = Redirect(parent.hive, logical, view, model);
  child.shown = parent.shown;
  for (const auto& part : parts) child.shown += "\\" + Utf16ToUtf8(part);
  child.view = view;
  return child;
}

// Finds the key a handle stands for; ERROR_KEY_DELETED when it no longer exists.
LONG FindKey(const Tree& tree, const KeyRef& ref, const Key*& key) {
  key = tree.Find(ref.hive, ref.path);
  return key ? ERROR_SUCCESS : ERROR_KEY_DELETED;
}

bool IsStringType(DWORD type) { return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ; }

std::u16string Units(const uint8_t* data, size_t size) { return utf::UnpackUtf16Le(data, size); }

std::vector<uint8_t> Bytes(std::u16string_view units) { return utf::PackUtf16Le(units); }

// The data as a caller of the A or W form sees it: string types in the ANSI code page (UTF-8) for A.
std::vector<uint8_t> CallerData(const Value& value, bool ansi) {
  if (!ansi || !IsStringType(value.type)) return value.data;
  std::string narrow = Utf16ToUtf8(Units(value.data.data(), value.data.size()));
  return std::vector<uint8_t>(narrow.begin(), narrow.end());
}

bool Unterminated(const std::vector<uint8_t>& data, bool ansi) {
  if (ansi) return data.empty() || data.back() != 0;
  return data.size() < 2 || data[data.size() - 1] != 0 || data[data.size() - 2] != 0;
}

// Copies value data out as RegQueryValueEx does: size-only queries, ERROR_MORE_DATA with the size.
LONG CopyData(const Value& value, bool ansi, LPDWORD type, LPBYTE data, LPDWORD size) {
  std::vector<uint8_t> bytes = CallerData(value, ansi);
  if (type) *type = value.type;
  if (!size) return ERROR_SUCCESS;
  DWORD needed = static_cast<DWORD>(bytes.size());
  if (!data) {
    *size = needed;
    return ERROR_SUCCESS;
  }
  if (*size < needed) {
    *size = needed;
    return ERROR_MORE_DATA;
  }
  if (!bytes.empty()) std::memcpy(data, bytes.data(), bytes.size());
  // Unterminated string data gets a terminator when the buffer has room (not counted in the size).
  size_t unit = ansi ? 1 : 2;
  if (IsStringType(value.type) && Unterminated(bytes, ansi) && *size - needed >= unit)
    std::memset(data + needed, 0, unit);
  *size = needed;
  return ERROR_SUCCESS;
}

std::optional<std::u16string> WideName(LPCSTR name) {
  if (!name) return std::nullopt;
  return Utf8ToUtf16(name);
}

std::optional<std::u16string> WideName(LPCWSTR name) {
  if (!name) return std::nullopt;
  return std::u16string(name);
}

bool HasControlCharacters(const Path& parts) {
  for (const auto& part : parts)
    for (char16_t c : part)
      if (c < 0x20) return true;
  return false;
}

LONG OpenKey(const char* api, HKEY parentKey, const std::optional<std::u16string>& subKey, REGSAM sam,
             PHKEY result) {
  if (!result) return ERROR_INVALID_PARAMETER;
  *result = nullptr;
  ProcessModel model = CurrentProcessModel();
  KeyRef parent;
  if (LONG error = Resolve(parentKey, model, parent)) return error;
  View view;
  if (LONG error = ChooseView(parent, sam, model, view)) return error;
  Path parts;
  if (LONG error = SplitSubKey(subKey ? *subKey : std::u16string(), parts)) return error;
  KeyRef target = Child(parent, parts, view, model);
  target.access = Granted(sam);
  if (auto fault = Fault(api, target.shown)) return static_cast<LONG>(*fault);
  LONG error = Store::Instance().Read([&](const Tree& tree) -> LONG {
    if (!parent.predefined && !tree.Find(parent.hive, parent.path)) return ERROR_KEY_DELETED;
    return tree.Find(target.hive, target.path) ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND;
  });
  if (error) return error;
  *result = NewHandle(target);
  return ERROR_SUCCESS;
}

LONG CreateKey(const char* api, HKEY parentKey, const std::optional<std::u16string>& subKey, DWORD options,
               REGSAM sam, PHKEY result, LPDWORD disposition) {
  if (!result || !subKey) return ERROR_INVALID_PARAMETER;
  *result = nullptr;
  ProcessModel model = CurrentProcessModel();
  KeyRef parent;
  if (LONG error = Resolve(parentKey, model, parent)) return error;
  if (options & REG_OPTION_CREATE_LINK) return ERROR_NOT_SUPPORTED;  // symbolic links are not modelled
  View view;
  if (LONG error = ChooseView(parent, sam, model, view)) return error;
  Path parts;
  if (LONG error = SplitSubKey(*subKey, parts)) return error;
  if (HasControlCharacters(parts)) return ERROR_INVALID_PARAMETER;  // a registry.reg line could not hold them
  for (const auto& part : parts)
    if (part.size() > kMaxKeyNameLength) return ERROR_INVALID_PARAMETER;  // as Windows answers
  KeyRef target = Child(parent, parts, view, model);
  if (target.path.size() > kMaxKeyDepth) return ERROR_INVALID_PARAMETER;
  target.access = Granted(sam);
  if (auto fault = Fault(api, target.shown)) return static_cast<LONG>(*fault);

  DWORD outcome = REG_OPENED_EXISTING_KEY;
  bool exists = false;
  LONG error = Store::Instance().Read([&](const Tree& tree) -> LONG {
    if (!parent.predefined && !tree.Find(parent.hive, parent.path)) return ERROR_KEY_DELETED;
    exists = tree.Find(target.hive, target.path) != nullptr;
    return ERROR_SUCCESS;
  });
  if (error) return error;
  if (!exists) {
    // Windows checks the creation against the parent key's security, not against the access the
    // parent handle was opened with; the simulated computer's keys allow everything.
    error = Store::Instance().Modify([&](Tree& tree, bool& changed) -> LONG {
      if (!parent.predefined && !tree.Find(parent.hive, parent.path)) return ERROR_KEY_DELETED;
      if (tree.Find(target.hive, target.path)) return ERROR_SUCCESS;  // created meanwhile
      // Direct children of HKEY_LOCAL_MACHINE and HKEY_USERS are hives: they cannot be created.
      if ((target.hive == Hive::LocalMachine || target.hive == Hive::Users) &&
          !tree.Root(target.hive).FindSubkey(target.path.front()))
        return ERROR_ACCESS_DENIED;
      tree.Create(target.hive, target.path);
      changed = true;
      outcome = REG_CREATED_NEW_KEY;
      return ERROR_SUCCESS;
    });
    if (error) return error;
  }
  *result = NewHandle(target);
  if (disposition) *disposition = outcome;
  return ERROR_SUCCESS;
}

LONG QueryValue(const char* api, HKEY key, const std::optional<std::u16string>& name, LPDWORD reserved,
                LPDWORD type, LPBYTE data, LPDWORD size, bool ansi) {
  if (reserved || (data && !size)) return ERROR_INVALID_PARAMETER;
  KeyRef ref;
  if (LONG error = Resolve(key, CurrentProcessModel(), ref)) return error;
  if (!(ref.access & KEY_QUERY_VALUE)) return ERROR_ACCESS_DENIED;
  if (auto fault = Fault(api, ref.shown)) return static_cast<LONG>(*fault);
  return Store::Instance().Read([&](const Tree& tree) -> LONG {
    const Key* found;
    if (LONG error = FindKey(tree, ref, found)) return error;
    const Value* value = found->FindValue(name ? *name : std::u16string());
    if (!value) {
      if (!data && size) *size = 0;
      return ERROR_FILE_NOT_FOUND;
    }
    return CopyData(*value, ansi, type, data, size);
  });
}

LONG SetValue(const char* api, HKEY key, const std::optional<std::u16string>& name, DWORD type, const BYTE* data,
              DWORD size, bool ansi) {
  KeyRef ref;
  if (LONG error = Resolve(key, CurrentProcessModel(), ref)) return error;
  if (!(ref.access & KEY_SET_VALUE)) return ERROR_ACCESS_DENIED;
  if (!data && size) return ERROR_NOACCESS;
  if (auto fault = Fault(api, ref.shown)) return static_cast<LONG>(*fault);

  // As NT does, a string whose counted part lacks the terminator that follows it gets it counted.
  if (data && IsStringType(type)) {
    if (ansi && size >= 1 && data[size - 1] != 0 && data[size] == 0) {
      size += 1;
    } else if (!ansi && size >= 2) {
      size_t last = (size / 2) * 2;
      if ((data[last - 2] || data[last - 1]) && !data[last] && !data[last + 1]) size = static_cast<DWORD>(last + 2);
    }
  }
  std::vector<uint8_t> bytes(data, data + size);
  if (ansi && IsStringType(type))
    bytes = Bytes(Utf8ToUtf16(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size())));
  std::u16string valueName = name ? *name : std::u16string();
  return Store::Instance().Modify([&](Tree& tree, bool& changed) -> LONG {
    Key* found = tree.Find(ref.hive, ref.path);
    if (!found) return ERROR_KEY_DELETED;
    const Value* existing = found->FindValue(valueName);
    if (existing && existing->type == type && existing->data == bytes) return ERROR_SUCCESS;
    found->SetValue(valueName, type, std::move(bytes));
    changed = true;
    return ERROR_SUCCESS;
  });
}

LONG DeleteValue(const char* api, HKEY key, const std::optional<std::u16string>& name) {
  KeyRef ref;
  if (LONG error = Resolve(key, CurrentProcessModel(), ref)) return error;
  if (!(ref.access & KEY_SET_VALUE)) return ERROR_ACCESS_DENIED;
  if (auto fault = Fault(api, ref.shown)) return static_cast<LONG>(*fault);
  std::u16string valueName = name ? *name : std::u16string();
  return Store::Instance().Modify([&](Tree& tree, bool& changed) -> LONG {
    Key* found = tree.Find(ref.hive, ref.path);
    if (!found) return ERROR_KEY_DELETED;
    if (!found->DeleteValue(valueName)) return ERROR_FILE_NOT_FOUND;
    changed = true;
    return ERROR_SUCCESS;
  });
}

LONG DeleteKey(const char* api, HKEY parentKey, LPCSTR subKey, REGSAM sam) {
  if (!subKey) return ERROR_INVALID_PARAMETER;
  ProcessModel model = CurrentProcessModel();
  KeyRef parent;
  if (LONG error = Resolve(parentKey, model, parent)) return error;
  View view;
  if (LONG error = ChooseView(parent, sam, model, view)) return error;
  Path parts;
  if (LONG error = SplitSubKey(Utf8ToUtf16(subKey), parts)) return error;
  KeyRef target = Child(parent, parts, view, model);
  if (auto fault = Fault(api, target.shown)) return static_cast<LONG>(*fault);
  if (target.path.empty() || IsImplicitKey(target.hive, target.path, model.os64)) return ERROR_ACCESS_DENIED;
  return Store::Instance().Modify([&](Tree& tree, bool& changed) -> LONG {
    if (!parent.predefined && !tree.Find(parent.hive, parent.path)) return ERROR_KEY_DELETED;
    const Key* found = tree.Find(target.hive, target.path);
    if (!found) return ERROR_FILE_NOT_FOUND;
    if (!found->subkeys.empty()) return ERROR_ACCESS_DENIED;  // only a key without subkeys can be deleted
    tree.DeleteTree(target.hive, target.path);
    changed = true;
    return ERROR_SUCCESS;
  });
}

}  // namespace
}  // namespace hl::platform::reg

using namespace hl::platform::reg;

LONG RegOpenKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD, REGSAM samDesired, PHKEY phkResult) {
  return OpenKey("RegOpenKeyExA", hKey, WideName(lpSubKey), samDesired, phkResult);
}

LONG RegOpenKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD, REGSAM samDesired, PHKEY phkResult) {
  return OpenKey("RegOpenKeyExW", hKey, WideName(lpSubKey), samDesired, phkResult);
}

LONG RegCreateKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD, LPSTR, DWORD dwOptions, REGSAM samDesired,
                     const SECURITY_ATTRIBUTES*, PHKEY phkResult, LPDWORD lpdwDisposition) {
  return CreateKey("RegCreateKeyExA", hKey, WideName(lpSubKey), dwOptions, samDesired, phkResult, lpdwDisposition);
}

LONG RegCreateKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD, LPWSTR, DWORD dwOptions, REGSAM samDesired,
                     const SECURITY_ATTRIBUTES*, PHKEY phkResult, LPDWORD lpdwDisposition) {
  return CreateKey("RegCreateKeyExW", hKey, WideName(lpSubKey), dwOptions, samDesired, phkResult, lpdwDisposition);
}

LONG RegQueryValueExA(HKEY hKey, LPCSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType, LPBYTE lpData,
                      LPDWORD lpcbData) {
  return QueryValue("RegQueryValueExA", hKey, WideName(lpValueName), lpReserved, lpType, lpData, lpcbData, true);
}

LONG RegQueryValueExW(HKEY hKey, LPCWSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType, LPBYTE lpData,
                      LPDWORD lpcbData) {
  return QueryValue("RegQueryValueExW", hKey, WideName(lpValueName), lpReserved, lpType, lpData, lpcbData, false);
}

LONG RegSetValueExA(HKEY hKey, LPCSTR lpValueName, DWORD, DWORD dwType, const BYTE* lpData, DWORD cbData) {
  return SetValue("RegSetValueExA", hKey, WideName(lpValueName), dwType, lpData, cbData, true);
}

LONG RegSetValueExW(HKEY hKey, LPCWSTR lpValueName, DWORD, DWORD dwType, const BYTE* lpData, DWORD cbData) {
  return SetValue("RegSetValueExW", hKey, WideName(lpValueName), dwType, lpData, cbData, false);
}

LONG RegDeleteValueA(HKEY hKey, LPCSTR lpValueName) {
  return DeleteValue("RegDeleteValueA", hKey, WideName(lpValueName));
}

LONG RegDeleteValueW(HKEY hKey, LPCWSTR lpValueName) {
  return DeleteValue("RegDeleteValueW", hKey, WideName(lpValueName));
}

LONG RegEnumKeyExA(HKEY hKey, DWORD dwIndex, LPSTR lpName, LPDWORD lpcchName, LPDWORD lpReserved, LPSTR lpClass,
                   LPDWORD lpcchClass, PFILETIME lpftLastWriteTime) {
  if (lpReserved || !lpName || !lpcchName || (lpClass && !lpcchClass)) return ERROR_INVALID_PARAMETER;
  KeyRef ref;
  if (LONG error = Resolve(hKey, CurrentProcessModel(), ref)) return error;
  if (!(ref.access & KEY_ENUMERATE_SUB_KEYS)) return ERROR_ACCESS_DENIED;
  if (auto fault = Fault("RegEnumKeyExA", ref.shown)) return static_cast<LONG>(*fault);
  return Store::Instance().Read([&](const Tree& tree) -> LONG {
    const Key* found;
    if (LONG error = FindKey(tree, ref, found)) return error;
    if (dwIndex >= found->subkeys.size()) return ERROR_NO_MORE_ITEMS;
    auto it = found->subkeys.begin();
    std::advance(it, dwIndex);
    std::string name = Utf16ToUtf8(it->second->name);
    if (name.size() >= *lpcchName || (lpClass && *lpcchClass < 1)) return ERROR_MORE_DATA;
    std::memcpy(lpName, name.c_str(), name.size() + 1);
    *lpcchName = static_cast<DWORD>(name.size());
    if (lpClass) {
      lpClass[0] = '\0';
      *lpcchClass = 0;
    } else if (lpcchClass) {
      *lpcchClass = 0;
    }
    if (lpftLastWriteTime) {
      // Write times are not kept; report now, in 100 ns units since 1601.
      auto now = std::chrono::system_clock::now().time_since_epoch();
      uint64_t ticks = static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::nanoseconds>(now).count() / 100) +
                       116444736000000000ull;
      lpftLastWriteTime->dwLowDateTime = static_cast<DWORD>(ticks);
      lpftLastWriteTime->dwHighDateTime = static_cast<DWORD>(ticks >> 32);
    }
    return ERROR_SUCCESS;
  });
}

LONG RegEnumValueA(HKEY hKey, DWORD dwIndex, LPSTR lpValueName, LPDWORD lpcchValueName, LPDWORD lpReserved,
                   LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData) {
  if (lpReserved || !lpValueName || !lpcchValueName || (lpData && !lpcbData)) return ERROR_INVALID_PARAMETER;
  KeyRef ref;
  if (LONG error = Resolve(hKey, CurrentProcessModel(), ref)) return error;
  if (!(ref.access & KEY_QUERY_VALUE)) return ERROR_ACCESS_DENIED;
  if (auto fault = Fault("RegEnumValueA", ref.shown)) return static_cast<LONG>(*fault);
  return Store::Instance().Read([&](const Tree& tree) -> LONG {
    const Key* found;
    if (LONG error = FindKey(tree, ref, found)) return error;
    if (dwIndex >= found->values.size()) return ERROR_NO_MORE_ITEMS;
    const Value& value = found->values[dwIndex];
    std::string name = Utf16ToUtf8(value.name);
    if (name.size() >= *lpcchValueName) return ERROR_MORE_DATA;
    std::memcpy(lpValueName, name.c_str(), name.size() + 1);
    *lpcchValueName = static_cast<DWORD>(name.size());
    return CopyData(value, true, lpType, lpData, lpcbData);
  });
}

LONG RegDeleteKeyA(HKEY hKey, LPCSTR lpSubKey) { return DeleteKey("RegDeleteKeyA", hKey, lpSubKey, 0); }

LONG RegDeleteKeyExA(HKEY hKey, LPCSTR lpSubKey, REGSAM samDesired, DWORD Reserved) {
  if (Reserved) return ERROR_INVALID_PARAMETER;
  return DeleteKey("RegDeleteKeyExA", hKey, lpSubKey, samDesired & KEY_WOW64_RES);
}

LONG RegCloseKey(HKEY hKey) {
  if (PredefinedHive(hKey) || hKey == HKEY_PERFORMANCE_DATA) return ERROR_SUCCESS;
  auto object = hl::platform::LookupHandleAs<KeyObject>(reinterpret_cast<HANDLE>(hKey));
  if (!object) return ERROR_INVALID_HANDLE;
  if (auto fault = Fault("RegCloseKey", object->ref.shown)) return static_cast<LONG>(*fault);
  return hl::platform::ReleaseHandle(reinterpret_cast<HANDLE>(hKey)) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}

LONG RegFlushKey(HKEY hKey) {
  KeyRef ref;
  if (LONG error = Resolve(hKey, CurrentProcessModel(), ref)) return error;
  if (auto fault = Fault("RegFlushKey", ref.shown)) return static_cast<LONG>(*fault);
  // Every change is already on disk when its call returns.
  return Store::Instance().Read([&](const Tree& tree) -> LONG {
    const Key* found;
    return FindKey(tree, ref, found);
  });
}
