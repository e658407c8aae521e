// Criteria parsing, binding and evaluation from many threads at once, under the store lock.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "tessera/query/criteria.h"
#include "tessera/table/select_rows.h"
#include "tessera/table/store_lock.h"
#include "tessera/table/table_test_support.h"

namespace tessera {
namespace {

using test::DefineTable;
using test::Int;
using test::Text;

class SelectConcurrencyTest : public test::StoreTest {};

TEST_F(SelectConcurrencyTest, ManyThreadsSelectAndDeleteByCriteria) {
  constexpr int kThreads = 16;
  constexpr int kRounds = 30;
  constexpr int kRows = 300;
  DefineTable("Shared", {{"ID", CRV_SQL_INT}, {"NAME", CRV_SQL_NCHAR}});
  ASSERT_TRUE(CreateTable("Shared"));
  for (int i = 0; i < kRows; ++i) test::AddRow("Shared", {Int(i), Text(i % 3 == 0 ? "three" : "other")});
  for (int t = 0; t < kThreads; ++t) DefineTable("Own" + std::to_string(t), {{"ID", CRV_SQL_INT}, {"V", CRV_SQL_INT}});

  std::atomic<int> failures{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([t, &failures] {
      const std::string own = "Own" + std::to_string(t);
      if (!CreateTable(own.c_str())) failures.fetch_add(1);
      for (int round = 0; round < kRounds; ++round) {
        // Selection by criteria takes the store lock itself.
        const std::string criteria = "ID >= " + std::to_string(round) + " and NAME = 'three' or ID < 0";
        std::unique_ptr<ResultData> result = SelectRows("Shared", criteria.c_str());
        int expected = 0;
        for (int i = round; i < kRows; ++i) expected += (i % 3 == 0);
        if (!result || result->rowCount != expected) failures.fetch_add(1);
        // Parsing, binding and evaluating directly, as other callers do, under the lock.
        {
          StoreLockGuard lock;
          CriteriaPtr root = ParseCriteria("5 < ID and (NAME != 'x' or ID = 1)");
          const CriteriaColumn columns[] = {{"ID", CRV_SQL_INT}, {"NAME", CRV_SQL_NCHAR}};
          BindCriteriaColumns(columns, root.get());
          RowObject row({Value::FromNumber<int32_t>(6 + round), Value::FromText("y")});
          if (!root || !EvaluateCriteria(row, root.get())) failures.fetch_add(1);
        }
        // Each thread changes only its own table.
        auto row = test::MakeRow({Int(round), Int(t)});
        if (!AddNewRow(own.c_str(), row)) failures.fetch_add(1);
        if (round % 10 == 9 && !DeleteRowObjectByCriteria(own.c_str(), "ID < 5")) failures.fetch_add(1);
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(failures.load(), 0);
  for (int t = 0; t < kThreads; ++t) {
    auto rest = SelectRows(("Own" + std::to_string(t)).c_str(), "ID >= 0");
    ASSERT_TRUE(rest);
    EXPECT_EQ(rest->rowCount, kRounds - 5);
  }
}

}  // namespace
}  // namespace tessera
