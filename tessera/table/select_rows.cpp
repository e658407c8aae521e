#include "tessera/table/select_rows.h"

#include "agent/log/log.h"
#include "tessera/query/criteria.h"
#include "tessera/query/criteria_scan.h"
#include "tessera/table/row_scan.h"
#include "tessera/table/store_lock.h"
#include "tessera/table/table_data.h"

namespace tessera {

std::unique_ptr<ResultData> SelectRows(const char* tableName, const char* criteria) {
  LogTrace("@@@ Inside SelectRows @@@\n");
  TableData* tableData = GetTableDataByName(tableName);
  if (tableData == nullptr) return nullptr;
  if (criteria != nullptr &&
      (tableData->kind != TABLE_DATA_KIND_TABLE || !tableData->tableDefn || !tableData->tableDefn->columns))
    return nullptr;  // views are selected without criteria only
  // Every row, or (with criteria) an unknown share of them: the count of rows added is the hint.
  std::unique_ptr<ResultData> result =
      CreateResultData(criteria == nullptr ? tableData->rowCount : 0, tableData->columnCount, tableData);
  if (!result) {
    LogError("not able to Add row \n");
    return nullptr;
  }
  if (criteria == nullptr) {
    bool added = true;
    ScanRows(tableData->directory, [&](RowObject* row) {
      if (added) added = AddRowToResultData(row, result.get());
    });
    if (!added) {
      LogError("not able to Add row \n");
      return nullptr;
    }
  } else {
    StoreLockGuard lock;
    CriteriaPtr root = ParseCriteria(criteria);
    if (!root) return nullptr;
    BindCriteria(*tableData->tableDefn->columns, root.get());
    const bool added = ScanMatchingRows(tableData->directory, root.get(),
                                        [&](RowObject* row) { return AddRowToResultData(row, result.get()); });
    FreeCriteria(std::move(root));
    if (!added) {
      LogError("not able to Add row \n");
      return nullptr;
    }
  }
  ResetResultDataCursor(result.get());
  return result;
}

std::unique_ptr<ResultData> SelectRowByRowIdx(const char* tableName, int32_t index) {
  LogTrace("@@@ Inside SelectRowByRowIdx @@@\n");
  TableData* tableData = GetTableDataByName(tableName);
  if (tableData == nullptr || index > tableData->rowCount) return nullptr;
  std::unique_ptr<ResultData> result = CreateResultData(1, tableData->columnCount, tableData);
  if (!result) return nullptr;
  RowObject* row = tableData->firstRow.get();
  if (row != nullptr) {
    // Deletions leave the row count as it was, so the list may be shorter than the count.
    for (int32_t position = 1; position < index && row != nullptr; ++position) row = row->next.get();
    if (row == nullptr) return nullptr;
    if (!AddRowToResultData(row, result.get())) return nullptr;
  }
  ResetResultDataCursor(result.get());
  return result;
}

const Value* GetColumnValue(const char* tableName, const char* columnName, const char* criteria, int32_t* length) {
  LogTrace("@@@ Inside GetColumnValue @@@\n");
  if (length != nullptr) *length = 0;
  std::unique_ptr<ResultData> result = SelectRows(tableName, criteria);
  if (!result) {
    LogError("Error in executing SelectRows(%s,%s)\n", tableName, criteria);
    return nullptr;
  }
  if (GotoNextRowObject(result.get()) == nullptr) {
    LogTrace("No such row available in the %s for %s", tableName, criteria);
    return nullptr;
  }
  const Value* value = GetColumnValueByName(columnName, length, result.get());
  if (value == nullptr) LogError("columnValue is NULL for :%s\n", columnName);
  return value;
}

}  // namespace tessera
