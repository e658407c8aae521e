#include "tessera/table/row_object.h"

#include <new>

namespace tessera {

RowObject::~RowObject() {
  // Unlink one row at a time so that a long chain is not destroyed recursively.
  while (next) next = std::move(next->next);
}

std::unique_ptr<RowObject> CreateNewRowObject(std::vector<Value> values) {
  try {
    return std::make_unique<RowObject>(std::move(values), ROW_STATE_NEW);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

std::unique_ptr<RowObject> CopyRowObject(const RowObject& row, int32_t columnCount) {
  try {
    std::vector<Value> values(static_cast<size_t>(columnCount < 0 ? 0 : columnCount));
    for (int32_t i = 0; i < columnCount && i < row.columnCount(); ++i) values[static_cast<size_t>(i)] = row.values[static_cast<size_t>(i)];
    return std::make_unique<RowObject>(std::move(values), row.state);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

void FreeRowObject(std::unique_ptr<RowObject> row, int32_t /*columnCount*/) { row.reset(); }

}  // namespace tessera
