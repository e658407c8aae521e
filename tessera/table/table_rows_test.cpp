#include "tessera/table/table_rows.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tessera/notify/notification.h"
#include "tessera/seqgen/sequence_map.h"
#include "tessera/table/select_rows.h"
#include "tessera/table/table_test_support.h"
#include "tests/support/log_capture.h"

namespace tessera {
namespace {

using test::AddRow;
using test::DefineTable;
using test::Int;
using test::MakeRow;
using test::RowsOf;
using test::Text;

int32_t IntAt(const RowObject* row, int index) { return static_cast<int32_t>(row->values[static_cast<size_t>(index)].ReadSigned(4)); }
std::string TextAt(const RowObject* row, int index) { return std::string(row->values[static_cast<size_t>(index)].bytes()); }

class TableRowsTest : public test::StoreTest {
 protected:
  void SetUp() override {
    StoreTest::SetUp();
    DefineTable("Person",
                {{"ID", CRV_SQL_INT, std::nullopt, "PERSON_SEQ"},
                 {"NAME", CRV_SQL_NCHAR, "nobody"},
                 {"AGE", CRV_SQL_INT}},
                {"ID"});
    ASSERT_TRUE(CreateTable("Person"));
  }
};

TEST_F(TableRowsTest, AddNewRowFillsGeneratorsAndDefaultsOnlyWhereValuesAreMissing) {
  ASSERT_TRUE(InitSequenceMap());
  ASSERT_TRUE(InstallSequenceBatch("PERSON_SEQ", 1, 300));
  RowObject* generated = AddRow("Person", {Value(), Value(), Int(30)});
  RowObject* given = AddRow("Person", {Int(77), Text("ann"), Value()});
  RowObject* second = AddRow("Person", {Value(), Value(), Value()});
  ASSERT_TRUE(generated && given && second);
  EXPECT_EQ(IntAt(generated, 0), 1);
  EXPECT_EQ(generated->values[0].length(), 4);
  EXPECT_EQ(TextAt(generated, 1), "nobody");
  EXPECT_EQ(IntAt(generated, 2), 30);
  EXPECT_EQ(IntAt(given, 0), 77);  // the caller's values stay untouched
  EXPECT_EQ(TextAt(given, 1), "ann");
  EXPECT_TRUE(given->values[2].IsNull());  // no default: stays NULL
  EXPECT_EQ(IntAt(second, 0), 2);
  EXPECT_EQ(RowsOf("Person"), (std::vector<RowObject*>{generated, given, second}));
  EXPECT_EQ(GetTableDataByName("Person")->rowCount, 3);
  EXPECT_EQ(generated->state, ROW_STATE_NEW);
}

TEST_F(TableRowsTest, AddNewRowStoresMinusOneWithoutASequence) {
  RowObject* row = AddRow("Person", {Value(), Text("x"), Int(1)});
  ASSERT_NE(row, nullptr);
  EXPECT_EQ(IntAt(row, 0), -1);
}

TEST_F(TableRowsTest, AddNewRowCompletesShortRowsAndRefusesUnknownTables) {
  RowObject* row = AddRow("Person", {Int(5)});
  ASSERT_NE(row, nullptr);
  ASSERT_EQ(row->columnCount(), 3);
  EXPECT_EQ(TextAt(row, 1), "nobody");
  auto orphan = MakeRow({Int(1), Text("a"), Int(2)});
  EXPECT_FALSE(AddNewRow("Nowhere", orphan));
  EXPECT_TRUE(orphan);  // the caller keeps a refused row
  std::unique_ptr<RowObject> none;
  EXPECT_FALSE(AddNewRow("Person", none));
}

TEST_F(TableRowsTest, UpdateChangesOneColumnAndMarksTheRowModified) {
  RowObject* row = AddRow("Person", {Int(1), Text("ann"), Int(30)});
  ASSERT_NE(row, nullptr);
  EXPECT_TRUE(UpdateRowObject("Person", row, "name", "bob", 3));
  EXPECT_EQ(TextAt(row, 1), "bob");
  EXPECT_EQ(row->values[1].length(), 3);
  EXPECT_EQ(row->state, ROW_STATE_NEW | ROW_STATE_MODIFIED);
  row->state = ROW_STATE_PERSISTED;
  EXPECT_TRUE(UpdateRowObject("Person", row, "AGE", Int(31)));
  EXPECT_EQ(row->state, 5);
  EXPECT_EQ(IntAt(row, 2), 31);
  EXPECT_TRUE(UpdateRowObject("Person", row, "AGE", nullptr, 0));
  EXPECT_TRUE(row->values[2].IsNull());
  EXPECT_FALSE(UpdateRowObject("Person", row, "NOPE", Int(1)));
  EXPECT_FALSE(UpdateRowObject("Nowhere", row, "AGE", Int(1)));
}

TEST_F(TableRowsTest, UpdateRefusesPrimaryKeyAndNullRow) {
  RowObject* row = AddRow("Person", {Int(1), Text("ann"), Int(30)});
  hl::test::LogCapture log;
  EXPECT_FALSE(UpdateRowObject("Person", row, "id", Int(2)));
  EXPECT_TRUE(log.Has("[ERROR]", "@@@ UpdateRowObject Failed as PrimaryKey is being updated @@@\n"));
  EXPECT_EQ(IntAt(row, 0), 1);
  EXPECT_EQ(row->state, ROW_STATE_NEW);
  EXPECT_FALSE(UpdateRowObject("Person", nullptr, "AGE", Int(2)));
  EXPECT_TRUE(log.Has("[ERROR]", "\t@@@@@ rowPtr passed as parameter in NULL @@@@@ \n"));
}

TEST_F(TableRowsTest, DeletingPersistedRowsFlagsThemAndNewRowsGo) {
  RowObject* persisted = AddRow("Person", {Int(1), Text("a"), Int(1)}, ROW_STATE_PERSISTED);
  RowObject* fresh = AddRow("Person", {Int(2), Text("b"), Int(2)});
  RowObject* last = AddRow("Person", {Int(3), Text("c"), Int(3)});
  EXPECT_TRUE(DeleteRowObject("Person", persisted));
  EXPECT_EQ(persisted->state, 9);
  EXPECT_TRUE(DeleteRowObject("Person", fresh));
  EXPECT_TRUE(DeleteRowObject("Person", last));  // the tail goes: appending still works
  EXPECT_EQ(RowsOf("Person"), std::vector<RowObject*>{persisted});
  EXPECT_EQ(GetTableDataByName("Person")->rowCount, 3);  // not decremented
  RowObject* again = AddRow("Person", {Int(4), Text("d"), Int(4)});
  EXPECT_EQ(RowsOf("Person"), (std::vector<RowObject*>{persisted, again}));
  RowObject stranger;
  EXPECT_FALSE(DeleteRowObject("Person", &stranger));
  EXPECT_FALSE(DeleteRowObject("Nowhere", again));
  EXPECT_FALSE(DeleteRowObject("Person", nullptr));
}

TEST_F(TableRowsTest, DeleteByCriteriaAppliesTheDeletionRuleToMatchingRows) {
  RowObject* keep = AddRow("Person", {Int(1), Text("a"), Int(10)});
  AddRow("Person", {Int(2), Text("b"), Int(20)});
  RowObject* flagged = AddRow("Person", {Int(3), Text("c"), Int(30)}, ROW_STATE_PERSISTED);
  AddRow("Person", {Int(4), Text("d"), Int(40)});
  EXPECT_TRUE(DeleteRowObjectByCriteria("Person", "AGE >= 20"));
  EXPECT_EQ(RowsOf("Person"), (std::vector<RowObject*>{keep, flagged}));
  EXPECT_EQ(flagged->state, 9);
  RowObject* tail = AddRow("Person", {Int(5), Text("e"), Int(50)});
  EXPECT_EQ(RowsOf("Person").back(), tail);
  EXPECT_TRUE(DeleteRowObjectByCriteria("Person", "AGE = 99"));  // nothing matches
  EXPECT_FALSE(DeleteRowObjectByCriteria("Person", nullptr));
  EXPECT_FALSE(DeleteRowObjectByCriteria("Person", "AGE = = 1"));
  EXPECT_FALSE(DeleteRowObjectByCriteria("Nowhere", "AGE = 1"));
  EXPECT_EQ(RowsOf("Person").size(), 3u);
}

TEST_F(TableRowsTest, DeleteByCriteriaOverALongListKeepsTheOthersInOrder) {
  std::vector<RowObject*> kept;
  for (int i = 0; i < 2000; ++i) {
    RowObject* row = AddRow("Person", {Int(i), Text("n"), Int(i % 3)}, i % 7 == 0 ? ROW_STATE_PERSISTED : ROW_STATE_NEW);
    if (i % 3 != 0 || i % 7 == 0) kept.push_back(row);
  }
  EXPECT_TRUE(DeleteRowObjectByCriteria("Person", "AGE = 0"));
  EXPECT_EQ(RowsOf("Person"), kept);
  auto selected = SelectRows("Person", "AGE = 0");
  ASSERT_TRUE(selected);
  EXPECT_EQ(selected->rowCount, 96);  // the persisted ones, flagged 9 and still listed
  EXPECT_EQ(RowsOf("Person").back(), kept.back());
  EXPECT_EQ(GetTableDataByName("Person")->lastRow, kept.back());
}

TEST_F(TableRowsTest, DeleteAllRemovesNewRowsAndFlagsPersistedOnes) {
  AddRow("Person", {Int(1), Text("a"), Int(1)});
  RowObject* persisted = AddRow("Person", {Int(2), Text("b"), Int(2)}, ROW_STATE_PERSISTED | ROW_STATE_MODIFIED);
  AddRow("Person", {Int(3), Text("c"), Int(3)});
  EXPECT_TRUE(DeleteAllTableRowObjects("person"));
  EXPECT_EQ(RowsOf("Person"), std::vector<RowObject*>{persisted});
  EXPECT_EQ(persisted->state, 13);
  hl::test::LogCapture log;
  EXPECT_FALSE(DeleteAllTableRowObjects(nullptr));
  EXPECT_TRUE(log.Has("[ERROR]", "\t tableName NULL \n"));
  EXPECT_FALSE(DeleteAllTableRowObjects("Nowhere"));
  EXPECT_TRUE(log.Has("[ERROR]", "\t GetTableDataByName returned NULL \n"));
}

TEST_F(TableRowsTest, EveryChangeInMemoryIsNotified) {
  std::vector<std::pair<BYTE, int32_t>> seen;  // state and AGE of each notified row
  ASSERT_TRUE(AddNotificationListener(
      "all", 0,
      [&seen](const IMDSNotification& n, const char*) {
        EXPECT_EQ(n.tableName, "Person");
        seen.emplace_back(n.row->state, static_cast<int32_t>(n.row->values[2].ReadSigned(4)));
      },
      1, {"Person"}));
  RowObject* row = AddRow("Person", {Int(1), Text("a"), Int(7)});
  UpdateRowObject("Person", row, "AGE", Int(8));
  DeleteRowObject("Person", row);
  EXPECT_EQ(seen, (std::vector<std::pair<BYTE, int32_t>>{{2, 7}, {6, 8}, {6, 8}}));
}

}  // namespace
}  // namespace tessera
