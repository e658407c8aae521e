#include "tessera/values/sql_data_type.h"

#include <gtest/gtest.h>

namespace tessera {
namespace {

TEST(SqlDataType, EveryDictionaryNameMapsToItsCodeInAnyCase) {
  struct Case {
    const char* name;
    BYTE code;
  } cases[] = {
      {"CRV_SQL_NOT_SUPPORTED_TYPE", 0}, {"CRV_SQL_TINYINT", 1},  {"CRV_SQL_UNSIGNED_TINYINT", 2},
      {"CRV_SQL_SMALLINT", 3},           {"CRV_SQL_UNSIGNED_SMALLINT", 4},
      {"CRV_SQL_INT", 5},                {"BIGINT", 5},           {"INTEGER", 5},
      {"LONG", 5},                       {"CRV_SQL_UNSIGNED_INT", 6},
      {"CRV_SQL_UNSIGNED_LONG_INT", 8},  {"CRV_SQL_FLOAT", 9},    {"FLOAT", 9},
      {"CRV_SQL_DOUBLE", 10},            {"CRV_SQL_REAL", 11},    {"CRV_SQL_DECIMAL", 12},
      {"CRV_SQL_NUMERIC", 13},           {"CRV_SQL_CHAR", 14},    {"CHAR", 15},
      {"NCHAR", 15},                     {"CRV_SQL_DATE", 16},    {"DATE", 16},
      {"CRV_SQL_TIME", 17},              {"TIME", 17},            {"CRV_SQL_DATETIME", 18},
      {"DATETIME", 18},                  {"TIMESTAMP", 18},       {"BOOLEAN", 19},
      {"CRV_SQL_BLOB", 20},              {"BLOB", 20},            {"CRV_SQL_CLOB", 21},
      {"CLOB", 21},                      {"CRV_SQL_TEXT", 22},    {"TEXT", 22},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(GetDataTypeCode(c.name), c.code) << c.name;
    std::string lower(c.name);
    for (char& ch : lower) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    EXPECT_EQ(GetDataTypeCode(lower.c_str()), c.code) << lower;
  }
  EXPECT_EQ(GetDataTypeCode("bigint"), 5);
  EXPECT_EQ(GetDataTypeCode("BiGiNt"), 5);
  // Names that are not in the table, including the enumerator names of 7, 15 and 19.
  for (const char* unknown : {"CRV_SQL_LONG_INT", "CRV_SQL_NCHAR", "CRV_SQL_BOOLEAN", "VARCHAR", "INT", "", " INT"})
    EXPECT_EQ(GetDataTypeCode(unknown), 0) << unknown;
  EXPECT_EQ(GetDataTypeCode(nullptr), 0);
}

TEST(SqlDataType, WidthsAndClasses) {
  const int32_t widths[23] = {0, 1, 1, 2, 2, 4, 4, 8, 8, 4, 8, 4, 0, 0, 0, 0, 11, 11, 11, 1, 0, 0, 0};
  for (BYTE code = 0; code <= kMaxSqlDataType; ++code) EXPECT_EQ(ValueWidthOfType(code), widths[code]) << int(code);
  EXPECT_TRUE(IsStringType(14) && IsStringType(15) && IsStringType(22) && !IsStringType(21));
  EXPECT_TRUE(IsDateTimeType(16) && IsDateTimeType(18) && !IsDateTimeType(19));
  EXPECT_TRUE(IsRawBytesType(0) && IsRawBytesType(12) && IsRawBytesType(21) && !IsRawBytesType(22));
}

}  // namespace
}  // namespace tessera
