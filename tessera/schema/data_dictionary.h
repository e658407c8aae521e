// The DataDictionary: the process-wide list of table definitions, in the order they were read,
// and its lookups. The dictionary owns its definitions; lookups hand out pointers that stay
// valid until the definition is removed (RemoveTableDefn, FreeDataDictionary).
#pragma once

#include <memory>

#include "platform/win32.h"
#include "tessera/schema/table_defn.h"
#include "tessera/values/vector.h"

namespace tessera {

using DataDictionary = Vector<std::unique_ptr<TableDefn>>;

// The process-wide dictionary (an unordered Vector: appends go to the tail).
DataDictionary& GetDataDictionary();

// Empties the dictionary (no ordering callback). Called before any load. Loaded tables and views
// point at the definitions, so they are freed first.
void InitDataDictionary();

// Case-insensitive table name, first match in dictionary order; a null name logs
// "Table Name is NULL.\n". Null when nothing matches.
const TableDefn* GetTableDefn(const char* tableName);
// Case-sensitive table name; logs "No table definition available for %s\n" when none matches.
const TableDefn* GetTableDefnByTableName(const char* tableName);
// The column of a table (table found case-insensitively, column matched case-sensitively).
// A null argument logs "Cannot fetch default value;\n", a missing table
// "No definition found for table %s\n".
const ColumnDefn* GetColumnDefnEntry(const char* tableName, const char* columnName);
// The column's type code, 0 when not found (same messages).
BYTE GetColumnTypeFromDefn(const char* tableName, const char* columnName);
// The column's default value (null when it has none); `found` becomes 1 when the column exists.
const Value* GetDefaultValue(const char* tableName, const char* columnName, BYTE& found);
// The first foreign key whose local column matches case-insensitively, or null. Logs
// "No constraint Definition \n" / "No Foreignkey Entries in Definition \n".
const ForeignKeyDefn* GetForeignKeyDefn(const TableDefn* tableDefn, const char* localColumnName);

// Appends a definition (a second one of the same name is appended too; lookups find the first).
bool AddTableDefn(std::unique_ptr<TableDefn> tableDefn);
// Removes and frees the definition GetTableDefn finds (after the tables and views that read it);
// false when there is none.
bool RemoveTableDefn(const char* tableName);
// Frees every definition and empties the dictionary, after the loaded tables and views.
void FreeDataDictionary();

// DEBUG listings; nothing is printed for a table without columns.
void PrintTableDefinition(const TableDefn* tableDefn);
void PrintAllTableDefinitions();

}  // namespace tessera
