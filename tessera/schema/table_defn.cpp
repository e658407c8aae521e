#include "tessera/schema/table_defn.h"

#include <cstring>

namespace tessera {

const ColumnDefn* TableDefn::FindColumn(const char* columnName) const {
  if (columnName == nullptr || !columns) return nullptr;
  for (const auto& column : *columns)
    if (column->name == columnName) return column.get();
  return nullptr;
}

int32_t TableDefn::ColumnIndex(const char* columnName) const {
  if (columnName == nullptr || !columns) return -1;
  int32_t index = 0;
  for (const auto& column : *columns) {
    if (column->name == columnName) return index;
    ++index;
  }
  return -1;
}

bool AddForeignKeyDefn(ConstraintDefn& constraints, std::unique_ptr<ForeignKeyDefn> foreignKey) {
  if (!foreignKey) return false;
  if (!constraints.foreignKeys) constraints.foreignKeys = std::make_unique<ForeignKeyVector>();
  return constraints.foreignKeys->AddData(std::move(foreignKey)) == 1;
}

}  // namespace tessera
