#include "tessera/table/table_rows.h"

#include <new>
#include <string_view>
#include <vector>

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

// Takes `row` out of the chain and the directory and hands it back (the caller frees it).
std::unique_ptr<RowObject> Unlink(TableData& tableData, RowObject* row) {
  RowObject* before = tableData.directory.Before(row);
  std::unique_ptr<RowObject>& slot = before ? before->next : tableData.firstRow;
  std::unique_ptr<RowObject> owned = std::move(slot);
  slot = std::move(owned->next);
  if (tableData.lastRow == row) tableData.lastRow = before;
  tableData.directory.Remove(row);
  return owned;
}

// Notifications of rows removed during a walk over the table. Listeners may select, delete or
// add rows, so none is called while the walk holds the store lock or pointers to rows ahead:
// copies of the removed rows are kept (only when someone listens) and sent, in order, after it.
class PendingNotifications {
 public:
  void Keep(const RowObject& row) {
    if (NotificationListenerCount() == 0) return;
    if (std::unique_ptr<RowObject> copy = CopyRowObject(row, row.columnCount())) {
      try {
        rows_.push_back(std::move(copy));
      } catch (const std::bad_alloc&) {
        // a notification that cannot be kept is not sent, like one that cannot be built
      }
    }
  }
  void Send(const char* tableName) {
    for (const std::unique_ptr<RowObject>& row : rows_) SendNotification(row.get(), tableName);
    rows_.clear();
  }

 private:
  std::vector<std::unique_ptr<RowObject>> rows_;
};

// One step of the deletion rule for a row met while walking the table: a persisted row is
// flagged, any other row is unlinked and freed and its notification kept for later.
void DeleteWhileWalking(TableData& tableData, RowObject* row, PendingNotifications& pending) {
  LogTrace("@@@ Inside DeleteRowObject @@@\n");
  if (row->state & ROW_STATE_PERSISTED) {
    row->state |= ROW_STATE_DELETED;
    return;
  }
  std::unique_ptr<RowObject> owned = Unlink(tableData, row);
  pending.Keep(*owned);
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
  try {
    tableData->directory.Append(added);
  } catch (const std::bad_alloc&) {
    return false;
  }
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
  if (!tableData->directory.Holds(row)) return false;
  std::unique_ptr<RowObject> owned = Unlink(*tableData, row);
  tableData->directory.CompactIfSparse();
  SendNotification(owned.get(), tableName);
  return true;
}

bool RemoveRowObject(const char* tableName, RowObject* row) {
  LogTrace("@@@ Inside RemoveRowObject @@@\n");
  TableData* tableData = GetTableDataByName(tableName);
  if (tableData == nullptr || !tableData->directory.Holds(row)) return false;
  Unlink(*tableData, row);
  tableData->directory.CompactIfSparse();
  return true;
}

bool DeleteRowObjectByCriteria(const char* tableName, const char* criteria) {
  LogTrace("@@@ Inside DeleteRowObjectByCriteria @@@\n");
  if (criteria == nullptr) return false;
  TableData* tableData = GetTableDataByName(tableName);
  if (tableData == nullptr || tableData->kind != TABLE_DATA_KIND_TABLE || !tableData->tableDefn ||
      !tableData->tableDefn->columns)
    return false;
  PendingNotifications pending;
  {
    StoreLockGuard lock;
    CriteriaPtr root = ParseCriteria(criteria);
    if (!root) return false;
    BindCriteria(*tableData->tableDefn->columns, root.get());
    ScanRows(tableData->directory, [&](RowObject* row) {
      if (EvaluateCriteria(*row, root.get())) DeleteWhileWalking(*tableData, row, pending);
    });
    FreeCriteria(std::move(root));
    tableData->directory.CompactIfSparse();
  }
  pending.Send(tableName);
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
  PendingNotifications pending;
  ScanRows(tableData->directory, [&](RowObject* row) { DeleteWhileWalking(*tableData, row, pending); });
  tableData->directory.CompactIfSparse();
  pending.Send(tableName);
  return true;
}

}  // namespace tessera
