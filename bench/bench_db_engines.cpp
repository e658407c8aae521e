// The ODBC provider beside each engine's own command-line client, on the same rows:
//   - ExecuteQuery of 100,000 rows beside `sqlite3` / `psql` reading them;
//   - 100,000 ExecuteUpdate inserts in one transaction beside the client running the same
//     statements in one transaction.
// PostgreSQL runs on a private server that tests/db/db_servers.sh starts for the run.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "bench_compare.h"
#include "tessera/db/conn_params.h"
#include "tessera/db/connection_pool.h"
#include "tessera/db/db_dispatch.h"
#include "tessera/db/db_provider.h"

namespace {

namespace fs = std::filesystem;
using namespace tessera;

constexpr int kRows = 100000;

fs::path g_dir;
std::string g_sqliteFile, g_psql, g_serverState;
ConnectionHandlePtr g_sqlite, g_pgsql;
std::vector<std::string> g_inserts;

std::string InsertText(int i) {
  return "insert into BENCH values(" + std::to_string(i) + ",'name " + std::to_string(i) + " O''Brien'," +
         std::to_string(i % 1000) + ".5)";
}

void WriteScript(const fs::path& path) {
  std::ofstream out(path);
  out << "BEGIN;\n";
  for (const std::string& sql : g_inserts) out << sql << ";\n";
  out << "COMMIT;\n";
}

ConnectionHandlePtr Open(const std::string& connection) {
  ConnParams params;
  params.dsn = "bench";
  params.connectionName = "bench";
  params.providerName = "ODBC";
  params.useConnectionString = 1;
  params.connectionString = connection;
  return OpenDBConnection(&params);
}

// An empty BENCH table; `filled` also loads the rows.
void ResetTable(ConnectionHandle* handle, bool filled) {
  ExecuteUpdate(handle, "drop table if exists BENCH");
  ExecuteUpdate(handle, "create table BENCH (ID int primary key, NAME varchar(64), SCORE double precision)");
  if (!filled) return;
  BeginTransaction(handle);
  for (const std::string& sql : g_inserts) ExecuteUpdate(handle, sql.c_str());
  CommitTransaction(handle);
}

bool Run(const std::string& command) { return std::system(command.c_str()) == 0; }

void ProviderQuery(benchmark::State& state, ConnectionHandle* handle) {
  ResetTable(handle, true);
  for (auto _ : state) {
    ResultSetPtr rs = ExecuteQuery(handle, "select * from BENCH");
    if (!rs || rs->rowCount != kRows) state.SkipWithError("query failed");
    benchmark::DoNotOptimize(rs);
  }
}

void ProviderInsert(benchmark::State& state, ConnectionHandle* handle) {
  for (auto _ : state) {
    state.PauseTiming();
    ResetTable(handle, false);
    state.ResumeTiming();
    BeginTransaction(handle);
    for (const std::string& sql : g_inserts)
      if (!ExecuteUpdate(handle, sql.c_str())) state.SkipWithError("insert failed");
    CommitTransaction(handle);
  }
}

void ClientCommand(benchmark::State& state, ConnectionHandle* handle, bool filled, const std::string& command) {
  for (auto _ : state) {
    state.PauseTiming();
    ResetTable(handle, filled);
    state.ResumeTiming();
    if (!Run(command)) state.SkipWithError(("command failed: " + command).c_str());
  }
}

void BM_ProviderQuerySqlite(benchmark::State& s) { ProviderQuery(s, g_sqlite.get()); }
void BM_Sqlite3Query(benchmark::State& s) {
  ClientCommand(s, g_sqlite.get(), true, "sqlite3 '" + g_sqliteFile + "' 'select * from BENCH' > /dev/null");
}
void BM_ProviderInsertSqlite(benchmark::State& s) { ProviderInsert(s, g_sqlite.get()); }
void BM_Sqlite3Insert(benchmark::State& s) {
  ClientCommand(s, g_sqlite.get(), false, "sqlite3 '" + g_sqliteFile + "' < '" + (g_dir / "inserts.sql").string() + "'");
}
void BM_ProviderQueryPgsql(benchmark::State& s) { ProviderQuery(s, g_pgsql.get()); }
void BM_PsqlQuery(benchmark::State& s) {
  ClientCommand(s, g_pgsql.get(), true, g_psql + " -q -A -t -c 'select * from BENCH' > /dev/null");
}
void BM_ProviderInsertPgsql(benchmark::State& s) { ProviderInsert(s, g_pgsql.get()); }
void BM_PsqlInsert(benchmark::State& s) {
  ClientCommand(s, g_pgsql.get(), false, g_psql + " -q -v ON_ERROR_STOP=1 -f '" + (g_dir / "inserts.sql").string() + "' > /dev/null");
}

std::map<std::string, std::string> ReadState(const std::string& path) {
  std::map<std::string, std::string> state;
  std::ifstream in(path);
  for (std::string line; std::getline(in, line);)
    if (size_t eq = line.find('='); eq != std::string::npos) state[line.substr(0, eq)] = line.substr(eq + 1);
  return state;
}

}  // namespace

int main(int argc, char** argv) {
  std::random_device rd;
  g_dir = fs::temp_directory_path() / ("tessera_bench_db_" + std::to_string(rd()));
  fs::create_directories(g_dir);
  for (int i = 0; i < kRows; ++i) g_inserts.push_back(InsertText(i));
  WriteScript(g_dir / "inserts.sql");
  InitDBProvider();

  g_sqliteFile = (g_dir / "bench.db").string();
  g_sqlite = Open("Driver=SQLite3;Database=" + g_sqliteFile);
  if (!g_sqlite) {
    std::fprintf(stderr, "bench_db_engines: cannot open SQLite through ODBC (package libsqliteodbc)\n");
    return 1;
  }
  std::vector<std::pair<std::string, std::string>> pairs = {{"BM_ProviderQuerySqlite", "BM_Sqlite3Query"},
                                                            {"BM_ProviderInsertSqlite", "BM_Sqlite3Insert"}};
  using Bench = std::pair<const char*, void (*)(benchmark::State&)>;
  auto add = [](const std::vector<Bench>& list) {
    for (const auto& [name, fn] : list)
      benchmark::RegisterBenchmark(name, fn)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();
  };
  add({{"BM_ProviderQuerySqlite", BM_ProviderQuerySqlite}, {"BM_Sqlite3Query", BM_Sqlite3Query},
       {"BM_ProviderInsertSqlite", BM_ProviderInsertSqlite}, {"BM_Sqlite3Insert", BM_Sqlite3Insert}});

  g_serverState = (g_dir / "servers.env").string();
  const std::string script = std::string(HL_SOURCE_DIR) + "/tests/db/db_servers.sh";
  if (Run("'" + script + "' start '" + g_serverState + "' > /dev/null")) {
    auto state = ReadState(g_serverState);
    g_psql = state["HL_PSQL"];
    g_pgsql = Open(state["HL_PGSQL_CONNECTION"]);
  }
  if (g_pgsql) {
    pairs.push_back({"BM_ProviderQueryPgsql", "BM_PsqlQuery"});
    pairs.push_back({"BM_ProviderInsertPgsql", "BM_PsqlInsert"});
    add({{"BM_ProviderQueryPgsql", BM_ProviderQueryPgsql}, {"BM_PsqlQuery", BM_PsqlQuery},
         {"BM_ProviderInsertPgsql", BM_ProviderInsertPgsql}, {"BM_PsqlInsert", BM_PsqlInsert}});
  } else {
    std::fprintf(stderr, "bench_db_engines: the private PostgreSQL server did not start; PostgreSQL pairs skipped\n");
  }
  // Results are named after the run's settings.
  for (auto& [provider, client] : pairs) {
    provider += "/iterations:1/real_time";
    client += "/iterations:1/real_time";
  }
  int rc = bench::RunAndCompare(argc, argv, pairs, "100,000 rows through ODBC");
  CloseConnection(std::move(g_pgsql));
  CloseConnection(std::move(g_sqlite));
  Run("'" + script + "' stop '" + g_serverState + "' > /dev/null");
  std::error_code ec;
  fs::remove_all(g_dir, ec);
  return rc;
}
