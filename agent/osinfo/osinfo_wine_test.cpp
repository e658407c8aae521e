// OS naming on the version answers of Windows itself, as Wine gives them. Wine chooses the Windows
// version per program (HKCU\Software\Wine\AppDefaults\<program>\Version), read when a process
// starts: the test starts itself once per version and its probe reports what the naming makes of
// that system. The executable carries the tool's manifest, so 8.1 and 10 report their true version.
#include "agent/osinfo/osinfo.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

#include "tests/support/temp_dir.h"
#include "tests/support/wine.h"

namespace {

constexpr const char* kProbeOutput = "HL_OS_PROBE_OUTPUT";

std::string ThisProgram() {
  char path[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, path, MAX_PATH);
  return path;
}

std::string AppDefaultsKey() {
  const std::string program = ThisProgram();
  return "Software\\Wine\\AppDefaults\\" + program.substr(program.find_last_of("\\/") + 1);
}

// Runs the probe of this program under the given Wine version; returns "<name>\n<family>\n".
std::string ProbeUnder(const char* version, const hl::test::TempDir& dir) {
  HKEY key = nullptr;
  const std::string appKey = AppDefaultsKey();
  if (RegCreateKeyExA(HKEY_CURRENT_USER, appKey.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr) !=
      ERROR_SUCCESS) {
    ADD_FAILURE() << "cannot create " << appKey;
    return {};
  }
  RegSetValueExA(key, "Version", 0, REG_SZ, reinterpret_cast<const BYTE*>(version),
                 static_cast<DWORD>(strlen(version) + 1));
  RegCloseKey(key);

  const std::string output = (dir.path() / (std::string(version) + ".txt")).string();
  SetEnvironmentVariableA(kProbeOutput, output.c_str());
  std::string commandLine = "\"" + ThisProgram() + "\" --gtest_filter=OsNameProbe.*";
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  const BOOL started = CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                                      &startup, &process);
  SetEnvironmentVariableA(kProbeOutput, nullptr);
  DWORD exitCode = 1;
  if (started) {
    WaitForSingleObject(process.hProcess, 60000);
    GetExitCodeProcess(process.hProcess, &exitCode);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
  }
  RegDeleteKeyA(HKEY_CURRENT_USER, appKey.c_str());
  EXPECT_TRUE(started) << "cannot start " << commandLine << ": " << GetLastError();
  EXPECT_EQ(exitCode, 0u) << "the probe failed under " << version;
  std::ifstream in(output);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// Not a test of its own: the probe that the sweep starts, skipped in a plain run. It reports the
// name and family, and the facts they were made from: "<major>.<minor> <product type> <edition>".
TEST(OsNameProbe, ReportTheNamingOfThisSystem) {
  char output[MAX_PATH] = {};
  if (GetEnvironmentVariableA(kProbeOutput, output, MAX_PATH) == 0) GTEST_SKIP() << "run by OsName.WineVersions";
  OSVERSIONINFOEXA version{};
  version.dwOSVersionInfoSize = sizeof version;
  GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&version));
  DWORD edition = 0;
  GetProductInfo(version.dwMajorVersion, version.dwMinorVersion, 0, 0, &edition);
  std::optional<std::string> name = GetOSNameEx();
  std::ofstream(output) << (name ? *name : "(none)") << "\n"
                        << GetOsFamily() << "\n"
                        << version.dwMajorVersion << "." << version.dwMinorVersion << " "
                        << static_cast<int>(version.wProductType) << " " << edition << "\n";
}

TEST(OsName, WineVersions) {
  if (!hl::test::RunsUnderWine()) GTEST_SKIP() << "choosing the Windows version per program needs Wine";
  // What the naming must make of each set of facts Wine reports. Wine's workstations of 6.0 and
  // later report edition 28 (Ultimate N), its servers 7 (Standard); a 32-bit program in a 64-bit
  // prefix runs under WOW64. The table is keyed by the facts because Wine's names for the versions
  // do not always give the product type they say (Wine 8.0's "win7" reports a server and its
  // "win2008r2" a workstation).
  struct Expected {
    const char* facts;
    const char* name;
    int family;
    bool met = false;
  } expected[] = {
      {"5.2 1 0", "Windows XP Professional x64 Edition", 1},
      {"5.2 3 0", "Windows Server 2003, Standard x64 Edition", 1},
      {"6.0 1 28", "Windows Vista Ultimate Edition (x64)", 2},
      {"6.0 3 7", "Windows Server 2008 Standard Edition (x64)", 2},
      {"6.1 1 28", "Windows 7 Ultimate Edition (x64)", 3},
      {"6.1 3 7", "Windows Server 2008 R2 Standard Edition (x64)", 3},
      {"6.2 1 28", "Windows 8 Ultimate Edition (x64)", 4},
      {"6.3 1 28", "Windows 8.1 Ultimate Edition (x64)", 5},
      {"10.0 1 28", "Windows 10 Ultimate Edition (x64)", 6},
  };
  struct Sweep {
    const char* version;
    const char* number;  // the version Wine must report for it
  } sweep[] = {
      {"winxp64", "5.2"}, {"win2003", "5.2"}, {"vista", "6.0"}, {"win2008", "6.0"}, {"win7", "6.1"},
      {"win2008r2", "6.1"}, {"win8", "6.2"}, {"win81", "6.3"}, {"win10", "10.0"},
  };
  hl::test::TempDir dir("hl-os-probe-");
  for (const Sweep& s : sweep) {
    std::istringstream report(ProbeUnder(s.version, dir));
    std::string name, family, facts;
    std::getline(report, name);
    std::getline(report, family);
    std::getline(report, facts);
    EXPECT_EQ(facts.substr(0, facts.find(' ')), s.number) << s.version << ": " << facts;
    Expected* row = nullptr;
    for (Expected& e : expected)
      if (facts == e.facts) row = &e;
    if (row == nullptr) {
      ADD_FAILURE() << s.version << ": facts not in the table: " << facts << " (named " << name << ")";
      continue;
    }
    row->met = true;
    EXPECT_EQ(name, row->name) << s.version << ": " << facts;
    EXPECT_EQ(family, std::to_string(row->family)) << s.version << ": " << facts;
  }
  for (const Expected& e : expected) EXPECT_TRUE(e.met) << "no version of the sweep reported " << e.facts;
}

}  // namespace
