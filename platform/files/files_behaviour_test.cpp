// The file API as Windows behaves: CreateFile and handle I/O, copy, move, delete, directories,
// searches and the C runtime's path calls. These tests use only a scratch folder, so they run on
// the simulated computer and, in the Windows build, against the system's own file API.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "platform/win32.h"
#include "tests/support/scratch_folder.h"

namespace {

using hl::test::ScratchFolder;
using WideText = std::basic_string<WCHAR>;

HANDLE Open(const std::string& path, DWORD access, DWORD share, DWORD disposition, DWORD flags = 0) {
  return CreateFileA(path.c_str(), access, share, nullptr, disposition, flags, nullptr);
}

// All names a search returns, in order; empty when FindFirstFile fails (its error in `error`).
std::vector<std::string> Find(const std::string& searchPath, DWORD* error = nullptr) {
  std::vector<std::string> names;
  WIN32_FIND_DATAA data{};
  HANDLE h = FindFirstFileA(searchPath.c_str(), &data);
  if (h == INVALID_HANDLE_VALUE) {
    if (error) *error = GetLastError();
    return names;
  }
  do names.push_back(data.cFileName);
  while (FindNextFileA(h, &data));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_MORE_FILES));
  EXPECT_TRUE(FindClose(h));
  return names;
}

// The order of a search's results depends on the file system; these tests compare the names.
std::vector<std::string> Sorted(std::vector<std::string> names) {
  std::sort(names.begin(), names.end());
  return names;
}

TEST(CreateFileBehaviour, WritesAndReadsThroughHandlesWithoutRegardToCase) {
  ScratchFolder folder;
  folder.Write("Agent\\Logs\\app.log", "hello");
  HANDLE h = Open(folder.Path("AGENT\\logs\\APP.LOG"), GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  char buffer[16] = {};
  DWORD read = 0;
  ASSERT_TRUE(ReadFile(h, buffer, sizeof buffer, &read, nullptr));
  EXPECT_EQ(std::string(buffer, read), "hello");
  EXPECT_TRUE(CloseHandle(h));

  h = Open(folder.Path("Agent\\Logs\\new.txt"), GENERIC_WRITE, 0, CREATE_NEW);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  DWORD written = 0;
  ASSERT_TRUE(WriteFile(h, "abc", 3, &written, nullptr));
  EXPECT_EQ(written, 3u);
  CloseHandle(h);
  EXPECT_EQ(folder.Read("Agent\\Logs\\new.txt"), "abc");
}

TEST(CreateFileBehaviour, DispositionsSetTheWindowsCodes) {
  ScratchFolder folder;
  folder.Write("d\\f.txt", "12345");
  struct Case {
    const char* path;
    DWORD disposition;
    bool opens;
    DWORD error;
  } cases[] = {
      {"d\\f.txt", CREATE_NEW, false, ERROR_FILE_EXISTS},
      {"d\\f.txt", OPEN_EXISTING, true, ERROR_SUCCESS},
      {"d\\f.txt", OPEN_ALWAYS, true, ERROR_ALREADY_EXISTS},
      {"d\\g.txt", OPEN_ALWAYS, true, ERROR_SUCCESS},
      {"d\\missing.txt", OPEN_EXISTING, false, ERROR_FILE_NOT_FOUND},
      {"d\\missing.txt", TRUNCATE_EXISTING, false, ERROR_FILE_NOT_FOUND},
      {"nodir\\x.txt", CREATE_ALWAYS, false, ERROR_PATH_NOT_FOUND},
      {"nodir\\x.txt", OPEN_EXISTING, false, ERROR_PATH_NOT_FOUND},
      {"d\\bad?.txt", CREATE_ALWAYS, false, ERROR_INVALID_NAME},
      {"d\\f.txt", 0, false, ERROR_INVALID_PARAMETER},
  };
  for (const auto& c : cases) {
    SetLastError(12345);
    HANDLE h = Open(folder.Path(c.path), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    c.disposition);
    EXPECT_EQ(h != INVALID_HANDLE_VALUE, c.opens) << c.path << " " << c.disposition;
    EXPECT_EQ(GetLastError(), c.error) << c.path << " " << c.disposition;
    if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
  }
}

TEST(CreateFileBehaviour, CreateAlwaysAndTruncateExistingEmptyTheFile) {
  ScratchFolder folder;
  folder.Write("f.txt", "12345");
  const std::string path = folder.Path("f.txt");
  HANDLE h = Open(path, GENERIC_WRITE, 0, CREATE_ALWAYS);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
  LARGE_INTEGER size{};
  ASSERT_TRUE(GetFileSizeEx(h, &size));
  EXPECT_EQ(size.QuadPart, 0);
  CloseHandle(h);

  folder.Write("f.txt", "12345");
  // TRUNCATE_EXISTING without write access: Wine opens the file where the stand-in refuses it;
  // that case stays in files_open_test.cpp (TruncateExistingNeedsWriteAccess) until Windows' answer is established.
  h = Open(path, GENERIC_WRITE, 0, TRUNCATE_EXISTING);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetFileSize(h, nullptr), 0u);
  CloseHandle(h);
  EXPECT_EQ(folder.Read("f.txt"), "");
}

TEST(CreateFileBehaviour, SharingAmongOpenHandlesAsWindowsEnforcesIt) {
  ScratchFolder folder;
  folder.Write("s.txt", "data");
  const std::string path = folder.Path("s.txt");
  HANDLE first = Open(path, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
  ASSERT_NE(first, INVALID_HANDLE_VALUE);
  struct Case {
    DWORD access, share;
    bool opens;
  } cases[] = {
      {GENERIC_READ, FILE_SHARE_READ, true},
      {GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, true},
      {GENERIC_READ, 0, false},                 // share 0 of a file already open
      {GENERIC_WRITE, FILE_SHARE_READ, false},  // the first handle does not share writing
      {GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, false},
      {FILE_READ_ATTRIBUTES, 0, true},  // no data access: no sharing check
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
  EXPECT_FALSE(DeleteFileA(path.c_str()));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
  CloseHandle(first);
  HANDLE exclusive = Open(path, GENERIC_READ, 0, OPEN_EXISTING);
  ASSERT_NE(exclusive, INVALID_HANDLE_VALUE);
  CloseHandle(exclusive);
  EXPECT_TRUE(DeleteFileA(path.c_str()));
  EXPECT_FALSE(folder.Exists("s.txt"));
}

TEST(CreateFileBehaviour, FullSharingAllowsWritersAndDeletion) {
  ScratchFolder folder;
  folder.Write("live.log", "x");
  const std::string path = folder.Path("live.log");
  const DWORD all = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
  HANDLE a = Open(path, GENERIC_READ | GENERIC_WRITE, all, OPEN_EXISTING);
  HANDLE b = Open(path, GENERIC_WRITE, all, TRUNCATE_EXISTING);
  ASSERT_NE(a, INVALID_HANDLE_VALUE);
  ASSERT_NE(b, INVALID_HANDLE_VALUE);
  CloseHandle(b);
  EXPECT_TRUE(DeleteFileA(path.c_str()));
  CloseHandle(a);
  EXPECT_FALSE(folder.Exists("live.log"));
}

TEST(CreateFileBehaviour, DirectoriesOpenOnlyWithBackupSemantics) {
  ScratchFolder folder;
  folder.Write("dir\\x", "");
  const std::string path = folder.Path("dir");
  EXPECT_EQ(Open(path, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  HANDLE h = Open(path, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  char c;
  DWORD n;
  EXPECT_FALSE(ReadFile(h, &c, 1, &n, nullptr));
  CloseHandle(h);
}

TEST(CreateFileBehaviour, FilePointerEndOfFileAndAccessChecks) {
  ScratchFolder folder;
  const std::string path = folder.Path("p.bin");
  HANDLE h = Open(path, GENERIC_READ | GENERIC_WRITE, 0, CREATE_ALWAYS);
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
  EXPECT_EQ(folder.Read("p.bin"), "012");

  HANDLE ro = Open(path, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
  ASSERT_NE(ro, INVALID_HANDLE_VALUE);
  EXPECT_FALSE(WriteFile(ro, "x", 1, &n, nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  EXPECT_FALSE(SetEndOfFile(ro));
  CloseHandle(ro);
}

TEST(CloseHandleBehaviour, RejectsClosedHandles) {
  ScratchFolder folder;
  HANDLE h = Open(folder.Path("c.txt"), GENERIC_WRITE, 0, CREATE_ALWAYS);
  ASSERT_TRUE(CloseHandle(h));
  EXPECT_FALSE(CloseHandle(h));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  EXPECT_TRUE(CloseHandle(GetCurrentProcess()));
}

TEST(CreateFileBehaviour, OpensWidePaths) {
  ScratchFolder folder;
  folder.Write("w\xc3\xa9.txt", "w");
  HANDLE h = CreateFileW(folder.WidePath("w\xc3\xa9.txt").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  CloseHandle(h);
}

TEST(CopyFileBehaviour, CopiesAndHonoursFailIfExists) {
  ScratchFolder folder;
  folder.Write("logs\\live.log", "current");
  folder.Write("logs\\live1.log", "older");
  const std::string live = folder.Path("logs\\live.log");
  EXPECT_FALSE(CopyFileA(live.c_str(), folder.Path("logs\\live1.log").c_str(), TRUE));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_EXISTS));
  ASSERT_TRUE(CopyFileA(live.c_str(), folder.Path("logs\\live1.log").c_str(), FALSE));
  EXPECT_EQ(folder.Read("logs\\live1.log"), "current");
  ASSERT_TRUE(CopyFileW(folder.WidePath("logs\\LIVE.log").c_str(), folder.WidePath("logs\\live2.log").c_str(), TRUE));
  EXPECT_EQ(folder.Read("logs\\live2.log"), "current");

  EXPECT_FALSE(CopyFileA(folder.Path("logs\\missing.log").c_str(), folder.Path("logs\\x.log").c_str(), FALSE));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  EXPECT_FALSE(CopyFileA(live.c_str(), folder.Path("nodir\\x.log").c_str(), FALSE));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
  // Onto itself: refused, and the file keeps its data.
  EXPECT_FALSE(CopyFileA(live.c_str(), folder.Path("LOGS\\live.log").c_str(), FALSE));
  EXPECT_EQ(folder.Read("logs\\live.log"), "current");
}

TEST(CopyFileBehaviour, SourceOpenForAppendingWithSharingCanBeCopied) {
  ScratchFolder folder;
  const std::string path = folder.Path("live.log");
  FILE* live = hl_fopen(path.c_str(), "a+");
  ASSERT_NE(live, nullptr);
  std::fputs("line\n", live);
  std::fflush(live);
  EXPECT_TRUE(CopyFileA(path.c_str(), folder.Path("live1.log").c_str(), FALSE));
  EXPECT_EQ(folder.Read("live1.log"), "line\r\n");  // a text-mode stream
  // The runtime's streams do not share deletion.
  EXPECT_FALSE(DeleteFileA(path.c_str()));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
  std::fclose(live);
  EXPECT_TRUE(DeleteFileA(path.c_str()));
}

TEST(DeleteFileBehaviour, ErrorsAsOnWindows) {
  ScratchFolder folder;
  folder.Write("d\\f", "");
  EXPECT_FALSE(DeleteFileA(folder.Path("d\\missing").c_str()));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  EXPECT_FALSE(DeleteFileA(folder.Path("nodir\\f").c_str()));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
  EXPECT_FALSE(DeleteFileA(folder.Path("d").c_str()));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  EXPECT_TRUE(DeleteFileW(folder.WidePath("D\\F").c_str()));
  EXPECT_FALSE(folder.Exists("d\\f"));
}

TEST(MoveFileBehaviour, RenamesButNeverReplaces) {
  ScratchFolder folder;
  folder.Write("a.txt", "a");
  folder.Write("b.txt", "b");
  const std::string a = folder.Path("a.txt"), b = folder.Path("b.txt");
  EXPECT_FALSE(MoveFileA(a.c_str(), b.c_str()));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
  EXPECT_TRUE(MoveFileExA(a.c_str(), b.c_str(), MOVEFILE_REPLACE_EXISTING));
  EXPECT_EQ(folder.Read("b.txt"), "a");
  EXPECT_FALSE(folder.Exists("a.txt"));
  EXPECT_TRUE(MoveFileA(b.c_str(), folder.Path("c.txt").c_str()));
  EXPECT_EQ(folder.Read("c.txt"), "a");
  EXPECT_FALSE(MoveFileA(b.c_str(), folder.Path("d.txt").c_str()));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

TEST(DirectoriesBehaviour, CreateRemoveAndAttributes) {
  ScratchFolder folder;
  const std::string agent = folder.Path("Agent");
  EXPECT_TRUE(CreateDirectoryA(agent.c_str(), nullptr));
  EXPECT_FALSE(CreateDirectoryA(folder.Path("agent").c_str(), nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
  EXPECT_FALSE(CreateDirectoryA(folder.Path("missing\\sub").c_str(), nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
  EXPECT_EQ(GetFileAttributesA(agent.c_str()), static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY));
  folder.Write("Agent\\f.txt", "");
  EXPECT_EQ(GetFileAttributesA(folder.Path("AGENT\\F.TXT").c_str()) & FILE_ATTRIBUTE_DIRECTORY, 0u);
  EXPECT_FALSE(RemoveDirectoryA(agent.c_str()));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_DIR_NOT_EMPTY));
  EXPECT_FALSE(RemoveDirectoryA(folder.Path("Agent\\f.txt").c_str()));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_DIRECTORY));
  EXPECT_TRUE(DeleteFileA(folder.Path("Agent\\f.txt").c_str()));
  EXPECT_TRUE(RemoveDirectoryA(agent.c_str()));
  EXPECT_EQ(GetFileAttributesA(agent.c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(GetFileAttributesA(folder.Path("Agent\\x\\y").c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
}

TEST(GetTempPathBehaviour, EndsWithASeparatorAndReportsTheSizeNeeded) {
  char buffer[MAX_PATH] = {};
  const DWORD n = GetTempPathA(MAX_PATH, buffer);
  ASSERT_GT(n, 0u);
  EXPECT_EQ(n, std::strlen(buffer));
  EXPECT_EQ(buffer[n - 1], '\\');
  char small[2] = {};
  EXPECT_EQ(GetTempPathA(2, small), n + 1);  // too small: the size needed, with the terminator
}

// Without "b" the runtime translates line ends: "\n" is written as "\r\n" and "\r\n" read back
// as "\n"; a lone "\r" passes either way, also across the stream's buffer.
TEST(CRuntimeBehaviour, TextModeTranslatesLineEndsAndBinaryModeDoesNot) {
  ScratchFolder folder;
  FILE* f = hl_fopen(folder.Path("t.txt").c_str(), "w");
  ASSERT_NE(f, nullptr);
  std::fputs("a\nb\r\nc\rd", f);
  std::fclose(f);
  EXPECT_EQ(folder.Read("t.txt"), "a\r\nb\r\r\nc\rd");
  f = hl_fopen(folder.Path("t.txt").c_str(), "rt");
  ASSERT_NE(f, nullptr);
  char text[32] = {};
  EXPECT_EQ(std::fread(text, 1, sizeof text, f), 8u);
  EXPECT_EQ(std::string(text), "a\nb\r\nc\rd");
  std::fclose(f);

  f = hl_fopen(folder.Path("b.bin").c_str(), "wb");
  ASSERT_NE(f, nullptr);
  std::fputs("a\nb\r\n", f);
  std::fclose(f);
  EXPECT_EQ(folder.Read("b.bin"), "a\nb\r\n");

  // "\r\n" pairs that straddle the stream's read buffer still read as "\n".
  std::string big;
  for (int i = 0; i < 20000; ++i) big += "xy\r\n";
  folder.Write("big.txt", big);
  f = hl_fopen(folder.Path("big.txt").c_str(), "r");
  ASSERT_NE(f, nullptr);
  std::string back;
  char chunk[777];
  for (size_t n; (n = std::fread(chunk, 1, sizeof chunk, f)) > 0;) back.append(chunk, n);
  std::fclose(f);
  EXPECT_EQ(back.size(), 20000u * 3);
  EXPECT_EQ(back.find('\r'), std::string::npos);
}

TEST(CRuntimeBehaviour, FopenMkdirRemoveOnWindowsPaths) {
  ScratchFolder folder;
  EXPECT_EQ(hl_mkdir(folder.Path("Agent").c_str()), 0);
  EXPECT_EQ(hl_mkdir(folder.Path("agent").c_str()), -1);
  EXPECT_EQ(errno, EEXIST);
  EXPECT_EQ(hl_mkdir(folder.Path("none\\sub").c_str()), -1);
  EXPECT_EQ(errno, ENOENT);

  FILE* f = hl_fopen(folder.Path("AGENT\\Log.txt").c_str(), "w");
  ASSERT_NE(f, nullptr);
  std::fprintf(f, "%s %d\n", "value", 7);
  std::fclose(f);
  EXPECT_EQ(folder.Read("Agent\\Log.txt"), "value 7\r\n");  // text mode
  f = hl_fopen(folder.Path("agent\\log.txt").c_str(), "a+");
  ASSERT_NE(f, nullptr);
  std::fputs("more\n", f);
  std::fclose(f);
  EXPECT_EQ(folder.Read("Agent\\Log.txt"), "value 7\r\nmore\r\n");
  f = hl_fopen(folder.Path("Agent\\log.txt").c_str(), "r");
  ASSERT_NE(f, nullptr);
  char line[32] = {};
  ASSERT_NE(std::fgets(line, sizeof line, f), nullptr);
  EXPECT_STREQ(line, "value 7\n");
  std::fclose(f);

  EXPECT_EQ(hl_fopen(folder.Path("Agent\\missing.txt").c_str(), "r"), nullptr);
  EXPECT_EQ(errno, ENOENT);
  EXPECT_EQ(hl_fopen(folder.Path("Agent").c_str(), "r"), nullptr);  // a directory
  EXPECT_EQ(errno, EACCES);
  EXPECT_EQ(hl_remove(folder.Path("Agent\\log.txt").c_str()), 0);
  EXPECT_EQ(hl_remove(folder.Path("Agent\\log.txt").c_str()), -1);
  EXPECT_EQ(errno, ENOENT);
}

TEST(FindFirstFileBehaviour, LogBackupPatternCountsTheLiveFileAndItsBackups) {
  ScratchFolder folder;
  for (const char* name : {"hlprereqhandler.log", "hlprereqhandler1.log", "hlprereqhandler2.log", "other.log"})
    folder.Write(std::string("Agent\\logs\\") + name, "x");
  auto names = Sorted(Find(folder.Path("Agent\\logs\\hlprereqhandler*.*")));
  EXPECT_EQ(names, (std::vector<std::string>{"hlprereqhandler.log", "hlprereqhandler1.log", "hlprereqhandler2.log"}));
}

TEST(FindFirstFileBehaviour, FolderListingHoldsTheDotEntries) {
  ScratchFolder folder;
  folder.Write("dir\\b.txt", "");
  folder.Write("dir\\A.txt", "12");
  auto names = Sorted(Find(folder.Path("dir\\*")));
  EXPECT_EQ(names, (std::vector<std::string>{".", "..", "A.txt", "b.txt"}));
  EXPECT_EQ(Sorted(Find(folder.Path("dir\\*.*"))), names);
}

TEST(FindFirstFileBehaviour, ReportsAttributesAndSizes) {
  ScratchFolder folder;
  folder.Write("dir\\data.bin", "12345");
  folder.Write("dir\\sub\\x", "");
  WIN32_FIND_DATAA data{};
  HANDLE h = FindFirstFileA(folder.Path("DIR\\DATA.BIN").c_str(), &data);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  EXPECT_STREQ(data.cFileName, "data.bin");
  EXPECT_EQ(data.nFileSizeLow, 5u);
  EXPECT_FALSE(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
  FindClose(h);
  h = FindFirstFileA(folder.Path("dir\\su?").c_str(), &data);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  EXPECT_TRUE(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
  FindClose(h);
}

TEST(FindFirstFileBehaviour, FailuresCarryTheWindowsCodes) {
  ScratchFolder folder;
  folder.Write("dir\\a.txt", "");
  DWORD error = 0;
  EXPECT_TRUE(Find(folder.Path("dir\\*.log"), &error).empty());
  EXPECT_EQ(error, static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  EXPECT_TRUE(Find(folder.Path("nodir\\*"), &error).empty());
  EXPECT_EQ(error, static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
  EXPECT_TRUE(Find(folder.Path("dir\\"), &error).empty());
  EXPECT_EQ(error, static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  WIN32_FIND_DATAA data{};
  EXPECT_FALSE(FindNextFileA(INVALID_HANDLE_VALUE, &data));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

TEST(FindFirstFileBehaviour, ReturnsWideNames) {
  ScratchFolder folder;
  folder.Write("dir\\caf\xc3\xa9.txt", "");
  WIN32_FIND_DATAW data{};
  HANDLE h = FindFirstFileW(folder.WidePath("dir\\caf*.txt").c_str(), &data);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  EXPECT_TRUE(WideText(data.cFileName) == WideText(WSTR("caf\u00e9.txt")));
  EXPECT_FALSE(FindNextFileW(h, &data));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_MORE_FILES));
  FindClose(h);
}

}  // namespace
