#include "tessera/values/value_convert.h"

#include <apr_general.h>
#include <apr_pools.h>
#include <gtest/gtest.h>

#include <cstring>

#include "tessera/values/number_text.h"
#include "tessera/values/sql_data_type.h"

namespace tessera {
namespace {

Value FromText(const char* text, BYTE code, int32_t* lengthOut = nullptr) {
  int32_t length = text ? static_cast<int32_t>(std::strlen(text)) : 0;
  Value v = ConvertStringToValue(text, length, code);
  if (lengthOut) *lengthOut = length;
  EXPECT_EQ(length, v.length());
  return v;
}

TEST(ConvertStringToValue, FixedWidthIntegersKeepTheLowBytes) {
  struct Case {
    const char* text;
    BYTE code;
    int32_t length;
    std::vector<BYTE> bytes;
  } cases[] = {
      {"-7", CRV_SQL_TINYINT, 1, {0xF9}},
      {"255", CRV_SQL_UNSIGNED_TINYINT, 1, {0xFF}},
      {"258", CRV_SQL_UNSIGNED_TINYINT, 1, {0x02}},  // low byte of the 32-bit result
      {"-2", CRV_SQL_SMALLINT, 2, {0xFE, 0xFF}},
      {"513", CRV_SQL_UNSIGNED_SMALLINT, 2, {0x01, 0x02}},
      {"12x", CRV_SQL_INT, 4, {0, 0, 0, 0}},  // not entirely a number: 0, not 12
      {"+16909060", CRV_SQL_INT, 4, {0x04, 0x03, 0x02, 0x01}},
      {"4294967295", CRV_SQL_UNSIGNED_INT, 4, {0xFF, 0xFF, 0xFF, 0xFF}},
      {"-1", CRV_SQL_LONG_INT, 8, {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}},
      {"5000000000", CRV_SQL_UNSIGNED_LONG_INT, 8, {0x00, 0xF2, 0x05, 0x2A, 0x01, 0, 0, 0}},
      {"true", CRV_SQL_BOOLEAN, 1, {1}},
      {"FaLsE", CRV_SQL_BOOLEAN, 1, {0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.text) + " code " + std::to_string(c.code));
    Value v = FromText(c.text, c.code);
    ASSERT_EQ(v.kind(), Value::Kind::Bytes);
    ASSERT_EQ(v.length(), c.length);
    EXPECT_EQ(std::vector<BYTE>(v.data(), v.data() + v.length()), c.bytes);
    EXPECT_EQ(v.data()[v.length()], 0) << "one extra zero byte";
  }
}

TEST(ConvertStringToValue, TextsRealsRawBytesAndFailures) {
  Value f = FromText("1.5", CRV_SQL_FLOAT);
  ASSERT_EQ(f.length(), 4);
  float fv;
  std::memcpy(&fv, f.data(), 4);
  EXPECT_FLOAT_EQ(fv, 1.5f);
  Value d = FromText("-2.25", CRV_SQL_DOUBLE);
  ASSERT_EQ(d.length(), 8);
  EXPECT_DOUBLE_EQ(d.ReadReal(), -2.25);
  EXPECT_EQ(FromText("0.5", CRV_SQL_REAL).length(), 4);

  for (BYTE code : {CRV_SQL_CHAR, CRV_SQL_NCHAR, CRV_SQL_TEXT}) {
    Value s = FromText("hello", code);
    EXPECT_EQ(s.length(), 5);
    EXPECT_STREQ(s.c_str(), "hello");
  }
  // Raw-byte codes copy exactly `length` bytes, zeros included.
  const char raw[] = {'a', '\0', 'b'};
  for (BYTE code : {CRV_SQL_NOT_SUPPORTED_TYPE, CRV_SQL_DECIMAL, CRV_SQL_NUMERIC, CRV_SQL_BLOB, CRV_SQL_CLOB}) {
    int32_t length = 3;
    Value b = ConvertStringToValue(raw, length, code);
    EXPECT_EQ(length, 3);
    EXPECT_EQ(b.bytes(), std::string_view(raw, 3));
    EXPECT_EQ(b.data()[3], 0);
  }

  EXPECT_TRUE(FromText("yes", CRV_SQL_BOOLEAN).IsNull());
  EXPECT_TRUE(FromText("1", CRV_SQL_BOOLEAN).IsNull());
  EXPECT_TRUE(FromText("soon", CRV_SQL_DATETIME).IsNull());
  EXPECT_TRUE(FromText("5", 23).IsNull());
  int32_t length = 7;
  EXPECT_TRUE(ConvertStringToValue(nullptr, length, CRV_SQL_INT).IsNull());
  EXPECT_EQ(length, 0);
}

TEST(ConvertStringToValue, DateTextsAlwaysGiveADateTimeOfLength11) {
  for (BYTE code : {CRV_SQL_DATE, CRV_SQL_TIME, CRV_SQL_DATETIME}) {
    Value v = FromText("2024-02-29", code);
    ASSERT_NE(v.dateTime(), nullptr);
    EXPECT_EQ(v.length(), 11);
    EXPECT_EQ(*v.dateTime()->date, (CrvDate{2024, 2, 29}));
    EXPECT_EQ(*v.dateTime()->time, (CrvTime{0, 0, 0}));
  }
  Value t = FromText("07:05:09", CRV_SQL_TIME);
  EXPECT_EQ(*t.dateTime()->date, CrvDate{});
  EXPECT_EQ(*t.dateTime()->time, (CrvTime{7, 5, 9}));
}

TEST(ConvertValueToString, EveryCodeFormatsItsForm) {
  struct Case {
    const char* text;
    BYTE code;
    const char* expected;
  } cases[] = {
      {"-7", CRV_SQL_TINYINT, "-7"},
      {"200", CRV_SQL_UNSIGNED_TINYINT, "200"},
      {"-300", CRV_SQL_SMALLINT, "-300"},
      {"65535", CRV_SQL_UNSIGNED_SMALLINT, "65535"},
      {"-123456", CRV_SQL_INT, "-123456"},
      {"4000000000", CRV_SQL_UNSIGNED_INT, "4000000000"},
      {"-5000000000", CRV_SQL_LONG_INT, "-5000000000"},
      {"18446744073709551615", CRV_SQL_UNSIGNED_LONG_INT, "18446744073709551615"},
      {"1.5", CRV_SQL_FLOAT, "1.500000"},
      {"2.25", CRV_SQL_DOUBLE, "2.250000"},
      {"0.125", CRV_SQL_REAL, "0.125000"},
      {"12.50", CRV_SQL_DECIMAL, "12.50"},
      {"7", CRV_SQL_NUMERIC, "7"},
      {"abc", CRV_SQL_CHAR, "abc"},
      {"abc", CRV_SQL_NCHAR, "abc"},
      {"2024-02-29", CRV_SQL_DATE, "2024-02-29 00:00:00"},
      {"10:20:30", CRV_SQL_TIME, "0000-00-00 10:20:30"},
      {"2024-02-29 10:20:30", CRV_SQL_DATETIME, "2024-02-29 10:20:30"},
      {"TRUE", CRV_SQL_BOOLEAN, "'t'"},
      {"false", CRV_SQL_BOOLEAN, "'f'"},
      {"blob", CRV_SQL_BLOB, "blob"},
      {"clob", CRV_SQL_CLOB, "clob"},
      {"long text", CRV_SQL_TEXT, "long text"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.text) + " code " + std::to_string(c.code));
    Value v = FromText(c.text, c.code);
    EXPECT_EQ(ConvertValueToString(v, c.code), std::optional<std::string>(c.expected));
  }
  EXPECT_EQ(ConvertValueToString(Value(), CRV_SQL_INT), std::optional<std::string>("NULL"));
  EXPECT_EQ(ConvertValueToString(Value::FromText("x"), CRV_SQL_NOT_SUPPORTED_TYPE), std::nullopt);
  EXPECT_EQ(ConvertValueToString(Value::FromText("x"), 23), std::nullopt);
}

TEST(ConvertValueToString, ReadsNeverBeyondTheStoredLength) {
  // The XML import stores small integers in 4 bytes and bare dates / times.
  EXPECT_EQ(ConvertValueToString(Value::FromNumber<int32_t>(-5), CRV_SQL_TINYINT), "-5");
  EXPECT_EQ(ConvertValueToString(Value::FromNumber<BYTE>(0xFF), CRV_SQL_INT), "-1");
  EXPECT_EQ(ConvertValueToString(Value::FromNumber<double>(3.5), CRV_SQL_FLOAT), "3.500000");
  EXPECT_EQ(ConvertValueToString(Value::FromDate(CrvDate{2020, 1, 2}), CRV_SQL_DATE), "2020-01-02");
  EXPECT_EQ(ConvertValueToString(Value::FromTime(CrvTime{3, 4, 5}), CRV_SQL_TIME), "03:04:05");
  EXPECT_EQ(ConvertValueToString(Value::FromBytes("", 0), CRV_SQL_INT), "0");
}

TEST(ConvertValueToPoolString, AllocatesFromThePoolAndOmitsDatesAndLargeObjects) {
  ASSERT_EQ(apr_initialize(), APR_SUCCESS);
  apr_pool_t* pool = nullptr;
  ASSERT_EQ(apr_pool_create(&pool, nullptr), APR_SUCCESS);
  EXPECT_STREQ(ConvertValueToPoolString(FromText("-42", CRV_SQL_INT), CRV_SQL_INT, pool), "-42");
  EXPECT_STREQ(ConvertValueToPoolString(FromText("42", CRV_SQL_UNSIGNED_INT), CRV_SQL_UNSIGNED_INT, pool), "42");
  EXPECT_STREQ(ConvertValueToPoolString(FromText("9000000000", CRV_SQL_LONG_INT), CRV_SQL_LONG_INT, pool),
               "9000000000");
  EXPECT_STREQ(ConvertValueToPoolString(FromText("0.5", CRV_SQL_DOUBLE), CRV_SQL_DOUBLE, pool), "0.500000");
  EXPECT_STREQ(ConvertValueToPoolString(FromText("O'Neil", CRV_SQL_CHAR), CRV_SQL_CHAR, pool), "O'Neil");
  EXPECT_STREQ(ConvertValueToPoolString(FromText("true", CRV_SQL_BOOLEAN), CRV_SQL_BOOLEAN, pool), "'t'");
  EXPECT_STREQ(ConvertValueToPoolString(Value(), CRV_SQL_INT, pool), "NULL");
  for (BYTE code : {CRV_SQL_NOT_SUPPORTED_TYPE, CRV_SQL_DATE, CRV_SQL_TIME, CRV_SQL_DATETIME, CRV_SQL_BLOB,
                    CRV_SQL_CLOB, CRV_SQL_TEXT}) {
    EXPECT_EQ(ConvertValueToPoolString(FromText("2024-01-01", code), code, pool), nullptr) << int(code);
  }
  EXPECT_EQ(ConvertValueToPoolString(FromText("1", CRV_SQL_INT), CRV_SQL_INT, nullptr), nullptr);
  apr_pool_destroy(pool);
  apr_terminate();
}

TEST(NumericParsers, FollowTheirExactRules) {
  EXPECT_EQ(StringToInt32("-2147483648"), INT32_MIN);
  EXPECT_EQ(StringToInt32("+15"), 15);
  for (const char* bad : {"12x", " 1", "1 ", "1.0", "--1", "x"}) EXPECT_EQ(StringToInt32(bad), 0) << bad;
  EXPECT_EQ(StringToInt32(nullptr), 0);
  EXPECT_EQ(StringToInt32(""), 0);
  EXPECT_EQ(StringToInt64("-9000000000"), -9000000000LL);
  EXPECT_EQ(StringToInt64("9x"), 0);

  EXPECT_DOUBLE_EQ(StringToReal("-12.375"), -12.375);
  EXPECT_DOUBLE_EQ(StringToReal("+3"), 3.0);
  EXPECT_DOUBLE_EQ(StringToReal("7."), 7.0);
  EXPECT_DOUBLE_EQ(StringToReal("1e5"), 0.0);
  EXPECT_DOUBLE_EQ(StringToReal("1.2.3"), 0.0);

  EXPECT_EQ(StringToInteger("255"), 255);
  EXPECT_EQ(StringToInteger("-12"), -12);
  EXPECT_EQ(StringToInteger("+12"), 12);
  EXPECT_EQ(StringToInteger("12a"), -1);
  EXPECT_EQ(StringToInteger(" 12"), -1);
  EXPECT_EQ(StringToInteger(""), 0);

  EXPECT_DOUBLE_EQ(StringToDecimal("12.05"), 12.05);
  EXPECT_DOUBLE_EQ(StringToDecimal("42"), 42.0);
  EXPECT_DOUBLE_EQ(StringToDecimal("1.2.3"), 0.0);
  EXPECT_DOUBLE_EQ(StringToDecimal("-1.5"), 0.0);
}

TEST(IntegerText, ConversionsAndToString) {
  EXPECT_EQ(ConvertToStringFromInteger(-17), "-17");
  int32_t length = 0;
  EXPECT_EQ(ConvertToStringFromUnsignedInteger(4294967295u, length), "4294967295");
  EXPECT_EQ(length, 10);
  int32_t n = -3;
  EXPECT_EQ(ToString(&n, 4, 0), std::optional<std::string>("-3"));
  BYTE flag = 1;
  EXPECT_EQ(ToString(&flag, 1, 1), std::optional<std::string>("TRUE"));
  flag = 0;
  EXPECT_EQ(ToString(&flag, 1, 1), std::optional<std::string>("FALSE"));
  EXPECT_EQ(ToString(&flag, 1, 2), std::nullopt);
  EXPECT_EQ(ToString(nullptr, 4, 0), std::nullopt);
}

}  // namespace
}  // namespace tessera
