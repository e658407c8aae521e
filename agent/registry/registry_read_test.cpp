#include <gtest/gtest.h>

#include <string>

#include "tests/support/log_capture.h"
#include "agent/registry/registry.h"

namespace {

using hl::test::LogCapture;
using hl::test::TempMachine;

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
    machine_.WriteRegistry(
        "[HKEY_LOCAL_MACHINE\\SYSTEM\\Test]\n"
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
        "[HKEY_CURRENT_USER\\Software\\Test]\n"
        "\"Text\"=\"user\"\n"
        "\n"
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Views]\n"
        "\"Which\"=\"native\"\n"
        "\n"
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\WOW6432Node\\Views]\n"
        "\"Which\"=\"redirected\"\n");
  }

  TempMachine machine_;
};

TEST_F(RegistryReadTest, HiveNamesAreFullOrShortAndCaseSensitive) {
  LogCapture log(machine_);
  struct Case {
    const char* path;
    signed char result;
    const char* text;
  } cases[] = {
      {"HKLM\\SYSTEM\\Test", 2, "hello"},
      {"HKEY_LOCAL_MACHINE\\SYSTEM\\Test", 2, "hello"},
      {"HKCU\\Software\\Test", 2, "user"},
      {"HKEY_CURRENT_USER\\Software\\Test", 2, "user"},
      {"hklm\\SYSTEM\\Test", -1, ""},
      {"HKEY_Local_Machine\\SYSTEM\\Test", -1, ""},
      {"HKXX\\SYSTEM\\Test", -1, ""},
      {"HKLM\\SYSTEM\\Missing", -1, ""},
  };
  for (const Case& c : cases) {
    std::string text = "stale";
    EXPECT_EQ(GetRegKeyValue(c.path, "Text", text, false), c.result) << c.path;
    EXPECT_EQ(text, c.text) << c.path;
  }
  EXPECT_TRUE(log.Has("[DEBUG] GetRegKeyValue : Unable to open the key: hklm\\SYSTEM\\Test")) << log.All();
  EXPECT_TRUE(log.Has("[DEBUG] GetRegKeyValue : Key      : HKLM\\SYSTEM\\Test")) << log.All();
  EXPECT_TRUE(log.Has("[DEBUG] GetRegKeyValue : ValueName: Text"));
  EXPECT_TRUE(log.Has("[DEBUG] GetRegKeyValue : RegValue : hello RegValue String : hello")) << log.All();
}

TEST_F(RegistryReadTest, EmptyValueNameOnlyTestsTheKey) {
  std::string text = "unchanged";
  EXPECT_EQ(GetRegKeyValue("HKLM\\SYSTEM\\Test", "", text, false), 1);
  EXPECT_EQ(text, "unchanged");
  EXPECT_EQ(GetRegKeyValue("HKLM\\SYSTEM", "", text, false), 1);
  EXPECT_EQ(GetRegKeyValue("HKLM", "", text, false), 1);  // no "\\": the hive itself
  EXPECT_EQ(text, "unchanged");
}

TEST_F(RegistryReadTest, MissingValueEmptiesTheTextAndLogsCode2) {
  LogCapture log(machine_);
  std::string text = "stale";
  EXPECT_EQ(GetRegKeyValue("HKLM\\SYSTEM\\Test", "Nothing", text, false), -2);
  EXPECT_EQ(text, "");
  EXPECT_TRUE(log.Has("[ERROR] GetRegKeyValue : Query of Key HKLM\\SYSTEM\\Test and valueName is Nothing failed due "
                      "to error: 2."))
      << log.All();
}

TEST_F(RegistryReadTest, ValueTypesAsText) {
  LogCapture log(machine_);
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
      {"N\xC3\xA9v", 2, "Zo\xC3\xAB"},
  };
  for (const Case& c : cases) {
    std::string text;
    EXPECT_EQ(GetRegKeyValue("HKEY_LOCAL_MACHINE\\SYSTEM\\Test", c.name, text, false), c.result) << c.name;
    EXPECT_EQ(text, c.text) << c.name;
  }
  EXPECT_TRUE(log.Has("[DEBUG] GetRegKeyValue : RegValue(dword) : -1 RegValue String(hex) : -1")) << log.All();
  EXPECT_TRUE(log.Has("[DEBUG] GetRegKeyValue : going to add the (default) value ."));
}

TEST_F(RegistryReadTest, LargeStringIsReadAgainAfterOneRetryLine) {
  LogCapture log(machine_);
  std::string text;
  EXPECT_EQ(GetRegKeyValue("HKLM\\SYSTEM\\Test", "Long", text, false), 2);
  EXPECT_EQ(text, std::string(5000, 'x'));
  EXPECT_EQ(log.Matching("So retrying!").size(), 1u);
  EXPECT_TRUE(log.Has("[ERROR] GetRegKeyValue : Query of Key HKLM\\SYSTEM\\Test and valueName is Long failed due to "
                      "error: 234. So retrying!"))
      << log.All();
}

TEST_F(RegistryReadTest, ViewChoiceUnderWow64) {
  std::string text;
  EXPECT_EQ(GetRegKeyValue("HKLM\\SOFTWARE\\Views", "Which", text, false), 2);
  EXPECT_EQ(text, "redirected");
  EXPECT_EQ(GetRegKeyValue("HKLM\\SOFTWARE\\Views", "Which", text, true), 2);
  EXPECT_EQ(text, "native");
}

TEST_F(RegistryReadTest, ReadRegSZ) {
  LogCapture log(machine_);
  std::optional<std::string> out = "stale";
  EXPECT_EQ(ReadRegSZ(HKEY_LOCAL_MACHINE, "SYSTEM\\Test", "Text", out), 0);
  EXPECT_EQ(out, "hello");
  EXPECT_EQ(ReadRegSZ(HKEY_LOCAL_MACHINE, "SYSTEM\\Test", "Empty", out), 0);
  EXPECT_EQ(out, "");
  EXPECT_EQ(ReadRegSZ(HKEY_LOCAL_MACHINE, "SYSTEM\\Test", "Long", out), 0);
  EXPECT_EQ(out, std::string(5000, 'x'));
  // The type is not inspected: a DWORD gives its bytes up to the first zero.
  EXPECT_EQ(ReadRegSZ(HKEY_LOCAL_MACHINE, "SYSTEM\\Test", "Seven", out), 0);
  EXPECT_EQ(out, "\x07");
  // Names are taken literally: "--" is a value of that name.
  EXPECT_EQ(ReadRegSZ(HKEY_LOCAL_MACHINE, "SYSTEM\\Test", "--", out), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(out, std::nullopt);

  // A missing value is returned silently; a missing key is logged.
  out = "stale";
  EXPECT_EQ(ReadRegSZ(HKEY_LOCAL_MACHINE, "SYSTEM\\Test", "Nothing", out), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(out, std::nullopt);
  EXPECT_TRUE(log.Matching("ReadRegSZ").empty()) << log.All();
  EXPECT_EQ(ReadRegSZ(HKEY_LOCAL_MACHINE, "SYSTEM\\Missing", "Text", out), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(out, std::nullopt);
  EXPECT_TRUE(log.Has("[ERROR] ReadRegSZ: Error while opening registry key SYSTEM\\Missing ,and the error is  2 "))
      << log.All();
}

TEST_F(RegistryReadTest, ReadRegSZExReadsUtf16WithAUtf8Name) {
  LogCapture log(machine_);
  std::optional<std::basic_string<WCHAR>> out;
  EXPECT_EQ(ReadRegSZEx(HKEY_LOCAL_MACHINE, "SYSTEM\\Test", "N\xC3\xA9v", out), 0);
  EXPECT_EQ(out, std::basic_string<WCHAR>(u"Zo\u00eb"));
  EXPECT_EQ(ReadRegSZEx(HKEY_LOCAL_MACHINE, "SYSTEM\\Test", "Nothing", out), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(out, std::nullopt);
  EXPECT_EQ(ReadRegSZEx(HKEY_LOCAL_MACHINE, "SYSTEM\\Missing", "Text", out), ERROR_FILE_NOT_FOUND);
  std::vector<std::string> errors = log.Matching("ReadRegSZEx: Error while opening registry key");
  ASSERT_EQ(errors.size(), 1u) << log.All();
  EXPECT_NE(errors[0].find("Text"), std::string::npos) << errors[0];  // names the value
}

TEST_F(RegistryReadTest, ReadDwordRegistryData) {
  LogCapture log(machine_);
  DWORD value = 42;
  EXPECT_EQ(ReadDwordRegistryData(HKEY_LOCAL_MACHINE, "SYSTEM\\Test", "Seven", &value), 0);
  EXPECT_EQ(value, 7u);

  // Missing key or value: 2, the preset stays, a DEBUG line only.
  value = 42;
  EXPECT_EQ(ReadDwordRegistryData(HKEY_LOCAL_MACHINE, "SYSTEM\\Missing", "Seven", &value), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(ReadDwordRegistryData(HKEY_LOCAL_MACHINE, "SYSTEM\\Test", "Nothing", &value), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(value, 42u);
  EXPECT_TRUE(log.Has("[DEBUG] ReadDwordRegistryData:  value  Seven Not found: 2 ")) << log.All();
  EXPECT_TRUE(log.Has("[DEBUG] ReadDwordRegistryData:  value  Nothing Not found: 2 ")) << log.All();
  EXPECT_TRUE(log.Matching("[ERROR]").empty()) << log.All();

  // More than 4 bytes: 234, logged, the preset stays.
  EXPECT_EQ(ReadDwordRegistryData(HKEY_LOCAL_MACHINE, "SYSTEM\\Test", "Wide", &value), ERROR_MORE_DATA);
  EXPECT_EQ(value, 42u);
  EXPECT_TRUE(log.Has("[ERROR] ReadDwordRegistryData: Error while reading DWORD value of Wide : 234 ")) << log.All();
}

TEST(RegistryReadFaults, OpenFailuresOtherThanNotFoundAreErrors) {
  TempMachine machine;
  machine.WriteRegistry("[HKEY_LOCAL_MACHINE\\SYSTEM\\Test]\n\"Seven\"=dword:00000007\n");
  machine.WriteMachineJson({{"faults", {{"RegOpenKeyExA", 5}}}});
  LogCapture log(machine);
  DWORD value = 42;
  EXPECT_EQ(ReadDwordRegistryData(HKEY_LOCAL_MACHINE, "SYSTEM\\Test", "Seven", &value), ERROR_ACCESS_DENIED);
  EXPECT_EQ(value, 42u);
  EXPECT_TRUE(log.Has("[ERROR] ReadDwordRegistryData: Error while opening registry key SYSTEM\\Test,and the "
                      "errorcode is : 5 "))
      << log.All();
  std::optional<std::string> out;
  EXPECT_EQ(ReadRegSZ(HKEY_LOCAL_MACHINE, "SYSTEM\\Test", "Seven", out), ERROR_ACCESS_DENIED);
  EXPECT_EQ(out, std::nullopt);
  std::string text = "stale";
  EXPECT_EQ(GetRegKeyValue("HKLM\\SYSTEM\\Test", "Seven", text, false), -1);
  EXPECT_EQ(text, "");
}

}  // namespace
