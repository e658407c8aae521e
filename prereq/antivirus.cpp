#include "prereq/antivirus.h"

#include <cstring>
#include <string>

#include "agent/log/log.h"
#include "prereq/com_ref.h"

#if defined(_WIN32) && defined(_MSC_VER)
#pragma comment(lib, "ole32.lib")
#pragma comment(lib, "oleaut32.lib")
#pragma comment(lib, "wbemuuid.lib")
#endif

namespace {

using WText = std::basic_string<WCHAR>;

// The one WMI service of the process, between ConnectWmiNamespace and DisconnectWmi.
IWbemServices* gv_wmiService = nullptr;

// Property texts are used up to this many characters (the product's fixed buffers hold 260).
constexpr size_t kMaxValueChars = 259;

// Matched in this order as case-sensitive substrings of an installed product's name.
constexpr const char* kAntivirusNames[] = {
    "Avast Antivirus",
    "Norton Security",
    "McAfee",
    "Kaspersky",
    "Webroot Client Service",
    "Avira Antivirus",
    "Bitdefender Antivirus",
    "K7 Antivirus",
    "G Data Antivirus",
    "Microsoft security essential",
    "Windows Defender",
    "Emsisoft",
    "F-Secure",
    "Malwarebytes",
    "Panda",
    "Trend Micro",
    "AppGuard",
    "AVG",
    "ESET NOD32",
    "MicroWorld eScan",
    "Symantec",
    "Sophos",
};

constexpr const char* kDefenderLibraryPaths[] = {
    "c:\\Program Files (x86)\\Windows Defender\\MpClient.dll",
    "c:\\Program Files\\Windows Defender\\MpClient.dll",
};

typedef HRESULT(WINAPI* WDStatusFn)(BOOL* pfEnabled);

void ReleaseWmiService() {
  if (gv_wmiService != nullptr) gv_wmiService->Release();
  gv_wmiService = nullptr;
}

bool EqualsAsciiNoCase(const WCHAR* a, const WCHAR* b) {
  auto fold = [](WCHAR c) { return (c >= 'A' && c <= 'Z') ? static_cast<WCHAR>(c - 'A' + 'a') : c; };
  for (; *a != 0 && *b != 0; ++a, ++b)
    if (fold(*a) != fold(*b)) return false;
  return *a == *b;
}

void LogConnected(const WCHAR* ns) {
  if (EqualsAsciiNoCase(ns, WSTR("root\\CIMV2"))) {
    LogInfo("GetValuesUsingWMIQuery : Connected to ROOT\\CIMV2 WMI namespace\n");
  } else if (EqualsAsciiNoCase(ns, WSTR("root\\SecurityCenter2"))) {
    LogInfo("GetValuesUsingWMIQuery : Connected to ROOT\\SecurityCenter2 WMI namespace\n");
  } else {
    LogInfo("GetValuesUsingWMIQuery : Connected to %S WMI namespace\n", ns);
  }
}

// Runs "SELECT * FROM <class>" on the connected service as a forward-only, immediate query.
HRESULT RunClassQuery(const WCHAR* query, hl::ComRef<IEnumWbemClassObject>& enumerator) {
  hl::OwnedBstr language = hl::MakeBstr(WSTR("WQL"));
  hl::OwnedBstr text = hl::MakeBstr(query);
  if (!language || !text) return E_OUTOFMEMORY;
  return gv_wmiService->ExecQuery(language.get(), text.get(), WBEM_FLAG_FORWARD_ONLY | WBEM_FLAG_RETURN_IMMEDIATELY,
                                  nullptr, enumerator.put());
}

// The text of property `name` of `object`, cut to the product's buffer size.
WText ReadTextProperty(IWbemClassObject* object, const WCHAR* name) {
  hl::ScopedVariant value;
  object->Get(name, 0, value.out(), nullptr, nullptr);
  WText text = WmiValueToText(value.get());
  if (text.size() > kMaxValueChars) text.resize(kMaxValueChars);
  return text;
}

// A 32-bit number property; 0 when the instance has no number there.
DWORD ReadNumberProperty(IWbemClassObject* object, const WCHAR* name) {
  hl::ScopedVariant value;
  if (FAILED(object->Get(name, 0, value.out(), nullptr, nullptr))) return 0;
  switch (value.get().vt) {
    case VT_I4:
    case VT_UI4:
    case VT_INT:
    case VT_UINT:
      return static_cast<DWORD>(value.get().lVal);
    case VT_I2:
      return static_cast<DWORD>(value.get().iVal);
    case VT_UI2:
      return value.get().uiVal;
    case VT_UI1:
      return value.get().bVal;
    default:
      return 0;
  }
}

// Product names are matched as 8-bit text in the system code page.
std::string ToSystemCodePage(const WText& text) {
  if (text.empty()) return {};
  int size = WideCharToMultiByte(CP_ACP, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  if (size <= 0) return {};
  std::string out(static_cast<size_t>(size), '\0');
  WideCharToMultiByte(CP_ACP, 0, text.c_str(), static_cast<int>(text.size()), out.data(), size, nullptr, nullptr);
  return out;
}

}  // namespace

HRESULT ConnectWmiNamespace(const WCHAR* ns) {
  // A connection left over from an earlier call would otherwise leak.
  ReleaseWmiService();
  CoUninitialize();
  HRESULT hr = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
  if (FAILED(hr)) {
    LogError("GetValuesUsingWMIQuery : Failed to initialize COM library. Error code = 0x%x\n", hr);
    return hr;
  }

  hl::ComRef<IWbemLocator> locator;
  hr = CoCreateInstance(CLSID_WbemLocator, nullptr, CLSCTX_INPROC_SERVER, IID_IWbemLocator, locator.put_void());
  if (FAILED(hr)) {
    LogError("GetValuesUsingWMIQuery : Failed to create IWbemLocator object. Err code = 0x%x\n", hr);
    return hr;
  }

  hl::OwnedBstr resource = hl::MakeBstr(ns);
  hr = locator->ConnectServer(resource.get(), nullptr, nullptr, nullptr, 0, nullptr, nullptr, &gv_wmiService);
  if (FAILED(hr)) {
    gv_wmiService = nullptr;
    LogError("GetValuesUsingWMIQuery :Could not connect. Error code = 0x%x\n", hr);
    return hr;
  }
  LogConnected(ns);

  hr = CoSetProxyBlanket(gv_wmiService, RPC_C_AUTHN_WINNT, RPC_C_AUTHZ_NONE, nullptr, RPC_C_AUTHN_LEVEL_CALL,
                         RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE);
  if (FAILED(hr)) {
    LogError("GetValuesUsingWMIQuery :Could not set proxy blanket. Error code = 0x%x\n", hr);
  }
  return hr;
}

HRESULT LoadInstalledUpdatesUsingWMI(BYTE* found) {
  if (gv_wmiService == nullptr) {
    LogError("LoadInstalledUpdatesUsingWMI : WMI Connection failed. So ignoring WMI checks\n");
    return 0;
  }
  hl::ComRef<IEnumWbemClassObject> enumerator;
  HRESULT hr = RunClassQuery(WSTR("SELECT * FROM AntivirusProduct"), enumerator);
  if (FAILED(hr)) {
    LogError("GetValuesUsingWMIQuery : Query for the required wmi class is failed . Error code = 0x%x\n", hr);
  } else {
    hr = 0;
    hl::ComRef<IWbemClassObject> product;
    for (;;) {
      ULONG returned = 0;
      enumerator->Next(static_cast<LONG>(WBEM_INFINITE), 1, product.put(), &returned);
      if (returned == 0) break;

      WText name = ReadTextProperty(product.get(), WSTR("displayName"));
      LogInfo("GetValuesUsingWMIQuery : The required Value is given by: %S\n", name);

      std::string state = hl::Sprintf("%x", ReadNumberProperty(product.get(), WSTR("productState")));
      if (state.size() > 9) state.resize(9);
      // The second hexadecimal digit tells whether the product is on. A one-digit state has no
      // second digit: a blank stands in the log where the text's terminator would be.
      char tested = state.size() > 1 ? state[1] : '\0';
      LogInfo("GetValuesUsingWMIQuery : state : %c   %s\n", tested != '\0' ? tested : ' ', state);
      if (tested == '1') {
        LogInfo("GetValuesUsingWMIQuery : Enabled \n");
        if (found != nullptr) *found = 1;
      }
    }
  }
  LogDebug("GetValuesUsingWMIQuery : Going to clean the allocated resources .\n");
  return hr;
}

void FindAntivirusInInstalledProducts(BYTE* found) {
  if (gv_wmiService == nullptr) {
    LogError("LoadInstalledUpdatesUsingWMI : WMI Connection failed. So ignoring WMI checks\n");
    return;
  }
  hl::ComRef<IEnumWbemClassObject> enumerator;
  HRESULT hr = RunClassQuery(WSTR("SELECT * FROM Win32_Product"), enumerator);
  if (FAILED(hr)) {
    LogError("GetValuesUsingWMIQuery : Query for the required wmi class is failed . Error code = 0x%x\n", hr);
  } else {
    LogInfo("enum\n");
    hl::ComRef<IWbemClassObject> product;
    for (int position = 1;; ++position) {
      ULONG returned = 0;
      enumerator->Next(static_cast<LONG>(WBEM_INFINITE), 1, product.put(), &returned);
      if (returned == 0) break;

      WText name = ReadTextProperty(product.get(), WSTR("Name"));
      LogInfo("GetValuesUsingWMIQuery : The required Value is given by %d : %S\n", position, name);
      if (IsKnownAntivirusName(ToSystemCodePage(name).c_str())) {
        LogInfo("It is AV\n");
        if (found != nullptr) *found = 1;
        break;
      }
    }
  }
  LogInfo("GetValuesUsingWMIQuery : Going to clean the allocated resources .\n");
}

bool IsKnownAntivirusName(const char* name) {
  if (name == nullptr) return false;
  for (const char* known : kAntivirusNames)
    if (std::strstr(name, known) != nullptr) return true;
  return false;
}

int IsFileExist(const char* path) {
  if (path == nullptr) return 0;
  HANDLE file = CreateFileA(path, GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    LogDebug("IsFileExist : The File Name %s is not found %d\n", path, GetLastError());
    return 0;
  }
  LARGE_INTEGER size;
  size.QuadPart = 0;
  if (!GetFileSizeEx(file, &size)) size.QuadPart = 0;
  CloseHandle(file);
  LogDebug("IsFileExist : The File %s size is given by : %d\n", path, size.QuadPart);
  if (size.QuadPart == 0) {
    LogDebug("IsFileExist : The required file (%s) size is 0 bytes. Hence returning file not found.\n", path);
    return 0;
  }
  return 1;
}

BYTE defenderStatusCheck() {
  LogInfo("@@@@@@@@ Inside defenderStatusCheck Method @@@@@@@@ \n");
  const char* path = IsFileExist(kDefenderLibraryPaths[0]) ? kDefenderLibraryPaths[0] : kDefenderLibraryPaths[1];
  LogInfo("Dll path is %s\n", path);

  WText widePath;
  for (const char* c = path; *c != '\0'; ++c) widePath.push_back(static_cast<WCHAR>(static_cast<unsigned char>(*c)));

  HMODULE library = LoadLibraryW(widePath.c_str());
  if (library == nullptr) {
    LogError("Failed to load dll from path : \"%ws\" with error = %lu\n", widePath, GetLastError());
    return 0;
  }
  LogInfo("DLL loaded successfully from path : \"%ws\"\n", widePath);

  BYTE result = 0;
  FARPROC proc = GetProcAddress(library, "WDStatus");
  if (proc == nullptr) {
    LogError("GetProcAddress failed with error = %lu\n", GetLastError());
  } else {
    LogInfo("GetProcAddress successful for function name : \"WDStatus\"\n");
    // Through the generic function type, which converts to any other without a warning.
    auto status = reinterpret_cast<WDStatusFn>(reinterpret_cast<void (*)()>(proc));
    BOOL enabled = FALSE;
    HRESULT hr = status(&enabled);
    if (hr != 0) {
      LogError("Function WDStatus failed with HRESULT  = %lu\n", static_cast<DWORD>(hr));
    } else if (enabled == 1) {
      LogInfo("Windows Defender is Enabled\n");
      result = 1;
    } else {
      LogInfo("Windows Defender is Disabled\n");
    }
  }
  FreeLibrary(library);
  return result;
}

void DisconnectWmi() {
  ReleaseWmiService();
  CoUninitialize();
}

std::basic_string<WCHAR> WmiValueToText(const VARIANT& value) {
  switch (value.vt) {
    case VT_BSTR:
      // A null BSTR is the empty text.
      return value.bstrVal != nullptr ? WText(value.bstrVal, SysStringLen(value.bstrVal)) : WText();
    case VT_I4:
    case VT_INT: {
      std::string digits = std::to_string(value.lVal);
      return WText(digits.begin(), digits.end());
    }
    default:
      return WSTR("-");
  }
}
