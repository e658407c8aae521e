// Reg* calls against the behaviour Windows documents and shows. The same tests run against the
// stand-in and, in the Windows build, against the system's own registry, so the stand-in is
// checked against Windows rather than trusted. Every key a test makes lies below a scratch root;
// narrow texts are written in the system's ANSI code page.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/registry/registry_test_support.h"
#include "platform/win32.h"
#include "tests/support/scratch_registry.h"
#include "tests/support/system_text.h"
#include "tests/support/wine.h"

namespace hl::platform::reg {
namespace {

using hl::test::InAnsiCodePage;
using hl::test::WindowsOrWine;
using test::Create;
using test::GetDword;
using test::GetString;
using test::Open;
using test::ScopedKey;
using test::SetDword;
using test::SetString;
using Wide = std::basic_string<WCHAR>;

class RegistryBehaviour : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(Create(HKEY_CURRENT_USER, "Software\\HarborlineTest", root_), ERROR_SUCCESS); }
  // HKEY_CURRENT_USER\Software\HarborlineTest, where the tests make their keys.
  HKEY root() const { return root_.get(); }

  hl::test::ScratchRegistry registry_;
  ScopedKey root_;
};

TEST_F(RegistryBehaviour, CreateReportsDispositionAndOpenNeverCreates) {
  ScopedKey missing;
  missing.out()[0] = reinterpret_cast<HKEY>(1);
  EXPECT_EQ(Open(root(), "Vendor\\App", missing), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(missing.get(), nullptr);

  DWORD disposition = 0;
  ScopedKey created;
  ASSERT_EQ(Create(root(), "Vendor\\App", created, KEY_ALL_ACCESS, &disposition), ERROR_SUCCESS);
  EXPECT_EQ(disposition, static_cast<DWORD>(REG_CREATED_NEW_KEY));
  ScopedKey again;
  ASSERT_EQ(Create(root(), "VENDOR\\app\\", again, KEY_ALL_ACCESS, &disposition), ERROR_SUCCESS);
  EXPECT_EQ(disposition, static_cast<DWORD>(REG_OPENED_EXISTING_KEY));
  ScopedKey opened;
  EXPECT_EQ(Open(root(), "vendor\\APP", opened), ERROR_SUCCESS);

  // Names keep the case they were created with.
  char name[16];
  DWORD length = sizeof name;
  ASSERT_EQ(RegEnumKeyExA(root(), 0, name, &length, nullptr, nullptr, nullptr, nullptr), ERROR_SUCCESS);
  EXPECT_STREQ(name, "Vendor");
}

// Keys that every Windows installation has can be opened by a create in both views.
TEST_F(RegistryBehaviour, KeysOfEveryInstallationExistAlready) {
  for (const char* path :
       {"SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Memory Management",
        "SYSTEM\\CurrentControlSet\\Control\\ProductOptions", "SYSTEM\\CurrentControlSet\\Services",
        "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion", "SOFTWARE\\Microsoft\\Windows\\CurrentVersion"}) {
    for (REGSAM view : {KEY_WOW64_64KEY, KEY_WOW64_32KEY}) {
      ScopedKey key;
      DWORD disposition = 0;
      ASSERT_EQ(Create(HKEY_LOCAL_MACHINE, path, key, KEY_READ | view, &disposition), ERROR_SUCCESS) << path;
      EXPECT_EQ(disposition, static_cast<DWORD>(REG_OPENED_EXISTING_KEY)) << path << " view " << view;
    }
  }
  for (const char* path : {"SOFTWARE", "SYSTEM", "HARDWARE"}) {
    ScopedKey top;
    EXPECT_EQ(Open(HKEY_LOCAL_MACHINE, path, top), ERROR_SUCCESS) << path;
  }
}

TEST_F(RegistryBehaviour, PathRules) {
  ScopedKey key;
  EXPECT_EQ(Create(root(), "\\Leading", key), ERROR_BAD_PATHNAME);
  // Repeated separators are skipped: "a\\\\b" is "a\\b".
  ASSERT_EQ(Create(root(), "a\\\\b", key), ERROR_SUCCESS);
  ScopedKey single;
  EXPECT_EQ(Open(root(), "a\\b", single), ERROR_SUCCESS);
  ScopedKey system;
  DWORD disposition = 0;
  ASSERT_EQ(Create(HKEY_LOCAL_MACHINE, "SYSTEM", system, KEY_READ, &disposition), ERROR_SUCCESS);
  EXPECT_EQ(disposition, static_cast<DWORD>(REG_OPENED_EXISTING_KEY));
  // An empty subkey gives a new handle to the same key; NULL with RegOpenKeyEx too.
  ScopedKey same;
  ASSERT_EQ(Create(root(), "", same), ERROR_SUCCESS);
  EXPECT_EQ(SetDword(same.get(), "x", 1), ERROR_SUCCESS);
  ScopedKey viaNull;
  ASSERT_EQ(RegOpenKeyExA(root(), nullptr, 0, KEY_READ, viaNull.out()), ERROR_SUCCESS);
  DWORD number = 0;
  EXPECT_EQ(GetDword(viaNull.get(), "X", number), ERROR_SUCCESS);
  EXPECT_EQ(number, 1u);
}

TEST_F(RegistryBehaviour, QuerySizesAndMoreData) {
  ScopedKey key;
  ASSERT_EQ(Create(root(), "K", key), ERROR_SUCCESS);
  const WCHAR foobar[] = WSTR("foobar");
  ASSERT_EQ(RegSetValueExW(key.get(), WSTR("s"), 0, REG_SZ, reinterpret_cast<const BYTE*>(foobar), sizeof foobar),
            ERROR_SUCCESS);

  DWORD type = 0, size = 0;
  EXPECT_EQ(RegQueryValueExW(key.get(), WSTR("s"), nullptr, &type, nullptr, &size), ERROR_SUCCESS);
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
  WCHAR wide[7];
  size = 13;
  EXPECT_EQ(RegQueryValueExW(key.get(), WSTR("s"), nullptr, nullptr, reinterpret_cast<BYTE*>(wide), &size),
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

TEST_F(RegistryBehaviour, AnsiFormsConvertStringTypesToAndFromUtf16) {
  ScopedKey key;
  ASSERT_EQ(Create(root(), "K", key), ERROR_SUCCESS);
  const std::string text = InAnsiCodePage(WSTR("Gr\u00fc\u00dfe"));
  const std::string name = InAnsiCodePage(WSTR("n\u00e4me"));
  ASSERT_EQ(SetString(key.get(), name.c_str(), text), ERROR_SUCCESS);

  DWORD size = 0;
  ASSERT_EQ(RegQueryValueExW(key.get(), WSTR("N\u00c4ME"), nullptr, nullptr, nullptr, &size), ERROR_SUCCESS);
  EXPECT_EQ(size, 6u * 2) << "five characters and the terminator in UTF-16";
  Wide wide(size / 2, WCHAR(0));
  ASSERT_EQ(RegQueryValueExW(key.get(), WSTR("n\u00e4me"), nullptr, nullptr, reinterpret_cast<BYTE*>(wide.data()),
                             &size),
            ERROR_SUCCESS);
  EXPECT_EQ(wide, Wide(WSTR("Gr\u00fc\u00dfe")) + WCHAR(0));
  ASSERT_EQ(RegQueryValueExA(key.get(), name.c_str(), nullptr, nullptr, nullptr, &size), ERROR_SUCCESS);
  EXPECT_EQ(size, text.size() + 1);
  std::string back;
  ASSERT_EQ(GetString(key.get(), name.c_str(), back), ERROR_SUCCESS);
  EXPECT_EQ(back, text);

  // REG_MULTI_SZ and REG_EXPAND_SZ convert too; REG_BINARY is copied unchanged.
  const std::string e = InAnsiCodePage(WSTR("\u00e9"));
  const std::string multi = std::string("a") + '\0' + e + '\0' + '\0';  // "a", "é", final terminator
  ASSERT_EQ(RegSetValueExA(key.get(), "m", 0, REG_MULTI_SZ, reinterpret_cast<const BYTE*>(multi.data()),
                           static_cast<DWORD>(multi.size())),
            ERROR_SUCCESS);
  ASSERT_EQ(RegQueryValueExW(key.get(), WSTR("m"), nullptr, nullptr, nullptr, &size), ERROR_SUCCESS);
  EXPECT_EQ(size, 5u * 2);
  ASSERT_EQ(RegQueryValueExA(key.get(), "m", nullptr, nullptr, nullptr, &size), ERROR_SUCCESS);
  EXPECT_EQ(size, multi.size());
  ASSERT_EQ(SetString(key.get(), "e", "%TEMP%\\x", REG_EXPAND_SZ), ERROR_SUCCESS);
  ASSERT_EQ(RegQueryValueExW(key.get(), WSTR("e"), nullptr, nullptr, nullptr, &size), ERROR_SUCCESS);
  EXPECT_EQ(size, 9u * 2);
  const BYTE raw[] = {0xC3, 0xA9, 0x00, 0xFF};
  ASSERT_EQ(RegSetValueExA(key.get(), "b", 0, REG_BINARY, raw, sizeof raw), ERROR_SUCCESS);
  BYTE rawBack[8];
  size = sizeof rawBack;
  ASSERT_EQ(RegQueryValueExW(key.get(), WSTR("b"), nullptr, nullptr, rawBack, &size), ERROR_SUCCESS);
  ASSERT_EQ(size, sizeof raw);
  EXPECT_EQ(std::memcmp(rawBack, raw, sizeof raw), 0);
}

TEST_F(RegistryBehaviour, SetValueEdgeCases) {
  ScopedKey key;
  ASSERT_EQ(Create(root(), "K", key), ERROR_SUCCESS);
  // NULL data with a size is refused; NULL data without one stores an empty value.
  EXPECT_EQ(RegSetValueExA(key.get(), "v", 0, REG_BINARY, nullptr, 4), ERROR_NOACCESS);
  ASSERT_EQ(RegSetValueExA(key.get(), "v", 0, REG_SZ, nullptr, 0), ERROR_SUCCESS);
  DWORD size = 5;
  EXPECT_EQ(RegQueryValueExW(key.get(), WSTR("v"), nullptr, nullptr, nullptr, &size), ERROR_SUCCESS);
  EXPECT_EQ(size, 0u);
  // A size that leaves out the terminator which follows gets it counted, as NT does.
  const char text[] = "abc";
  ASSERT_EQ(RegSetValueExA(key.get(), "t", 0, REG_SZ, reinterpret_cast<const BYTE*>(text), 3), ERROR_SUCCESS);
  EXPECT_EQ(RegQueryValueExW(key.get(), WSTR("t"), nullptr, nullptr, nullptr, &size), ERROR_SUCCESS);
  EXPECT_EQ(size, 8u);
  // Unterminated data is stored as given and terminated in the caller's buffer when there is room.
  const WCHAR unterminated[] = {WCHAR('x'), WCHAR('y'), WCHAR('z')};
  ASSERT_EQ(RegSetValueExW(key.get(), WSTR("u"), 0, REG_SZ, reinterpret_cast<const BYTE*>(unterminated), 4),
            ERROR_SUCCESS);
  WCHAR buffer[4] = {WCHAR('#'), WCHAR('#'), WCHAR('#'), WCHAR('#')};
  size = sizeof buffer;
  ASSERT_EQ(RegQueryValueExW(key.get(), WSTR("u"), nullptr, nullptr, reinterpret_cast<BYTE*>(buffer), &size),
            ERROR_SUCCESS);
  EXPECT_EQ(size, 4u);
  EXPECT_EQ(buffer[0], WCHAR('x'));
  EXPECT_EQ(buffer[1], WCHAR('y'));
  EXPECT_EQ(buffer[2], WCHAR(0));
  // Overwriting keeps the value's position and first spelling.
  ASSERT_EQ(SetDword(key.get(), "First", 1), ERROR_SUCCESS);
  ASSERT_EQ(SetDword(key.get(), "FIRST", 2), ERROR_SUCCESS);
  std::vector<std::string> names;
  for (DWORD i = 0;; ++i) {
    char name[16];
    DWORD nameLength = sizeof name;
    if (RegEnumValueA(key.get(), i, name, &nameLength, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    names.push_back(name);
  }
  // Wine enumerates values sorted by name; Windows in creation order.
  EXPECT_EQ(names, WindowsOrWine(std::vector<std::string>{"v", "t", "u", "First"},
                                 std::vector<std::string>{"First", "t", "u", "v"}));
  DWORD number = 0;
  EXPECT_EQ(GetDword(key.get(), "first", number), ERROR_SUCCESS);
  EXPECT_EQ(number, 2u);
}

TEST_F(RegistryBehaviour, DefaultValueByEmptyOrNullName) {
  ScopedKey key;
  ASSERT_EQ(Create(root(), "K", key), ERROR_SUCCESS);
  DWORD size = 0;
  EXPECT_EQ(RegQueryValueExA(key.get(), nullptr, nullptr, nullptr, nullptr, &size), ERROR_FILE_NOT_FOUND);
  ASSERT_EQ(SetString(key.get(), nullptr, "dflt"), ERROR_SUCCESS);
  std::string text;
  EXPECT_EQ(GetString(key.get(), "", text), ERROR_SUCCESS);
  EXPECT_EQ(text, "dflt");
  EXPECT_EQ(RegDeleteValueA(key.get(), ""), ERROR_SUCCESS);
  EXPECT_EQ(RegDeleteValueW(key.get(), nullptr), ERROR_FILE_NOT_FOUND);
}

TEST_F(RegistryBehaviour, AccessMaskGatesValueOperations) {
  ScopedKey writer;
  ASSERT_EQ(Create(root(), "K\\Sub", writer), ERROR_SUCCESS);
  ASSERT_EQ(SetDword(writer.get(), "v", 7), ERROR_SUCCESS);

  ScopedKey reader;
  ASSERT_EQ(Open(root(), "K", reader, KEY_QUERY_VALUE), ERROR_SUCCESS);
  EXPECT_EQ(SetDword(reader.get(), "v", 1), ERROR_ACCESS_DENIED);
  EXPECT_EQ(RegDeleteValueA(reader.get(), "v"), ERROR_ACCESS_DENIED);
  char name[16];
  DWORD length = sizeof name;
  EXPECT_EQ(RegEnumKeyExA(reader.get(), 0, name, &length, nullptr, nullptr, nullptr, nullptr), ERROR_ACCESS_DENIED);
  ScopedKey child;
  // Creating is checked against the parent key's security, never against the parent handle's access.
  EXPECT_EQ(Create(reader.get(), "New", child), ERROR_SUCCESS);
  ScopedKey existing;
  EXPECT_EQ(Create(reader.get(), "Sub", existing), ERROR_SUCCESS);

  ScopedKey setter;
  ASSERT_EQ(Open(root(), "K\\Sub", setter, KEY_SET_VALUE), ERROR_SUCCESS);
  DWORD number;
  EXPECT_EQ(GetDword(setter.get(), "v", number), ERROR_ACCESS_DENIED);
  EXPECT_EQ(SetDword(setter.get(), "v", 8), ERROR_SUCCESS);
  ScopedKey generic;
  ASSERT_EQ(Open(root(), "K\\Sub", generic, 0x80000000u /* GENERIC_READ */), ERROR_SUCCESS);
  EXPECT_EQ(GetDword(generic.get(), "v", number), ERROR_SUCCESS);
  EXPECT_EQ(number, 8u);
}

TEST_F(RegistryBehaviour, InvalidAndClosedHandles) {
  EXPECT_EQ(RegCloseKey(nullptr), ERROR_INVALID_HANDLE);
  EXPECT_EQ(RegCloseKey(HKEY_LOCAL_MACHINE), ERROR_SUCCESS);
  HKEY bogus = reinterpret_cast<HKEY>(static_cast<uintptr_t>(0x12344));
  DWORD size = 0;
  EXPECT_EQ(RegQueryValueExA(bogus, "v", nullptr, nullptr, nullptr, &size), ERROR_INVALID_HANDLE);
  EXPECT_EQ(SetDword(bogus, "v", 1), ERROR_INVALID_HANDLE);
  ScopedKey key;
  EXPECT_EQ(Open(bogus, "x", key), ERROR_INVALID_HANDLE);

  HKEY handle = nullptr;
  ASSERT_EQ(RegCreateKeyExA(root(), "K", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &handle, nullptr), ERROR_SUCCESS);
  EXPECT_EQ(RegFlushKey(handle), ERROR_SUCCESS);
  EXPECT_EQ(RegCloseKey(handle), ERROR_SUCCESS);
  EXPECT_EQ(RegCloseKey(handle), ERROR_INVALID_HANDLE);
  EXPECT_EQ(RegFlushKey(handle), ERROR_INVALID_HANDLE);
}

TEST_F(RegistryBehaviour, DeleteKeyRules) {
  ScopedKey leaf;
  ASSERT_EQ(Create(root(), "Tree\\Branch\\Leaf", leaf), ERROR_SUCCESS);
  ASSERT_EQ(SetDword(leaf.get(), "v", 1), ERROR_SUCCESS);

  EXPECT_EQ(RegDeleteKeyA(root(), "Tree\\Branch"), ERROR_ACCESS_DENIED) << "it has a subkey";
  EXPECT_EQ(RegDeleteKeyA(root(), nullptr), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(RegDeleteKeyA(root(), "Tree\\Missing"), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE"), ERROR_ACCESS_DENIED);
  ASSERT_EQ(RegDeleteKeyA(root(), "TREE\\branch\\leaf"), ERROR_SUCCESS);

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
  ASSERT_EQ(Open(root(), "Tree\\Branch", branch), ERROR_SUCCESS);
  EXPECT_EQ(RegDeleteKeyA(branch.get(), ""), ERROR_SUCCESS);
  EXPECT_EQ(RegDeleteKeyA(branch.get(), ""), ERROR_KEY_DELETED);
  ScopedKey probe;
  EXPECT_EQ(Open(root(), "Tree\\Branch", probe), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(Open(root(), "Tree", probe), ERROR_SUCCESS);
}

TEST_F(RegistryBehaviour, EnumeratesSubkeysSortedAndValuesInCreationOrder) {
  ScopedKey key;
  ASSERT_EQ(Create(root(), "E", key), ERROR_SUCCESS);
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
  // Windows sorts names upper-cased, so '_' comes after the letters; Wine sorts them lower-cased.
  EXPECT_EQ(names, WindowsOrWine(std::vector<std::string>{"Alpha", "beta", "zeta", "_under"},
                                 std::vector<std::string>{"_under", "Alpha", "beta", "zeta"}));
  char shortName[5];
  DWORD length = sizeof shortName;
  EXPECT_EQ(RegEnumKeyExA(key.get(), 0, shortName, &length, nullptr, nullptr, nullptr, nullptr), ERROR_MORE_DATA);
  EXPECT_EQ(length, sizeof shortName);

  const std::string ete = InAnsiCodePage(WSTR("\u00e9t\u00e9"));
  ASSERT_EQ(SetDword(key.get(), "second", 2), ERROR_SUCCESS);
  ASSERT_EQ(SetString(key.get(), "first", ete), ERROR_SUCCESS);
  ASSERT_EQ(SetDword(key.get(), "SECOND", 3), ERROR_SUCCESS);
  // Windows enumerates values in creation order, Wine sorted by name.
  const DWORD second = WindowsOrWine(0u, 1u), first = WindowsOrWine(1u, 0u);
  char name[16];
  DWORD nameLength = sizeof name, type = 0, size = 0;
  ASSERT_EQ(RegEnumValueA(key.get(), second, name, &nameLength, nullptr, &type, nullptr, &size), ERROR_SUCCESS);
  EXPECT_STREQ(name, "second");
  EXPECT_EQ(nameLength, 6u);
  EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));
  EXPECT_EQ(size, 4u);
  BYTE data[3];
  nameLength = sizeof name;
  size = sizeof data;
  ASSERT_EQ(RegEnumValueA(key.get(), first, name, &nameLength, nullptr, &type, data, &size), ERROR_MORE_DATA);
  EXPECT_EQ(size, ete.size() + 1) << "ANSI size of the string";
  BYTE enough[8];
  size = sizeof enough;
  nameLength = sizeof name;
  ASSERT_EQ(RegEnumValueA(key.get(), first, name, &nameLength, nullptr, &type, enough, &size), ERROR_SUCCESS);
  EXPECT_EQ(reinterpret_cast<char*>(enough), ete);
  nameLength = 3;
  EXPECT_EQ(RegEnumValueA(key.get(), second, name, &nameLength, nullptr, nullptr, nullptr, nullptr), ERROR_MORE_DATA);
  nameLength = sizeof name;
  EXPECT_EQ(RegEnumValueA(key.get(), 2, name, &nameLength, nullptr, nullptr, nullptr, nullptr), ERROR_NO_MORE_ITEMS);
}

TEST_F(RegistryBehaviour, KeyNamesOf255CharactersAreAccepted) {
  ScopedKey key;
  ASSERT_EQ(Create(root(), std::string(255, 'n').c_str(), key), ERROR_SUCCESS);
  ScopedKey again;
  EXPECT_EQ(Open(root(), std::string(255, 'N').c_str(), again), ERROR_SUCCESS);
}

// WOW64: what a 32-bit process on 64-bit Windows sees, as the tool runs.
constexpr const char* kAgentKey = "SOFTWARE\\HarborlineTest\\HLAgent";
constexpr const char* kAgentKey32 = "SOFTWARE\\WOW6432Node\\HarborlineTest\\HLAgent";

LONG ReadFlag(const char* path, REGSAM sam, DWORD& number) {
  ScopedKey key;
  if (LONG result = Open(HKEY_LOCAL_MACHINE, path, key, KEY_READ | sam)) return result;
  return GetDword(key.get(), "Flag", number);
}

TEST_F(RegistryBehaviour, ThirtyTwoBitProcessIsRedirectedByDefault) {
  ScopedKey agent;
  ASSERT_EQ(Create(HKEY_LOCAL_MACHINE, kAgentKey, agent), ERROR_SUCCESS);
  ASSERT_EQ(SetDword(agent.get(), "Flag", 32), ERROR_SUCCESS);

  DWORD number = 0;
  EXPECT_EQ(ReadFlag(kAgentKey32, KEY_WOW64_64KEY, number), ERROR_SUCCESS);
  EXPECT_EQ(number, 32u);
  EXPECT_EQ(ReadFlag(kAgentKey, KEY_WOW64_64KEY, number), ERROR_FILE_NOT_FOUND) << "not in the native view";
  EXPECT_EQ(ReadFlag(kAgentKey, KEY_WOW64_32KEY, number), ERROR_SUCCESS);
  // Naming WOW6432Node from the 32-bit view reaches the same key: no double redirection.
  EXPECT_EQ(ReadFlag(kAgentKey32, 0, number), ERROR_SUCCESS);

  // KEY_WOW64_64KEY writes the native key, which the default view does not see.
  ScopedKey native;
  ASSERT_EQ(Create(HKEY_LOCAL_MACHINE, kAgentKey, native, KEY_ALL_ACCESS | KEY_WOW64_64KEY), ERROR_SUCCESS);
  ASSERT_EQ(SetDword(native.get(), "Flag", 64), ERROR_SUCCESS);
  EXPECT_EQ(ReadFlag(kAgentKey, KEY_WOW64_64KEY, number), ERROR_SUCCESS);
  EXPECT_EQ(number, 64u);
  EXPECT_EQ(ReadFlag(kAgentKey, 0, number), ERROR_SUCCESS);
  EXPECT_EQ(number, 32u);

  // Both flags at once are refused on Windows 7 and later; Wine accepts them.
  ScopedKey both;
  EXPECT_EQ(Open(HKEY_LOCAL_MACHINE, kAgentKey, both, KEY_READ | KEY_WOW64_64KEY | KEY_WOW64_32KEY),
            WindowsOrWine<LONG>(ERROR_INVALID_PARAMETER, ERROR_SUCCESS));
}

TEST_F(RegistryBehaviour, SystemAndSharedKeysAreNotRedirected) {
  ScopedKey control;
  ASSERT_EQ(Create(HKEY_LOCAL_MACHINE, "SYSTEM\\HarborlineTest", control), ERROR_SUCCESS);
  ASSERT_EQ(SetDword(control.get(), "Flag", 1), ERROR_SUCCESS);
  DWORD number = 0;
  EXPECT_EQ(ReadFlag("SYSTEM\\HarborlineTest", KEY_WOW64_64KEY, number), ERROR_SUCCESS);
  EXPECT_EQ(ReadFlag("SYSTEM\\HarborlineTest", KEY_WOW64_32KEY, number), ERROR_SUCCESS);

  ScopedKey classes;
  ASSERT_EQ(Create(HKEY_LOCAL_MACHINE, "SOFTWARE\\Classes\\.harborlinetest", classes), ERROR_SUCCESS);
  ASSERT_EQ(SetDword(classes.get(), "Flag", 2), ERROR_SUCCESS);
  EXPECT_EQ(ReadFlag("SOFTWARE\\Classes\\.harborlinetest", KEY_WOW64_64KEY, number), ERROR_SUCCESS);
  EXPECT_EQ(number, 2u);
  ScopedKey redirected;
  EXPECT_EQ(Open(HKEY_LOCAL_MACHINE, "SOFTWARE\\WOW6432Node\\Classes\\.harborlinetest", redirected,
                 KEY_READ | KEY_WOW64_64KEY),
            ERROR_FILE_NOT_FOUND);
}

TEST_F(RegistryBehaviour, HandleKeepsTheViewItWasOpenedIn) {
  ScopedKey redirected;
  ASSERT_EQ(Create(HKEY_LOCAL_MACHINE, "SOFTWARE\\HarborlineTest", redirected), ERROR_SUCCESS);
  ASSERT_EQ(SetDword(redirected.get(), "Flag", 32), ERROR_SUCCESS);
  ScopedKey native;
  ASSERT_EQ(Create(HKEY_LOCAL_MACHINE, "SOFTWARE\\HarborlineTest", native, KEY_ALL_ACCESS | KEY_WOW64_64KEY),
            ERROR_SUCCESS);
  ASSERT_EQ(SetDword(native.get(), "Flag", 64), ERROR_SUCCESS);

  // HKLM\SOFTWARE opened in the 32-bit view: relative opens stay there whatever flag they pass.
  ScopedKey software32;
  ASSERT_EQ(Open(HKEY_LOCAL_MACHINE, "SOFTWARE", software32), ERROR_SUCCESS);
  ScopedKey x;
  ASSERT_EQ(Open(software32.get(), "HarborlineTest", x, KEY_READ | KEY_WOW64_64KEY), ERROR_SUCCESS);
  DWORD number = 0;
  ASSERT_EQ(GetDword(x.get(), "Flag", number), ERROR_SUCCESS);
  EXPECT_EQ(number, 32u);
  ScopedKey doubled;
  EXPECT_EQ(Open(software32.get(), "Wow6432Node\\HarborlineTest", doubled), ERROR_FILE_NOT_FOUND);

  // HKLM\SOFTWARE opened with KEY_WOW64_64KEY: relative opens without a flag stay native, as on
  // Windows 8 and later (Windows 7 redirected them again).
  ScopedKey software64;
  ASSERT_EQ(Open(HKEY_LOCAL_MACHINE, "SOFTWARE", software64, KEY_READ | KEY_WOW64_64KEY), ERROR_SUCCESS);
  ScopedKey x64;
  ASSERT_EQ(Open(software64.get(), "HarborlineTest", x64), ERROR_SUCCESS);
  ASSERT_EQ(GetDword(x64.get(), "Flag", number), ERROR_SUCCESS);
  EXPECT_EQ(number, 64u);

  // RegDeleteKeyExA picks the view; RegDeleteKeyA uses the default one.
  ASSERT_EQ(RegDeleteKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\HarborlineTest", KEY_WOW64_64KEY, 0), ERROR_SUCCESS);
  EXPECT_EQ(GetDword(x64.get(), "Flag", number), ERROR_KEY_DELETED);
  EXPECT_EQ(GetDword(x.get(), "Flag", number), ERROR_SUCCESS);
  ASSERT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\HarborlineTest"), ERROR_SUCCESS);
  EXPECT_EQ(GetDword(x.get(), "Flag", number), ERROR_KEY_DELETED);
  EXPECT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\WOW6432Node"), ERROR_ACCESS_DENIED);
}

}  // namespace
}  // namespace hl::platform::reg
