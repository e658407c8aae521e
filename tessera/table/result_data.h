// ResultData: a selection of rows of one table or view, walked with a cursor.
//
// The cells reference rows owned by their TableData: a result stays valid only while its rows
// are neither deleted nor unloaded. The caller owns the result (FreeResultData or just drop it).
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "platform/win32.h"
#include "tessera/schema/table_defn.h"
#include "tessera/table/row_object.h"
#include "tessera/table/table_data.h"

namespace tessera {

struct ResultCell {
  RowObject* row = nullptr;  // not owned
  ResultCell* next = nullptr;
};

struct ResultData {
  ResultData() = default;
  ResultData(const ResultData&) = delete;
  ResultData& operator=(const ResultData&) = delete;

  ResultCell* head = nullptr;
  BYTE kind = TABLE_DATA_KIND_TABLE;            // copied from the TableData
  const TableDefn* tableDefn = nullptr;         // kind 1
  const CustomViewDefn* viewDefn = nullptr;     // kind 2
  int32_t rowCount = 0;                         // cells
  int32_t columnCount = 0;
  ResultCell* cursor = nullptr;                 // null: before the first row

  // Column name / definition at a 0-based position of the table's or view's columns.
  const char* ColumnNameAt(int32_t index) const;
  const ColumnDefn* ColumnDefnAt(int32_t index) const;
  // Position of a column matched without regard to case; -1 when absent.
  int32_t FindColumn(const char* columnName) const;

  // Cell storage: blocks of growing size, so that appending does not allocate per row.
  ResultCell* tail = nullptr;
  std::vector<std::unique_ptr<ResultCell[]>> blocks;
  size_t blockSize = 0;
  size_t blockUsed = 0;
};

// An empty result for the rows of `tableData` (kind and definitions copied); `rowCount` is a
// hint of how many rows will be added. Null on allocation failure.
std::unique_ptr<ResultData> CreateResultData(int32_t rowCount, int32_t columnCount, const TableData* tableData);
// Appends a cell for the row and counts it; false on allocation failure.
bool AddRowToResultData(RowObject* row, ResultData* result);
// Frees the cells (never the rows).
void FreeResultData(std::unique_ptr<ResultData> result);

// From the reset position the first row, afterwards the row after the cursor; null after the
// last row, which leaves the cursor back at the reset position, so the next call gives the first
// row again.
RowObject* GotoNextRowObject(ResultData* result);
void ResetResultDataCursor(ResultData* result);

// The value of the named column (without regard to case) in the row under the cursor, its byte
// length through `length`; null when there is no current row, no such column or the value is
// NULL. The value belongs to the stored row.
const Value* GetColumnValueByName(const char* columnName, int32_t* length, const ResultData* result);
// Type code of the named column, 0 when not found.
BYTE GetColumnTypeByName(const char* columnName, const ResultData* result);
// Column name at a 0-based position, null when out of range.
const char* GetColumnNameByIndex(int32_t index, const ResultData* result);
// The definition's table name (kind 1) or the view's first table name (kind 2); null for null.
const char* GetTableNameFromResultData(const ResultData* result);

}  // namespace tessera
