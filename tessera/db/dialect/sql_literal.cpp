#include "tessera/db/dialect/sql_literal.h"

#include "tessera/values/crv_datetime.h"
#include "tessera/values/value_convert.h"

namespace tessera::dialect {

std::string EscapeLiteral(std::string_view text, const DialectFacts& facts) {
  std::string out;
  out.reserve(text.size() + 8);
  for (char c : text) {
    if (c == '\'') out += '\'';
    if (c == '\\' && facts.escapeBackslash) out += '\\';
    out += c;
  }
  return out;
}

std::string QuoteLiteral(std::string_view text, const DialectFacts& facts) {
  return "'" + EscapeLiteral(text, facts) + "'";
}

bool QuotedInSet(BYTE type) { return (type >= 14 && type <= 18) || (type >= 20 && type <= 22); }
bool QuotedInKey(BYTE type) { return (type >= 14 && type <= 18) || type == 20 || type == 22; }
bool QuotedInCriteria(BYTE type) { return QuotedInSet(type); }

std::optional<std::string> RenderValue(const Value& value, BYTE type, bool quoted, const DialectFacts& facts) {
  if (value.IsNull()) return std::string("NULL");
  if (type == 19) return std::string(value.ReadUnsigned(1) != 0 ? facts.trueLiteral : facts.falseLiteral);
  std::optional<std::string> text;
  // A date column writes only its date, a time column only its time: the store keeps both parts
  // (the other one zero), which engines refuse or compare wrongly against a DATE or TIME column.
  const CrvDateTime* dateTime = value.dateTime();
  if (type == 16 && dateTime != nullptr && dateTime->date)
    text = CrvDateToString(&*dateTime->date);
  else if (type == 17 && dateTime != nullptr && dateTime->time)
    text = CrvTimeToString(&*dateTime->time);
  else
    text = ConvertValueToString(value, type);
  if (!text) return std::nullopt;
  if (quoted) return QuoteLiteral(*text, facts);
  return text;
}

}  // namespace tessera::dialect
