// Test helpers of the database layer: hand-made dictionary definitions and rows.
#pragma once

#include <initializer_list>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "tessera/schema/data_dictionary.h"
#include "tessera/table/row_object.h"
#include "tessera/values/value_convert.h"

namespace tessera::dbtest {

struct Col {
  std::string name;
  BYTE type = 0;
  int32_t maxSize = 0;
  bool nullable = true;
  bool unique = false;
  std::optional<std::string> defaultText = std::nullopt;
};

struct Fk {
  std::string local, referenceTable, reference;
  bool cascade = false;
};

inline std::unique_ptr<TableDefn> MakeTable(const std::string& name, std::initializer_list<Col> columns,
                                            std::vector<std::string> keys = {}, std::initializer_list<Fk> fks = {}) {
  auto defn = std::make_unique<TableDefn>();
  defn->name = name;
  defn->columns = std::make_unique<ColumnVector>();
  for (const Col& c : columns) {
    auto column = std::make_unique<ColumnDefn>();
    column->name = c.name;
    column->type = c.type;
    column->maxSize = c.maxSize;
    column->nullable = c.nullable ? 1 : 0;
    column->unique = c.unique ? 1 : 0;
    if (c.defaultText) {
      int32_t length = static_cast<int32_t>(c.defaultText->size());
      column->defaultValue = ConvertStringToValue(c.defaultText->c_str(), length, c.type);
      column->defaultLength = column->defaultValue.length();
    }
    defn->columns->AddData(std::move(column));
  }
  defn->constraints = std::make_unique<ConstraintDefn>();
  defn->constraints->primaryKeyCount = static_cast<int32_t>(keys.size());
  defn->constraints->primaryKeys = std::move(keys);
  for (const Fk& f : fks) {
    auto key = std::make_unique<ForeignKeyDefn>();
    key->localColumn = f.local;
    key->referenceTable = f.referenceTable;
    key->referenceColumn = f.reference;
    key->onDeleteCascade = f.cascade ? 1 : 0;
    AddForeignKeyDefn(*defn->constraints, std::move(key));
  }
  return defn;
}

// A value from its text form for a column type.
inline Value V(BYTE type, const std::string& text) {
  int32_t length = static_cast<int32_t>(text.size());
  return ConvertStringToValue(text.c_str(), length, type);
}

inline std::unique_ptr<RowObject> Row(std::vector<Value> values) {
  return std::make_unique<RowObject>(std::move(values), ROW_STATE_NEW);
}

}  // namespace tessera::dbtest
