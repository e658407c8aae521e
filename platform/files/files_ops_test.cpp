// Copy, move, delete, directories, attributes, the temporary folder and the C runtime path calls.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <string>

#include "platform/win32.h"
#include "tests/support/temp_machine.h"

namespace {

using hl::test::ReadHostFile;
using hl::test::TempMachine;

TEST(GetTempPath, FromTheMachineEnvironmentWithATrailingSeparator) {
  TempMachine machine;
  machine.WriteMachineJson({{"environment", {{"TMP", nullptr}, {"TEMP", "C:\\Temp"}}}});
  char buffer[MAX_PATH] = {};
  DWORD n = GetTempPathA(MAX_PATH, buffer);
  EXPECT_EQ(std::string(buffer), "C:\\Temp\\");
  EXPECT_EQ(n, 8u);
  EXPECT_EQ(GetTempPathA(4, buffer), 9u);  // too small: the size needed, with the terminator
}

TEST(CRuntime, InjectedFaultsSetErrno) {
  TempMachine machine;
  machine.WriteMachineJson({{"faults", {{"hl_fopen", 5}, {"hl_mkdir:C:\\Agent", 3}, {"hl_remove", 1}}}});
  EXPECT_EQ(hl_fopen("C:\\x.txt", "w"), nullptr);
  EXPECT_EQ(errno, EACCES);
  EXPECT_EQ(hl_mkdir("C:\\Agent\\logs"), -1);
  EXPECT_EQ(errno, ENOENT);
  EXPECT_EQ(hl_mkdir("C:\\Other"), 0);
  EXPECT_EQ(hl_remove("C:\\Other"), -1);
  EXPECT_EQ(errno, EIO);
}

}  // namespace
