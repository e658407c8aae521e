// Row operations on loaded tables and views: add, update, delete.
//
// Every change that adds, modifies or removes a row in memory is reported to the change
// listeners (SendNotification) with the row and the table name.
#pragma once

#include <cstdint>
#include <memory>

#include "platform/win32.h"
#include "tessera/table/row_object.h"
#include "tessera/values/value.h"

namespace tessera {

// Appends the row to the table or view. For a table, each column without a value is filled from
// its generator (a 4-byte integer from GenerateID, -1 when none can be given) or else from its
// default. On success the table takes the row (`row` becomes null); on failure the caller keeps
// it (possibly with generated and default values filled in). False when the TableData is
// missing or its definition has no columns.
bool AddNewRow(const char* tableName, std::unique_ptr<RowObject>& row);

// Replaces the value of one column (matched without regard to case) with a copy of `value`,
// adds the modified flag (4) and notifies. Refused for a primary-key column of a table.
bool UpdateRowObject(const char* tableName, RowObject* row, const char* columnName, const Value& value);
// The same with `length` bytes copied from `value` (null gives a NULL value).
bool UpdateRowObject(const char* tableName, RowObject* row, const char* columnName, const void* value,
                     int32_t length);

// A persisted row (state has 1) only gets the deleted flag (8); any other row is unlinked,
// notified and freed. False when the table is missing or the row is not in its list.
bool DeleteRowObject(const char* tableName, RowObject* row);
// Takes the row out of the table's list and frees it whatever its state, without notifying
// (a persisted row flagged deleted leaves the table this way once its database delete is
// saved). False when the table is missing or the row is not in its list.
bool RemoveRowObject(const char* tableName, RowObject* row);
// DeleteRowObject for every row of a table matching the criteria (parsed and bound under the
// store lock). Listeners hear of the removed rows, in list order, once the walk is over and the
// store lock released, so they may select and change the table themselves. False for a null
// criteria text, a missing table, a view or a criteria text that
// does not parse.
bool DeleteRowObjectByCriteria(const char* tableName, const char* criteria);
// DeleteRowObject for every row of a table; views give false.
bool DeleteAllTableRowObjects(const char* tableName);

}  // namespace tessera
