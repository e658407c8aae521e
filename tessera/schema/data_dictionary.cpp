#include "tessera/schema/data_dictionary.h"

#include <string>

#include "agent/log/log.h"
#include "tessera/table/table_data.h"
#include "tessera/values/string_utils.h"

namespace tessera {
namespace {

const char* const kDashedLine = "---------------------------------------\n\n";
const char* const kStarLine = "********************************\n";

// Finds the table for the column lookups, with their shared messages.
const TableDefn* TableForColumnLookup(const char* tableName, const char* columnName) {
  if (tableName == nullptr || columnName == nullptr) {
    LogError("Cannot fetch default value;\n");
    return nullptr;
  }
  const TableDefn* table = GetTableDefn(tableName);
  if (table == nullptr) LogError("No definition found for table %s\n", tableName);
  return table;
}

}  // namespace

DataDictionary& GetDataDictionary() {
  static DataDictionary dictionary;
  return dictionary;
}

// Loaded tables and views point at the definitions (and their columns): they are freed first, so
// that none is left pointing at a freed definition.
void InitDataDictionary() {
  FreeAllTableData();
  GetDataDictionary().InitVector(nullptr);
}

const TableDefn* GetTableDefn(const char* tableName) {
  if (tableName == nullptr) {
    LogError("Table Name is NULL.\n");
    return nullptr;
  }
  std::string_view wanted(tableName);
  auto* found = GetDataDictionary().FindFirst(
      [wanted](const std::unique_ptr<TableDefn>& t) { return EqualsIgnoreCase(t->name, wanted); });
  return found ? found->get() : nullptr;
}

const TableDefn* GetTableDefnByTableName(const char* tableName) {
  LogTrace("@@@ Inside GetTableDefnByTableName @@@\n");
  if (tableName != nullptr) {
    std::string_view wanted(tableName);
    auto* found = GetDataDictionary().FindFirst([wanted](const std::unique_ptr<TableDefn>& t) { return t->name == wanted; });
    if (found) return found->get();
  }
  LogError("No table definition available for %s\n", tableName);
  return nullptr;
}

const ColumnDefn* GetColumnDefnEntry(const char* tableName, const char* columnName) {
  LogTrace("@@@@ Inside GetColumnDefnEntry @@@@\n");
  const TableDefn* table = TableForColumnLookup(tableName, columnName);
  return table ? table->FindColumn(columnName) : nullptr;
}

BYTE GetColumnTypeFromDefn(const char* tableName, const char* columnName) {
  LogTrace("@@@@ Inside GetColumnDefnEntry @@@@\n");
  const TableDefn* table = TableForColumnLookup(tableName, columnName);
  const ColumnDefn* column = table ? table->FindColumn(columnName) : nullptr;
  return column ? column->type : static_cast<BYTE>(CRV_SQL_NOT_SUPPORTED_TYPE);
}

const Value* GetDefaultValue(const char* tableName, const char* columnName, BYTE& found) {
  LogTrace("@@@@ Inside GetDefaultValue @@@@\n");
  found = 0;
  const TableDefn* table = TableForColumnLookup(tableName, columnName);
  const ColumnDefn* column = table ? table->FindColumn(columnName) : nullptr;
  if (column == nullptr) return nullptr;
  found = 1;
  return column->defaultValue.IsNull() ? nullptr : &column->defaultValue;
}

const ForeignKeyDefn* GetForeignKeyDefn(const TableDefn* tableDefn, const char* localColumnName) {
  if (tableDefn == nullptr || !tableDefn->constraints) {
    LogError("No constraint Definition \n");
    return nullptr;
  }
  if (!tableDefn->constraints->foreignKeys) {
    LogError("No Foreignkey Entries in Definition \n");
    return nullptr;
  }
  if (localColumnName == nullptr) return nullptr;
  std::string_view wanted(localColumnName);
  auto* found = tableDefn->constraints->foreignKeys->FindFirst(
      [wanted](const std::unique_ptr<ForeignKeyDefn>& fk) { return EqualsIgnoreCase(fk->localColumn, wanted); });
  return found ? found->get() : nullptr;
}

bool AddTableDefn(std::unique_ptr<TableDefn> tableDefn) {
  if (!tableDefn) return false;
  return GetDataDictionary().AddData(std::move(tableDefn)) == 1;
}

bool RemoveTableDefn(const char* tableName) {
  const TableDefn* table = GetTableDefn(tableName);
  if (table == nullptr) return false;
  FreeTableDataOfDefinition(table);
  return GetDataDictionary().DeleteLCDVector(table);
}

void FreeDataDictionary() {
  FreeAllTableData();
  GetDataDictionary().FreeVector();
}

void PrintTableDefinition(const TableDefn* table) {
  if (table == nullptr || table->ColumnCount() == 0) return;
  LogDebug("Table Name : %s\n", table->name);
  LogDebug("Description: %s\n", table->description);
  LogDebug(kDashedLine);
  for (const auto& column : *table->columns) {
    LogDebug("Column Name : %s\n", column->name);
    LogDebug("Column Type : %d\n", column->type);
    LogDebug("Unique Flag : %s\n", column->unique ? "TRUE" : "FALSE");
    LogDebug("Description : %s\n", column->description);
    LogDebug(kDashedLine);
  }
  if (!table->constraints) return;
  for (const std::string& key : table->constraints->primaryKeys) LogDebug("Primary key : %s\n\n", key);
  const ForeignKeyVector* foreignKeys = table->constraints->foreignKeys.get();
  if (foreignKeys == nullptr || foreignKeys->empty()) return;
  LogDebug("Foreign key Constraints\n");
  LogDebug(kStarLine);
  for (const auto& fk : *foreignKeys) {
    LogDebug("Column Name : %s\n", fk->localColumn);
    LogDebug("Ref Column  : %s\n", fk->referenceColumn);
    LogDebug("Tablename : %s\n", fk->referenceTable);
  }
  LogDebug(kStarLine);
}

void PrintAllTableDefinitions() {
  for (const auto& table : GetDataDictionary()) PrintTableDefinition(table.get());
}

}  // namespace tessera
