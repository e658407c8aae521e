// Pools over real SQLite connections: per-thread ownership, the shared single handle, ageing
// and re-opening, the dispatch's refusals, transactions and CreateDB.
#include "tessera/db/connection_pool.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>

#include "tessera/db/conn_params.h"
#include "tessera/db/db_dispatch.h"
#include "tessera/db/db_provider.h"
#include "tessera/db/odbc/odbc_provider.h"
#include "tests/support/log_capture.h"

namespace tessera {
namespace {

class PoolTest : public ::testing::Test {
 protected:
  void SetUp() override {
    FreeDBProviders();
    ASSERT_TRUE(InitDBProvider());
    Add("maindb", "a.db");
  }
  void TearDown() override {
    CloseAllConnectionPools();
    FreeAllConnParams();
    FreeDBProviders();
  }
  void Add(const char* name, const char* file) {
    ConnParams params;
    params.dsn = "tessera";
    params.connectionName = name;
    params.providerName = "ODBC";
    params.dbType = "SQLITE";
    params.useConnectionString = 1;
    params.connectionString = "Driver=SQLite3;Database=" + (dir_.path() / file).string();
    AddConnParams(params);
  }
  hl::test::TempDir dir_;
};

TEST_F(PoolTest, SingleHandleIsSharedByAllThreadsUnderIdOne) {
  ASSERT_TRUE(EstablishDBConnections());
  ConnectionHandle* mine = GetConnectionHandle(nullptr);
  ASSERT_NE(mine, nullptr);
  EXPECT_EQ(mine->ownerThread, kSharedHandleOwner);
  ConnectionHandle* theirs = nullptr;
  std::thread([&] { theirs = GetConnectionHandle("maindb"); }).join();
  EXPECT_EQ(theirs, mine);
  EXPECT_TRUE(ReleaseConnectionHandle(nullptr));
  EXPECT_EQ(mine->ownerThread, kHandleFree);
  EXPECT_FALSE(ReleaseConnectionHandle("maindb")) << "nothing left to release";
  EXPECT_EQ(GetConnectionHandle("nosuch"), nullptr);
}

TEST_F(PoolTest, StatementsOfThreadsSharingOneHandleRunOneAfterTheOther) {
  ASSERT_TRUE(EstablishDBConnections());
  ASSERT_TRUE(ExecuteUpdate(GetConnectionHandle(nullptr), "create table S (N int, W int)"));
  std::atomic<int> failures{0};
  auto work = [&](int who) {
    ConnectionHandle* handle = GetConnectionHandle(nullptr);
    for (int i = 0; i < 50; ++i) {
      std::string sql = "insert into S values(" + std::to_string(i) + "," + std::to_string(who) + ")";
      if (!ExecuteUpdate(handle, sql.c_str())) ++failures;
      if (!ExecuteQuery(handle, "select count(*) from S")) ++failures;
    }
  };
  std::thread a(work, 1), b(work, 2);
  a.join();
  b.join();
  EXPECT_EQ(failures, 0);
  ResultSetPtr rs = ExecuteQuery(GetConnectionHandle(nullptr), "select * from S");
  ASSERT_TRUE(rs);
  EXPECT_EQ(rs->rowCount, 100);
}

TEST_F(PoolTest, UnnamedRequestWithTwoPoolsGivesNothing) {
  Add("second", "b.db");
  ASSERT_TRUE(EstablishDBConnections());
  EXPECT_EQ(ConnectionPoolCount(), 2);
  EXPECT_EQ(GetConnectionHandle(nullptr), nullptr);
  EXPECT_NE(GetConnectionHandle("second"), nullptr);
}

TEST_F(PoolTest, HandleIsReopenedOnlyWhenOlderThan27900Seconds) {
  ASSERT_TRUE(EstablishDBConnectionsWithCount(2));
  ConnectionHandle* handle = GetConnectionHandle("maindb");
  ASSERT_NE(handle, nullptr);
  handle->openedAt = CurrentEpochSeconds() - kConnectionMaxAgeSeconds;
  EXPECT_EQ(GetConnectionHandle("maindb"), handle);
  handle->openedAt = CurrentEpochSeconds() - kConnectionMaxAgeSeconds - 1;
  hl::test::LogCapture log;
  ConnectionHandle* fresh = GetConnectionHandle("maindb");
  ASSERT_NE(fresh, nullptr);
  EXPECT_TRUE(log.Has("[DEBUG]", " maindb : Connection Established\n"));
  EXPECT_GE(fresh->openedAt + 5, CurrentEpochSeconds());
  EXPECT_EQ(ConnectionPoolSize("maindb"), 2);
  EXPECT_EQ(GetConnectionHandle("maindb"), fresh) << "the re-opened handle stays with its thread";
  ResultSetPtr rs = ExecuteQuery(fresh, "select 1");
  ASSERT_TRUE(rs);
  EXPECT_EQ(rs->rowCount, 1);
}

TEST_F(PoolTest, DispatchRefusesMissingHandleOrText) {
  hl::test::LogCapture log;
  EXPECT_EQ(ExecuteUpdate(nullptr, "delete from T"), 0);
  EXPECT_TRUE(log.Has("[ERROR]", "ConnectionHandle NULL in ExecuteUpdate for Query delete from T \n"));
  EXPECT_EQ(ExecuteQuery(nullptr, "select 1"), nullptr);
  EXPECT_TRUE(log.Has("[ERROR]", "ConnectionHandle NULL in ExecuteQuery for Query select 1 \n"));
  EXPECT_EQ(ExecuteUpdateBlob(nullptr, "x", nullptr, nullptr), 0);
  EXPECT_TRUE(log.Has("[ERROR]", "ConnectionHandle NULL in ExecuteUpdateBlob for Query x \n"));
  EXPECT_EQ(ExecuteQueryBlob(nullptr, "x", nullptr, nullptr), nullptr);
  EXPECT_TRUE(log.Has("[ERROR]", "ConnectionHandle NULL in ExecuteQueryBlob for Query x \n"));
  ASSERT_TRUE(EstablishDBConnections());
  ConnectionHandle* handle = GetConnectionHandle(nullptr);
  EXPECT_EQ(ExecuteUpdate(handle, nullptr), 0);
  EXPECT_TRUE(log.Has("[ERROR]", " No Query To be Updated \n"));
  EXPECT_EQ(ExecuteQuery(handle, nullptr), nullptr);
  EXPECT_TRUE(log.Has("[ERROR]", " No Query To be Executed \n"));
  EXPECT_EQ(ExecuteUpdate(handle, "this is not sql"), 0);
  EXPECT_TRUE(log.Has("[ERROR]", "SQLPrepare failed\n") || log.Has("[ERROR]", "SQLExecute failed\n"));
}

TEST_F(PoolTest, CommitAndRollbackNeedABegunTransaction) {
  ASSERT_TRUE(EstablishDBConnections());
  ConnectionHandle* handle = GetConnectionHandle(nullptr);
  hl::test::LogCapture log;
  EXPECT_FALSE(CommitTransaction(handle));
  EXPECT_FALSE(RollbackTransaction(handle));
  EXPECT_FALSE(log.Has("[TRACE]", "\t@@@@@ ODBCCommitTransaction() @@@@@\n")) << "the provider is not reached";
  ASSERT_TRUE(BeginTransaction(handle));
  EXPECT_EQ(handle->inTransaction, 1);
  EXPECT_TRUE(CommitTransaction(handle));
  EXPECT_EQ(handle->inTransaction, 0);
}

TEST_F(PoolTest, ResultsKeepNullsLongTextsAndTinyintBooleans) {
  ASSERT_TRUE(EstablishDBConnections());
  ConnectionHandle* handle = GetConnectionHandle(nullptr);
  ASSERT_TRUE(ExecuteUpdate(handle, "create table R (ID int, NAME varchar(10), FLAG tinyint)"));
  ResultSetPtr empty = ExecuteQuery(handle, "select * from R");
  ASSERT_TRUE(empty);
  EXPECT_EQ(empty->rowCount, 0);
  EXPECT_EQ(empty->columnCount, 3);
  EXPECT_STREQ(ResultSetColumnName(*empty, 1), "NAME");
  EXPECT_EQ(ResultSetColumnName(*empty, 3), nullptr);
  EXPECT_EQ(ResultSetColumnType(*empty, "flag"), 19);
  EXPECT_EQ(ResultSetColumnType(*empty, "nosuch"), 0);
  EXPECT_EQ(ResultSetNextRow(*empty), nullptr);

  const std::string longName(5000, 'n');
  ASSERT_TRUE(ExecuteUpdate(handle, ("insert into R values(1,'" + longName + "',1)").c_str()));
  ASSERT_TRUE(ExecuteUpdate(handle, "insert into R values(2,NULL,0)"));
  ASSERT_TRUE(ExecuteUpdate(handle, "insert into R values(3,'c',2)"));
  EXPECT_TRUE(ExecuteUpdate(handle, "delete from R where ID=99")) << "no row affected is still a success";
  ResultSetPtr rs = ExecuteQuery(handle, "select * from R order by ID");
  ASSERT_TRUE(rs);
  ASSERT_EQ(rs->rowCount, 3);
  int32_t length = -1;
  ASSERT_TRUE(ResultSetNextRow(*rs));
  EXPECT_EQ(ResultSetColumnValue(*rs, "name", length)->bytes(), longName) << "longer than the column size";
  EXPECT_EQ(ResultSetColumnValue(*rs, "FLAG", length)->ReadUnsigned(1), 1u);
  ASSERT_TRUE(ResultSetNextRow(*rs));
  EXPECT_TRUE(ResultSetColumnValue(*rs, "NAME", length)->IsNull());
  EXPECT_EQ(length, 0);
  EXPECT_EQ(ResultSetColumnValue(*rs, "FLAG", length)->ReadUnsigned(1), 0u);
  ASSERT_TRUE(ResultSetNextRow(*rs));
  EXPECT_EQ(ResultSetColumnValue(*rs, "FLAG", length)->ReadUnsigned(1), 0u) << "2 reads as false";
  EXPECT_EQ(ResultSetNextRow(*rs), nullptr);
  ResultSetResetCursor(*rs);
  EXPECT_NE(ResultSetNextRow(*rs), nullptr);

  hl::test::LogCapture log;
  PrintResultSet(*rs);
  EXPECT_TRUE(log.Has("[DEBUG]", "NAME\t"));
  EXPECT_TRUE(log.Has("[DEBUG]", "3\t"));
  EXPECT_TRUE(log.Has("[DEBUG]", "NULL\t"));
}

TEST_F(PoolTest, ClosingOneConnectionLeavesTheOthersWorking) {
  ASSERT_TRUE(EstablishDBConnectionsWithCount(2));
  ConnectionHandlePtr extra = OpenDBConnection(GetConnParams("maindb"));
  ASSERT_TRUE(extra);
  EXPECT_TRUE(CloseConnection(std::move(extra)));
  ConnectionHandle* handle = GetConnectionHandle("maindb");
  ResultSetPtr rs = ExecuteQuery(handle, "select 1");
  ASSERT_TRUE(rs) << "another connection's environment must stay valid";
  EXPECT_EQ(rs->rowCount, 1);
}

TEST_F(PoolTest, CreateDBRefusesNamesItCannotHold) {
  ASSERT_TRUE(EstablishDBConnections());
  hl::test::LogCapture log;
  EXPECT_FALSE(CreateDB("a_name_of_20_chars__"));
  EXPECT_TRUE(log.Has("[ERROR]", "Cannot create database a_name_of_20_chars__: a name has 1 to 19"));
  EXPECT_FALSE(CreateDB("x; drop table T"));
  EXPECT_FALSE(log.Has("[DEBUG]", "create database x")) << "nothing was sent";
  EXPECT_FALSE(CreateDB("name_of_19_chars___"));  // SQLite has no CREATE DATABASE
  EXPECT_TRUE(log.Has("[ERROR]", "Cannot create database name_of_19_chars___.\n"));
}

TEST(ProviderRegistry, LoadsIntoTwoSlotsAndRefusesUnknownNames) {
  FreeDBProviders();
  hl::test::LogCapture log;
  ASSERT_TRUE(InitDBProvider());
  EXPECT_EQ(GetActiveProvider(0), &OdbcProvider());
  EXPECT_EQ(GetActiveProvider(1), nullptr) << "no SQLITE provider exists";
  EXPECT_FALSE(InitDBProvider());
  EXPECT_TRUE(log.Has("[ERROR]", "InitDBProvider Failed as already initialized\n"));
  EXPECT_FALSE(LoadDBProvider("odbc")) << "names match exactly";
  EXPECT_TRUE(LoadDBProvider("ODBC"));
  EXPECT_FALSE(LoadDBProvider("ODBC")) << "both slots are full";
  EXPECT_TRUE(UnloadDBProvider("ODBC"));
  EXPECT_EQ(FindActiveProviderSlot("ODBC"), 1);
  FreeDBProviders();
}

}  // namespace
}  // namespace tessera
