#include "tessera/notify/notification.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tessera/table/table_test_support.h"
#include "tests/support/log_capture.h"

namespace tessera {
namespace {

using test::DefineTable;
using test::Int;

class NotificationTest : public test::StoreTest {
 protected:
  void SetUp() override {
    StoreTest::SetUp();
    InitNotification();
    for (const char* name : {"A", "b", "B", "c", "Other"}) {
      if (!GetTableDefn(name)) DefineTable(name, {{"ID", CRV_SQL_INT}, {"V", CRV_SQL_INT}});
    }
  }
  // Registers a listener that records the tables and states it receives.
  void Listen(const char* name, BYTE eventType, std::vector<std::string> tables, BYTE enabled = 1) {
    ASSERT_TRUE(AddNotificationListener(
        name, eventType,
        [this](const IMDSNotification& n, const char* listener) {
          received_.push_back(std::string(listener) + ":" + n.tableName + ":" + std::to_string(n.row->state));
        },
        enabled, std::move(tables)));
  }
  void Send(const char* table, BYTE state) {
    RowObject row({Int(1), Int(2)}, state);
    SendNotification(&row, table);
  }
  std::vector<std::string> received_;
};

TEST_F(NotificationTest, EventTypeSelectsStatesOfTheListedTables) {
  Listen("modified", 4, {"b", "A", "c"});
  for (BYTE state : {2, 4, 5, 6, 12, 13}) Send("B", state);
  Send("Other", 4);
  EXPECT_EQ(received_, (std::vector<std::string>{"modified:B:4", "modified:B:5", "modified:B:12"}));
}

TEST_F(NotificationTest, EventTypeZeroReceivesEveryEvent) {
  Listen("all", 0, {"A"});
  for (BYTE state : {1, 2, 4, 6, 8, 9}) Send("a", state);
  EXPECT_EQ(received_.size(), 6u);
}

TEST_F(NotificationTest, NotificationCopiesTheRowAndStampsTheTime) {
  RowObject row({Int(7), Int(8), Int(9)}, ROW_STATE_NEW);  // more values than the definition
  std::unique_ptr<IMDSNotification> n = CreateIMDSNotification(&row, "A");
  ASSERT_TRUE(n);
  EXPECT_EQ(n->tableName, "A");
  ASSERT_EQ(n->row->columnCount(), 2);
  EXPECT_EQ(n->row->values[1], Int(8));
  EXPECT_NE(&n->row->values[0], &row.values[0]);
  EXPECT_TRUE(n->time.date.has_value());
  EXPECT_FALSE(CreateIMDSNotification(&row, "NoDefinition"));
  EXPECT_FALSE(CreateIMDSNotification(nullptr, "A"));
}

TEST_F(NotificationTest, RegistrationDisablingAndRemoval) {
  hl::test::LogCapture log;
  Listen("one", 0, {"A"});
  EXPECT_TRUE(log.Has("[DEBUG]", "Listener with name one added\n"));
  Listen("ONE", 0, {"B"});  // same name: the first is kept and the call still succeeds
  EXPECT_TRUE(log.Has("[ERROR]", "Listener with same name exists ONE\n"));
  EXPECT_EQ(NotificationListenerCount(), 1);
  Send("B", 2);
  EXPECT_TRUE(received_.empty());
  EXPECT_TRUE(log.Has("[DEBUG]", "Listener not registered for B table\n"));

  EXPECT_TRUE(DisableNotificationListener("One"));
  EXPECT_TRUE(log.Has("[DEBUG]", "Listener with name One disabled\n"));
  Send("A", 2);
  EXPECT_TRUE(received_.empty());
  EXPECT_TRUE(log.Has("[DEBUG]", "Listener one  disabled\n"));
  EXPECT_FALSE(DisableNotificationListener("two"));
  EXPECT_TRUE(log.Has("[ERROR]", "Listener with name two doesn't exists\n"));

  Listen("typed", 8, {"A"});
  Send("A", 2);
  EXPECT_TRUE(log.Has("[DEBUG]", "Listener not registered for Eventype 2\n"));
  EXPECT_TRUE(RemoveNotificationListener("TYPED"));
  EXPECT_TRUE(log.Has("[DEBUG]", "Listener with name TYPED removed\n"));
  EXPECT_FALSE(RemoveNotificationListener("typed"));
  DeInitNotification();
  EXPECT_TRUE(log.Has("[TRACE]", "Listener with name one removed\n"));
  EXPECT_EQ(NotificationListenerCount(), 0);
  EXPECT_FALSE(DisableNotificationListener("one"));  // no listeners at all
}

TEST_F(NotificationTest, ListenersAreCalledInRegistrationOrder) {
  Listen("second", 0, {"A"});
  Listen("first", 0, {"A"});
  Send("A", 2);
  EXPECT_EQ(received_, (std::vector<std::string>{"second:A:2", "first:A:2"}));
}

TEST(IsListContains, BinarySearchWithoutRegardToCase) {
  const std::vector<std::string> names = {"alpha", "Beta", "gamma", "Delta"};  // not sorted
  std::vector<std::string> sorted = {"alpha", "Beta", "Delta", "gamma", "omega"};
  for (const char* name : {"ALPHA", "beta", "delta", "Gamma", "OMEGA"}) EXPECT_TRUE(IsListContains(sorted, name)) << name;
  for (const char* name : {"", "a", "zeta", "bet"}) EXPECT_FALSE(IsListContains(sorted, name)) << name;
  EXPECT_FALSE(IsListContains({}, "a"));
  EXPECT_FALSE(IsListContains(sorted, nullptr));
  hl::test::LogCapture log;
  IsListContains(names, "zzz");
  EXPECT_TRUE(log.Has("[DEBUG]", "List doesn't contains key \n"));
}

}  // namespace
}  // namespace tessera
