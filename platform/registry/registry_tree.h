// In-memory registry tree: hives, keys and values with Windows name rules
// (case-insensitive, case-preserving; values kept in creation order, subkeys sorted).
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/core/win_types.h"

namespace hl::platform::reg {

// Windows' limits: key names of at most 255 characters, value names of at most 16,383, and key
// paths at most 512 levels deep.
constexpr size_t kMaxKeyNameLength = 255;
constexpr size_t kMaxValueNameLength = 16383;
constexpr size_t kMaxKeyDepth = 512;

enum class Hive { ClassesRoot, CurrentUser, LocalMachine, Users, CurrentConfig };
constexpr size_t kHiveCount = 5;

// "HKEY_LOCAL_MACHINE" etc.
const char* HiveName(Hive hive);
// Full names, compared without regard to case; with allowAbbreviations also HKLM, HKCU, HKCR, HKU, HKCC.
std::optional<Hive> HiveFromName(std::u16string_view name, bool allowAbbreviations);

struct Value {
  std::u16string name;  // empty: the default value
  DWORD type = 0;
  std::vector<uint8_t> data;
};

struct Key {
  Key() = default;
  Key(const Key&) = delete;
  Key& operator=(const Key&) = delete;
  Key(Key&&) = default;
  Key& operator=(Key&&) = default;
  // Frees the keys below one at a time, so a deep tree costs no stack.
  ~Key();

  std::u16string name;
  std::vector<Value> values;                              // creation order, as Windows enumerates
  std::map<std::u16string, std::unique_ptr<Key>> subkeys;  // keyed by folded name: sorted as Windows exports

  const Value* FindValue(std::u16string_view valueName) const;
  // Replaces an existing value in place (keeping its name's case and position) or appends a new one.
  void SetValue(std::u16string_view valueName, DWORD type, std::vector<uint8_t> data);
  bool DeleteValue(std::u16string_view valueName);

  Key* FindSubkey(std::u16string_view keyName) const;
  Key& CreateSubkey(std::u16string_view keyName, bool* created = nullptr);
  bool RemoveSubkey(std::u16string_view keyName);
};

using Path = std::vector<std::u16string>;

struct Tree {
  std::array<Key, kHiveCount> hives;

  Key& Root(Hive hive) { return hives[static_cast<size_t>(hive)]; }
  const Key& Root(Hive hive) const { return hives[static_cast<size_t>(hive)]; }
  Key* Find(Hive hive, const Path& path);
  const Key* Find(Hive hive, const Path& path) const;
  // Creates missing components; *created tells whether the last component was new.
  Key& Create(Hive hive, const Path& path, bool* created = nullptr);
  // Removes the key and everything below it; false when it did not exist (or is the hive itself).
  bool DeleteTree(Hive hive, const Path& path);
};

}  // namespace hl::platform::reg
