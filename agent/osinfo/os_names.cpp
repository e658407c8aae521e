// Naming tables: edition words, the version table and the names of systems before Vista.
#include "agent/osinfo/os_names.h"

#include "agent/log/format.h"

namespace hl::osinfo {

namespace {

struct Edition {
  DWORD code;
  const char* word;
};

constexpr Edition kEditions[] = {
    {1, "Ultimate Edition"},
    {28, "Ultimate Edition"},
    {2, "Home Basic Edition"},
    {5, "Home Basic Edition"},
    {3, "Home Premium Edition"},
    {26, "Home Premium Edition"},
    {4, "Enterprise Edition"},
    {10, "Enterprise Edition"},
    {27, "Enterprise Edition"},
    {6, "Business Edition"},
    {16, "Business Edition"},
    {7, "Standard Edition"},
    {8, "Datacenter Edition"},
    {9, "Small Business Server"},
    {11, "Starter"},
    {47, "Starter"},
    {66, "Starter"},
    {12, "Datacenter Edition (core installation)"},
    {13, "Standard Edition (core installation)"},
    {14, "Enterprise Edition (core installation)"},
    {17, "Web Server Edition"},
    {29, "Web Server Edition"},
    {20, "Storage Server Express Edition"},
    {21, "Storage Server Standard Edition"},
    {22, "Storage Server Workgroup Edition"},
    {23, "Storage Server Enterprise Edition"},
    {25, "Small Business Server Premium Edition"},
    {33, "Foundation Edition"},
    {36, "Standard Edition without Hyper-V"},
    {37, "Datacenter Edition without Hyper-V"},
    {38, "Enterprise Edition without Hyper-V"},
    {39, "Datacenter Edition without Hyper-V (core installation)"},
    {40, "Standard Edition without Hyper-V (core installation)"},
    {41, "Enterprise Edition without Hyper-V (core installation)"},
    {48, "Professional Edition"},
    {49, "Professional Edition"},
    {69, "Professional Edition"},
    {50, "Essentials Edition"},
    {65, "Embedded Standard Edition"},
    {79, "Server Standard (evaluation installation) Edition"},
    {101, "Home"},
    {103, "Professional with Media Center Edition"},
    {121, "Education"},
    {122, "Education N"},
    {123, "IoT Core"},
    {125, "Enterprise 2015 LTSB"},
    {126, "Enterprise 2015 LTSB N"},
    {129, "Enterprise 2015 LTSB Evaluation"},
    {130, "Enterprise 2015 LTSB N Evaluation"},
    {131, "IoT Core Commercial"},
};

struct VersionRow {
  DWORD major;
  DWORD minor;
  const char* formats[4];  // workstation, workstation x64, server, server x64
};

constexpr VersionRow kVersions[] = {
    {6, 0, {"Windows Vista %s", "Windows Vista %s (x64)", "Windows Server 2008 %s", "Windows Server 2008 %s (x64)"}},
    {6,
     1,
     {"Windows 7 %s", "Windows 7 %s (x64)", "Windows Server 2008 R2 %s", "Windows Server 2008 R2 %s (x64)"}},
    {6, 2, {"Windows 8 %s", "Windows 8 %s (x64)", "Windows Server 2012 %s (x64)", "Windows Server 2012 %s (x64)"}},
    {6,
     3,
     {"Windows 8.1 %s", "Windows 8.1 %s (x64)", "Windows Server 2012 R2 %s (x64)", "Windows Server 2012 R2 %s (x64)"}},
    {10, 0, {"Windows 10 %s", "Windows 10 %s (x64)", "Windows Server 2016 %s (x64)", "Windows Server 2016 %s (x64)"}},
};

std::string LegacyPrefix(const OsFacts& f) {
  if (f.major == 5 && f.minor == 0) return "Windows 2000 ";
  if (f.major == 5 && f.minor == 1) return "Windows XP ";
  if (f.major == 5 && f.minor == 2) return f.workstation() && f.x64() ? "Windows XP " : "Windows Server 2003";
  if (f.major <= 4) return "Windows NT ";
  return std::string();
}

std::string LegacySuffix(const OsFacts& f) {
  const WORD suite = f.suiteMask;
  const bool at52 = f.major == 5 && f.minor == 2;
  if (f.workstation()) {
    if (f.x64()) return at52 ? "Professional x64 Edition" : std::string();
    if (f.major == 4) return "Workstation 4.0";
    return (suite & VER_SUITE_PERSONAL) ? "Home Edition " : "Professional";
  }
  if (at52) {
    if (f.x64()) {
      if (suite & VER_SUITE_ENTERPRISE) return ", Enterprise x64 Edition";
      if (suite & VER_SUITE_DATACENTER) return ", Datacenter x64 Edition";
      return ", Standard x64 Edition";
    }
    if (suite & VER_SUITE_DATACENTER) return ", Datacenter Edition";
    if (suite & VER_SUITE_ENTERPRISE) return ", Enterprise Edition";
    if (suite & VER_SUITE_BLADE) return ", Web Edition";
    if ((suite & (VER_SUITE_SMALLBUSINESS | VER_SUITE_SMALLBUSINESS_RESTRICTED)) == 0) return ", Standard Edition";
    return " for Small Business Server";
  }
  if (f.major == 5 && f.minor == 0) {
    if (suite & VER_SUITE_DATACENTER) return "Datacenter Server";
    if (suite & VER_SUITE_ENTERPRISE) return "Advanced Server";
    return "Server";
  }
  return (suite & VER_SUITE_TERMINAL) ? "Server 4.0, Terminal Server Edition" : "Server 4.0";
}

bool EqualsNoCaseAscii(const std::string& a, const char* b) {
  size_t i = 0;
  for (; i < a.size() && b[i] != '\0'; ++i) {
    char x = a[i] >= 'a' && a[i] <= 'z' ? static_cast<char>(a[i] - 'a' + 'A') : a[i];
    char y = b[i] >= 'a' && b[i] <= 'z' ? static_cast<char>(b[i] - 'a' + 'A') : b[i];
    if (x != y) return false;
  }
  return i == a.size() && b[i] == '\0';
}

std::string ProductOptionsWord(const std::optional<std::string>& productType) {
  if (!productType) return std::string();
  if (EqualsNoCaseAscii(*productType, "WINNT")) return "Workstation";
  if (EqualsNoCaseAscii(*productType, "LANMANNT")) return "Server";
  if (EqualsNoCaseAscii(*productType, "SERVERNT")) return "Advanced Server";
  return std::string();
}

}  // namespace

const char* EditionWord(DWORD edition) {
  for (const Edition& entry : kEditions) {
    if (entry.code == edition) return entry.word;
  }
  return nullptr;
}

std::optional<std::string> WholeEditionName(const OsFacts& facts, DWORD edition) {
  if (edition < 98 || edition > 100 || !facts.workstation()) return std::nullopt;
  const char* base = nullptr;
  if (facts.major == 6 && facts.minor == 2) base = "Windows 8";
  if (facts.major == 6 && facts.minor == 3) base = "Windows 8.1";
  if (facts.major == 10 && facts.minor == 0) base = "Windows 10";
  if (base == nullptr) return std::nullopt;
  return facts.x64() ? std::string(base) + " (x64)" : std::string(base);
}

std::string VersionName(const OsFacts& facts, const std::string& word) {
  for (const VersionRow& row : kVersions) {
    if (row.major == facts.major && row.minor == facts.minor) {
      int column = (facts.workstation() ? 0 : 2) + (facts.x64() ? 1 : 0);
      return hl::Sprintf(row.formats[column], word);
    }
  }
  return std::string();
}

std::string LegacyName(const OsFacts& facts, const std::optional<std::string>& productOptions) {
  switch (facts.platformId) {
    case VER_PLATFORM_WIN32s:
      return "Win32s";
    case VER_PLATFORM_WIN32_WINDOWS:
      if (facts.major != 4) return std::string();
      if (facts.minor == 0) return "Windows 95";
      if (facts.minor == 10) {
        return facts.csdVersion.size() > 1 && facts.csdVersion[1] == 'A' ? "Windows 98 SE" : "Windows 98";
      }
      if (facts.minor == 90) return "Windows Millennium Edition";
      return std::string();
    case VER_PLATFORM_WIN32_NT: {
      std::string prefix = LegacyPrefix(facts);
      if (facts.extended) return prefix + LegacySuffix(facts);
      return hl::Sprintf("%s%s %d.%d", prefix, ProductOptionsWord(productOptions), facts.major, facts.minor);
    }
    default:
      return std::string();
  }
}

}  // namespace hl::osinfo
