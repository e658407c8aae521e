// SortResultSet: the order of a stable bubble sort on the column's values read as integers,
// computed with a stable O(n log n) sort.
#include <algorithm>
#include <climits>
#include <cstring>
#include <utility>
#include <vector>

#include "agent/log/log.h"
#include "tessera/table/select_rows.h"
#include "tessera/table/value_read.h"
#include "tessera/values/sql_data_type.h"

namespace tessera {
namespace {

long long DateTimeKey(const Value& value) {
  const CrvDate* date = value.date();
  const CrvTime* time = value.time();
  if (const CrvDateTime* both = value.dateTime()) {
    date = both->date ? &*both->date : nullptr;
    time = both->time ? &*both->time : nullptr;
  }
  long long key = 0;
  if (date) key = (date->year * 10000LL + date->month * 100LL + date->day) * 1000000LL;
  if (time) key += time->hour * 10000LL + time->minute * 100LL + time->second;
  return key;
}

// The sort key of one value. Integers are read at their type's width (the 8-byte types and any
// other byte value by their first four bytes, zero-padded past the stored length) as signed
// 32-bit integers; date/time values sort by time; a NULL sorts before every value.
long long SortKey(const Value* value, BYTE type) {
  if (value == nullptr || value->IsNull()) return LLONG_MIN;
  const BYTE* p = value->data();
  if (p == nullptr) return DateTimeKey(*value);
  const int32_t length = value->length();
  auto within = [length](int32_t width) { return width < length ? width : length; };
  switch (type) {
    case CRV_SQL_TINYINT:
    case CRV_SQL_SMALLINT:
    case CRV_SQL_INT:
      return static_cast<int32_t>(LoadSignedLE(p, within(ValueWidthOfType(type))));
    case CRV_SQL_UNSIGNED_TINYINT:
    case CRV_SQL_UNSIGNED_SMALLINT:
      return static_cast<int32_t>(LoadUnsignedLE(p, within(ValueWidthOfType(type))));
    default: {
      BYTE bytes[4] = {0, 0, 0, 0};
      std::memcpy(bytes, p, static_cast<size_t>(within(4)));
      return static_cast<int32_t>(LoadUnsignedLE(bytes, 4));
    }
  }
}

}  // namespace

bool SortResultSet(ResultData* result, const char* columnName, int orderFlag) {
  LogTrace("@@@ Inside SortResultSet @@@\n");
  if (result == nullptr || columnName == nullptr) return false;
  const int32_t column = result->FindColumn(columnName);
  if (column < 0) return false;
  if (result->head != nullptr && result->head->next == nullptr) {
    if (result->rowCount != 1) return false;
    LogDebug("Number of Rows is 1 for the Relvar to be Sorted \n");
    return true;
  }
  const ColumnDefn* defn = result->ColumnDefnAt(column);
  const BYTE type = defn ? defn->type : BYTE{0};
  std::vector<std::pair<long long, RowObject*>> keyed;
  keyed.reserve(static_cast<size_t>(result->rowCount > 0 ? result->rowCount : 0));
  for (ResultCell* cell = result->head; cell != nullptr; cell = cell->next)
    keyed.emplace_back(SortKey(cell->row ? cell->row->ValueAt(column) : nullptr, type), cell->row);
  // Equal values are never swapped by the bubble sort, so both directions are stable.
  if (orderFlag == 1)
    std::stable_sort(keyed.begin(), keyed.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
  else
    std::stable_sort(keyed.begin(), keyed.end(), [](const auto& a, const auto& b) { return a.first > b.first; });
  size_t i = 0;
  for (ResultCell* cell = result->head; cell != nullptr; cell = cell->next) cell->row = keyed[i++].second;
  return true;
}

}  // namespace tessera
