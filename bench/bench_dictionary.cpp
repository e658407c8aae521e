// Data dictionary: load time per 1,000 columns and GetTableDefn lookups per second over a
// generated dictionary (250 tables, 3,000 columns in 5 documents), with SQLite's schema work on
// the same tables for comparison. Run: bin/bench_dictionary
#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "tessera/db/tessera_root.h"
#include "tessera/schema/data_dictionary.h"
#include "tessera/schema/dict_loader.h"

namespace {

constexpr int kTables = 250;
constexpr int kColumnsPerTable = 12;
constexpr int kDocuments = 5;
constexpr int kColumns = kTables * kColumnsPerTable;

const char* const kTypes[] = {"CRV_SQL_INT", "CRV_SQL_CHAR", "DATETIME", "BOOLEAN", "CRV_SQL_DOUBLE", "TEXT"};

std::string TableName(int t) { return "BenchTable" + std::to_string(t); }

std::string ColumnXml(int t, int c) {
  std::string type = kTypes[c % 6];
  std::string xml = "      <column name=\"COL_" + std::to_string(c) + "\">\n        <data-type>" + type + "</data-type>\n";
  if (type == "CRV_SQL_CHAR") xml += "        <max-size>64</max-size>\n        <default-value>none</default-value>\n";
  if (type == "CRV_SQL_INT" && c == 0)
    xml += "        <nullable>false</nullable>\n        <uniquevalue-generation><generator-name>SEQ_" +
           std::to_string(t) + "</generator-name></uniquevalue-generation>\n";
  if (type == "BOOLEAN") xml += "        <default-value>FALSE</default-value>\n";
  if (type == "CRV_SQL_DOUBLE")
    xml += "        <allowed-values><from>0</from><to>100</to></allowed-values>\n";
  return xml + "      </column>\n";
}

// Writes <root>/data/datadictionary.txt and its documents once per process.
const std::filesystem::path& DataRoot() {
  static const std::filesystem::path root = [] {
    std::filesystem::path dir = std::filesystem::temp_directory_path() /
                                ("tessera_bench_" + std::to_string(std::random_device{}()));
    std::filesystem::create_directories(dir / "data");
    std::ofstream list(dir / "data" / "datadictionary.txt");
    for (int d = 0; d < kDocuments; ++d) {
      std::string name = "bench" + std::to_string(d) + ".xml";
      list << name << "\n";
      std::ofstream doc(dir / "data" / name);
      doc << "<?xml version=\"1.0\"?>\n<data-dictionary>\n";
      for (int t = d; t < kTables; t += kDocuments) {
        doc << "  <table name=\"" << TableName(t) << "\">\n    <description>generated</description>\n    <columns>\n";
        for (int c = 0; c < kColumnsPerTable; ++c) doc << ColumnXml(t, c);
        doc << "    </columns>\n    <primary-key><primary-key-column>COL_0</primary-key-column></primary-key>\n";
        if (t > 0)
          doc << "    <foreign-keys><foreign-key name=\"fk\" reference-table-name=\"" << TableName(t - 1)
              << "\"><fk-columns><fk-column><fk-local-column>COL_6</fk-local-column>"
                 "<fk-reference-column>COL_0</fk-reference-column></fk-column></fk-columns></foreign-key>"
                 "</foreign-keys>\n";
        doc << "  </table>\n";
      }
      doc << "</data-dictionary>\n";
    }
    return dir;
  }();
  return root;
}

void LoadOnce() {
  tessera::FreeDataDictionary();
  tessera::SetTesseraRoot(DataRoot().string().c_str());
  tessera::LoadAllDataDictFiles();
}

void BM_LoadDictionary(benchmark::State& state) {
  for (auto _ : state) LoadOnce();
  if (tessera::GetDataDictionary().count() != kTables) state.SkipWithError("dictionary did not load");
  state.counters["tables"] = kTables;
  state.counters["columns"] = kColumns;
  // Seconds per 1,000 columns loaded.
  state.counters["sec_per_1000_columns"] =
      benchmark::Counter(kColumns / 1000.0, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_LoadDictionary)->Unit(benchmark::kMillisecond);

void BM_GetTableDefn(benchmark::State& state) {
  LoadOnce();
  std::vector<std::string> names;
  std::mt19937 random(7);
  for (int i = 0; i < 1024; ++i) {
    std::string name = TableName(static_cast<int>(random() % kTables));
    if (i % 2) for (char& c : name) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    names.push_back(name);
  }
  size_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(tessera::GetTableDefn(names[i++ & 1023].c_str()));
  }
  state.SetItemsProcessed(state.iterations());  // items_per_second = lookups per second
}
BENCHMARK(BM_GetTableDefn);

// For comparison: SQLite creating the same tables in memory, and its column metadata lookup.
std::string CreateSql(int t) {
  std::string sql = "CREATE TABLE " + TableName(t) + " (";
  for (int c = 0; c < kColumnsPerTable; ++c) {
    static const char* const sqlTypes[] = {"INTEGER", "VARCHAR(64) DEFAULT 'none'", "DATETIME", "BOOLEAN DEFAULT 0",
                                           "DOUBLE CHECK (COL_4 BETWEEN 0 AND 100)", "TEXT"};
    sql += (c ? ", COL_" : "COL_") + std::to_string(c) + " " + sqlTypes[c % 6];
    if (c == 0) sql += " PRIMARY KEY";
  }
  return sql + ")";
}

void BM_SqliteCreateSchema(benchmark::State& state) {
  for (auto _ : state) {
    sqlite3* db = nullptr;
    sqlite3_open(":memory:", &db);
    sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
    for (int t = 0; t < kTables; ++t) sqlite3_exec(db, CreateSql(t).c_str(), nullptr, nullptr, nullptr);
    sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
    sqlite3_close(db);
  }
  state.counters["sec_per_1000_columns"] =
      benchmark::Counter(kColumns / 1000.0, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_SqliteCreateSchema)->Unit(benchmark::kMillisecond);

void BM_SqliteColumnMetadata(benchmark::State& state) {
  sqlite3* db = nullptr;
  sqlite3_open(":memory:", &db);
  for (int t = 0; t < kTables; ++t) sqlite3_exec(db, CreateSql(t).c_str(), nullptr, nullptr, nullptr);
  std::mt19937 random(7);
  std::vector<std::string> names;
  for (int i = 0; i < 1024; ++i) names.push_back(TableName(static_cast<int>(random() % kTables)));
  size_t i = 0;
  for (auto _ : state) {
    const char* type = nullptr;
    sqlite3_table_column_metadata(db, nullptr, names[i++ & 1023].c_str(), "COL_0", &type, nullptr, nullptr, nullptr,
                                  nullptr);
    benchmark::DoNotOptimize(type);
  }
  sqlite3_close(db);
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_SqliteColumnMetadata);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  tessera::FreeDataDictionary();
  std::error_code ec;
  std::filesystem::remove_all(DataRoot(), ec);
  return 0;
}
