#include "tessera/seqgen/sequence_map.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <thread>
#include <vector>

#include "tests/support/log_capture.h"

namespace tessera {
namespace {

ColumnDefn Generated(const char* sequence) {
  ColumnDefn column;
  column.name = "ID";
  column.type = CRV_SQL_INT;
  column.generatorName = sequence;
  return column;
}

class SequenceMapTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(InitSequenceMap());
    SetSequenceRefill(nullptr);
  }
  void TearDown() override {
    SetSequenceRefill(nullptr);
    FreeSequenceMap();
  }
};

// Stands in for the database refill: reserves the next 300 after the last batch end.
int g_batchEnd = 0;
int g_refills = 0;
bool FakeRefill(const char*, const char* sequence) {
  ++g_refills;
  const int end = g_batchEnd;
  g_batchEnd += kSequenceBatchSize;
  return InstallSequenceBatch(sequence, end + 1, end + kSequenceBatchSize);
}

TEST_F(SequenceMapTest, HandsOutTheBatchInOrderAndRefillsWhenExhausted) {
  g_batchEnd = 300;
  g_refills = 0;
  ASSERT_TRUE(InstallSequenceBatch("PERSON_SEQ", 1, 300));
  SetSequenceRefill(FakeRefill);
  const ColumnDefn column = Generated("PERSON_SEQ");
  for (int expected = 1; expected <= 300; ++expected) ASSERT_EQ(GenerateID("Person", &column), expected);
  EXPECT_EQ(g_refills, 0);
  EXPECT_EQ(GenerateID("Person", &column), 301);  // the 301st call refills
  EXPECT_EQ(g_refills, 1);
  EXPECT_EQ(g_batchEnd, 600);
}

TEST_F(SequenceMapTest, NoValueCanBeGivenWithoutABatchOrRefill) {
  hl::test::LogCapture log;
  const ColumnDefn unknown = Generated("NOT_THERE");
  EXPECT_EQ(GenerateID("Person", &unknown), -1);
  EXPECT_TRUE(log.Has("[TRACE]", "Cannot generate ID for key NOT_THERE.\n"));
  ColumnDefn plain;
  EXPECT_EQ(GenerateID("Person", &plain), -1);
  EXPECT_EQ(GenerateID("Person", nullptr), -1);
  // An exhausted batch without a refill gives -1 and stays, so a later call retries.
  ASSERT_TRUE(InstallSequenceBatch("DONE", 5, 4));
  const ColumnDefn done = Generated("DONE");
  EXPECT_EQ(GenerateID("T", &done), -1);
  EXPECT_EQ(GenerateID("T", &done), -1);
  ASSERT_TRUE(InstallSequenceBatch("DONE", 10, 11));
  EXPECT_EQ(GenerateID("T", &done), 10);
  EXPECT_EQ(GenerateInstanceID(), -1);
  ASSERT_TRUE(InstallSequenceBatch(kInstanceSequenceKey, 601, 900));
  EXPECT_EQ(GenerateInstanceID(), 601);
  FreeSequenceMap();
  EXPECT_EQ(GenerateID("T", &done), -1);  // no map at all
  EXPECT_FALSE(InstallSequenceBatch("X", 1, 300));
}

TEST_F(SequenceMapTest, ThreadsNeverShareAValue) {
  ASSERT_TRUE(InstallSequenceBatch("SHARED", 1, 4000));
  const ColumnDefn column = Generated("SHARED");
  std::vector<std::vector<int32_t>> got(4);
  std::vector<std::thread> threads;
  for (auto& mine : got)
    threads.emplace_back([&mine, &column] {
      for (int i = 0; i < 250; ++i) mine.push_back(GenerateID("T", &column));
    });
  for (auto& t : threads) t.join();
  std::set<int32_t> all;
  for (const auto& mine : got) all.insert(mine.begin(), mine.end());
  EXPECT_EQ(all.size(), 1000u);
  EXPECT_EQ(*all.begin(), 1);
  EXPECT_EQ(*all.rbegin(), 1000);
}

}  // namespace
}  // namespace tessera
