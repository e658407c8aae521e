// A RowObject from the current row of a ResultSet.
//
// The provider converts each value by the type the driver reports, which is not always the
// dictionary's (SQLite reports a boolean column as an integer, MySQL an int column for a
// tinyint, PostgreSQL a boolean as the text "1"): a value whose reported type differs is
// turned back into text and converted to the dictionary's type, so rows loaded from any engine
// hold the same in-memory forms.
#include "agent/log/log.h"
#include "tessera/db/dialect/statement_builder.h"
#include "tessera/schema/data_dictionary.h"
#include "tessera/values/crv_datetime.h"
#include "tessera/values/sql_data_type.h"
#include "tessera/values/string_utils.h"
#include "tessera/values/value_convert.h"

namespace tessera::dialect {
namespace {

std::string AsText(const Value& value, BYTE type) {
  if (type == 19) return value.ReadUnsigned(1) != 0 ? "1" : "0";
  if (value.kind() != Value::Kind::Bytes) return ConvertValueToString(value, type).value_or("");
  if (type == 0 || IsRawBytesType(type) || IsStringType(type)) return std::string(value.bytes());
  return ConvertValueToString(value, type).value_or(std::string(value.bytes()));
}

bool TextIsTrue(const std::string& text) {
  return text == "1" || EqualsIgnoreCase(text, "t") || EqualsIgnoreCase(text, "true") || EqualsIgnoreCase(text, "y") ||
         EqualsIgnoreCase(text, "yes");
}

}  // namespace

Value ConvertToColumnType(const Value& value, BYTE reportedType, BYTE columnType) {
  if (value.IsNull()) return value;
  if (IsDateTimeType(columnType)) {
    if (const CrvDateTime* delivered = value.dateTime(); delivered != nullptr) {
      // The provider gives a DATE or TIME column only its own part; rows hold both.
      CrvDateTime both = *delivered;
      if (!both.date) both.date = CrvDate{};
      if (!both.time) both.time = CrvTime{};
      return Value::FromDateTime(both, kDateTimeValueLength);
    }
    std::string text = AsText(value, reportedType);
    std::optional<CrvDateTime> dateTime = ConvertStringToCrvDateTime(text.c_str());
    return dateTime ? Value::FromDateTime(*dateTime, kDateTimeValueLength) : Value();
  }
  if (reportedType == columnType) return value;
  std::string text = AsText(value, reportedType);
  if (columnType == 19) return Value::FromNumber<BYTE>(TextIsTrue(text) ? 1 : 0);
  if (columnType == 0 || IsRawBytesType(columnType)) return Value::FromText(text);
  int32_t length = static_cast<int32_t>(text.size());
  return ConvertStringToValue(text.c_str(), length, columnType);
}

std::unique_ptr<RowObject> BuildRowFromResult(const ResultSet* resultSet, const char* tableName,
                                              const DialectFacts& facts) {
  if (facts.convEntry) LogTrace(facts.convEntry);
  if (resultSet == nullptr) return nullptr;
  const TableDefn* table = tableName ? GetTableDefn(tableName) : nullptr;
  if (table == nullptr || table->ColumnCount() == 0) return nullptr;
  const std::vector<Value>* current = ResultSetCurrentRow(*resultSet);
  if (current == nullptr) return nullptr;
  std::vector<Value> values;
  values.reserve(static_cast<size_t>(resultSet->columnCount));
  auto column = table->columns->begin();
  for (int32_t i = 0; i < resultSet->columnCount; ++i) {
    const Value& value = i < static_cast<int32_t>(current->size()) ? (*current)[static_cast<size_t>(i)] : Value();
    BYTE reported = resultSet->columns[static_cast<size_t>(i)].type;
    if (column != table->columns->end()) {
      values.push_back(ConvertToColumnType(value, reported, (*column)->type));
      ++column;
    } else {
      values.push_back(value);
    }
  }
  auto row = std::make_unique<RowObject>(std::move(values), ROW_STATE_PERSISTED);
  return row;
}

}  // namespace tessera::dialect
