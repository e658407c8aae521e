// CryptoAPI key containers of the stand-in.
#include <gtest/gtest.h>

#include <filesystem>

#include "platform/win32.h"
#include "tests/support/temp_machine.h"

namespace {

using hl::test::TempMachine;

TEST(CryptKeysTest, FirstRunCreatesContainerAndPairsLaterRunsFindThem) {
  TempMachine machine;
  HCRYPTPROV provider = 0;
  EXPECT_FALSE(CryptAcquireContextA(&provider, nullptr, MS_DEF_PROV_A, PROV_RSA_FULL, 0));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(NTE_BAD_KEYSET));
  ASSERT_TRUE(CryptAcquireContextA(&provider, nullptr, MS_DEF_PROV_A, PROV_RSA_FULL, CRYPT_NEWKEYSET));
  HCRYPTKEY key = 0;
  for (DWORD keySpec : {AT_SIGNATURE, AT_KEYEXCHANGE}) {
    EXPECT_FALSE(CryptGetUserKey(provider, keySpec, &key));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(NTE_NO_KEY));
    ASSERT_TRUE(CryptGenKey(provider, keySpec, 0, &key));
    EXPECT_TRUE(CryptDestroyKey(key));
    EXPECT_FALSE(CryptDestroyKey(key));
  }
  EXPECT_TRUE(CryptReleaseContext(provider, 0));
  EXPECT_FALSE(CryptReleaseContext(provider, 0));
  EXPECT_TRUE(std::filesystem::exists(machine.root() / "crypt" / "user" / "User" / "signature.key"));

  // A later process: the container and both pairs are there.
  ASSERT_TRUE(CryptAcquireContextA(&provider, nullptr, MS_DEF_PROV_A, PROV_RSA_FULL, 0));
  for (DWORD keySpec : {AT_SIGNATURE, AT_KEYEXCHANGE}) {
    ASSERT_TRUE(CryptGetUserKey(provider, keySpec, &key));
    CryptDestroyKey(key);
  }
  CryptReleaseContext(provider, 0);
  HCRYPTPROV again = 0;
  EXPECT_FALSE(CryptAcquireContextA(&again, nullptr, nullptr, PROV_RSA_FULL, CRYPT_NEWKEYSET));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(NTE_EXISTS));
  EXPECT_TRUE(CryptAcquireContextA(&again, nullptr, nullptr, PROV_RSA_FULL, CRYPT_DELETEKEYSET));
  EXPECT_FALSE(CryptAcquireContextA(&again, nullptr, nullptr, PROV_RSA_FULL, 0));
}

TEST(CryptKeysTest, BadArgumentsVerificationContextAndFaults) {
  TempMachine machine;
  HCRYPTPROV provider = 0;
  EXPECT_FALSE(CryptAcquireContextA(&provider, nullptr, "No Such Provider", PROV_RSA_FULL, CRYPT_NEWKEYSET));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(NTE_KEYSET_NOT_DEF));
  EXPECT_FALSE(CryptAcquireContextA(&provider, nullptr, nullptr, 24, CRYPT_NEWKEYSET));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(NTE_PROV_TYPE_NOT_DEF));
  EXPECT_FALSE(CryptGetUserKey(12345, AT_SIGNATURE, nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(NTE_BAD_UID));

  ASSERT_TRUE(CryptAcquireContextA(&provider, nullptr, nullptr, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT));
  HCRYPTKEY key = 0;
  EXPECT_FALSE(CryptGetUserKey(provider, AT_SIGNATURE, &key));
  ASSERT_TRUE(CryptGenKey(provider, AT_SIGNATURE, 0, &key));
  CryptDestroyKey(key);
  EXPECT_TRUE(CryptGetUserKey(provider, AT_SIGNATURE, &key));
  CryptDestroyKey(key);
  CryptReleaseContext(provider, 0);
  EXPECT_FALSE(std::filesystem::exists(machine.root() / "crypt"));  // nothing stored

  machine.WriteMachineJson({{"faults", {{"CryptGenKey", 0x80090020u}}}});
  ASSERT_TRUE(CryptAcquireContextA(&provider, "named", nullptr, PROV_RSA_FULL, CRYPT_NEWKEYSET));
  EXPECT_FALSE(CryptGenKey(provider, AT_KEYEXCHANGE, 0, &key));
  EXPECT_EQ(GetLastError(), 0x80090020u);
  CryptReleaseContext(provider, 0);
  machine.WriteMachineJson({{"faults", {{"CryptAcquireContextA", 5}}}});
  EXPECT_FALSE(CryptAcquireContextA(&provider, nullptr, nullptr, PROV_RSA_FULL, CRYPT_NEWKEYSET));
  EXPECT_EQ(GetLastError(), 5u);
}

}  // namespace
