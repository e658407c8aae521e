#include "tessera/db/dialect/column_types.h"

#include "agent/log/format.h"
#include "tessera/db/dialect/sql_literal.h"
#include "tessera/values/value_convert.h"

namespace tessera::dialect {

std::string DefaultInteger(const ColumnDefn& column) {
  if (column.defaultValue.IsNull()) return " ";
  return hl::Sprintf("DEFAULT %s", ConvertValueToString(column.defaultValue, column.type).value_or("0"));
}

std::string DefaultNumber(const ColumnDefn& column) { return DefaultInteger(column); }

std::string DefaultText(const ColumnDefn& column, const DialectFacts& facts) {
  if (column.defaultValue.IsNull()) return " ";
  std::string text = ConvertValueToString(column.defaultValue, column.type).value_or("");
  return "DEFAULT " + QuoteLiteral(text, facts);
}

std::string DefaultBoolean(const ColumnDefn& column, const char* yes, const char* no) {
  if (column.defaultValue.IsNull()) return " ";
  return hl::Sprintf("DEFAULT %s", column.defaultValue.ReadUnsigned(1) != 0 ? yes : no);
}

std::string Definition(const ColumnDefn& column, const std::string& type, const std::string& defaultPart) {
  return "\t" + column.name + " " + type + " " + defaultPart;
}

}  // namespace tessera::dialect
