// ResultSet: the rows a provider's query returns, with their column descriptors and a cursor.
//
//   ResultSetPtr rs = ExecuteQuery(handle, "select ID, NAME from T");
//   while (ResultSetNextRow(*rs)) {
//     int32_t length = 0;
//     const Value* name = ResultSetColumnValue(*rs, "name", length);
//   }
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/win32.h"
#include "tessera/values/value.h"

namespace tessera {

struct ResultColumn {
  std::string name;
  BYTE type = 0;  // SqlDataType
};

struct ResultSet {
  int32_t columnCount = 0;
  int32_t rowCount = 0;
  std::vector<ResultColumn> columns;
  std::vector<std::vector<Value>> rows;  // fetch order; each row has columnCount values
  int32_t cursor = -1;                   // -1 before the first row
};
using ResultSetPtr = std::unique_ptr<ResultSet>;

ResultSetPtr CreateResultSet(std::vector<std::vector<Value>> rows, std::vector<ResultColumn> columns);
// The next row (the first on the first call); null past the end.
const std::vector<Value>* ResultSetNextRow(ResultSet& resultSet);
void ResultSetResetCursor(ResultSet& resultSet);
// The current row, or null before the first / past the end.
const std::vector<Value>* ResultSetCurrentRow(const ResultSet& resultSet);
// Value of a column (name without regard to case) in the current row; null when there is no
// current row or no such column. `length` receives the value's length (0 when null).
const Value* ResultSetColumnValue(const ResultSet& resultSet, const char* columnName, int32_t& length);
// Type code of a named column; 0 when there is no such column.
BYTE ResultSetColumnType(const ResultSet& resultSet, const char* columnName);
// Name of the column at `index`; null when out of range.
const char* ResultSetColumnName(const ResultSet& resultSet, int32_t index);
// The DEBUG listing: the column names, then one line per row.
void PrintResultSet(const ResultSet& resultSet);
void FreeResultSet(ResultSetPtr resultSet);

}  // namespace tessera
