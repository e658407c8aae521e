// FormatMessage: system texts, widths, allocated buffers, unknown codes.
#include <gtest/gtest.h>

#include <string>

#include "platform/win32.h"

namespace {

const DWORD kSystem = FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS;

std::string Message(DWORD code, DWORD extraFlags = 0) {
  char buffer[512] = {};
  DWORD n = FormatMessageA(kSystem | extraFlags, nullptr, code, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), buffer,
                           sizeof buffer, nullptr);
  return std::string(buffer, n);
}

TEST(FormatMessage, SystemTextsAsWindowsWritesThem) {
  struct Case {
    DWORD code;
    const char* text;
  } cases[] = {
      {0, "The operation completed successfully."},
      {2, "The system cannot find the file specified."},
      {3, "The system cannot find the path specified."},
      {5, "Access is denied."},
      {32, "The process cannot access the file because it is being used by another process."},
      {122, "The data area passed to a system call is too small."},
      {183, "Cannot create a file when that file already exists."},
      {193, "%1 is not a valid Win32 application."},
      {234, "More data is available."},
      {259, "No more data is available."},
      {1355, "The specified domain either does not exist or could not be contacted."},
      {0x80070005u, "Access is denied."},  // a Win32 HRESULT reads as its code
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Message(c.code), std::string(c.text) + "\r\n") << c.code;
    EXPECT_EQ(Message(c.code, FORMAT_MESSAGE_MAX_WIDTH_MASK), std::string(c.text) + " ") << c.code;
  }
}

TEST(FormatMessage, AllocatedBufferIsFreedWithLocalFree) {
  LPSTR text = nullptr;
  DWORD n = FormatMessageA(kSystem | FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_MAX_WIDTH_MASK, nullptr, 2, 0,
                           reinterpret_cast<LPSTR>(&text), 0, nullptr);
  ASSERT_NE(text, nullptr);
  EXPECT_EQ(std::string(text, n), "The system cannot find the file specified. ");
  EXPECT_EQ(LocalFree(text), nullptr);

  LPWSTR wide = nullptr;
  n = FormatMessageW(0x13FF, nullptr, 1062, 0x0400, reinterpret_cast<LPWSTR>(&wide), 0, nullptr);
  ASSERT_NE(wide, nullptr);
  EXPECT_EQ(std::u16string(wide, n), u"The service has not been started. ");
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
                           sizeof buffer, args);
  EXPECT_EQ(std::string(buffer, n), "app.exe is not a valid Win32 application.\r\n");
  n = FormatMessageA(FORMAT_MESSAGE_FROM_STRING | FORMAT_MESSAGE_ARGUMENT_ARRAY, "%1 has %2!d! items%n100%%%0",
                     0, 0, buffer, sizeof buffer, args);
  EXPECT_EQ(std::string(buffer, n), "app.exe has 42 items\r\n100%");
  // Inserts without arguments are refused unless ignored.
  EXPECT_EQ(FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, 193, 0, buffer, sizeof buffer, nullptr), 0u);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  n = FormatMessageA(kSystem | 20, nullptr, 32, 0, buffer, sizeof buffer, nullptr);
  std::string wrapped(buffer, n);
  EXPECT_NE(wrapped.find("\r\n"), std::string::npos);
  for (size_t start = 0, end; (end = wrapped.find("\r\n", start)) != std::string::npos; start = end + 2)
    EXPECT_LE(end - start, 20u);
}

TEST(LocalAlloc, TrackedBlocksZeroedAndFreedOnce) {
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
