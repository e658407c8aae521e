#include "agent/osinfo/osinfo.h"

#include <gtest/gtest.h>

#include "tests/support/log_capture.h"

namespace {

using hl::test::LogCapture;
using hl::test::TempMachine;
using nlohmann::json;

// A computer as machine.json "os" describes it; `edition` null: no product-information call.
json Os(int platform, int major, int minor, int productType, json edition, int architecture, int suite = 0,
        const char* csd = "") {
  return json{{"platformId", platform},   {"majorVersion", major},       {"minorVersion", minor},
              {"productType", productType}, {"edition", edition},       {"architecture", architecture},
              {"suiteMask", suite},         {"csdVersion", csd},         {"wow64", architecture == 9}};
}

struct NameCase {
  const char* label;
  json os;
  const char* name;
  int family;
};

void ExpectName(const NameCase& c, const std::string& registry = std::string()) {
  TempMachine machine;
  machine.WriteMachineJson({{"os", c.os}});
  if (!registry.empty()) machine.WriteRegistry(registry);
  std::optional<std::string> name = GetOSNameEx();
  ASSERT_TRUE(name.has_value()) << c.label;
  EXPECT_EQ(*name, c.name) << c.label;
  EXPECT_EQ(GetOsFamily(), c.family) << c.label;
}

TEST(OsName, ModernNaming) {
  const NameCase cases[] = {
      {"Server 2019", Os(2, 10, 0, 3, 7, 9), "Windows Server 2016 Standard Edition (x64)", 6},
      {"Windows 10 Pro x64", Os(2, 10, 0, 1, 48, 9), "Windows 10 Professional Edition (x64)", 6},
      {"Windows 10 Home single language", Os(2, 10, 0, 1, 100, 9), "Windows 10 (x64)", 6},
      {"Windows 10 code 98, 32-bit", Os(2, 10, 0, 1, 98, 0), "Windows 10", 6},
      {"Windows 8.1 code 99", Os(2, 6, 3, 1, 99, 9), "Windows 8.1 (x64)", 5},
      {"Windows 8 code 100, 32-bit", Os(2, 6, 2, 1, 100, 0), "Windows 8", 4},
      {"Windows 10 Education", Os(2, 10, 0, 1, 121, 0), "Windows 10 Education", 6},
      {"Windows 7 Ultimate x64", Os(2, 6, 1, 1, 1, 9), "Windows 7 Ultimate Edition (x64)", 3},
      {"Vista Home Premium", Os(2, 6, 0, 1, 3, 0), "Windows Vista Home Premium Edition", 2},
      {"Server 2008 core, 32-bit", Os(2, 6, 0, 3, 13, 0),
       "Windows Server 2008 Standard Edition (core installation)", 2},
      {"Server 2008 R2 domain controller", Os(2, 6, 1, 2, 8, 9), "Windows Server 2008 R2 Datacenter Edition (x64)", 3},
      {"Server 2012 under WOW64", Os(2, 6, 2, 3, 7, 9), "Windows Server 2012 Standard Edition (x64)", 4},
      {"Server 2012, 32-bit processor", Os(2, 6, 2, 3, 7, 0), "Windows Server 2012 Standard Edition (x64)", 4},
      {"Server 2012 R2 essentials", Os(2, 6, 3, 3, 50, 9), "Windows Server 2012 R2 Essentials Edition (x64)", 5},
      {"Server 2016 evaluation", Os(2, 10, 0, 3, 79, 9),
       "Windows Server 2016 Server Standard (evaluation installation) Edition (x64)", 6},
      // Codes 98-100 name a whole system only on workstations of 8, 8.1 and 10.
      {"code 100 on a server", Os(2, 10, 0, 3, 100, 9), "Windows Server 2016 Beta (x64)", 6},
      {"code 99 on Windows 7", Os(2, 6, 1, 1, 99, 0), "Windows 7 Beta", 3},
      {"version 6.4", Os(2, 6, 4, 1, 48, 9), "", 7},
      {"version 11.0", Os(2, 11, 0, 1, 48, 9), "", 7},
      {"version 10.1", Os(2, 10, 1, 3, 7, 9), "", 7},
  };
  for (const NameCase& c : cases) ExpectName(c);
}

TEST(OsName, UnknownEditionIsBetaWithItsLogLines) {
  TempMachine machine;
  machine.WriteMachineJson({{"os", Os(2, 10, 0, 1, 200, 0)}});
  LogCapture log(machine);
  EXPECT_EQ(GetOSNameEx(), "Windows 10 Beta");
  EXPECT_TRUE(log.Has("[INFO] dwPlatformInfo : 200")) << log.All();
  EXPECT_TRUE(log.Has("[INFO] dwMajorVersion : 10"));
  EXPECT_TRUE(log.Has("[INFO] dwMinorVersion : 0"));
  EXPECT_TRUE(log.Has("[ERROR] Edition can't be retrieved. So Assuming it as Beta")) << log.All();
}

TEST(OsName, ModernNamingLogsTheFacts) {
  TempMachine machine;
  json os = Os(2, 10, 0, 1, 48, 9);
  os["servicePackMajor"] = 1;
  machine.WriteMachineJson({{"os", os}});
  LogCapture log(machine);
  ASSERT_TRUE(GetOSNameEx().has_value());
  std::vector<std::string> expected = {
      "[DEBUG] GetOSNameEx : dwMinorVersion : 0", "[DEBUG] GetOSNameEx : dwMajorVersion : 0",
      "[DEBUG] osvi.dwMajorVersion : 10",        "[DEBUG] osvi.dwMinorVersion : 0",
      "[DEBUG] osvi.wServicePackMajor : 1",      "[DEBUG] osvi.wServicePackMinor : 0",
      "[DEBUG] dwPlatformInfo : 48",             "[DEBUG] si.wProcessorArchitecture : 9",
  };
  std::vector<std::string> lines = log.Lines();
  ASSERT_GE(lines.size(), expected.size()) << log.All();
  EXPECT_EQ(std::vector<std::string>(lines.begin(), lines.begin() + expected.size()), expected) << log.All();
}

TEST(OsName, WholeNameReturnsWithoutRegistryLookUp) {
  TempMachine machine;
  machine.WriteMachineJson({{"os", Os(2, 10, 0, 1, 100, 9)}});
  LogCapture log(machine);
  EXPECT_EQ(GetOSNameEx(), "Windows 10 (x64)");
  EXPECT_TRUE(log.Has("[DEBUG] Returning with OS Name Windows 10 (x64)")) << log.All();
  EXPECT_TRUE(log.Matching("ReadRegSZ").empty()) << log.All();
}

TEST(OsName, PreviewProductNameMakesTheEditionBeta) {
  const std::string preview =
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion]\n"
      "\"ProductName\"=\"Windows 8.1 Pro Preview\"\n";
  {
    TempMachine machine;
    machine.WriteMachineJson({{"os", Os(2, 6, 3, 1, 48, 0)}});
    machine.WriteRegistry(preview);
    LogCapture log(machine);
    EXPECT_EQ(GetOSNameEx(), "Windows 8.1 Beta");
    EXPECT_TRUE(log.Has("[INFO] OS Name detected from registry is : Windows 8.1 Pro Preview")) << log.All();
  }
  // A 32-bit process on 64-bit Windows reads the name from its own view.
  NameCase wow64{"8.1 preview under WOW64", Os(2, 6, 3, 1, 48, 9), "Windows 8.1 Beta (x64)", 5};
  ExpectName(wow64,
             "[HKEY_LOCAL_MACHINE\\SOFTWARE\\WOW6432Node\\Microsoft\\Windows NT\\CurrentVersion]\n"
             "\"ProductName\"=\"Windows 8.1 Pro Preview\"\n");
  // Case-sensitive, and a plain product name leaves the edition word alone.
  NameCase lower{"lower-case preview", Os(2, 6, 3, 1, 48, 0), "Windows 8.1 Professional Edition", 5};
  ExpectName(lower,
             "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion]\n"
             "\"ProductName\"=\"Windows 8.1 pro preview\"\n");
}

TEST(OsName, ArgumentsReplaceTheSystemVersionInTheNaming) {
  TempMachine machine;
  machine.WriteMachineJson({{"os", Os(2, 10, 0, 1, 48, 9)}});
  LogCapture log(machine);
  EXPECT_EQ(GetOSNameEx(6, 1), "Windows 7 Professional Edition (x64)");
  EXPECT_EQ(GetOSNameEx(6, 0), "Windows Vista Professional Edition (x64)");
  EXPECT_TRUE(log.Has("[DEBUG] GetOSNameEx : dwMinorVersion : 1")) << log.All();
  EXPECT_TRUE(log.Has("[DEBUG] GetOSNameEx : dwMajorVersion : 6"));
  EXPECT_TRUE(log.Has("[DEBUG] osvi.dwMajorVersion : 10"));
}

TEST(OsName, LegacyNaming) {
  const json none = nullptr;
  const NameCase cases[] = {
      {"Win32s", Os(0, 3, 10, 1, none, 0), "Win32s", -1},
      {"Windows 95", Os(1, 4, 0, 1, none, 0), "Windows 95", -1},
      {"Windows 98", Os(1, 4, 10, 1, none, 0), "Windows 98", -1},
      {"Windows 98 SE", Os(1, 4, 10, 1, none, 0, 0, " A "), "Windows 98 SE", -1},
      {"Windows ME", Os(1, 4, 90, 1, none, 0), "Windows Millennium Edition", -1},
      {"Windows 9x other", Os(1, 4, 50, 1, none, 0), "", -1},
      {"NT 4 workstation", Os(2, 4, 0, 1, none, 0), "Windows NT Workstation 4.0", -1},
      {"NT 4 server", Os(2, 4, 0, 3, none, 0), "Windows NT Server 4.0", -1},
      {"NT 4 terminal server", Os(2, 4, 0, 3, none, 0, 0x10), "Windows NT Server 4.0, Terminal Server Edition", -1},
      {"2000 professional", Os(2, 5, 0, 1, none, 0), "Windows 2000 Professional", 0},
      {"2000 server", Os(2, 5, 0, 3, none, 0), "Windows 2000 Server", 0},
      {"2000 advanced server", Os(2, 5, 0, 2, none, 0, 0x2), "Windows 2000 Advanced Server", 0},
      {"2000 datacenter", Os(2, 5, 0, 3, none, 0, 0x82), "Windows 2000 Datacenter Server", 0},
      {"XP professional", Os(2, 5, 1, 1, none, 0, 0x100), "Windows XP Professional", 1},
      {"XP home", Os(2, 5, 1, 1, none, 0, 0x300), "Windows XP Home Edition ", 1},
      {"XP x64", Os(2, 5, 2, 1, none, 9), "Windows XP Professional x64 Edition", 1},
      {"2003 standard", Os(2, 5, 2, 3, none, 0), "Windows Server 2003, Standard Edition", 1},
      {"2003 enterprise", Os(2, 5, 2, 3, none, 0, 0x2), "Windows Server 2003, Enterprise Edition", 1},
      {"2003 datacenter", Os(2, 5, 2, 3, none, 0, 0x82), "Windows Server 2003, Datacenter Edition", 1},
      {"2003 web", Os(2, 5, 2, 3, none, 0, 0x400), "Windows Server 2003, Web Edition", 1},
      {"2003 small business", Os(2, 5, 2, 3, none, 0, 0x1), "Windows Server 2003 for Small Business Server", 1},
      {"2003 x64 standard", Os(2, 5, 2, 3, none, 9), "Windows Server 2003, Standard x64 Edition", 1},
      {"2003 x64 enterprise", Os(2, 5, 2, 3, none, 9, 0x82), "Windows Server 2003, Enterprise x64 Edition", 1},
      {"2003 x64 datacenter", Os(2, 5, 2, 3, none, 9, 0x80), "Windows Server 2003, Datacenter x64 Edition", 1},
      {"Windows 7 without the call", Os(2, 6, 1, 1, none, 0), "Professional", 3},
      {"Windows 7 x64 without the call", Os(2, 6, 1, 1, none, 9), "", 3},
  };
  for (const NameCase& c : cases) ExpectName(c);
}

TEST(OsName, BasicVersionInformationReadsProductOptions) {
  struct Case {
    const char* productType;
    const char* name;
  } cases[] = {
      {"WinNT", "Windows NT Workstation 4.0"},
      {"LANMANNT", "Windows NT Server 4.0"},
      {"ServerNT", "Windows NT Advanced Server 4.0"},
      {"Other", "Windows NT  4.0"},
      {nullptr, "Windows NT  4.0"},
  };
  for (const Case& c : cases) {
    TempMachine machine;
    json os = Os(2, 4, 0, 1, nullptr, 0);
    os["versionExFails"] = true;
    machine.WriteMachineJson({{"os", os}});
    std::string reg = "[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\ProductOptions]\n";
    if (c.productType != nullptr) reg += std::string("\"ProductType\"=\"") + c.productType + "\"\n";
    machine.WriteRegistry(reg);
    EXPECT_EQ(GetOSNameEx(), c.name) << (c.productType ? c.productType : "(missing)");
  }
  // Longer than the 1,024-byte buffer: no word.
  TempMachine machine;
  json os = Os(2, 5, 0, 1, nullptr, 0);
  os["versionExFails"] = true;
  machine.WriteMachineJson({{"os", os}});
  machine.WriteRegistry("[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\ProductOptions]\n\"ProductType\"=\"" +
                        std::string(1100, 'W') + "\"\n");
  EXPECT_EQ(GetOSNameEx(), "Windows 2000  5.0");
}

TEST(OsName, VersionQueryFailure) {
  TempMachine machine;
  json os = Os(2, 6, 1, 1, 48, 9);
  os["versionFails"] = true;
  machine.WriteMachineJson({{"os", os}});
  LogCapture log(machine);
  EXPECT_EQ(GetOSNameEx(), std::nullopt);
  EXPECT_EQ(GetOsFamily(), 1);
  EXPECT_EQ(log.Matching("[ERROR] GetOsFamily : Unable to find the OSVersion , Errorcode ").size(), 1u) << log.All();
  EXPECT_EQ(isWin7orWin8(), 0);
  EXPECT_TRUE(log.Has("[DEBUG] isWin7orWin8 : GetOSName ")) << log.All() << "a missing name is logged empty";
}

TEST(OsFamily, NotNtOrTooOldLogsAnError) {
  TempMachine machine;
  machine.WriteMachineJson({{"os", Os(1, 4, 10, 1, nullptr, 0)}});
  LogCapture log(machine);
  EXPECT_EQ(GetOsFamily(), -1);
  EXPECT_TRUE(log.Has("[ERROR] GetOsFamily :The windows is unable to found . ")) << log.All();
}

TEST(OsFamily, IsWin7OrWin8) {
  struct Case {
    int major, minor;
    int expected;
  } cases[] = {{6, 0, 0}, {6, 1, 1}, {6, 2, 1}, {6, 3, 0}, {10, 0, 0}};
  for (const Case& c : cases) {
    TempMachine machine;
    machine.WriteMachineJson({{"os", Os(2, c.major, c.minor, 1, 48, 9)}});
    LogCapture log(machine);
    EXPECT_EQ(isWin7orWin8(), c.expected) << c.major << "." << c.minor;
    EXPECT_EQ(log.Count(c.expected ? "[DEBUG] isWin7orWin8 : TRUE" : "[DEBUG] isWin7orWin8 : FALSE"), 1u);
  }
  TempMachine machine;
  machine.WriteMachineJson({{"os", Os(2, 6, 1, 1, 1, 9)}});
  LogCapture log(machine);
  isWin7orWin8();
  EXPECT_TRUE(log.Has("[DEBUG] isWin7orWin8 : GetOSName Windows 7 Ultimate Edition (x64)")) << log.All();
}

}  // namespace
