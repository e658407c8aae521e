// Operating-system identification: the display name from the version, edition and processor
// architecture, and the version family.
#include "agent/osinfo/osinfo.h"

#include <vector>

#include "agent/log/log.h"
#include "agent/osinfo/os_names.h"
#include "agent/registry/registry.h"

namespace {

using hl::osinfo::OsFacts;

constexpr const char* kCurrentVersionKey = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion";
constexpr const char* kProductOptionsKey = "SYSTEM\\CurrentControlSet\\Control\\ProductOptions";
constexpr DWORD kProductOptionsBuffer = 1024;

// Functions that older systems lack are looked up in kernel32 by name.
FARPROC Kernel32Function(const char* name) {
  HMODULE kernel32 = GetModuleHandleA("kernel32.dll");
  return kernel32 ? GetProcAddress(kernel32, name) : nullptr;
}

// Signatures of the kernel32 exports looked up by name.
typedef void(WINAPI* PGNSI)(LPSYSTEM_INFO);
typedef BOOL(WINAPI* PGPI)(DWORD, DWORD, DWORD, DWORD, PDWORD);

template <class Fn>
Fn AsFunction(FARPROC proc) {
  // Through void*: the exported address has the real signature, FARPROC is only its carrier.
  return reinterpret_cast<Fn>(reinterpret_cast<void*>(proc));
}

// The native architecture when the system offers it (a 32-bit process under WOW64 would
// otherwise see x86), else the emulated one.
SYSTEM_INFO ReadSystemInfo() {
  SYSTEM_INFO si{};
  auto nativeInfo = AsFunction<PGNSI>(Kernel32Function("GetNativeSystemInfo"));
  if (nativeInfo != nullptr) {
    nativeInfo(&si);
  } else {
    GetSystemInfo(&si);
  }
  return si;
}

// The extended version information, else the basic one; false when neither can be read.
bool ReadVersion(OSVERSIONINFOEXA& osvi, bool& extended) {
  osvi = OSVERSIONINFOEXA{};
  osvi.dwOSVersionInfoSize = sizeof(OSVERSIONINFOEXA);
  extended = GetVersionExA(reinterpret_cast<LPOSVERSIONINFOA>(&osvi)) != FALSE;
  if (extended) return true;
  osvi = OSVERSIONINFOEXA{};
  osvi.dwOSVersionInfoSize = sizeof(OSVERSIONINFOA);
  return GetVersionExA(reinterpret_cast<LPOSVERSIONINFOA>(&osvi)) != FALSE;
}

// ProductType of ProductOptions: none when unreadable or longer than the buffer.
std::optional<std::string> ReadProductOptionsType() {
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kProductOptionsKey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) {
    return std::nullopt;
  }
  std::vector<char> buffer(kProductOptionsBuffer, '\0');
  DWORD size = kProductOptionsBuffer;
  LONG result = RegQueryValueExA(key, "ProductType", nullptr, nullptr, reinterpret_cast<LPBYTE>(buffer.data()), &size);
  RegCloseKey(key);
  if (result != ERROR_SUCCESS || size > kProductOptionsBuffer) return std::nullopt;
  size_t length = 0;
  while (length < size && buffer[length] != '\0') ++length;
  return std::string(buffer.data(), length);
}

std::string ModernName(const OsFacts& facts, DWORD edition) {
  if (std::optional<std::string> whole = hl::osinfo::WholeEditionName(facts, edition)) {
    LogDebug("Returning with OS Name %s\n", *whole);
    return *whole;
  }
  std::string word;
  if (const char* known = hl::osinfo::EditionWord(edition)) {
    word = known;
  } else {
    LogInfo("dwPlatformInfo : %d\n", edition);
    LogInfo("dwMajorVersion : %d\n", facts.major);
    LogInfo("dwMinorVersion : %d\n", facts.minor);
    LogError("Edition can't be retrieved. So Assuming it as Beta\n");
    word = "Beta";
  }
  // Preview builds say so in their product name only.
  std::optional<std::string> productName;
  ReadRegSZ(HKEY_LOCAL_MACHINE, kCurrentVersionKey, "ProductName", productName);
  if (productName && productName->find("Preview") != std::string::npos) {
    LogInfo("OS Name detected from registry is : %s\n", *productName);
    word = "Beta";
  }
  return hl::osinfo::VersionName(facts, word);
}

}  // namespace

std::optional<std::string> GetOSNameEx(DWORD major, DWORD minor) {
  SYSTEM_INFO si = ReadSystemInfo();
  OSVERSIONINFOEXA osvi{};
  bool extended = false;
  if (!ReadVersion(osvi, extended)) return std::nullopt;

  OsFacts facts;
  facts.major = (major != 0 || minor != 0) ? major : osvi.dwMajorVersion;
  facts.minor = (major != 0 || minor != 0) ? minor : osvi.dwMinorVersion;
  facts.platformId = osvi.dwPlatformId;
  facts.productType = osvi.wProductType;
  facts.suiteMask = osvi.wSuiteMask;
  size_t csdLength = 0;
  while (csdLength < sizeof(osvi.szCSDVersion) && osvi.szCSDVersion[csdLength] != '\0') ++csdLength;
  facts.csdVersion.assign(osvi.szCSDVersion, csdLength);
  facts.architecture = si.wProcessorArchitecture;
  facts.extended = extended;

  DWORD edition = 0;
  auto productInfo = AsFunction<PGPI>(Kernel32Function("GetProductInfo"));
  if (productInfo != nullptr && productInfo(osvi.dwMajorVersion, osvi.dwMinorVersion, osvi.wServicePackMajor,
                                            osvi.wServicePackMinor, &edition)) {
    LogDebug("GetOSNameEx : dwMinorVersion : %d\n", minor);
    LogDebug("GetOSNameEx : dwMajorVersion : %d\n", major);
    LogDebug("osvi.dwMajorVersion : %d\n", osvi.dwMajorVersion);
    LogDebug("osvi.dwMinorVersion : %d\n", osvi.dwMinorVersion);
    LogDebug("osvi.wServicePackMajor : %d\n", osvi.wServicePackMajor);
    LogDebug("osvi.wServicePackMinor : %d\n", osvi.wServicePackMinor);
    LogDebug("dwPlatformInfo : %d\n", edition);
    LogDebug("si.wProcessorArchitecture : %d\n", si.wProcessorArchitecture);
    return ModernName(facts, edition);
  }

  std::optional<std::string> productOptions;
  if (!extended && facts.platformId == VER_PLATFORM_WIN32_NT) productOptions = ReadProductOptionsType();
  return hl::osinfo::LegacyName(facts, productOptions);
}

int GetOsFamily() {
  OSVERSIONINFOEXA osvi{};
  bool extended = false;
  if (!ReadVersion(osvi, extended)) {
    LogError("GetOsFamily : Unable to find the OSVersion , Errorcode %d \n", GetLastError());
    return 1;
  }
  const DWORD major = osvi.dwMajorVersion;
  const DWORD minor = osvi.dwMinorVersion;
  if (osvi.dwPlatformId != VER_PLATFORM_WIN32_NT || major <= 4) {
    LogError("GetOsFamily :The windows is unable to found . \n");
    return -1;
  }
  if (major == 5) return minor == 0 ? 0 : 1;
  if (major == 6) {
    switch (minor) {
      case 0: return 2;
      case 1: return 3;
      case 2: return 4;
      case 3: return 5;
      default: return 7;
    }
  }
  if (major == 10 && minor == 0) return 6;
  return 7;
}

int isWin7orWin8() {
  LogDebug("isWin7orWin8 : GetOSName %s\n", GetOSNameEx().value_or(""));  // a missing name is logged empty
  int family = GetOsFamily();
  if (family == 3 || family == 4) {
    LogDebug("isWin7orWin8 : TRUE\n");
    return 1;
  }
  LogDebug("isWin7orWin8 : FALSE\n");
  return 0;
}
