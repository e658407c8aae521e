// Registry writers: key creation and values written from text, in the default view or
// (the "Ex" forms) in the 64-bit view when the process runs under WOW64.
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "agent/log/log.h"
#include "agent/machine/text.h"
#include "agent/registry/registry.h"
#include "agent/registry/registry_internal.h"

namespace {

using hl::registry::IsDashDash;
using hl::registry::KeyCloser;

// The two writer families differ in their log prefix, their view and a few data types.
struct Writer {
  const char* name;  // "writeValue" or "writeValueEx"
  bool extended;
  std::string Line(const char* rest) const { return std::string(name) + rest; }
  REGSAM View() const { return extended && ProcessRunsUnderWow64() ? KEY_WOW64_64KEY : 0; }
};

LONG CreateKey(const char* prefix, HKEY hive, const char* subKey, REGSAM view) {
  const std::string p(prefix);
  LogDebug(p + ": Inside addRegistryKey method ...... \n");
  HKEY key = nullptr;
  DWORD disposition = 0;
  LONG result = RegCreateKeyExA(hive, subKey, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS | view, nullptr, &key,
                                &disposition);
  if (result != ERROR_SUCCESS) {
    LogError(p + ":  Create registry key \"%s\" function failed: %d \n", subKey, result);
    LogErrorMessage(static_cast<DWORD>(result));
    return result;
  }
  if (disposition == REG_CREATED_NEW_KEY) {
    LogDebug(p + ":  Create registry key function successfull: %d \n", disposition);
  } else {
    LogDebug(p + ":  Opened already existing key! \n");
  }
  RegCloseKey(key);
  return ERROR_SUCCESS;
}

bool IsDecimalDigit(unsigned ch) { return ch >= '0' && ch <= '9'; }
bool IsBlank(unsigned ch) { return ch == ' ' || ch == '\t' || ch == '\n' || ch == '\r' || ch == '\v' || ch == '\f'; }

// The leading decimal number of a text, as the C runtime's number readers take it: blanks, an
// optional sign (when allowed), digits up to the first non-digit; none gives 0. Values beyond
// the 32-bit range stop at its ends instead of wrapping.
template <class Char>
DWORD LeadingNumber(const Char* text, bool allowSign) {
  const Char* p = text;
  while (IsBlank(static_cast<unsigned>(*p))) ++p;
  bool negative = false;
  if (allowSign && (*p == Char('-') || *p == Char('+'))) {
    negative = *p == Char('-');
    ++p;
  }
  unsigned long long magnitude = 0;
  constexpr unsigned long long kCap = 0x100000000ull;
  for (; IsDecimalDigit(static_cast<unsigned>(*p)); ++p) {
    magnitude = magnitude * 10 + static_cast<unsigned>(*p - Char('0'));
    if (magnitude > kCap) magnitude = kCap;
  }
  if (negative) {
    if (magnitude > 0x80000000ull) magnitude = 0x80000000ull;
    return static_cast<DWORD>(0u - static_cast<DWORD>(magnitude));
  }
  return magnitude >= kCap ? std::numeric_limits<DWORD>::max() : static_cast<DWORD>(magnitude);
}

// Splits at each ';', '^' taking the next character literally; each string ends with a zero
// and the list with an extra one. Returns the characters written before the final two zeros.
size_t BuildMultiString(const hl::WString& text, std::vector<WCHAR>& out) {
  out.clear();
  for (size_t i = 0; i < text.size(); ++i) {
    WCHAR c = text[i];
    if (c == u'^') {
      if (i + 1 < text.size()) out.push_back(text[++i]);
    } else if (c == u';') {
      out.push_back(u'\0');
    } else {
      out.push_back(c);
    }
  }
  size_t written = out.size();
  out.push_back(u'\0');
  out.push_back(u'\0');
  return written;
}

template <class T>
void AppendBytes(std::vector<BYTE>& bytes, const T* data, size_t count) {
  const BYTE* begin = reinterpret_cast<const BYTE*>(data);
  bytes.assign(begin, begin + count * sizeof(T));
}

// The bytes to store for `type`; false (with 13 in `error`) for data that cannot be stored.
bool BuildData(const Writer& w, DWORD type, const std::string& data, const hl::WString& wideData,
               std::vector<BYTE>& bytes, LONG& error) {
  switch (type) {
    case REG_SZ:
    case REG_EXPAND_SZ:
      AppendBytes(bytes, wideData.c_str(), wideData.size() + 1);
      LogDebug(w.Line(":  Data type is REG_SZ or REG_EXPAND_SZ or REG_BINARY: %d\n"), bytes.size());
      return true;
    case REG_BINARY:
      if (w.extended) {
        AppendBytes(bytes, data.c_str(), data.size() + 1);
        LogDebug(w.Line(":  Data type is REG_BINARY: %d\n"), bytes.size());
      } else {
        AppendBytes(bytes, wideData.c_str(), wideData.size() + 1);
        LogDebug(w.Line(":  Data type is REG_SZ or REG_EXPAND_SZ or REG_BINARY: %d\n"), bytes.size());
      }
      return true;
    case REG_DWORD: {
      DWORD number = w.extended ? LeadingNumber(data.c_str(), false) : LeadingNumber(wideData.c_str(), true);
      AppendBytes(bytes, &number, 1);
      LogDebug(w.Line(":  REG_DWORD -- sizeOfInputData: %d\n"), bytes.size());
      return true;
    }
    case REG_MULTI_SZ:
      if (!w.extended) break;
      {
        std::vector<WCHAR> list;
        size_t written = BuildMultiString(wideData, list);
        AppendBytes(bytes, list.data(), list.size());
        LogDebug(w.Line(":  Data type is REG_MULTI_SZ: %d\n"), 2 * written + 4);
      }
      return true;
    case REG_QWORD:
      if (!w.extended) break;
      // Every character counts as a digit (StringToUInt64): callers hand digits only, as for the
      // leading-number rule of REG_DWORD nothing is refused here.
      {
        ULONGLONG number = StringToUInt64(data.c_str());
        AppendBytes(bytes, &number, 1);
        LogDebug(w.Line(":  REG_QWORD -- sizeOfInputData: %d\n"), bytes.size());
      }
      return true;
    default:
      break;
  }
  LogError(w.Line(":  Data type %d is not supported \n"), type);
  error = ERROR_INVALID_DATA;
  return false;
}

LONG WriteFromText(const Writer& w, HKEY hive, const char* subKey, const char* valueName, const char* data,
                   DWORD type) {
  LogDebug(hl::Sprintf("@@@@@@@@ Inside %s Method @@@@@@@@ \n", w.name));
  if (valueName == nullptr || data == nullptr || valueName[0] == '\0' || data[0] == '\0') {
    if (w.extended) {
      LogError(w.Line(" : Valuename or Valuedata is Empty \n"));
    } else {
      LogInfo(w.Line(" : Valuename or Valuedata is Empty \n"));
    }
    return ERROR_INVALID_DATA;
  }
  LogDebug(w.Line(": Subkey : %s \n"), subKey);
  LogDebug(w.Line(": Value Name: %s \n"), valueName);
  LogDebug(w.Line(": Value Data: %s \n"), data);

  hl::WString wideName;
  hl::WString wideData;
  if (!ChangeUtf8ToWideStr(valueName, wideName) || !ChangeUtf8ToWideStr(data, wideData)) return ERROR_INVALID_DATA;
  std::string narrowData(data);
  if (IsDashDash(valueName)) {
    LogInfo(w.Line(" : going to add the (default) value .\n"));
    wideName.clear();
  }
  if (IsDashDash(data)) {
    LogInfo(w.Line(" : going to add the value data as 0 value .\n"));
    wideData.clear();
    narrowData.clear();
  }

  std::vector<BYTE> bytes;
  LONG result = ERROR_SUCCESS;
  if (!BuildData(w, type, narrowData, wideData, bytes, result)) return result;

  result = w.extended ? addRegistryKeyEx(hive, subKey) : addRegistryKey(hive, subKey);
  if (result != ERROR_SUCCESS) {
    LogError(w.Line(":  WriteValue failure during key creation! %d \n"), result);
    return result;
  }

  HKEY key = nullptr;
  result = RegOpenKeyExA(hive, subKey, 0, KEY_ALL_ACCESS | w.View(), &key);
  if (result != ERROR_SUCCESS) {
    LogError(w.Line(":  Key open failure! %d \n"), result);
    LogErrorMessage(static_cast<DWORD>(result));
    return result;
  }
  KeyCloser closer(key);
  LogDebug(w.Line(":  Key found ...!: %d\n"), result);
  LogDebug(w.Line(":  After addRegistryKey method in writeValue method!!\n"));

  result = RegSetValueExW(key, wideName.c_str(), 0, type, bytes.data(), static_cast<DWORD>(bytes.size()));
  if (result != ERROR_SUCCESS) {
    LogError(w.Line(":  Function WriteValue failure!:%d\n"), result);
    LogError(w.Line(":    Subkey: %s \n"), subKey);
    LogError(w.Line(":    Valuename: %S \n"), wideName);
    LogError(w.Line(":    Valuedata: %S \n"), wideData);
    LogError(w.Line(":    Datatype: %d \n"), type);
    LogErrorMessage(static_cast<DWORD>(result));
    return result;
  }
  LogErrorMessage(ERROR_SUCCESS);
  LogDebug(hl::Sprintf("@@@@@@@@ End Of %s Method @@@@@@@@ \n", w.name));
  return ERROR_SUCCESS;
}

}  // namespace

LONG addRegistryKey(HKEY hive, const char* subKey) { return CreateKey("addRegistryKey", hive, subKey, 0); }

LONG addRegistryKeyEx(HKEY hive, const char* subKey) {
  return CreateKey("addRegistryKeyEx", hive, subKey, ProcessRunsUnderWow64() ? KEY_WOW64_64KEY : 0);
}

LONG writeValue(HKEY hive, const char* subKey, const char* valueName, const char* data, DWORD type) {
  return WriteFromText(Writer{"writeValue", false}, hive, subKey, valueName, data, type);
}

LONG writeValueEx(HKEY hive, const char* subKey, const char* valueName, const char* data, DWORD type) {
  return WriteFromText(Writer{"writeValueEx", true}, hive, subKey, valueName, data, type);
}
