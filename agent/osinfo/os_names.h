// Naming rules behind GetOSNameEx, kept apart from the system queries.
#pragma once

#include <optional>
#include <string>

#include "platform/win32.h"

namespace hl::osinfo {

// What the naming needs to know about the system.
struct OsFacts {
  DWORD major = 0;
  DWORD minor = 0;
  DWORD platformId = 0;
  BYTE productType = 0;  // 1 workstation, 2 domain controller, 3 server
  WORD suiteMask = 0;
  std::string csdVersion;  // service-pack text
  WORD architecture = 0;   // 9 = x64
  bool extended = false;   // the extended version information was read

  bool workstation() const { return productType == VER_NT_WORKSTATION; }
  bool x64() const { return architecture == PROCESSOR_ARCHITECTURE_AMD64; }
};

// The edition word for a product-information code, or null when the table has none.
const char* EditionWord(DWORD edition);

// Codes 98-100 on a workstation at 6.2, 6.3 and 10.0 name the whole system; none otherwise.
std::optional<std::string> WholeEditionName(const OsFacts& facts, DWORD edition);

// The version table with `word` in place; empty for versions outside it.
std::string VersionName(const OsFacts& facts, const std::string& word);

// Naming without the product-information call. `productOptions` is the ProductType text of
// ProductOptions (read only when the extended information is missing), none when unreadable.
std::string LegacyName(const OsFacts& facts, const std::optional<std::string>& productOptions);

}  // namespace hl::osinfo
