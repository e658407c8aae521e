// Environment variables of the simulated computer: machine.json first, then the process.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "platform/win32.h"
#include "tests/support/temp_machine.h"

namespace {

using hl::test::TempMachine;

TEST(Environment, MachineFirstWithoutCaseThenTheProcess) {
  TempMachine machine;
  machine.WriteMachineJson({{"environment", {{"TEMP", "C:\\Temp"}, {"HIDDEN", nullptr}}}});
  setenv("HL_ENV_TEST", "from-process", 1);
  setenv("HIDDEN", "x", 1);
  char buffer[64];
  EXPECT_EQ(GetEnvironmentVariableA("temp", buffer, sizeof buffer), 7u);
  EXPECT_STREQ(buffer, "C:\\Temp");
  EXPECT_EQ(GetEnvironmentVariableA("TEMP", buffer, 7), 8u);  // too small: size with the terminator
  EXPECT_EQ(GetEnvironmentVariableA("TEMP", nullptr, 0), 8u);
  EXPECT_EQ(GetEnvironmentVariableA("hl_env_test", buffer, sizeof buffer), 12u);
  EXPECT_STREQ(buffer, "from-process");
  EXPECT_EQ(GetEnvironmentVariableA("HIDDEN", buffer, sizeof buffer), 0u);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ENVVAR_NOT_FOUND));
  EXPECT_EQ(GetEnvironmentVariableA("HL_NOT_SET_ANYWHERE", buffer, sizeof buffer), 0u);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ENVVAR_NOT_FOUND));
  WCHAR wide[16];
  EXPECT_EQ(GetEnvironmentVariableW(WSTR("Temp"), wide, 16), 7u);
  EXPECT_EQ(std::u16string(wide), u"C:\\Temp");
  unsetenv("HL_ENV_TEST");
  unsetenv("HIDDEN");
}

}  // namespace
