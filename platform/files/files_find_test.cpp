// FindFirstFile patterns and listings as Windows gives them.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/files/files_internal.h"
#include "platform/win32.h"
#include "tests/support/temp_machine.h"

namespace {

using hl::test::TempMachine;

// All names a search returns, in order; empty when FindFirstFile fails (its error in `error`).
std::vector<std::string> Find(const char* searchPath, DWORD* error = nullptr) {
  std::vector<std::string> names;
  WIN32_FIND_DATAA data{};
  HANDLE h = FindFirstFileA(searchPath, &data);
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

TEST(FilePattern, DosWildcardRules) {
  struct Case {
    const char16_t* pattern;
    const char16_t* name;
    bool matches;
  } cases[] = {
      {u"*", u"anything.txt", true},
      {u"*.*", u"noext", true},
      {u"*.*", u"a.b.c", true},
      {u"*.*", u".", true},
      {u"base*.*", u"base", true},
      {u"base*.*", u"base1.log", true},
      {u"base*.*", u"BASE.TXT", true},
      {u"base*.*", u"base2.log.old", true},
      {u"base*.*", u"xbase.log", false},
      {u"*.log", u"a.log", true},
      {u"*.log", u"a.log.bak", false},
      {u"*.log", u"a.b.LOG", true},
      {u"?", u"a", true},
      {u"?", u"ab", false},
      {u"???", u"ab", true},
      {u"???", u"abcd", false},
      {u"a?c", u"abc", true},
      {u"?.txt", u"x.txt", true},
      {u"*.", u"readme", true},
      {u"*.", u"read.me", false},
      {u"file.txt", u"FILE.TXT", true},
      {u"file.txt", u"file.txt2", false},
  };
  for (const auto& c : cases)
    EXPECT_EQ(hl::platform::MatchesFilePattern(c.pattern, c.name), c.matches)
        << std::string(c.pattern, c.pattern + std::char_traits<char16_t>::length(c.pattern)) << " vs "
        << std::string(c.name, c.name + std::char_traits<char16_t>::length(c.name));
}

TEST(FindFirstFile, LogBackupPatternCountsTheLiveFileAndItsBackups) {
  TempMachine machine;
  for (const char* name : {"hlprereqhandler.log", "hlprereqhandler1.log", "hlprereqhandler2.log", "other.log"})
    machine.WriteFile(std::string("drive_c/Agent/logs/") + name, "x");
  auto names = Find("C:\\Agent\\logs\\hlprereqhandler*.*");
  EXPECT_EQ(names, (std::vector<std::string>{"hlprereqhandler.log", "hlprereqhandler1.log", "hlprereqhandler2.log"}));
}

TEST(FindFirstFile, FolderListingStartsWithDotEntriesExceptAtADriveRoot) {
  TempMachine machine;
  machine.WriteFile("drive_c/dir/b.txt", "");
  machine.WriteFile("drive_c/dir/A.txt", "12");
  auto names = Find("C:\\dir\\*");
  EXPECT_EQ(names, (std::vector<std::string>{".", "..", "A.txt", "b.txt"}));
  EXPECT_EQ(Find("C:\\dir\\*.*"), names);
  auto root = Find("C:\\*");
  EXPECT_EQ(root, (std::vector<std::string>{"dir"}));
}

TEST(FindFirstFile, FailuresCarryTheWindowsCodes) {
  TempMachine machine;
  machine.WriteFile("drive_c/dir/a.txt", "");
  DWORD error = 0;
  EXPECT_TRUE(Find("C:\\dir\\*.log", &error).empty());
  EXPECT_EQ(error, static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  EXPECT_TRUE(Find("C:\\nodir\\*", &error).empty());
  EXPECT_EQ(error, static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
  EXPECT_TRUE(Find("C:\\dir\\", &error).empty());
  EXPECT_EQ(error, static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  WIN32_FIND_DATAA data{};
  EXPECT_FALSE(FindNextFileA(INVALID_HANDLE_VALUE, &data));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));

  machine.WriteMachineJson({{"faults", {{"FindFirstFileA", 5}}}});
  EXPECT_TRUE(Find("C:\\dir\\*", &error).empty());
  EXPECT_EQ(error, static_cast<DWORD>(ERROR_ACCESS_DENIED));
}

TEST(FindFirstFileW, ReturnsWideNames) {
  TempMachine machine;
  machine.WriteFile("drive_c/dir/caf\xc3\xa9.txt", "");
  WIN32_FIND_DATAW data{};
  HANDLE h = FindFirstFileW(WSTR("C:\\dir\\caf*.txt"), &data);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  EXPECT_EQ(std::u16string(data.cFileName), u"caf\u00e9.txt");
  EXPECT_FALSE(FindNextFileW(h, &data));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_MORE_FILES));
  FindClose(h);
}

}  // namespace
