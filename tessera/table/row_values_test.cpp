// RowValues in and out of a row's own block: a row made by CreateNewRowObject holds its values
// right after its fields, and every way of changing, growing, moving or copying the values keeps
// them intact (run under ASan, a value left behind in a freed block shows up).
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "tessera/table/row_object.h"

namespace tessera {
namespace {

std::vector<Value> SampleValues() {
  return {Value::FromNumber<int32_t>(7), Value::FromText("short"), Value(),
          Value::FromText("a text well beyond the inline limit")};
}

TEST(RowValues, ARowMadeInOneBlockHoldsItsValuesAfterItsFields) {
  std::unique_ptr<RowObject> row = CreateNewRowObject(SampleValues());
  ASSERT_TRUE(row);
  EXPECT_TRUE(row->values.inRow());
  EXPECT_EQ(reinterpret_cast<const std::byte*>(row->values.data()),
            reinterpret_cast<const std::byte*>(row.get()) + sizeof(RowObject));
  EXPECT_EQ(row->values, SampleValues());
  EXPECT_EQ(row->columnCount(), 4);
  EXPECT_EQ(row->length(1), 5);
  EXPECT_EQ(row->state, ROW_STATE_NEW);

  std::unique_ptr<RowObject> copy = CopyRowObject(*row, 6);
  EXPECT_TRUE(copy->values.inRow());
  EXPECT_EQ(copy->columnCount(), 6);
  EXPECT_EQ(std::vector<Value>(copy->values.begin(), copy->values.begin() + 4), SampleValues());
  EXPECT_TRUE(copy->values[5].IsNull());
}

TEST(RowValues, ChangingAndGrowingKeepTheValues) {
  std::unique_ptr<RowObject> row = CreateNewRowObject(SampleValues());
  row->values[1] = Value::FromText("now longer than the inline limit");  // a longer text
  EXPECT_EQ(row->values[1].bytes(), "now longer than the inline limit");
  row->values.resize(2);  // shrinking stays in the block
  EXPECT_TRUE(row->values.inRow());
  row->values.resize(4);  // back to the block's room: NULLs
  EXPECT_TRUE(row->values.inRow());
  EXPECT_TRUE(row->values[3].IsNull());
  row->values.push_back(Value::FromText("fifth"));  // beyond the room: an own array
  EXPECT_FALSE(row->values.inRow());
  EXPECT_EQ(row->values.size(), 5u);
  EXPECT_EQ(row->values[0], Value::FromNumber<int32_t>(7));
  EXPECT_EQ(row->values[1].bytes(), "now longer than the inline limit");
  EXPECT_EQ(row->values.back().bytes(), "fifth");
  row->values.emplace_back();
  EXPECT_TRUE(row->values.back().IsNull());
  EXPECT_THROW(row->values.at(6), std::out_of_range);
}

TEST(RowValues, MovesAndCopiesLeaveEachRowItsOwnPlaces) {
  std::unique_ptr<RowObject> row = CreateNewRowObject(SampleValues());
  RowObject moved(std::move(*row));  // the values cannot leave with the block: they move out
  EXPECT_FALSE(moved.values.inRow());
  EXPECT_EQ(moved.values, SampleValues());
  EXPECT_TRUE(row->values.empty());

  std::unique_ptr<RowObject> other = CreateNewRowObject({Value::FromText("x"), Value::FromText("y")});
  other->values = moved.values;  // copy into a block with too little room
  EXPECT_EQ(other->values, SampleValues());
  other->values = std::vector<Value>{Value::FromText("z")};
  EXPECT_EQ(other->values, (std::vector<Value>{Value::FromText("z")}));

  std::unique_ptr<RowObject> target = CreateNewRowObject(SampleValues());
  RowValues own{Value::FromText("p"), Value::FromText("q")};
  target->values = std::move(own);  // fits in the block's room: stays there
  EXPECT_TRUE(target->values.inRow());
  EXPECT_EQ(target->values, (std::vector<Value>{Value::FromText("p"), Value::FromText("q")}));

  const std::vector<Value> asVector = target->values;
  EXPECT_EQ(asVector.size(), 2u);
  RowObject onStack(SampleValues());
  EXPECT_FALSE(onStack.values.inRow());
  EXPECT_EQ(onStack.values, SampleValues());
}

TEST(RowValues, ChainedRowsOfBothFormsAreFreedTogether) {
  std::unique_ptr<RowObject> head = CreateNewRowObject(SampleValues());
  RowObject* tail = head.get();
  for (int i = 0; i < 1000; ++i) {
    tail->next = i % 2 ? CreateNewRowObject(SampleValues()) : std::make_unique<RowObject>(SampleValues());
    tail = tail->next.get();
  }
  head.reset();  // ASan: no leak, no mismatched free
}

}  // namespace
}  // namespace tessera
