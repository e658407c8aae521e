#include <gtest/gtest.h>

#include "tests/support/log_capture.h"
#include "agent/machine/text.h"

namespace {

using hl::test::LogCapture;
using hl::test::TempMachine;

// The system's own text for a code, through the wide call, as the agent converts it.
std::string SystemText(DWORD code) {
  WCHAR* buffer = nullptr;
  DWORD n = FormatMessageW(0x13FF, nullptr, code, 0x0400, reinterpret_cast<LPWSTR>(&buffer), 0, nullptr);
  std::string text;
  if (n != 0) ChangeWideToUtf8Str(buffer, text);
  if (buffer != nullptr) LocalFree(buffer);
  return text;
}

TEST(CustomErrorMessage, TableTextsAndUnknownCodes) {
  struct Case {
    DWORD code;
    const char* text;
  } cases[] = {
      {1508, "The requested operation is successful. Changes will not be effective until the browser is rebooted."},
      {10002, "hl.db.agent.config.run_as_admin.credentials_not_available"},
      {17021, "OfficeUpdateError: Creating temp folder."},
      {17022, "Unknown Error. Code : 17022"},  // a gap in the table
      {17048, "OfficeUpdateError : This installation requires Windows Installer 3.1 or greater."},
      {20001, "Patch update delayed since application is used by another process"},
      {0x240006, "Patch already Installed and the changes will not be effective until the system is rebooted."},
      {0x240007, "Patch already Uninstalled and the changes will not be effective until the system is rebooted."},
      {0x240008, "Unknown Error. Code : 2359304"},
  };
  for (const Case& c : cases) EXPECT_EQ(GetCustomErrorMessage(c.code), c.text) << c.code;
}

TEST(ErrorMessage, SystemTextLoggedAtErrorOrInfoForSuccess) {
  TempMachine machine;
  LogCapture log(machine);
  const std::string notFound = SystemText(ERROR_FILE_NOT_FOUND);
  ASSERT_FALSE(notFound.empty());
  EXPECT_EQ(notFound.find('\n'), std::string::npos);  // no line breaks in the one-line form

  EXPECT_EQ(GetErrorMessage(ERROR_FILE_NOT_FOUND), notFound);
  EXPECT_TRUE(log.Has("[ERROR] Error Code : 2 , Error Message : " + notFound + " ")) << log.All();

  LogErrorMessage(ERROR_SUCCESS);
  EXPECT_TRUE(log.Has("[INFO] Message : " + SystemText(0) + " ")) << log.All();
}

TEST(ErrorMessage, ProductCodesFallBackToTheirOwnTexts) {
  TempMachine machine;
  LogCapture log(machine);
  ASSERT_TRUE(SystemText(17025).empty()) << "the system is not expected to know product codes";
  EXPECT_EQ(GetErrorMessage(17025), "OfficeUpdateError: Patch already installed.");
  EXPECT_TRUE(log.Has("[ERROR] Error Code : 17025 , Error Message : OfficeUpdateError: Patch already installed. "));
  EXPECT_EQ(GetErrorMessage(424242), "Unknown Error. Code : 424242");
}

TEST(ErrorMessage, AnsiFormTrimsBlanks) {
  TempMachine machine;
  LogCapture log(machine);
  EXPECT_EQ(LogErrorMessageA(ERROR_ACCESS_DENIED), 0);
  std::vector<std::string> lines = log.Matching("Error Code : 5 ,");
  ASSERT_EQ(lines.size(), 1u) << log.All();
  const std::string prefix = "[ERROR] Error Code : 5 , Error Message : ";
  ASSERT_EQ(lines[0].rfind(prefix, 0), 0u);
  std::string text = lines[0].substr(prefix.size());
  ASSERT_GE(text.size(), 2u);
  // The line's own " " follows a text without blanks at either end.
  EXPECT_EQ(text.back(), ' ');
  EXPECT_NE(text[text.size() - 2], ' ');
  EXPECT_NE(text.front(), ' ');
}

TEST(ErrorMessage, LastErrorTextOfTheThread) {
  TempMachine machine;
  LogCapture log(machine);
  SetLastError(ERROR_ACCESS_DENIED);
  LogLastError();
  EXPECT_TRUE(log.Has("[ERROR]  Error Message: " + SystemText(ERROR_ACCESS_DENIED))) << log.All();
}

}  // namespace
