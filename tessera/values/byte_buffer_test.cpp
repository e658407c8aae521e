#include "tessera/values/byte_buffer.h"

#include <gtest/gtest.h>

#include <string>

#include "tessera/values/value.h"

namespace tessera {
namespace {

TEST(ByteBuffer, InlineAndHeapContentsCopyDeeplyAndCompareByBytes) {
  for (size_t size : {size_t{2}, ByteBuffer::kInlineSize - 1, ByteBuffer::kInlineSize, ByteBuffer::kInlineSize + 1,
                      size_t{4096}}) {
    ByteBuffer a(size);
    for (size_t i = 0; i < size; ++i) EXPECT_EQ(a.data()[i], 0) << "zero-filled, size " << size;
    a.data()[size - 1] = 7;
    ByteBuffer b = a;
    EXPECT_TRUE(b == a);
    b.data()[0] = 9;
    EXPECT_FALSE(b == a) << "the copy is deep, size " << size;
    ByteBuffer moved = std::move(b);
    EXPECT_EQ(moved.size(), size);
    EXPECT_EQ(moved.data()[size - 1], 7);
    EXPECT_EQ(moved.data()[0], 9);
  }
}

TEST(ByteBuffer, ValuesOfEveryLengthKeepTheirTrailingZero) {
  for (int32_t length : {0, 1, 22, 23, 24, 25, 300}) {
    std::string text(static_cast<size_t>(length), 'x');
    Value value = Value::FromText(text);
    Value copy = value;
    EXPECT_EQ(copy.length(), length);
    EXPECT_EQ(copy.bytes(), text);
    EXPECT_EQ(copy.data()[length], 0);
    EXPECT_TRUE(copy == value);
  }
}

}  // namespace
}  // namespace tessera
