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

TEST(CopyFile, CopiesAndHonoursFailIfExists) {
  TempMachine machine;
  machine.WriteFile("drive_c/logs/live.log", "current");
  machine.WriteFile("drive_c/logs/live1.log", "older");
  EXPECT_FALSE(CopyFileA("C:\\logs\\live.log", "C:\\logs\\live1.log", TRUE));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_EXISTS));
  ASSERT_TRUE(CopyFileA("C:\\logs\\live.log", "C:\\logs\\live1.log", FALSE));
  EXPECT_EQ(ReadHostFile(machine.root() / "drive_c/logs/live1.log"), "current");
  ASSERT_TRUE(CopyFileW(WSTR("C:\\logs\\LIVE.log"), WSTR("C:\\logs\\live2.log"), TRUE));
  EXPECT_EQ(ReadHostFile(machine.root() / "drive_c/logs/live2.log"), "current");

  EXPECT_FALSE(CopyFileA("C:\\logs\\missing.log", "C:\\logs\\x.log", FALSE));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  EXPECT_FALSE(CopyFileA("C:\\logs\\live.log", "C:\\nodir\\x.log", FALSE));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
  // Onto itself: refused, and the file keeps its data.
  EXPECT_FALSE(CopyFileA("C:\\logs\\live.log", "c:\\LOGS\\live.log", FALSE));
  EXPECT_EQ(ReadHostFile(machine.root() / "drive_c/logs/live.log"), "current");
}

TEST(CopyFile, SourceOpenForAppendingWithSharingCanBeCopied) {
  TempMachine machine;
  FILE* live = hl_fopen("C:\\live.log", "a+");
  ASSERT_NE(live, nullptr);
  std::fputs("line\n", live);
  std::fflush(live);
  EXPECT_TRUE(CopyFileA("C:\\live.log", "C:\\live1.log", FALSE));
  EXPECT_EQ(ReadHostFile(machine.root() / "drive_c/live1.log"), "line\r\n");  // a text-mode stream
  // The runtime's streams do not share deletion.
  EXPECT_FALSE(DeleteFileA("C:\\live.log"));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
  std::fclose(live);
  EXPECT_TRUE(DeleteFileA("C:\\live.log"));
}

TEST(DeleteFile, ErrorsAsOnWindows) {
  TempMachine machine;
  machine.WriteFile("drive_c/d/f", "");
  EXPECT_FALSE(DeleteFileA("C:\\d\\missing"));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  EXPECT_FALSE(DeleteFileA("C:\\nodir\\f"));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
  EXPECT_FALSE(DeleteFileA("C:\\d"));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  EXPECT_TRUE(DeleteFileW(WSTR("C:\\D\\F")));
  EXPECT_FALSE(std::filesystem::exists(machine.root() / "drive_c/d/f"));
}

TEST(MoveFile, RenamesButNeverReplaces) {
  TempMachine machine;
  machine.WriteFile("drive_c/a.txt", "a");
  machine.WriteFile("drive_c/b.txt", "b");
  EXPECT_FALSE(MoveFileA("C:\\a.txt", "C:\\b.txt"));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
  EXPECT_TRUE(MoveFileExA("C:\\a.txt", "C:\\b.txt", MOVEFILE_REPLACE_EXISTING));
  EXPECT_EQ(ReadHostFile(machine.root() / "drive_c/b.txt"), "a");
  EXPECT_TRUE(MoveFileA("C:\\b.txt", "C:\\c.txt"));
  EXPECT_FALSE(MoveFileA("C:\\b.txt", "C:\\d.txt"));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

TEST(Directories, CreateRemoveAndAttributes) {
  TempMachine machine;
  EXPECT_TRUE(CreateDirectoryA("C:\\Agent", nullptr));
  EXPECT_FALSE(CreateDirectoryA("c:\\agent", nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
  EXPECT_FALSE(CreateDirectoryA("C:\\missing\\sub", nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
  EXPECT_EQ(GetFileAttributesA("C:\\Agent"), static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY));
  machine.WriteFile("drive_c/Agent/f.txt", "");
  EXPECT_EQ(GetFileAttributesA("C:\\AGENT\\F.TXT") & FILE_ATTRIBUTE_DIRECTORY, 0u);
  EXPECT_FALSE(RemoveDirectoryA("C:\\Agent"));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_DIR_NOT_EMPTY));
  EXPECT_FALSE(RemoveDirectoryA("C:\\Agent\\f.txt"));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_DIRECTORY));
  EXPECT_TRUE(DeleteFileA("C:\\Agent\\f.txt"));
  EXPECT_TRUE(RemoveDirectoryA("C:\\Agent"));
  EXPECT_EQ(GetFileAttributesA("C:\\Agent"), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(GetFileAttributesA("C:\\Agent\\x\\y"), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
}

TEST(GetTempPath, FromTheMachineEnvironmentWithATrailingSeparator) {
  TempMachine machine;
  machine.WriteMachineJson({{"environment", {{"TMP", nullptr}, {"TEMP", "C:\\Temp"}}}});
  char buffer[MAX_PATH] = {};
  DWORD n = GetTempPathA(MAX_PATH, buffer);
  EXPECT_EQ(std::string(buffer), "C:\\Temp\\");
  EXPECT_EQ(n, 8u);
  EXPECT_EQ(GetTempPathA(4, buffer), 9u);  // too small: the size needed, with the terminator
}

// Without "b" the runtime translates line ends as Windows' does: "\n" is written as "\r\n" and
// "\r\n" read back as "\n"; a lone "\r" passes either way, also across the stream's buffer.
TEST(CRuntime, TextModeTranslatesLineEndsAndBinaryModeDoesNot) {
  TempMachine machine;
  FILE* f = hl_fopen("C:\\t.txt", "w");
  ASSERT_NE(f, nullptr);
  std::fputs("a\nb\r\nc\rd", f);
  std::fclose(f);
  EXPECT_EQ(ReadHostFile(machine.root() / "drive_c/t.txt"), "a\r\nb\r\r\nc\rd");
  f = hl_fopen("C:\\t.txt", "rt");
  ASSERT_NE(f, nullptr);
  char text[32] = {};
  EXPECT_EQ(std::fread(text, 1, sizeof text, f), 8u);
  EXPECT_EQ(std::string(text), "a\nb\r\nc\rd");
  std::fclose(f);

  f = hl_fopen("C:\\b.bin", "wb");
  ASSERT_NE(f, nullptr);
  std::fputs("a\nb\r\n", f);
  std::fclose(f);
  EXPECT_EQ(ReadHostFile(machine.root() / "drive_c/b.bin"), "a\nb\r\n");

  // "\r\n" pairs that straddle the stream's read buffer still read as "\n".
  std::string big;
  for (int i = 0; i < 20000; ++i) big += "xy\r\n";
  machine.WriteFile("drive_c/big.txt", big);
  f = hl_fopen("C:\\big.txt", "r");
  ASSERT_NE(f, nullptr);
  std::string back;
  char chunk[777];
  for (size_t n; (n = std::fread(chunk, 1, sizeof chunk, f)) > 0;) back.append(chunk, n);
  std::fclose(f);
  EXPECT_EQ(back.size(), 20000u * 3);
  EXPECT_EQ(back.find('\r'), std::string::npos);
}

TEST(CRuntime, FopenMkdirRemoveOnWindowsPaths) {
  TempMachine machine;
  EXPECT_EQ(hl_mkdir("C:\\Agent"), 0);
  EXPECT_EQ(hl_mkdir("C:\\agent"), -1);
  EXPECT_EQ(errno, EEXIST);
  EXPECT_EQ(hl_mkdir("C:\\none\\sub"), -1);
  EXPECT_EQ(errno, ENOENT);

  FILE* f = hl_fopen("C:\\AGENT\\Log.txt", "w");
  ASSERT_NE(f, nullptr);
  std::fprintf(f, "%s %d\n", "value", 7);
  std::fclose(f);
  EXPECT_EQ(ReadHostFile(machine.root() / "drive_c/Agent/Log.txt"), "value 7\r\n");  // text mode
  f = hl_fopen("c:\\agent\\log.txt", "a+");
  ASSERT_NE(f, nullptr);
  std::fputs("more\n", f);
  std::fclose(f);
  EXPECT_EQ(ReadHostFile(machine.root() / "drive_c/Agent/Log.txt"), "value 7\r\nmore\r\n");
  f = hl_fopen("C:\\Agent\\log.txt", "r");
  ASSERT_NE(f, nullptr);
  char line[32] = {};
  ASSERT_NE(std::fgets(line, sizeof line, f), nullptr);
  EXPECT_STREQ(line, "value 7\n");
  std::fclose(f);

  EXPECT_EQ(hl_fopen("C:\\Agent\\missing.txt", "r"), nullptr);
  EXPECT_EQ(errno, ENOENT);
  EXPECT_EQ(hl_fopen("C:\\Agent", "r"), nullptr);  // a directory
  EXPECT_EQ(errno, EACCES);
  EXPECT_EQ(hl_remove("C:\\Agent\\log.txt"), 0);
  EXPECT_EQ(hl_remove("C:\\Agent\\log.txt"), -1);
  EXPECT_EQ(errno, ENOENT);
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
