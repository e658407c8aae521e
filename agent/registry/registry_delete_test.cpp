#include <gtest/gtest.h>

#include "agent/registry/registry.h"
#include "tests/support/log_capture.h"
#include "tests/support/scratch_registry.h"
#include "tests/support/system_text.h"

namespace {

using hl::test::LogCapture;
using hl::test::ScratchRegistry;

bool KeyExists(const char* subKey) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, subKey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return false;
  RegCloseKey(key);
  return true;
}

bool ValueExists(const char* subKey, const char* name) {
  std::optional<std::string> out;
  return ReadRegSZ(HKEY_LOCAL_MACHINE, subKey, name, out) == ERROR_SUCCESS;
}

class RegistryDeleteTest : public ::testing::Test {
 protected:
  void SetUp() override {
    registry_.Import(
        "[HKEY_LOCAL_MACHINE\\SYSTEM\\HarborlineTest\\Tree]\n"
        "@=\"root default\"\n"
        "\"Keep\"=\"k\"\n"
        "\"Gone\"=\"g\"\n"
        "\"N\xC3\xA9v\"=\"w\"\n"
        "\n"
        "[HKEY_LOCAL_MACHINE\\SYSTEM\\HarborlineTest\\Tree\\A]\n"
        "\"v\"=\"1\"\n"
        "\n"
        "[HKEY_LOCAL_MACHINE\\SYSTEM\\HarborlineTest\\Tree\\A\\A1\\A11]\n"
        "\"v\"=\"2\"\n"
        "\n"
        "[HKEY_LOCAL_MACHINE\\SYSTEM\\HarborlineTest\\Tree\\B]\n"
        "\n"
        "[HKEY_LOCAL_MACHINE\\SYSTEM\\HarborlineTest\\Tree\\C\\C1]\n"
        "\n"
        "[HKEY_LOCAL_MACHINE\\SYSTEM\\HarborlineTest\\Sibling]\n"
        "\"v\"=\"s\"\n");
  }
  ScratchRegistry registry_;
};

TEST_F(RegistryDeleteTest, DeleteValueNamedOrDefault) {
  LogCapture log;
  EXPECT_EQ(deleteValue(HKEY_LOCAL_MACHINE, "SYSTEM\\HarborlineTest\\Tree", "Gone"), 0);
  EXPECT_FALSE(ValueExists("SYSTEM\\HarborlineTest\\Tree", "Gone"));
  EXPECT_TRUE(ValueExists("SYSTEM\\HarborlineTest\\Tree", "Keep"));
  EXPECT_TRUE(log.Has("[DEBUG] deleteValue: Inside function deleteValue ..... ")) << log.All();
  EXPECT_TRUE(log.Has("[INFO] deleteValue:  Key found ...!: 0")) << log.All();
  EXPECT_TRUE(log.Has("[INFO] deleteValue:  Delete value Gone success! ")) << log.All();

  EXPECT_EQ(deleteValue(HKEY_LOCAL_MACHINE, "SYSTEM\\HarborlineTest\\Tree", "--"), 0);
  EXPECT_FALSE(ValueExists("SYSTEM\\HarborlineTest\\Tree", ""));
  EXPECT_TRUE(log.Has("[INFO] deleteValue : going to delete the (default) value .")) << log.All();
}

TEST_F(RegistryDeleteTest, DeleteValueFailuresCarryTheirCodes) {
  LogCapture log;
  EXPECT_EQ(deleteValue(HKEY_LOCAL_MACHINE, "SYSTEM\\HarborlineTest\\Missing", "x"), ERROR_FILE_NOT_FOUND);
  EXPECT_TRUE(log.Has("[ERROR] deleteValue:  SYSTEM\\HarborlineTest\\Missing Key not found!: 2  ")) << log.All();
  EXPECT_EQ(deleteValue(HKEY_LOCAL_MACHINE, "SYSTEM\\HarborlineTest\\Tree", "Absent"), ERROR_FILE_NOT_FOUND);
  EXPECT_TRUE(log.Has("[ERROR] deleteValue:  Delete value Absent failure! ")) << log.All();
  // The last-error text names the failure just met.
  const std::string notFound = "[ERROR]  Error Message: " + hl::test::OneLineSystemText(ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(log.Count(notFound), 2u) << log.All();
}

TEST_F(RegistryDeleteTest, WideDeleteValue) {
  LogCapture log;
  // The narrow reads and the log's wide texts use the system's ANSI code page.
  const std::string name = hl::test::InAnsiCodePage(WSTR("N\u00e9v"));
  ASSERT_TRUE(ValueExists("SYSTEM\\HarborlineTest\\Tree", name.c_str()));
  EXPECT_EQ(deleteValue(HKEY_LOCAL_MACHINE, WSTR("SYSTEM\\HarborlineTest\\Tree"), WSTR("N\u00e9v")), 0);
  EXPECT_FALSE(ValueExists("SYSTEM\\HarborlineTest\\Tree", name.c_str()));
  EXPECT_TRUE(log.Has("[DEBUG] deleteValue: Inside function deleteValue ..... subkey : SYSTEM\\HarborlineTest\\Tree, "
                      "Valuename : " + name + " "))
      << log.All();
  EXPECT_TRUE(log.Has("[INFO] deleteValue:  Delete value " + name + " success! ")) << log.All();
  EXPECT_EQ(deleteValue(HKEY_LOCAL_MACHINE, WSTR("SYSTEM\\HarborlineTest\\Tree"), WSTR("--")), 0);
  EXPECT_FALSE(ValueExists("SYSTEM\\HarborlineTest\\Tree", ""));
  EXPECT_EQ(deleteValue(HKEY_LOCAL_MACHINE, WSTR("SYSTEM\\HarborlineTest\\Nope"), WSTR("x")), ERROR_FILE_NOT_FOUND);
  EXPECT_TRUE(log.Has("[ERROR] deleteValue:  SYSTEM\\HarborlineTest\\Nope Key not found!: 2  ")) << log.All();
}

TEST_F(RegistryDeleteTest, DeleteRegistryTreeRemovesEverythingBelow) {
  EXPECT_EQ(DeleteRegistryTree(HKEY_LOCAL_MACHINE, "SYSTEM\\HarborlineTest\\Tree"), 1);
  EXPECT_FALSE(KeyExists("SYSTEM\\HarborlineTest\\Tree"));
  EXPECT_TRUE(KeyExists("SYSTEM\\HarborlineTest\\Sibling"));
  EXPECT_EQ(DeleteRegistryTree(HKEY_LOCAL_MACHINE, "SYSTEM\\HarborlineTest\\Tree"), 0);
}

TEST_F(RegistryDeleteTest, DeleteRegistrySubkeysGivesTheSameResult) {
  EXPECT_EQ(DeleteRegistrySubkeys(HKEY_LOCAL_MACHINE, "SYSTEM\\HarborlineTest\\Tree"), 1);
  EXPECT_FALSE(KeyExists("SYSTEM\\HarborlineTest\\Tree"));
  EXPECT_TRUE(KeyExists("SYSTEM\\HarborlineTest\\Sibling"));
  EXPECT_EQ(DeleteRegistrySubkeys(HKEY_LOCAL_MACHINE, "SYSTEM\\HarborlineTest\\Tree"), 0);
}

TEST_F(RegistryDeleteTest, EmptyOrNullSubKeyIsRefusedAndNothingIsDeleted) {
  LogCapture log;
  EXPECT_EQ(DeleteRegistryTree(HKEY_LOCAL_MACHINE, ""), 0);
  EXPECT_EQ(DeleteRegistryTree(HKEY_LOCAL_MACHINE, nullptr), 0);
  EXPECT_EQ(DeleteRegistrySubkeys(HKEY_LOCAL_MACHINE, ""), 0);
  EXPECT_EQ(DeleteRegistrySubkeys(HKEY_LOCAL_MACHINE, nullptr), 0);
  EXPECT_TRUE(KeyExists("SYSTEM\\HarborlineTest\\Tree\\A\\A1\\A11"));
  EXPECT_TRUE(KeyExists("SYSTEM\\HarborlineTest\\Sibling"));
  EXPECT_EQ(log.Count("[ERROR] DeleteRegistryTree: Refusing an empty sub-key: nothing is deleted "), 2u) << log.All();
  EXPECT_EQ(log.Count("[ERROR] DeleteRegistrySubkeys: Refusing an empty sub-key: nothing is deleted "), 2u);
}

}  // namespace
