// Rows in memory under change: deletions during and between scans, texts that grow out of their
// value, tables removed while rows and selections exist, and listeners that select and delete
// while a deletion by criteria is under way. Run under ASan these show any access to a freed row.
#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "tessera/notify/notification.h"
#include "tessera/table/row_directory.h"
#include "tessera/table/select_rows.h"
#include "tessera/table/table_test_support.h"

namespace tessera {
namespace {

using test::AddRow;
using test::DefineTable;
using test::Int;
using test::RowsOf;
using test::Text;

int32_t IdOf(const RowObject* row) { return static_cast<int32_t>(row->values[0].ReadSigned(4)); }

std::vector<int32_t> IdsOf(const char* table) {
  std::vector<int32_t> ids;
  for (const RowObject* row : RowsOf(table)) ids.push_back(IdOf(row));
  return ids;
}

std::vector<int32_t> SelectedIds(const char* table, const char* criteria) {
  std::vector<int32_t> ids;
  auto result = SelectRows(table, criteria);
  if (!result) return {-1};
  while (RowObject* row = GotoNextRowObject(result.get())) ids.push_back(IdOf(row));
  return ids;
}

class RowStoreTest : public test::StoreTest {
 protected:
  void SetUp() override {
    StoreTest::SetUp();
    DefineTable("Item", {{"ID", CRV_SQL_INT}, {"NAME", CRV_SQL_CHAR}, {"GROUP_NO", CRV_SQL_INT}}, {"ID"});
    ASSERT_TRUE(CreateTable("Item"));
  }
  static void AddItems(int from, int to, BYTE state = ROW_STATE_NEW) {
    for (int i = from; i < to; ++i) AddRow("Item", {Int(i), Text("item" + std::to_string(i)), Int(i % 4)}, state);
  }
};

TEST_F(RowStoreTest, DeletionsBetweenScansKeepTheOrderThroughEveryPattern) {
  constexpr int kRows = 3000;
  AddItems(0, kRows);
  std::vector<int32_t> expected;
  for (int i = 0; i < kRows; ++i) expected.push_back(i);
  auto keepIf = [&expected](auto keep) {
    std::vector<int32_t> kept;
    for (int32_t id : expected)
      if (keep(id)) kept.push_back(id);
    expected = kept;
  };
  // One at a time from the front: every predecessor search crosses the gaps left before it.
  std::vector<RowObject*> rows = RowsOf("Item");
  for (int i = 0; i < 1000; ++i) ASSERT_TRUE(DeleteRowObject("Item", rows[static_cast<size_t>(i)]));
  keepIf([](int32_t id) { return id >= 1000; });
  ASSERT_EQ(IdsOf("Item"), expected);
  EXPECT_EQ(SelectedIds("Item", "GROUP_NO = 1"), [&] {
    std::vector<int32_t> ids;
    for (int32_t id : expected)
      if (id % 4 == 1) ids.push_back(id);
    return ids;
  }());
  // From the back, then every third row, then a block in the middle by criteria.
  rows = RowsOf("Item");
  for (size_t i = rows.size(); i-- > rows.size() - 500;) ASSERT_TRUE(DeleteRowObject("Item", rows[i]));
  keepIf([](int32_t id) { return id < kRows - 500; });
  ASSERT_EQ(IdsOf("Item"), expected);
  rows = RowsOf("Item");
  for (size_t i = 0; i < rows.size(); i += 3) ASSERT_TRUE(DeleteRowObject("Item", rows[i]));
  {
    std::vector<int32_t> kept;
    for (size_t i = 0; i < expected.size(); ++i)
      if (i % 3 != 0) kept.push_back(expected[i]);
    expected = kept;
  }
  ASSERT_EQ(IdsOf("Item"), expected);
  ASSERT_TRUE(DeleteRowObjectByCriteria("Item", "ID >= 1500 and ID < 2000"));
  keepIf([](int32_t id) { return id < 1500 || id >= 2000; });
  ASSERT_EQ(IdsOf("Item"), expected);
  EXPECT_EQ(SelectedIds("Item", nullptr), expected);
  // Rows added now go after the survivors, and the tail is right for appending.
  AddItems(kRows, kRows + 10);
  for (int i = kRows; i < kRows + 10; ++i) expected.push_back(i);
  EXPECT_EQ(SelectedIds("Item", nullptr), expected);
  EXPECT_EQ(GetTableDataByName("Item")->lastRow, RowsOf("Item").back());
  // A row that is not the table's (already deleted from it, or another table's) is refused.
  DefineTable("Other", {{"ID", CRV_SQL_INT}});
  ASSERT_TRUE(CreateTable("Other"));
  RowObject* foreign = AddRow("Other", {Int(7)});
  EXPECT_FALSE(DeleteRowObject("Item", foreign));
  EXPECT_EQ(IdsOf("Other"), std::vector<int32_t>{7});
}

TEST_F(RowStoreTest, DeletingEveryMatchingRowDuringTheScan) {
  AddItems(0, 400);
  AddItems(400, 500, ROW_STATE_PERSISTED);
  // Consecutive matches, so each unlinking happens right after the previous one.
  ASSERT_TRUE(DeleteRowObjectByCriteria("Item", "ID < 300 and GROUP_NO != 3"));
  std::vector<int32_t> expected;
  for (int i = 0; i < 500; ++i)
    if (!(i < 300 && i % 4 != 3)) expected.push_back(i);
  EXPECT_EQ(IdsOf("Item"), expected);
  // Persisted rows stay, flagged, and are still selected.
  ASSERT_TRUE(DeleteRowObjectByCriteria("Item", "ID >= 450"));
  EXPECT_EQ(SelectedIds("Item", "ID >= 450").size(), 50u);
  for (const RowObject* row : RowsOf("Item")) {
    if (IdOf(row) >= 450) {
      EXPECT_EQ(row->state, ROW_STATE_PERSISTED | ROW_STATE_DELETED);
    }
  }
  ASSERT_TRUE(DeleteAllTableRowObjects("Item"));
  EXPECT_EQ(RowsOf("Item").size(), 100u) << "only the persisted rows remain";
}

TEST_F(RowStoreTest, ResultsStayWalkableWhileOtherRowsAreDeleted) {
  AddItems(0, 200);
  auto evens = SelectRows("Item", "GROUP_NO = 0 or GROUP_NO = 2");
  ASSERT_TRUE(evens);
  ASSERT_TRUE(DeleteRowObjectByCriteria("Item", "GROUP_NO = 1 or GROUP_NO = 3"));
  int walked = 0;
  while (RowObject* row = GotoNextRowObject(evens.get())) {
    EXPECT_EQ(IdOf(row) % 2, 0);
    ++walked;
  }
  EXPECT_EQ(walked, 100);
  // Deleting each row just walked: the walk goes on through the cells, not the rows.
  walked = 0;
  while (RowObject* row = GotoNextRowObject(evens.get())) {
    ASSERT_TRUE(DeleteRowObject("Item", row));
    ++walked;
  }
  EXPECT_EQ(walked, 100);
  EXPECT_TRUE(RowsOf("Item").empty());
  EXPECT_EQ(GetTableDataByName("Item")->lastRow, nullptr);
  AddItems(500, 503);
  EXPECT_EQ(SelectedIds("Item", nullptr), (std::vector<int32_t>{500, 501, 502}));
}

TEST_F(RowStoreTest, TextsGrowingOutOfTheirValueAndBack) {
  RowObject* row = AddRow("Item", {Int(1), Text("a"), Int(0)});
  ASSERT_NE(row, nullptr);
  const std::string longer(300, 'x');
  const std::string lengths[] = {"ab", std::string(Value::kInlineBytes, 'i'), std::string(Value::kInlineBytes + 1, 'h'), longer,
                                 "b", "", longer + "y"};
  for (const std::string& text : lengths) {
    ASSERT_TRUE(UpdateRowObject("Item", row, "NAME", Text(text)));
    int32_t length = -1;
    const Value* value = GetColumnValue("Item", "NAME", "ID = 1", &length);
    ASSERT_NE(value, nullptr);
    EXPECT_EQ(value->bytes(), text);
    EXPECT_EQ(length, static_cast<int32_t>(text.size()));
    EXPECT_EQ(value->c_str()[text.size()], '\0');
    const std::string criteria = "NAME = '" + text + "'";
    EXPECT_EQ(SelectedIds("Item", criteria.c_str()), std::vector<int32_t>{1}) << text.size();
  }
  EXPECT_EQ(row->state, ROW_STATE_NEW | ROW_STATE_MODIFIED);
  // A long value handed by length from a caller's buffer is copied.
  std::string buffer = longer;
  ASSERT_TRUE(UpdateRowObject("Item", row, "NAME", buffer.data(), static_cast<int32_t>(buffer.size())));
  buffer.assign(buffer.size(), 'z');
  EXPECT_EQ(RowsOf("Item")[0]->values[1].bytes(), longer);
}

TEST_F(RowStoreTest, RemovedTablesLeaveNothingBehind) {
  AddItems(0, 300);
  auto all = SelectRows("Item", nullptr);
  ASSERT_TRUE(all);
  EXPECT_EQ(all->rowCount, 300);
  all.reset();
  ASSERT_TRUE(RemoveTableData("Item"));
  EXPECT_EQ(GetTableDataByName("Item"), nullptr);
  EXPECT_FALSE(SelectRows("Item", nullptr));
  EXPECT_FALSE(DeleteRowObjectByCriteria("Item", "ID = 1"));
  EXPECT_FALSE(RemoveTableData("Item"));
  // A table of the same name starts empty, and its rows are its own.
  ASSERT_TRUE(CreateTable("Item"));
  EXPECT_EQ(GetTableDataByName("Item")->directory.slotCount(), 0u);
  EXPECT_TRUE(SelectedIds("Item", nullptr).empty());
  AddItems(1000, 1003);
  EXPECT_EQ(SelectedIds("Item", "ID > 0"), (std::vector<int32_t>{1000, 1001, 1002}));
  ASSERT_TRUE(RemoveRowObject("Item", RowsOf("Item")[1]));
  EXPECT_EQ(IdsOf("Item"), (std::vector<int32_t>{1000, 1002}));
}

// Runs `work` on a thread and waits at most a few seconds: a listener that deadlocks against the
// store lock shows as a failure, not as a test that never ends.
bool FinishesInTime(std::function<void()> work) {
  std::packaged_task<void()> task(std::move(work));
  std::future<void> done = task.get_future();
  std::thread runner(std::move(task));
  if (done.wait_for(std::chrono::seconds(20)) != std::future_status::ready) {
    runner.detach();  // stuck for good; the failure is reported
    return false;
  }
  runner.join();
  return true;
}

TEST_F(RowStoreTest, ListenersMaySelectAndDeleteWhileRowsAreDeletedByCriteria) {
  AddItems(0, 40);
  InitNotification();
  std::vector<int32_t> heard;
  std::vector<size_t> selectedSizes;
  ASSERT_TRUE(AddNotificationListener(
      "selector", ROW_STATE_NEW,
      [&](const IMDSNotification& notification, const char*) {
        const int32_t id = static_cast<int32_t>(notification.row->values[0].ReadSigned(4));
        heard.push_back(id);
        if (id % 4 != 0) return;
        // Selecting with criteria takes the store lock; deleting frees rows a walk might hold.
        selectedSizes.push_back(SelectedIds("Item", "GROUP_NO = 1").size());
        for (RowObject* row : RowsOf("Item"))
          if (IdOf(row) == id + 1) DeleteRowObject("Item", row);
        DeleteRowObjectByCriteria("Item", "ID >= 36");
      },
      1, {"Item"}));
  ASSERT_TRUE(FinishesInTime([] { DeleteRowObjectByCriteria("Item", "GROUP_NO = 0 and ID < 20"); }))
      << "a listener deadlocked against the deletion";
  // The five matches in list order, each heard after the walk is over; within the first call the
  // listener's own deletions are heard as they happen (row 1 at once, rows 36 to 39 after the
  // walk of its deletion, where row 36 finds row 37 already gone).
  EXPECT_EQ(heard, (std::vector<int32_t>{0, 1, 36, 37, 38, 39, 4, 5, 8, 9, 12, 13, 16, 17}));
  ASSERT_FALSE(selectedSizes.empty());
  EXPECT_EQ(selectedSizes.front(), 10u) << "rows 1, 5, ... 37 of group 1 are all still there at the first call";
  for (const RowObject* row : RowsOf("Item")) {
    const int32_t id = IdOf(row);
    EXPECT_FALSE(id % 4 == 0 && id < 20) << id;
    EXPECT_FALSE(id % 4 == 1 && id < 20) << id << " was deleted by the listener";
    EXPECT_LT(id, 36);
  }
  DeInitNotification();
}

TEST(RowDirectory, PredecessorsAcrossGapsAndCompaction) {
  std::vector<std::unique_ptr<RowObject>> rows;
  RowDirectory directory;
  for (int i = 0; i < 200; ++i) {
    rows.push_back(std::make_unique<RowObject>());
    directory.Append(rows.back().get());
  }
  EXPECT_EQ(directory.Before(rows[0].get()), nullptr);
  EXPECT_EQ(directory.Before(rows[5].get()), rows[4].get());
  for (int i = 10; i < 150; ++i) directory.Remove(rows[static_cast<size_t>(i)].get());
  EXPECT_FALSE(directory.Holds(rows[10].get()));
  EXPECT_EQ(directory.Before(rows[150].get()), rows[9].get());
  EXPECT_EQ(directory.Before(rows[150].get()), rows[9].get()) << "the shortened jumps lead to the same row";
  for (int i = 0; i < 10; ++i) directory.Remove(rows[static_cast<size_t>(i)].get());
  EXPECT_EQ(directory.Before(rows[150].get()), nullptr);
  EXPECT_EQ(directory.liveCount(), 50u);
  directory.CompactIfSparse();
  EXPECT_EQ(directory.slotCount(), 50u);
  for (size_t slot = 0; slot < directory.slotCount(); ++slot) {
    EXPECT_EQ(directory.RowAt(slot), rows[150 + slot].get());
    EXPECT_TRUE(directory.Holds(rows[150 + slot].get()));
  }
  EXPECT_EQ(directory.Before(rows[151].get()), rows[150].get());
}

}  // namespace
}  // namespace tessera
