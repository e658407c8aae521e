#include "tessera/table/select_rows.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "tessera/table/table_test_support.h"
#include "tests/support/log_capture.h"

namespace tessera {
namespace {

using test::AddRow;
using test::DefineTable;
using test::Int;
using test::Text;

std::vector<RowObject*> Walk(ResultData* result) {
  std::vector<RowObject*> rows;
  ResetResultDataCursor(result);
  while (RowObject* row = GotoNextRowObject(result)) rows.push_back(row);
  return rows;
}

std::vector<int32_t> Column(ResultData* result, int index) {
  std::vector<int32_t> values;
  for (RowObject* row : Walk(result)) values.push_back(static_cast<int32_t>(row->values[static_cast<size_t>(index)].ReadSigned(4)));
  return values;
}

class SelectRowsTest : public test::StoreTest {
 protected:
  void SetUp() override {
    StoreTest::SetUp();
    DefineTable("Agentparams", {{"PARAM_NAME", CRV_SQL_NCHAR}, {"param_Value", CRV_SQL_NCHAR}, {"RANK", CRV_SQL_INT}});
    ASSERT_TRUE(CreateTable("Agentparams"));
  }
};

TEST_F(SelectRowsTest, NullCriteriaSelectsEveryRowInListOrder) {
  RowObject* a = AddRow("Agentparams", {Text("A"), Text("1"), Int(1)});
  RowObject* b = AddRow("Agentparams", {Text("B"), Text("2"), Int(2)}, ROW_STATE_PERSISTED);
  DeleteRowObject("Agentparams", b);  // flagged 9, still selected
  auto result = SelectRows("agentparams", nullptr);
  ASSERT_TRUE(result);
  EXPECT_EQ(result->rowCount, 2);
  EXPECT_EQ(result->columnCount, 3);
  EXPECT_EQ(result->kind, TABLE_DATA_KIND_TABLE);
  EXPECT_EQ(result->cursor, nullptr);
  EXPECT_EQ(Walk(result.get()), (std::vector<RowObject*>{a, b}));
}

TEST_F(SelectRowsTest, CriteriaSelectTheMatchingRows) {
  AddRow("Agentparams", {Text("SERVER"), Text("s1"), Int(1)});
  RowObject* id = AddRow("Agentparams", {Text("RESOURCE_ID"), Text("42"), Int(2)});
  auto result = SelectRows("Agentparams", "PARAM_NAME='RESOURCE_ID'");
  ASSERT_TRUE(result);
  ASSERT_EQ(Walk(result.get()), std::vector<RowObject*>{id});
  ResetResultDataCursor(result.get());
  ASSERT_EQ(GotoNextRowObject(result.get()), id);
  int32_t length = -1;
  const Value* value = GetColumnValueByName("PARAM_VALUE", &length, result.get());
  ASSERT_NE(value, nullptr);
  EXPECT_EQ(value->bytes(), "42");
  EXPECT_EQ(length, 2);
  EXPECT_EQ(GetColumnValueByName("NOPE", &length, result.get()), nullptr);
  EXPECT_EQ(GotoNextRowObject(result.get()), nullptr);
  EXPECT_EQ(GetColumnValueByName("PARAM_VALUE", &length, result.get()), nullptr);  // no current row
  auto none = SelectRows("Agentparams", "RANK > 5");
  ASSERT_TRUE(none);
  EXPECT_EQ(none->rowCount, 0);
  EXPECT_EQ(GotoNextRowObject(none.get()), nullptr);
}

TEST_F(SelectRowsTest, AfterTheLastRowTheCursorIsBackAtItsStart) {
  RowObject* a = AddRow("Agentparams", {Text("A"), Text("1"), Int(1)});
  RowObject* b = AddRow("Agentparams", {Text("B"), Text("2"), Int(2)});
  auto result = SelectRows("Agentparams", nullptr);
  ASSERT_TRUE(result);
  for (int round = 0; round < 3; ++round) {
    EXPECT_EQ(GotoNextRowObject(result.get()), a) << "round " << round;
    EXPECT_EQ(GotoNextRowObject(result.get()), b) << "round " << round;
    EXPECT_EQ(GotoNextRowObject(result.get()), nullptr) << "round " << round;
    EXPECT_EQ(result->cursor, nullptr) << "the end leaves the reset position";
  }
  // A walk that stops half way goes on from where it stopped; a reset starts it over.
  EXPECT_EQ(GotoNextRowObject(result.get()), a);
  ResetResultDataCursor(result.get());
  EXPECT_EQ(GotoNextRowObject(result.get()), a);
  auto empty = SelectRows("Agentparams", "RANK > 5");
  ASSERT_TRUE(empty);
  EXPECT_EQ(GotoNextRowObject(empty.get()), nullptr);
  EXPECT_EQ(GotoNextRowObject(empty.get()), nullptr);
}

TEST_F(SelectRowsTest, RefusedSelections) {
  EXPECT_FALSE(SelectRows("Nowhere", nullptr));
  EXPECT_FALSE(SelectRows("Agentparams", "PARAM_NAME = 'a' AND RANK = 1"));
  const TableDefn* defn = GetTableDefn("Agentparams");
  auto columns = std::make_unique<ViewColumnVector>();
  for (const auto& column : *defn->columns) columns->AddData(CreateViewColumnDefn(nullptr, 0, 0, column.get()));
  ASSERT_TRUE(CreateCustomViewData("ParamView", CreateCustomViewDefn(1, {"Agentparams"}, std::move(columns))));
  auto row = test::MakeRow({Text("A"), Text("1"), Int(1)});
  ASSERT_TRUE(AddNewRow("ParamView", row));
  EXPECT_FALSE(SelectRows("ParamView", "RANK = 1"));  // views only without criteria
  auto all = SelectRows("ParamView", nullptr);
  ASSERT_TRUE(all);
  EXPECT_EQ(all->kind, TABLE_DATA_KIND_VIEW);
  EXPECT_EQ(all->rowCount, 1);
}

TEST_F(SelectRowsTest, RowByIndexIsOneBasedAndNeverWalksOffTheList) {
  auto empty = SelectRowByRowIdx("Agentparams", 0);  // no rows: an empty result
  ASSERT_TRUE(empty);
  EXPECT_EQ(empty->rowCount, 0);
  EXPECT_FALSE(SelectRowByRowIdx("Agentparams", 1));  // 1 exceeds the row count 0
  RowObject* first = AddRow("Agentparams", {Text("A"), Text("1"), Int(1)});
  RowObject* second = AddRow("Agentparams", {Text("B"), Text("2"), Int(2)});
  EXPECT_EQ(Walk(SelectRowByRowIdx("Agentparams", 0).get()), std::vector<RowObject*>{first});
  EXPECT_EQ(Walk(SelectRowByRowIdx("Agentparams", 1).get()), std::vector<RowObject*>{first});
  EXPECT_EQ(Walk(SelectRowByRowIdx("Agentparams", 2).get()), std::vector<RowObject*>{second});
  EXPECT_FALSE(SelectRowByRowIdx("Agentparams", 3));
  EXPECT_FALSE(SelectRowByRowIdx("Nowhere", 1));
  // The row count stays at 3 after deletions; positions past the rows left give null.
  AddRow("Agentparams", {Text("C"), Text("3"), Int(3)});
  DeleteRowObject("Agentparams", first);
  DeleteRowObject("Agentparams", second);
  EXPECT_EQ(GetTableDataByName("Agentparams")->rowCount, 3);
  EXPECT_TRUE(SelectRowByRowIdx("Agentparams", 1));
  EXPECT_FALSE(SelectRowByRowIdx("Agentparams", 2));
  EXPECT_FALSE(SelectRowByRowIdx("Agentparams", 3));
}

TEST_F(SelectRowsTest, GetColumnValuePointsIntoTheStoredRow) {
  RowObject* row = AddRow("Agentparams", {Text("RESOURCE_ID"), Text("abc"), Int(1)});
  AddRow("Agentparams", {Text("EMPTY"), Value(), Int(2)});
  hl::test::LogCapture log;
  int32_t length = 0;
  const Value* value = GetColumnValue("Agentparams", "param_Value", "PARAM_NAME = 'RESOURCE_ID'", &length);
  EXPECT_EQ(value, &row->values[1]);
  EXPECT_EQ(length, 3);
  EXPECT_EQ(GetColumnValue("Agentparams", "param_Value", "PARAM_NAME = 'none'", &length), nullptr);
  EXPECT_TRUE(log.Has("[TRACE]", "No such row available in the Agentparams for PARAM_NAME = 'none'"));
  EXPECT_EQ(GetColumnValue("Agentparams", "param_Value", "PARAM_NAME = 'EMPTY'", &length), nullptr);
  EXPECT_TRUE(log.Has("[ERROR]", "columnValue is NULL for :param_Value\n"));
  EXPECT_EQ(GetColumnValue("Nowhere", "param_Value", "RANK = 1", &length), nullptr);
  EXPECT_TRUE(log.Has("[ERROR]", "Error in executing SelectRows(Nowhere,RANK = 1)\n"));
}

TEST_F(SelectRowsTest, SortOneRowAndSmallCases) {
  AddRow("Agentparams", {Text("A"), Text("1"), Int(3)});
  auto one = SelectRows("Agentparams", nullptr);
  hl::test::LogCapture log;
  EXPECT_TRUE(SortResultSet(one.get(), "RANK", 1));
  EXPECT_TRUE(log.Has("[DEBUG]", "Number of Rows is 1 for the Relvar to be Sorted \n"));
  one->rowCount = 2;  // a single cell while the count says otherwise
  EXPECT_FALSE(SortResultSet(one.get(), "RANK", 1));
  EXPECT_FALSE(SortResultSet(nullptr, "RANK", 1));
  EXPECT_FALSE(SortResultSet(one.get(), nullptr, 1));
  EXPECT_FALSE(SortResultSet(one.get(), "NOPE", 1));
  AddRow("Agentparams", {Text("B"), Text("2"), Int(1)});
  AddRow("Agentparams", {Text("C"), Text("3"), Int(2)});
  auto three = SelectRows("Agentparams", nullptr);
  ASSERT_TRUE(SortResultSet(three.get(), "rank", 1));
  EXPECT_EQ(Column(three.get(), 2), (std::vector<int32_t>{1, 2, 3}));
  ASSERT_TRUE(SortResultSet(three.get(), "RANK", 0));
  EXPECT_EQ(Column(three.get(), 2), (std::vector<int32_t>{3, 2, 1}));
  ASSERT_TRUE(SortResultSet(three.get(), "RANK", 7));  // any flag but 1 sorts descending
  EXPECT_EQ(Column(three.get(), 2), (std::vector<int32_t>{3, 2, 1}));
  auto none = SelectRows("Agentparams", "RANK > 10");
  EXPECT_TRUE(SortResultSet(none.get(), "RANK", 1));
}

TEST_F(SelectRowsTest, SortPutsNullsFirstAscending) {
  RowObject* nullRank = AddRow("Agentparams", {Text("A"), Text("1"), Value()});
  AddRow("Agentparams", {Text("B"), Text("2"), Int(-5)});
  auto result = SelectRows("Agentparams", nullptr);
  ASSERT_TRUE(SortResultSet(result.get(), "RANK", 1));
  EXPECT_EQ(Walk(result.get()).front(), nullRank);
  ASSERT_TRUE(SortResultSet(result.get(), "RANK", 0));
  EXPECT_EQ(Walk(result.get()).back(), nullRank);
}

// The stable bubble sort the store has always used: for j from the count down to 0, compare
// each cell with the next over the first j - 1 pairs and swap when out of order.
void ReferenceBubbleSort(std::vector<std::pair<int32_t, int>>& cells, bool ascending) {
  const int n = static_cast<int>(cells.size());
  for (int j = n; j >= 0; --j) {
    for (int i = 0; i < j - 1; ++i) {
      const bool outOfOrder = ascending ? cells[i].first > cells[i + 1].first : cells[i].first < cells[i + 1].first;
      if (outOfOrder) std::swap(cells[i], cells[i + 1]);
    }
  }
}

TEST_F(SelectRowsTest, SortMatchesTheStableBubbleSortOnRandomInputsWithTies) {
  std::mt19937 random(4711);
  for (int round = 0; round < 40; ++round) {
    StoreTest::Reset();
    DefineTable("T", {{"K", CRV_SQL_INT}, {"SEQ", CRV_SQL_INT}});
    ASSERT_TRUE(CreateTable("T"));
    const int n = 2 + static_cast<int>(random() % 200);
    std::vector<std::pair<int32_t, int>> expected;
    for (int i = 0; i < n; ++i) {
      const int32_t key = static_cast<int32_t>(random() % 7) - 3;  // many ties, negatives too
      expected.emplace_back(key, i);
      AddRow("T", {Int(key), Int(i)});
    }
    const bool ascending = round % 2 == 0;
    ReferenceBubbleSort(expected, ascending);
    auto result = SelectRows("T", nullptr);
    ASSERT_TRUE(SortResultSet(result.get(), "K", ascending ? 1 : 0));
    std::vector<int32_t> order = Column(result.get(), 1);
    ASSERT_EQ(order.size(), expected.size());
    for (size_t i = 0; i < order.size(); ++i) ASSERT_EQ(order[i], expected[i].second) << "round " << round << " at " << i;
  }
}

}  // namespace
}  // namespace tessera
