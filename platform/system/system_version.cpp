// Version, processor and product information, answered from machine.json "os".
#include <cstring>
#include <string>
#include <thread>

#include "platform/core/machine.h"
#include "platform/core/core_internal.h"
#include "platform/system/system_version.h"
#include "platform/system/win_system.h"

namespace hl::platform {
namespace {

template <class T>
T Field(const nlohmann::json& os, const char* name, T fallback) {
  if (!os.is_object()) return fallback;
  auto it = os.find(name);
  if (it == os.end() || it->is_null()) return fallback;
  if constexpr (std::is_same_v<T, bool>) {
    return it->is_boolean() ? it->get<bool>() : fallback;
  } else if constexpr (std::is_same_v<T, std::string>) {
    return it->is_string() ? it->get<std::string>() : fallback;
  } else {
    return it->is_number_integer() ? static_cast<T>(it->get<long long>()) : fallback;
  }
}

// A "fails" switch: absent or false → no failure; true → the given default code; a number → that code.
std::optional<DWORD> FailureSwitch(const nlohmann::json& os, const char* name, DWORD code) {
  if (!os.is_object()) return std::nullopt;
  auto it = os.find(name);
  if (it == os.end()) return std::nullopt;
  if (it->is_boolean()) return it->get<bool>() ? std::optional<DWORD>(code) : std::nullopt;
  if (it->is_number_integer()) return static_cast<DWORD>(it->get<long long>());
  return std::nullopt;
}

void FillSystemInfo(LPSYSTEM_INFO info, WORD architecture, bool process32) {
  std::memset(info, 0, sizeof *info);
  info->wProcessorArchitecture = architecture;
  info->dwPageSize = 4096;
  info->lpMinimumApplicationAddress = reinterpret_cast<LPVOID>(static_cast<uintptr_t>(0x10000));
  info->lpMaximumApplicationAddress = reinterpret_cast<LPVOID>(
      static_cast<uintptr_t>(process32 ? 0x7FFEFFFFull : 0x7FFFFFFEFFFFull));
  unsigned processors = std::thread::hardware_concurrency();
  if (processors == 0) processors = 1;
  if (processors > 32) processors = 32;
  info->dwNumberOfProcessors = processors;
  info->dwActiveProcessorMask = processors >= 32 ? 0xFFFFFFFFu : ((DWORD_PTR{1} << processors) - 1);
  switch (architecture) {
    case PROCESSOR_ARCHITECTURE_AMD64: info->dwProcessorType = 8664; break;   // PROCESSOR_AMD_X8664
    case PROCESSOR_ARCHITECTURE_INTEL: info->dwProcessorType = 586; break;    // PROCESSOR_INTEL_PENTIUM
    case PROCESSOR_ARCHITECTURE_IA64: info->dwProcessorType = 2200; break;    // PROCESSOR_INTEL_IA64
    default: info->dwProcessorType = 0; break;
  }
  info->dwAllocationGranularity = 65536;
  info->wProcessorLevel = 6;
  info->wProcessorRevision = 0x9E0A;
}

}  // namespace

OsInfo CurrentOsInfo() {
  auto machine = CurrentMachine();
  const nlohmann::json& os = machine->Section("os");
  OsInfo info;
  info.majorVersion = Field<DWORD>(os, "majorVersion", info.majorVersion);
  info.minorVersion = Field<DWORD>(os, "minorVersion", info.minorVersion);
  info.buildNumber = Field<DWORD>(os, "buildNumber", info.buildNumber);
  info.platformId = Field<DWORD>(os, "platformId", info.platformId);
  info.servicePackMajor = Field<WORD>(os, "servicePackMajor", info.servicePackMajor);
  info.servicePackMinor = Field<WORD>(os, "servicePackMinor", info.servicePackMinor);
  info.csdVersion = Field<std::string>(os, "csdVersion", info.csdVersion);
  info.productType = Field<BYTE>(os, "productType", info.productType);
  info.suiteMask = Field<WORD>(os, "suiteMask", info.suiteMask);
  if (os.is_object() && os.contains("edition")) {
    const auto& edition = os["edition"];
    info.edition = edition.is_number_integer() ? std::optional<DWORD>(static_cast<DWORD>(edition.get<long long>()))
                                               : std::nullopt;
  }
  info.architecture = Field<WORD>(os, "architecture", info.architecture);
  info.wow64 = Field<bool>(os, "wow64", info.wow64) && info.architecture != PROCESSOR_ARCHITECTURE_INTEL;
  info.versionExFailure = FailureSwitch(os, "versionExFails", ERROR_INSUFFICIENT_BUFFER);
  info.versionFailure = FailureSwitch(os, "versionFails", ERROR_INSUFFICIENT_BUFFER);
  return info;
}

}  // namespace hl::platform

BOOL GetVersionExA(LPOSVERSIONINFOA lpVersionInformation) {
  using hl::platform::Fail;
  if (lpVersionInformation == nullptr) return Fail(ERROR_INVALID_PARAMETER, FALSE);
  const DWORD size = lpVersionInformation->dwOSVersionInfoSize;
  const bool extended = size == sizeof(OSVERSIONINFOEXA);
  if (size != sizeof(OSVERSIONINFOA) && !extended) return Fail(ERROR_INSUFFICIENT_BUFFER, FALSE);
  if (auto fault = hl::platform::InjectedFault("GetVersionExA", extended ? "OSVERSIONINFOEXA" : "OSVERSIONINFOA"))
    return Fail(*fault, FALSE);
  const hl::platform::OsInfo os = hl::platform::CurrentOsInfo();
  // "versionFails": no form answers; "versionExFails": only the basic one does (as on systems
  // that predate the extended structure).
  if (os.versionFailure) return Fail(*os.versionFailure, FALSE);
  if (extended && os.versionExFailure) return Fail(*os.versionExFailure, FALSE);
  lpVersionInformation->dwMajorVersion = os.majorVersion;
  lpVersionInformation->dwMinorVersion = os.minorVersion;
  lpVersionInformation->dwBuildNumber = os.buildNumber;
  lpVersionInformation->dwPlatformId = os.platformId;
  std::memset(lpVersionInformation->szCSDVersion, 0, sizeof lpVersionInformation->szCSDVersion);
  std::strncpy(lpVersionInformation->szCSDVersion, os.csdVersion.c_str(),
               sizeof lpVersionInformation->szCSDVersion - 1);
  if (extended) {
    auto* ex = reinterpret_cast<LPOSVERSIONINFOEXA>(lpVersionInformation);
    ex->wServicePackMajor = os.servicePackMajor;
    ex->wServicePackMinor = os.servicePackMinor;
    ex->wSuiteMask = os.suiteMask;
    ex->wProductType = os.productType;
    ex->wReserved = 0;
  }
  return TRUE;
}

void GetSystemInfo(LPSYSTEM_INFO lpSystemInfo) {
  const hl::platform::OsInfo os = hl::platform::CurrentOsInfo();
  // A 32-bit process under WOW64 sees an x86 processor.
  WORD architecture = os.wow64 ? static_cast<WORD>(PROCESSOR_ARCHITECTURE_INTEL) : os.architecture;
  hl::platform::FillSystemInfo(lpSystemInfo, architecture, os.wow64 || architecture == PROCESSOR_ARCHITECTURE_INTEL);
}

void GetNativeSystemInfo(LPSYSTEM_INFO lpSystemInfo) {
  const hl::platform::OsInfo os = hl::platform::CurrentOsInfo();
  hl::platform::FillSystemInfo(lpSystemInfo, os.architecture, os.architecture == PROCESSOR_ARCHITECTURE_INTEL);
}

BOOL GetProductInfo(DWORD, DWORD, DWORD, DWORD, PDWORD pdwReturnedProductType) {
  using hl::platform::Fail;
  const hl::platform::OsInfo os = hl::platform::CurrentOsInfo();
  // A system without an edition predates the call; kernel32 does not export it then.
  if (!os.edition) return Fail(ERROR_CALL_NOT_IMPLEMENTED, FALSE);
  if (pdwReturnedProductType == nullptr) return Fail(ERROR_INVALID_PARAMETER, FALSE);
  *pdwReturnedProductType = *os.edition;
  return TRUE;
}

BOOL IsWow64Process(HANDLE hProcess, PBOOL Wow64Process) {
  using hl::platform::Fail;
  if (hProcess != GetCurrentProcess()) return Fail(ERROR_INVALID_HANDLE, FALSE);
  if (Wow64Process == nullptr) return Fail(ERROR_INVALID_PARAMETER, FALSE);
  *Wow64Process = hl::platform::CurrentOsInfo().wow64 ? TRUE : FALSE;
  return TRUE;
}
