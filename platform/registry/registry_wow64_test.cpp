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

// The views' rules themselves are checked against Windows in registry_behaviour_test.cpp; here,
// where they land in the machine folder's file.
TEST_F(RegistryWow64, RedirectedKeysAreStoredUnderWow6432Node) {
  // No machine.json: a 32-bit process on 64-bit Windows.
  ScopedKey agent;
  ASSERT_EQ(Create(HKEY_LOCAL_MACHINE, kAgentKey, agent), ERROR_SUCCESS);
  ASSERT_EQ(SetDword(agent.get(), "Flag", 32), ERROR_SUCCESS);
  EXPECT_NE(
      machine_.ReadRegistry().find(
          "[HKEY_LOCAL_MACHINE\\SOFTWARE\\WOW6432Node\\Corvanta\\Harborline\\HLAgent]\r\n\"Flag\"=dword:00000020"),
      std::string::npos)
      << machine_.ReadRegistry();
  ScopedKey native;
  ASSERT_EQ(Create(HKEY_LOCAL_MACHINE, kAgentKey, native, KEY_ALL_ACCESS | KEY_WOW64_64KEY), ERROR_SUCCESS);
  ASSERT_EQ(SetDword(native.get(), "Flag", 64), ERROR_SUCCESS);
  EXPECT_NE(machine_.ReadRegistry().find("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Corvanta\\Harborline\\HLAgent]"),
            std::string::npos);

  // Shared keys are stored once.
  ScopedKey classes;
  ASSERT_EQ(Create(HKEY_LOCAL_MACHINE, "SOFTWARE\\Classes\\.hl", classes), ERROR_SUCCESS);
  ASSERT_EQ(SetDword(classes.get(), "Flag", 2), ERROR_SUCCESS);
  EXPECT_EQ(machine_.ReadRegistry().find("WOW6432Node\\Classes"), std::string::npos) << machine_.ReadRegistry();
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
