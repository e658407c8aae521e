// WOW64 registry views: what a 32-bit process, a 64-bit process and a 32-bit computer see.
#include <gtest/gtest.h>

#include "platform/registry/registry_test_support.h"
#include "platform/registry/win_registry.h"
#include "tests/support/temp_machine.h"

namespace hl::platform::reg {
namespace {

using test::Create;
using test::GetDword;
using test::Open;
using test::ScopedKey;
using test::SetDword;

constexpr const char* kAgentKey = "Software\\Corvanta\\Harborline\\HLAgent";

class RegistryWow64 : public ::testing::Test {
 protected:
  void Machine(bool wow64, int architecture) {
    machine_.WriteMachineJson({{"os", {{"wow64", wow64}, {"architecture", architecture}}}});
  }
  LONG ReadAgentFlag(const char* path, REGSAM sam, DWORD& number) {
    ScopedKey key;
    if (LONG result = Open(HKEY_LOCAL_MACHINE, path, key, KEY_READ | sam)) return result;
    return GetDword(key.get(), "Flag", number);
  }
  hl::test::TempMachine machine_;
};

TEST_F(RegistryWow64, ThirtyTwoBitProcessIsRedirectedByDefault) {
  // No machine.json: a 32-bit process on 64-bit Windows.
  ScopedKey agent;
  ASSERT_EQ(Create(HKEY_LOCAL_MACHINE, kAgentKey, agent), ERROR_SUCCESS);
  ASSERT_EQ(SetDword(agent.get(), "Flag", 32), ERROR_SUCCESS);

  DWORD number = 0;
  EXPECT_EQ(ReadAgentFlag("SOFTWARE\\WOW6432Node\\Corvanta\\Harborline\\HLAgent", KEY_WOW64_64KEY, number),
            ERROR_SUCCESS);
  EXPECT_EQ(number, 32u);
  EXPECT_EQ(ReadAgentFlag(kAgentKey, KEY_WOW64_64KEY, number), ERROR_FILE_NOT_FOUND) << "not in the native view";
  EXPECT_EQ(ReadAgentFlag(kAgentKey, KEY_WOW64_32KEY, number), ERROR_SUCCESS);
  // Naming WOW6432Node from the 32-bit view reaches the same key: no double redirection.
  EXPECT_EQ(ReadAgentFlag("SOFTWARE\\WOW6432Node\\Corvanta\\Harborline\\HLAgent", 0, number), ERROR_SUCCESS);
  EXPECT_NE(machine_.ReadRegistry().find(
                "[HKEY_LOCAL_MACHINE\\SOFTWARE\\WOW6432Node\\Corvanta\\Harborline\\HLAgent]\r\n\"Flag\"=dword:00000020"),
            std::string::npos)
      << machine_.ReadRegistry();

  // KEY_WOW64_64KEY writes the native key, which the default view does not see.
  ScopedKey native;
  ASSERT_EQ(Create(HKEY_LOCAL_MACHINE, kAgentKey, native, KEY_ALL_ACCESS | KEY_WOW64_64KEY), ERROR_SUCCESS);
  ASSERT_EQ(SetDword(native.get(), "Flag", 64), ERROR_SUCCESS);
  EXPECT_EQ(ReadAgentFlag(kAgentKey, KEY_WOW64_64KEY, number), ERROR_SUCCESS);
  EXPECT_EQ(number, 64u);
  EXPECT_EQ(ReadAgentFlag(kAgentKey, 0, number), ERROR_SUCCESS);
  EXPECT_EQ(number, 32u);
  EXPECT_NE(machine_.ReadRegistry().find("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Corvanta\\Harborline\\HLAgent]"),
            std::string::npos);

  // Both flags at once are refused.
  ScopedKey both;
  EXPECT_EQ(Open(HKEY_LOCAL_MACHINE, kAgentKey, both, KEY_READ | KEY_WOW64_64KEY | KEY_WOW64_32KEY),
            ERROR_INVALID_PARAMETER);
}

TEST_F(RegistryWow64, SystemAndSharedKeysAreNotRedirected) {
  ScopedKey control;
  ASSERT_EQ(Create(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Control", control), ERROR_SUCCESS);
  ASSERT_EQ(SetDword(control.get(), "Flag", 1), ERROR_SUCCESS);
  DWORD number = 0;
  EXPECT_EQ(ReadAgentFlag("SYSTEM\\CurrentControlSet\\Control", KEY_WOW64_64KEY, number), ERROR_SUCCESS);
  EXPECT_EQ(ReadAgentFlag("SYSTEM\\CurrentControlSet\\Control", KEY_WOW64_32KEY, number), ERROR_SUCCESS);

  ScopedKey classes;
  ASSERT_EQ(Create(HKEY_LOCAL_MACHINE, "SOFTWARE\\Classes\\.hl", classes), ERROR_SUCCESS);
  ASSERT_EQ(SetDword(classes.get(), "Flag", 2), ERROR_SUCCESS);
  EXPECT_EQ(ReadAgentFlag("SOFTWARE\\Classes\\.hl", KEY_WOW64_64KEY, number), ERROR_SUCCESS);
  EXPECT_EQ(number, 2u);
  std::string file = machine_.ReadRegistry();
  EXPECT_EQ(file.find("WOW6432Node"), std::string::npos) << file;
}

TEST_F(RegistryWow64, HandleKeepsTheViewItWasOpenedIn) {
  ScopedKey redirected;
  ASSERT_EQ(Create(HKEY_LOCAL_MACHINE, "SOFTWARE\\X", redirected), ERROR_SUCCESS);
  ASSERT_EQ(SetDword(redirected.get(), "Flag", 32), ERROR_SUCCESS);
  ScopedKey native;
  ASSERT_EQ(Create(HKEY_LOCAL_MACHINE, "SOFTWARE\\X", native, KEY_ALL_ACCESS | KEY_WOW64_64KEY), ERROR_SUCCESS);
  ASSERT_EQ(SetDword(native.get(), "Flag", 64), ERROR_SUCCESS);

  // HKLM\SOFTWARE opened in the 32-bit view: relative opens stay there whatever flag they pass.
  ScopedKey software32;
  ASSERT_EQ(Open(HKEY_LOCAL_MACHINE, "SOFTWARE", software32), ERROR_SUCCESS);
  ScopedKey x;
  ASSERT_EQ(Open(software32.get(), "X", x, KEY_READ | KEY_WOW64_64KEY), ERROR_SUCCESS);
  DWORD number = 0;
  ASSERT_EQ(GetDword(x.get(), "Flag", number), ERROR_SUCCESS);
  EXPECT_EQ(number, 32u);
  ScopedKey doubled;
  EXPECT_EQ(Open(software32.get(), "Wow6432Node\\X", doubled), ERROR_FILE_NOT_FOUND);

  // HKLM opened with KEY_WOW64_64KEY: relative opens without a flag stay native.
  ScopedKey hklm64;
  ASSERT_EQ(Open(HKEY_LOCAL_MACHINE, "", hklm64, KEY_READ | KEY_WOW64_64KEY), ERROR_SUCCESS);
  ScopedKey x64;
  ASSERT_EQ(Open(hklm64.get(), "SOFTWARE\\X", x64), ERROR_SUCCESS);
  ASSERT_EQ(GetDword(x64.get(), "Flag", number), ERROR_SUCCESS);
  EXPECT_EQ(number, 64u);

  // RegDeleteKeyExA picks the view; RegDeleteKeyA uses the default one.
  ASSERT_EQ(RegDeleteKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\X", KEY_WOW64_64KEY, 0), ERROR_SUCCESS);
  EXPECT_EQ(GetDword(x64.get(), "Flag", number), ERROR_KEY_DELETED);
  EXPECT_EQ(GetDword(x.get(), "Flag", number), ERROR_SUCCESS);
  ASSERT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\X"), ERROR_SUCCESS);
  EXPECT_EQ(GetDword(x.get(), "Flag", number), ERROR_KEY_DELETED);
  EXPECT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\WOW6432Node"), ERROR_ACCESS_DENIED);
}

TEST_F(RegistryWow64, SixtyFourBitProcessUsesTheNativeView) {
  Machine(false, 9);
  ScopedKey agent;
  ASSERT_EQ(Create(HKEY_LOCAL_MACHINE, kAgentKey, agent), ERROR_SUCCESS);
  ASSERT_EQ(SetDword(agent.get(), "Flag", 64), ERROR_SUCCESS);
  DWORD number = 0;
  EXPECT_EQ(ReadAgentFlag(kAgentKey, KEY_WOW64_64KEY, number), ERROR_SUCCESS);
  EXPECT_EQ(ReadAgentFlag(kAgentKey, KEY_WOW64_32KEY, number), ERROR_FILE_NOT_FOUND);

  ScopedKey wow;
  ASSERT_EQ(Create(HKEY_LOCAL_MACHINE, kAgentKey, wow, KEY_ALL_ACCESS | KEY_WOW64_32KEY), ERROR_SUCCESS);
  ASSERT_EQ(SetDword(wow.get(), "Flag", 32), ERROR_SUCCESS);
  EXPECT_EQ(ReadAgentFlag("SOFTWARE\\WOW6432Node\\Corvanta\\Harborline\\HLAgent", 0, number), ERROR_SUCCESS);
  EXPECT_EQ(number, 32u);
}

TEST_F(RegistryWow64, ThirtyTwoBitComputerHasOneView) {
  Machine(false, 0);
  ScopedKey agent;
  ASSERT_EQ(Create(HKEY_LOCAL_MACHINE, kAgentKey, agent, KEY_ALL_ACCESS | KEY_WOW64_64KEY), ERROR_SUCCESS);
  ASSERT_EQ(SetDword(agent.get(), "Flag", 1), ERROR_SUCCESS);
  DWORD number = 0;
  for (REGSAM flags : {0u, 0x100u, 0x200u, 0x300u}) EXPECT_EQ(ReadAgentFlag(kAgentKey, flags, number), ERROR_SUCCESS);
  ScopedKey wow;
  EXPECT_EQ(Open(HKEY_LOCAL_MACHINE, "SOFTWARE\\WOW6432Node", wow), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(machine_.ReadRegistry().find("WOW6432Node"), std::string::npos);
}

}  // namespace
}  // namespace hl::platform::reg
