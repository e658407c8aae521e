#include <gtest/gtest.h>

#include <string>

#include "agent/registry/registry.h"
#include "tests/support/log_capture.h"
#include "tests/support/scratch_registry.h"
#include "tests/support/system_text.h"

namespace {

using hl::test::LogCapture;
using hl::test::ScratchRegistry;

// A .reg hex list of the UTF-16LE bytes of `text` (no terminator).
std::string Utf16Hex(const std::string& ascii) {
  std::string hex;
  for (char c : ascii) {
    if (!hex.empty()) hex += ",";
    hex += hl::Sprintf("%02x,00", static_cast<unsigned char>(c));
  }
  return hex;
}

class RegistryReadTest : public ::testing::Test {
 protected:
  void SetUp() override {
    registry_.Import(
        "[HKEY_LOCAL_MACHINE\\SYSTEM\\HarborlineTest]\n"
        "@=\"default text\"\n"
        "\"Text\"=\"hello\"\n"
        "\"Empty\"=\"\"\n"
        "\"AllOnes\"=dword:ffffffff\n"
        "\"Seven\"=dword:00000007\n"
        "\"Multi\"=hex(7):" + Utf16Hex("a") + ",00,00," + Utf16Hex("b") + ",00,00,00,00\n"
        "\"Binary\"=hex:41,42,00,43\n"
        "\"Wide\"=hex(b):01,00,00,00,00,00,00,00\n"
        "\"Long\"=\"" + std::string(5000, 'x') + "\"\n"
        "\"N\xC3\xA9v\"=\"Zo\xC3\xAB\"\n"
        "\n"
        "[HKEY_CURRENT_USER\\Software\\HarborlineTest]\n"
        "\"Text\"=\"user\"\n"
        "\n"
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\HarborlineTest]\n"
        "\"Which\"=\"native\"\n"
        "\n"
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\WOW6432Node\\HarborlineTest]\n"
        "\"Which\"=\"redirected\"\n");
  }

  ScratchRegistry registry_;
};

TEST_F(RegistryReadTest, HiveNamesAreFullOrShortAndCaseSensitive) {
  LogCapture log;
  struct Case {
    const char* path;
    signed char result;
    const char* text;
  } cases[] = {
      {"HKLM\\SYSTEM\\HarborlineTest", 2, "hello"},
      {"HKEY_LOCAL_MACHINE\\SYSTEM\\HarborlineTest", 2, "hello"},
      {"HKCU\\Software\\HarborlineTest", 2, "user"},
      {"HKEY_CURRENT_USER\\Software\\HarborlineTest", 2, "user"},
      {"hklm\\SYSTEM\\HarborlineTest", -1, ""},
      {"HKEY_Local_Machine\\SYSTEM\\HarborlineTest", -1, ""},
      {"HKXX\\SYSTEM\\HarborlineTest", -1, ""},
      {"HKLM\\SYSTEM\\HarborlineTest\\Missing", -1, ""},
  };
  for (const Case& c : cases) {
    std::string text = "stale";
    EXPECT_EQ(GetRegKeyValue(c.path, "Text", text, false), c.result) << c.path;
    EXPECT_EQ(text, c.text) << c.path;
  }
  EXPECT_TRUE(log.Has("[DEBUG] GetRegKeyValue : Unable to open the key: hklm\\SYSTEM\\HarborlineTest")) << log.All();
  EXPECT_TRUE(log.Has("[DEBUG] GetRegKeyValue : Key      : HKLM\\SYSTEM\\HarborlineTest")) << log.All();
  EXPECT_TRUE(log.Has("[DEBUG] GetRegKeyValue : ValueName: Text"));
  EXPECT_TRUE(log.Has("[DEBUG] GetRegKeyValue : RegValue : hello RegValue String : hello")) << log.All();
}

TEST_F(RegistryReadTest, EmptyValueNameOnlyTestsTheKey) {
  std::string text = "unchanged";
  EXPECT_EQ(GetRegKeyValue("HKLM\\SYSTEM\\HarborlineTest", "", text, false), 1);
  EXPECT_EQ(text, "unchanged");
  EXPECT_EQ(GetRegKeyValue("HKLM\\SYSTEM", "", text, false), 1);
  EXPECT_EQ(GetRegKeyValue("HKLM", "", text, false), 1);  // no "\\": the hive itself
  EXPECT_EQ(text, "unchanged");
}

TEST_F(RegistryReadTest, MissingValueEmptiesTheTextAndLogsCode2) {
  LogCapture log;
  std::string text = "stale";
  EXPECT_EQ(GetRegKeyValue("HKLM\\SYSTEM\\HarborlineTest", "Nothing", text, false), -2);
  EXPECT_EQ(text, "");
  EXPECT_TRUE(
      log.Has("[ERROR] GetRegKeyValue : Query of Key HKLM\\SYSTEM\\HarborlineTest and valueName is Nothing failed due "
              "to error: 2."))
      << log.All();
}

TEST_F(RegistryReadTest, ValueTypesAsText) {
  LogCapture log;
  struct Case {
    const char* name;
    signed char result;
    std::string text;
  } cases[] = {
      {"AllOnes", 2, "-1"},  // signed decimal
      {"Seven", 2, "7"},
      {"Multi", 2, "a"},  // the first string of the list
      {"Binary", 2, "AB"},
      {"Wide", 2, "\x01"},  // bytes up to the first zero
      {"Empty", 2, ""},
      {"--", 2, "default text"},
  };
  for (const Case& c : cases) {
    std::string text;
    EXPECT_EQ(GetRegKeyValue("HKEY_LOCAL_MACHINE\\SYSTEM\\HarborlineTest", c.name, text, false), c.result) << c.name;
    EXPECT_EQ(text, c.text) << c.name;
  }
  // The narrow API passes names and data in the system's ANSI code page.
  std::string text;
  const std::string name = hl::test::InAnsiCodePage(WSTR("N\u00e9v"));
  EXPECT_EQ(GetRegKeyValue("HKLM\\SYSTEM\\HarborlineTest", name.c_str(), text, false), 2);
  EXPECT_EQ(text, hl::test::InAnsiCodePage(WSTR("Zo\u00eb")));
  EXPECT_TRUE(log.Has("[DEBUG] GetRegKeyValue : RegValue(dword) : -1 RegValue String(hex) : -1")) << log.All();
  EXPECT_TRUE(log.Has("[DEBUG] GetRegKeyValue : going to add the (default) value ."));
}

TEST_F(RegistryReadTest, LargeStringIsReadAgainAfterOneRetryLine) {
  LogCapture log;
  std::string text;
  EXPECT_EQ(GetRegKeyValue("HKLM\\SYSTEM\\HarborlineTest", "Long", text, false), 2);
  EXPECT_EQ(text, std::string(5000, 'x'));
  EXPECT_EQ(log.Matching("So retrying!").size(), 1u);
  EXPECT_TRUE(
      log.Has("[ERROR] GetRegKeyValue : Query of Key HKLM\\SYSTEM\\HarborlineTest and valueName is Long failed due to "
              "error: 234. So retrying!"))
      << log.All();
}

TEST_F(RegistryReadTest, ViewChoiceUnderWow64) {
  std::string text;
  EXPECT_EQ(GetRegKeyValue("HKLM\\SOFTWARE\\HarborlineTest", "Which", text, false), 2);
  EXPECT_EQ(text, "redirected");
  EXPECT_EQ(GetRegKeyValue("HKLM\\SOFTWARE\\HarborlineTest", "Which", text, true), 2);
  EXPECT_EQ(text, "native");
}

TEST_F(RegistryReadTest, ReadRegSZ) {
  LogCapture log;
  std::optional<std::string> out = "stale";
  EXPECT_EQ(ReadRegSZ(HKEY_LOCAL_MACHINE, "SYSTEM\\HarborlineTest", "Text", out), 0);
  EXPECT_EQ(out, "hello");
  EXPECT_EQ(ReadRegSZ(HKEY_LOCAL_MACHINE, "SYSTEM\\HarborlineTest", "Empty", out), 0);
  EXPECT_EQ(out, "");
  EXPECT_EQ(ReadRegSZ(HKEY_LOCAL_MACHINE, "SYSTEM\\HarborlineTest", "Long", out), 0);
  EXPECT_EQ(out, std::string(5000, 'x'));
  // The type is not inspected: a DWORD gives its bytes up to the first zero.
  EXPECT_EQ(ReadRegSZ(HKEY_LOCAL_MACHINE, "SYSTEM\\HarborlineTest", "Seven", out), 0);
  EXPECT_EQ(out, "\x07");
  // Names are taken literally: "--" is a value of that name.
  EXPECT_EQ(ReadRegSZ(HKEY_LOCAL_MACHINE, "SYSTEM\\HarborlineTest", "--", out), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(out, std::nullopt);

  // A missing value is returned silently; a missing key is logged.
  out = "stale";
  EXPECT_EQ(ReadRegSZ(HKEY_LOCAL_MACHINE, "SYSTEM\\HarborlineTest", "Nothing", out), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(out, std::nullopt);
  EXPECT_TRUE(log.Matching("ReadRegSZ").empty()) << log.All();
  EXPECT_EQ(ReadRegSZ(HKEY_LOCAL_MACHINE, "SYSTEM\\HarborlineTest\\Missing", "Text", out), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(out, std::nullopt);
  EXPECT_TRUE(log.Has(
      "[ERROR] ReadRegSZ: Error while opening registry key SYSTEM\\HarborlineTest\\Missing ,and the error is  2 "))
      << log.All();
}

TEST_F(RegistryReadTest, ReadRegSZExReadsUtf16WithAUtf8Name) {
  LogCapture log;
  std::optional<std::basic_string<WCHAR>> out;
  EXPECT_EQ(ReadRegSZEx(HKEY_LOCAL_MACHINE, "SYSTEM\\HarborlineTest", "N\xC3\xA9v", out), 0);
  EXPECT_EQ(out, std::basic_string<WCHAR>(WSTR("Zo\u00eb")));
  EXPECT_EQ(ReadRegSZEx(HKEY_LOCAL_MACHINE, "SYSTEM\\HarborlineTest", "Nothing", out), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(out, std::nullopt);
  EXPECT_EQ(ReadRegSZEx(HKEY_LOCAL_MACHINE, "SYSTEM\\HarborlineTest\\Missing", "Text", out), ERROR_FILE_NOT_FOUND);
  std::vector<std::string> errors = log.Matching("ReadRegSZEx: Error while opening registry key");
  ASSERT_EQ(errors.size(), 1u) << log.All();
  EXPECT_NE(errors[0].find("Text"), std::string::npos) << errors[0];  // names the value
}

TEST_F(RegistryReadTest, ReadDwordRegistryData) {
  LogCapture log;
  DWORD value = 42;
  EXPECT_EQ(ReadDwordRegistryData(HKEY_LOCAL_MACHINE, "SYSTEM\\HarborlineTest", "Seven", &value), 0);
  EXPECT_EQ(value, 7u);

  // Missing key or value: 2, the preset stays, a DEBUG line only.
  value = 42;
  EXPECT_EQ(ReadDwordRegistryData(HKEY_LOCAL_MACHINE, "SYSTEM\\HarborlineTest\\Missing", "Seven", &value),
            ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(ReadDwordRegistryData(HKEY_LOCAL_MACHINE, "SYSTEM\\HarborlineTest", "Nothing", &value),
            ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(value, 42u);
  EXPECT_TRUE(log.Has("[DEBUG] ReadDwordRegistryData:  value  Seven Not found: 2 ")) << log.All();
  EXPECT_TRUE(log.Has("[DEBUG] ReadDwordRegistryData:  value  Nothing Not found: 2 ")) << log.All();
  EXPECT_TRUE(log.Matching("[ERROR]").empty()) << log.All();

  // More than 4 bytes: 234, logged, the preset stays.
  EXPECT_EQ(ReadDwordRegistryData(HKEY_LOCAL_MACHINE, "SYSTEM\\HarborlineTest", "Wide", &value), ERROR_MORE_DATA);
  EXPECT_EQ(value, 42u);
  EXPECT_TRUE(log.Has("[ERROR] ReadDwordRegistryData: Error while reading DWORD value of Wide : 234 ")) << log.All();
}

}  // namespace
