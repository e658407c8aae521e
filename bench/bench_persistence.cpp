// Saving and loading a table beside the sqlite3 client doing the same work on the same file:
//   - SaveAllTables of 100,000 new rows beside sqlite3 running the same INSERT statements from
//     a file in one transaction;
//   - LoadTable of those 100,000 rows beside sqlite3 selecting them.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "bench_compare.h"
#include "tessera/db/connection_pool.h"
#include "tessera/db/db_dispatch.h"
#include "tessera/db/init_tessera.h"
#include "tessera/db/table_load.h"
#include "tessera/db/table_save.h"
#include "tessera/table/table_data.h"
#include "tessera/table/table_rows.h"
#include "tessera/values/value_convert.h"

namespace {

namespace fs = std::filesystem;
using namespace tessera;

constexpr int kRows = 100000;
constexpr const char* kTable = "Agentparams";
fs::path g_root;
std::string g_dbFile;

ConnectionHandle* Handle() { return GetConnectionHandle("maindb"); }

std::unique_ptr<RowObject> BenchRow(int i) {
  std::vector<Value> values(5);
  values[0] = Value::FromNumber<int32_t>(i + 1);
  values[1] = Value::FromText("param " + std::to_string(i) + " O'Brien");
  values[2] = Value::FromText("value " + std::to_string(i));
  values[3] = Value::FromText("STRING");
  return CreateNewRowObject(std::move(values));
}

// An empty table in the database and 100,000 new rows in memory.
void NewRowsInMemory() {
  ExecuteUpdate(Handle(), "delete from Agentparams");
  UnLoadAllTable();
  CreateTable(kTable);
  for (int i = 0; i < kRows; ++i) {
    auto row = BenchRow(i);
    AddNewRow(kTable, row);
  }
}

int CountInDatabase() {
  ResultSetPtr rs = ExecuteQuery(Handle(), "select count(*) from Agentparams");
  if (!rs || !ResultSetNextRow(*rs)) return -1;
  return std::atoi(ConvertValueToString(rs->rows[0][0], rs->columns[0].type).value_or("-1").c_str());
}

bool Run(const std::string& command) { return std::system(command.c_str()) == 0; }

void BM_SaveAllTables(benchmark::State& state) {
  for (auto _ : state) {
    state.PauseTiming();
    NewRowsInMemory();
    state.ResumeTiming();
    SaveAllTables();
    state.PauseTiming();
    if (CountInDatabase() != kRows) state.SkipWithError("the rows were not saved");
    state.ResumeTiming();
  }
}

void BM_Sqlite3ImportInserts(benchmark::State& state) {
  const std::string command = "sqlite3 '" + g_dbFile + "' < '" + (g_root / "inserts.sql").string() + "'";
  for (auto _ : state) {
    state.PauseTiming();
    ExecuteUpdate(Handle(), "delete from Agentparams");
    state.ResumeTiming();
    if (!Run(command)) state.SkipWithError(("command failed: " + command).c_str());
  }
}

void BM_LoadTable(benchmark::State& state) {
  NewRowsInMemory();
  SaveAllTables();
  for (auto _ : state) {
    state.PauseTiming();
    UnLoadAllTable();
    state.ResumeTiming();
    if (!LoadTable(kTable)) state.SkipWithError("LoadTable failed");
  }
  if (GetTableDataByName(kTable) == nullptr || GetTableDataByName(kTable)->directory.liveCount() != kRows)
    state.SkipWithError("not every row was loaded");
}

void BM_Sqlite3Select(benchmark::State& state) {
  const std::string command = "sqlite3 '" + g_dbFile + "' 'select * from Agentparams' > /dev/null";
  for (auto _ : state)
    if (!Run(command)) state.SkipWithError(("command failed: " + command).c_str());
}

// The statements the save writes, in one transaction, for the client to import.
void WriteInserts(const fs::path& path) {
  std::ofstream out(path);
  out << "BEGIN;\n";
  for (int i = 0; i < kRows; ++i) {
    auto row = BenchRow(i);
    std::optional<std::string> sql = GenerateInsertQuery(kTable, row.get());
    out << sql.value_or("") << (sql && sql->back() == ';' ? "\n" : ";\n");
  }
  out << "COMMIT;\n";
}

}  // namespace

BENCHMARK(BM_SaveAllTables)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_Sqlite3ImportInserts)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_LoadTable)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_Sqlite3Select)->Unit(benchmark::kMillisecond)->Iterations(3);

int main(int argc, char** argv) {
  std::random_device rd;
  g_root = fs::temp_directory_path() / ("tessera_bench_persist_" + std::to_string(rd()));
  fs::create_directories(g_root);
  fs::copy(fs::path(HL_SOURCE_DIR) / "examples/tessera/data", g_root / "data", fs::copy_options::recursive);
  // Only the benchmark's own rows: no default data, nothing loaded at start.
  fs::remove(g_root / "data/tessera.db");
  fs::remove(g_root / "data/defaultdata.txt");
  fs::remove(g_root / "data/loadtablelist.txt");
  g_dbFile = (g_root / "data/tessera.db").string();
  if (!InitTessera(g_root.string().c_str())) {
    std::fprintf(stderr, "bench_persistence: InitTessera failed on %s\n", g_root.string().c_str());
    return 1;
  }
  WriteInserts(g_root / "inserts.sql");
  int rc = bench::RunAndCompare(
      argc, argv,
      {{"BM_SaveAllTables/iterations:3", "BM_Sqlite3ImportInserts/iterations:3"},
       {"BM_LoadTable/iterations:3", "BM_Sqlite3Select/iterations:3"}},
      "persistence");
  DeInitTessera();
  std::error_code ec;
  fs::remove_all(g_root, ec);
  return rc;
}
