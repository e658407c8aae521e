#include <gtest/gtest.h>

#include "tests/support/log_capture.h"
#include "agent/registry/registry.h"

namespace {

using hl::test::LogCapture;
using hl::test::TempMachine;

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
    machine_.WriteRegistry(
        "[HKEY_LOCAL_MACHINE\\SYSTEM\\Tree]\n"
        "@=\"root default\"\n"
        "\"Keep\"=\"k\"\n"
        "\"Gone\"=\"g\"\n"
        "\"N\xC3\xA9v\"=\"w\"\n"
        "\n"
        "[HKEY_LOCAL_MACHINE\\SYSTEM\\Tree\\A]\n"
        "\"v\"=\"1\"\n"
        "\n"
        "[HKEY_LOCAL_MACHINE\\SYSTEM\\Tree\\A\\A1\\A11]\n"
        "\"v\"=\"2\"\n"
        "\n"
        "[HKEY_LOCAL_MACHINE\\SYSTEM\\Tree\\B]\n"
        "\n"
        "[HKEY_LOCAL_MACHINE\\SYSTEM\\Tree\\C\\C1]\n"
        "\n"
        "[HKEY_LOCAL_MACHINE\\SYSTEM\\Sibling]\n"
        "\"v\"=\"s\"\n");
  }
  TempMachine machine_;
};

TEST_F(RegistryDeleteTest, DeleteValueNamedOrDefault) {
  LogCapture log(machine_);
  EXPECT_EQ(deleteValue(HKEY_LOCAL_MACHINE, "SYSTEM\\Tree", "Gone"), 0);
  EXPECT_FALSE(ValueExists("SYSTEM\\Tree", "Gone"));
  EXPECT_TRUE(ValueExists("SYSTEM\\Tree", "Keep"));
  EXPECT_TRUE(log.Has("[DEBUG] deleteValue: Inside function deleteValue ..... ")) << log.All();
  EXPECT_TRUE(log.Has("[INFO] deleteValue:  Key found ...!: 0")) << log.All();
  EXPECT_TRUE(log.Has("[INFO] deleteValue:  Delete value Gone success! ")) << log.All();

  EXPECT_EQ(deleteValue(HKEY_LOCAL_MACHINE, "SYSTEM\\Tree", "--"), 0);
  EXPECT_FALSE(ValueExists("SYSTEM\\Tree", ""));
  EXPECT_TRUE(log.Has("[INFO] deleteValue : going to delete the (default) value .")) << log.All();
}

TEST_F(RegistryDeleteTest, DeleteValueFailuresCarryTheirCodes) {
  LogCapture log(machine_);
  EXPECT_EQ(deleteValue(HKEY_LOCAL_MACHINE, "SYSTEM\\Missing", "x"), ERROR_FILE_NOT_FOUND);
  EXPECT_TRUE(log.Has("[ERROR] deleteValue:  SYSTEM\\Missing Key not found!: 2  ")) << log.All();
  EXPECT_EQ(deleteValue(HKEY_LOCAL_MACHINE, "SYSTEM\\Tree", "Absent"), ERROR_FILE_NOT_FOUND);
  EXPECT_TRUE(log.Has("[ERROR] deleteValue:  Delete value Absent failure! ")) << log.All();
  // The last-error text names the failure just met.
  EXPECT_EQ(log.Count("[ERROR]  Error Message: The system cannot find the file specified. "), 2u) << log.All();
}

TEST_F(RegistryDeleteTest, WideDeleteValue) {
  LogCapture log(machine_);
  EXPECT_EQ(deleteValue(HKEY_LOCAL_MACHINE, u"SYSTEM\\Tree", u"N\u00e9v"), 0);
  EXPECT_FALSE(ValueExists("SYSTEM\\Tree", "N\xC3\xA9v"));
  EXPECT_TRUE(log.Has("[DEBUG] deleteValue: Inside function deleteValue ..... subkey : SYSTEM\\Tree, Valuename : "
                      "N\xC3\xA9v "))
      << log.All();
  EXPECT_TRUE(log.Has("[INFO] deleteValue:  Delete value N\xC3\xA9v success! ")) << log.All();
  EXPECT_EQ(deleteValue(HKEY_LOCAL_MACHINE, u"SYSTEM\\Tree", u"--"), 0);
  EXPECT_FALSE(ValueExists("SYSTEM\\Tree", ""));
  EXPECT_EQ(deleteValue(HKEY_LOCAL_MACHINE, u"SYSTEM\\Nope", u"x"), ERROR_FILE_NOT_FOUND);
  EXPECT_TRUE(log.Has("[ERROR] deleteValue:  SYSTEM\\Nope Key not found!: 2  ")) << log.All();
}

TEST_F(RegistryDeleteTest, DeleteRegistryTreeRemovesEverythingBelow) {
  EXPECT_EQ(DeleteRegistryTree(HKEY_LOCAL_MACHINE, "SYSTEM\\Tree"), 1);
  EXPECT_FALSE(KeyExists("SYSTEM\\Tree"));
  EXPECT_TRUE(KeyExists("SYSTEM\\Sibling"));
  EXPECT_EQ(DeleteRegistryTree(HKEY_LOCAL_MACHINE, "SYSTEM\\Tree"), 0);
  // The change reached the machine's registry file.
  EXPECT_EQ(machine_.ReadRegistry().find("Tree"), std::string::npos);
}

TEST_F(RegistryDeleteTest, DeleteRegistrySubkeysGivesTheSameResult) {
  EXPECT_EQ(DeleteRegistrySubkeys(HKEY_LOCAL_MACHINE, "SYSTEM\\Tree"), 1);
  EXPECT_FALSE(KeyExists("SYSTEM\\Tree"));
  EXPECT_TRUE(KeyExists("SYSTEM\\Sibling"));
  EXPECT_EQ(DeleteRegistrySubkeys(HKEY_LOCAL_MACHINE, "SYSTEM\\Tree"), 0);
}

TEST(RegistryDeleteFaults, TreeDeletionStopsAtTheFirstFailure) {
  TempMachine machine;
  machine.WriteRegistry("[HKEY_LOCAL_MACHINE\\SYSTEM\\Tree\\A\\B]\n");
  machine.WriteMachineJson({{"faults", {{"RegDeleteKeyA", 5}}}});
  EXPECT_EQ(DeleteRegistryTree(HKEY_LOCAL_MACHINE, "SYSTEM\\Tree"), 0);
  EXPECT_EQ(DeleteRegistrySubkeys(HKEY_LOCAL_MACHINE, "SYSTEM\\Tree"), 0);
  EXPECT_TRUE(KeyExists("SYSTEM\\Tree\\A\\B"));
}

TEST_F(RegistryDeleteTest, EmptyOrNullSubKeyIsRefusedAndNothingIsDeleted) {
  LogCapture log(machine_);
  EXPECT_EQ(DeleteRegistryTree(HKEY_LOCAL_MACHINE, ""), 0);
  EXPECT_EQ(DeleteRegistryTree(HKEY_LOCAL_MACHINE, nullptr), 0);
  EXPECT_EQ(DeleteRegistrySubkeys(HKEY_LOCAL_MACHINE, ""), 0);
  EXPECT_EQ(DeleteRegistrySubkeys(HKEY_LOCAL_MACHINE, nullptr), 0);
  EXPECT_TRUE(KeyExists("SYSTEM\\Tree\\A\\A1\\A11"));
  EXPECT_TRUE(KeyExists("SYSTEM\\Sibling"));
  EXPECT_EQ(log.Count("[ERROR] DeleteRegistryTree: Refusing an empty sub-key: nothing is deleted "), 2u) << log.All();
  EXPECT_EQ(log.Count("[ERROR] DeleteRegistrySubkeys: Refusing an empty sub-key: nothing is deleted "), 2u);
}

}  // namespace
