// Insert, update and delete statements written without a dialect generator, and the column and
// foreign-key look-ups the index tables use.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "tessera/schema/table_defn.h"
#include "tessera/table/row_object.h"

namespace tessera {

// "update T set A='x',B=2 where K=1": every column of the definition, the primary-key columns in
// the condition. Quoted text is escaped for the table's dialect; a NULL value is written as
// NULL. Nullopt when a value cannot be written, or when the table has no primary key or a key
// value is NULL (the condition would not pick out the row).
std::optional<std::string> GenerateGenericUpdateQuery(const char* tableName, const RowObject* row,
                                                      const TableDefn* tableDefn);
// "insert into  T values('x',1,NULL)"; nullopt when a value cannot be written.
std::optional<std::string> GenerateGenericInsertQuery(const char* tableName, const RowObject* row,
                                                      const TableDefn* tableDefn);
// "delete from T where K=1"; nullopt without a primary key or with a NULL key value.
std::optional<std::string> GenerateGenericDeleteQuery(const char* tableName, const RowObject* row,
                                                      const TableDefn* tableDefn);

// 0-based position of the column (exact name) in the definition; -1 when absent.
int32_t GetColIndex(const char* columnName, const char* tableName, const TableDefn* tableDefn);

// Follows the foreign keys of `tableName` upward (all of them when `columnName` is null, else
// those whose local column is `columnName`) and appends each table without foreign keys that is
// reached, with the column reached in it, to the two lists.
void FindRootTable(const char* tableName, const char* columnName, std::vector<std::string>& rootTables,
                   std::vector<std::string>& rootColumns);

// Records a new row of a table in the index tables ("<root>_IDX") of the tables it refers to,
// or removes a persisted row flagged deleted from them. True for a table without foreign keys.
bool AddEntryToIndexTable(const char* tableName, const RowObject* row);

}  // namespace tessera
