// CreateFile and handle I/O against Windows behaviour: path mapping, dispositions, sharing.
#include <gtest/gtest.h>

#include <string>

#include "platform/win32.h"
#include "tests/support/temp_machine.h"

namespace {

using hl::test::ReadHostFile;
using hl::test::TempMachine;

HANDLE Open(const char* path, DWORD access, DWORD share, DWORD disposition, DWORD flags = 0) {
  return CreateFileA(path, access, share, nullptr, disposition, flags, nullptr);
}

TEST(CreateFile, MapsWindowsPathsAndMatchesExistingComponentsWithoutCase) {
  TempMachine machine;
  machine.WriteFile("drive_c/Agent/Logs/app.log", "hello");
  HANDLE h = Open("c:\\AGENT\\logs\\APP.LOG", GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  char buffer[16] = {};
  DWORD read = 0;
  ASSERT_TRUE(ReadFile(h, buffer, sizeof buffer, &read, nullptr));
  EXPECT_EQ(std::string(buffer, read), "hello");
  EXPECT_TRUE(CloseHandle(h));

  h = Open("C:\\Agent\\Logs\\new.txt", GENERIC_WRITE, 0, CREATE_NEW);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  DWORD written = 0;
  ASSERT_TRUE(WriteFile(h, "abc", 3, &written, nullptr));
  EXPECT_EQ(written, 3u);
  CloseHandle(h);
  EXPECT_EQ(ReadHostFile(machine.root() / "drive_c/Agent/Logs/new.txt"), "abc");
}

// Wine opens the file here; Windows' answer is not established, so only the stand-in is checked.
TEST(CreateFile, TruncateExistingNeedsWriteAccess) {
  TempMachine machine;
  machine.WriteFile("drive_c/f.txt", "12345");
  EXPECT_EQ(Open("C:\\f.txt", GENERIC_READ, 0, TRUNCATE_EXISTING), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  EXPECT_EQ(ReadHostFile(machine.root() / "drive_c/f.txt"), "12345");
}

TEST(CloseHandle, RejectsUnknownAndClosedHandles) {
  TempMachine machine;
  HANDLE h = Open("C:\\c.txt", GENERIC_WRITE, 0, CREATE_ALWAYS);
  ASSERT_TRUE(CloseHandle(h));
  EXPECT_FALSE(CloseHandle(h));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  EXPECT_FALSE(CloseHandle(nullptr));
  EXPECT_TRUE(CloseHandle(GetCurrentProcess()));
}

TEST(CreateFile, InjectedFaultFailsWithItsCode) {
  TempMachine machine;
  machine.WriteMachineJson({{"faults", {{"CreateFileA:C:\\Agent\\logs", 5}}}});
  machine.WriteFile("drive_c/Agent/logs/a.log", "");
  EXPECT_EQ(Open("C:\\Agent\\logs\\a.log", GENERIC_READ, 0, OPEN_EXISTING), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  HANDLE other = Open("C:\\Agent\\other.log", GENERIC_WRITE, 0, CREATE_ALWAYS);
  EXPECT_NE(other, INVALID_HANDLE_VALUE);
  CloseHandle(other);
}

TEST(CreateFileW, OpensWidePaths) {
  TempMachine machine;
  machine.WriteFile("drive_c/w\xc3\xa9.txt", "w");
  HANDLE h = CreateFileW(WSTR("C:\\w\u00e9.txt"), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  CloseHandle(h);
}

}  // namespace
