// XML import of table data: rows per second for a 100,000-row document, beside the time libxml2
// alone takes to parse and free the same document, so the import's own cost over the parser's is
// measured in one run. A second document of the same size nests child rows under parent rows,
// so every child resolves its foreign key from the element around it.
#include <benchmark/benchmark.h>

#include <libxml/parser.h>

#include <cstdint>
#include <memory>
#include <string>
#include <utility>

#include "bench/bench_compare.h"
#include "tessera/schema/data_dictionary.h"
#include "tessera/table/table_data.h"
#include "tessera/values/sql_data_type.h"
#include "tessera/xml/xml_import.h"

namespace {

constexpr int32_t kRows = 100000;
constexpr int32_t kChildrenPerParent = 9;  // nested document: 10,000 parents with 9 children each

void DefineTable(const char* name, std::initializer_list<std::pair<const char*, BYTE>> columns, const char* key,
                 const char* foreignKey = nullptr, const char* referenceTable = nullptr) {
  if (tessera::GetTableDefn(name) != nullptr) return;
  auto defn = std::make_unique<tessera::TableDefn>();
  defn->name = name;
  defn->columns = std::make_unique<tessera::ColumnVector>();
  for (const auto& [columnName, type] : columns) {
    auto column = std::make_unique<tessera::ColumnDefn>();
    column->name = columnName;
    column->type = type;
    defn->columns->AddData(std::move(column));
  }
  defn->constraints = std::make_unique<tessera::ConstraintDefn>();
  defn->constraints->primaryKeys = {key};
  defn->constraints->primaryKeyCount = 1;
  if (foreignKey != nullptr) {
    auto fk = std::make_unique<tessera::ForeignKeyDefn>();
    fk->localColumn = foreignKey;
    fk->referenceColumn = foreignKey;
    fk->referenceTable = referenceTable;
    tessera::AddForeignKeyDefn(*defn->constraints, std::move(fk));
  }
  tessera::AddTableDefn(std::move(defn));
}

void DefineTables() {
  DefineTable("BenchParam",
              {{"PARAM_ID", tessera::CRV_SQL_INT}, {"PARAM_NAME", tessera::CRV_SQL_CHAR},
               {"PARAM_VALUE", tessera::CRV_SQL_TEXT}, {"UPDATED_AT", tessera::CRV_SQL_DATETIME},
               {"ENABLED", tessera::CRV_SQL_BOOLEAN}},
              "PARAM_ID");
  DefineTable("BenchParent", {{"PARENT_ID", tessera::CRV_SQL_INT}, {"NAME", tessera::CRV_SQL_CHAR}}, "PARENT_ID");
  DefineTable("BenchChild",
              {{"CHILD_ID", tessera::CRV_SQL_INT}, {"PARENT_ID", tessera::CRV_SQL_INT}, {"NAME", tessera::CRV_SQL_CHAR}},
              "CHILD_ID", "PARENT_ID", "BenchParent");
}

const std::string& FlatDocument() {
  static const std::string document = [] {
    std::string text = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<BenchParamList>\n";
    for (int32_t i = 0; i < kRows; ++i) {
      const std::string n = std::to_string(i);
      text += "  <BenchParam PARAM_ID=\"" + n + "\" PARAM_NAME=\"param_" + n + "\" PARAM_VALUE=\"value &amp; text " + n +
              "\" UPDATED_AT=\"2024-03-12 08:30:00\" ENABLED=\"" + (i % 2 ? "true" : "false") + "\"/>\n";
    }
    return text + "</BenchParamList>\n";
  }();
  return document;
}

const std::string& NestedDocument() {
  static const std::string document = [] {
    std::string text = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Data>\n";
    int32_t child = 0;
    for (int32_t p = 0; p < kRows / (kChildrenPerParent + 1); ++p) {
      const std::string n = std::to_string(p);
      text += "  <BenchParent PARENT_ID=\"" + n + "\" NAME=\"parent " + n + "\">\n";
      for (int32_t c = 0; c < kChildrenPerParent; ++c, ++child)
        text += "    <BenchChild CHILD_ID=\"" + std::to_string(child) + "\" NAME=\"child\"/>\n";
      text += "  </BenchParent>\n";
    }
    return text + "</Data>\n";
  }();
  return document;
}

void ImportDocument(benchmark::State& state, const std::string& document, std::initializer_list<const char*> tables) {
  DefineTables();
  for (auto _ : state) {
    const bool imported = tessera::LoadTableDataFromXMLBuffer(document.data(), static_cast<int32_t>(document.size()));
    state.PauseTiming();
    if (!imported) state.SkipWithError("import failed");
    for (const char* table : tables) tessera::RemoveTableData(table);
    state.ResumeTiming();
  }
  state.counters["rows/s"] = benchmark::Counter(static_cast<double>(kRows), benchmark::Counter::kIsIterationInvariantRate);
}

void ParseOnly(benchmark::State& state, const std::string& document) {
  for (auto _ : state) {
    xmlDocPtr doc = xmlParseMemory(document.data(), static_cast<int>(document.size()));
    if (doc == nullptr) state.SkipWithError("parse failed");
    xmlFreeDoc(doc);
  }
  state.counters["rows/s"] = benchmark::Counter(static_cast<double>(kRows), benchmark::Counter::kIsIterationInvariantRate);
}

void BM_ImportFlat(benchmark::State& state) { ImportDocument(state, FlatDocument(), {"BenchParam"}); }
void BM_Libxml2ParseFlat(benchmark::State& state) { ParseOnly(state, FlatDocument()); }
void BM_ImportNested(benchmark::State& state) { ImportDocument(state, NestedDocument(), {"BenchParent", "BenchChild"}); }
void BM_Libxml2ParseNested(benchmark::State& state) { ParseOnly(state, NestedDocument()); }

BENCHMARK(BM_ImportFlat)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Libxml2ParseFlat)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ImportNested)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Libxml2ParseNested)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  return bench::RunAndCompare(argc, argv,
                              {{"BM_ImportFlat", "BM_Libxml2ParseFlat"}, {"BM_ImportNested", "BM_Libxml2ParseNested"}},
                              "XML import of 100,000 rows (import / parse alone)");
}
