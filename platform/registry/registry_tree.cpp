#include "platform/registry/registry_tree.h"

#include "platform/registry/registry_text.h"

namespace hl::platform::reg {
namespace {

struct HiveNames {
  Hive hive;
  const char16_t* full;
  const char16_t* abbreviation;
  const char* fullNarrow;
};

constexpr HiveNames kHives[kHiveCount] = {
    {Hive::ClassesRoot, u"HKEY_CLASSES_ROOT", u"HKCR", "HKEY_CLASSES_ROOT"},
    {Hive::CurrentUser, u"HKEY_CURRENT_USER", u"HKCU", "HKEY_CURRENT_USER"},
    {Hive::LocalMachine, u"HKEY_LOCAL_MACHINE", u"HKLM", "HKEY_LOCAL_MACHINE"},
    {Hive::Users, u"HKEY_USERS", u"HKU", "HKEY_USERS"},
    {Hive::CurrentConfig, u"HKEY_CURRENT_CONFIG", u"HKCC", "HKEY_CURRENT_CONFIG"},
};

}  // namespace

const char* HiveName(Hive hive) { return kHives[static_cast<size_t>(hive)].fullNarrow; }

std::optional<Hive> HiveFromName(std::u16string_view name, bool allowAbbreviations) {
  for (const auto& entry : kHives) {
    if (NamesEqual(name, entry.full)) return entry.hive;
    if (allowAbbreviations && NamesEqual(name, entry.abbreviation)) return entry.hive;
  }
  return std::nullopt;
}

Key::~Key() {
  std::vector<std::unique_ptr<Key>> pending;
  for (auto& [folded, sub] : subkeys) pending.push_back(std::move(sub));
  subkeys.clear();
  while (!pending.empty()) {
    std::unique_ptr<Key> key = std::move(pending.back());
    pending.pop_back();
    for (auto& [folded, sub] : key->subkeys) pending.push_back(std::move(sub));
    key->subkeys.clear();  // `key` now dies without children
  }
}

const Value* Key::FindValue(std::u16string_view valueName) const {
  for (const auto& value : values)
    if (NamesEqual(value.name, valueName)) return &value;
  return nullptr;
}

void Key::SetValue(std::u16string_view valueName, DWORD type, std::vector<uint8_t> data) {
  for (auto& value : values) {
    if (NamesEqual(value.name, valueName)) {
      value.type = type;
      value.data = std::move(data);
      return;
    }
  }
  values.push_back(Value{std::u16string(valueName), type, std::move(data)});
}

bool Key::DeleteValue(std::u16string_view valueName) {
  for (auto it = values.begin(); it != values.end(); ++it) {
    if (NamesEqual(it->name, valueName)) {
      values.erase(it);
      return true;
    }
  }
  return false;
}

Key* Key::FindSubkey(std::u16string_view keyName) const {
  auto it = subkeys.find(Fold(keyName));
  return it == subkeys.end() ? nullptr : it->second.get();
}

Key& Key::CreateSubkey(std::u16string_view keyName, bool* created) {
  auto [it, inserted] = subkeys.try_emplace(Fold(keyName));
  if (inserted) {
    it->second = std::make_unique<Key>();
    it->second->name = std::u16string(keyName);
  }
  if (created) *created = inserted;
  return *it->second;
}

bool Key::RemoveSubkey(std::u16string_view keyName) { return subkeys.erase(Fold(keyName)) > 0; }

Key* Tree::Find(Hive hive, const Path& path) {
  Key* key = &Root(hive);
  for (const auto& part : path) {
    key = key->FindSubkey(part);
    if (!key) return nullptr;
  }
  return key;
}

const Key* Tree::Find(Hive hive, const Path& path) const { return const_cast<Tree*>(this)->Find(hive, path); }

Key& Tree::Create(Hive hive, const Path& path, bool* created) {
  Key* key = &Root(hive);
  bool last = false;
  for (const auto& part : path) key = &key->CreateSubkey(part, &last);
  if (created) *created = last;
  return *key;
}

bool Tree::DeleteTree(Hive hive, const Path& path) {
  if (path.empty()) return false;
  Path parentPath(path.begin(), path.end() - 1);
  Key* parent = Find(hive, parentPath);
  return parent && parent->RemoveSubkey(path.back());
}

}  // namespace hl::platform::reg
