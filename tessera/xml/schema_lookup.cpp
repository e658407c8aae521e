#include "tessera/xml/schema_lookup.h"

#include "tessera/values/string_utils.h"

namespace tessera {

const ColumnDefn* FindColumnNoCase(const TableDefn* table, std::string_view name) {
  if (table == nullptr || !table->columns) return nullptr;
  for (const auto& column : *table->columns)
    if (column && EqualsIgnoreCase(column->name, name)) return column.get();
  return nullptr;
}

const ForeignKeyDefn* FindForeignKeyOf(const TableDefn* table, std::string_view localColumn) {
  if (table == nullptr || !table->constraints || !table->constraints->foreignKeys) return nullptr;
  for (const auto& foreignKey : *table->constraints->foreignKeys)
    if (foreignKey && EqualsIgnoreCase(foreignKey->localColumn, localColumn)) return foreignKey.get();
  return nullptr;
}

bool IsPrimaryKeyOf(const TableDefn* table, std::string_view column) {
  if (table == nullptr || !table->constraints) return false;
  for (const std::string& key : table->constraints->primaryKeys)
    if (EqualsIgnoreCase(key, column)) return true;
  return false;
}

}  // namespace tessera
