#include <gtest/gtest.h>

#include <string>

#include "tessera/query/criteria.h"
#include "tessera/query/criteria_lexer.h"
#include "tests/support/log_capture.h"

namespace tessera {
namespace {

const char* OpText(BYTE op) {
  static const char* const words[] = {"?", "<", ">", "<=", ">=", "=", "!=", "and", "or"};
  return op < 9 ? words[op] : "?";
}

// "(COLUMN op VALUE)" for leaves, "[left and right]" for connectives.
std::string Shape(const CriteriaExpr* node) {
  if (node == nullptr) return "-";
  if (node->IsLeaf()) return "(" + *node->columnName + " " + OpText(node->op) + " " + *node->valueText + ")";
  return "[" + Shape(node->left.get()) + " " + OpText(node->op) + " " + Shape(node->right.get()) + "]";
}

// Every child names its parent.
bool ParentsLinked(const CriteriaExpr* node) {
  for (const CriteriaExpr* child : {node->left.get(), node->right.get()}) {
    if (child == nullptr) continue;
    if (child->parent != node || !ParentsLinked(child)) return false;
  }
  return true;
}

struct Accepted {
  const char* text;
  const char* shape;
};

TEST(CriteriaParser, AcceptedTextsAndTheirTrees) {
  const Accepted cases[] = {
      {"NAME = 'abc'", "(NAME = 'abc')"},
      {"NAME='abc'", "(NAME = 'abc')"},
      {"\tNAME\t=  'a b'", "(NAME = 'a b')"},
      {"NAME = ''", "(NAME = '')"},
      {"AGE >= 5 and AGE <= 9", "[(AGE >= 5) and (AGE <= 9)]"},
      {"x_1 != 1.25", "(x_1 != 1.25)"},
      {"andy = 1", "(andy = 1)"},
      {"order1 < 7", "(order1 < 7)"},
      // value comparison column is the mirrored leaf with the column first
      {"5 < AGE", "(AGE > 5)"},
      {"5 > AGE", "(AGE < 5)"},
      {"5 <= AGE", "(AGE >= 5)"},
      {"5 >= AGE", "(AGE <= 5)"},
      {"5 = AGE", "(AGE = 5)"},
      {"5 != AGE", "(AGE != 5)"},
      {"'abc' = NAME", "(NAME = 'abc')"},
      // one precedence, grouping from the right
      {"a = 1 and b = 2 or c = 3", "[(a = 1) and [(b = 2) or (c = 3)]]"},
      {"a = 1 or b = 2 and c = 3", "[(a = 1) or [(b = 2) and (c = 3)]]"},
      {"a = 1 and b = 2 and c = 3", "[(a = 1) and [(b = 2) and (c = 3)]]"},
      {"(a = 1 and b = 2) or c = 3", "[[(a = 1) and (b = 2)] or (c = 3)]"},
      {"((a = 1))", "(a = 1)"},
      {"(a = 1) and (b = 2 or (c = 3))", "[(a = 1) and [(b = 2) or (c = 3)]]"},
      // the expression ends at a newline; only separators may follow it
      {"a = 1\n", "(a = 1)"},
      {"a = 1\n\n \t", "(a = 1)"},
  };
  for (const Accepted& c : cases) {
    CriteriaPtr root = ParseCriteria(c.text);
    ASSERT_TRUE(root) << c.text;
    EXPECT_EQ(Shape(root.get()), c.shape) << c.text;
    EXPECT_EQ(root->parent, nullptr);
    EXPECT_TRUE(ParentsLinked(root.get())) << c.text;
  }
}

struct Refused {
  const char* text;
  const char* message;
};

TEST(CriteriaParser, RefusedTextsLogTheirError) {
  const Refused cases[] = {
      {"A = 1 AND B = 2", "syntax error\n"},  // upper-case AND is a column name
      {"a = 1 OR b = 2", "syntax error\n"},
      {"a = b", "syntax error\n"},  // two columns
      {"1 = 2", "syntax error\n"},  // two values
      {"a <> 1", "syntax error\n"},
      {"a == 1", "syntax error\n"},
      {"a = 1e5", "syntax error\n"},  // 1 followed by the column e5
      {"a = 'x' 'y'", "syntax error\n"},
      {"", "syntax error\n"},
      {"   ", "syntax error\n"},
      {"a = 1 and", "syntax error\n"},
      {"and a = 1", "syntax error\n"},
      {"(a = 1", "syntax error\n"},
      {"a = 1)", "syntax error\n"},
      {"()", "syntax error\n"},
      {"a = 1 b = 2", "syntax error\n"},
      {"a = 1\nb = 2", "syntax error\n"},  // one expression per text
      {"a 1", "syntax error\n"},
      {"a = -1", "invalid syntax\n"},  // no negative numbers
      {"a = \"x\"", "invalid syntax\n"},
      {"T.COL = 1", "invalid syntax\n"},
      {"a = 'open", "invalid syntax\n"},
      {"a ! = 1", "invalid syntax\n"},
      {"a = 1\r", "invalid syntax\n"},
      {"a = 5.", "invalid syntax\n"},
  };
  for (const Refused& c : cases) {
    hl::test::LogCapture log;
    EXPECT_FALSE(ParseCriteria(c.text)) << c.text;
    EXPECT_TRUE(log.Has("[ERROR]", c.message)) << c.text << "\n" << log.Text();
  }
}

TEST(CriteriaParser, NullTextGivesNoneWithoutMessage) {
  hl::test::LogCapture log;
  EXPECT_FALSE(ParseCriteria(nullptr));
  EXPECT_EQ(log.Text().find("[ERROR]"), std::string::npos);
}

std::string Nested(int depth) { return std::string(static_cast<size_t>(depth), '(') + "a = 1" + std::string(static_cast<size_t>(depth), ')'); }

std::string Chain(int leaves) {
  std::string text = "a = 1";
  for (int i = 1; i < leaves; ++i) text += " and a = 1";
  return text;
}

// The stack holds the start state and one entry per pending symbol, at most 10000 entries.
TEST(CriteriaParser, StackLimitIsTenThousandEntries) {
  {
    hl::test::LogCapture log;
    EXPECT_TRUE(ParseCriteria(Nested(9996).c_str()));  // 1 + 9996 + 3 entries at the deepest
    EXPECT_FALSE(ParseCriteria(Nested(9997).c_str()));
    EXPECT_EQ(log.Count("[ERROR]", "yacc stack overflow\n"), 1u);
  }
  {
    hl::test::LogCapture log;
    CriteriaPtr root = ParseCriteria(Chain(4999).c_str());  // 1 + 2 * 4998 + 3 entries
    ASSERT_TRUE(root);
    EXPECT_EQ(root->op, CRITERIA_OP_AND);
    EXPECT_FALSE(ParseCriteria(Chain(5000).c_str()));
    EXPECT_TRUE(log.Has("[ERROR]", "yacc stack overflow\n"));
    FreeCriteria(std::move(root));  // a 4999-deep tree is freed without recursion
  }
}

TEST(CriteriaLexer, LongestMatchAndKeywords) {
  struct Case {
    const char* text;
    CriteriaToken token;
    const char* lexeme;
  } cases[] = {
      {"and", CriteriaToken::And, "and"},     {"or", CriteriaToken::Or, "or"},
      {"AND", CriteriaToken::Column, "AND"},  {"andy", CriteriaToken::Column, "andy"},
      {"or_2", CriteriaToken::Column, "or_2"}, {"12.50x", CriteriaToken::Value, "12.50"},
      {"7.", CriteriaToken::Value, "7"},       {"'a''b'", CriteriaToken::Value, "'a'"},
      {"<=", CriteriaToken::Comparison, "<="}, {">5", CriteriaToken::Comparison, ">"},
      {"!=", CriteriaToken::Comparison, "!="}, {"\n", CriteriaToken::Newline, "\n"},
      {"_a", CriteriaToken::Invalid, "_"},     {"'a\n'", CriteriaToken::Invalid, "'"},
  };
  for (const Case& c : cases) {
    CriteriaLexer lexer(c.text);
    CriteriaLexeme lexeme = lexer.Next();
    EXPECT_EQ(lexeme.token, c.token) << c.text;
    EXPECT_EQ(lexeme.text, c.lexeme) << c.text;
  }
  CriteriaLexer lexer(" \t ");
  EXPECT_EQ(lexer.Next().token, CriteriaToken::End);
}

}  // namespace
}  // namespace tessera
