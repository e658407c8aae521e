// RowObject: one row of a table held in memory, and its state bits.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "platform/win32.h"
#include "tessera/values/value.h"

namespace tessera {

// Bit flags of RowObject::state.
enum RowState : BYTE {
  ROW_STATE_PERSISTED = 1,  // the row exists in the database
  ROW_STATE_NEW = 2,        // created in memory, not yet inserted
  ROW_STATE_MODIFIED = 4,
  ROW_STATE_DELETED = 8,
};

// One value per column in dictionary column order; a NULL Value is SQL NULL. Each Value carries
// its own byte length. Rows of one table are chained through `next` in insertion order.
struct RowObject {
  RowObject() = default;
  explicit RowObject(std::vector<Value> rowValues, BYTE rowState = ROW_STATE_NEW)
      : values(std::move(rowValues)), state(rowState) {}
  ~RowObject();  // releases the rest of the chain without recursing
  RowObject(const RowObject&) = delete;
  RowObject& operator=(const RowObject&) = delete;
  RowObject(RowObject&&) = default;
  RowObject& operator=(RowObject&&) = default;

  int32_t columnCount() const { return static_cast<int32_t>(values.size()); }
  // The value at `index`, or null when the row has no such column.
  const Value* ValueAt(int32_t index) const {
    return index >= 0 && index < columnCount() ? &values[static_cast<size_t>(index)] : nullptr;
  }
  int32_t length(int32_t index) const {
    const Value* value = ValueAt(index);
    return value ? value->length() : 0;
  }

  std::vector<Value> values;
  BYTE state = ROW_STATE_NEW;
  std::unique_ptr<RowObject> next;
  // Bookkeeping of the table that holds the row: its place in the table's scan order.
  uint32_t directorySlot = 0;
};

// A new row taking the values (each with its length), state 2 (new), next null. Null on
// allocation failure.
std::unique_ptr<RowObject> CreateNewRowObject(std::vector<Value> values);
// A copy of the first `columnCount` values (missing ones NULL) and the state; next null.
std::unique_ptr<RowObject> CopyRowObject(const RowObject& row, int32_t columnCount);
// Frees every value, the arrays and the row (the row must already be unlinked).
void FreeRowObject(std::unique_ptr<RowObject> row, int32_t columnCount);

}  // namespace tessera
