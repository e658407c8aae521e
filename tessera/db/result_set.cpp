#include "tessera/db/result_set.h"

#include "agent/log/log.h"
#include "tessera/values/crv_datetime.h"
#include "tessera/values/sql_data_type.h"
#include "tessera/values/string_utils.h"

namespace tessera {

ResultSetPtr CreateResultSet(std::vector<std::vector<Value>> rows, std::vector<ResultColumn> columns) {
  auto resultSet = std::make_unique<ResultSet>();
  resultSet->columnCount = static_cast<int32_t>(columns.size());
  resultSet->rowCount = static_cast<int32_t>(rows.size());
  resultSet->columns = std::move(columns);
  resultSet->rows = std::move(rows);
  return resultSet;
}

const std::vector<Value>* ResultSetNextRow(ResultSet& resultSet) {
  if (resultSet.cursor < resultSet.rowCount) ++resultSet.cursor;
  return ResultSetCurrentRow(resultSet);
}

void ResultSetResetCursor(ResultSet& resultSet) { resultSet.cursor = -1; }

const std::vector<Value>* ResultSetCurrentRow(const ResultSet& resultSet) {
  if (resultSet.cursor < 0 || resultSet.cursor >= static_cast<int32_t>(resultSet.rows.size())) return nullptr;
  return &resultSet.rows[static_cast<size_t>(resultSet.cursor)];
}

namespace {
int32_t ColumnIndex(const ResultSet& resultSet, const char* columnName) {
  if (columnName == nullptr) return -1;
  for (size_t i = 0; i < resultSet.columns.size(); ++i)
    if (EqualsIgnoreCase(resultSet.columns[i].name, columnName)) return static_cast<int32_t>(i);
  return -1;
}
}  // namespace

const Value* ResultSetColumnValue(const ResultSet& resultSet, const char* columnName, int32_t& length) {
  length = 0;
  const std::vector<Value>* row = ResultSetCurrentRow(resultSet);
  int32_t index = ColumnIndex(resultSet, columnName);
  if (row == nullptr || index < 0 || index >= static_cast<int32_t>(row->size())) return nullptr;
  const Value& value = (*row)[static_cast<size_t>(index)];
  length = value.length();
  return &value;
}

BYTE ResultSetColumnType(const ResultSet& resultSet, const char* columnName) {
  int32_t index = ColumnIndex(resultSet, columnName);
  return index < 0 ? 0 : resultSet.columns[static_cast<size_t>(index)].type;
}

const char* ResultSetColumnName(const ResultSet& resultSet, int32_t index) {
  if (index < 0 || index >= static_cast<int32_t>(resultSet.columns.size())) return nullptr;
  return resultSet.columns[static_cast<size_t>(index)].name.c_str();
}

void PrintResultSet(const ResultSet& resultSet) {
  for (const ResultColumn& column : resultSet.columns) LogDebug("%-s\t", column.name);
  LogDebug("\n");
  for (const std::vector<Value>& row : resultSet.rows) {
    for (size_t i = 0; i < row.size() && i < resultSet.columns.size(); ++i) {
      const Value& value = row[i];
      BYTE type = resultSet.columns[i].type;
      if (IsSignedIntegerType(type) || IsUnsignedIntegerType(type)) {
        if (value.IsNull())
          LogDebug("NULL\t");
        else
          LogDebug("%-d\t", static_cast<int32_t>(value.ReadSigned(value.length())));
      } else if (IsDateTimeType(type) && value.dateTime() != nullptr) {
        LogDebug("%-s\t", CrvDateTimeToString(value.dateTime()).value_or(""));
      } else {
        LogDebug("%-s\t", value.IsNull() ? std::string("NULL") : std::string(value.bytes()));
      }
    }
    LogDebug("\n");
  }
}

void FreeResultSet(ResultSetPtr resultSet) { resultSet.reset(); }

}  // namespace tessera
