// SelectRows with a two-leaf criteria over 1,000,000 rows, against the same selection by SQLite
// in memory with a prepared statement, and against the machine's limit for the work: a plain
// loop over the two columns the criteria read, held in arrays. Before the timings it prints the
// memory the rows take: the resident bytes per row of the Tessera table beside the size of
// SQLite's in-memory database holding the same rows.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <fstream>
#include <string>
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

// The limit: the AGE and NAME values in arrays (integers, and strings short enough to sit inside
// their std::string), tested by a plain loop that collects the matching positions.
void BM_ArrayLoopLimit(benchmark::State& state) {
  std::vector<int32_t> ages;
  std::vector<std::string> names;
  ages.reserve(kRows);
  names.reserve(kRows);
  for (int32_t i = 0; i < kRows; ++i) {
    const bench::BenchRow row = bench::MakeBenchRow(i);
    ages.push_back(row.age);
    names.push_back(row.name);
  }
  const std::string wanted = "name3";
  std::vector<int32_t> matched;
  matched.reserve(kRows);
  for (auto _ : state) {
    matched.clear();
    for (int32_t i = 0; i < kRows; ++i)
      if (ages[static_cast<size_t>(i)] >= 50 && names[static_cast<size_t>(i)] == wanted) matched.push_back(i);
    benchmark::DoNotOptimize(matched.data());
  }
  state.counters["matched"] = static_cast<double>(matched.size());
  state.counters["rows/s"] = benchmark::Counter(static_cast<double>(kRows), benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_ArrayLoopLimit)->Unit(benchmark::kMillisecond);

// Resident set size of the process in bytes (Linux /proc), 0 when it cannot be read.
long long ResidentBytes() {
  std::ifstream statm("/proc/self/statm");
  long long pages = 0, resident = 0;
  if (!(statm >> pages >> resident)) return 0;
  return resident * 4096;
}

void PrintMemoryPerRow() {
  const long long before = ResidentBytes();
  bench::FillTessera(kRows);
  const long long after = ResidentBytes();
  tessera::RemoveTableData("Bench");
  long long pageCount = 0, pageSize = 0;
  const long long sqliteBefore = sqlite3_memory_used();
  long long sqliteUsed = 0;
  {
    bench::SqliteDb db;
    db.Fill(kRows);
    sqliteUsed = sqlite3_memory_used() - sqliteBefore;
    sqlite3_stmt* pages = db.Prepare("PRAGMA page_count");
    if (sqlite3_step(pages) == SQLITE_ROW) pageCount = sqlite3_column_int64(pages, 0);
    sqlite3_finalize(pages);
    sqlite3_stmt* size = db.Prepare("PRAGMA page_size");
    if (sqlite3_step(size) == SQLITE_ROW) pageSize = sqlite3_column_int64(size, 0);
    sqlite3_finalize(size);
  }
  std::printf("memory for 1,000,000 rows: Tessera resident %.1f bytes/row; SQLite in-memory database %.1f bytes/row "
              "(%lld pages of %lld bytes), SQLite allocator %.1f bytes/row\n",
              static_cast<double>(after - before) / kRows, static_cast<double>(pageCount * pageSize) / kRows, pageCount,
              pageSize, static_cast<double>(sqliteUsed) / kRows);
}

}  // namespace

int main(int argc, char** argv) {
  PrintMemoryPerRow();
  return bench::RunAndCompare(argc, argv,
                              {{"BM_TesseraSelectRows", "BM_SqliteSelect"}, {"BM_TesseraSelectRows", "BM_ArrayLoopLimit"}},
                              "select 1,000,000 rows");
}
