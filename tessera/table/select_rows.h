// Selections over loaded tables and views, and the sort of a selection.
#pragma once

#include <cstdint>
#include <memory>

#include "platform/win32.h"
#include "tessera/table/result_data.h"

namespace tessera {

// Every row of the table or view (null criteria), or, under the store lock, every row of a
// table for which the criteria hold, in list order; rows flagged deleted are selected like the
// others. Null when the TableData is missing, when a view is given criteria, when the criteria
// do not parse, or when a row cannot be added ("not able to Add row \n").
std::unique_ptr<ResultData> SelectRows(const char* tableName, const char* criteria);
// The row at the 1-based position `index` in list order (0 and 1 both give the first row); null
// when `index` exceeds the row count (rows added) or the rows still in the list, or when the
// TableData is missing; an empty result for a table without rows (index 0, or up to the count
// of rows added before they were all deleted).
std::unique_ptr<ResultData> SelectRowByRowIdx(const char* tableName, int32_t index);

// The value of `columnName` in the first row matching the criteria (pointing into the stored
// row), its byte length through `length`; null when the selection fails, nothing matches or the
// value is NULL.
const Value* GetColumnValue(const char* tableName, const char* columnName, const char* criteria, int32_t* length);

// Sorts the selection by a column's values read as integers: `orderFlag` 1 ascending, any other
// value descending, rows of equal value keeping their order. False for a null result or column
// name, a column not in the result's columns, or a single cell while the row count is not 1.
bool SortResultSet(ResultData* result, const char* columnName, int orderFlag);

}  // namespace tessera
