// The criteria language for rows held in memory: a text such as NAME = 'abc' and AGE > 5 is
// parsed into a CriteriaExpr tree (ParseCriteria), bound to a table's columns (BindCriteria) and
// evaluated against rows (EvaluateCriteria).
//
// Binding resolves each column name once and converts each literal to the column's in-memory
// form once, so evaluation reads the row and compares without converting or allocating.
// Callers hold the store lock around parsing, binding and evaluation (StoreLockGuard); a bound
// tree must not be evaluated by two threads at once.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "platform/win32.h"
#include "tessera/schema/table_defn.h"
#include "tessera/table/row_object.h"

namespace tessera {

// Comparison codes of leaves and the codes of AND / OR nodes.
enum CriteriaOperator : BYTE {
  CRITERIA_OP_LESS = 1,
  CRITERIA_OP_GREATER = 2,
  CRITERIA_OP_LESS_EQUAL = 3,
  CRITERIA_OP_GREATER_EQUAL = 4,
  CRITERIA_OP_EQUAL = 5,
  CRITERIA_OP_NOT_EQUAL = 6,
  CRITERIA_OP_AND = 7,
  CRITERIA_OP_OR = 8,
};

// The parser's state stack starts at this many entries and doubles up to the maximum; a text
// that needs more fails with "yacc stack overflow".
inline constexpr int32_t kCriteriaStackInitial = 200;
inline constexpr int32_t kCriteriaStackMaximum = 10000;

namespace detail {
// A leaf's literal in the compared form of its bound column type, made by BindCriteria.
struct BoundLiteral {
  enum class Kind : BYTE { Unbound, False, Signed, Unsigned, Float, Text };
  Kind kind = Kind::Unbound;
  BYTE width = 0;  // byte width the row value is read at (integers)
  long long i = 0;
  unsigned long long u = 0;
  float f = 0;
  std::string text;  // text columns: the literal without its first and last character
};
struct CriteriaProgram;
}  // namespace detail

// One node of a parsed expression. A leaf has a column name and a value text (string literals
// keep their quotes); an AND / OR node has neither and two children.
struct CriteriaExpr {
  CriteriaExpr();
  ~CriteriaExpr();  // frees the subtree without recursing
  CriteriaExpr(const CriteriaExpr&) = delete;
  CriteriaExpr& operator=(const CriteriaExpr&) = delete;

  bool IsLeaf() const { return columnName.has_value() && valueText.has_value(); }

  std::optional<std::string> columnName;
  std::optional<std::string> valueText;
  BYTE op = 0;               // CriteriaOperator
  int32_t columnIndex = 0;   // set by binding
  BYTE columnType = 0;       // SqlDataType, set by binding
  std::unique_ptr<CriteriaExpr> left;
  std::unique_ptr<CriteriaExpr> right;
  CriteriaExpr* parent = nullptr;

  detail::BoundLiteral literal;                       // set by binding (leaves)
  std::unique_ptr<detail::CriteriaProgram> program;   // set by binding (the bound root)
};

using CriteriaPtr = std::unique_ptr<CriteriaExpr>;

// A column the criteria can name: its name (matched without regard to case) and type code.
struct CriteriaColumn {
  std::string_view name;
  BYTE type = 0;
};

// Parses one expression; none for a null text and for a text that does not parse (logged
// "syntax error", "invalid syntax" or "yacc stack overflow" at ERROR).
CriteriaPtr ParseCriteria(const char* text);

// Resolves every leaf's column (position and type; a name not found leaves index 0 and type 0,
// and that leaf is then false), converts the literals and prepares the tree for evaluation.
void BindCriteriaColumns(std::span<const CriteriaColumn> columns, CriteriaExpr* root);
// The same over a table definition's columns (in dictionary order).
void BindCriteria(const ColumnVector& columns, CriteriaExpr* root);

// Whether the row satisfies the bound expression. AND / OR combine their children (a child
// that cannot change the result is not tested: tests have no side effects); a leaf compares the
// row's value (on the left) with its literal. A NULL row value makes its leaf false.
bool EvaluateCriteria(const RowObject& row, const CriteriaExpr* root);
// Asks the processor to load the row values a bound expression will read (row scans).
void PrefetchCriteriaOperands(const RowObject& row, const CriteriaExpr* root);

// Frees the tree.
void FreeCriteria(CriteriaPtr root);

}  // namespace tessera
