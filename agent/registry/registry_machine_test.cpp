// Registry wrappers on the simulated computer only: injected store failures, a 64-bit process, and
// changes reaching the machine folder's registry file.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "agent/registry/registry.h"
#include "tests/support/log_capture.h"

namespace {

using hl::test::LogCapture;
using hl::test::TempMachine;

bool KeyExists(const char* subKey, REGSAM view = 0) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, subKey, 0, KEY_QUERY_VALUE | view, &key) != ERROR_SUCCESS) return false;
  RegCloseKey(key);
  return true;
}

TEST(RegistryReadFaults, OpenFailuresOtherThanNotFoundAreErrors) {
  TempMachine machine;
  machine.WriteRegistry("[HKEY_LOCAL_MACHINE\\SYSTEM\\HarborlineTest]\n\"Seven\"=dword:00000007\n");
  machine.WriteMachineJson({{"faults", {{"RegOpenKeyExA", 5}}}});
  LogCapture log(machine);
  DWORD value = 42;
  EXPECT_EQ(ReadDwordRegistryData(HKEY_LOCAL_MACHINE, "SYSTEM\\HarborlineTest", "Seven", &value), ERROR_ACCESS_DENIED);
  EXPECT_EQ(value, 42u);
  EXPECT_TRUE(log.Has("[ERROR] ReadDwordRegistryData: Error while opening registry key SYSTEM\\HarborlineTest,and the "
                      "errorcode is : 5 "))
      << log.All();
  std::optional<std::string> out;
  EXPECT_EQ(ReadRegSZ(HKEY_LOCAL_MACHINE, "SYSTEM\\HarborlineTest", "Seven", out), ERROR_ACCESS_DENIED);
  EXPECT_EQ(out, std::nullopt);
  std::string text = "stale";
  EXPECT_EQ(GetRegKeyValue("HKLM\\SYSTEM\\HarborlineTest", "Seven", text, false), -1);
  EXPECT_EQ(text, "");
}

TEST(RegistryWriteFaults, StoreFailureLogsTheDetailsAndReturnsTheCode) {
  TempMachine machine;
  machine.WriteMachineJson({{"faults", {{"RegSetValueExW", 5}}}});
  LogCapture log(machine);
  EXPECT_EQ(writeValueEx(HKEY_LOCAL_MACHINE, "SYSTEM\\T", "Name", "Data", REG_SZ), ERROR_ACCESS_DENIED);
  const char* lines[] = {
      "[ERROR] writeValueEx:  Function WriteValue failure!:5",
      "[ERROR] writeValueEx:    Subkey: SYSTEM\\T ",
      "[ERROR] writeValueEx:    Valuename: Name ",
      "[ERROR] writeValueEx:    Valuedata: Data ",
      "[ERROR] writeValueEx:    Datatype: 1 ",
      "[ERROR] Error Code : 5 , Error Message : Access is denied.  ",
  };
  for (const char* line : lines) {
    EXPECT_TRUE(log.Has(line)) << line << "\n" << log.All();
  }
  EXPECT_TRUE(log.Matching("End Of writeValueEx").empty());
}

TEST(RegistryWriteFaults, KeyCreationFailureStopsTheWrite) {
  TempMachine machine;
  machine.WriteMachineJson({{"faults", {{"RegCreateKeyExA", 5}}}});
  LogCapture log(machine);
  EXPECT_EQ(writeValue(HKEY_LOCAL_MACHINE, "SYSTEM\\T", "Name", "1", REG_DWORD), ERROR_ACCESS_DENIED);
  EXPECT_TRUE(log.Has("[ERROR] addRegistryKey:  Create registry key \"SYSTEM\\T\" function failed: 5 ")) << log.All();
  EXPECT_TRUE(log.Has("[ERROR] writeValue:  WriteValue failure during key creation! 5 ")) << log.All();
  EXPECT_TRUE(log.Matching("Key found").empty());
}

TEST(RegistryDeleteFaults, TreeDeletionStopsAtTheFirstFailure) {
  TempMachine machine;
  machine.WriteRegistry("[HKEY_LOCAL_MACHINE\\SYSTEM\\Tree\\A\\B]\n");
  machine.WriteMachineJson({{"faults", {{"RegDeleteKeyA", 5}}}});
  EXPECT_EQ(DeleteRegistryTree(HKEY_LOCAL_MACHINE, "SYSTEM\\Tree"), 0);
  EXPECT_EQ(DeleteRegistrySubkeys(HKEY_LOCAL_MACHINE, "SYSTEM\\Tree"), 0);
  EXPECT_TRUE(KeyExists("SYSTEM\\Tree\\A\\B"));
}

TEST(RegistryMachine, ExWritersOfA64BitProcessUseItsNativeView) {
  TempMachine machine;
  machine.WriteMachineJson({{"os", {{"wow64", false}}}});
  ASSERT_EQ(ProcessRunsUnderWow64(), 0);
  ASSERT_EQ(writeValueEx(HKEY_LOCAL_MACHINE, "SOFTWARE\\Plain", "V", "1", REG_DWORD), 0);
  EXPECT_TRUE(KeyExists("SOFTWARE\\Plain", KEY_WOW64_64KEY));
  EXPECT_FALSE(KeyExists("SOFTWARE\\Plain", KEY_WOW64_32KEY));
}

TEST(RegistryMachine, DeletedTreeLeavesTheRegistryFile) {
  TempMachine machine;
  machine.WriteRegistry(
      "[HKEY_LOCAL_MACHINE\\SYSTEM\\Tree\\A]\n\"v\"=\"1\"\n\n[HKEY_LOCAL_MACHINE\\SYSTEM\\Sibling]\n");
  EXPECT_EQ(DeleteRegistryTree(HKEY_LOCAL_MACHINE, "SYSTEM\\Tree"), 1);
  EXPECT_EQ(machine.ReadRegistry().find("Tree"), std::string::npos);
  EXPECT_NE(machine.ReadRegistry().find("Sibling"), std::string::npos);
}

}  // namespace
