// Connection-parameter and data-source-map files, and the connection string made from them.
#include "tessera/db/conn_params.h"

#include <gtest/gtest.h>

#include "tessera/db/data_source_map.h"
#include "tessera/db/odbc/odbc_provider.h"
#include "tessera/db/tessera_root.h"
#include "tests/support/log_capture.h"

namespace tessera {
namespace {

class ConnParamsTest : public ::testing::Test {
 protected:
  void SetUp() override { FreeAllConnParams(); }
  void TearDown() override {
    FreeAllConnParams();
    FreeAllDataSourceMapEntries();
    ClearTesseraRoot();
  }
  bool Load(const std::string& text) {
    dir_.Write("connparams.txt", text);
    return LoadConnParamsEntryFromFile((dir_.path() / "connparams.txt").string().c_str());
  }
  hl::test::TempDir dir_;
};

TEST_F(ConnParamsTest, ReadsTenTokensAndTheConnectionStringOfYesLines) {
  const std::string longString = "Driver=SQLite3;Database=/" + std::string(400, 'd') + ".db";
  ASSERT_TRUE(Load("server1 3306 mydsn user1 NULL x maindb ODBC MYSQL NO\n"
                   "server2 5432 pgdsn user2 secret x second ODBC pgsql yes Driver=PostgreSQL ANSI;Database=t\n"
                   "h 0 d u p x third ODBC SQLITE YES " + longString + "\r\n"));
  std::vector<const ConnParams*> all = AllConnParams();
  ASSERT_EQ(all.size(), 3u);
  const ConnParams& first = *all[0];
  EXPECT_EQ(first.server, "server1");
  EXPECT_EQ(first.port, 3306);
  EXPECT_EQ(first.dsn, "mydsn");
  EXPECT_EQ(first.uid, "user1");
  EXPECT_FALSE(first.pwd.has_value());
  EXPECT_EQ(first.connectionName, "maindb");
  EXPECT_EQ(first.providerName, "ODBC");
  EXPECT_EQ(first.dbType, "MYSQL");
  EXPECT_EQ(first.useConnectionString, 0);
  EXPECT_FALSE(first.connectionString.has_value());

  const ConnParams* second = GetConnParams("second");
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(second->pwd, "secret");
  EXPECT_EQ(second->useConnectionString, 1);
  EXPECT_EQ(second->connectionString, "Driver=PostgreSQL ANSI;Database=t");
  EXPECT_EQ(GetConnParams("third")->connectionString, longString) << "long strings are kept whole";
  EXPECT_EQ(GetConnParams("SECOND"), nullptr) << "connection names match exactly";
  EXPECT_STREQ(GetDefaultConnectionName(), "maindb");
}

TEST_F(ConnParamsTest, EmptyFileLoadsNothingAndMissingFileFails) {
  EXPECT_TRUE(Load(""));
  EXPECT_TRUE(AllConnParams().empty());
  hl::test::LogCapture log;
  EXPECT_EQ(GetDefaultConnectionName(), nullptr);
  EXPECT_TRUE(log.Has("[ERROR]", "Connection Name IS NULL\n"));
  EXPECT_FALSE(LoadConnParamsEntryFromFile((dir_.path() / "absent.txt").string().c_str()));
  EXPECT_TRUE(log.Has("[ERROR]", "Cannot open Connection Parameters File.\n"));
}

TEST_F(ConnParamsTest, FallsBackToTheDataDirectoryOfTheRoot) {
  dir_.Write("data/connparams.txt", "s 1 d u p x fromroot ODBC SQLITE NO\n");
  dir_.Write("data/dsn_table_map.txt", "Computer fromroot\nPatch other\n");
  SetTesseraRoot(dir_.str().c_str());
  hl::test::LogCapture log;
  ASSERT_TRUE(LoadConnParamsEntryFromFile("..\\data\\connparams.txt"));
  EXPECT_NE(GetConnParams("fromroot"), nullptr);
  ASSERT_TRUE(LoadDataSourceMapEntryFromFile("..\\data\\dsn_table_map.txt"));
  EXPECT_TRUE(log.Has("[DEBUG]", "Opening " + dir_.str() + "/data/dsn_table_map.txt\n"));
  ASSERT_NE(GetDataSourceMapEntry("computer"), nullptr) << "table names match without regard to case";
  EXPECT_EQ(GetDataSourceMapEntry("PATCH")->connectionName, "other");
  EXPECT_TRUE(DeleteDataSourceMapEntry("patch"));
  EXPECT_EQ(GetDataSourceMapEntry("Patch"), nullptr);
  EXPECT_FALSE(DeleteDataSourceMapEntry("Patch"));
}

TEST_F(ConnParamsTest, ConnectionStringOfDsnEntriesKeepsEverySeparator) {
  ConnParams params;
  params.dsn = "x";
  params.uid = "y";
  params.providerName = "ODBC";
  EXPECT_EQ(OdbcConnectionString(params), "DSN=x;UID=y;;Driver={ODBC}");
  params.pwd = "p";
  EXPECT_EQ(OdbcConnectionString(params), "DSN=x;UID=y;PWD=p;Driver={ODBC}");

  params.useConnectionString = 1;
  params.connectionString = "Driver=SQLite3;Database=%TESSERA_DATA%/t.db";
  SetTesseraRoot("/opt/store");
  EXPECT_EQ(OdbcConnectionString(params), "Driver=SQLite3;Database=/opt/store/data/t.db");
}

TEST_F(ConnParamsTest, MissingMapFileAndInvalidModeAreReported) {
  hl::test::LogCapture log;
  EXPECT_FALSE(LoadDataSourceMapEntryFromFile((dir_.path() / "none.txt").string().c_str()));
  EXPECT_TRUE(log.Has("[ERROR]", "Cannot open DataSourceMap Entry File.\n"));
  SetDSNMapValid(7, 0);
  EXPECT_TRUE(log.Has("[ERROR]", "\nInvalid Status\n"));
  SetDSNMapValid(0, 3);
  EXPECT_FALSE(IsDSNMapValid());
  EXPECT_STREQ(DialectNameAt(GetDialectIndex()), "SQLITE");
  SetDSNMapValid(1, 0);
  EXPECT_TRUE(IsDSNMapValid());
  SetDSNMapValid(0, 0);
}

}  // namespace
}  // namespace tessera
