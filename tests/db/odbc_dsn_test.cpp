// Data sources created through the ODBC installer into a user DSN file of a temporary
// ODBCINI / ODBCSYSINI, then used for a connection.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "tessera/db/db_dispatch.h"
#include "tessera/db/odbc/odbc_provider.h"
#include "tests/support/log_capture.h"

namespace tessera {
namespace {

namespace fs = std::filesystem;

std::string ReadAll(const fs::path& path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

class DsnTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::copy_file("/etc/odbcinst.ini", dir_.path() / "odbcinst.ini");
    setenv("ODBCSYSINI", dir_.str().c_str(), 1);
    setenv("ODBCINI", (dir_.path() / "odbc.ini").string().c_str(), 1);
  }
  void TearDown() override {
    unsetenv("ODBCSYSINI");
    unsetenv("ODBCINI");
  }
  hl::test::TempDir dir_;
};

TEST_F(DsnTest, CreatesEveryDefinedSourceLeavingOutNullValues) {
  std::string database = (dir_.path() / "dsn.db").string();
  dir_.Write("dsns.txt", "storedsn TesseraStore NULL NULL NULL " + database + "   SQLite3\n" +
                             "brokendsn Broken NULL NULL NULL x NoSuchDriver\n");
  hl::test::LogCapture log;
  ASSERT_TRUE(CreateDSNFromFile((dir_.path() / "dsns.txt").string().c_str()));
  EXPECT_TRUE(log.Has("[DEBUG]", "Creating DSN with driver SQLite3: DSN=storedsn;DESCRIPTION=TesseraStore;DATABASE=" +
                                     database + ";\n"));
  EXPECT_TRUE(log.Has("[ERROR]", "Creating DSN brokendsn Failed\n"));
  std::string ini = ReadAll(dir_.path() / "odbc.ini");
  EXPECT_NE(ini.find("[storedsn]"), std::string::npos) << ini;
  EXPECT_EQ(ini.find("[brokendsn]"), std::string::npos) << ini;

  ConnParams params;
  params.dsn = "storedsn";
  params.connectionName = "viadsn";
  ConnectionHandlePtr handle = ODBCConnect(&params);
  ASSERT_TRUE(handle) << log.Text();
  EXPECT_TRUE(ODBCExecuteUpdate(handle.get(), "create table D (X int)"));
  ODBCDisconnect(handle.get());
  EXPECT_TRUE(fs::exists(database));
}

TEST_F(DsnTest, RefusesMissingNamesAndMissingFiles) {
  hl::test::LogCapture log;
  EXPECT_FALSE(CreateDSN(nullptr, "d", "s", "u", "p", "db", "SQLite3"));
  EXPECT_FALSE(CreateDSN("n", "d", "s", "u", "p", "db", nullptr));
  EXPECT_EQ(log.Count("[ERROR]", "DriverName or DSN name is NULL \n"), 2u);
  std::string missing = (dir_.path() / "none.txt").string();
  EXPECT_FALSE(CreateDSNFromFile(missing.c_str()));
  EXPECT_TRUE(log.Has("[ERROR]", "Error opening File " + missing + " \n"));
  EXPECT_FALSE(CreateDSN("n", "d", "s", "u", "p", "db", "NoSuchDriver"));
  EXPECT_TRUE(log.Has("[ERROR]", "SQLConfigDataSource returned FALSE \n"));
}

}  // namespace
}  // namespace tessera
