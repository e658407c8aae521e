#include "tessera/values/value_convert.h"

#include <cstring>

#include "tessera/values/apr_headers.h"

#include "agent/log/format.h"
#include "tessera/values/number_text.h"
#include "tessera/values/sql_data_type.h"
#include "tessera/values/string_utils.h"

namespace tessera {
namespace {

Value IntegerAtWidth(int64_t number, int32_t width) {
  BYTE bytes[8];
  uint64_t raw = static_cast<uint64_t>(number);
  for (int i = 0; i < 8; ++i) bytes[i] = static_cast<BYTE>(raw >> (8 * i));
  return Value::FromBytes(bytes, width);
}

// The value's text up to its first zero byte.
std::string TextOf(const Value& value) {
  std::string_view bytes = value.bytes();
  return std::string(bytes.substr(0, bytes.find('\0')));
}

std::optional<std::string> DateTimeText(const Value& value) {
  if (const CrvDateTime* dt = value.dateTime()) return CrvDateTimeToString(dt);
  if (const CrvDate* d = value.date()) return CrvDateToString(d);
  if (const CrvTime* t = value.time()) return CrvTimeToString(t);
  if (value.data() != nullptr) return TextOf(value);
  return std::nullopt;
}

// Shared by both text forms; `withDates` and `withLargeObjects` select the codes the pool form omits.
std::optional<std::string> FormatValue(const Value& value, BYTE typeCode, bool withDates, bool withLargeObjects) {
  int32_t width = ValueWidthOfType(typeCode);
  switch (typeCode) {
    case CRV_SQL_TINYINT:
    case CRV_SQL_SMALLINT:
    case CRV_SQL_INT:
      return hl::Sprintf("%d", static_cast<int32_t>(value.ReadSigned(width)));
    case CRV_SQL_UNSIGNED_TINYINT:
    case CRV_SQL_UNSIGNED_SMALLINT:
    case CRV_SQL_UNSIGNED_INT:
      return hl::Sprintf("%u", static_cast<uint32_t>(value.ReadUnsigned(width)));
    case CRV_SQL_LONG_INT:
      return hl::Sprintf("%lld", value.ReadSigned(width));
    case CRV_SQL_UNSIGNED_LONG_INT:
      return hl::Sprintf("%llu", value.ReadUnsigned(width));
    case CRV_SQL_FLOAT:
    case CRV_SQL_REAL:
      return hl::Sprintf("%f", value.length() >= 8 ? value.ReadReal() : static_cast<float>(value.ReadReal()));
    case CRV_SQL_DOUBLE:
      return hl::Sprintf("%f", value.ReadReal());
    case CRV_SQL_DECIMAL:
    case CRV_SQL_NUMERIC:
    case CRV_SQL_CHAR:
    case CRV_SQL_NCHAR:
      if (value.data() == nullptr) return std::nullopt;
      return TextOf(value);
    case CRV_SQL_BLOB:
    case CRV_SQL_CLOB:
    case CRV_SQL_TEXT:
      if (!withLargeObjects || value.data() == nullptr) return std::nullopt;
      return TextOf(value);
    case CRV_SQL_DATE:
    case CRV_SQL_TIME:
    case CRV_SQL_DATETIME:
      if (!withDates) return std::nullopt;
      return DateTimeText(value);
    case CRV_SQL_BOOLEAN:
      return std::string(value.ReadUnsigned(1) == 1 ? "'t'" : "'f'");
    default:
      return std::nullopt;
  }
}

}  // namespace

Value ConvertStringToValue(const char* text, int32_t& length, BYTE typeCode) {
  int32_t given = length;
  length = 0;
  if (text == nullptr || typeCode > kMaxSqlDataType) return Value();
  Value value;
  switch (typeCode) {
    case CRV_SQL_NOT_SUPPORTED_TYPE:
    case CRV_SQL_DECIMAL:
    case CRV_SQL_NUMERIC:
    case CRV_SQL_BLOB:
    case CRV_SQL_CLOB:
      value = Value::FromBytes(text, given);
      break;
    case CRV_SQL_TINYINT:
    case CRV_SQL_UNSIGNED_TINYINT:
    case CRV_SQL_SMALLINT:
    case CRV_SQL_UNSIGNED_SMALLINT:
    case CRV_SQL_INT:
    case CRV_SQL_UNSIGNED_INT:
      value = IntegerAtWidth(StringToInt32(text), ValueWidthOfType(typeCode));
      break;
    case CRV_SQL_LONG_INT:
    case CRV_SQL_UNSIGNED_LONG_INT:
      value = IntegerAtWidth(StringToInt64(text), 8);
      break;
    case CRV_SQL_FLOAT:
    case CRV_SQL_REAL:
      value = Value::FromNumber(static_cast<float>(StringToReal(text)));
      break;
    case CRV_SQL_DOUBLE:
      value = Value::FromNumber(StringToReal(text));
      break;
    case CRV_SQL_DATE:
    case CRV_SQL_TIME:
    case CRV_SQL_DATETIME:
      if (auto dateTime = ConvertStringToCrvDateTime(text)) value = Value::FromDateTime(*dateTime, kDateTimeValueLength);
      break;
    case CRV_SQL_BOOLEAN:
      if (EqualsIgnoreCase(text, "TRUE")) value = Value::FromNumber(static_cast<BYTE>(1));
      else if (EqualsIgnoreCase(text, "FALSE")) value = Value::FromNumber(static_cast<BYTE>(0));
      break;
    default:  // 14, 15, 22
      value = Value::FromText(text);
      break;
  }
  length = value.length();
  return value;
}

std::optional<std::string> ConvertValueToString(const Value& value, BYTE typeCode) {
  if (value.IsNull()) return std::string("NULL");
  return FormatValue(value, typeCode, /*withDates=*/true, /*withLargeObjects=*/true);
}

const char* ConvertValueToPoolString(const Value& value, BYTE typeCode, apr_pool_t* pool) {
  if (pool == nullptr) return nullptr;
  std::optional<std::string> text;
  if (value.IsNull()) {
    if (typeCode == CRV_SQL_NOT_SUPPORTED_TYPE || IsDateTimeType(typeCode) || typeCode >= CRV_SQL_BLOB) return nullptr;
    text = "NULL";
  } else {
    text = FormatValue(value, typeCode, /*withDates=*/false, /*withLargeObjects=*/false);
  }
  if (!text) return nullptr;
  return apr_pstrmemdup(pool, text->data(), text->size());
}

}  // namespace tessera
