// HashTable: string keys chained in buckets, with the store's own hash.
//
// Each bucket head is a pre-allocated entry (its key is nullopt while the bucket is empty); more
// keys of a bucket chain behind it in insertion order. Keys are owned and compared exactly
// (case-sensitive). Values are stored as V: with raw pointers the table never frees what they
// point to. The table takes no lock; its users lock (for example on an entry's address).
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "tessera/values/trace.h"

namespace tessera {

// h = (h * 26 + c) mod bucketCount over the key's characters as signed bytes, a negative
// remainder brought into range by adding bucketCount. 0 for a bucket count below 1.
int32_t HashBucketIndex(std::string_view key, int32_t bucketCount);

template <class V>
class HashTable {
 public:
  struct Entry {
    std::optional<std::string> key;  // nullopt: an empty bucket head
    V value{};
    std::unique_ptr<Entry> next;
  };

  HashTable() = default;
  explicit HashTable(int32_t bucketCount) { Init(bucketCount); }
  ~HashTable() { Free(); }
  HashTable(const HashTable&) = delete;
  HashTable& operator=(const HashTable&) = delete;

  // Discards any entries and makes `bucketCount` empty buckets (0 means 10).
  bool Init(int32_t bucketCount) {
    TraceEntry("InitHashTable");
    if (bucketCount < 0) return false;
    Free();
    buckets_ = std::vector<Entry>(static_cast<size_t>(bucketCount == 0 ? 10 : bucketCount));
    return true;
  }

  int32_t bucketCount() const { return static_cast<int32_t>(buckets_.size()); }

  // An existing key gets the new value; otherwise the key goes into the empty bucket head or a
  // new entry at the end of the bucket's chain. False when the table has no buckets.
  bool Put(std::string_view key, V value) {
    if (buckets_.empty()) return false;
    Entry& head = buckets_[static_cast<size_t>(HashBucketIndex(key, bucketCount()))];
    if (!head.key) {
      head.key = std::string(key);
      head.value = std::move(value);
      return true;
    }
    Entry* last = &head;
    for (Entry* e = &head; e != nullptr; e = e->next.get()) {
      if (*e->key == key) {
        e->value = std::move(value);
        return true;
      }
      last = e;
    }
    auto entry = std::make_unique<Entry>();
    entry->key = std::string(key);
    entry->value = std::move(value);
    last->next = std::move(entry);
    return true;
  }

  Entry* GetEntry(std::string_view key) {
    if (buckets_.empty()) return nullptr;
    Entry& head = buckets_[static_cast<size_t>(HashBucketIndex(key, bucketCount()))];
    if (!head.key) return nullptr;
    for (Entry* e = &head; e != nullptr; e = e->next.get())
      if (*e->key == key) return e;
    return nullptr;
  }
  const Entry* GetEntry(std::string_view key) const { return const_cast<HashTable*>(this)->GetEntry(key); }

  // The stored value, or null when the key is absent.
  V* Get(std::string_view key) {
    Entry* e = GetEntry(key);
    return e ? &e->value : nullptr;
  }
  const V* Get(std::string_view key) const { return const_cast<HashTable*>(this)->Get(key); }

  bool ContainsKey(std::string_view key) const { return GetEntry(key) != nullptr; }

  // Removes the key's entry from its chain; a head with followers takes over the next entry.
  bool Remove(std::string_view key) {
    if (buckets_.empty()) return false;
    Entry& head = buckets_[static_cast<size_t>(HashBucketIndex(key, bucketCount()))];
    if (!head.key) return false;
    if (*head.key == key) {
      if (head.next) {
        std::unique_ptr<Entry> follower = std::move(head.next);
        head.key = std::move(follower->key);
        head.value = std::move(follower->value);
        head.next = std::move(follower->next);
      } else {
        head.key.reset();
        head.value = V{};
      }
      return true;
    }
    for (Entry* before = &head; before->next; before = before->next.get()) {
      if (*before->next->key == key) {
        std::unique_ptr<Entry> removed = std::move(before->next);
        before->next = std::move(removed->next);
        return true;
      }
    }
    return false;
  }

  int32_t Count() const {
    int32_t count = 0;
    for (const Entry& head : buckets_)
      for (const Entry* e = head.key ? &head : nullptr; e != nullptr; e = e->next.get()) ++count;
    return count;
  }

  // The keys in bucket order (then chain order); the texts stay owned by the table.
  std::vector<const char*> Keys() const {
    std::vector<const char*> keys;
    for (const Entry& head : buckets_)
      for (const Entry* e = head.key ? &head : nullptr; e != nullptr; e = e->next.get())
        keys.push_back(e->key->c_str());
    return keys;
  }

  // Copies into `target` every key of this table that `target` lacks, with its value.
  void CopyMissingTo(HashTable& target) const {
    for (const Entry& head : buckets_)
      for (const Entry* e = head.key ? &head : nullptr; e != nullptr; e = e->next.get())
        if (!target.ContainsKey(*e->key)) target.Put(*e->key, e->value);
  }

  // Frees every entry and key (iteratively: chains may be long); the table keeps no buckets.
  void Free() {
    for (Entry& head : buckets_) {
      std::unique_ptr<Entry> chain = std::move(head.next);
      while (chain) chain = std::move(chain->next);
    }
    buckets_.clear();
  }

 private:
  std::vector<Entry> buckets_;
};

// The store's named free functions over a table, null-safe for keys.
template <class V>
bool InitHashTable(HashTable<V>& table, int32_t bucketCount) {
  return table.Init(bucketCount);
}
template <class V>
bool HashTablePut(HashTable<V>& table, const char* key, V value) {
  return key != nullptr && table.Put(key, std::move(value));
}
template <class V>
V* HashTableGet(HashTable<V>& table, const char* key) {
  return key ? table.Get(key) : nullptr;
}
template <class V>
typename HashTable<V>::Entry* HashTableGetEntry(HashTable<V>& table, const char* key) {
  return key ? table.GetEntry(key) : nullptr;
}
template <class V>
bool HashTableContainsKey(const HashTable<V>& table, const char* key) {
  return key != nullptr && table.ContainsKey(key);
}
template <class V>
bool HashTableRemove(HashTable<V>& table, const char* key) {
  return key != nullptr && table.Remove(key);
}
template <class V>
int32_t HashTableCount(const HashTable<V>& table) {
  return table.Count();
}
template <class V>
std::vector<const char*> HashTableKeys(const HashTable<V>& table) {
  return table.Keys();
}
template <class V>
void HashTableCopyMissing(const HashTable<V>& source, HashTable<V>& target) {
  source.CopyMissingTo(target);
}
template <class V>
void FreeHashTable(HashTable<V>& table) {
  TraceEntry("FreeHashTable");
  table.Free();
}

}  // namespace tessera
