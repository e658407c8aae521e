#include "tessera/table/table_rows.h"

#include <new>
#include <string_view>

#include "agent/log/log.h"
#include "tessera/notify/notification.h"
#include "tessera/query/criteria.h"
#include "tessera/seqgen/sequence_map.h"
#include "tessera/table/row_scan.h"
#include "tessera/table/store_lock.h"
#include "tessera/table/table_data.h"
#include "tessera/values/string_utils.h"

namespace tessera {
namespace {

// Fills, for each column of a table, a missing value from the generator or the default.
void FillGeneratedAndDefaults(const char* tableName, const TableDefn& defn, RowObject& row) {
  size_t index = 0;
  for (const auto& column : *defn.columns) {
    Value& value = row.values[index++];
    if (!column) continue;
    if (value.IsNull() && column->generatorName) value = Value::FromNumber<int32_t>(GenerateID(tableName, column.get()));
    if (value.IsNull() && !column->defaultValue.IsNull()) value = column->defaultValue;
  }
}

// Unlinks `row` (`before` is its predecessor, null for the first row), notifies and frees it.
void UnlinkNotifyAndFree(TableData& tableData, RowObject* before, RowObject* row, const char* tableName) {
  std::unique_ptr<RowObject>& slot = before ? before->next : tableData.firstRow;
  std::unique_ptr<RowObject> owned = std::move(slot);
  slot = std::move(owned->next);
  if (tableData.lastRow == row) tableData.lastRow = before;
  SendNotification(owned.get(), tableName);
}

// One step of the deletion rule for a row met while walking the list. Returns the row that now
// precedes the next one.
RowObject* DeleteWhileWalking(TableData& tableData, RowObject* before, RowObject* row, const char* tableName) {
  LogTrace("@@@ Inside DeleteRowObject @@@\n");
  if (row->state & ROW_STATE_PERSISTED) {
    row->state |= ROW_STATE_DELETED;
    return row;
  }
  UnlinkNotifyAndFree(tableData, before, row, tableName);
  return before;
}

bool IsPrimaryKeyColumn(const TableDefn& defn, std::string_view columnName) {
  if (!defn.constraints) return false;
  for (const std::string& key : defn.constraints->primaryKeys)
    if (EqualsIgnoreCase(key, columnName)) return true;
  return false;
}

}  // namespace

bool AddNewRow(const char* tableName, std::unique_ptr<RowObject>& row) {
  LogTrace("@@@ Inside AddNewRow @@@\n");
  if (!row || row->next) return false;
  TableData* tableData = GetTableDataByName(tableName);
  if (tableData == nullptr) return false;
  const int32_t columns = tableData->DefinitionColumnCount();
  if (columns <= 0) return false;
  if (row->columnCount() < columns) {
    try {
      row->values.resize(static_cast<size_t>(columns));
    } catch (const std::bad_alloc&) {
      return false;
    }
  }
  if (tableData->kind == TABLE_DATA_KIND_TABLE) FillGeneratedAndDefaults(tableName, *tableData->tableDefn, *row);
  RowObject* added = row.get();
  if (tableData->lastRow != nullptr) tableData->lastRow->next = std::move(row);
  else tableData->firstRow = std::move(row);
  tableData->lastRow = added;
  ++tableData->rowCount;
  SendNotification(added, tableName);
  return true;
}

bool UpdateRowObject(const char* tableName, RowObject* row, const char* columnName, const Value& value) {
  LogTrace("@@@ Inside UpdateRowObject @@@\n");
  TableData* tableData = GetTableDataByName(tableName);
  if (tableData == nullptr) return false;
  if (row == nullptr) {
    LogError("\t@@@@@ rowPtr passed as parameter in NULL @@@@@ \n");
    return false;
  }
  if (columnName == nullptr) return false;
  if (tableData->kind == TABLE_DATA_KIND_TABLE && tableData->tableDefn &&
      IsPrimaryKeyColumn(*tableData->tableDefn, columnName)) {
    LogError("@@@ UpdateRowObject Failed as PrimaryKey is being updated @@@\n");
    return false;
  }
  const int32_t index = tableData->FindColumn(columnName);
  if (index < 0 || index >= row->columnCount()) return false;
  Value fresh;
  try {
    fresh = value;
  } catch (const std::bad_alloc&) {
    return false;  // the old value stays
  }
  row->values[static_cast<size_t>(index)] = std::move(fresh);  // frees the old value
  row->state |= ROW_STATE_MODIFIED;
  SendNotification(row, tableName);
  return true;
}

bool UpdateRowObject(const char* tableName, RowObject* row, const char* columnName, const void* value,
                     int32_t length) {
  Value copy;
  try {
    if (value != nullptr) copy = Value::FromBytes(value, length);
  } catch (const std::bad_alloc&) {
    LogTrace("@@@ Inside UpdateRowObject @@@\n");
    return false;
  }
  return UpdateRowObject(tableName, row, columnName, copy);
}

bool DeleteRowObject(const char* tableName, RowObject* row) {
  LogTrace("@@@ Inside DeleteRowObject @@@\n");
  TableData* tableData = GetTableDataByName(tableName);
  if (tableData == nullptr || row == nullptr) return false;
  if (row->state & ROW_STATE_PERSISTED) {
    row->state |= ROW_STATE_DELETED;  // removed once the database delete is saved
    return true;
  }
  RowObject* before = nullptr;
  for (RowObject* r = tableData->firstRow.get(); r != nullptr; before = r, r = r->next.get()) {
    if (r != row) continue;
    UnlinkNotifyAndFree(*tableData, before, row, tableName);
    return true;
  }
  return false;
}

bool DeleteRowObjectByCriteria(const char* tableName, const char* criteria) {
  LogTrace("@@@ Inside DeleteRowObjectByCriteria @@@\n");
  if (criteria == nullptr) return false;
  TableData* tableData = GetTableDataByName(tableName);
  if (tableData == nullptr || tableData->kind != TABLE_DATA_KIND_TABLE || !tableData->tableDefn ||
      !tableData->tableDefn->columns)
    return false;
  StoreLockGuard lock;
  CriteriaPtr root = ParseCriteria(criteria);
  if (!root) return false;
  BindCriteria(*tableData->tableDefn->columns, root.get());
  RowObject* before = nullptr;
  ScanRows(tableData->firstRow.get(), root.get(), [&](RowObject* row) {
    before = EvaluateCriteria(*row, root.get()) ? DeleteWhileWalking(*tableData, before, row, tableName) : row;
  });
  FreeCriteria(std::move(root));
  return true;
}

bool DeleteAllTableRowObjects(const char* tableName) {
  LogTrace("@@@ Inside DeleteAllTableRowObjects @@@\n");
  if (tableName == nullptr) {
    LogError("\t tableName NULL \n");
    return false;
  }
  TableData* tableData = GetTableDataByName(tableName);
  if (tableData == nullptr) {
    LogError("\t GetTableDataByName returned NULL \n");
    return false;
  }
  if (tableData->kind != TABLE_DATA_KIND_TABLE) return false;
  RowObject* before = nullptr;
  for (RowObject* row = tableData->firstRow.get(); row != nullptr;) {
    RowObject* next = row->next.get();
    before = DeleteWhileWalking(*tableData, before, row, tableName);
    row = next;
  }
  return true;
}

}  // namespace tessera
