#include "tessera/table/table_listing.h"

#include <cstring>
#include <functional>

#include "agent/log/format.h"
#include "agent/log/log.h"
#include "tessera/table/table_data.h"
#include "tessera/table/value_read.h"
#include "tessera/values/crv_datetime.h"
#include "tessera/values/sql_data_type.h"

namespace tessera {
namespace {

// Where the listing's columns come from, and whether code 7 is listed (PrintTableData only).
struct ListingSource {
  std::function<const char*(int32_t)> columnName;
  std::function<const ColumnDefn*(int32_t)> columnDefn;
  int32_t columnCount = 0;
  bool listsLongInt = false;
};

std::optional<std::string> DateTimeText(const Value& value, BYTE type) {
  const CrvDate* date = value.date();
  const CrvTime* time = value.time();
  if (const CrvDateTime* both = value.dateTime()) {
    if (type == CRV_SQL_DATETIME) return CrvDateTimeToString(both);
    date = both->date ? &*both->date : nullptr;
    time = both->time ? &*both->time : nullptr;
  }
  if (type == CRV_SQL_DATE) return CrvDateToString(date);
  if (type == CRV_SQL_TIME) return CrvTimeToString(time);
  return date ? CrvDateToString(date) : CrvTimeToString(time);
}

// One value with its tab; nothing for the codes that are not listed.
void AppendValue(std::string& out, const Value& value, BYTE type, bool listsLongInt) {
  if (value.IsNull()) {
    out += "NULL\t";
    return;
  }
  if (IsDateTimeType(type)) {
    out += DateTimeText(value, type).value_or("");
    out += '\t';
    return;
  }
  const BYTE* p = value.data();
  if (p == nullptr) return;
  const int32_t length = value.length();
  auto within = [length](int32_t width) { return width < length ? width : length; };
  switch (type) {
    case CRV_SQL_TINYINT:
    case CRV_SQL_SMALLINT:
    case CRV_SQL_INT:
      out += hl::Sprintf("%d\t", static_cast<int32_t>(LoadSignedLE(p, within(ValueWidthOfType(type)))));
      break;
    case CRV_SQL_UNSIGNED_TINYINT:
    case CRV_SQL_UNSIGNED_INT:
      out += hl::Sprintf("%d\t", static_cast<int32_t>(LoadUnsignedLE(p, within(ValueWidthOfType(type)))));
      break;
    case CRV_SQL_LONG_INT:
      // "%d" of the 8-byte value: its low 32 bits.
      if (listsLongInt) out += hl::Sprintf("%d\t", static_cast<int32_t>(LoadSignedLE(p, within(8))));
      break;
    case CRV_SQL_BOOLEAN: out += hl::Sprintf("%d\t", length > 0 && p[0] != 0 ? 1 : 0); break;
    case CRV_SQL_FLOAT:
    case CRV_SQL_DOUBLE: out += hl::Sprintf("%f\t", value.ReadReal()); break;
    case CRV_SQL_CHAR:
    case CRV_SQL_NCHAR:
    case CRV_SQL_TEXT:
      out.append(value.c_str(), std::strlen(value.c_str()));
      out += '\t';
      break;
    default: break;
  }
}

std::string HeaderLine(const ListingSource& source) {
  std::string line;
  for (int32_t i = 0; i < source.columnCount; ++i) {
    const char* name = source.columnName(i);
    line += name ? name : "(null)";
    line += '\t';
  }
  line += '\n';
  return line;
}

std::string RowLine(const ListingSource& source, const RowObject& row) {
  std::string line;
  for (int32_t i = 0; i < source.columnCount; ++i) {
    const ColumnDefn* column = source.columnDefn(i);
    const Value* value = row.ValueAt(i);
    if (value == nullptr) {
      line += "NULL\t";
      continue;
    }
    AppendValue(line, *value, column ? column->type : BYTE{0}, source.listsLongInt);
  }
  line += '\n';
  return line;
}

ListingSource SourceOf(const TableData& tableData, bool listsLongInt) {
  return ListingSource{[&tableData](int32_t i) { return tableData.ColumnNameAt(i); },
                       [&tableData](int32_t i) { return tableData.ColumnDefnAt(i); },
                       tableData.DefinitionColumnCount(), listsLongInt};
}

// The whole listing of a TableData as text.
std::string ListingText(const TableData& tableData, bool listsLongInt) {
  const ListingSource source = SourceOf(tableData, listsLongInt);
  std::string text = HeaderLine(source);
  for (const RowObject* row = tableData.firstRow.get(); row != nullptr; row = row->next.get())
    text += RowLine(source, *row);
  return text;
}

void LogLines(const TableData& tableData, bool listsLongInt) {
  const ListingSource source = SourceOf(tableData, listsLongInt);
  LogDebug("%s", HeaderLine(source));
  for (const RowObject* row = tableData.firstRow.get(); row != nullptr; row = row->next.get())
    LogDebug("%s", RowLine(source, *row));
}

std::optional<std::string> ToStringOf(const TableData* tableData, bool listsLongInt) {
  if (tableData == nullptr || tableData->DefinitionColumnCount() <= 0) return std::nullopt;
  std::string text = ListingText(*tableData, listsLongInt);
  LogTrace("String Value of Relvar Data\n %s\n", text);
  return text;
}

}  // namespace

void PrintTableData(const char* tableName) {
  LogTrace("@@@ Inside PrintTableData @@@\n");
  const TableData* tableData = GetTableDataByName(tableName);
  if (tableData == nullptr) return;
  if (tableData->kind == TABLE_DATA_KIND_VIEW) {
    PrintCustomViewData(tableName);
    return;
  }
  LogLines(*tableData, true);
}

void PrintCustomViewData(const char* viewName) {
  LogTrace("@@@ Inside PrintCustomViewData @@@\n");
  const TableData* tableData = GetTableDataByName(viewName);
  if (tableData == nullptr) return;
  LogLines(*tableData, false);
}

void PrintResultData(const ResultData* result) {
  LogTrace("@@@ Inside PrintResultData @@@\n");
  if (result == nullptr) return;
  int32_t columns = result->kind == TABLE_DATA_KIND_TABLE
                        ? (result->tableDefn ? result->tableDefn->ColumnCount() : 0)
                        : (result->viewDefn && result->viewDefn->columns ? result->viewDefn->columns->count() : 0);
  const ListingSource source{[result](int32_t i) { return result->ColumnNameAt(i); },
                             [result](int32_t i) { return result->ColumnDefnAt(i); }, columns, false};
  LogDebug("%s", HeaderLine(source));
  for (const ResultCell* cell = result->head; cell != nullptr; cell = cell->next) {
    if (cell->row == nullptr || (cell->row->state & ROW_STATE_DELETED)) continue;
    LogDebug("%s", RowLine(source, *cell->row));
  }
}

std::optional<std::string> ToStringTableData(const char* tableName) {
  LogTrace("@@@ Inside ToStringTableData @@@\n");
  const TableData* tableData = GetTableDataByName(tableName);
  if (tableData != nullptr && tableData->kind == TABLE_DATA_KIND_VIEW) return ToStringCustomViewData(tableName);
  return ToStringOf(tableData, true);
}

std::optional<std::string> ToStringCustomViewData(const char* viewName) {
  LogTrace("@@@ Inside ToStringCustomViewData @@@\n");
  return ToStringOf(GetTableDataByName(viewName), false);
}

}  // namespace tessera
