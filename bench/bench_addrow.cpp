// AddNewRow throughput: 100,000 rows added to a fresh table per iteration, against SQLite in
// memory inserting the same rows with a prepared statement in one transaction.
#include <benchmark/benchmark.h>

#include "bench/bench_compare.h"
#include "bench/bench_table_fixture.h"

namespace {

constexpr int32_t kRows = 100000;

void BM_TesseraAddNewRow(benchmark::State& state) {
  bench::DefineBenchTable();
  std::vector<bench::BenchRow> source;
  for (int32_t i = 0; i < kRows; ++i) source.push_back(bench::MakeBenchRow(i));
  for (auto _ : state) {
    state.PauseTiming();
    tessera::RemoveTableData("Bench");
    tessera::CreateTable("Bench");
    state.ResumeTiming();
    for (const bench::BenchRow& r : source) {
      auto row = bench::MakeTesseraRow(r);
      if (!tessera::AddNewRow("Bench", row)) state.SkipWithError("AddNewRow failed");
    }
  }
  state.counters["rows/s"] = benchmark::Counter(static_cast<double>(kRows), benchmark::Counter::kIsIterationInvariantRate);
  tessera::RemoveTableData("Bench");
}
BENCHMARK(BM_TesseraAddNewRow)->Unit(benchmark::kMillisecond);

void BM_SqliteInsert(benchmark::State& state) {
  bench::SqliteDb db;
  std::vector<bench::BenchRow> source;
  for (int32_t i = 0; i < kRows; ++i) source.push_back(bench::MakeBenchRow(i));
  sqlite3_stmt* insert = db.Prepare("INSERT INTO Bench VALUES (?1, ?2, ?3, ?4)");
  for (auto _ : state) {
    state.PauseTiming();
    db.Exec("DELETE FROM Bench");
    state.ResumeTiming();
    db.Exec("BEGIN");
    for (const bench::BenchRow& r : source) db.Insert(insert, r);
    db.Exec("COMMIT");
  }
  state.counters["rows/s"] = benchmark::Counter(static_cast<double>(kRows), benchmark::Counter::kIsIterationInvariantRate);
  sqlite3_finalize(insert);
}
BENCHMARK(BM_SqliteInsert)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  return bench::RunAndCompare(argc, argv, {{"BM_TesseraAddNewRow", "BM_SqliteInsert"}}, "add 100,000 rows");
}
