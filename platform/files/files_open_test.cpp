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

TEST(CreateFile, DispositionsSetTheWindowsCodes) {
  TempMachine machine;
  machine.WriteFile("drive_c/d/f.txt", "12345");
  struct Case {
    const char* path;
    DWORD disposition;
    bool opens;
    DWORD error;
  } cases[] = {
      {"C:\\d\\f.txt", CREATE_NEW, false, ERROR_FILE_EXISTS},
      {"C:\\d\\f.txt", OPEN_EXISTING, true, ERROR_SUCCESS},
      {"C:\\d\\f.txt", OPEN_ALWAYS, true, ERROR_ALREADY_EXISTS},
      {"C:\\d\\g.txt", OPEN_ALWAYS, true, ERROR_SUCCESS},
      {"C:\\d\\missing.txt", OPEN_EXISTING, false, ERROR_FILE_NOT_FOUND},
      {"C:\\d\\missing.txt", TRUNCATE_EXISTING, false, ERROR_FILE_NOT_FOUND},
      {"C:\\nodir\\x.txt", CREATE_ALWAYS, false, ERROR_PATH_NOT_FOUND},
      {"C:\\nodir\\x.txt", OPEN_EXISTING, false, ERROR_PATH_NOT_FOUND},
      {"C:\\d\\bad?.txt", CREATE_ALWAYS, false, ERROR_INVALID_NAME},
      {"C:\\d\\f.txt", 0, false, ERROR_INVALID_PARAMETER},
  };
  for (const auto& c : cases) {
    SetLastError(12345);
    HANDLE h = Open(c.path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, c.disposition);
    EXPECT_EQ(h != INVALID_HANDLE_VALUE, c.opens) << c.path << " " << c.disposition;
    EXPECT_EQ(GetLastError(), c.error) << c.path << " " << c.disposition;
    if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
  }
}

TEST(CreateFile, CreateAlwaysAndTruncateExistingEmptyTheFile) {
  TempMachine machine;
  machine.WriteFile("drive_c/f.txt", "12345");
  HANDLE h = Open("C:\\f.txt", GENERIC_WRITE, 0, CREATE_ALWAYS);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
  LARGE_INTEGER size{};
  ASSERT_TRUE(GetFileSizeEx(h, &size));
  EXPECT_EQ(size.QuadPart, 0);
  CloseHandle(h);

  machine.WriteFile("drive_c/f.txt", "12345");
  // TRUNCATE_EXISTING needs write access.
  EXPECT_EQ(Open("C:\\f.txt", GENERIC_READ, 0, TRUNCATE_EXISTING), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  h = Open("C:\\f.txt", GENERIC_WRITE, 0, TRUNCATE_EXISTING);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetFileSize(h, nullptr), 0u);
  CloseHandle(h);
}

TEST(CreateFile, SharingAmongOpenHandlesAsWindowsEnforcesIt) {
  TempMachine machine;
  machine.WriteFile("drive_c/s.txt", "data");
  const char* path = "C:\\s.txt";
  HANDLE first = Open(path, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
  ASSERT_NE(first, INVALID_HANDLE_VALUE);
  struct Case {
    DWORD access, share;
    bool opens;
  } cases[] = {
      {GENERIC_READ, FILE_SHARE_READ, true},
      {GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, true},
      {GENERIC_READ, 0, false},                  // share 0 of a file already open
      {GENERIC_WRITE, FILE_SHARE_READ, false},   // the first handle does not share writing
      {GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, false},
      {FILE_READ_ATTRIBUTES, 0, true},           // no data access: no sharing check
  };
  for (const auto& c : cases) {
    HANDLE second = Open(path, c.access, c.share, OPEN_EXISTING);
    EXPECT_EQ(second != INVALID_HANDLE_VALUE, c.opens) << c.access << " " << c.share;
    if (second == INVALID_HANDLE_VALUE) {
      EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    } else {
      CloseHandle(second);
    }
  }
  // Deleting needs FILE_SHARE_DELETE from every open handle.
  EXPECT_FALSE(DeleteFileA(path));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
  CloseHandle(first);
  HANDLE exclusive = Open(path, GENERIC_READ, 0, OPEN_EXISTING);
  ASSERT_NE(exclusive, INVALID_HANDLE_VALUE);
  CloseHandle(exclusive);
  EXPECT_TRUE(DeleteFileA(path));
}

TEST(CreateFile, FullSharingAllowsWritersAndDeletion) {
  TempMachine machine;
  machine.WriteFile("drive_c/live.log", "x");
  const DWORD all = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
  HANDLE a = Open("C:\\live.log", GENERIC_READ | GENERIC_WRITE, all, OPEN_EXISTING);
  HANDLE b = Open("C:\\live.log", GENERIC_WRITE, all, TRUNCATE_EXISTING);
  ASSERT_NE(a, INVALID_HANDLE_VALUE);
  ASSERT_NE(b, INVALID_HANDLE_VALUE);
  CloseHandle(b);
  EXPECT_TRUE(DeleteFileA("C:\\live.log"));
  CloseHandle(a);
}

TEST(CreateFile, DirectoriesOpenOnlyWithBackupSemantics) {
  TempMachine machine;
  machine.WriteFile("drive_c/dir/x", "");
  EXPECT_EQ(Open("C:\\dir", GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  HANDLE h = Open("C:\\dir", GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  char c;
  DWORD n;
  EXPECT_FALSE(ReadFile(h, &c, 1, &n, nullptr));
  CloseHandle(h);
}

TEST(CreateFile, FilePointerEndOfFileAndAccessChecks) {
  TempMachine machine;
  HANDLE h = Open("C:\\p.bin", GENERIC_READ | GENERIC_WRITE, 0, CREATE_ALWAYS);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  DWORD n = 0;
  ASSERT_TRUE(WriteFile(h, "0123456789", 10, &n, nullptr));
  EXPECT_EQ(SetFilePointer(h, -4, nullptr, FILE_END), 6u);
  char buffer[8] = {};
  ASSERT_TRUE(ReadFile(h, buffer, 8, &n, nullptr));
  EXPECT_EQ(std::string(buffer, n), "6789");
  ASSERT_TRUE(ReadFile(h, buffer, 8, &n, nullptr));  // at the end: success, nothing read
  EXPECT_EQ(n, 0u);
  EXPECT_EQ(SetFilePointer(h, -1, nullptr, FILE_BEGIN), INVALID_SET_FILE_POINTER);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NEGATIVE_SEEK));
  LARGE_INTEGER to{}, now{};
  to.QuadPart = 3;
  ASSERT_TRUE(SetFilePointerEx(h, to, &now, FILE_BEGIN));
  EXPECT_EQ(now.QuadPart, 3);
  ASSERT_TRUE(SetEndOfFile(h));
  EXPECT_TRUE(FlushFileBuffers(h));
  DWORD high = 7;
  EXPECT_EQ(GetFileSize(h, &high), 3u);
  EXPECT_EQ(high, 0u);
  CloseHandle(h);

  HANDLE ro = Open("C:\\p.bin", GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
  EXPECT_FALSE(WriteFile(ro, "x", 1, &n, nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  EXPECT_FALSE(SetEndOfFile(ro));
  CloseHandle(ro);
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
