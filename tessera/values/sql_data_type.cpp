#include "tessera/values/sql_data_type.h"

#include <iterator>

#include "tessera/values/string_utils.h"

namespace tessera {
namespace {

struct TypeName {
  const char* name;
  BYTE code;
};

// The dictionary's type names in lookup order.
constexpr TypeName kTypeNames[] = {
    {"CRV_SQL_NOT_SUPPORTED_TYPE", CRV_SQL_NOT_SUPPORTED_TYPE},
    {"CRV_SQL_TINYINT", CRV_SQL_TINYINT},
    {"CRV_SQL_UNSIGNED_TINYINT", CRV_SQL_UNSIGNED_TINYINT},
    {"CRV_SQL_SMALLINT", CRV_SQL_SMALLINT},
    {"CRV_SQL_UNSIGNED_SMALLINT", CRV_SQL_UNSIGNED_SMALLINT},
    {"CRV_SQL_INT", CRV_SQL_INT},
    {"BIGINT", CRV_SQL_INT},
    {"INTEGER", CRV_SQL_INT},
    {"LONG", CRV_SQL_INT},
    {"CRV_SQL_UNSIGNED_INT", CRV_SQL_UNSIGNED_INT},
    {"CRV_SQL_UNSIGNED_LONG_INT", CRV_SQL_UNSIGNED_LONG_INT},
    {"CRV_SQL_FLOAT", CRV_SQL_FLOAT},
    {"FLOAT", CRV_SQL_FLOAT},
    {"CRV_SQL_DOUBLE", CRV_SQL_DOUBLE},
    {"CRV_SQL_REAL", CRV_SQL_REAL},
    {"CRV_SQL_DECIMAL", CRV_SQL_DECIMAL},
    {"CRV_SQL_NUMERIC", CRV_SQL_NUMERIC},
    {"CRV_SQL_CHAR", CRV_SQL_CHAR},
    {"CHAR", CRV_SQL_NCHAR},
    {"NCHAR", CRV_SQL_NCHAR},
    {"CRV_SQL_DATE", CRV_SQL_DATE},
    {"DATE", CRV_SQL_DATE},
    {"CRV_SQL_TIME", CRV_SQL_TIME},
    {"TIME", CRV_SQL_TIME},
    {"CRV_SQL_DATETIME", CRV_SQL_DATETIME},
    {"DATETIME", CRV_SQL_DATETIME},
    {"TIMESTAMP", CRV_SQL_DATETIME},
    {"BOOLEAN", CRV_SQL_BOOLEAN},
    {"CRV_SQL_BLOB", CRV_SQL_BLOB},
    {"BLOB", CRV_SQL_BLOB},
    {"CRV_SQL_CLOB", CRV_SQL_CLOB},
    {"CLOB", CRV_SQL_CLOB},
    {"CRV_SQL_TEXT", CRV_SQL_TEXT},
    {"TEXT", CRV_SQL_TEXT},
};

}  // namespace

BYTE GetDataTypeCode(const char* name) {
  if (name == nullptr) return CRV_SQL_NOT_SUPPORTED_TYPE;
  for (const TypeName& entry : kTypeNames)
    if (EqualsIgnoreCase(name, entry.name)) return entry.code;
  return CRV_SQL_NOT_SUPPORTED_TYPE;
}

int32_t ValueWidthOfType(BYTE code) {
  switch (code) {
    case CRV_SQL_TINYINT:
    case CRV_SQL_UNSIGNED_TINYINT:
    case CRV_SQL_BOOLEAN:
      return 1;
    case CRV_SQL_SMALLINT:
    case CRV_SQL_UNSIGNED_SMALLINT:
      return 2;
    case CRV_SQL_INT:
    case CRV_SQL_UNSIGNED_INT:
    case CRV_SQL_FLOAT:
    case CRV_SQL_REAL:
      return 4;
    case CRV_SQL_LONG_INT:
    case CRV_SQL_UNSIGNED_LONG_INT:
    case CRV_SQL_DOUBLE:
      return 8;
    case CRV_SQL_DATE:
    case CRV_SQL_TIME:
    case CRV_SQL_DATETIME:
      return kDateTimeValueLength;
    default:
      return 0;
  }
}

bool IsStringType(BYTE code) { return code == CRV_SQL_CHAR || code == CRV_SQL_NCHAR || code == CRV_SQL_TEXT; }

bool IsDateTimeType(BYTE code) { return code >= CRV_SQL_DATE && code <= CRV_SQL_DATETIME; }

bool IsRawBytesType(BYTE code) {
  return code == CRV_SQL_NOT_SUPPORTED_TYPE || code == CRV_SQL_DECIMAL || code == CRV_SQL_NUMERIC ||
         code == CRV_SQL_BLOB || code == CRV_SQL_CLOB;
}

bool IsSignedIntegerType(BYTE code) {
  return code == CRV_SQL_TINYINT || code == CRV_SQL_SMALLINT || code == CRV_SQL_INT || code == CRV_SQL_LONG_INT;
}

bool IsUnsignedIntegerType(BYTE code) {
  return code == CRV_SQL_UNSIGNED_TINYINT || code == CRV_SQL_UNSIGNED_SMALLINT || code == CRV_SQL_UNSIGNED_INT ||
         code == CRV_SQL_UNSIGNED_LONG_INT;
}

}  // namespace tessera
