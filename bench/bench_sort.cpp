// SortResultSet over 100,000 rows, against SQLite in memory sorting the same rows with a prepared
// ORDER BY statement.
#include <benchmark/benchmark.h>

#include <vector>

#include "bench/bench_compare.h"
#include "bench/bench_table_fixture.h"
#include "tessera/table/select_rows.h"

namespace {

constexpr int32_t kRows = 100000;

// The sort alone: a fresh selection in insertion order is made outside the timing.
void BM_TesseraSortResultSet(benchmark::State& state) {
  bench::FillTessera(kRows);
  for (auto _ : state) {
    state.PauseTiming();
    std::unique_ptr<tessera::ResultData> result = tessera::SelectRows("Bench", nullptr);
    state.ResumeTiming();
    if (!tessera::SortResultSet(result.get(), "RANK", 1)) state.SkipWithError("sort failed");
    benchmark::DoNotOptimize(result->head);
    state.PauseTiming();
    result.reset();
    state.ResumeTiming();
  }
  state.counters["rows/s"] = benchmark::Counter(static_cast<double>(kRows), benchmark::Counter::kIsIterationInvariantRate);
  tessera::RemoveTableData("Bench");
}
BENCHMARK(BM_TesseraSortResultSet)->Unit(benchmark::kMillisecond);

// Selecting every row and sorting it: the same work as the SQLite ORDER BY.
void BM_TesseraSelectAndSort(benchmark::State& state) {
  bench::FillTessera(kRows);
  for (auto _ : state) {
    std::unique_ptr<tessera::ResultData> result = tessera::SelectRows("Bench", nullptr);
    if (!tessera::SortResultSet(result.get(), "RANK", 1)) state.SkipWithError("sort failed");
    benchmark::DoNotOptimize(result->head);
  }
  state.counters["rows/s"] = benchmark::Counter(static_cast<double>(kRows), benchmark::Counter::kIsIterationInvariantRate);
  tessera::RemoveTableData("Bench");
}
BENCHMARK(BM_TesseraSelectAndSort)->Unit(benchmark::kMillisecond);

void BM_SqliteOrderBy(benchmark::State& state) {
  bench::SqliteDb db;
  db.Fill(kRows);
  sqlite3_stmt* select = db.Prepare("SELECT rowid FROM Bench ORDER BY RANK");
  std::vector<sqlite3_int64> rows;
  rows.reserve(kRows);
  for (auto _ : state) {
    rows.clear();
    while (sqlite3_step(select) == SQLITE_ROW) rows.push_back(sqlite3_column_int64(select, 0));
    sqlite3_reset(select);
    benchmark::DoNotOptimize(rows.data());
  }
  state.counters["rows/s"] = benchmark::Counter(static_cast<double>(kRows), benchmark::Counter::kIsIterationInvariantRate);
  sqlite3_finalize(select);
}
BENCHMARK(BM_SqliteOrderBy)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  return bench::RunAndCompare(argc, argv,
                              {{"BM_TesseraSelectAndSort", "BM_SqliteOrderBy"}, {"BM_TesseraSortResultSet", "BM_SqliteOrderBy"}},
                              "sort 100,000 rows");
}
