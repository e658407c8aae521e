// The emulated operating system as machine.json "os" describes it (internal to the stand-in).
#pragma once

#include <optional>
#include <string>

#include "platform/core/win_types.h"

namespace hl::platform {

// Defaults describe Windows 10 Pro 22H2 (x64), seen by a 32-bit process under WOW64.
struct OsInfo {
  DWORD majorVersion = 10;
  DWORD minorVersion = 0;
  DWORD buildNumber = 19045;
  DWORD platformId = 2;
  WORD servicePackMajor = 0;
  WORD servicePackMinor = 0;
  std::string csdVersion;
  BYTE productType = 1;
  WORD suiteMask = 256;
  std::optional<DWORD> edition = 48;  // none: the system has no product-information call
  WORD architecture = 9;
  bool wow64 = true;                        // never on a 32-bit computer (architecture 0)
  std::optional<DWORD> versionExFailure;    // GetVersionExA with OSVERSIONINFOEXA fails with this code
  std::optional<DWORD> versionFailure;      // every GetVersionExA fails with this code
};

OsInfo CurrentOsInfo();

}  // namespace hl::platform
