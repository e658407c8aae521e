// TableData: the tables and custom views loaded in memory, in the process-wide TableDataList.
//
// A kind-1 TableData shows a dictionary table (its TableDefn, owned by the DataDictionary); a
// kind-2 TableData is a custom view that owns its CustomViewDefn. Rows are chained from
// `firstRow` in insertion order and owned by the TableData; `directory` holds their addresses in
// the same order for scans. Rows enter a table only through AddNewRow and leave it only through
// the row operations of table_rows.h, which keep the chain and the directory together: other
// code reads the chain and never relinks it.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/win32.h"
#include "tessera/schema/table_defn.h"
#include "tessera/table/row_directory.h"
#include "tessera/table/row_object.h"
#include "tessera/values/vector.h"

namespace tessera {

enum TableDataKind : BYTE {
  TABLE_DATA_KIND_TABLE = 1,
  TABLE_DATA_KIND_VIEW = 2,
};

// One column of a custom view: the column shown and the ColumnDefn it takes its type from.
struct ViewColumnDefn {
  const char* columnName = nullptr;  // not owned: the name string of the ColumnDefn
  int32_t value = 0;
  int32_t count = 0;
  const ColumnDefn* columnDefn = nullptr;  // not owned (the dictionary's)
};

using ViewColumnVector = Vector<std::unique_ptr<ViewColumnDefn>>;

struct CustomViewDefn {
  BYTE tableCount = 0;
  std::vector<std::string> tableNames;  // the first is the view's main table
  std::unique_ptr<ViewColumnVector> columns;
};

struct TableData {
  TableData() = default;
  ~TableData() = default;
  TableData(const TableData&) = delete;
  TableData& operator=(const TableData&) = delete;

  std::string name;
  BYTE kind = TABLE_DATA_KIND_TABLE;
  const TableDefn* tableDefn = nullptr;        // kind 1
  std::unique_ptr<CustomViewDefn> viewDefn;    // kind 2
  int32_t columnCount = 0;                     // columns of the definition at creation
  int32_t rowCount = 0;                        // rows added (deletions do not decrement it)
  std::unique_ptr<RowObject> firstRow;
  RowObject* lastRow = nullptr;                // tail of the row list, for appending
  RowDirectory directory;                      // the rows in list order, for scans

  // The number of columns of the definition (dictionary or view) now.
  int32_t DefinitionColumnCount() const;
  // Name and type of the column at a 0-based position; null / 0 when out of range.
  const char* ColumnNameAt(int32_t index) const;
  const ColumnDefn* ColumnDefnAt(int32_t index) const;
  // Position of a column matched without regard to case; -1 when absent.
  int32_t FindColumn(const char* columnName) const;
};

using TableDataList = Vector<std::unique_ptr<TableData>>;

// The process-wide list of loaded tables and views, in creation order.
TableDataList& GetTableDataList();
// Initialises the list as an unordered Vector (an untouched list is already empty and valid);
// tables and views already in it are freed first, each with FreeTableData.
void InitTableDataList();

// A kind-1 TableData for a dictionary table; false when the dictionary has no definition
// (case-insensitive) or a TableData of that name exists.
bool CreateTable(const char* tableName);
// A kind-2 TableData owning `viewDefn`; false (the definition is dropped) when a TableData of
// that name exists or either argument is missing.
bool CreateCustomViewData(const char* viewName, std::unique_ptr<CustomViewDefn> viewDefn);
// A view definition over `tableCount` table names and the given columns; null (with "Could not
// allocate memory for CustomViewDefn\n") on allocation failure.
std::unique_ptr<CustomViewDefn> CreateCustomViewDefn(BYTE tableCount, std::vector<std::string> tableNames,
                                                     std::unique_ptr<ViewColumnVector> columns);
// A view column; `name` null takes the ColumnDefn's name. Null (with "Could not allocate memory
// for ViewColumnDefn\n") on allocation failure.
std::unique_ptr<ViewColumnDefn> CreateViewColumnDefn(const char* name, int32_t value, int32_t argumentCount,
                                                     const ColumnDefn* columnDefn);
void FreeCustomViewDefn(std::unique_ptr<CustomViewDefn> viewDefn);

// Case-insensitive, first match; null for a null name or an empty list.
TableData* GetTableDataByName(const char* name);
// Ordering callback for a sorted TableDataList: case-sensitive byte order of the names.
signed char SortTableByName(const std::unique_ptr<TableData>& added, const std::unique_ptr<TableData>& existing);
// For a view, its first table name; otherwise (a table or an unknown name) the name itself.
const char* GetTableNameOfView(const char* name);

// Logs "\t %s is being freed\n" and frees the TableData with its rows and view definition.
void FreeTableData(std::unique_ptr<TableData> tableData);
// Takes the TableData of that name out of the list and frees it (FreeTableData); false when none.
bool RemoveTableData(const char* name);
// Frees every TableData of the list.
void FreeAllTableData();
// Frees every TableData that reads the definition: its table, and the views showing its columns.
// Called before a dictionary definition is freed, so no TableData is left pointing at it.
void FreeTableDataOfDefinition(const TableDefn* defn);

}  // namespace tessera
