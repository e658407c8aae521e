// The store on real databases: SQLite through its ODBC driver on a file, and the private
// PostgreSQL and MariaDB servers that db_servers.sh starts for this test (their connection
// strings come from the state file named by HL_DB_STATE). Every case runs on all three.
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <thread>

#include "engine_setup.h"
#include "sample_rows.h"
#include "tessera/db/conn_params.h"
#include "tessera/db/connection_pool.h"
#include "tessera/db/db_dispatch.h"
#include "tessera/db/init_tessera.h"
#include "tessera/db/persistence_steps.h"
#include "tessera/db/odbc/odbc_provider.h"
#include "tests/support/log_capture.h"

namespace tessera {
namespace {

namespace fs = std::filesystem;

struct Engine {
  const char* dbType;
  const char* stateKey;  // null: SQLite on a file of the data directory
  const char* blobType;
};

const Engine kEngines[] = {
    {"SQLITE", nullptr, "blob"},
    {"PGSQL", "HL_PGSQL_CONNECTION", "bytea"},
    {"MYSQL", "HL_MYSQL_CONNECTION", "longblob"},
};

const char* const kDroppedTables[] = {"BLOBTEST", "TXTEST",         "SeqGenState",    "PatchDeployment",
                                      "Patch",    "InstalledProduct", "NetworkAdapter", "Computer",
                                      "ServerInfo", "Agentparams"};

class EngineTest : public ::testing::TestWithParam<Engine> {
 protected:
  void SetUp() override {
    // These cases read and write the database directly: no sequences, loading or default data.
    SetStoreLoadSteps(StoreLoadSteps{});
    const Engine& engine = GetParam();
    std::string connection;
    dbtest::EngineConnection(engine.dbType, engine.stateKey, connection);
    if (HasFatalFailure()) return;
    dbtest::PrepareDataDirectory(root_, engine.dbType, connection);
    if (engine.stateKey != nullptr) DropTables(connection);
  }
  void TearDown() override {
    DeInitTessera();
    SetStoreLoadSteps(PersistenceSteps());
  }

  // Server databases outlive a test: start each one from an empty database.
  void DropTables(const std::string& connection) {
    dbtest::DropTables(GetParam().dbType, connection, {std::begin(kDroppedTables), std::end(kDroppedTables)});
  }

  void Init() { ASSERT_TRUE(InitTessera(root_.str().c_str())) << "InitTessera failed on " << GetParam().dbType; }

  ConnectionHandle* Handle() { return GetConnectionHandle("maindb"); }

  BOOL Run(const std::string& sql) { return ExecuteUpdate(Handle(), sql.c_str()); }
  int32_t CountRows(const std::string& table) {
    ResultSetPtr rs = ExecuteQuery(Handle(), ("select * from " + table).c_str());
    return rs ? rs->rowCount : -1;
  }

  hl::test::TempDir root_;
};

TEST_P(EngineTest, InitCreatesEveryTableOnAnEmptyDatabaseAndDetectsItNextTime) {
  Init();
  EXPECT_TRUE(TesseraCreatedTables());
  for (const auto& table : GetDataDictionary()) EXPECT_EQ(CountRows(table->name), 0) << table->name;
  DeInitTessera();
  Init();
  EXPECT_FALSE(TesseraCreatedTables());
}

TEST_P(EngineTest, EveryColumnTypeRoundTripsThroughInsertAndQuery) {
  Init();
  const int kRows = 4;  // the last one with NULL in every nullable column
  std::vector<std::string> tables;
  for (const auto& table : GetDataDictionary()) tables.push_back(table->name);
  for (const std::string& name : tables) {
    const TableDefn* table = GetTableDefn(name.c_str());
    for (int i = 0; i < kRows; ++i) {
      auto row = dbtest::SampleRow(*table, i, i == kRows - 1);
      std::optional<std::string> sql = GenerateInsertQuery(name.c_str(), row.get());
      ASSERT_TRUE(sql) << name;
      ASSERT_TRUE(Run(*sql)) << *sql;
    }
  }
  for (const std::string& name : tables) {
    SCOPED_TRACE(name);
    const TableDefn* table = GetTableDefn(name.c_str());
    ResultSetPtr rs = ExecuteQuery(Handle(), ("select * from " + name).c_str());
    ASSERT_TRUE(rs);
    ASSERT_EQ(rs->rowCount, kRows);
    std::vector<std::unique_ptr<RowObject>> loaded;
    while (ResultSetNextRow(*rs)) loaded.push_back(ConvResultsetToRowobject(rs.get(), GetParam().dbType, name.c_str()));
    for (int i = 0; i < kRows; ++i) {
      auto expected = dbtest::SampleRow(*table, i, i == kRows - 1);
      // The closest loaded row, and the columns in which it differs.
      size_t bestEqual = 0;
      std::string differences = "no rows";
      for (const auto& row : loaded) {
        ASSERT_TRUE(row);
        ASSERT_EQ(row->state, ROW_STATE_PERSISTED);
        ASSERT_EQ(row->columnCount(), expected->columnCount());
        size_t equal = 0;
        std::string diff;
        int32_t c = 0;
        for (const auto& column : *table->columns) {
          const Value &got = *row->ValueAt(c), &want = *expected->ValueAt(c);
          if (dbtest::SameColumnValue(column->type, got, want))
            ++equal;
          else
            diff += " " + column->name + ": got '" + ConvertValueToString(got, column->type).value_or("?") +
                    "' (length " + std::to_string(got.length()) + "), want '" +
                    ConvertValueToString(want, column->type).value_or("?") + "'";
          ++c;
        }
        if (equal >= bestEqual) {
          bestEqual = equal;
          differences = diff;
        }
      }
      bool found = differences.empty();
      EXPECT_TRUE(found) << "row " << i << " did not come back intact:" << differences;
    }
  }
}

TEST_P(EngineTest, GeneratedUpdateAndDeleteReachOnlyTheirRow) {
  Init();
  const TableDefn* table = GetTableDefn("Computer");
  ASSERT_TRUE(table);
  for (int i = 0; i < 3; ++i) ASSERT_TRUE(Run(*GenerateInsertQuery("Computer", dbtest::SampleRow(*table, i).get())));
  auto row = dbtest::SampleRow(*table, 1);
  int32_t os = table->ColumnIndex("OS_NAME");
  row->values[static_cast<size_t>(os)] = Value::FromText("it's \\ new'); --");
  std::optional<std::string> update = GenerateUpdateQuery("Computer", row.get());
  ASSERT_TRUE(update);
  ASSERT_TRUE(Run(*update)) << *update;
  ResultSetPtr rs = ExecuteQuery(Handle(), "select OS_NAME from Computer");
  ASSERT_TRUE(rs);
  std::multiset<std::string> names;
  while (ResultSetNextRow(*rs)) {
    int32_t length = 0;
    names.insert(std::string(ResultSetColumnValue(*rs, "OS_NAME", length)->bytes()));
  }
  EXPECT_EQ(names.count("it's \\ new'); --"), 1u);
  EXPECT_EQ(names.size(), 3u);

  std::optional<std::string> remove = GenerateDeleteQuery("Computer", row.get());
  ASSERT_TRUE(remove);
  ASSERT_TRUE(Run(*remove)) << *remove;
  EXPECT_EQ(CountRows("Computer"), 2);
  EXPECT_TRUE(Run(*remove)) << "a delete that reaches no row still succeeds";
}

struct BlobSource {
  const std::vector<BYTE>* data;
  size_t at = 0;
  static BYTE Next(const BYTE** chunk, int32_t* length, void* context) {
    auto* self = static_cast<BlobSource*>(context);
    if (self->at >= self->data->size()) return kNoMoreChunks;
    size_t piece = std::min<size_t>(65536, self->data->size() - self->at);
    *chunk = self->data->data() + self->at;
    *length = static_cast<int32_t>(piece);
    self->at += piece;
    return 1;
  }
};

struct BlobSink {
  std::vector<BYTE> data;
  int32_t largest = 0;
  int ends = 0;
  static void Take(const BYTE* chunk, int32_t length, void* context) {
    auto* self = static_cast<BlobSink*>(context);
    if (chunk == nullptr) {
      ++self->ends;
      return;
    }
    self->largest = std::max(self->largest, length);
    self->data.insert(self->data.end(), chunk, chunk + length);
  }
};

TEST_P(EngineTest, OneMebibyteBlobGoesInAndOutInChunks) {
  Init();
  ASSERT_TRUE(Run(std::string("create table BLOBTEST (ID int primary key, DATA ") + GetParam().blobType + ")"));
  std::vector<BYTE> blob(1 << 20);
  for (size_t i = 0; i < blob.size(); ++i) blob[i] = static_cast<BYTE>((i * 7919) >> 3);
  BlobSource source{&blob};
  hl::test::LogCapture log(LOG_LEVEL_ERROR);
  ASSERT_TRUE(ExecuteUpdateBlob(Handle(), "insert into BLOBTEST values(1, ?)", BlobSource::Next, &source))
      << log.Text();
  BlobSink sink;
  ResultSetPtr rs = ExecuteQueryBlob(Handle(), "select ID, DATA from BLOBTEST", BlobSink::Take, &sink);
  ASSERT_TRUE(rs);
  EXPECT_EQ(rs->rowCount, 1);
  EXPECT_EQ(sink.ends, 1);
  EXPECT_LE(sink.largest, 1024);
  EXPECT_TRUE(sink.data == blob) << "got " << sink.data.size() << " bytes";
  ASSERT_TRUE(ResultSetNextRow(*rs));
  int32_t length = 0;
  EXPECT_TRUE(ResultSetColumnValue(*rs, "DATA", length)->IsNull()) << "streamed columns stay absent";
}

TEST_P(EngineTest, RolledBackTransactionLeavesNothingAndCommittedOneStays) {
  Init();
  const TableDefn* table = GetTableDefn("Patch");
  ConnectionHandle* handle = Handle();
  EXPECT_FALSE(CommitTransaction(handle)) << "no transaction was begun";
  ASSERT_TRUE(BeginTransaction(handle));
  for (int i = 0; i < 3; ++i) ASSERT_TRUE(Run(*GenerateInsertQuery("Patch", dbtest::SampleRow(*table, i).get())));
  ASSERT_TRUE(RollbackTransaction(handle));
  EXPECT_EQ(CountRows("Patch"), 0);
  ASSERT_TRUE(BeginTransaction(handle));
  ASSERT_TRUE(Run(*GenerateInsertQuery("Patch", dbtest::SampleRow(*table, 0).get())));
  ASSERT_TRUE(CommitTransaction(handle));
  EXPECT_FALSE(RollbackTransaction(handle));
  EXPECT_EQ(CountRows("Patch"), 1);
}

TEST_P(EngineTest, ThreadsOfOneMultiHandlePoolGetTheirOwnHandles) {
  Init();
  CloseAllConnectionPools();
  ASSERT_TRUE(EstablishDBConnectionsWithCount(2));
  ASSERT_EQ(ConnectionPoolSize("maindb"), 2);
  ConnectionHandle* seen[2] = {nullptr, nullptr};
  std::atomic<int> ready{0}, failures{0};
  auto work = [&](int n) {
    ConnectionHandle* handle = GetConnectionHandle("maindb");
    seen[n] = handle;
    ++ready;
    while (ready < 2) std::this_thread::yield();  // both hold a handle at once
    for (int i = 0; i < 20; ++i) {
      ResultSetPtr rs = ExecuteQuery(handle, "select * from Agentparams");
      if (!rs) ++failures;
    }
    EXPECT_EQ(GetConnectionHandle("maindb"), handle) << "a thread keeps its handle until it releases it";
    ReleaseConnectionHandle("maindb");
  };
  std::thread a(work, 0), b(work, 1);
  a.join();
  b.join();
  ASSERT_NE(seen[0], nullptr);
  ASSERT_NE(seen[1], nullptr);
  EXPECT_NE(seen[0], seen[1]);
  EXPECT_EQ(failures, 0);
  std::thread third([&] { EXPECT_NE(GetConnectionHandle("maindb"), nullptr) << "released handles are free again"; });
  third.join();
}

INSTANTIATE_TEST_SUITE_P(Engines, EngineTest, ::testing::ValuesIn(kEngines),
                         [](const auto& info) { return std::string(info.param.dbType); });

}  // namespace
}  // namespace tessera
