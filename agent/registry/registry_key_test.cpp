#include <gtest/gtest.h>

#include <cstring>

#include "agent/registry/registry.h"
#include "tests/support/scratch_registry.h"

namespace {

using hl::test::ScratchRegistry;

class RegistryKeyTest : public ::testing::Test {
 protected:
  void SetUp() override {
    registry_.Import(
        "[HKEY_LOCAL_MACHINE\\SYSTEM\\HarborlineTest\\Downloads]\n"
        "\"Count\"=dword:00000005\n"
        "\"Name\"=\"file.bin\"\n"
        "\"Empty\"=hex(1):\n"
        "\"Expand\"=hex(2):25,00,54,00,00,00\n"
        "\"Blob\"=hex:01,02\n"
        "\n"
        "[HKEY_LOCAL_MACHINE\\SYSTEM\\HarborlineTest\\Other]\n");
  }
  ScratchRegistry registry_;
};

TEST_F(RegistryKeyTest, OpenKeepsTheViewBitsAndKeepsTheOldKeyOnFailure) {
  RegistryKey key;
  EXPECT_EQ(key.handle(), nullptr);
  ASSERT_EQ(key.Open(HKEY_LOCAL_MACHINE, "SYSTEM\\HarborlineTest\\Downloads", KEY_READ | KEY_WOW64_64KEY), 0);
  HKEY first = key.handle();
  EXPECT_NE(first, nullptr);
  EXPECT_EQ(key.viewBits(), static_cast<REGSAM>(KEY_WOW64_64KEY));

  EXPECT_EQ(key.Open(HKEY_LOCAL_MACHINE, "SYSTEM\\HarborlineTest\\Missing"), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(key.handle(), first);
  EXPECT_EQ(key.viewBits(), static_cast<REGSAM>(KEY_WOW64_64KEY));

  ASSERT_EQ(key.Open(HKEY_LOCAL_MACHINE, "SYSTEM\\HarborlineTest\\Other", KEY_READ), 0);
  EXPECT_EQ(key.viewBits(), 0u);
  EXPECT_EQ(key.Close(), 0);
  EXPECT_EQ(key.handle(), nullptr);
  EXPECT_EQ(key.viewBits(), 0u);
}

TEST_F(RegistryKeyTest, CreateReportsTheDisposition) {
  RegistryKey key;
  DWORD disposition = 0;
  ASSERT_EQ(key.Create(HKEY_LOCAL_MACHINE, "SYSTEM\\HarborlineTest\\Downloads\\New", nullptr, REG_OPTION_NON_VOLATILE,
                       KEY_READ | KEY_WRITE | KEY_WOW64_32KEY, nullptr, &disposition),
            0);
  EXPECT_EQ(disposition, static_cast<DWORD>(REG_CREATED_NEW_KEY));
  EXPECT_EQ(key.viewBits(), static_cast<REGSAM>(KEY_WOW64_32KEY));
  ASSERT_EQ(key.Create(HKEY_LOCAL_MACHINE, "SYSTEM\\HarborlineTest\\Downloads\\New", nullptr, REG_OPTION_NON_VOLATILE,
                       KEY_READ | KEY_WRITE, nullptr, &disposition),
            0);
  EXPECT_EQ(disposition, static_cast<DWORD>(REG_OPENED_EXISTING_KEY));
}

TEST_F(RegistryKeyTest, QueryDwordValue) {
  RegistryKey key;
  ASSERT_EQ(key.Open(HKEY_LOCAL_MACHINE, "SYSTEM\\HarborlineTest\\Downloads"), 0);
  DWORD value = 99;
  EXPECT_EQ(key.QueryDWORDValue("Count", value), 0);
  EXPECT_EQ(value, 5u);
  value = 99;
  EXPECT_EQ(key.QueryDWORDValue("Name", value), ERROR_INVALID_DATA);  // not a DWORD, however long
  EXPECT_EQ(key.QueryDWORDValue("Blob", value), ERROR_INVALID_DATA);
  EXPECT_EQ(key.QueryDWORDValue("Nothing", value), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(value, 99u);
}

TEST_F(RegistryKeyTest, QueryStringValueLeavesTheBufferAloneForOtherTypes) {
  RegistryKey key;
  ASSERT_EQ(key.Open(HKEY_LOCAL_MACHINE, "SYSTEM\\HarborlineTest\\Downloads"), 0);
  const BYTE blob[64] = {1, 2, 3};
  ASSERT_EQ(RegSetValueExA(key.handle(), "Blob", 0, REG_BINARY, blob, sizeof blob), 0);
  const DWORD number = 0x41414141;
  ASSERT_EQ(RegSetValueExA(key.handle(), "Small", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number), 4), 0);
  for (const char* name : {"Blob", "Small"}) {
    char buffer[16];
    std::memset(buffer, 'z', sizeof buffer);
    ULONG chars = sizeof buffer;
    EXPECT_EQ(key.QueryStringValue(name, buffer, &chars), ERROR_INVALID_DATA) << name << ": 13 whatever its size";
    EXPECT_EQ(chars, 0u);
    EXPECT_EQ(std::string(buffer, sizeof buffer), std::string(sizeof buffer, 'z')) << name;
  }
}

TEST_F(RegistryKeyTest, QueryStringValue) {
  RegistryKey key;
  ASSERT_EQ(key.Open(HKEY_LOCAL_MACHINE, "SYSTEM\\HarborlineTest\\Downloads"), 0);
  char buffer[32];
  std::memset(buffer, 'z', sizeof buffer);
  ULONG chars = sizeof buffer;
  EXPECT_EQ(key.QueryStringValue("Name", buffer, &chars), 0);
  EXPECT_STREQ(buffer, "file.bin");
  EXPECT_EQ(chars, 9u);  // terminator included

  chars = sizeof buffer;
  EXPECT_EQ(key.QueryStringValue("Expand", buffer, &chars), 0);
  EXPECT_STREQ(buffer, "%T");

  std::memset(buffer, 'z', sizeof buffer);
  chars = sizeof buffer;
  EXPECT_EQ(key.QueryStringValue("Empty", buffer, &chars), 0);
  EXPECT_EQ(chars, 0u);
  EXPECT_EQ(buffer[0], '\0');

  chars = sizeof buffer;
  EXPECT_EQ(key.QueryStringValue("Count", buffer, &chars), ERROR_INVALID_DATA);
  EXPECT_EQ(chars, 0u);

  chars = 4;  // too small for "file.bin"
  EXPECT_EQ(key.QueryStringValue("Name", buffer, &chars), ERROR_MORE_DATA);
  EXPECT_EQ(chars, 0u);
}

TEST_F(RegistryKeyTest, SetValueStoresTheTextWithItsTerminator) {
  RegistryKey key;
  ASSERT_EQ(key.Open(HKEY_LOCAL_MACHINE, "SYSTEM\\HarborlineTest\\Downloads", KEY_READ | KEY_WRITE), 0);
  EXPECT_EQ(key.SetValue("Status", nullptr), ERROR_INVALID_DATA);
  ASSERT_EQ(key.SetValue("Status", "partial"), 0);
  char buffer[16] = {};
  ULONG chars = sizeof buffer;
  EXPECT_EQ(key.QueryStringValue("Status", buffer, &chars), 0);
  EXPECT_STREQ(buffer, "partial");
  EXPECT_EQ(chars, 8u);
  std::optional<std::string> stored;
  EXPECT_EQ(ReadRegSZ(HKEY_LOCAL_MACHINE, "SYSTEM\\HarborlineTest\\Downloads", "Status", stored), 0);
  EXPECT_EQ(stored, "partial");
}

TEST_F(RegistryKeyTest, TransactionObjectWithoutTransaction) {
  RegistryTransaction noFallback{nullptr, false};
  RegistryKey strict(&noFallback);
  EXPECT_EQ(strict.Open(HKEY_LOCAL_MACHINE, "SYSTEM\\HarborlineTest\\Downloads"), ERROR_INVALID_FUNCTION);
  EXPECT_EQ(strict.Create(HKEY_LOCAL_MACHINE, "SYSTEM\\HarborlineTest\\Downloads"), ERROR_INVALID_FUNCTION);
  EXPECT_EQ(strict.handle(), nullptr);

  RegistryTransaction fallback{nullptr, true};
  RegistryKey lenient(&fallback);
  EXPECT_EQ(lenient.Open(HKEY_LOCAL_MACHINE, "SYSTEM\\HarborlineTest\\Downloads"), 0);
  EXPECT_NE(lenient.handle(), nullptr);
}

TEST_F(RegistryKeyTest, TransactedCallsAreLookedUpByName) {
  HMODULE advapi = LoadLibraryA("advapi32.dll");
  FARPROC transacted = advapi ? GetProcAddress(advapi, "RegOpenKeyTransactedA") : nullptr;
  int token = 0;
  RegistryTransaction transaction{&token, false};
  RegistryKey key(&transaction);
  LONG result = key.Open(HKEY_LOCAL_MACHINE, "SYSTEM\\HarborlineTest\\Downloads");
  if (transacted == nullptr) {
    EXPECT_EQ(result, ERROR_INVALID_FUNCTION);  // missing from the system: result 1
  } else {
    EXPECT_NE(result, ERROR_INVALID_FUNCTION);
  }
  if (advapi != nullptr) FreeLibrary(advapi);
}

}  // namespace
