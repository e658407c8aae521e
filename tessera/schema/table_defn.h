// The schema records of the data dictionary: TableDefn, ColumnDefn, AllowedValues,
// ConstraintDefn and ForeignKeyDefn. Definitions are built once by the loader (BuildTableDefn)
// or by hand, handed to the dictionary (AddTableDefn), and never changed afterwards.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/win32.h"
#include "tessera/values/sql_data_type.h"
#include "tessera/values/value.h"
#include "tessera/values/vector.h"

namespace tessera {

// Allowed values of a column: a list, or a range of exactly two entries {from, to}.
struct AllowedValues {
  std::vector<std::string> values;
  BYTE isRange = 0;
};

struct ColumnDefn {
  std::string name;
  BYTE type = CRV_SQL_NOT_SUPPORTED_TYPE;  // after the TEXT promotion
  Value defaultValue;                      // NULL when the dictionary gives no default
  int32_t defaultLength = 0;               // == defaultValue.length()
  BYTE unique = 0;                         // 1 only for the text "true" exactly
  std::optional<std::string> generatorName;  // set: values come from the sequence generator
  std::optional<std::string> description;
  int32_t maxSize = 0;  // 0 without max-size, -1 when its text is not a number
  BYTE nullable = 1;    // 0 only when a nullable element's text is not "true" (any case)
  std::unique_ptr<AllowedValues> allowedValues;
};

// One local-column / reference-column pair of a foreign key; a key over several columns is one
// record per pair, all naming the same reference table.
struct ForeignKeyDefn {
  std::string localColumn;
  std::string referenceColumn;
  std::string referenceTable;
  BYTE onDeleteCascade = 0;
  BYTE reserved = 0;
  BYTE bidirectional = 0;  // set only on the record of the first pair
};

using ColumnVector = Vector<std::unique_ptr<ColumnDefn>>;
using ForeignKeyVector = Vector<std::unique_ptr<ForeignKeyDefn>>;

struct ConstraintDefn {
  std::vector<std::string> primaryKeys;  // in key order
  int32_t primaryKeyCount = 0;           // == primaryKeys.size()
  std::unique_ptr<ForeignKeyVector> foreignKeys;  // null until the first foreign key is added
};

struct TableDefn {
  std::string name;
  std::optional<std::string> description;
  // In the order of the dictionary's column elements: the column order of every row.
  std::unique_ptr<ColumnVector> columns;
  std::unique_ptr<ConstraintDefn> constraints;  // always set by the loader

  // Column `name` (exact match) and its 0-based position; null / -1 when absent.
  const ColumnDefn* FindColumn(const char* name) const;
  int32_t ColumnIndex(const char* name) const;
  int32_t ColumnCount() const { return columns ? columns->count() : 0; }
};

// Appends one foreign-key record, creating the foreign-key vector on first use.
bool AddForeignKeyDefn(ConstraintDefn& constraints, std::unique_ptr<ForeignKeyDefn> foreignKey);

}  // namespace tessera
