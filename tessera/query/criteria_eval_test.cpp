#include <gtest/gtest.h>

#include <functional>
#include <random>
#include <string>
#include <vector>

#include "tessera/query/criteria.h"
#include "tessera/values/sql_data_type.h"

namespace tessera {
namespace {

// Columns in row order.
const CriteriaColumn kColumns[] = {
    {"NAME", CRV_SQL_NCHAR},     {"AGE", CRV_SQL_INT},          {"SCORE", CRV_SQL_FLOAT},
    {"RATIO", CRV_SQL_DOUBLE},   {"BORN", CRV_SQL_DATETIME},    {"OK", CRV_SQL_BOOLEAN},
    {"SMALL", CRV_SQL_SMALLINT}, {"BIG", CRV_SQL_UNSIGNED_INT}, {"TINY", CRV_SQL_TINYINT},
    {"NOTE", CRV_SQL_TEXT},      {"A", CRV_SQL_INT},            {"B", CRV_SQL_INT},
    {"C", CRV_SQL_INT},          {"BLOB", CRV_SQL_BLOB},        {"REALV", CRV_SQL_REAL},
};
constexpr int kName = 0, kAge = 1, kScore = 2, kRatio = 3, kBorn = 4, kOk = 5, kSmall = 6, kBig = 7, kTiny = 8,
              kNote = 9, kA = 10, kB = 11, kC = 12, kBlob = 13, kReal = 14;

RowObject MakeRow(std::initializer_list<std::pair<int, Value>> values) {
  RowObject row;
  row.values.resize(std::size(kColumns));
  for (const auto& [index, value] : values) row.values[static_cast<size_t>(index)] = value;
  return row;
}

bool Matches(const char* text, const RowObject& row) {
  CriteriaPtr root = ParseCriteria(text);
  EXPECT_TRUE(root) << text;
  if (!root) return false;
  BindCriteriaColumns(kColumns, root.get());
  return EvaluateCriteria(row, root.get());
}

TEST(CriteriaBinding, ResolvesColumnsWithoutRegardToCaseAndConvertsOnce) {
  CriteriaPtr root = ParseCriteria("age > 5 and Nope = 1");
  ASSERT_TRUE(root);
  BindCriteriaColumns(kColumns, root.get());
  EXPECT_EQ(root->left->columnIndex, kAge);
  EXPECT_EQ(root->left->columnType, CRV_SQL_INT);
  EXPECT_EQ(root->left->literal.kind, detail::BoundLiteral::Kind::Signed);
  EXPECT_EQ(root->left->literal.i, 5);
  EXPECT_EQ(root->right->columnIndex, 0);  // not found: index 0, type 0
  EXPECT_EQ(root->right->columnType, 0);
}

TEST(CriteriaEvaluation, TextComparesByteByByteWithCase) {
  const RowObject abc = MakeRow({{kName, Value::FromText("abc")}});
  EXPECT_TRUE(Matches("NAME = 'abc'", abc));
  EXPECT_FALSE(Matches("NAME = 'ABC'", abc));
  EXPECT_TRUE(Matches("NAME != 'ABC'", abc));
  EXPECT_TRUE(Matches("NAME < 'b'", abc));
  EXPECT_TRUE(Matches("NAME > 'ab'", abc));
  EXPECT_TRUE(Matches("NAME >= 'abc' and NAME <= 'abc'", abc));
  EXPECT_TRUE(Matches("'b' > NAME", abc));
  EXPECT_TRUE(Matches("NOTE = 'x y'", MakeRow({{kNote, Value::FromText("x y")}})));
  EXPECT_TRUE(Matches("NAME = ''", MakeRow({{kName, Value::FromText("")}})));
}

// A literal that is not quoted still loses its first and last character; one of fewer than two
// characters leaves the empty text (nothing outside the literal is read).
TEST(CriteriaEvaluation, TextLiteralShorterThanTwoCharactersComparesAsEmpty) {
  const RowObject empty = MakeRow({{kName, Value::FromText("")}});
  const RowObject named = MakeRow({{kName, Value::FromText("5")}});
  EXPECT_TRUE(Matches("NAME = 5", empty));
  EXPECT_FALSE(Matches("NAME = 5", named));
  EXPECT_TRUE(Matches("NAME != 5", named));
  EXPECT_TRUE(Matches("NAME = 12", empty));  // "12" without its ends is empty too
  EXPECT_TRUE(Matches("NAME = 123", MakeRow({{kName, Value::FromText("2")}})));
}

TEST(CriteriaEvaluation, IntegerRangesAndMirroredComparisons) {
  for (int age : {4, 5, 7, 9, 10}) {
    const RowObject row = MakeRow({{kAge, Value::FromNumber<int32_t>(age)}});
    EXPECT_EQ(Matches("AGE >= 5 and AGE <= 9", row), age >= 5 && age <= 9) << age;
    EXPECT_EQ(Matches("5 <= AGE", row), age >= 5) << age;
    EXPECT_EQ(Matches("5 < AGE", row), age > 5) << age;
    EXPECT_EQ(Matches("9 > AGE", row), age < 9) << age;
    EXPECT_EQ(Matches("7 = AGE", row), age == 7) << age;
    EXPECT_EQ(Matches("7 != AGE", row), age != 7) << age;
  }
  EXPECT_TRUE(Matches("AGE < 1", MakeRow({{kAge, Value::FromNumber<int32_t>(-3)}})));  // signed
  EXPECT_TRUE(Matches("SMALL = 300", MakeRow({{kSmall, Value::FromNumber<int16_t>(300)}})));
  EXPECT_TRUE(Matches("BIG > 5", MakeRow({{kBig, Value::FromNumber<uint32_t>(3000000000u)}})));  // unsigned
  // A literal is stored at the column's width, so 300 on a 1-byte column is 44.
  EXPECT_TRUE(Matches("TINY = 300", MakeRow({{kTiny, Value::FromNumber<int8_t>(44)}})));
  // Integer values imported at 4 bytes are read at the column's width.
  EXPECT_TRUE(Matches("TINY = 7", MakeRow({{kTiny, Value::FromNumber<int32_t>(7)}})));
  // A quoted literal on an integer column converts to 0.
  EXPECT_TRUE(Matches("AGE = '5'", MakeRow({{kAge, Value::FromNumber<int32_t>(0)}})));
}

TEST(CriteriaEvaluation, SinglePrecisionFloats) {
  EXPECT_TRUE(Matches("SCORE > 1.5", MakeRow({{kScore, Value::FromNumber<float>(2.0f)}})));
  EXPECT_FALSE(Matches("SCORE > 1.5", MakeRow({{kScore, Value::FromNumber<float>(1.25f)}})));
  EXPECT_TRUE(Matches("SCORE = 0.5", MakeRow({{kScore, Value::FromNumber<float>(0.5f)}})));
  // An 8-byte double stored by the XML import is read as a double and narrowed.
  EXPECT_TRUE(Matches("SCORE = 2.5", MakeRow({{kScore, Value::FromNumber<double>(2.5)}})));
}

TEST(CriteriaEvaluation, TypesWithoutComparisonAreFalseForEveryOperator) {
  CrvDateTime when{CrvDate{2024, 2, 29}, CrvTime{1, 2, 3}};
  const RowObject row = MakeRow({{kRatio, Value::FromNumber<double>(1.0)},
                                 {kBorn, Value::FromDateTime(when)},
                                 {kOk, Value::FromNumber<BYTE>(1)},
                                 {kBlob, Value::FromText("ab")},
                                 {kReal, Value::FromNumber<float>(1.0f)}});
  for (const char* text : {"RATIO = 1", "RATIO != 1", "RATIO > 0", "BORN = 1", "BORN != 1", "OK = 1", "OK != 0",
                           "BLOB = 'ab'", "BLOB != 'x'", "REALV = 1", "REALV != 2"})
    EXPECT_FALSE(Matches(text, row)) << text;
}

TEST(CriteriaEvaluation, UnknownColumnAndNullValueNeverMatch) {
  const RowObject row = MakeRow({{kAge, Value::FromNumber<int32_t>(5)}});
  EXPECT_FALSE(Matches("MISSING = 5", row));
  EXPECT_FALSE(Matches("MISSING != 5", row));
  const RowObject nulls = MakeRow({});
  for (const char* text : {"AGE = 5", "AGE != 5", "AGE < 5", "AGE >= 0", "NAME = 'x'", "NAME != 'x'", "SCORE > 0"})
    EXPECT_FALSE(Matches(text, nulls)) << text;
  RowObject shortRow;  // fewer values than columns
  EXPECT_FALSE(Matches("NOTE != 'x'", shortRow));
}

TEST(CriteriaEvaluation, RightGroupingDecides) {
  const RowObject row = MakeRow({{kA, Value::FromNumber<int32_t>(0)}, {kB, Value::FromNumber<int32_t>(0)},
                                 {kC, Value::FromNumber<int32_t>(3)}});
  EXPECT_FALSE(Matches("A = 1 and B = 2 or C = 3", row));   // A = 1 and (B = 2 or C = 3)
  EXPECT_TRUE(Matches("(A = 1 and B = 2) or C = 3", row));
  EXPECT_TRUE(Matches("C = 3 or A = 1 and B = 2", row));    // C = 3 or (A = 1 and B = 2)
}

TEST(CriteriaEvaluation, UnboundTreeIsFalse) {
  CriteriaPtr root = ParseCriteria("AGE = 5");
  ASSERT_TRUE(root);
  EXPECT_FALSE(EvaluateCriteria(MakeRow({{kAge, Value::FromNumber<int32_t>(5)}}), root.get()));
  EXPECT_FALSE(EvaluateCriteria(MakeRow({}), nullptr));
}

// The prepared program (deeper child first) agrees with evaluating both children in order.
TEST(CriteriaEvaluation, PreparedProgramAgreesWithTreeWalkOnRandomExpressions) {
  std::mt19937 random(20240229);
  std::function<std::string(int)> expression = [&](int depth) -> std::string {
    if (depth == 0 || random() % 3 == 0) {
      const char* column = (random() % 2) ? "A" : "B";
      return std::string(column) + ((random() % 2) ? " = " : " > ") + std::to_string(random() % 4);
    }
    std::string text = expression(depth - 1) + ((random() % 2) ? " and " : " or ") + expression(depth - 1);
    return (random() % 2) ? "(" + text + ")" : text;
  };
  std::function<bool(const RowObject&, const CriteriaExpr*)> reference = [&](const RowObject& row,
                                                                             const CriteriaExpr* node) {
    if (node->IsLeaf()) return EvaluateCriteria(row, node);  // a leaf alone has no program
    const bool left = reference(row, node->left.get());
    const bool right = reference(row, node->right.get());
    return node->op == CRITERIA_OP_AND ? (left && right) : (left || right);
  };
  for (int round = 0; round < 300; ++round) {
    const std::string text = expression(5);
    CriteriaPtr root = ParseCriteria(text.c_str());
    ASSERT_TRUE(root) << text;
    BindCriteriaColumns(kColumns, root.get());
    for (int a = 0; a < 4; ++a) {
      for (int b = 0; b < 4; ++b) {
        const RowObject row = MakeRow({{kA, Value::FromNumber<int32_t>(a)}, {kB, Value::FromNumber<int32_t>(b)}});
        ASSERT_EQ(EvaluateCriteria(row, root.get()), reference(row, root.get())) << text << " a=" << a << " b=" << b;
      }
    }
  }
}

TEST(CriteriaEvaluation, LongestChainEvaluates) {
  std::string text = "A = 1";
  for (int i = 1; i < 4999; ++i) text += (i % 2) ? " and A = 1" : " or B = 2";
  CriteriaPtr root = ParseCriteria(text.c_str());
  ASSERT_TRUE(root);
  BindCriteriaColumns(kColumns, root.get());
  EXPECT_TRUE(EvaluateCriteria(MakeRow({{kA, Value::FromNumber<int32_t>(1)}}), root.get()));
  EXPECT_FALSE(EvaluateCriteria(MakeRow({{kA, Value::FromNumber<int32_t>(0)}}), root.get()));
}

}  // namespace
}  // namespace tessera
