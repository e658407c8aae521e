// The specialised row scans against the general evaluation: on random rows (NULLs, short and long
// texts around the one-word and inline limits, integers stored at other widths, rows with fewer
// values) and random criteria of every operator in both operand orders, ScanMatchingRows selects
// exactly the rows for which EvaluateCriteria is true, in order.
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "tessera/query/criteria.h"
#include "tessera/query/criteria_program.h"
#include "tessera/query/criteria_scan.h"
#include "tessera/table/row_directory.h"
#include "tessera/values/sql_data_type.h"

namespace tessera {
namespace {

const CriteriaColumn kColumns[] = {
    {"NAME", CRV_SQL_NCHAR}, {"AGE", CRV_SQL_INT},        {"BIG", CRV_SQL_UNSIGNED_INT},
    {"NOTE", CRV_SQL_TEXT},  {"SMALL", CRV_SQL_SMALLINT}, {"SCORE", CRV_SQL_FLOAT},
};
constexpr int kName = 0, kAge = 1, kBig = 2, kNote = 3, kSmall = 4, kScore = 5;
const char* const kOperators[] = {"<", ">", "<=", ">=", "=", "!="};
const char* const kIntLiterals[] = {"0", "1", "2", "3", "49", "50", "51", "65535", "2147483647", "2147483648",
                                    "3000000000", "4294967295", "'5'"};

using Random = std::mt19937;

int Pick(Random& random, int count) { return std::uniform_int_distribution<int>(0, count - 1)(random); }

// Texts over a two-letter alphabet, so that equal texts are frequent, of 0 to 14 characters.
std::string RandomText(Random& random, int maxLength = 14) {
  std::string text(static_cast<size_t>(Pick(random, maxLength + 1)), 'a');
  for (char& c : text) c = Pick(random, 2) ? 'a' : 'b';
  return text;
}

Value RandomTextValue(Random& random) {
  switch (Pick(random, 10)) {
    case 0: return Value();
    case 1: {
      std::string bytes = RandomText(random, 6) + '\0' + RandomText(random, 6);  // a zero byte inside
      return Value::FromBytes(bytes.data(), static_cast<int32_t>(bytes.size()));
    }
    case 2: return Value::FromNumber<int32_t>(Pick(random, 3));
    case 3: return Value::FromDate(CrvDate{2024, 1, 2});
    default: return Value::FromText(RandomText(random));
  }
}

Value RandomIntValue(Random& random) {
  static const int64_t kInts[] = {-3, -1, 0, 1, 2, 3, 49, 50, 51, 65535, 65536, INT32_MIN, INT32_MAX};
  const int64_t n = kInts[Pick(random, static_cast<int>(std::size(kInts)))];
  switch (Pick(random, 12)) {
    case 0: return Value();
    case 1: return Value::FromNumber<int8_t>(static_cast<int8_t>(n));
    case 2: return Value::FromNumber<int16_t>(static_cast<int16_t>(n));
    case 3: return Value::FromNumber<int64_t>(n);
    case 4: return Value::FromText("");
    case 5: return Value::FromNumber<uint32_t>(Pick(random, 2) ? 3000000000u : 4294967295u);
    default: return Value::FromNumber<int32_t>(static_cast<int32_t>(n));
  }
}

class CriteriaScanTest : public ::testing::Test {
 protected:
  void AddRandomRows(Random& random, int count) {
    for (int i = 0; i < count; ++i) {
      std::vector<Value> values(std::size(kColumns));
      values[kName] = RandomTextValue(random);
      values[kAge] = RandomIntValue(random);
      values[kBig] = RandomIntValue(random);
      values[kNote] = RandomTextValue(random);
      values[kSmall] = Pick(random, 5) ? Value::FromNumber<int16_t>(static_cast<int16_t>(Pick(random, 100))) : Value();
      values[kScore] = Pick(random, 5) ? Value::FromNumber<float>(static_cast<float>(Pick(random, 100))) : Value();
      if (Pick(random, 20) == 0) values.resize(static_cast<size_t>(Pick(random, 3)));  // fewer values
      // Rows in one block and rows with their own value array.
      std::unique_ptr<RowObject> row = Pick(random, 3) ? CreateNewRowObject(std::move(values))
                                                       : std::make_unique<RowObject>(std::move(values));
      directory_.Append(row.get());
      rows_.push_back(std::move(row));
    }
  }

  // The rows the scan selects and the rows the general evaluation accepts, for one bound tree.
  void ExpectSameRows(const std::string& text) {
    CriteriaPtr root = ParseCriteria(text.c_str());
    ASSERT_TRUE(root) << text;
    BindCriteriaColumns(kColumns, root.get());
    std::vector<const RowObject*> scanned, general;
    EXPECT_TRUE(ScanMatchingRows(directory_, root.get(), [&](RowObject* row) {
      scanned.push_back(row);
      return true;
    }));
    for (const auto& row : rows_)
      if (EvaluateCriteria(*row, root.get())) general.push_back(row.get());
    ASSERT_EQ(scanned, general) << text;
  }

  std::vector<std::unique_ptr<RowObject>> rows_;
  RowDirectory directory_;
};

std::string RandomLeaf(Random& random) {
  const char* op = kOperators[Pick(random, 6)];
  std::string column, literal;
  switch (Pick(random, 6)) {
    case 0:
    case 1:
      column = Pick(random, 2) ? "NAME" : "note";
      literal = Pick(random, 8) ? "'" + RandomText(random, 13) + "'" : std::to_string(Pick(random, 100));
      break;
    case 2: column = "AGE"; literal = kIntLiterals[Pick(random, static_cast<int>(std::size(kIntLiterals)))]; break;
    case 3: column = "BIG"; literal = kIntLiterals[Pick(random, static_cast<int>(std::size(kIntLiterals)))]; break;
    case 4: column = Pick(random, 2) ? "SMALL" : "SCORE"; literal = std::to_string(Pick(random, 100)); break;
    default: column = Pick(random, 2) ? "MISSING" : "AGE"; literal = std::to_string(Pick(random, 60)); break;
  }
  // Both orders: "5 < AGE" is the leaf AGE > 5.
  return Pick(random, 2) ? column + " " + op + " " + literal : literal + " " + op + " " + column;
}

TEST_F(CriteriaScanTest, SpecialisedScansSelectTheRowsOfTheGeneralEvaluation) {
  Random random(20261208);
  AddRandomRows(random, 600);
  for (int i = 0; i < 1500; ++i) {
    std::string text;
    switch (Pick(random, 5)) {
      case 0: text = RandomLeaf(random); break;
      case 1: text = RandomLeaf(random) + " and " + RandomLeaf(random); break;
      case 2: text = RandomLeaf(random) + " or " + RandomLeaf(random); break;
      case 3: text = "(" + RandomLeaf(random) + ")"; break;
      default: text = RandomLeaf(random) + (Pick(random, 2) ? " and " : " or ") + RandomLeaf(random) + " or " + RandomLeaf(random); break;
    }
    ExpectSameRows(text);
    if (HasFatalFailure()) return;
  }
}

TEST_F(CriteriaScanTest, TextEqualityAroundTheWordAndInlineLimits) {
  // Stored texts of every length from 0 to 13 against literals of every length from 0 to 13: the
  // one-word comparison covers literals up to 7 characters, and values move out of line past 10.
  std::string base = "abcdefghijklm";
  for (size_t n = 0; n <= base.size(); ++n) {
    std::vector<Value> values(std::size(kColumns));
    values[kName] = Value::FromText(base.substr(0, n));
    values[kNote] = Value::FromText(base.substr(0, n) + (n % 2 ? "x" : ""));
    std::unique_ptr<RowObject> row = CreateNewRowObject(std::move(values));
    directory_.Append(row.get());
    rows_.push_back(std::move(row));
  }
  for (size_t n = 0; n <= base.size(); ++n)
    for (const char* op : {"=", "!="})
      for (const char* column : {"NAME", "NOTE"}) {
        const std::string literal = "'" + base.substr(0, n) + "'";
        ExpectSameRows(std::string(column) + " " + op + " " + literal);
        ExpectSameRows(literal + " " + op + " " + column + " and AGE != 1");
        ExpectSameRows(literal + " " + op + " " + column + " or NAME = 'abc'");
      }
  // Every text: exactly one stored NAME equals each literal.
  CriteriaPtr root = ParseCriteria("NAME = 'abcdefg'");
  BindCriteriaColumns(kColumns, root.get());
  int matched = 0;
  ScanMatchingRows(directory_, root.get(), [&](RowObject*) { return ++matched > 0; });
  EXPECT_EQ(matched, 1);
}

TEST_F(CriteriaScanTest, CommonShapesAreSpecialised) {
  CriteriaPtr root = ParseCriteria("AGE >= 50 and NAME = 'name3'");
  BindCriteriaColumns(kColumns, root.get());
  const detail::ScanPlan& plan = root->program->plan;
  EXPECT_EQ(plan.shape, detail::ScanPlan::Shape::And);
  EXPECT_EQ(plan.first.kind, detail::ScanLeaf::Kind::Signed32);
  EXPECT_EQ(plan.second.kind, detail::ScanLeaf::Kind::TextEqual);
  EXPECT_TRUE(plan.second.textInWord);

  CriteriaPtr other = ParseCriteria("5 > BIG or NAME < 'x'");
  BindCriteriaColumns(kColumns, other.get());
  EXPECT_EQ(other->program->plan.shape, detail::ScanPlan::Shape::Or);
  EXPECT_EQ(other->program->plan.first.kind, detail::ScanLeaf::Kind::Unsigned32);
  EXPECT_EQ(other->program->plan.second.kind, detail::ScanLeaf::Kind::General);  // text ordering

  CriteriaPtr three = ParseCriteria("AGE = 1 and AGE = 2 and AGE = 3");
  BindCriteriaColumns(kColumns, three.get());
  EXPECT_EQ(three->program->plan.shape, detail::ScanPlan::Shape::None);
}

TEST_F(CriteriaScanTest, ASinkThatRefusesEndsTheScan) {
  Random random(7);
  AddRandomRows(random, 50);
  for (const char* text : {"AGE != 12345", "AGE != 12345 or NAME = 'a'", "AGE != 7 or AGE = 1 and AGE = 2"}) {
    CriteriaPtr root = ParseCriteria(text);
    BindCriteriaColumns(kColumns, root.get());
    int calls = 0;
    EXPECT_FALSE(ScanMatchingRows(directory_, root.get(), [&](RowObject*) { return ++calls < 3; })) << text;
    EXPECT_EQ(calls, 3) << text;
  }
}

}  // namespace
}  // namespace tessera
