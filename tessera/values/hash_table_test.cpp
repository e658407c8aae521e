#include "tessera/values/hash_table.h"

#include <gtest/gtest.h>

#include <set>

namespace tessera {
namespace {

TEST(HashTable, TheHashIsTheStoresOwn) {
  EXPECT_EQ(HashBucketIndex("ab", 10), 0);  // (97 mod 10 = 7, (7*26+98) mod 10 = 0)
  EXPECT_EQ(HashBucketIndex("a", 10), 7);
  EXPECT_EQ(HashBucketIndex("", 10), 0);
  EXPECT_EQ(HashBucketIndex("INSTANCE_ID", 50), [] {
    int h = 0;
    for (char c : std::string("INSTANCE_ID")) h = (h * 26 + c) % 50;
    return h;
  }());
  // Bytes above 127 are signed: (-23) mod 10 is -3, brought to 7.
  EXPECT_EQ(HashBucketIndex("\xE9", 10), 7);
  for (int i = 0; i < 256; ++i) {
    std::string key(3, static_cast<char>(i));
    int32_t b = HashBucketIndex(key, 7);
    EXPECT_TRUE(b >= 0 && b < 7);
  }
}

TEST(HashTable, PutGetRemoveAndChains) {
  HashTable<int> table;
  EXPECT_FALSE(table.Put("x", 1)) << "no buckets before Init";
  ASSERT_TRUE(InitHashTable(table, 0));
  EXPECT_EQ(table.bucketCount(), 10);
  EXPECT_TRUE(HashTablePut(table, "ab", 1));
  EXPECT_TRUE(HashTablePut(table, "ab", 2));
  EXPECT_EQ(HashTableCount(table), 1) << "one entry, second value";
  EXPECT_EQ(*HashTableGet(table, "ab"), 2);
  EXPECT_EQ(HashTableGet(table, "AB"), nullptr) << "case-sensitive";
  EXPECT_FALSE(HashTablePut(table, nullptr, 3));

  // Three more two-letter keys of bucket 0 chain behind "ab".
  std::vector<std::string> sameBucket;
  for (char c = 'a'; c <= 'z'; ++c)
    for (char d = 'a'; d <= 'z'; ++d) {
      std::string key{c, d};
      if (key != "ab" && HashBucketIndex(key, 10) == 0 && sameBucket.size() < 3) sameBucket.push_back(key);
    }
  for (size_t i = 0; i < sameBucket.size(); ++i) table.Put(sameBucket[i], static_cast<int>(10 + i));
  EXPECT_EQ(table.Count(), 4);
  std::vector<const char*> keys = HashTableKeys(table);
  ASSERT_EQ(keys.size(), 4u);
  EXPECT_STREQ(keys[0], "ab") << "bucket head first, then its chain in order";
  EXPECT_EQ(keys[1], sameBucket[0]);

  EXPECT_TRUE(HashTableRemove(table, "ab"));  // head with followers
  EXPECT_FALSE(table.ContainsKey("ab"));
  EXPECT_EQ(*table.Get(sameBucket[0]), 10);
  EXPECT_TRUE(table.Remove(sameBucket[2]));  // tail of a chain
  EXPECT_TRUE(table.Remove(sameBucket[0]));
  EXPECT_TRUE(table.Remove(sameBucket[1]));  // single entry: the head is cleared in place
  EXPECT_FALSE(table.Remove(sameBucket[1]));
  EXPECT_EQ(table.Count(), 0);
  EXPECT_TRUE(table.Put(sameBucket[1], 5));
  EXPECT_TRUE(HashTableContainsKey(table, sameBucket[1].c_str()));
  EXPECT_EQ(HashTableGetEntry(table, sameBucket[1].c_str())->value, 5);

  FreeHashTable(table);
  EXPECT_EQ(table.Count(), 0);
  EXPECT_EQ(table.Get(sameBucket[1]), nullptr);
}

TEST(HashTable, CopyMissingAndManyKeys) {
  HashTable<int> source(50), target(50);
  source.Put("a", 1);
  source.Put("b", 2);
  target.Put("b", 20);
  HashTableCopyMissing(source, target);
  EXPECT_EQ(*target.Get("a"), 1);
  EXPECT_EQ(*target.Get("b"), 20) << "keys the target has are kept";

  HashTable<int> big(3);
  for (int i = 0; i < 4000; ++i) big.Put("key" + std::to_string(i), i);
  EXPECT_EQ(big.Count(), 4000);
  EXPECT_EQ(*big.Get("key3999"), 3999);
  std::set<std::string> unique;
  for (const char* k : big.Keys()) unique.insert(k);
  EXPECT_EQ(unique.size(), 4000u);
}

}  // namespace
}  // namespace tessera
