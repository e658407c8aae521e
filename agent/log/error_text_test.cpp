#include <gtest/gtest.h>

#include "agent/log/error_text.h"
#include "tests/support/log_capture.h"
#include "tests/support/system_text.h"

namespace {

using hl::test::LogCapture;

using hl::test::OneLineSystemText;

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
  LogCapture log;
  const std::string notFound = OneLineSystemText(ERROR_FILE_NOT_FOUND);
  ASSERT_FALSE(notFound.empty());
  EXPECT_EQ(notFound.find('\n'), std::string::npos);  // no line breaks in the one-line form

  EXPECT_EQ(GetErrorMessage(ERROR_FILE_NOT_FOUND), notFound);
  EXPECT_TRUE(log.Has("[ERROR] Error Code : 2 , Error Message : " + notFound + " ")) << log.All();

  LogErrorMessage(ERROR_SUCCESS);
  EXPECT_TRUE(log.Has("[INFO] Message : " + OneLineSystemText(0) + " ")) << log.All();
}

TEST(ErrorMessage, ProductCodesFallBackToTheirOwnTexts) {
  LogCapture log;
  ASSERT_TRUE(OneLineSystemText(17025).empty()) << "the system is not expected to know product codes";
  EXPECT_EQ(GetErrorMessage(17025), "OfficeUpdateError: Patch already installed.");
  EXPECT_TRUE(log.Has("[ERROR] Error Code : 17025 , Error Message : OfficeUpdateError: Patch already installed. "));
  EXPECT_EQ(GetErrorMessage(424242), "Unknown Error. Code : 424242");
}

TEST(ErrorMessage, AnsiFormTrimsBlanks) {
  LogCapture log;
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
  LogCapture log;
  SetLastError(ERROR_ACCESS_DENIED);
  LogLastError();
  EXPECT_TRUE(log.Has("[ERROR]  Error Message: " + OneLineSystemText(ERROR_ACCESS_DENIED))) << log.All();
}

}  // namespace
