#include "tessera/xml/column_value.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "tests/support/log_capture.h"
#include "tessera/values/value_convert.h"

namespace tessera {
namespace {

Value Convert(BYTE code, const char* text, int32_t* lengthOut = nullptr) {
  Value value;
  int32_t length = -1;
  EXPECT_EQ(AllocateAndCopyColumnValue(value, length, code, text), kTesseraSuccess) << int(code) << " " << text;
  EXPECT_EQ(length, value.length());
  if (lengthOut) *lengthOut = length;
  return value;
}

TEST(AllocateAndCopyColumnValueTest, IntegerCodesGiveFourBytesAndLongCodesEight) {
  for (BYTE code : {1, 2, 3, 4, 5, 6}) {
    Value v = Convert(code, "-1234");
    EXPECT_EQ(v.length(), 4) << int(code);
    EXPECT_EQ(static_cast<int32_t>(v.ReadSigned(4)), -1234) << int(code);
  }
  EXPECT_EQ(Convert(5, "12x").ReadSigned(4), 0);  // not entirely a number
  for (BYTE code : {7, 8}) {
    Value v = Convert(code, "6000000000");  // beyond 32 bits: kept whole
    EXPECT_EQ(v.length(), 8);
    EXPECT_EQ(v.ReadSigned(8), 6000000000LL);
  }
}

TEST(AllocateAndCopyColumnValueTest, RealCodesGiveDoubles) {
  for (BYTE code : {9, 10, 11}) {
    Value v = Convert(code, "2.5");
    EXPECT_EQ(v.length(), 8) << int(code);
    EXPECT_DOUBLE_EQ(v.ReadReal(), 2.5);
  }
}

TEST(AllocateAndCopyColumnValueTest, TextAndRawCodesKeepTheText) {
  for (BYTE code : {12, 13, 14, 15, 20, 21, 22}) {
    Value v = Convert(code, "7.5 <a&b>");
    EXPECT_EQ(v.bytes(), "7.5 <a&b>") << int(code);
    EXPECT_EQ(v.length(), 9);
  }
  EXPECT_EQ(Convert(22, "").length(), 0);
  EXPECT_FALSE(Convert(22, "").IsNull());  // an empty text is a value, not NULL
}

TEST(AllocateAndCopyColumnValueTest, DatesTimesAndDateTimesHaveTheirOwnForms) {
  Value date = Convert(16, "2024-02-29");
  ASSERT_NE(date.date(), nullptr);
  EXPECT_EQ(*date.date(), (CrvDate{2024, 2, 29}));
  EXPECT_EQ(date.length(), 4);
  Value time = Convert(17, "07:05:09");
  ASSERT_NE(time.time(), nullptr);
  EXPECT_EQ(*time.time(), (CrvTime{7, 5, 9}));
  EXPECT_EQ(time.length(), 3);
  Value both = Convert(18, "2023-12-31 23:59:58");
  ASSERT_NE(both.dateTime(), nullptr);
  EXPECT_EQ(*both.dateTime()->date, (CrvDate{2023, 12, 31}));
  EXPECT_EQ(*both.dateTime()->time, (CrvTime{23, 59, 58}));
  EXPECT_EQ(both.length(), 11);
  Value dateOnly = Convert(18, "2023-01-02");  // the time fields not read stay 0
  EXPECT_EQ(*dateOnly.dateTime()->time, (CrvTime{0, 0, 0}));
}

TEST(AllocateAndCopyColumnValueTest, BooleansAreFalseOnlyForTheWordFalse) {
  EXPECT_EQ(Convert(19, "FALSE").data()[0], 0);
  EXPECT_EQ(Convert(19, "false").data()[0], 0);
  EXPECT_EQ(Convert(19, "true").data()[0], 1);
  EXPECT_EQ(Convert(19, "0").data()[0], 1);
  EXPECT_EQ(Convert(19, "no").length(), 1);
}

TEST(AllocateAndCopyColumnValueTest, UnsupportedCodesGiveNoValueAndANullTextFails) {
  EXPECT_TRUE(Convert(0, "abc").IsNull());
  EXPECT_TRUE(Convert(23, "abc").IsNull());
  hl::test::LogCapture log;
  Value value = Value::FromText("old");
  int32_t length = 3;
  EXPECT_EQ(AllocateAndCopyColumnValue(value, length, 14, nullptr), kTesseraFailure);
  EXPECT_TRUE(value.IsNull());
  EXPECT_EQ(length, 0);
  EXPECT_TRUE(log.Has("[TRACE]", "value parameter in AllocateAndCopyColumnValue is NULL \n"));
}

TEST(CompareValuesTest, FloatsCompareAtSinglePrecision) {
  const Value one = Value::FromNumber<double>(1.0);
  EXPECT_FALSE(CompareValues(9, one, Value::FromNumber<double>(1.0)));
  EXPECT_FALSE(CompareValues(9, one, Value::FromNumber<float>(1.0f)));  // 4- and 8-byte forms
  EXPECT_FALSE(CompareValues(10, one, Value::FromNumber<double>(1.0 + 1e-12)));  // same float
  EXPECT_TRUE(CompareValues(10, one, Value::FromNumber<double>(1.001)));
}

TEST(CompareValuesTest, Code12IsAnInvalidTypeAndNotADifference) {
  hl::test::LogCapture log;
  EXPECT_FALSE(CompareValues(12, Value::FromText("1"), Value::FromText("2")));
  EXPECT_TRUE(log.Has("[ERROR]", "Invalid type.  Cannot compare values.\n"));
  // The writers' own comparison looks at the bytes of such a type, without the message.
  log.Mark();
  EXPECT_FALSE(SameColumnValue(12, Value::FromText("1"), Value::FromText("2")));
  EXPECT_TRUE(SameColumnValue(12, Value::FromText("1"), Value::FromText("1")));
  EXPECT_EQ(log.Text().find("Invalid type"), std::string::npos);
}

TEST(CompareValuesTest, IntegersStringsAndNulls) {
  EXPECT_FALSE(CompareValues(5, Value::FromNumber<int32_t>(7), Value::FromNumber<int32_t>(7)));
  EXPECT_TRUE(CompareValues(5, Value::FromNumber<int32_t>(7), Value::FromNumber<int32_t>(8)));
  // A one-byte unsigned default and the four-byte import form of the same number are equal.
  EXPECT_FALSE(CompareValues(2, Value::FromNumber<uint8_t>(200), Value::FromNumber<int32_t>(200)));
  EXPECT_FALSE(CompareValues(14, Value::FromText("abc"), Value::FromText("abc")));
  EXPECT_TRUE(CompareValues(22, Value::FromText("abc"), Value::FromText("ABC")));
  EXPECT_TRUE(CompareValues(19, Value::FromNumber<BYTE>(0), Value::FromNumber<BYTE>(1)));
  EXPECT_FALSE(CompareValues(14, Value(), Value()));
  EXPECT_TRUE(CompareValues(14, Value(), Value::FromText("")));
}

TEST(CompareValuesTest, DateTimesCompareTheirFieldsWhateverTheirForm) {
  int32_t length = 8;
  const Value timeDefault = ConvertStringToValue("02:00:00", length, 17);  // a CrvDateTime
  EXPECT_FALSE(CompareValues(17, timeDefault, Value::FromTime(CrvTime{2, 0, 0})));
  EXPECT_TRUE(CompareValues(17, timeDefault, Value::FromTime(CrvTime{2, 0, 1})));
  EXPECT_FALSE(CompareValues(16, Value::FromDate(CrvDate{2024, 1, 2}),
                             Value::FromDateTime(CreateCrvDateTime(2024, 1, 2, 0, 0, 0))));
  EXPECT_TRUE(CompareValues(18, Value::FromDateTime(CreateCrvDateTime(2024, 1, 2, 3, 4, 5)),
                            Value::FromDateTime(CreateCrvDateTime(2024, 1, 2, 3, 4, 6))));
}

}  // namespace
}  // namespace tessera
