// Shared set-up of the database tests: where each engine's server is (the state file that
// db_servers.sh writes, named by HL_DB_STATE), a copy of the example data directory pointed at
// an engine, and an empty database to start from.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "tessera/db/conn_params.h"
#include "tessera/db/odbc/odbc_provider.h"
#include "tests/support/temp_dir.h"

namespace tessera::dbtest {

// The SQLite default: a file inside the data directory.
inline const char kSqliteConnection[] = "Driver=SQLite3;Database=%TESSERA_DATA%/tessera.db";

// KEY=value lines of the server state file; empty when HL_DB_STATE is unset or unreadable.
inline std::map<std::string, std::string> ReadServerState() {
  std::map<std::string, std::string> state;
  const char* path = std::getenv("HL_DB_STATE");
  if (path == nullptr) return state;
  std::ifstream in(path);
  for (std::string line; std::getline(in, line);) {
    size_t eq = line.find('=');
    if (eq != std::string::npos) state[line.substr(0, eq)] = line.substr(eq + 1);
  }
  return state;
}

// The connection string of an engine (`stateKey` null: SQLite); a failed assertion when its
// server did not start.
inline void EngineConnection(const char* dbType, const char* stateKey, std::string& connection) {
  connection = kSqliteConnection;
  if (stateKey == nullptr) return;
  auto state = ReadServerState();
  auto it = state.find(stateKey);
  ASSERT_NE(it, state.end()) << "the " << dbType
                             << " server is not running: db_servers.sh start did not succeed (HL_DB_STATE="
                             << (std::getenv("HL_DB_STATE") ? std::getenv("HL_DB_STATE") : "unset") << ")";
  connection = it->second;
}

// Copies the example data directory below `root` and points its one connection at the engine.
inline void PrepareDataDirectory(const hl::test::TempDir& root, const char* dbType, const std::string& connection) {
  namespace fs = std::filesystem;
  fs::copy(fs::path(HL_SOURCE_DIR) / "examples/tessera/data", root.path() / "data", fs::copy_options::recursive);
  fs::remove(root.path() / "data/tessera.db");
  root.Write("data/connparams.txt", std::string("localhost 0 tessera NULL NULL x maindb ODBC ") + dbType + " YES " +
                                        connection + "\n");
}

// Server databases outlive a test: drops the tables a test may have left.
inline void DropTables(const char* dbType, const std::string& connection, const std::vector<const char*>& tables) {
  ConnParams params;
  params.dsn = "tessera";
  params.useConnectionString = 1;
  params.connectionString = connection;
  ConnectionHandlePtr handle = ODBCConnect(&params);
  ASSERT_TRUE(handle) << "cannot connect to " << dbType << " with " << connection;
  for (const char* table : tables) ODBCExecuteUpdate(handle.get(), ("drop table if exists " + std::string(table)).c_str());
  ODBCDisconnect(handle.get());
}

}  // namespace tessera::dbtest
