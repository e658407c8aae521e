// RowObject: one row of a table held in memory, and its state bits.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "platform/win32.h"
#include "tessera/table/row_values.h"
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
//
// A row made by Make (and so by CreateNewRowObject and CopyRowObject) is one memory block: the
// fields, then the values. Rows made otherwise (a RowObject on the stack, make_unique) keep their
// values in an array of their own; both behave alike.
struct RowObject {
  RowObject() = default;
  explicit RowObject(std::vector<Value> rowValues, BYTE rowState = ROW_STATE_NEW)
      : values(std::move(rowValues)), state(rowState) {}
  ~RowObject();  // releases the rest of the chain without recursing
  RowObject(const RowObject&) = delete;
  RowObject& operator=(const RowObject&) = delete;
  RowObject(RowObject&&) = default;
  RowObject& operator=(RowObject&&) = default;

  // A row in one block with room for the values after its fields; throws std::bad_alloc.
  static std::unique_ptr<RowObject> Make(std::vector<Value> rowValues, BYTE rowState = ROW_STATE_NEW);
  // Rows of either form are freed by `delete` (std::unique_ptr) through these.
  static void* operator new(std::size_t size) { return ::operator new(size); }
  static void operator delete(void* block) { ::operator delete(block); }

  int32_t columnCount() const { return static_cast<int32_t>(values.size()); }
  // The value at `index`, or null when the row has no such column.
  const Value* ValueAt(int32_t index) const {
    return index >= 0 && index < columnCount() ? &values[static_cast<size_t>(index)] : nullptr;
  }
  int32_t length(int32_t index) const {
    const Value* value = ValueAt(index);
    return value ? value->length() : 0;
  }

  RowValues values;
  BYTE state = ROW_STATE_NEW;
  // Bookkeeping of the table that holds the row: its place in the table's scan order.
  uint32_t directorySlot = 0;
  std::unique_ptr<RowObject> next;
};

static_assert(sizeof(RowObject) % alignof(Value) == 0, "the values follow the row's fields");

// A new row taking the values (each with its length), state 2 (new), next null. Null on
// allocation failure.
std::unique_ptr<RowObject> CreateNewRowObject(std::vector<Value> values);
// A copy of the first `columnCount` values (missing ones NULL) and the state; next null.
std::unique_ptr<RowObject> CopyRowObject(const RowObject& row, int32_t columnCount);
// Frees every value, the arrays and the row (the row must already be unlinked).
void FreeRowObject(std::unique_ptr<RowObject> row, int32_t columnCount);

}  // namespace tessera
