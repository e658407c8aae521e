#include "tessera/xml/value_text.h"

#include <cstdio>

#include "tessera/values/crv_datetime.h"
#include "tessera/xml/schema_lookup.h"

namespace tessera {
namespace {

std::string RealText(double number) {
  char buffer[400];  // "%f" of the largest double has 309 integer digits
  std::snprintf(buffer, sizeof buffer, "%f", number);
  return buffer;
}

const CrvDate* DatePart(const Value& value) {
  if (const CrvDateTime* both = value.dateTime()) return both->date ? &*both->date : nullptr;
  return value.date();
}

const CrvTime* TimePart(const Value& value) {
  if (const CrvDateTime* both = value.dateTime()) return both->time ? &*both->time : nullptr;
  return value.time();
}

std::string Token(std::string_view table, std::string_view column, std::string_view key) {
  std::string text;
  text.reserve(table.size() + column.size() + key.size() + 2);
  text.append(table).append(1, ':').append(column).append(1, ':').append(key);
  return text;
}

}  // namespace

bool IsIntegerTypeCode(BYTE typeCode) { return typeCode >= 1 && typeCode <= 8; }

bool IsTextLikeTypeCode(BYTE typeCode) {
  return (typeCode >= 12 && typeCode <= 15) || (typeCode >= 20 && typeCode <= 22);
}

std::optional<std::string> ColumnValueText(BYTE typeCode, const Value& value) {
  if (value.IsNull()) return std::nullopt;
  switch (typeCode) {
    case 1: case 3: case 5:
      return std::to_string(static_cast<int32_t>(value.ReadSigned(4)));
    case 2: case 4: case 6:
      return std::to_string(static_cast<uint32_t>(value.ReadUnsigned(4)));
    case 7:
      return std::to_string(value.ReadSigned(8));
    case 8:
      return std::to_string(value.ReadUnsigned(8));
    case 9: case 11:
      return RealText(static_cast<float>(value.ReadReal()));
    case 10:
      return RealText(value.ReadReal());
    case 12: case 13: case 14: case 15: case 20: case 21: case 22:
      if (value.data() == nullptr) return std::nullopt;
      return std::string(value.bytes());
    case 16:
      return CrvDateToString(DatePart(value));
    case 17:
      return CrvTimeToString(TimePart(value));
    case 18:
      if (const CrvDateTime* both = value.dateTime()) return CrvDateTimeToString(both);
      if (value.date()) return CrvDateToString(value.date());
      return CrvTimeToString(value.time());
    case 19:
      return std::string(value.ReadUnsigned(1) != 0 ? "true" : "false");
    default:
      return std::nullopt;
  }
}

// Plain mode writes a text as it is, also one with two or more ":" (which an import then reads as
// a reference token: a text column gets the part after the second ":").
std::optional<std::string> PlainAttributeText(const char* /*tableName*/, const ColumnDefn& column, const Value& value) {
  return ColumnValueText(column.type, value);
}

std::optional<std::string> ReferenceAttributeText(const TableDefn* table, const char* tableName,
                                                  const ColumnDefn& column, const Value& value) {
  std::optional<std::string> text = ColumnValueText(column.type, value);
  if (!text) return text;
  const BYTE code = column.type;
  if (column.generatorName) {
    if (IsIntegerTypeCode(code)) return Token(tableName, column.name, *text);
    if (code == 14 || code == 15 || code == 22) return Token(tableName, column.name, "\"" + *text + "\"");
  } else if (const ForeignKeyDefn* foreignKey = FindForeignKeyOf(table, column.name)) {
    if (IsIntegerTypeCode(code) || IsTextLikeTypeCode(code))
      return Token(foreignKey->referenceTable, foreignKey->referenceColumn, *text);
  }
  return PlainAttributeText(tableName, column, value);
}

}  // namespace tessera
