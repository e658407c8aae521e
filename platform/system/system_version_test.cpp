// Version, processor and product information from machine.json "os".
#include <gtest/gtest.h>

#include "platform/win32.h"
#include "tests/support/temp_machine.h"

namespace {

using hl::test::TempMachine;

TEST(GetVersionEx, DefaultsDescribeWindows10) {
  TempMachine machine;
  OSVERSIONINFOEXA ex{};
  ex.dwOSVersionInfoSize = sizeof ex;
  ASSERT_TRUE(GetVersionExA(reinterpret_cast<LPOSVERSIONINFOA>(&ex)));
  EXPECT_EQ(ex.dwMajorVersion, 10u);
  EXPECT_EQ(ex.dwMinorVersion, 0u);
  EXPECT_EQ(ex.dwBuildNumber, 19045u);
  EXPECT_EQ(ex.dwPlatformId, 2u);
  EXPECT_EQ(ex.wProductType, 1);
  EXPECT_EQ(ex.wSuiteMask, 256);
  EXPECT_STREQ(ex.szCSDVersion, "");
}

TEST(GetVersionEx, FieldsFromTheMachineAndMissingOnesDefault) {
  TempMachine machine;
  machine.WriteMachineJson({{"os",
                             {{"majorVersion", 6},
                              {"minorVersion", 1},
                              {"buildNumber", 7601},
                              {"servicePackMajor", 1},
                              {"csdVersion", "Service Pack 1"},
                              {"productType", 3}}}});
  OSVERSIONINFOEXA ex{};
  ex.dwOSVersionInfoSize = sizeof ex;
  ASSERT_TRUE(GetVersionExA(reinterpret_cast<LPOSVERSIONINFOA>(&ex)));
  EXPECT_EQ(ex.dwMajorVersion, 6u);
  EXPECT_EQ(ex.dwMinorVersion, 1u);
  EXPECT_EQ(ex.dwBuildNumber, 7601u);
  EXPECT_EQ(ex.wServicePackMajor, 1);
  EXPECT_STREQ(ex.szCSDVersion, "Service Pack 1");
  EXPECT_EQ(ex.wProductType, 3);
  EXPECT_EQ(ex.wSuiteMask, 256);  // default
  DWORD edition = 0;
  EXPECT_TRUE(GetProductInfo(6, 1, 1, 0, &edition));
  EXPECT_EQ(edition, 48u);
}

TEST(GetVersionEx, SizeChecksAndConfiguredFailures) {
  TempMachine machine;
  OSVERSIONINFOA basic{};
  basic.dwOSVersionInfoSize = sizeof basic - 4;
  EXPECT_FALSE(GetVersionExA(&basic));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));

  machine.WriteMachineJson({{"os", {{"versionExFails", true}}}});
  OSVERSIONINFOEXA ex{};
  ex.dwOSVersionInfoSize = sizeof ex;
  EXPECT_FALSE(GetVersionExA(reinterpret_cast<LPOSVERSIONINFOA>(&ex)));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  basic.dwOSVersionInfoSize = sizeof basic;
  EXPECT_TRUE(GetVersionExA(&basic));
  EXPECT_EQ(basic.dwMajorVersion, 10u);

  machine.WriteMachineJson({{"os", {{"versionExFails", true}, {"versionFails", true}}}});
  EXPECT_FALSE(GetVersionExA(&basic));
  EXPECT_FALSE(GetVersionExA(reinterpret_cast<LPOSVERSIONINFOA>(&ex)));
}

TEST(SystemInfo, EmulatedAndNativeArchitectures) {
  TempMachine machine;
  SYSTEM_INFO emulated{}, native{};
  GetSystemInfo(&emulated);
  GetNativeSystemInfo(&native);
  EXPECT_EQ(emulated.wProcessorArchitecture, PROCESSOR_ARCHITECTURE_INTEL);  // 32-bit under WOW64
  EXPECT_EQ(native.wProcessorArchitecture, PROCESSOR_ARCHITECTURE_AMD64);
  EXPECT_GE(native.dwNumberOfProcessors, 1u);
  BOOL wow = FALSE;
  EXPECT_TRUE(IsWow64Process(GetCurrentProcess(), &wow));
  EXPECT_TRUE(wow);

  // A 32-bit computer: no WOW64 even when the flag says so.
  machine.WriteMachineJson({{"os", {{"architecture", 0}, {"wow64", true}}}});
  GetNativeSystemInfo(&native);
  EXPECT_EQ(native.wProcessorArchitecture, PROCESSOR_ARCHITECTURE_INTEL);
  EXPECT_TRUE(IsWow64Process(GetCurrentProcess(), &wow));
  EXPECT_FALSE(wow);
}

TEST(GetProductInfo, NotOfferedWithoutAnEdition) {
  TempMachine machine;
  machine.WriteMachineJson({{"os", {{"edition", nullptr}}}});
  DWORD edition = 7;
  EXPECT_FALSE(GetProductInfo(10, 0, 0, 0, &edition));
  machine.WriteMachineJson({{"os", {{"edition", 7}}}});
  EXPECT_TRUE(GetProductInfo(10, 0, 0, 0, &edition));
  EXPECT_EQ(edition, 7u);
}

}  // namespace
