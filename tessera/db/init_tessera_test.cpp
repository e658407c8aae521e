// The store brought up on the example data directory over SQLite (a database file in a copy
// of the directory), and the stop messages of a data directory that is incomplete.
#include "tessera/db/init_tessera.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "tessera/db/conn_params.h"
#include "tessera/db/connection_pool.h"
#include "tessera/db/data_source_map.h"
#include "tessera/db/db_dispatch.h"
#include "tessera/schema/data_dictionary.h"
#include "tests/support/log_capture.h"

namespace tessera {
namespace {

namespace fs = std::filesystem;

class InitTesseraTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::copy(fs::path(HL_SOURCE_DIR) / "examples/tessera/data", root_.path() / "data", fs::copy_options::recursive);
  }
  void TearDown() override { DeInitTessera(); }
  std::string Root() const { return root_.str(); }

  std::vector<std::string> DatabaseTables() {
    std::vector<std::string> names;
    ConnectionHandle* handle = GetConnectionHandle("maindb");
    ResultSetPtr rs = ExecuteQuery(handle, "select name from sqlite_master where type='table' order by name");
    ReleaseConnectionHandle("maindb");
    if (!rs) return names;
    while (ResultSetNextRow(*rs)) {
      int32_t length = 0;
      names.emplace_back(ResultSetColumnValue(*rs, "NAME", length)->bytes());
    }
    return names;
  }

  hl::test::TempDir root_;
};

TEST_F(InitTesseraTest, CreatesEveryDictionaryTableOnAnEmptyDatabaseAndDetectsItNextTime) {
  ASSERT_TRUE(InitTessera(Root().c_str()));
  EXPECT_TRUE(TesseraCreatedTables());
  EXPECT_TRUE(fs::exists(root_.path() / "data/tessera.db"));
  std::vector<std::string> expected;
  for (const auto& table : GetDataDictionary()) expected.push_back(table->name);
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(expected.size(), 8u);
  EXPECT_EQ(DatabaseTables(), expected);
  DeInitTessera();

  ASSERT_TRUE(InitTessera(Root().c_str()));
  EXPECT_FALSE(TesseraCreatedTables());
  EXPECT_EQ(DatabaseTables(), expected);
}

TEST_F(InitTesseraTest, StopsWithTheFailingStepsMessage) {
  struct Case {
    const char* removed;
    const char* message;
  } cases[] = {
      {"datadictionary.txt", "LoadAllDataDictFiles failed.\n"},
      {"dsn_table_map.txt", "LoadDataSourceMapEntryFromFile failed.\n"},
      {"connparams.txt", "LoadConnParamsEntryFromFile failed.\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.removed);
    hl::test::TempDir root;
    fs::copy(fs::path(HL_SOURCE_DIR) / "examples/tessera/data", root.path() / "data", fs::copy_options::recursive);
    fs::remove(root.path() / "data" / c.removed);
    hl::test::LogCapture log;
    EXPECT_FALSE(InitTessera(root.str().c_str()));
    EXPECT_TRUE(log.Has("[ERROR]", c.message));
    DeInitTessera();
  }
}

TEST_F(InitTesseraTest, EmptyConnectionParametersStopTheStart) {
  root_.Write("data/connparams.txt", "");
  hl::test::LogCapture log;
  EXPECT_FALSE(InitTessera(Root().c_str()));
  EXPECT_TRUE(log.Has("[ERROR]", "No entires in data source vector. InitTessera failed.\n"));
}

TEST_F(InitTesseraTest, UnreachableDatabaseStopsTheStart) {
  root_.Write("data/connparams.txt",
              "localhost 0 tessera NULL NULL x maindb ODBC SQLITE YES Driver=NoSuchDriver;Database=x\n");
  hl::test::LogCapture log;
  EXPECT_FALSE(InitTessera(Root().c_str()));
  EXPECT_TRUE(log.Has("[ERROR]", "Connecting to driver failed\n"));
  EXPECT_TRUE(log.Has("[ERROR]", "Cannot establish connection.\n"));
  EXPECT_TRUE(log.Has("[ERROR]", "EstablishDBConnections failed.\n"));
}

TEST_F(InitTesseraTest, DialectFollowsTheConnectionOrDefaultsToMysql) {
  ASSERT_TRUE(InitTessera(Root().c_str()));
  EXPECT_TRUE(IsDSNMapValid());
  EXPECT_EQ(GeneratorForTable("Computer"), &SqliteQueryGenerator());
  DeInitTessera();

  // A first entry without a known dialect leaves the store in single-dialect mode on "MYSQL".
  root_.Write("data/connparams.txt",
              "localhost 0 tessera NULL NULL x maindb ODBC OTHER YES "
              "Driver=SQLite3;Database=%TESSERA_DATA%/other.db\n");
  hl::test::LogCapture log;
  ASSERT_TRUE(InitTessera(Root().c_str()));
  EXPECT_FALSE(IsDSNMapValid());
  EXPECT_EQ(GeneratorForTable("Computer"), &MysqlQueryGenerator());
  EXPECT_FALSE(TesseraCreatedTables());  // MySQL's table option is not SQLite's
}

}  // namespace
}  // namespace tessera
