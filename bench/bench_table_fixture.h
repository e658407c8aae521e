// Shared data of the table benchmarks: one dictionary table filled with the same rows in Tessera
// and in an in-memory SQLite database.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "tessera/schema/data_dictionary.h"
#include "tessera/table/row_object.h"
#include "tessera/table/table_data.h"
#include "tessera/table/table_rows.h"
#include "tessera/values/sql_data_type.h"

namespace bench {

// Row i: ID = i, NAME = one of ten names, AGE = a spread of 0..99, RANK = a pseudo-random integer.
struct BenchRow {
  int32_t id;
  std::string name;
  int32_t age;
  int32_t rank;
};

inline BenchRow MakeBenchRow(int32_t i) {
  const uint32_t mixed = static_cast<uint32_t>(i) * 2654435761u;
  return BenchRow{i, "name" + std::to_string(i % 10), static_cast<int32_t>((static_cast<uint32_t>(i) * 7919u) % 100u),
                  static_cast<int32_t>(mixed >> 8) % 1000000};
}

// Defines the dictionary table "Bench" once.
inline void DefineBenchTable() {
  if (tessera::GetTableDefn("Bench") != nullptr) return;
  auto defn = std::make_unique<tessera::TableDefn>();
  defn->name = "Bench";
  defn->columns = std::make_unique<tessera::ColumnVector>();
  const std::pair<const char*, BYTE> columns[] = {
      {"ID", tessera::CRV_SQL_INT}, {"NAME", tessera::CRV_SQL_NCHAR}, {"AGE", tessera::CRV_SQL_INT}, {"RANK", tessera::CRV_SQL_INT}};
  for (const auto& [name, type] : columns) {
    auto column = std::make_unique<tessera::ColumnDefn>();
    column->name = name;
    column->type = type;
    defn->columns->AddData(std::move(column));
  }
  defn->constraints = std::make_unique<tessera::ConstraintDefn>();
  defn->constraints->primaryKeys = {"ID"};
  defn->constraints->primaryKeyCount = 1;
  tessera::AddTableDefn(std::move(defn));
}

inline std::unique_ptr<tessera::RowObject> MakeTesseraRow(const BenchRow& r) {
  std::vector<tessera::Value> values;
  values.reserve(4);
  values.push_back(tessera::Value::FromNumber<int32_t>(r.id));
  values.push_back(tessera::Value::FromText(r.name));
  values.push_back(tessera::Value::FromNumber<int32_t>(r.age));
  values.push_back(tessera::Value::FromNumber<int32_t>(r.rank));
  return tessera::CreateNewRowObject(std::move(values));
}

// A fresh "Bench" TableData with `rows` rows.
inline void FillTessera(int32_t rows) {
  DefineBenchTable();
  tessera::RemoveTableData("Bench");
  if (!tessera::CreateTable("Bench")) std::abort();
  for (int32_t i = 0; i < rows; ++i) {
    auto row = MakeTesseraRow(MakeBenchRow(i));
    if (!tessera::AddNewRow("Bench", row)) std::abort();
  }
}

inline void Check(int rc, sqlite3* db) {
  if (rc != SQLITE_OK && rc != SQLITE_DONE && rc != SQLITE_ROW) {
    std::fprintf(stderr, "sqlite: %s\n", sqlite3_errmsg(db));
    std::abort();
  }
}

class SqliteDb {
 public:
  SqliteDb() {
    Check(sqlite3_open(":memory:", &db_), db_);
    Exec("CREATE TABLE Bench(ID INTEGER, NAME TEXT, AGE INTEGER, RANK INTEGER)");
  }
  ~SqliteDb() { sqlite3_close(db_); }
  SqliteDb(const SqliteDb&) = delete;
  SqliteDb& operator=(const SqliteDb&) = delete;

  sqlite3* get() const { return db_; }
  void Exec(const char* sql) { Check(sqlite3_exec(db_, sql, nullptr, nullptr, nullptr), db_); }
  sqlite3_stmt* Prepare(const char* sql) {
    sqlite3_stmt* statement = nullptr;
    Check(sqlite3_prepare_v2(db_, sql, -1, &statement, nullptr), db_);
    return statement;
  }
  // Inserts rows [0, rows) with a prepared statement in one transaction.
  void Fill(int32_t rows) {
    Exec("DELETE FROM Bench");
    sqlite3_stmt* insert = Prepare("INSERT INTO Bench VALUES (?1, ?2, ?3, ?4)");
    Exec("BEGIN");
    for (int32_t i = 0; i < rows; ++i) Insert(insert, MakeBenchRow(i));
    Exec("COMMIT");
    sqlite3_finalize(insert);
  }
  void Insert(sqlite3_stmt* insert, const BenchRow& r) {
    sqlite3_bind_int(insert, 1, r.id);
    sqlite3_bind_text(insert, 2, r.name.c_str(), static_cast<int>(r.name.size()), SQLITE_TRANSIENT);
    sqlite3_bind_int(insert, 3, r.age);
    sqlite3_bind_int(insert, 4, r.rank);
    Check(sqlite3_step(insert), db_);
    sqlite3_reset(insert);
  }

 private:
  sqlite3* db_ = nullptr;
};

}  // namespace bench
