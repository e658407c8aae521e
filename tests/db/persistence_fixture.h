// A data directory (the example one) on each engine: SQLite on a file, and the private
// PostgreSQL and MariaDB servers of db_servers.sh (connection strings from HL_DB_STATE). Each
// case starts from an empty database.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "tessera/db/conn_params.h"
#include "engine_setup.h"
#include "tessera/db/connection_pool.h"
#include "tessera/db/db_dispatch.h"
#include "tessera/db/init_tessera.h"
#include "tessera/db/odbc/odbc_provider.h"
#include "tessera/schema/data_dictionary.h"
#include "tessera/table/table_data.h"
#include "tests/support/log_capture.h"
#include "tessera/values/value_convert.h"

namespace tessera::persisttest {

namespace fs = std::filesystem;

struct Engine {
  const char* dbType;
  const char* stateKey;  // null: SQLite on a file of the data directory
};

inline const Engine kEngines[] = {
    {"SQLITE", nullptr},
    {"PGSQL", "HL_PGSQL_CONNECTION"},
    {"MYSQL", "HL_MYSQL_CONNECTION"},
};

inline std::string EngineName(const ::testing::TestParamInfo<Engine>& info) { return info.param.dbType; }

class PersistenceTest : public ::testing::TestWithParam<Engine> {
 protected:
  void SetUp() override {
    const Engine& engine = GetParam();
    dbtest::EngineConnection(engine.dbType, engine.stateKey, connection_);
    if (HasFatalFailure()) return;
    dbtest::PrepareDataDirectory(root_, engine.dbType, connection_);
    if (engine.stateKey != nullptr) DropTables();
  }
  void TearDown() override { DeInitTessera(); }

  // Server databases outlive a test: every dictionary table is dropped first.
  void DropTables() {
    dbtest::DropTables(GetParam().dbType, connection_,
                       {"IDXCHILD", "IDXROOT_IDX", "IDXROOT", "BLOBTEST", "TXTEST", "SeqGenState", "PatchDeployment",
                        "Patch", "InstalledProduct", "NetworkAdapter", "Computer", "ServerInfo", "Agentparams"});
  }

  void Init() { ASSERT_TRUE(InitTessera(root_.str().c_str())) << "InitTessera failed on " << GetParam().dbType; }

  ConnectionHandle* Handle() { return GetConnectionHandle("maindb"); }
  BOOL Run(const std::string& sql) { return ExecuteUpdate(Handle(), sql.c_str()); }

  // Every row of a query as texts ("NULL" for a NULL value).
  std::vector<std::vector<std::string>> Rows(const std::string& sql) {
    std::vector<std::vector<std::string>> rows;
    ResultSetPtr rs = ExecuteQuery(Handle(), sql.c_str());
    EXPECT_TRUE(rs) << sql;
    if (!rs) return rows;
    while (const std::vector<Value>* row = ResultSetNextRow(*rs)) {
      std::vector<std::string> texts;
      for (size_t i = 0; i < row->size(); ++i)
        texts.push_back(ConvertValueToString((*row)[i], rs->columns[i].type).value_or("?"));
      rows.push_back(std::move(texts));
    }
    return rows;
  }
  // The single integer a query gives, or -1.
  long long Number(const std::string& sql) {
    auto rows = Rows(sql);
    return rows.size() == 1 && rows[0].size() == 1 ? std::atoll(rows[0][0].c_str()) : -1;
  }
  long long BatchEnd(const std::string& sequence) {
    return Number("select CURRENTBATCHEND from SeqGenState where SEQNAME = '" + sequence + "'");
  }

  std::string connection_;
  hl::test::TempDir root_;
};

// The rows of a loaded table, in list order.
inline std::vector<RowObject*> LoadedRows(const char* table) {
  std::vector<RowObject*> rows;
  TableData* data = GetTableDataByName(table);
  if (data == nullptr) return rows;
  for (RowObject* row = data->firstRow.get(); row != nullptr; row = row->next.get()) rows.push_back(row);
  return rows;
}

// The text of one column of a row.
inline std::string Text(const RowObject* row, const char* table, const char* column) {
  const TableDefn* defn = GetTableDefn(table);
  int32_t index = defn->ColumnIndex(column);
  const Value* value = row->ValueAt(index);
  return value ? ConvertValueToString(*value, defn->FindColumn(column)->type).value_or("?") : "?";
}

}  // namespace tessera::persisttest
