// Test helpers for the table store: definitions built by hand and a clean store per test.
#pragma once

#include <gtest/gtest.h>

#include <initializer_list>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "tessera/notify/notification.h"
#include "tessera/schema/data_dictionary.h"
#include "tessera/seqgen/sequence_map.h"
#include "tessera/table/row_object.h"
#include "tessera/table/table_data.h"
#include "tessera/table/table_rows.h"
#include "tessera/values/value_convert.h"

namespace tessera::test {

struct ColumnSketch {
  ColumnSketch(std::string columnName, BYTE columnType, std::optional<std::string> columnDefault = std::nullopt,
             std::optional<std::string> columnGenerator = std::nullopt)
      : name(std::move(columnName)), type(columnType), defaultText(std::move(columnDefault)),
        generator(std::move(columnGenerator)) {}
  std::string name;
  BYTE type = 0;
  std::optional<std::string> defaultText;  // converted with ConvertStringToValue
  std::optional<std::string> generator;
};

// A dictionary definition of the table, not yet added.
inline std::unique_ptr<TableDefn> MakeTableDefn(const std::string& name, std::initializer_list<ColumnSketch> columns,
                                                std::vector<std::string> primaryKeys = {}) {
  auto defn = std::make_unique<TableDefn>();
  defn->name = name;
  defn->columns = std::make_unique<ColumnVector>();
  for (const ColumnSketch& sketch : columns) {
    auto column = std::make_unique<ColumnDefn>();
    column->name = sketch.name;
    column->type = sketch.type;
    if (sketch.defaultText) {
      int32_t length = static_cast<int32_t>(sketch.defaultText->size());
      column->defaultValue = ConvertStringToValue(sketch.defaultText->c_str(), length, sketch.type);
      column->defaultLength = column->defaultValue.length();
    }
    column->generatorName = sketch.generator;
    defn->columns->AddData(std::move(column));
  }
  defn->constraints = std::make_unique<ConstraintDefn>();
  defn->constraints->primaryKeyCount = static_cast<int32_t>(primaryKeys.size());
  defn->constraints->primaryKeys = std::move(primaryKeys);
  return defn;
}

// Adds a dictionary definition of the table.
inline void DefineTable(const std::string& name, std::initializer_list<ColumnSketch> columns,
                        std::vector<std::string> primaryKeys = {}) {
  ASSERT_TRUE(AddTableDefn(MakeTableDefn(name, columns, std::move(primaryKeys))));
}

inline Value Int(int32_t v) { return Value::FromNumber<int32_t>(v); }
inline Value Text(const std::string& s) { return Value::FromText(s); }

// A new row with the given values (state 2).
inline std::unique_ptr<RowObject> MakeRow(std::vector<Value> values) { return CreateNewRowObject(std::move(values)); }

// Adds a row; fails the test when AddNewRow refuses it. Returns the stored row.
inline RowObject* AddRow(const char* table, std::vector<Value> values, BYTE state = ROW_STATE_NEW) {
  auto row = MakeRow(std::move(values));
  row->state = state;
  RowObject* raw = row.get();
  EXPECT_TRUE(AddNewRow(table, row));
  return row ? nullptr : raw;
}

// The rows of a table in list order.
inline std::vector<RowObject*> RowsOf(const char* table) {
  std::vector<RowObject*> rows;
  TableData* data = GetTableDataByName(table);
  for (RowObject* r = data ? data->firstRow.get() : nullptr; r != nullptr; r = r->next.get()) rows.push_back(r);
  return rows;
}

// Leaves the process-wide store empty before and after each test.
class StoreTest : public ::testing::Test {
 protected:
  void SetUp() override { Reset(); }
  void TearDown() override { Reset(); }
  static void Reset() {
    DeInitNotification();
    FreeAllTableData();
    InitTableDataList();
    FreeDataDictionary();
    InitDataDictionary();
    FreeSequenceMap();
    SetSequenceRefill(nullptr);
  }
};

}  // namespace tessera::test
