#include "tessera/table/result_data.h"

#include <algorithm>
#include <new>
#include <string_view>

#include "agent/log/log.h"
#include "tessera/values/string_utils.h"

namespace tessera {
namespace {

constexpr size_t kFirstBlock = 16;
constexpr size_t kLargestBlock = 65536;

const ViewColumnDefn* ViewColumnAt(const CustomViewDefn* view, int32_t index) {
  if (view == nullptr || !view->columns || index < 0) return nullptr;
  const auto* cell = view->columns->ElementAt(index);
  return cell ? cell->data.get() : nullptr;
}

}  // namespace

const ColumnDefn* ResultData::ColumnDefnAt(int32_t index) const {
  if (index < 0) return nullptr;
  if (kind == TABLE_DATA_KIND_TABLE) {
    if (tableDefn == nullptr || !tableDefn->columns) return nullptr;
    const auto* cell = tableDefn->columns->ElementAt(index);
    return cell ? cell->data.get() : nullptr;
  }
  const ViewColumnDefn* column = ViewColumnAt(viewDefn, index);
  return column ? column->columnDefn : nullptr;
}

const char* ResultData::ColumnNameAt(int32_t index) const {
  if (kind == TABLE_DATA_KIND_TABLE) {
    const ColumnDefn* column = ColumnDefnAt(index);
    return column ? column->name.c_str() : nullptr;
  }
  const ViewColumnDefn* column = ViewColumnAt(viewDefn, index);
  return column ? column->columnName : nullptr;
}

int32_t ResultData::FindColumn(const char* columnName) const {
  if (columnName == nullptr) return -1;
  const std::string_view wanted(columnName);
  int32_t index = 0;
  if (kind == TABLE_DATA_KIND_TABLE) {
    if (tableDefn == nullptr || !tableDefn->columns) return -1;
    for (const auto& column : *tableDefn->columns) {
      if (column && EqualsIgnoreCase(column->name, wanted)) return index;
      ++index;
    }
    return -1;
  }
  if (viewDefn == nullptr || !viewDefn->columns) return -1;
  for (const auto& column : *viewDefn->columns) {
    if (column && column->columnName && EqualsIgnoreCase(column->columnName, wanted)) return index;
    ++index;
  }
  return -1;
}

std::unique_ptr<ResultData> CreateResultData(int32_t rowCount, int32_t columnCount, const TableData* tableData) {
  try {
    auto result = std::make_unique<ResultData>();
    result->columnCount = columnCount;
    if (tableData != nullptr) {
      result->kind = tableData->kind;
      result->tableDefn = tableData->tableDefn;
      result->viewDefn = tableData->viewDefn.get();
    }
    if (rowCount > 0) result->blockSize = std::min(static_cast<size_t>(rowCount), kLargestBlock) / 2;
    return result;
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

bool AddRowToResultData(RowObject* row, ResultData* result) {
  if (result == nullptr) return false;
  if (result->blocks.empty() || result->blockUsed == result->blockSize) {
    const size_t size = std::clamp(result->blockSize * 2, kFirstBlock, kLargestBlock);
    try {
      result->blocks.push_back(std::make_unique<ResultCell[]>(size));
    } catch (const std::bad_alloc&) {
      return false;
    }
    result->blockSize = size;
    result->blockUsed = 0;
  }
  ResultCell* cell = &result->blocks.back()[result->blockUsed++];
  cell->row = row;
  cell->next = nullptr;
  if (result->tail) result->tail->next = cell;
  else result->head = cell;
  result->tail = cell;
  ++result->rowCount;
  return true;
}

void FreeResultData(std::unique_ptr<ResultData> result) { result.reset(); }

RowObject* GotoNextRowObject(ResultData* result) {
  if (result == nullptr) return nullptr;
  // After the last cell the cursor is null again, the reset position: the call after the one
  // that gave null starts the walk over.
  result->cursor = result->cursor ? result->cursor->next : result->head;
  return result->cursor ? result->cursor->row : nullptr;
}

void ResetResultDataCursor(ResultData* result) {
  if (result != nullptr) result->cursor = nullptr;
}

const Value* GetColumnValueByName(const char* columnName, int32_t* length, const ResultData* result) {
  if (length != nullptr) *length = 0;
  if (result == nullptr || result->cursor == nullptr || result->cursor->row == nullptr) return nullptr;
  const int32_t index = result->FindColumn(columnName);
  const Value* value = index < 0 ? nullptr : result->cursor->row->ValueAt(index);
  if (value == nullptr || value->IsNull()) return nullptr;
  if (length != nullptr) *length = value->length();
  return value;
}

BYTE GetColumnTypeByName(const char* columnName, const ResultData* result) {
  if (result == nullptr) return 0;
  const ColumnDefn* column = result->ColumnDefnAt(result->FindColumn(columnName));
  return column ? column->type : BYTE{0};
}

const char* GetColumnNameByIndex(int32_t index, const ResultData* result) {
  return result ? result->ColumnNameAt(index) : nullptr;
}

const char* GetTableNameFromResultData(const ResultData* result) {
  if (result == nullptr) return nullptr;
  if (result->kind == TABLE_DATA_KIND_TABLE) return result->tableDefn ? result->tableDefn->name.c_str() : nullptr;
  if (result->viewDefn == nullptr || result->viewDefn->tableNames.empty()) return nullptr;
  return result->viewDefn->tableNames.front().c_str();
}

}  // namespace tessera
