// SelectRows with a two-leaf criteria over 1,000,000 rows, against the same selection by SQLite
// in memory with a prepared statement.
#include <benchmark/benchmark.h>

#include <vector>

#include "bench/bench_compare.h"
#include "bench/bench_table_fixture.h"
#include "tessera/table/select_rows.h"

namespace {

constexpr int32_t kRows = 1000000;
constexpr const char* kCriteria = "AGE >= 50 and NAME = 'name3'";

void BM_TesseraSelectRows(benchmark::State& state) {
  bench::FillTessera(kRows);
  int32_t matched = 0;
  for (auto _ : state) {
    std::unique_ptr<tessera::ResultData> result = tessera::SelectRows("Bench", kCriteria);
    matched = result ? result->rowCount : -1;
    benchmark::DoNotOptimize(matched);
  }
  state.counters["matched"] = matched;
  state.counters["rows/s"] = benchmark::Counter(static_cast<double>(kRows), benchmark::Counter::kIsIterationInvariantRate);
  tessera::RemoveTableData("Bench");
}
BENCHMARK(BM_TesseraSelectRows)->Unit(benchmark::kMillisecond);

void BM_SqliteSelect(benchmark::State& state) {
  bench::SqliteDb db;
  db.Fill(kRows);
  sqlite3_stmt* select = db.Prepare("SELECT rowid FROM Bench WHERE AGE >= ?1 AND NAME = ?2");
  std::vector<sqlite3_int64> rows;
  rows.reserve(kRows);
  for (auto _ : state) {
    rows.clear();
    sqlite3_bind_int(select, 1, 50);
    sqlite3_bind_text(select, 2, "name3", 5, SQLITE_STATIC);
    while (sqlite3_step(select) == SQLITE_ROW) rows.push_back(sqlite3_column_int64(select, 0));
    sqlite3_reset(select);
    benchmark::DoNotOptimize(rows.data());
  }
  state.counters["matched"] = static_cast<double>(rows.size());
  state.counters["rows/s"] = benchmark::Counter(static_cast<double>(kRows), benchmark::Counter::kIsIterationInvariantRate);
  sqlite3_finalize(select);
}
BENCHMARK(BM_SqliteSelect)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  return bench::RunAndCompare(argc, argv, {{"BM_TesseraSelectRows", "BM_SqliteSelect"}}, "select 1,000,000 rows");
}
