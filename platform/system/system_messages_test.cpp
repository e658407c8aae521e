// FormatMessage: system texts, widths, allocated buffers, unknown codes.
#include <gtest/gtest.h>

#include <string>

#include "platform/win32.h"
#include "tests/support/wine.h"

namespace {

using hl::test::WindowsOrWine;

const DWORD kSystem = FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS;

std::string Message(DWORD code, DWORD extraFlags = 0) {
  char buffer[512] = {};
  DWORD n = FormatMessageA(kSystem | extraFlags, nullptr, code, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), buffer,
                           sizeof buffer, nullptr);
  return std::string(buffer, n);
}

// Wine words the system texts its own, shorter way; the layout is the same.
TEST(FormatMessage, SystemTextsAsWindowsWritesThem) {
  struct Case {
    DWORD code;
    const char* text;
    const char* wine;
  } cases[] = {
      {0, "The operation completed successfully.", "Success."},
      {2, "The system cannot find the file specified.", "File not found."},
      {3, "The system cannot find the path specified.", "Path not found."},
      {5, "Access is denied.", "Access denied."},
      {32, "The process cannot access the file because it is being used by another process.", "Sharing violation."},
      {122, "The data area passed to a system call is too small.", "Insufficient buffer."},
      {183, "Cannot create a file when that file already exists.", "File already exists."},
      {193, "%1 is not a valid Win32 application.", "Bad EXE format for %1."},
      {234, "More data is available.", "More data available."},
      {259, "No more data is available.", "No more data available."},
      {1355, "The specified domain either does not exist or could not be contacted.", "No such domain."},
      {0x80070005u, "Access is denied.", "Access denied."},  // a Win32 HRESULT reads as its code
  };
  for (const auto& c : cases) {
    const std::string text = WindowsOrWine(c.text, c.wine);
    EXPECT_EQ(Message(c.code), text + "\r\n") << c.code;
    EXPECT_EQ(Message(c.code, FORMAT_MESSAGE_MAX_WIDTH_MASK), text + " ") << c.code;
  }
}

TEST(FormatMessage, AllocatedBufferIsFreedWithLocalFree) {
  LPSTR text = nullptr;
  DWORD n = FormatMessageA(kSystem | FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_MAX_WIDTH_MASK, nullptr, 2, 0,
                           reinterpret_cast<LPSTR>(&text), 0, nullptr);
  ASSERT_NE(text, nullptr);
  EXPECT_EQ(std::string(text, n), WindowsOrWine("The system cannot find the file specified. ", "File not found. "));
  EXPECT_EQ(LocalFree(text), nullptr);

  LPWSTR wide = nullptr;
  n = FormatMessageW(0x13FF, nullptr, 1062, 0x0400, reinterpret_cast<LPWSTR>(&wide), 0, nullptr);
  ASSERT_NE(wide, nullptr);
  EXPECT_EQ(std::basic_string<WCHAR>(wide, n),
            WindowsOrWine(WSTR("The service has not been started. "), WSTR("Service not active. ")));
  EXPECT_EQ(LocalFree(wide), nullptr);
}

TEST(FormatMessage, UnknownCodeAndSmallBuffer) {
  char buffer[8];
  EXPECT_EQ(FormatMessageA(kSystem, nullptr, 17022, 0, buffer, sizeof buffer, nullptr), 0u);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MR_MID_NOT_FOUND));
  LPSTR text = reinterpret_cast<LPSTR>(1);
  EXPECT_EQ(FormatMessageA(kSystem | FORMAT_MESSAGE_ALLOCATE_BUFFER, nullptr, 17022, 0,
                           reinterpret_cast<LPSTR>(&text), 0, nullptr),
            0u);
  EXPECT_EQ(text, nullptr);
  EXPECT_EQ(FormatMessageA(kSystem, nullptr, 2, 0, buffer, sizeof buffer, nullptr), 0u);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
}

TEST(FormatMessage, InsertsFromAnArrayAndLineWidths) {
  char buffer[128];
  const char* name = "app.exe";
  DWORD_PTR args[] = {reinterpret_cast<DWORD_PTR>(name), 42};
  DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_ARGUMENT_ARRAY, nullptr, 193, 0, buffer,
                           sizeof buffer, reinterpret_cast<va_list*>(args));
  EXPECT_EQ(std::string(buffer, n),
            WindowsOrWine("app.exe is not a valid Win32 application.\r\n", "Bad EXE format for app.exe.\r\n"));
  n = FormatMessageA(FORMAT_MESSAGE_FROM_STRING | FORMAT_MESSAGE_ARGUMENT_ARRAY, "%1 has %2!d! items%n100%%%0",
                     0, 0, buffer, sizeof buffer, reinterpret_cast<va_list*>(args));
  EXPECT_EQ(std::string(buffer, n), "app.exe has 42 items\r\n100%");
  // Inserts without arguments are refused unless ignored.
  EXPECT_EQ(FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, 193, 0, buffer, sizeof buffer, nullptr), 0u);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  // A width wraps the text into lines of at most that many characters (Wine does not wrap).
  if (hl::test::RunsUnderWine()) return;
  n = FormatMessageA(kSystem | 20, nullptr, 32, 0, buffer, sizeof buffer, nullptr);
  std::string wrapped(buffer, n);
  EXPECT_NE(wrapped.find("\r\n"), std::string::npos);
  for (size_t start = 0, end; (end = wrapped.find("\r\n", start)) != std::string::npos; start = end + 2)
    EXPECT_LE(end - start, 20u);
}

TEST(LocalAlloc, TrackedBlocksZeroedAndFreedOnce) {
#ifdef _WIN32
  GTEST_SKIP() << "on Windows, freeing a block the heap never gave out is undefined";
#endif
  auto* block = static_cast<unsigned char*>(LocalAlloc(LPTR, 16));
  ASSERT_NE(block, nullptr);
  for (int i = 0; i < 16; ++i) EXPECT_EQ(block[i], 0);
  EXPECT_EQ(LocalFree(block), nullptr);
  int local = 0;
  EXPECT_EQ(LocalFree(&local), &local);  // not ours: handed back with an error
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  HGLOBAL g = GlobalAlloc(GPTR, 0);
  ASSERT_NE(g, nullptr);
  EXPECT_EQ(GlobalFree(g), nullptr);
  EXPECT_EQ(LocalFree(nullptr), nullptr);
}

}  // namespace
