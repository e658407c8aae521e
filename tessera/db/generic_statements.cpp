#include "tessera/db/generic_statements.h"

#include "agent/log/log.h"
#include "tessera/db/connection_pool.h"
#include "tessera/db/db_dispatch.h"
#include "tessera/db/sql_escape.h"
#include "tessera/db/table_connection.h"
#include "tessera/schema/data_dictionary.h"
#include "tessera/values/value_convert.h"

namespace tessera {
namespace {

// Character and date/time values go between quotes; dates written bare would not parse.
bool Quoted(BYTE type) { return type == 14 || type == 15 || (type >= 16 && type <= 18) || type == 22; }

// The value as the generic statements write it; nullopt when it cannot be converted.
std::optional<std::string> Literal(const Value& value, BYTE type, const char* dialect) {
  if (value.IsNull()) return std::string("NULL");
  if (type == 19) return std::string(value.ReadUnsigned(1) != 0 ? "1" : "0");
  std::optional<std::string> text = ConvertValueToString(value, type);
  if (!text) return std::nullopt;
  if (Quoted(type)) return "'" + EscapeSqlLiteral(*text, dialect) + "'";
  return text;
}

// " K=1 and L='x'" conditions on the primary key; nullopt without a key or with a NULL key value.
std::optional<std::string> KeyCondition(const RowObject* row, const TableDefn* defn, const char* dialect) {
  if (defn->constraints == nullptr || defn->constraints->primaryKeys.empty()) return std::nullopt;
  std::string condition;
  for (const std::string& key : defn->constraints->primaryKeys) {
    int32_t index = defn->ColumnIndex(key.c_str());
    const Value* value = row->ValueAt(index);
    if (value == nullptr || value->IsNull()) return std::nullopt;
    std::optional<std::string> literal = Literal(*value, defn->FindColumn(key.c_str())->type, dialect);
    if (!literal) return std::nullopt;
    condition += (condition.empty() ? "" : " and ") + key + "=" + *literal;
  }
  return condition;
}

bool Usable(const char* tableName, const RowObject* row, const TableDefn* defn) {
  return tableName != nullptr && row != nullptr && defn != nullptr && defn->ColumnCount() > 0;
}

}  // namespace

std::optional<std::string> GenerateGenericUpdateQuery(const char* tableName, const RowObject* row,
                                                      const TableDefn* tableDefn) {
  if (!Usable(tableName, row, tableDefn)) return std::nullopt;
  const char* dialect = DialectOfTable(tableName);
  std::string sql = hl::Sprintf("update %s set ", tableName);
  int32_t index = 0;
  for (const auto& column : *tableDefn->columns) {
    const Value* value = row->ValueAt(index++);
    std::optional<std::string> literal = value ? Literal(*value, column->type, dialect) : std::string("NULL");
    if (!literal) return std::nullopt;
    sql += (index > 1 ? "," : "") + column->name + "=" + *literal;
  }
  std::optional<std::string> condition = KeyCondition(row, tableDefn, dialect);
  if (!condition) {
    LogError("Cannot write an update of %s without a complete primary key\n", tableName);
    return std::nullopt;
  }
  return sql + " where " + *condition;
}

std::optional<std::string> GenerateGenericInsertQuery(const char* tableName, const RowObject* row,
                                                      const TableDefn* tableDefn) {
  if (!Usable(tableName, row, tableDefn)) return std::nullopt;
  const char* dialect = DialectOfTable(tableName);
  std::string sql = hl::Sprintf("insert into  %s values(", tableName);
  int32_t index = 0;
  for (const auto& column : *tableDefn->columns) {
    const Value* value = row->ValueAt(index++);
    std::optional<std::string> literal = value ? Literal(*value, column->type, dialect) : std::string("NULL");
    if (!literal) return std::nullopt;
    sql += (index > 1 ? "," : "") + *literal;
  }
  return sql + ")";
}

std::optional<std::string> GenerateGenericDeleteQuery(const char* tableName, const RowObject* row,
                                                      const TableDefn* tableDefn) {
  if (!Usable(tableName, row, tableDefn)) return std::nullopt;
  std::optional<std::string> condition = KeyCondition(row, tableDefn, DialectOfTable(tableName));
  if (!condition) {
    LogError("Cannot write a delete of %s without a complete primary key\n", tableName);
    return std::nullopt;
  }
  return hl::Sprintf("delete from %s where ", tableName) + *condition;
}

int32_t GetColIndex(const char* columnName, const char* /*tableName*/, const TableDefn* tableDefn) {
  LogTrace("@@@ Inside GetColIndex @@@\n");
  if (columnName == nullptr || tableDefn == nullptr) return -1;
  return tableDefn->ColumnIndex(columnName);
}

void FindRootTable(const char* tableName, const char* columnName, std::vector<std::string>& rootTables,
                   std::vector<std::string>& rootColumns) {
  LogTrace("@@@ Inside FindRootTable @@@\n");
  if (tableName == nullptr) return;
  const TableDefn* defn = GetTableDefn(tableName);
  if (defn == nullptr) {
    LogError("No table definition found for %s\n", tableName);
    return;
  }
  const ForeignKeyVector* keys = defn->constraints ? defn->constraints->foreignKeys.get() : nullptr;
  if (keys == nullptr || keys->empty()) {
    rootTables.emplace_back(defn->name);
    rootColumns.emplace_back(columnName ? columnName : "");
    return;
  }
  // A cycle of foreign keys would recurse for ever: stop at a depth no dictionary reaches.
  static thread_local int depth = 0;
  if (depth > 64) return;
  ++depth;
  for (const auto& key : *keys) {
    if (columnName != nullptr && key->localColumn != columnName) continue;
    FindRootTable(key->referenceTable.c_str(), key->referenceColumn.c_str(), rootTables, rootColumns);
  }
  --depth;
}

bool AddEntryToIndexTable(const char* tableName, const RowObject* row) {
  if (tableName == nullptr || row == nullptr) return false;
  const TableDefn* defn = GetTableDefn(tableName);
  const ForeignKeyVector* keys = defn && defn->constraints ? defn->constraints->foreignKeys.get() : nullptr;
  if (keys == nullptr || keys->empty()) {
    LogTrace("No References.\n");
    return true;
  }
  const bool deleted = (row->state & ROW_STATE_PERSISTED) && (row->state & ROW_STATE_DELETED);
  const bool fresh = row->state == ROW_STATE_NEW || row->state == (ROW_STATE_NEW | ROW_STATE_MODIFIED);
  if (!deleted && !fresh) return true;
  for (const auto& key : *keys) {
    std::vector<std::string> roots, columns;
    FindRootTable(key->referenceTable.c_str(), key->referenceColumn.c_str(), roots, columns);
    for (const std::string& root : roots) {
      const TableDefn* rootDefn = GetTableDefn(root.c_str());
      if (rootDefn == nullptr || GetTableDefn((root + "_IDX").c_str()) == nullptr) continue;
      if (rootDefn->constraints == nullptr || rootDefn->constraints->primaryKeys.size() != 1) continue;
      int32_t index = GetColIndex(key->localColumn.c_str(), tableName, defn);
      const Value* value = row->ValueAt(index);
      const ColumnDefn* column = defn->FindColumn(key->localColumn.c_str());
      // Only an integer identifies a row of an index table.
      if (value == nullptr || value->IsNull() || column == nullptr || column->type < 1 || column->type > 8) continue;
      std::optional<std::string> number = ConvertValueToString(*value, column->type);
      if (!number) continue;
      std::string sql;
      if (deleted) {
        sql = hl::Sprintf("DELETE FROM %s_IDX WHERE %s = %s", root, rootDefn->constraints->primaryKeys.front(), *number);
      } else {
        sql = hl::Sprintf("INSERT INTO %s_IDX VALUES (%s, '%s')", root, *number,
                          EscapeSqlLiteral(tableName, DialectOfTable(tableName)));
        LogTrace("Insert Query for %s_IDX: %s\n", root, sql);
      }
      TableConnection connection((root + "_IDX").c_str());
      if (!connection.ok() || !ExecuteUpdate(connection.handle(), sql.c_str())) {
        LogError("Cannot Add Entry Into Index Table\n");
        return false;
      }
    }
  }
  return true;
}

}  // namespace tessera
