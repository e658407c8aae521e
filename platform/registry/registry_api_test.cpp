// Reg* calls against the behaviour Windows documents and shows.
#include <gtest/gtest.h>

#include <cstring>

#include "platform/core/machine.h"
#include "platform/registry/registry_test_support.h"
#include "platform/registry/win_registry.h"
#include "tests/support/temp_machine.h"

namespace hl::platform::reg {
namespace {

using test::Create;
using test::GetDword;
using test::GetString;
using test::Open;
using test::ScopedKey;
using test::SetDword;
using test::SetString;

class RegistryApi : public ::testing::Test {
 protected:
  hl::test::TempMachine machine_;
};

// Names keep the case they were created with, in the file too.
TEST_F(RegistryApi, FileKeepsTheFirstSpellingOfNames) {
  ScopedKey created;
  ASSERT_EQ(Create(HKEY_CURRENT_USER, "Software\\Vendor\\App", created), ERROR_SUCCESS);
  ScopedKey again;
  ASSERT_EQ(Create(HKEY_CURRENT_USER, "SOFTWARE\\VENDOR\\app\\", again), ERROR_SUCCESS);
  ASSERT_EQ(SetDword(again.get(), "First", 1), ERROR_SUCCESS);
  ASSERT_EQ(SetDword(again.get(), "FIRST", 2), ERROR_SUCCESS);
  std::string file = machine_.ReadRegistry();
  EXPECT_NE(file.find("[HKEY_CURRENT_USER\\Software\\Vendor\\App]\r\n\"First\"=dword:00000002"), std::string::npos)
      << file;
  EXPECT_EQ(file.find("VENDOR"), std::string::npos);
}

// Keys that every Windows installation has exist in an empty registry, so a program that writes
// into them opens them as it would on Windows; they stay out of the file while they hold nothing.
TEST_F(RegistryApi, KeysOfEveryInstallationStayOutOfTheFileWhileEmpty) {
  for (const char* path : {"SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Memory Management",
                           "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion", "SYSTEM", "SOFTWARE"}) {
    for (REGSAM view : {KEY_WOW64_64KEY, KEY_WOW64_32KEY}) {
      ScopedKey key;
      ASSERT_EQ(Create(HKEY_LOCAL_MACHINE, path, key, KEY_ALL_ACCESS | view), ERROR_SUCCESS) << path;
    }
  }
  EXPECT_EQ(machine_.ReadRegistry(), "");
  ScopedKey vendor;
  DWORD disposition = 0;
  ASSERT_EQ(Create(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Virtualization", vendor,
                   KEY_ALL_ACCESS, &disposition),
            ERROR_SUCCESS);
  EXPECT_EQ(disposition, static_cast<DWORD>(REG_CREATED_NEW_KEY));
}

// The simulated computer's ANSI code page is UTF-8: every character has a narrow form.
TEST_F(RegistryApi, AnsiFormsConvertStringTypesBetweenUtf8AndUtf16) {
  ScopedKey key;
  ASSERT_EQ(Create(HKEY_CURRENT_USER, "K", key), ERROR_SUCCESS);
  const std::string text = "Gr\xC3\xBC\xC3\x9F" "e \xE4\xB8\xAD";  // "Grüße 中"
  ASSERT_EQ(SetString(key.get(), "n\xC3\xA4me", text), ERROR_SUCCESS);

  DWORD size = 0;
  ASSERT_EQ(RegQueryValueExW(key.get(), u"N\u00c4ME", nullptr, nullptr, nullptr, &size), ERROR_SUCCESS);
  EXPECT_EQ(size, 8u * 2) << "seven characters and the terminator in UTF-16";
  std::u16string wide(size / 2, u'\0');
  ASSERT_EQ(RegQueryValueExW(key.get(), u"n\u00e4me", nullptr, nullptr, reinterpret_cast<BYTE*>(wide.data()), &size),
            ERROR_SUCCESS);
  EXPECT_EQ(wide, std::u16string(u"Gr\u00fc\u00dfe \u4e2d") + u'\0');
  ASSERT_EQ(RegQueryValueExA(key.get(), "n\xC3\xA4me", nullptr, nullptr, nullptr, &size), ERROR_SUCCESS);
  EXPECT_EQ(size, text.size() + 1);
  std::string back;
  ASSERT_EQ(GetString(key.get(), "n\xC3\xA4me", back), ERROR_SUCCESS);
  EXPECT_EQ(back, text);

  // REG_MULTI_SZ and REG_EXPAND_SZ convert too; REG_BINARY is copied unchanged.
  const char multi[] = "a\0\xC3\xA9\0";  // "a", "é", final terminator
  ASSERT_EQ(RegSetValueExA(key.get(), "m", 0, REG_MULTI_SZ, reinterpret_cast<const BYTE*>(multi), sizeof multi),
            ERROR_SUCCESS);
  ASSERT_EQ(RegQueryValueExW(key.get(), u"m", nullptr, nullptr, nullptr, &size), ERROR_SUCCESS);
  EXPECT_EQ(size, 5u * 2);
  ASSERT_EQ(RegQueryValueExA(key.get(), "m", nullptr, nullptr, nullptr, &size), ERROR_SUCCESS);
  EXPECT_EQ(size, sizeof multi);
  ASSERT_EQ(SetString(key.get(), "e", "%TEMP%\\x", REG_EXPAND_SZ), ERROR_SUCCESS);
  ASSERT_EQ(RegQueryValueExW(key.get(), u"e", nullptr, nullptr, nullptr, &size), ERROR_SUCCESS);
  EXPECT_EQ(size, 9u * 2);
  const BYTE raw[] = {0xC3, 0xA9, 0x00, 0xFF};
  ASSERT_EQ(RegSetValueExA(key.get(), "b", 0, REG_BINARY, raw, sizeof raw), ERROR_SUCCESS);
  BYTE rawBack[8];
  size = sizeof rawBack;
  ASSERT_EQ(RegQueryValueExW(key.get(), u"b", nullptr, nullptr, rawBack, &size), ERROR_SUCCESS);
  ASSERT_EQ(size, sizeof raw);
  EXPECT_EQ(std::memcmp(rawBack, raw, sizeof raw), 0);
}

TEST_F(RegistryApi, ChangesPersistAndOutsideEditsAreSeen) {
  {
    ScopedKey key;
    ASSERT_EQ(Create(HKEY_LOCAL_MACHINE, "SYSTEM\\Vendor\\Control", key), ERROR_SUCCESS);
    ASSERT_EQ(SetDword(key.get(), "Flag", 0x1234), ERROR_SUCCESS);
  }
  EXPECT_EQ(machine_.ReadRegistry(),
            "Windows Registry Editor Version 5.00\r\n\r\n"
            "[HKEY_LOCAL_MACHINE\\SYSTEM\\Vendor]\r\n\r\n"
            "[HKEY_LOCAL_MACHINE\\SYSTEM\\Vendor\\Control]\r\n"
            "\"Flag\"=dword:00001234\r\n\r\n");
  // No temporary file is left behind.
  for (const auto& entry : std::filesystem::directory_iterator(machine_.root()))
    EXPECT_NE(entry.path().extension(), ".tmp") << entry.path();

  // Another writer replaces the file with one of the same size: the next read sees it.
  ScopedKey key;
  ASSERT_EQ(Open(HKEY_LOCAL_MACHINE, "SYSTEM\\Vendor\\Control", key), ERROR_SUCCESS);
  std::string edited = machine_.ReadRegistry();
  edited.replace(edited.find("1234"), 4, "4321");
  machine_.WriteFile("registry.reg", edited);
  DWORD number = 0;
  ASSERT_EQ(GetDword(key.get(), "flag", number), ERROR_SUCCESS);
  EXPECT_EQ(number, 0x4321u);
  // The file disappears: an empty registry, and the handle's key is gone.
  std::filesystem::remove(machine_.root() / "registry.reg");
  EXPECT_EQ(GetDword(key.get(), "flag", number), ERROR_KEY_DELETED);
}

TEST_F(RegistryApi, HandlesFollowTheCurrentMachine) {
  ScopedKey key;
  ASSERT_EQ(Create(HKEY_CURRENT_USER, "Shared\\Path", key), ERROR_SUCCESS);
  ASSERT_EQ(SetDword(key.get(), "v", 1), ERROR_SUCCESS);
  {
    hl::test::TempMachine other;
    other.WriteRegistry("[HKEY_CURRENT_USER\\Shared\\Path]\r\n\"v\"=dword:00000002\r\n");
    DWORD number = 0;
    ASSERT_EQ(GetDword(key.get(), "v", number), ERROR_SUCCESS);
    EXPECT_EQ(number, 2u);
  }
  machine_.Activate();
  DWORD number = 0;
  ASSERT_EQ(GetDword(key.get(), "v", number), ERROR_SUCCESS);
  EXPECT_EQ(number, 1u);
}

TEST_F(RegistryApi, UnicodeFileStaysUnicodeAfterAWrite) {
  std::u16string text =
      u"Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\K]\r\n\"a\"=\"\u00e9\"\r\n\r\n";
  std::string bytes = "\xFF\xFE";
  for (char16_t c : text) bytes += {static_cast<char>(c & 0xFF), static_cast<char>(c >> 8)};
  machine_.WriteFile("registry.reg", bytes);
  ScopedKey key;
  ASSERT_EQ(Open(HKEY_CURRENT_USER, "K", key, KEY_ALL_ACCESS), ERROR_SUCCESS);
  ASSERT_EQ(SetDword(key.get(), "b", 1), ERROR_SUCCESS);
  std::string file = machine_.ReadRegistry();
  ASSERT_GE(file.size(), 2u);
  EXPECT_EQ(file.substr(0, 2), "\xFF\xFE");
  std::u16string expected = text + u"";
  expected.insert(expected.size() - 2, u"\"b\"=dword:00000001\r\n");
  std::string expectedBytes = "\xFF\xFE";
  for (char16_t c : expected) expectedBytes += {static_cast<char>(c & 0xFF), static_cast<char>(c >> 8)};
  EXPECT_EQ(file, expectedBytes);
}

TEST_F(RegistryApi, MalformedFileIsRefusedAndNeverOverwritten) {
  const std::string bad =
      "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\K]\r\n\"v\"=dword:xyz\r\n";
  machine_.WriteFile("registry.reg", bad);
  ::testing::internal::CaptureStderr();
  ScopedKey key;
  EXPECT_EQ(Open(HKEY_CURRENT_USER, "K", key), ERROR_BADDB);
  EXPECT_EQ(Create(HKEY_CURRENT_USER, "New", key), ERROR_BADDB);
  EXPECT_EQ(SetDword(HKEY_CURRENT_USER, "v", 1), ERROR_BADDB);
  std::string errors = ::testing::internal::GetCapturedStderr();
  EXPECT_NE(errors.find((machine_.root() / "registry.reg").string()), std::string::npos) << errors;
  EXPECT_NE(errors.find("line 4"), std::string::npos) << errors;
  EXPECT_EQ(errors.find("line 4"), errors.rfind("line 4")) << "reported once: " << errors;
  EXPECT_EQ(machine_.ReadRegistry(), bad);

  // Once fixed, the registry works again.
  machine_.WriteRegistry("[HKEY_CURRENT_USER\\K]\r\n\"v\"=dword:1\r\n");
  ScopedKey fixed;
  ASSERT_EQ(Open(HKEY_CURRENT_USER, "K", fixed), ERROR_SUCCESS);
}

TEST_F(RegistryApi, DeepKeyFileIsRefusedAsMalformedAndLeftUnchanged) {
  std::string path = "HKEY_LOCAL_MACHINE";
  for (int i = 0; i < 7500; ++i) path += "\\k";
  const std::string deep = "Windows Registry Editor Version 5.00\r\n\r\n[" + path + "]\r\n\"v\"=\"x\"\r\n";
  machine_.WriteFile("registry.reg", deep);
  ::testing::internal::CaptureStderr();
  ScopedKey key;
  EXPECT_EQ(Open(HKEY_LOCAL_MACHINE, "k", key), ERROR_BADDB);
  EXPECT_EQ(Create(HKEY_CURRENT_USER, "New", key), ERROR_BADDB);
  std::string errors = ::testing::internal::GetCapturedStderr();
  EXPECT_NE(errors.find("line 3"), std::string::npos) << errors;
  EXPECT_EQ(machine_.ReadRegistry(), deep);
}

// Answers the stand-in gives where Windows documents a rule but no test of Windows itself shows
// the code (Wine answers all of these otherwise, so they are not compared under Wine).
TEST_F(RegistryApi, DocumentedRefusals) {
  ScopedKey key;
  // "This parameter cannot be NULL."
  EXPECT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, nullptr, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key.out(), nullptr),
            ERROR_INVALID_PARAMETER);
  // Direct children of HKEY_LOCAL_MACHINE and HKEY_USERS are hives and cannot be created.
  EXPECT_EQ(Create(HKEY_LOCAL_MACHINE, "NewHive", key), ERROR_ACCESS_DENIED);
  EXPECT_EQ(Create(HKEY_USERS, "NewHive\\Sub", key), ERROR_ACCESS_DENIED);
  // HKEY_DYN_DATA exists on Windows 9x only.
  EXPECT_EQ(Open(HKEY_DYN_DATA, "x", key), ERROR_INVALID_HANDLE);
  // The reserved argument must be zero.
  ScopedKey leaf;
  ASSERT_EQ(Create(HKEY_CURRENT_USER, "Leaf", leaf), ERROR_SUCCESS);
  EXPECT_EQ(RegDeleteKeyExA(HKEY_CURRENT_USER, "Leaf", 0, 1), ERROR_INVALID_PARAMETER);
  // Key names are at most 255 characters.
  EXPECT_EQ(Create(HKEY_CURRENT_USER, ("a\\" + std::string(256, 'n')).c_str(), key), ERROR_INVALID_PARAMETER);
  ScopedKey probe;
  EXPECT_EQ(Open(HKEY_CURRENT_USER, "a", probe), ERROR_FILE_NOT_FOUND) << "nothing made";
}

TEST_F(RegistryApi, CreateRefusesDepthsWindowsRefuses) {
  HKEY key = nullptr;
  std::string levels = "D";
  for (int i = 1; i < 512; ++i) levels += "\\D";
  ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, levels.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
            ERROR_SUCCESS);  // 512 levels
  HKEY deeper = nullptr;
  EXPECT_EQ(RegCreateKeyExA(key, "E", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &deeper, nullptr),
            ERROR_INVALID_PARAMETER);
  RegCloseKey(key);
}

TEST(RegistryNoMachine, EmptyAndReadOnly) {
  unsetenv("HL_MACHINE");
  hl::platform::ResetMachine();
  ::testing::internal::CaptureStderr();
  ScopedKey key;
  EXPECT_EQ(Open(HKEY_CURRENT_USER, "Missing", key), ERROR_FILE_NOT_FOUND);
  ::testing::internal::GetCapturedStderr();
  EXPECT_EQ(Create(HKEY_CURRENT_USER, "New", key), ERROR_ACCESS_DENIED);
  ScopedKey system;
  ASSERT_EQ(Open(HKEY_LOCAL_MACHINE, "SYSTEM", system, KEY_ALL_ACCESS), ERROR_SUCCESS);
  EXPECT_EQ(SetDword(system.get(), "v", 1), ERROR_ACCESS_DENIED);
  DWORD number;
  EXPECT_EQ(GetDword(system.get(), "v", number), ERROR_FILE_NOT_FOUND) << "the failed write left nothing behind";
  EXPECT_EQ(Open(HKEY_CURRENT_USER, "New", key), ERROR_FILE_NOT_FOUND);
}

TEST_F(RegistryApi, InjectedFaultsFailTheCallAndChangeNothing) {
  ScopedKey prepared;
  ASSERT_EQ(Create(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Memory Management",
                   prepared),
            ERROR_SUCCESS);
  machine_.WriteMachineJson({{"faults",
                              {{"RegSetValueEx:HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Session "
                                "Manager\\Memory Management",
                                5},
                               {"RegOpenKeyExA:HKEY_CURRENT_USER\\Locked", 1018},
                               {"RegCreateKeyExW", 1013},
                               {"RegQueryValueExA:HKEY_LOCAL_MACHINE\\SOFTWARE\\Corvanta", "0x1f"}}}});
  std::string before = machine_.ReadRegistry();
  ScopedKey key;
  ASSERT_EQ(Open(HKEY_LOCAL_MACHINE, "system\\CurrentControlSet\\Control\\Session Manager\\Memory Management", key,
                 KEY_ALL_ACCESS),
            ERROR_SUCCESS);
  EXPECT_EQ(SetDword(key.get(), "FeatureSettings", 1), ERROR_ACCESS_DENIED);
  const char16_t text[] = u"x";
  EXPECT_EQ(RegSetValueExW(key.get(), u"W", 0, REG_SZ, reinterpret_cast<const BYTE*>(text), sizeof text),
            ERROR_ACCESS_DENIED);
  EXPECT_EQ(machine_.ReadRegistry(), before);

  ScopedKey locked;
  EXPECT_EQ(Open(HKEY_CURRENT_USER, "Locked\\Below", locked), ERROR_KEY_DELETED) << "subjects below the entry too";
  EXPECT_EQ(locked.get(), nullptr);
  EXPECT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, u"Any", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, locked.out(), nullptr),
            ERROR_CANTWRITE);
  EXPECT_EQ(Create(HKEY_CURRENT_USER, "Any", locked), ERROR_SUCCESS) << "the A form is not named";

  // The subject is the path as the caller named it, before WOW64 redirection.
  ScopedKey agent;
  ASSERT_EQ(Create(HKEY_LOCAL_MACHINE, "SOFTWARE\\Corvanta\\Harborline", agent), ERROR_SUCCESS);
  DWORD number;
  EXPECT_EQ(GetDword(agent.get(), "v", number), 0x1f);
}

}  // namespace
}  // namespace hl::platform::reg
