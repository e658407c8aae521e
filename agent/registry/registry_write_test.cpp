#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "agent/machine/text.h"
#include "agent/registry/registry.h"
#include "tests/support/log_capture.h"
#include "tests/support/scratch_registry.h"
#include "tests/support/system_text.h"

namespace {

using hl::test::LogCapture;
using hl::test::ScratchRegistry;

struct Stored {
  LONG result = -1;
  DWORD type = 0;
  std::vector<BYTE> bytes;
};

// The raw value as the registry holds it.
Stored Query(HKEY hive, const char* subKey, const WCHAR* name, REGSAM view = 0) {
  Stored s;
  HKEY key = nullptr;
  s.result = RegOpenKeyExA(hive, subKey, 0, KEY_QUERY_VALUE | view, &key);
  if (s.result != ERROR_SUCCESS) return s;
  DWORD size = 0;
  s.result = RegQueryValueExW(key, name, nullptr, &s.type, nullptr, &size);
  if (s.result == ERROR_SUCCESS) {
    s.bytes.resize(size);
    s.result = RegQueryValueExW(key, name, nullptr, &s.type, s.bytes.data(), &size);
    s.bytes.resize(size);
  }
  RegCloseKey(key);
  return s;
}

template <class T>
std::vector<BYTE> Bytes(const T* data, size_t count) {
  const BYTE* p = reinterpret_cast<const BYTE*>(data);
  return std::vector<BYTE>(p, p + count * sizeof(T));
}
std::vector<BYTE> Wide(const WCHAR* text, size_t unitsWithTerminators) { return Bytes(text, unitsWithTerminators); }
std::vector<BYTE> Dword(DWORD v) { return Bytes(&v, 1); }

bool KeyExists(HKEY hive, const char* subKey, REGSAM view = 0) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(hive, subKey, 0, KEY_QUERY_VALUE | view, &key) != ERROR_SUCCESS) return false;
  RegCloseKey(key);
  return true;
}

constexpr const char* kKey = "SYSTEM\\HarborlineTest\\Write";

class RegistryWriteTest : public ::testing::Test {
 protected:
  void SetUp() override {
    registry_.Import("[HKEY_LOCAL_MACHINE\\SYSTEM\\HarborlineTest\\Existing]\n\"Old\"=\"x\"\n");
  }
  ScratchRegistry registry_;
};

TEST_F(RegistryWriteTest, DwordFromText) {
  struct Case {
    const char* data;
    DWORD plain;     // writeValue: leading signed number of the text
    DWORD extended;  // writeValueEx: leading unsigned number
  } cases[] = {
      {"1.0", 1, 1},         {"--", 0, 0},           {"letters", 0, 0},
      {"42", 42, 42},        {"3abc", 3, 3},         {"-1", 0xFFFFFFFFu, 0},
      {" 12", 12, 12},       {"4294967295", 0xFFFFFFFFu, 0xFFFFFFFFu},
      {"99999999999", 0xFFFFFFFFu, 0xFFFFFFFFu},
  };
  for (const Case& c : cases) {
    ASSERT_EQ(writeValue(HKEY_LOCAL_MACHINE, kKey, "Plain", c.data, REG_DWORD), 0) << c.data;
    ASSERT_EQ(writeValueEx(HKEY_LOCAL_MACHINE, kKey, "Ex", c.data, REG_DWORD), 0) << c.data;
    Stored plain = Query(HKEY_LOCAL_MACHINE, kKey, WSTR("Plain"));
    Stored ex = Query(HKEY_LOCAL_MACHINE, kKey, WSTR("Ex"));
    EXPECT_EQ(plain.type, static_cast<DWORD>(REG_DWORD));
    EXPECT_EQ(plain.bytes, Dword(c.plain)) << c.data;
    EXPECT_EQ(ex.bytes, Dword(c.extended)) << c.data;
  }
}

TEST_F(RegistryWriteTest, StringTypesAndTheirDebugLines) {
  LogCapture log;
  ASSERT_EQ(writeValue(HKEY_LOCAL_MACHINE, kKey, "Name", "Zo\xC3\xAB", REG_SZ), 0);
  EXPECT_EQ(Query(HKEY_LOCAL_MACHINE, kKey, WSTR("Name")).bytes, Wide(WSTR("Zo\u00eb"), 4));
  EXPECT_TRUE(log.Has("[DEBUG] writeValue:  Data type is REG_SZ or REG_EXPAND_SZ or REG_BINARY: 8")) << log.All();

  ASSERT_EQ(writeValueEx(HKEY_LOCAL_MACHINE, kKey, "Path", "%TEMP%", REG_EXPAND_SZ), 0);
  Stored path = Query(HKEY_LOCAL_MACHINE, kKey, WSTR("Path"));
  EXPECT_EQ(path.type, static_cast<DWORD>(REG_EXPAND_SZ));
  EXPECT_EQ(path.bytes, Wide(WSTR("%TEMP%"), 7));

  // REG_BINARY: UTF-16 text from writeValue, the 8-bit text from writeValueEx.
  ASSERT_EQ(writeValue(HKEY_LOCAL_MACHINE, kKey, "Bin", "AB", REG_BINARY), 0);
  EXPECT_EQ(Query(HKEY_LOCAL_MACHINE, kKey, WSTR("Bin")).bytes, Wide(WSTR("AB"), 3));
  ASSERT_EQ(writeValueEx(HKEY_LOCAL_MACHINE, kKey, "BinEx", "AB", REG_BINARY), 0);
  Stored binEx = Query(HKEY_LOCAL_MACHINE, kKey, WSTR("BinEx"));
  EXPECT_EQ(binEx.type, static_cast<DWORD>(REG_BINARY));
  EXPECT_EQ(binEx.bytes, (std::vector<BYTE>{'A', 'B', 0}));
  EXPECT_TRUE(log.Has("[DEBUG] writeValueEx:  Data type is REG_BINARY: 3")) << log.All();

  // "--" as data: empty data.
  ASSERT_EQ(writeValue(HKEY_LOCAL_MACHINE, kKey, "Blank", "--", REG_SZ), 0);
  EXPECT_EQ(Query(HKEY_LOCAL_MACHINE, kKey, WSTR("Blank")).bytes, Wide(WSTR(""), 1));
  EXPECT_TRUE(log.Has("[INFO] writeValue : going to add the value data as 0 value .")) << log.All();
}

TEST_F(RegistryWriteTest, MultiStringSplitsAtSemicolonsWithCaretEscapes) {
  LogCapture log;
  ASSERT_EQ(writeValueEx(HKEY_LOCAL_MACHINE, kKey, "List", "a;b^;c", REG_MULTI_SZ), 0);
  Stored list = Query(HKEY_LOCAL_MACHINE, kKey, WSTR("List"));
  EXPECT_EQ(list.type, static_cast<DWORD>(REG_MULTI_SZ));
  EXPECT_EQ(list.bytes, Wide(WSTR("a\0b;c\0\0"), 7));
  EXPECT_TRUE(log.Has("[DEBUG] writeValueEx:  Data type is REG_MULTI_SZ: 14")) << log.All();

  ASSERT_EQ(writeValueEx(HKEY_LOCAL_MACHINE, kKey, "Carets", "^^x;y^", REG_MULTI_SZ), 0);
  EXPECT_EQ(Query(HKEY_LOCAL_MACHINE, kKey, WSTR("Carets")).bytes, Wide(WSTR("^x\0y\0\0"), 6));
  ASSERT_EQ(writeValueEx(HKEY_LOCAL_MACHINE, kKey, "None", "--", REG_MULTI_SZ), 0);
  EXPECT_EQ(Query(HKEY_LOCAL_MACHINE, kKey, WSTR("None")).bytes, Wide(WSTR("\0\0"), 2));

  // writeValue does not write lists: refused before the key is made.
  EXPECT_EQ(writeValue(HKEY_LOCAL_MACHINE, "SYSTEM\\HarborlineTest\\NotMade", "List", "a;b", REG_MULTI_SZ),
            ERROR_INVALID_DATA);
  EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, "SYSTEM\\HarborlineTest\\NotMade"));
}

TEST_F(RegistryWriteTest, QwordFromDigits) {
  LogCapture log;
  ASSERT_EQ(writeValueEx(HKEY_LOCAL_MACHINE, kKey, "Big", "18446744073709551615", REG_QWORD), 0);
  Stored big = Query(HKEY_LOCAL_MACHINE, kKey, WSTR("Big"));
  EXPECT_EQ(big.type, static_cast<DWORD>(REG_QWORD));
  EXPECT_EQ(big.bytes, std::vector<BYTE>(8, 0xFF));
  EXPECT_TRUE(log.Has("[DEBUG] writeValueEx:  REG_QWORD -- sizeOfInputData: 8")) << log.All();
  ASSERT_EQ(writeValueEx(HKEY_LOCAL_MACHINE, kKey, "Zero", "--", REG_QWORD), 0);
  EXPECT_EQ(Query(HKEY_LOCAL_MACHINE, kKey, WSTR("Zero")).bytes, std::vector<BYTE>(8, 0));

  // Every character counts as a digit: "1.0" is 1*100 + ('.'-'0')*10 + 0 = 80, stored without an ERROR line.
  ASSERT_EQ(writeValueEx(HKEY_LOCAL_MACHINE, kKey, "Odd", "1.0", REG_QWORD), 0);
  std::vector<BYTE> eighty(8, 0);
  eighty[0] = 80;
  EXPECT_EQ(Query(HKEY_LOCAL_MACHINE, kKey, WSTR("Odd")).bytes, eighty);
  EXPECT_EQ(StringToUInt64("1.0"), 80u);
  EXPECT_TRUE(log.Matching("[ERROR]").empty()) << log.All();
}

TEST_F(RegistryWriteTest, DefaultValueAndMissingTexts) {
  LogCapture log;
  ASSERT_EQ(writeValue(HKEY_LOCAL_MACHINE, kKey, "--", "def", REG_SZ), 0);
  EXPECT_EQ(Query(HKEY_LOCAL_MACHINE, kKey, WSTR("")).bytes, Wide(WSTR("def"), 4));
  EXPECT_TRUE(log.Has("[INFO] writeValue : going to add the (default) value .")) << log.All();

  EXPECT_EQ(writeValue(HKEY_LOCAL_MACHINE, "SYSTEM\\HarborlineTest\\NotMade", nullptr, "x", REG_SZ),
            ERROR_INVALID_DATA);
  EXPECT_EQ(writeValue(HKEY_LOCAL_MACHINE, "SYSTEM\\HarborlineTest\\NotMade", "x", nullptr, REG_SZ),
            ERROR_INVALID_DATA);
  EXPECT_EQ(writeValueEx(HKEY_LOCAL_MACHINE, "SYSTEM\\HarborlineTest\\NotMade", "x", "", REG_SZ), ERROR_INVALID_DATA);
  EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, "SYSTEM\\HarborlineTest\\NotMade"));
  EXPECT_EQ(log.Count("[INFO] writeValue : Valuename or Valuedata is Empty "), 2u) << log.All();
  EXPECT_EQ(log.Count("[ERROR] writeValueEx : Valuename or Valuedata is Empty "), 1u) << log.All();
}

TEST_F(RegistryWriteTest, SuccessfulWriteLogsItsSteps) {
  LogCapture log;
  ASSERT_EQ(
      writeValue(HKEY_LOCAL_MACHINE, "SYSTEM\\HarborlineTest\\Existing", "FeatureSettingsOverride", "0", REG_DWORD), 0);
  std::vector<std::string> lines = log.Lines();
  std::vector<std::string> expected = {
      "[DEBUG] @@@@@@@@ Inside writeValue Method @@@@@@@@ ",
      "[DEBUG] writeValue: Subkey : SYSTEM\\HarborlineTest\\Existing ",
      "[DEBUG] writeValue: Value Name: FeatureSettingsOverride ",
      "[DEBUG] writeValue: Value Data: 0 ",
      "[DEBUG] UTF String Received:FeatureSettingsOverride",
      "[DEBUG] UTF String Received:0",
      "[DEBUG] writeValue:  REG_DWORD -- sizeOfInputData: 4",
      "[DEBUG] addRegistryKey: Inside addRegistryKey method ...... ",
      "[DEBUG] addRegistryKey:  Opened already existing key! ",
      "[DEBUG] writeValue:  Key found ...!: 0",
      "[DEBUG] writeValue:  After addRegistryKey method in writeValue method!!",
      // The one-line system text keeps the blank that replaced its line break.
      "[INFO] Message : " + hl::test::OneLineSystemText(ERROR_SUCCESS) + " ",
      "[DEBUG] @@@@@@@@ End Of writeValue Method @@@@@@@@ ",
  };
  // The log starts with its own open line, which Lines() leaves out.
  EXPECT_EQ(lines, expected) << log.All();
}

TEST_F(RegistryWriteTest, AddRegistryKeyReportsCreatedOrExisting) {
  LogCapture log;
  EXPECT_EQ(addRegistryKey(HKEY_LOCAL_MACHINE, "SYSTEM\\HarborlineTest\\Fresh\\Deep"), 0);
  EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, "SYSTEM\\HarborlineTest\\Fresh\\Deep"));
  EXPECT_TRUE(log.Has("[DEBUG] addRegistryKey:  Create registry key function successfull: 1 ")) << log.All();
  EXPECT_EQ(addRegistryKeyEx(HKEY_LOCAL_MACHINE, "SYSTEM\\HarborlineTest\\Fresh\\Deep"), 0);
  EXPECT_TRUE(log.Has("[DEBUG] addRegistryKeyEx: Inside addRegistryKey method ...... ")) << log.All();
  EXPECT_TRUE(log.Has("[DEBUG] addRegistryKeyEx:  Opened already existing key! ")) << log.All();
}

TEST_F(RegistryWriteTest, ExWritersUseTheNativeViewUnderWow64) {
  ASSERT_EQ(ProcessRunsUnderWow64(), 1) << "the tool runs as a 32-bit process on 64-bit Windows";
  const char* key = "SOFTWARE\\HarborlineTest\\Virtualization";
  ASSERT_EQ(writeValueEx(HKEY_LOCAL_MACHINE, key, "MinVmVersionForCpuBasedMitigations", "1.0", REG_SZ), 0);
  Stored native = Query(HKEY_LOCAL_MACHINE, key, WSTR("MinVmVersionForCpuBasedMitigations"), KEY_WOW64_64KEY);
  EXPECT_EQ(native.type, static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(native.bytes, Wide(WSTR("1.0"), 4));
  EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, key, KEY_WOW64_32KEY));

  // writeValue stays in the process's own (redirected) view.
  ASSERT_EQ(writeValue(HKEY_LOCAL_MACHINE, "SOFTWARE\\HarborlineTest\\Own", "V", "1", REG_DWORD), 0);
  EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, "SOFTWARE\\HarborlineTest\\Own", KEY_WOW64_32KEY));
  EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, "SOFTWARE\\HarborlineTest\\Own", KEY_WOW64_64KEY));
}

}  // namespace
