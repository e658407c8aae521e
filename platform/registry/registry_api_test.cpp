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

TEST_F(RegistryApi, CreateReportsDispositionAndOpenNeverCreates) {
  ScopedKey missing;
  missing.out()[0] = reinterpret_cast<HKEY>(1);
  EXPECT_EQ(Open(HKEY_CURRENT_USER, "Software\\Vendor\\App", missing), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(missing.get(), nullptr);

  DWORD disposition = 0;
  ScopedKey created;
  ASSERT_EQ(Create(HKEY_CURRENT_USER, "Software\\Vendor\\App", created, KEY_ALL_ACCESS, &disposition), ERROR_SUCCESS);
  EXPECT_EQ(disposition, static_cast<DWORD>(REG_CREATED_NEW_KEY));
  ScopedKey again;
  ASSERT_EQ(Create(HKEY_CURRENT_USER, "SOFTWARE\\VENDOR\\app\\", again, KEY_ALL_ACCESS, &disposition), ERROR_SUCCESS);
  EXPECT_EQ(disposition, static_cast<DWORD>(REG_OPENED_EXISTING_KEY));
  ScopedKey opened;
  EXPECT_EQ(Open(HKEY_CURRENT_USER, "software\\vendor\\APP", opened), ERROR_SUCCESS);

  // Names keep the case they were created with, in the file too.
  std::string file = machine_.ReadRegistry();
  EXPECT_NE(file.find("[HKEY_CURRENT_USER\\Software\\Vendor\\App]\r\n"), std::string::npos) << file;
  EXPECT_EQ(file.find("VENDOR"), std::string::npos);
}

// Keys that every Windows installation has exist in an empty registry, so a program that writes
// into them opens them (REG_OPENED_EXISTING_KEY) as it would on Windows, in both views; they
// stay out of the file while they hold nothing.
TEST_F(RegistryApi, KeysOfEveryInstallationExistAlready) {
  for (const char* path : {"SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Memory Management",
                           "SYSTEM\\CurrentControlSet\\Control\\ProductOptions", "SYSTEM\\CurrentControlSet\\Services",
                           "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion", "SOFTWARE\\Microsoft\\Windows\\CurrentVersion"}) {
    for (REGSAM view : {KEY_WOW64_64KEY, KEY_WOW64_32KEY}) {
      ScopedKey key;
      DWORD disposition = 0;
      ASSERT_EQ(Create(HKEY_LOCAL_MACHINE, path, key, KEY_ALL_ACCESS | view, &disposition), ERROR_SUCCESS) << path;
      EXPECT_EQ(disposition, static_cast<DWORD>(REG_OPENED_EXISTING_KEY)) << path << " view " << view;
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

TEST_F(RegistryApi, PathRules) {
  ScopedKey key;
  EXPECT_EQ(Create(HKEY_CURRENT_USER, "\\Leading", key), ERROR_BAD_PATHNAME);
  EXPECT_EQ(Create(HKEY_CURRENT_USER, "a\\\\b", key), ERROR_BAD_PATHNAME);
  EXPECT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, nullptr, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key.out(), nullptr),
            ERROR_INVALID_PARAMETER);
  // Direct children of HKEY_LOCAL_MACHINE and HKEY_USERS are hives and cannot be created.
  EXPECT_EQ(Create(HKEY_LOCAL_MACHINE, "NewHive", key), ERROR_ACCESS_DENIED);
  EXPECT_EQ(Create(HKEY_USERS, "NewHive\\Sub", key), ERROR_ACCESS_DENIED);
  // The usual top-level keys exist in an empty registry and are not written out while empty.
  for (const char* path : {"SOFTWARE", "SYSTEM", "HARDWARE"}) {
    ScopedKey top;
    EXPECT_EQ(Open(HKEY_LOCAL_MACHINE, path, top), ERROR_SUCCESS) << path;
  }
  ScopedKey system;
  DWORD disposition = 0;
  ASSERT_EQ(Create(HKEY_LOCAL_MACHINE, "SYSTEM", system, KEY_ALL_ACCESS, &disposition), ERROR_SUCCESS);
  EXPECT_EQ(disposition, static_cast<DWORD>(REG_OPENED_EXISTING_KEY));
  EXPECT_EQ(machine_.ReadRegistry(), "");
  // An empty subkey gives a new handle to the same key; NULL with RegOpenKeyEx too.
  ScopedKey same;
  ASSERT_EQ(Create(system.get(), "", same), ERROR_SUCCESS);
  EXPECT_EQ(SetDword(same.get(), "x", 1), ERROR_SUCCESS);
  ScopedKey viaNull;
  ASSERT_EQ(RegOpenKeyExA(system.get(), nullptr, 0, KEY_READ, viaNull.out()), ERROR_SUCCESS);
  DWORD number = 0;
  EXPECT_EQ(GetDword(viaNull.get(), "X", number), ERROR_SUCCESS);
  EXPECT_EQ(number, 1u);
}

TEST_F(RegistryApi, QuerySizesAndMoreData) {
  ScopedKey key;
  ASSERT_EQ(Create(HKEY_CURRENT_USER, "K", key), ERROR_SUCCESS);
  const char16_t foobar[] = u"foobar";
  ASSERT_EQ(RegSetValueExW(key.get(), u"s", 0, REG_SZ, reinterpret_cast<const BYTE*>(foobar), sizeof foobar),
            ERROR_SUCCESS);

  DWORD type = 0, size = 0;
  EXPECT_EQ(RegQueryValueExW(key.get(), u"s", nullptr, &type, nullptr, &size), ERROR_SUCCESS);
  EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(size, 14u);
  EXPECT_EQ(RegQueryValueExA(key.get(), "s", nullptr, &type, nullptr, &size), ERROR_SUCCESS);
  EXPECT_EQ(size, 7u);

  char small[4] = {'x', 'x', 'x', 'x'};
  size = sizeof small;
  EXPECT_EQ(RegQueryValueExA(key.get(), "s", nullptr, nullptr, reinterpret_cast<BYTE*>(small), &size),
            ERROR_MORE_DATA);
  EXPECT_EQ(size, 7u);
  char exact[7];
  size = sizeof exact;
  EXPECT_EQ(RegQueryValueExA(key.get(), "S", nullptr, nullptr, reinterpret_cast<BYTE*>(exact), &size), ERROR_SUCCESS);
  EXPECT_STREQ(exact, "foobar");
  char16_t wide[7];
  size = 13;
  EXPECT_EQ(RegQueryValueExW(key.get(), u"s", nullptr, nullptr, reinterpret_cast<BYTE*>(wide), &size),
            ERROR_MORE_DATA);
  EXPECT_EQ(size, 14u);

  // Missing value: 2, and a size-only query reports 0.
  size = 99;
  EXPECT_EQ(RegQueryValueExA(key.get(), "missing", nullptr, nullptr, nullptr, &size), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(size, 0u);
  size = sizeof exact;
  EXPECT_EQ(RegQueryValueExA(key.get(), "missing", nullptr, nullptr, reinterpret_cast<BYTE*>(exact), &size),
            ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(size, sizeof exact);
  // Bad parameters.
  EXPECT_EQ(RegQueryValueExA(key.get(), "s", nullptr, nullptr, reinterpret_cast<BYTE*>(exact), nullptr),
            ERROR_INVALID_PARAMETER);
  DWORD reserved = 0;
  EXPECT_EQ(RegQueryValueExA(key.get(), "s", &reserved, nullptr, nullptr, &size), ERROR_INVALID_PARAMETER);
  // Only the type.
  type = 0;
  EXPECT_EQ(RegQueryValueExA(key.get(), "s", nullptr, &type, nullptr, nullptr), ERROR_SUCCESS);
  EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
}

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

TEST_F(RegistryApi, SetValueEdgeCases) {
  ScopedKey key;
  ASSERT_EQ(Create(HKEY_CURRENT_USER, "K", key), ERROR_SUCCESS);
  // NULL data with a size is refused; NULL data without one stores an empty value.
  EXPECT_EQ(RegSetValueExA(key.get(), "v", 0, REG_BINARY, nullptr, 4), ERROR_NOACCESS);
  ASSERT_EQ(RegSetValueExA(key.get(), "v", 0, REG_SZ, nullptr, 0), ERROR_SUCCESS);
  DWORD size = 5;
  EXPECT_EQ(RegQueryValueExW(key.get(), u"v", nullptr, nullptr, nullptr, &size), ERROR_SUCCESS);
  EXPECT_EQ(size, 0u);
  // A size that leaves out the terminator which follows gets it counted, as NT does.
  const char text[] = "abc";
  ASSERT_EQ(RegSetValueExA(key.get(), "t", 0, REG_SZ, reinterpret_cast<const BYTE*>(text), 3), ERROR_SUCCESS);
  EXPECT_EQ(RegQueryValueExW(key.get(), u"t", nullptr, nullptr, nullptr, &size), ERROR_SUCCESS);
  EXPECT_EQ(size, 8u);
  // Unterminated data is stored as given and terminated in the caller's buffer when there is room.
  const char16_t unterminated[] = {u'x', u'y', u'z'};
  ASSERT_EQ(RegSetValueExW(key.get(), u"u", 0, REG_SZ, reinterpret_cast<const BYTE*>(unterminated), 4),
            ERROR_SUCCESS);
  char16_t buffer[4] = {u'#', u'#', u'#', u'#'};
  size = sizeof buffer;
  ASSERT_EQ(RegQueryValueExW(key.get(), u"u", nullptr, nullptr, reinterpret_cast<BYTE*>(buffer), &size),
            ERROR_SUCCESS);
  EXPECT_EQ(size, 4u);
  EXPECT_EQ(buffer[0], u'x');
  EXPECT_EQ(buffer[1], u'y');
  EXPECT_EQ(buffer[2], u'\0');
  // Overwriting keeps the value's position and first spelling.
  ASSERT_EQ(SetDword(key.get(), "First", 1), ERROR_SUCCESS);
  ASSERT_EQ(SetDword(key.get(), "FIRST", 2), ERROR_SUCCESS);
  std::string file = machine_.ReadRegistry();
  EXPECT_NE(file.find("\"First\"=dword:00000002"), std::string::npos) << file;
}

TEST_F(RegistryApi, DefaultValueByEmptyOrNullName) {
  ScopedKey key;
  ASSERT_EQ(Create(HKEY_CURRENT_USER, "K", key), ERROR_SUCCESS);
  DWORD size = 0;
  EXPECT_EQ(RegQueryValueExA(key.get(), nullptr, nullptr, nullptr, nullptr, &size), ERROR_FILE_NOT_FOUND);
  ASSERT_EQ(SetString(key.get(), nullptr, "dflt"), ERROR_SUCCESS);
  std::string text;
  EXPECT_EQ(GetString(key.get(), "", text), ERROR_SUCCESS);
  EXPECT_EQ(text, "dflt");
  EXPECT_NE(machine_.ReadRegistry().find("@=\"dflt\""), std::string::npos);
  EXPECT_EQ(RegDeleteValueA(key.get(), ""), ERROR_SUCCESS);
  EXPECT_EQ(RegDeleteValueW(key.get(), nullptr), ERROR_FILE_NOT_FOUND);
}

TEST_F(RegistryApi, AccessMaskGatesValueOperations) {
  ScopedKey writer;
  ASSERT_EQ(Create(HKEY_CURRENT_USER, "K\\Sub", writer), ERROR_SUCCESS);
  ASSERT_EQ(SetDword(writer.get(), "v", 7), ERROR_SUCCESS);

  ScopedKey reader;
  ASSERT_EQ(Open(HKEY_CURRENT_USER, "K", reader, KEY_QUERY_VALUE), ERROR_SUCCESS);
  EXPECT_EQ(SetDword(reader.get(), "v", 1), ERROR_ACCESS_DENIED);
  EXPECT_EQ(RegDeleteValueA(reader.get(), "v"), ERROR_ACCESS_DENIED);
  char name[16];
  DWORD length = sizeof name;
  EXPECT_EQ(RegEnumKeyExA(reader.get(), 0, name, &length, nullptr, nullptr, nullptr, nullptr), ERROR_ACCESS_DENIED);
  ScopedKey child;
  EXPECT_EQ(Create(reader.get(), "New", child), ERROR_ACCESS_DENIED) << "creating needs KEY_CREATE_SUB_KEY";
  EXPECT_EQ(Create(reader.get(), "Sub", child), ERROR_SUCCESS) << "opening an existing one does not";

  ScopedKey setter;
  ASSERT_EQ(Open(HKEY_CURRENT_USER, "K\\Sub", setter, KEY_SET_VALUE), ERROR_SUCCESS);
  DWORD number;
  EXPECT_EQ(GetDword(setter.get(), "v", number), ERROR_ACCESS_DENIED);
  EXPECT_EQ(SetDword(setter.get(), "v", 8), ERROR_SUCCESS);
  ScopedKey generic;
  ASSERT_EQ(Open(HKEY_CURRENT_USER, "K\\Sub", generic, 0x80000000u /* GENERIC_READ */), ERROR_SUCCESS);
  EXPECT_EQ(GetDword(generic.get(), "v", number), ERROR_SUCCESS);
  EXPECT_EQ(number, 8u);
}

TEST_F(RegistryApi, InvalidAndClosedHandles) {
  EXPECT_EQ(RegCloseKey(nullptr), ERROR_INVALID_HANDLE);
  EXPECT_EQ(RegCloseKey(HKEY_LOCAL_MACHINE), ERROR_SUCCESS);
  HKEY bogus = reinterpret_cast<HKEY>(static_cast<uintptr_t>(0x12344));
  DWORD size = 0;
  EXPECT_EQ(RegQueryValueExA(bogus, "v", nullptr, nullptr, nullptr, &size), ERROR_INVALID_HANDLE);
  EXPECT_EQ(SetDword(bogus, "v", 1), ERROR_INVALID_HANDLE);
  ScopedKey key;
  EXPECT_EQ(Open(bogus, "x", key), ERROR_INVALID_HANDLE);
  EXPECT_EQ(Open(HKEY_DYN_DATA, "x", key), ERROR_INVALID_HANDLE);

  HKEY handle = nullptr;
  ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "K", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &handle, nullptr),
            ERROR_SUCCESS);
  EXPECT_EQ(RegFlushKey(handle), ERROR_SUCCESS);
  EXPECT_EQ(RegCloseKey(handle), ERROR_SUCCESS);
  EXPECT_EQ(RegCloseKey(handle), ERROR_INVALID_HANDLE);
  EXPECT_EQ(RegFlushKey(handle), ERROR_INVALID_HANDLE);
}

TEST_F(RegistryApi, DeleteKeyRules) {
  ScopedKey leaf;
  ASSERT_EQ(Create(HKEY_CURRENT_USER, "Tree\\Branch\\Leaf", leaf), ERROR_SUCCESS);
  ASSERT_EQ(SetDword(leaf.get(), "v", 1), ERROR_SUCCESS);

  EXPECT_EQ(RegDeleteKeyA(HKEY_CURRENT_USER, "Tree\\Branch"), ERROR_ACCESS_DENIED) << "it has a subkey";
  EXPECT_EQ(RegDeleteKeyA(HKEY_CURRENT_USER, nullptr), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(RegDeleteKeyA(HKEY_CURRENT_USER, "Tree\\Missing"), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE"), ERROR_ACCESS_DENIED);
  EXPECT_EQ(RegDeleteKeyExA(HKEY_CURRENT_USER, "Tree\\Branch\\Leaf", 0, 1), ERROR_INVALID_PARAMETER);
  ASSERT_EQ(RegDeleteKeyA(HKEY_CURRENT_USER, "TREE\\branch\\leaf"), ERROR_SUCCESS);

  // The handle outlives its key: calls on it fail with ERROR_KEY_DELETED.
  DWORD number;
  EXPECT_EQ(GetDword(leaf.get(), "v", number), ERROR_KEY_DELETED);
  EXPECT_EQ(SetDword(leaf.get(), "v", 2), ERROR_KEY_DELETED);
  EXPECT_EQ(RegFlushKey(leaf.get()), ERROR_KEY_DELETED);
  ScopedKey child;
  EXPECT_EQ(Create(leaf.get(), "Child", child), ERROR_KEY_DELETED);
  EXPECT_EQ(RegCloseKey(leaf.release()), ERROR_SUCCESS);

  // An empty subkey deletes the key the handle refers to.
  ScopedKey branch;
  ASSERT_EQ(Open(HKEY_CURRENT_USER, "Tree\\Branch", branch), ERROR_SUCCESS);
  EXPECT_EQ(RegDeleteKeyA(branch.get(), ""), ERROR_SUCCESS);
  EXPECT_EQ(RegDeleteKeyA(branch.get(), ""), ERROR_KEY_DELETED);
  std::string file = machine_.ReadRegistry();
  EXPECT_EQ(file.find("Branch"), std::string::npos) << file;
  EXPECT_NE(file.find("[HKEY_CURRENT_USER\\Tree]"), std::string::npos) << file;
}

TEST_F(RegistryApi, EnumeratesSubkeysSortedAndValuesInCreationOrder) {
  ScopedKey key;
  ASSERT_EQ(Create(HKEY_CURRENT_USER, "E", key), ERROR_SUCCESS);
  for (const char* name : {"zeta", "Alpha", "_under", "beta"}) {
    ScopedKey sub;
    ASSERT_EQ(Create(key.get(), name, sub), ERROR_SUCCESS);
  }
  std::vector<std::string> names;
  for (DWORD i = 0;; ++i) {
    char name[32];
    DWORD length = sizeof name;
    LONG result = RegEnumKeyExA(key.get(), i, name, &length, nullptr, nullptr, nullptr, nullptr);
    if (result == ERROR_NO_MORE_ITEMS) break;
    ASSERT_EQ(result, ERROR_SUCCESS);
    EXPECT_EQ(length, std::strlen(name));
    names.push_back(name);
  }
  // Windows compares names upper-cased, so '_' sorts after the letters.
  EXPECT_EQ(names, (std::vector<std::string>{"Alpha", "beta", "zeta", "_under"}));
  char shortName[5];
  DWORD length = sizeof shortName;
  EXPECT_EQ(RegEnumKeyExA(key.get(), 0, shortName, &length, nullptr, nullptr, nullptr, nullptr), ERROR_MORE_DATA);
  EXPECT_EQ(length, sizeof shortName);

  ASSERT_EQ(SetDword(key.get(), "second", 2), ERROR_SUCCESS);
  ASSERT_EQ(SetString(key.get(), "first", "\xC3\xA9t\xC3\xA9"), ERROR_SUCCESS);
  ASSERT_EQ(SetDword(key.get(), "SECOND", 3), ERROR_SUCCESS);
  char name[16];
  DWORD nameLength = sizeof name, type = 0, size = 0;
  ASSERT_EQ(RegEnumValueA(key.get(), 0, name, &nameLength, nullptr, &type, nullptr, &size), ERROR_SUCCESS);
  EXPECT_STREQ(name, "second");
  EXPECT_EQ(nameLength, 6u);
  EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));
  EXPECT_EQ(size, 4u);
  BYTE data[3];
  nameLength = sizeof name;
  size = sizeof data;
  ASSERT_EQ(RegEnumValueA(key.get(), 1, name, &nameLength, nullptr, &type, data, &size), ERROR_MORE_DATA);
  EXPECT_EQ(size, 6u) << "ANSI size of the string";
  BYTE enough[8];
  size = sizeof enough;
  nameLength = sizeof name;
  ASSERT_EQ(RegEnumValueA(key.get(), 1, name, &nameLength, nullptr, &type, enough, &size), ERROR_SUCCESS);
  EXPECT_STREQ(reinterpret_cast<char*>(enough), "\xC3\xA9t\xC3\xA9");
  nameLength = 3;
  EXPECT_EQ(RegEnumValueA(key.get(), 0, name, &nameLength, nullptr, nullptr, nullptr, nullptr), ERROR_MORE_DATA);
  nameLength = sizeof name;
  EXPECT_EQ(RegEnumValueA(key.get(), 2, name, &nameLength, nullptr, nullptr, nullptr, nullptr), ERROR_NO_MORE_ITEMS);
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

TEST_F(RegistryApi, CreateRefusesNamesAndDepthsWindowsRefuses) {
  HKEY key = nullptr;
  std::string name(255, 'n');
  ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, name.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
            ERROR_SUCCESS);
  RegCloseKey(key);
  name += 'n';
  EXPECT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, ("a\\" + name).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                            nullptr),
            ERROR_INVALID_PARAMETER);
  HKEY probe = nullptr;
  EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "a", 0, KEY_READ, &probe), ERROR_FILE_NOT_FOUND) << "nothing made";

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
