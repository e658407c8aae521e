#include "tessera/table/table_data.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "tessera/table/result_data.h"
#include "tessera/table/select_rows.h"
#include "tessera/table/table_test_support.h"
#include "tests/support/log_capture.h"

namespace tessera {
namespace {

using test::DefineTable;
using test::Int;
using test::Text;

class TableDataTest : public test::StoreTest {
 protected:
  void SetUp() override {
    StoreTest::SetUp();
    DefineTable("Person", {{"ID", CRV_SQL_INT}, {"NAME", CRV_SQL_NCHAR}}, {"ID"});
  }

  // A view over Person's columns named "PersonView".
  static bool CreatePersonView(const char* name = "PersonView") {
    const TableDefn* person = GetTableDefn("Person");
    auto columns = std::make_unique<ViewColumnVector>();
    for (const auto& column : *person->columns) columns->AddData(CreateViewColumnDefn(nullptr, 0, 0, column.get()));
    return CreateCustomViewData(name, CreateCustomViewDefn(1, {"Person"}, std::move(columns)));
  }
};

TEST_F(TableDataTest, CreateTableNeedsADefinitionAndAFreeName) {
  EXPECT_TRUE(CreateTable("PERSON"));  // the dictionary is searched without regard to case
  EXPECT_FALSE(CreateTable("person"));
  EXPECT_FALSE(CreateTable("Unknown"));
  EXPECT_FALSE(CreateTable(nullptr));
  EXPECT_EQ(GetTableDataList().count(), 1);
  TableData* data = GetTableDataByName("Person");
  ASSERT_NE(data, nullptr);
  EXPECT_EQ(data->name, "PERSON");
  EXPECT_EQ(data->kind, TABLE_DATA_KIND_TABLE);
  EXPECT_EQ(data->tableDefn, GetTableDefn("Person"));
  EXPECT_EQ(data->columnCount, 2);
  EXPECT_EQ(data->rowCount, 0);
  EXPECT_EQ(data->firstRow, nullptr);
}

TEST_F(TableDataTest, LookupIsCaseInsensitiveFirstMatch) {
  EXPECT_EQ(GetTableDataByName("Person"), nullptr);  // empty list
  ASSERT_TRUE(CreateTable("Person"));
  EXPECT_NE(GetTableDataByName("pErSoN"), nullptr);
  EXPECT_EQ(GetTableDataByName(nullptr), nullptr);
  EXPECT_EQ(GetTableDataByName("Persons"), nullptr);
}

TEST_F(TableDataTest, ViewsOwnTheirDefinitionAndNameTheirTable) {
  ASSERT_TRUE(CreateTable("Person"));
  ASSERT_TRUE(CreatePersonView());
  EXPECT_FALSE(CreatePersonView("person"));  // a TableData of that name exists
  TableData* view = GetTableDataByName("PersonView");
  ASSERT_NE(view, nullptr);
  EXPECT_EQ(view->kind, TABLE_DATA_KIND_VIEW);
  EXPECT_EQ(view->tableDefn, nullptr);
  EXPECT_EQ(view->columnCount, 2);
  EXPECT_STREQ(view->ColumnNameAt(1), "NAME");
  EXPECT_EQ(view->FindColumn("name"), 1);
  EXPECT_STREQ(GetTableNameOfView("PersonView"), "Person");
  EXPECT_STREQ(GetTableNameOfView("Person"), "Person");
  EXPECT_STREQ(GetTableNameOfView("Other"), "Other");
  EXPECT_FALSE(CreateCustomViewData("Empty", nullptr));
}

TEST_F(TableDataTest, SortTableByNameIsCaseSensitiveByteOrder) {
  auto a = std::make_unique<TableData>();
  auto b = std::make_unique<TableData>();
  a->name = "Zeta";
  b->name = "alpha";
  EXPECT_LT(SortTableByName(a, b), 0);  // 'Z' < 'a'
  EXPECT_GT(SortTableByName(b, a), 0);
  EXPECT_EQ(SortTableByName(a, a), 0);
}

TEST_F(TableDataTest, FreeingLogsAndRemovesRowsWithTheTable) {
  ASSERT_TRUE(CreateTable("Person"));
  for (int i = 0; i < 1000; ++i) test::AddRow("Person", {Int(i), Text("n")});
  hl::test::LogCapture log;
  EXPECT_TRUE(RemoveTableData("person"));
  EXPECT_TRUE(log.Has("[DEBUG]", "\t Person is being freed\n"));
  EXPECT_EQ(GetTableDataByName("Person"), nullptr);
  EXPECT_FALSE(RemoveTableData("Person"));
}

TEST_F(TableDataTest, ResultColumnsComeFromTheDefinition) {
  ASSERT_TRUE(CreateTable("Person"));
  ASSERT_TRUE(CreatePersonView());
  test::AddRow("Person", {Int(1), Text("ann")});
  auto table = SelectRows("Person", nullptr);
  auto view = SelectRows("PersonView", nullptr);
  ASSERT_TRUE(table && view);
  EXPECT_STREQ(GetTableNameFromResultData(table.get()), "Person");
  EXPECT_STREQ(GetTableNameFromResultData(view.get()), "Person");
  EXPECT_EQ(GetTableNameFromResultData(nullptr), nullptr);
  EXPECT_STREQ(GetColumnNameByIndex(0, table.get()), "ID");
  EXPECT_STREQ(GetColumnNameByIndex(1, view.get()), "NAME");
  EXPECT_EQ(GetColumnNameByIndex(2, table.get()), nullptr);
  EXPECT_EQ(GetColumnNameByIndex(-1, table.get()), nullptr);
  EXPECT_EQ(GetColumnTypeByName("name", table.get()), CRV_SQL_NCHAR);
  EXPECT_EQ(GetColumnTypeByName("id", view.get()), CRV_SQL_INT);
  EXPECT_EQ(GetColumnTypeByName("none", table.get()), 0);
}

// Tables and views point at dictionary definitions: freeing the definitions first would leave
// them pointing at freed memory (ASan shows any use).
TEST_F(TableDataTest, ReinitialisingTheDictionaryFreesTheLoadedTablesFirst) {
  for (int round = 0; round < 2; ++round) {
    if (round == 1) DefineTable("Person", {{"ID", CRV_SQL_INT}, {"NAME", CRV_SQL_NCHAR}}, {"ID"});
    ASSERT_TRUE(CreateTable("Person"));
    ASSERT_TRUE(CreatePersonView());
    for (int i = 0; i < 50; ++i) test::AddRow("Person", {Int(i), Text("n")});
    hl::test::LogCapture log;
    if (round == 0) InitDataDictionary();
    else FreeDataDictionary();
    EXPECT_EQ(GetTableDataByName("Person"), nullptr) << "round " << round;
    EXPECT_EQ(GetTableDataByName("PersonView"), nullptr) << "round " << round;
    EXPECT_TRUE(log.Has("[DEBUG]", "\t Person is being freed\n"));
    EXPECT_EQ(GetTableDataList().count(), 0);
    EXPECT_FALSE(CreateTable("Person")) << "no definition any more";
  }
}

TEST_F(TableDataTest, RemovingADefinitionFreesTheTablesAndViewsThatReadIt) {
  DefineTable("Place", {{"ID", CRV_SQL_INT}});
  ASSERT_TRUE(CreateTable("Person"));
  ASSERT_TRUE(CreatePersonView());
  ASSERT_TRUE(CreateTable("Place"));
  test::AddRow("Person", {Int(1), Text("ann")});
  test::AddRow("Place", {Int(2)});
  ASSERT_TRUE(RemoveTableDefn("Person"));
  EXPECT_EQ(GetTableDataByName("Person"), nullptr);
  EXPECT_EQ(GetTableDataByName("PersonView"), nullptr);
  ASSERT_NE(GetTableDataByName("Place"), nullptr);
  auto rows = SelectRows("Place", "ID = 2");
  ASSERT_TRUE(rows);
  EXPECT_EQ(rows->rowCount, 1);
}

TEST_F(TableDataTest, ReinitialisingTheListFreesEachTable) {
  ASSERT_TRUE(CreateTable("Person"));
  ASSERT_TRUE(CreatePersonView());
  test::AddRow("Person", {Int(1), Text("ann")});
  hl::test::LogCapture log;
  InitTableDataList();
  EXPECT_TRUE(log.Has("[DEBUG]", "\t Person is being freed\n"));
  EXPECT_TRUE(log.Has("[DEBUG]", "\t PersonView is being freed\n"));
  EXPECT_EQ(GetTableDataList().count(), 0);
  EXPECT_TRUE(CreateTable("Person"));
}

// The test for an existing table and the append hold the list's lock together. Every round the
// threads meet and then create the same table at once.
TEST_F(TableDataTest, TablesCreatedOnManyThreadsAtOnceGetOneTableDataEach) {
  constexpr int kThreads = 6;
  constexpr int kRounds = 400;
  for (int round = 0; round < kRounds; ++round) DefineTable("T" + std::to_string(round), {{"ID", CRV_SQL_INT}});
  std::atomic<int> created{0};
  std::atomic<int> arrived{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&] {
      for (int round = 0; round < kRounds; ++round) {
        arrived.fetch_add(1);
        while (arrived.load() < kThreads * (round + 1)) std::this_thread::yield();
        const std::string name = "T" + std::to_string(round);
        if (CreateTable(name.c_str())) created.fetch_add(1);
        // Lookups meanwhile read the list (its count included) under its lock.
        EXPECT_NE(GetTableDataByName(name.c_str()), nullptr);
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(created.load(), kRounds);
  EXPECT_EQ(GetTableDataList().count(), kRounds);
  for (int round = 0; round < kRounds; ++round) {
    int named = 0;
    for (const auto& table : GetTableDataList())
      if (table->name == "T" + std::to_string(round)) ++named;
    EXPECT_EQ(named, 1) << "T" << round;
  }
}

}  // namespace
}  // namespace tessera
