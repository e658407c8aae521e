// UPDATE, INSERT and DELETE texts for one row, shared by the four dialects.
//
// Columns are walked in dictionary order; primary-key columns (matched without regard to case)
// form the WHERE part of update and delete. Every value is written as its dialect's literal.
#include "tessera/db/dialect/statement_builder.h"

#include "agent/log/log.h"
#include "tessera/db/dialect/sql_literal.h"
#include "tessera/schema/data_dictionary.h"
#include "tessera/values/string_utils.h"

namespace tessera::dialect {
namespace {

bool IsKeyColumn(const TableDefn& table, const std::string& column) {
  if (!table.constraints) return false;
  for (const std::string& key : table.constraints->primaryKeys)
    if (EqualsIgnoreCase(key, column)) return true;
  return false;
}

const TableDefn* TableWithColumns(const char* tableName) {
  const TableDefn* table = tableName ? GetTableDefn(tableName) : nullptr;
  if (table == nullptr || table->ColumnCount() == 0) return nullptr;
  return table;
}

const Value& ValueOf(const RowObject& row, int32_t index) {
  static const Value kNull;
  const Value* value = row.ValueAt(index);
  return value ? *value : kNull;
}

void RefuseWithoutKey(const char* statement, const char* tableName) {
  LogError("Refused to generate %s query for table %s: no primary key value, it would reach every row.\n",
           statement, tableName);
}

}  // namespace

std::optional<std::string> BuildUpdate(const char* tableName, const RowObject* row, const DialectFacts& facts) {
  if (facts.updateEntry) LogTrace(facts.updateEntry);
  const TableDefn* table = TableWithColumns(tableName);
  if (table == nullptr || row == nullptr) return std::nullopt;
  std::string sql = hl::Sprintf("update %s set ", tableName);
  std::string set, where;
  int32_t index = 0;
  for (const auto& column : *table->columns) {
    const Value& value = ValueOf(*row, index++);
    BYTE type = column->type;
    bool key = IsKeyColumn(*table, column->name);
    bool quoted = key ? (facts.quoteEveryUpdateKey && type != 19) || QuotedInKey(type) : QuotedInSet(type);
    std::optional<std::string> text = RenderValue(value, type, quoted, facts);
    if (!text) {
      LogError("Unsupported Datatype Used in Query generation.\n");
      return std::nullopt;
    }
    if (key) {
      LogTrace("@@@ Update Query has Primary Key in Set clause @@@\n");
      if (value.IsNull()) continue;
      where += (where.empty() ? "" : " and ") + column->name + "=" + *text;
    } else {
      set += (set.empty() ? "" : ",") + column->name + "=" + *text;
    }
  }
  if (where.empty()) {
    RefuseWithoutKey("update", tableName);
    return std::nullopt;
  }
  sql += set + hl::Sprintf(" where %s", where);
  if (facts.updateTrace) LogTrace(facts.updateTrace, sql);
  return sql;
}

std::optional<std::string> BuildInsert(const char* tableName, const RowObject* row, const DialectFacts& facts) {
  if (facts.insertEntry) LogTrace(facts.insertEntry);
  const TableDefn* table = TableWithColumns(tableName);
  if (table == nullptr || row == nullptr) return std::nullopt;
  std::string sql = hl::Sprintf("insert into  %s values(", tableName);
  int32_t index = 0;
  for (const auto& column : *table->columns) {
    const Value& value = ValueOf(*row, index);
    std::optional<std::string> text = RenderValue(value, column->type, QuotedInSet(column->type), facts);
    if (!text) {
      LogError("Unsupported Datatype Used in Query generation.\n");
      return std::nullopt;
    }
    sql += (index++ == 0 ? "" : ",") + *text;
  }
  sql += facts.insertEnd;
  if (facts.insertTrace) LogTrace("Insert query is @@@%s\n", sql);
  return sql;
}

std::optional<std::string> BuildDelete(const char* tableName, const RowObject* row, const DialectFacts& facts) {
  if (facts.deleteEntry) LogTrace(facts.deleteEntry);
  const TableDefn* table = TableWithColumns(tableName);
  if (table == nullptr || row == nullptr) return std::nullopt;
  std::string sql = hl::Sprintf("delete from %s ", tableName);
  std::string where;
  bool keyValue = false;  // a condition K=NULL matches nothing, so at least one must be a value
  int32_t index = 0;
  for (const auto& column : *table->columns) {
    const Value& value = ValueOf(*row, index++);
    std::optional<std::string> text = RenderValue(value, column->type, QuotedInKey(column->type), facts);
    if (!text) return std::nullopt;
    if (!IsKeyColumn(*table, column->name)) continue;
    keyValue = keyValue || !value.IsNull();
    where += (where.empty() ? "" : " and ") + column->name + "=" + *text;
  }
  if (!keyValue) {
    RefuseWithoutKey("delete", tableName);
    return std::nullopt;
  }
  sql += hl::Sprintf(" where %s", where);
  LogTrace("Delete query is @@@%s\n", sql);
  return sql;
}

}  // namespace tessera::dialect
