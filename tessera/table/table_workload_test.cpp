// A fixed pseudo-random workload (adds, updates, deletions by criteria and by row, selections
// with every operator, sorts, listings) run against the store and against a plain model of the
// table kept in this test: after every step the observable results must agree.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "tessera/table/select_rows.h"
#include "tessera/table/table_listing.h"
#include "tessera/table/table_test_support.h"

namespace tessera {
namespace {

using test::DefineTable;
using test::RowsOf;

// Columns of table "Work", in order.
enum Column { kId, kName, kAge, kScore, kSize, kNote, kColumns };
const char* const kColumnNames[kColumns] = {"ID", "NAME", "AGE", "SCORE", "SIZE", "NOTE"};

struct ModelRow {
  int32_t id = 0;
  std::optional<std::string> name;
  std::optional<int32_t> age;
  std::optional<float> score;
  std::optional<uint16_t> size;
  std::optional<std::string> note;
  BYTE state = ROW_STATE_NEW;
};

// A small deterministic generator (the same sequence on every platform).
class Random {
 public:
  uint32_t Next() {
    state_ ^= state_ << 13;
    state_ ^= state_ >> 17;
    state_ ^= state_ << 5;
    return state_;
  }
  int Below(int n) { return static_cast<int>(Next() % static_cast<uint32_t>(n)); }
  bool Chance(int percent) { return Below(100) < percent; }

 private:
  uint32_t state_ = 2463534242u;
};

// A leaf of a criteria text and how the model evaluates it.
struct Leaf {
  Column column;
  BYTE op;            // 1..6 with the column on the left
  std::string literal;  // as written (quoted for texts)
  bool valueFirst;    // written "literal op' column"
};

const char* const kOps[] = {"", "<", ">", "<=", ">=", "=", "!="};

std::string LeafText(const Leaf& leaf) {
  static const BYTE mirrored[] = {0, 2, 1, 4, 3, 5, 6};
  if (leaf.valueFirst) return leaf.literal + " " + kOps[mirrored[leaf.op]] + " " + kColumnNames[leaf.column];
  return std::string(kColumnNames[leaf.column]) + " " + kOps[leaf.op] + " " + leaf.literal;
}

template <class T>
bool CompareAs(const T& row, const T& literal, BYTE op) {
  switch (op) {
    case 1: return row < literal;
    case 2: return row > literal;
    case 3: return row <= literal;
    case 4: return row >= literal;
    case 5: return row == literal;
    case 6: return row != literal;
    default: return false;
  }
}

// NULL values never match; integers and floats compare as numbers, texts byte by byte.
bool ModelLeaf(const ModelRow& row, const Leaf& leaf) {
  auto unquoted = [&leaf] { return leaf.literal.substr(1, leaf.literal.size() - 2); };
  switch (leaf.column) {
    case kId: return CompareAs<long long>(row.id, std::stoll(leaf.literal), leaf.op);
    case kAge: return row.age && CompareAs<long long>(*row.age, std::stoll(leaf.literal), leaf.op);
    case kSize: return row.size && CompareAs<unsigned long long>(*row.size, std::stoull(leaf.literal), leaf.op);
    case kScore: return row.score && CompareAs<float>(*row.score, std::stof(leaf.literal), leaf.op);
    case kName: return row.name && CompareAs<int>(row.name->compare(unquoted()) < 0 ? -1 : (row.name->compare(unquoted()) > 0 ? 1 : 0), 0, leaf.op);
    case kNote: return row.note && CompareAs<int>(row.note->compare(unquoted()) < 0 ? -1 : (row.note->compare(unquoted()) > 0 ? 1 : 0), 0, leaf.op);
    default: return false;
  }
}

// Texts: short ones (kept inside the value) and long ones (in a block of their own).
std::string MakeText(Random& random, const char* stem) {
  std::string text = std::string(stem) + std::to_string(random.Below(12));
  if (random.Chance(40)) text += std::string(static_cast<size_t>(8 + random.Below(40)), static_cast<char>('a' + random.Below(3)));
  return text;
}

Leaf MakeLeaf(Random& random) {
  Leaf leaf{static_cast<Column>(random.Below(kColumns)), static_cast<BYTE>(1 + random.Below(6)), "", random.Chance(20)};
  switch (leaf.column) {
    case kId: leaf.literal = std::to_string(random.Below(400)); break;
    case kAge: leaf.literal = std::to_string(random.Below(100)); break;
    case kSize: leaf.literal = std::to_string(random.Below(1000)); break;
    case kScore: leaf.literal = std::to_string(random.Below(100)) + (random.Chance(50) ? ".25" : ".5"); break;
    case kName: leaf.literal = "'" + MakeText(random, "name") + "'"; break;
    case kNote: leaf.literal = "'" + MakeText(random, "note") + "'"; break;
    default: break;
  }
  return leaf;
}

// A criteria text of one to three leaves (and / or group from the right) and the model's verdict.
struct Criteria {
  std::string text;
  std::vector<Leaf> leaves;
  int shape;  // 0: a; 1: a and b; 2: a or b; 3: (a or b) and c; 4: a and b or c
  bool Matches(const ModelRow& row) const {
    auto at = [&](int i) { return ModelLeaf(row, leaves[static_cast<size_t>(i)]); };
    switch (shape) {
      case 0: return at(0);
      case 1: return at(0) && at(1);
      case 2: return at(0) || at(1);
      case 3: return (at(0) || at(1)) && at(2);
      default: return at(0) && (at(1) || at(2));
    }
  }
};

Criteria MakeCriteria(Random& random) {
  Criteria c;
  c.shape = random.Below(5);
  const int leaves = c.shape == 0 ? 1 : (c.shape <= 2 ? 2 : 3);
  for (int i = 0; i < leaves; ++i) c.leaves.push_back(MakeLeaf(random));
  auto t = [&](int i) { return LeafText(c.leaves[static_cast<size_t>(i)]); };
  switch (c.shape) {
    case 0: c.text = t(0); break;
    case 1: c.text = t(0) + " and " + t(1); break;
    case 2: c.text = t(0) + " or " + t(1); break;
    case 3: c.text = "(" + t(0) + " or " + t(1) + ") and " + t(2); break;
    default: c.text = t(0) + " and " + t(1) + " or " + t(2); break;
  }
  return c;
}

Value ModelValue(const ModelRow& row, Column column) {
  switch (column) {
    case kId: return Value::FromNumber<int32_t>(row.id);
    case kName: return row.name ? Value::FromText(*row.name) : Value();
    case kAge: return row.age ? Value::FromNumber<int32_t>(*row.age) : Value();
    case kScore: return row.score ? Value::FromNumber<float>(*row.score) : Value();
    case kSize: return row.size ? Value::FromNumber<uint16_t>(*row.size) : Value();
    case kNote: return row.note ? Value::FromText(*row.note) : Value();
    default: return Value();
  }
}

// The listing line the store writes for a model row.
std::string ModelLine(const ModelRow& row) {
  std::string line;
  char number[64];
  line += std::to_string(row.id) + "\t";
  line += row.name ? *row.name + "\t" : "NULL\t";
  line += row.age ? std::to_string(*row.age) + "\t" : "NULL\t";
  if (row.score) {
    std::snprintf(number, sizeof number, "%f\t", static_cast<double>(*row.score));
    line += number;
  } else {
    line += "NULL\t";
  }
  line += row.size ? "" : "NULL\t";  // code 4 is not one of the listed codes
  line += row.note ? *row.note + "\t" : "NULL\t";
  return line + "\n";
}

class TableWorkloadTest : public test::StoreTest {
 protected:
  void SetUp() override {
    StoreTest::SetUp();
    DefineTable("Work",
                {{"ID", CRV_SQL_INT}, {"NAME", CRV_SQL_CHAR}, {"AGE", CRV_SQL_INT}, {"SCORE", CRV_SQL_FLOAT},
                 {"SIZE", CRV_SQL_UNSIGNED_SMALLINT}, {"NOTE", CRV_SQL_TEXT}},
                {"ID"});
    ASSERT_TRUE(CreateTable("Work"));
  }

  ModelRow RandomRow() {
    ModelRow row;
    row.id = nextId_++;
    if (random_.Chance(90)) row.name = MakeText(random_, "name");
    if (random_.Chance(85)) row.age = random_.Below(100);
    if (random_.Chance(85)) row.score = static_cast<float>(random_.Below(400)) * 0.25f;
    if (random_.Chance(85)) row.size = static_cast<uint16_t>(random_.Below(1000));
    if (random_.Chance(70)) row.note = MakeText(random_, "note");
    row.state = random_.Chance(25) ? ROW_STATE_PERSISTED : ROW_STATE_NEW;
    return row;
  }

  void Add() {
    ModelRow row = RandomRow();
    std::vector<Value> values;
    for (int c = 0; c < kColumns; ++c) values.push_back(ModelValue(row, static_cast<Column>(c)));
    ASSERT_NE(test::AddRow("Work", std::move(values), row.state), nullptr);
    model_.push_back(row);
  }

  void Update() {
    if (model_.empty()) return;
    const size_t index = static_cast<size_t>(random_.Below(static_cast<int>(model_.size())));
    RowObject* row = RowsOf("Work")[index];
    ModelRow& m = model_[index];
    const Column column = static_cast<Column>(random_.Below(kColumns));
    if (column == kId) {
      EXPECT_FALSE(UpdateRowObject("Work", row, "ID", Value::FromNumber<int32_t>(-1))) << "the key is refused";
      return;
    }
    ModelRow changed = m;
    const bool toNull = random_.Chance(10);
    switch (column) {
      case kName: changed.name = toNull ? std::nullopt : std::optional(MakeText(random_, "name")); break;
      case kAge: changed.age = toNull ? std::nullopt : std::optional(random_.Below(100)); break;
      case kScore: changed.score = toNull ? std::nullopt : std::optional(static_cast<float>(random_.Below(400)) * 0.25f); break;
      case kSize: changed.size = toNull ? std::nullopt : std::optional(static_cast<uint16_t>(random_.Below(1000))); break;
      default: changed.note = toNull ? std::nullopt : std::optional(MakeText(random_, "note")); break;
    }
    ASSERT_TRUE(UpdateRowObject("Work", row, kColumnNames[column], ModelValue(changed, column)));
    changed.state |= ROW_STATE_MODIFIED;
    m = changed;
  }

  void DeleteByCriteria() {
    const Criteria criteria = MakeCriteria(random_);
    ASSERT_TRUE(DeleteRowObjectByCriteria("Work", criteria.text.c_str())) << criteria.text;
    std::vector<ModelRow> kept;
    for (ModelRow& row : model_) {
      if (!criteria.Matches(row)) {
        kept.push_back(row);
      } else if (row.state & ROW_STATE_PERSISTED) {
        row.state |= ROW_STATE_DELETED;
        kept.push_back(row);
      }
    }
    removedByCriteria_ += model_.size() - kept.size();
    model_ = kept;
  }

  void DeleteOne() {
    if (model_.empty()) return;
    const size_t index = static_cast<size_t>(random_.Below(static_cast<int>(model_.size())));
    ASSERT_TRUE(DeleteRowObject("Work", RowsOf("Work")[index]));
    if (model_[index].state & ROW_STATE_PERSISTED) model_[index].state |= ROW_STATE_DELETED;
    else model_.erase(model_.begin() + static_cast<std::ptrdiff_t>(index));
  }

  static std::vector<int32_t> IdsOf(ResultData* result) {
    std::vector<int32_t> ids;
    ResetResultDataCursor(result);
    while (RowObject* row = GotoNextRowObject(result)) ids.push_back(static_cast<int32_t>(row->values[kId].ReadSigned(4)));
    return ids;
  }

  void Select() {
    const Criteria criteria = MakeCriteria(random_);
    auto result = SelectRows("Work", criteria.text.c_str());
    ASSERT_TRUE(result) << criteria.text;
    std::vector<int32_t> expected;
    for (const ModelRow& row : model_)
      if (criteria.Matches(row)) expected.push_back(row.id);
    ASSERT_EQ(IdsOf(result.get()), expected) << criteria.text;
    EXPECT_EQ(result->rowCount, static_cast<int32_t>(expected.size()));
    if (!expected.empty() && expected.size() < model_.size()) ++partialSelections_;
  }

  void Sort() {
    auto result = SelectRows("Work", nullptr);
    ASSERT_TRUE(result);
    const bool byAge = random_.Chance(50);
    const bool ascending = random_.Chance(50);
    ASSERT_TRUE(SortResultSet(result.get(), byAge ? "AGE" : "SIZE", ascending ? 1 : 0));
    std::vector<ModelRow> sorted = model_;
    auto key = [byAge](const ModelRow& r) -> long long {
      if (byAge) return r.age ? *r.age : LLONG_MIN;
      return r.size ? *r.size : LLONG_MIN;
    };
    std::stable_sort(sorted.begin(), sorted.end(), [&](const ModelRow& a, const ModelRow& b) {
      return ascending ? key(a) < key(b) : key(a) > key(b);
    });
    std::vector<int32_t> expected;
    for (const ModelRow& row : sorted) expected.push_back(row.id);
    ASSERT_EQ(IdsOf(result.get()), expected) << (byAge ? "AGE " : "SIZE ") << (ascending ? "ascending" : "descending");
  }

  // The whole table: rows in order with their values and states, the listing, rows by index.
  void CheckTable() {
    const std::vector<RowObject*> rows = RowsOf("Work");
    ASSERT_EQ(rows.size(), model_.size());
    std::string listing;
    for (int c = 0; c < kColumns; ++c) listing += std::string(kColumnNames[c]) + "\t";
    listing += "\n";
    for (size_t i = 0; i < rows.size(); ++i) {
      ASSERT_EQ(rows[i]->columnCount(), kColumns);
      for (int c = 0; c < kColumns; ++c)
        ASSERT_EQ(rows[i]->values[static_cast<size_t>(c)], ModelValue(model_[i], static_cast<Column>(c)))
            << "row " << i << " column " << kColumnNames[c];
      ASSERT_EQ(rows[i]->state, model_[i].state) << "row " << i;
      listing += ModelLine(model_[i]);
    }
    EXPECT_EQ(ToStringTableData("Work"), listing);
    if (!rows.empty()) {
      const int32_t position = 1 + random_.Below(static_cast<int>(rows.size()));
      auto byIndex = SelectRowByRowIdx("Work", position);
      ASSERT_TRUE(byIndex);
      EXPECT_EQ(GotoNextRowObject(byIndex.get()), rows[static_cast<size_t>(position - 1)]);
    }
  }

  Random random_;
  size_t removedByCriteria_ = 0;
  int partialSelections_ = 0;
  int32_t nextId_ = 0;
  std::vector<ModelRow> model_;
};

TEST_F(TableWorkloadTest, EveryResultMatchesThePlainModel) {
  constexpr int kSteps = 2500;
  size_t largest = 0;
  for (int step = 0; step < kSteps; ++step) {
    const int pick = random_.Below(100);
    // More adds than deletions early on, so the table grows to a few hundred rows.
    if (pick < (step < kSteps / 2 ? 40 : 25)) Add();
    else if (pick < 55) Update();
    else if (pick < 62) DeleteByCriteria();
    else if (pick < 68) DeleteOne();
    else if (pick < 92) Select();
    else Sort();
    largest = std::max(largest, model_.size());
    if (::testing::Test::HasFatalFailure()) FAIL() << "at step " << step;
    if (step % 100 == 99) {
      CheckTable();
      if (::testing::Test::HasFatalFailure()) FAIL() << "at step " << step;
    }
  }
  CheckTable();
  // The workload is only worth its name when it reaches these.
  EXPECT_GT(largest, 200u);
  EXPECT_GT(removedByCriteria_, 100u);
  EXPECT_GT(partialSelections_, 200);
  std::printf("workload: largest table %zu rows, %zu removed by criteria, %d selections with some rows\n", largest,
              removedByCriteria_, partialSelections_);
}

}  // namespace
}  // namespace tessera
