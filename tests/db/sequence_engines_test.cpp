// Identifier batches reserved in SeqGenState on every engine: the first start, refills, a
// restart, the failure paths, and uniqueness between threads and between two processes.
#include <atomic>
#include <set>
#include <thread>

#include "persistence_fixture.h"
#include "tessera/seqgen/seq_gen_state.h"
#include "tessera/seqgen/sequence_map.h"

namespace tessera::persisttest {
namespace {

using SequenceTest = PersistenceTest;

const ColumnDefn* PatchId() { return GetColumnDefnEntry("Patch", "PATCH_ID"); }

TEST_P(SequenceTest, FirstStartHandsOutOneTwoThreeRefillsAfterThreeHundredAndRestartsAfterTheLastBatch) {
  Init();
  // One row per generated column, each at 300.
  EXPECT_EQ(Number("select count(*) from SeqGenState"), 5);
  for (const char* sequence : {"AGENTPARAMS_SEQ", "SERVERINFO_SEQ", "PRODUCT_SEQ", "PATCH_SEQ", "DEPLOYMENT_SEQ"})
    EXPECT_EQ(BatchEnd(sequence), 300) << sequence;
  ASSERT_NE(PatchId(), nullptr);
  for (int32_t expected = 1; expected <= 300; ++expected) ASSERT_EQ(GenerateID("Patch", PatchId()), expected);
  EXPECT_EQ(BatchEnd("PATCH_SEQ"), 300);
  EXPECT_EQ(GenerateID("Patch", PatchId()), 301);
  EXPECT_EQ(BatchEnd("PATCH_SEQ"), 600);
  EXPECT_EQ(GenerateID("Patch", PatchId()), 302);
  DeInitTessera();

  // Whatever was used before, a start reserves a fresh batch after the last one.
  Init();
  EXPECT_EQ(BatchEnd("PATCH_SEQ"), 900);
  EXPECT_EQ(GenerateID("Patch", PatchId()), 601);
}

TEST_P(SequenceTest, UnknownGeneratorsAndTheUnreservedInstanceSequenceGiveMinusOne) {
  Init();
  ColumnDefn unknown;
  unknown.name = "ID";
  unknown.type = CRV_SQL_INT;
  unknown.generatorName = "NO_SUCH_SEQ";
  hl::test::LogCapture log;
  EXPECT_EQ(GenerateID("Patch", &unknown), -1);
  EXPECT_TRUE(log.Has("[TRACE]", "Cannot generate ID for key NO_SUCH_SEQ.\n"));
  EXPECT_EQ(GenerateInstanceID(), -1);
  ASSERT_TRUE(UpdateSeqGen(nullptr, kInstanceSequenceKey));
  EXPECT_EQ(GenerateInstanceID(), 1);
  EXPECT_EQ(GenerateInstanceID(), 2);
  EXPECT_EQ(BatchEnd("INSTANCE_ID"), 300);
}

TEST_P(SequenceTest, SequenceNamesWithQuotesAreStoredAsTheyAre) {
  Init();
  const std::string name = "O'Brien\\'); DROP TABLE SeqGenState; --";
  ASSERT_TRUE(UpdateSeqGen("Patch", name.c_str()));
  ASSERT_TRUE(UpdateSeqGen("Patch", name.c_str()));
  ColumnDefn column;
  column.generatorName = name;
  EXPECT_EQ(GenerateID("Patch", &column), 301);
  bool found = false;
  for (const auto& row : Rows("select SEQNAME, CURRENTBATCHEND from SeqGenState"))
    if (row[0] == name) found = row[1] == "600";
  EXPECT_TRUE(found) << "the sequence row keeps its name and reaches 600";
  EXPECT_EQ(Number("select count(*) from SeqGenState"), 6);
}

TEST_P(SequenceTest, AMissingTableGivesNoBatchAndAFailedRefillIsRetriedByTheNextCall) {
  Init();
  ASSERT_TRUE(Run("drop table SeqGenState"));
  FreeSequenceMap();
  ASSERT_TRUE(InitSequenceMap());
  {
    hl::test::LogCapture log;
    EXPECT_FALSE(UpdateSeqGen("Patch", "PATCH_SEQ"));
    EXPECT_TRUE(log.Has("[ERROR]", "Table doesn't Exists for UpdateSeqGen\n"));
    EXPECT_EQ(GenerateID("Patch", PatchId()), -1);
    EXPECT_TRUE(log.Has("[TRACE]", "Cannot generate ID for key PATCH_SEQ.\n"));
  }
  // An exhausted batch whose refill fails stays, and each later call tries again.
  ASSERT_TRUE(InstallSequenceBatch("PATCH_SEQ", 301, 300));
  EXPECT_EQ(GenerateID("Patch", PatchId()), -1);
  EXPECT_EQ(GenerateID("Patch", PatchId()), -1);
  ASSERT_TRUE(CreateTable("SeqGenState", "maindb"));
  EXPECT_EQ(GenerateID("Patch", PatchId()), 1);
  EXPECT_EQ(BatchEnd("PATCH_SEQ"), 300);
}

TEST_P(SequenceTest, EightThreadsGetEightyThousandDistinctValues) {
  Init();
  constexpr int kThreads = 8, kEach = 10000;
  std::vector<std::vector<int32_t>> values(kThreads);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t)
    threads.emplace_back([&, t] {
      values[static_cast<size_t>(t)].reserve(kEach);
      for (int i = 0; i < kEach; ++i) values[static_cast<size_t>(t)].push_back(GenerateID("Patch", PatchId()));
    });
  for (auto& thread : threads) thread.join();
  std::set<int32_t> distinct;
  for (const auto& list : values) distinct.insert(list.begin(), list.end());
  EXPECT_EQ(distinct.size(), static_cast<size_t>(kThreads * kEach));
  EXPECT_EQ(distinct.count(-1), 0u);
  EXPECT_EQ(*distinct.begin(), 1);
  EXPECT_EQ(*distinct.rbegin(), kThreads * kEach);
  EXPECT_EQ(BatchEnd("PATCH_SEQ"), (kThreads * kEach + 299) / 300 * 300);
}

TEST_P(SequenceTest, TwoProcessesSharingTheDatabaseGetDistinctValues) {
  Init();  // creates the tables, so that both workers start on an existing database
  DeInitTessera();
  constexpr int kEach = 3000;
  const std::string root = root_.str();
  const std::string a = root + "/worker_a.txt", b = root + "/worker_b.txt";
  const std::string worker = std::string("'") + HL_SEQUENCE_WORKER + "' '" + root + "' Patch PATCH_ID " +
                             std::to_string(kEach) + " ";
  const std::string both =
      worker + "'" + a + "' & first=$!; " + worker + "'" + b + "' & second=$!; wait $first && wait $second";
  // Each worker's exit status is checked through its output: kEach values without -1.
  ASSERT_EQ(std::system(both.c_str()), 0) << both;
  std::set<long> distinct;
  size_t total = 0;
  for (const std::string& file : {a, b}) {
    std::ifstream in(file);
    size_t lines = 0;
    for (long value; in >> value; ++lines) {
      EXPECT_GT(value, 0);
      distinct.insert(value);
    }
    EXPECT_EQ(lines, static_cast<size_t>(kEach)) << file;
    total += lines;
  }
  EXPECT_EQ(distinct.size(), total) << "two processes handed out the same value";
}

INSTANTIATE_TEST_SUITE_P(Engines, SequenceTest, ::testing::ValuesIn(kEngines), EngineName);

}  // namespace
}  // namespace tessera::persisttest
