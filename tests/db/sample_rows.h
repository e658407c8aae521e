// Rows for every table of a dictionary with a value in every column, made so that texts carry
// quotes, backslashes and an injection attempt, integers use their whole unsigned range where
// the engines allow, and foreign-key columns repeat the values of the row they reference.
#pragma once

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "tessera/schema/data_dictionary.h"
#include "tessera/table/row_object.h"
#include "tessera/values/value_convert.h"

namespace tessera::dbtest {

inline Value FromText(BYTE type, const std::string& text) {
  int32_t length = static_cast<int32_t>(text.size());
  return ConvertStringToValue(text.c_str(), length, type);
}

inline std::string Fit(std::string text, int32_t maxSize) {
  if (maxSize > 0 && static_cast<int32_t>(text.size()) > maxSize) text.resize(static_cast<size_t>(maxSize));
  return text;
}

inline Value SampleValue(const TableDefn& table, const ColumnDefn& column, int i, int depth = 0) {
  if (const ForeignKeyDefn* key = GetForeignKeyDefn(&table, column.name.c_str()); key != nullptr && depth < 4) {
    const TableDefn* parent = GetTableDefn(key->referenceTable.c_str());
    const ColumnDefn* referenced = parent ? parent->FindColumn(key->referenceColumn.c_str()) : nullptr;
    if (referenced != nullptr) return SampleValue(*parent, *referenced, i, depth + 1);
  }
  static const char* const kTexts[] = {"O'Brien", "x'); DROP TABLE T; --", "back\\slash \"q\""};
  char two[3] = {static_cast<char>('0' + (i + 1) / 10), static_cast<char>('0' + (i + 1) % 10), 0};
  switch (column.type) {
    case 1: return Value::FromNumber<int8_t>(static_cast<int8_t>(i + 1));
    case 2: return Value::FromNumber<uint8_t>(static_cast<uint8_t>(200 + i));
    case 3: return Value::FromNumber<int16_t>(static_cast<int16_t>(-1000 - i));
    case 4: return Value::FromNumber<uint16_t>(static_cast<uint16_t>(60000 + i));
    case 5: return Value::FromNumber<int32_t>(100000 + i);
    case 6: return Value::FromNumber<uint32_t>(4000000000u + static_cast<uint32_t>(i));
    case 7: return Value::FromNumber<int64_t>(9000000000LL + i);
    case 8: return Value::FromNumber<uint64_t>(5000000000ULL + static_cast<uint64_t>(i));
    case 9: case 11: return Value::FromNumber<float>(2.5f + static_cast<float>(i));
    case 10: return Value::FromNumber<double>(1234.25 + i);
    case 12: case 13: return Value::FromText(std::to_string(12 + i) + ".5");
    case 14: case 15: return Value::FromText(Fit(std::to_string(i) + "-" + kTexts[i % 3], column.maxSize));
    case 16: return FromText(16, std::string("2024-03-") + two);
    case 17: return FromText(17, std::string("10:11:") + two);
    case 18: return FromText(18, std::string("2024-03-12 10:11:") + two);
    case 19: return FromText(19, i % 2 == 0 ? "TRUE" : "FALSE");
    case 20: return Value::FromText("bin-" + std::to_string(i) + "-O'Neil");
    case 21: return Value::FromText("clob 'quoted' " + std::to_string(i));
    case 22: return Value::FromText("long text O'Hara \\ " + std::to_string(i));
    default: return Value::FromText("raw");
  }
}

inline bool IsKeyOrReference(const TableDefn& table, const ColumnDefn& column) {
  for (const std::string& key : table.constraints->primaryKeys)
    if (key == column.name) return true;
  return GetForeignKeyDefn(&table, column.name.c_str()) != nullptr;
}

// Row `i` of a table; with `nulls`, every nullable column that is neither key nor reference
// is NULL.
inline std::unique_ptr<RowObject> SampleRow(const TableDefn& table, int i, bool nulls = false) {
  std::vector<Value> values;
  for (const auto& column : *table.columns) {
    bool null = nulls && column->nullable && !column->unique && !IsKeyOrReference(table, *column);
    values.push_back(null ? Value() : SampleValue(table, *column, i));
  }
  return std::make_unique<RowObject>(std::move(values), ROW_STATE_NEW);
}

// Decimal and numeric values are the engine's text: compared by their number.
inline bool SameColumnValue(BYTE type, const Value& a, const Value& b) {
  if ((type == 12 || type == 13) && !a.IsNull() && !b.IsNull())
    return std::strtod(std::string(a.bytes()).c_str(), nullptr) == std::strtod(std::string(b.bytes()).c_str(), nullptr);
  return a == b;
}

}  // namespace tessera::dbtest
