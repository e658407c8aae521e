// Column type codes (SqlDataType) and the type names a data dictionary may use.
#pragma once

#include <cstdint>

#include "platform/win32.h"

namespace tessera {

// The one-byte type code stored in every column definition. Only the names accepted by
// GetDataTypeCode map to a code; the enumerator names of 7, 15 and 19 are not dictionary names.
enum SqlDataType : BYTE {
  CRV_SQL_NOT_SUPPORTED_TYPE = 0,  // raw bytes
  CRV_SQL_TINYINT = 1,             // 1 byte, signed
  CRV_SQL_UNSIGNED_TINYINT = 2,    // 1 byte, unsigned
  CRV_SQL_SMALLINT = 3,            // 2 bytes, signed
  CRV_SQL_UNSIGNED_SMALLINT = 4,   // 2 bytes, unsigned
  CRV_SQL_INT = 5,                 // 4 bytes, signed ("BIGINT", "INTEGER", "LONG" too)
  CRV_SQL_UNSIGNED_INT = 6,        // 4 bytes, unsigned
  CRV_SQL_LONG_INT = 7,            // 8 bytes, signed (no dictionary name)
  CRV_SQL_UNSIGNED_LONG_INT = 8,   // 8 bytes, unsigned
  CRV_SQL_FLOAT = 9,               // 4-byte float
  CRV_SQL_DOUBLE = 10,             // 8-byte double
  CRV_SQL_REAL = 11,               // 4-byte float
  CRV_SQL_DECIMAL = 12,            // raw bytes
  CRV_SQL_NUMERIC = 13,            // raw bytes
  CRV_SQL_CHAR = 14,               // string
  CRV_SQL_NCHAR = 15,              // string ("CHAR", "NCHAR")
  CRV_SQL_DATE = 16,               // date/time object
  CRV_SQL_TIME = 17,               // date/time object
  CRV_SQL_DATETIME = 18,           // date/time object ("TIMESTAMP" too)
  CRV_SQL_BOOLEAN = 19,            // 1 byte, 0 or 1 (dictionary name "BOOLEAN")
  CRV_SQL_BLOB = 20,               // raw bytes
  CRV_SQL_CLOB = 21,               // raw bytes
  CRV_SQL_TEXT = 22,               // string
};

inline constexpr BYTE kMaxSqlDataType = CRV_SQL_TEXT;
// Columns of code 14 or 15 longer than this are stored as CRV_SQL_TEXT.
inline constexpr int32_t kMaxCharColumnSize = 255;
// The length of a date/time value built from text.
inline constexpr int32_t kDateTimeValueLength = 11;

// The code for a dictionary type name: compared without regard to case, in table order, first
// match wins; a null or unknown name gives 0.
BYTE GetDataTypeCode(const char* name);

// Byte width of the fixed-width forms (1, 2, 4 or 8), 11 for date/time codes, 0 otherwise.
int32_t ValueWidthOfType(BYTE code);

bool IsStringType(BYTE code);    // 14, 15, 22
bool IsDateTimeType(BYTE code);  // 16, 17, 18
bool IsRawBytesType(BYTE code);  // 0, 12, 13, 20, 21
bool IsSignedIntegerType(BYTE code);    // 1, 3, 5, 7
bool IsUnsignedIntegerType(BYTE code);  // 2, 4, 6, 8

}  // namespace tessera
