// Quiet lookups in table definitions for the XML conversion (names without regard to case).
#pragma once

#include <string_view>

#include "tessera/schema/table_defn.h"

namespace tessera {

// The column named `name`, or null (also for a null table).
const ColumnDefn* FindColumnNoCase(const TableDefn* table, std::string_view name);
// The first foreign key whose local column is `localColumn`, or null; unlike GetForeignKeyDefn
// it logs nothing for a table without foreign keys.
const ForeignKeyDefn* FindForeignKeyOf(const TableDefn* table, std::string_view localColumn);
// Whether `column` is a primary-key column of the table.
bool IsPrimaryKeyOf(const TableDefn* table, std::string_view column);

}  // namespace tessera
