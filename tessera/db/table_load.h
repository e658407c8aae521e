// Loading tables from the database into the store, and unloading them.
//
//   LoadAllTables();                           // the tables "loadtablelist.txt" names
//   LoadTableByQuery("Patch", "select * from Patch where SEVERITY > 2");
//   UnLoadTable("Patch");
#pragma once

namespace tessera {

// Loads every table "loadtablelist.txt" names ("..\data\loadtablelist.txt", else
// "<root>/data/loadtablelist.txt"). A line is a table name (the whole table), or a name, a blank
// and a select statement (the table from that statement); a name followed by other text loads
// the whole table. A table that fails does not stop the others. False only when the list
// cannot be opened.
bool LoadAllTables();
// "select * from <table>" into a new TableData; false when the table is already loaded, the
// dictionary does not define it, the database table has another number of columns, or a row
// cannot be converted (rows added before it stay).
bool LoadTable(const char* tableName);
// The same from `query`, without the column-count check.
bool LoadTableByQuery(const char* tableName, const char* query);
// A custom view `viewName` over the columns of `tableName`, filled from `query`.
bool LoadViewByQuery(const char* viewName, const char* tableName, const char* query);
// Frees the TableData of that name with its rows; false when there is none.
bool UnLoadTable(const char* tableName);
void UnLoadAllTable();
// LoadAllTables again (tables already loaded are refused and keep their rows).
bool ReloadTableData();

}  // namespace tessera
