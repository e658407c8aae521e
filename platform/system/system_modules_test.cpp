// LoadLibrary / GetProcAddress / FreeLibrary: a real shared library and the built-in modules.
#include <gtest/gtest.h>

#include <filesystem>

#include "platform/win32.h"
#include "tests/support/temp_machine.h"

namespace {

using hl::test::TempMachine;

void InstallFixture(TempMachine& machine, const std::string& relative) {
  auto target = machine.root() / relative;
  std::filesystem::create_directories(target.parent_path());
  std::filesystem::copy_file(HL_MODULE_FIXTURE, target);
}

template <class F>
F As(FARPROC proc) {
  return reinterpret_cast<F>(reinterpret_cast<void*>(proc));
}

TEST(LoadLibrary, LoadsAMappedSharedLibraryAndFindsItsExports) {
  TempMachine machine;
  InstallFixture(machine, "drive_c/Program Files/Vendor/Fixture.dll");
  HMODULE module = LoadLibraryA("c:\\program files\\vendor\\fixture.DLL");
  ASSERT_NE(module, nullptr) << GetLastError();
  auto answer = As<int (*)()>(GetProcAddress(module, "FixtureAnswer"));
  ASSERT_NE(answer, nullptr);
  EXPECT_EQ(answer(), 42);
  EXPECT_EQ(GetProcAddress(module, "NoSuchExport"), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PROC_NOT_FOUND));
  EXPECT_EQ(GetModuleHandleA("fixture.dll"), module);
  EXPECT_TRUE(FreeLibrary(module));
  EXPECT_EQ(GetModuleHandleA("fixture.dll"), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
}

TEST(LoadLibrary, WideFormAndDefaultExtension) {
  TempMachine machine;
  InstallFixture(machine, "drive_c/lib/Fixture.dll");
  HMODULE module = LoadLibraryW(WSTR("C:\\lib\\Fixture"));  // ".dll" is added as on Windows
  ASSERT_NE(module, nullptr);
  EXPECT_NE(GetProcAddress(module, "FixtureAdd"), nullptr);
  FreeLibrary(module);
}

TEST(LoadLibrary, MissingAndUnloadableFiles) {
  TempMachine machine;
  machine.WriteFile("drive_c/lib/notalib.dll", "MZ this is not a shared library");
  EXPECT_EQ(LoadLibraryA("C:\\lib\\missing.dll"), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
  EXPECT_EQ(LoadLibraryA("C:\\lib\\notalib.dll"), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_BAD_EXE_FORMAT));
  EXPECT_EQ(LoadLibraryA("C:\\nodir\\x.dll"), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
}

TEST(LoadLibrary, Kernel32BuiltInExportsFollowTheMachine) {
  TempMachine machine;
  for (const char* name : {"kernel32.dll", "KERNEL32", "Kernel32.DLL"}) {
    HMODULE k = LoadLibraryA(name);
    ASSERT_NE(k, nullptr) << name;
    EXPECT_EQ(k, GetModuleHandleA("kernel32"));
    EXPECT_TRUE(FreeLibrary(k));
  }
  HMODULE k = GetModuleHandleA("kernel32.dll");
  auto isWow64 = As<BOOL (*)(HANDLE, PBOOL)>(GetProcAddress(k, "IsWow64Process"));
  ASSERT_NE(isWow64, nullptr);
  BOOL wow = FALSE;
  EXPECT_TRUE(isWow64(GetCurrentProcess(), &wow));
  EXPECT_TRUE(wow);
  EXPECT_NE(GetProcAddress(k, "GetNativeSystemInfo"), nullptr);
  auto productInfo = As<BOOL (*)(DWORD, DWORD, DWORD, DWORD, PDWORD)>(GetProcAddress(k, "GetProductInfo"));
  ASSERT_NE(productInfo, nullptr);
  DWORD edition = 0;
  EXPECT_TRUE(productInfo(10, 0, 0, 0, &edition));
  EXPECT_EQ(edition, 48u);

  machine.WriteMachineJson({{"os", {{"majorVersion", 5}, {"minorVersion", 1}, {"edition", nullptr}}}});
  EXPECT_EQ(GetProcAddress(k, "GetProductInfo"), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PROC_NOT_FOUND));
}

TEST(LoadLibrary, Advapi32OffersNoTransactedRegistry) {
  TempMachine machine;
  HMODULE a = LoadLibraryA("advapi32.dll");
  ASSERT_NE(a, nullptr);
  for (const char* name : {"RegOpenKeyTransactedA", "RegCreateKeyTransactedA"}) {
    SetLastError(0);
    EXPECT_EQ(GetProcAddress(a, name), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PROC_NOT_FOUND));
  }
  EXPECT_TRUE(FreeLibrary(a));
}

}  // namespace
