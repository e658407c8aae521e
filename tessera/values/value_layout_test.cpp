// Value's compact storage: contents of up to kInlineBytes bytes inside the value, longer ones and
// date-times in a block of their own; copies are deep, moves leave NULL behind, and both forms
// read and compare alike.
#include "tessera/values/value.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace tessera {
namespace {

TEST(ValueLayout, EveryLengthAroundTheInlineLimitKeepsItsBytesAndZero) {
  for (int32_t length : {0, 1, Value::kInlineBytes - 1, Value::kInlineBytes, Value::kInlineBytes + 1, 64, 5000}) {
    std::string text;
    for (int32_t i = 0; i < length; ++i) text += static_cast<char>('a' + i % 26);
    Value value = Value::FromText(text);
    ASSERT_EQ(value.kind(), Value::Kind::Bytes);
    EXPECT_EQ(value.length(), length);
    EXPECT_EQ(value.bytes(), text);
    EXPECT_EQ(value.c_str()[length], '\0') << length;
    const bool inside = reinterpret_cast<const BYTE*>(&value) <= value.data() &&
                        value.data() < reinterpret_cast<const BYTE*>(&value) + sizeof(Value);
    EXPECT_EQ(inside, length <= Value::kInlineBytes) << length;

    Value copy = value;
    EXPECT_EQ(copy, value);
    EXPECT_NE(copy.data(), value.data()) << "copies are deep";
    if (length > 0) {
      copy.data()[0] = '#';
      EXPECT_FALSE(copy == value);
      EXPECT_EQ(value.bytes(), text);
    }
    Value moved = std::move(value);
    EXPECT_EQ(moved.bytes(), text);
    EXPECT_TRUE(value.IsNull());  // NOLINT(bugprone-use-after-move): the moved-from state is NULL
    EXPECT_EQ(value.length(), 0);
    moved = moved;  // self-assignment keeps the value
    EXPECT_EQ(moved.bytes(), text);
  }
}

TEST(ValueLayout, NumbersReadAtTheirWidthFromEitherForm) {
  EXPECT_EQ(Value::FromNumber<int64_t>(-5).ReadSigned(8), -5);
  EXPECT_EQ(Value::FromNumber<uint16_t>(65535).ReadUnsigned(2), 65535u);
  EXPECT_DOUBLE_EQ(Value::FromNumber<double>(2.5).ReadReal(), 2.5);
  EXPECT_FLOAT_EQ(static_cast<float>(Value::FromNumber<float>(0.25f).ReadReal()), 0.25f);
  const unsigned char wide[12] = {1, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 9};
  Value bytes = Value::FromBytes(wide, 12);  // a heap buffer read as a little-endian integer
  EXPECT_EQ(bytes.ReadUnsigned(4), 0x0201u);
  EXPECT_TRUE(Value::FromBytes(nullptr, 3).IsNull());
  EXPECT_TRUE(Value::FromBytes(wide, -1).IsNull());
  EXPECT_EQ(Value::FromBytes(nullptr, 0).length(), 0);
}

TEST(ValueLayout, DatesTimesAndDateTimesCopyAndCompare) {
  const Value date = Value::FromDate(CrvDate{2024, 2, 29});
  const Value time = Value::FromTime(CrvTime{7, 5, 0});
  const Value both = Value::FromDateTime(CrvDateTime{CrvDate{2001, 1, 2}, CrvTime{23, 59, 1}});
  ASSERT_NE(date.date(), nullptr);
  EXPECT_EQ(date.date()->year, 2024);
  EXPECT_EQ(date.time(), nullptr);
  EXPECT_EQ(date.data(), nullptr);
  ASSERT_NE(time.time(), nullptr);
  EXPECT_EQ(time.time()->minute, 5);
  ASSERT_NE(both.dateTime(), nullptr);
  EXPECT_EQ(both.length(), 11);
  Value copy = both;
  EXPECT_EQ(copy, both);
  EXPECT_NE(copy.dateTime(), both.dateTime());
  EXPECT_FALSE(copy == date);
  EXPECT_FALSE(Value::FromDate(CrvDate{2024, 2, 28}) == date);
  std::vector<Value> values;
  for (int i = 0; i < 100; ++i) values.push_back(i % 2 ? both : Value::FromText(std::string(static_cast<size_t>(i), 'q')));
  for (int i = 0; i < 100; ++i) {
    if (i % 2) EXPECT_EQ(values[static_cast<size_t>(i)], both);
    else EXPECT_EQ(values[static_cast<size_t>(i)].length(), i);
  }
  Value replaced = Value::FromText(std::string(40, 'l'));
  replaced = date;  // a heap buffer gives way to a bare date
  EXPECT_EQ(replaced, date);
  replaced = Value();
  EXPECT_TRUE(replaced.IsNull());
}

}  // namespace
}  // namespace tessera
