#include "tessera/table/row_object.h"

#include <cstddef>
#include <new>

namespace tessera {

RowObject::~RowObject() {
  // Unlink one row at a time so that a long chain is not destroyed recursively.
  while (next) next = std::move(next->next);
}

std::unique_ptr<RowObject> RowObject::Make(std::vector<Value> rowValues, BYTE rowState) {
  // One block: the row's fields, then room for its values (RowValues places them there).
  const size_t count = rowValues.size();
  void* block = ::operator new(sizeof(RowObject) + count * sizeof(Value));
  std::unique_ptr<RowObject> row(::new (block) RowObject());
  row->state = rowState;
  Value* places = reinterpret_cast<Value*>(static_cast<std::byte*>(block) + sizeof(RowObject));
  row->values.AdoptPlaces(places, count, rowValues);
  return row;
}

std::unique_ptr<RowObject> CreateNewRowObject(std::vector<Value> values) {
  try {
    return RowObject::Make(std::move(values), ROW_STATE_NEW);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

std::unique_ptr<RowObject> CopyRowObject(const RowObject& row, int32_t columnCount) {
  try {
    std::vector<Value> values(static_cast<size_t>(columnCount < 0 ? 0 : columnCount));
    for (int32_t i = 0; i < columnCount && i < row.columnCount(); ++i) values[static_cast<size_t>(i)] = row.values[static_cast<size_t>(i)];
    return RowObject::Make(std::move(values), row.state);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

void FreeRowObject(std::unique_ptr<RowObject> row, int32_t /*columnCount*/) { row.reset(); }

}  // namespace tessera
