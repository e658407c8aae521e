// ParseCriteria: a shift-reduce parser over an explicit state stack.
//
// Grammar (one expression, ended by the newline that ParseCriteria appends):
//   expression := column comparison value | value comparison column
//               | expression "and" expression | expression "or" expression | "(" expression ")"
// "and" and "or" share one precedence and group from the right. The stack holds the start
// state plus one entry per shifted symbol, exactly as an LALR parser of this grammar would, so
// its depth limit (kCriteriaStackMaximum entries) refuses the same texts.
#include <algorithm>
#include <string>
#include <vector>

#include "agent/log/log.h"
#include "tessera/query/criteria.h"
#include "tessera/query/criteria_lexer.h"

namespace tessera {
namespace {

enum class Symbol : BYTE { Start, LeftParen, RightParen, Expr, And, Or, Column, Value, Comparison, Newline };

struct Entry {
  Symbol symbol = Symbol::Start;
  CriteriaPtr expr;       // Expr
  std::string_view text;  // Column, Value
  BYTE op = 0;            // Comparison
};

// The comparison seen from the column's side when the value stands first: 5 < AGE is AGE > 5.
BYTE MirrorComparison(BYTE op) {
  switch (op) {
    case CRITERIA_OP_LESS: return CRITERIA_OP_GREATER;
    case CRITERIA_OP_GREATER: return CRITERIA_OP_LESS;
    case CRITERIA_OP_LESS_EQUAL: return CRITERIA_OP_GREATER_EQUAL;
    case CRITERIA_OP_GREATER_EQUAL: return CRITERIA_OP_LESS_EQUAL;
    default: return op;
  }
}

bool StartsOperand(Symbol top) {
  return top == Symbol::Start || top == Symbol::LeftParen || top == Symbol::And || top == Symbol::Or;
}

bool OnlySeparatorsLeft(std::string_view rest) {
  for (char c : rest)
    if (c != ' ' && c != '\t' && c != '\n') return false;
  return true;
}

class Parser {
 public:
  Parser() { stack_.reserve(kCriteriaStackInitial); }

  CriteriaPtr Run(CriteriaLexer& lexer) {
    stack_.emplace_back();  // the start state
    for (CriteriaLexeme t = lexer.Next();; t = lexer.Next()) {
      const Symbol top = stack_.back().symbol;
      switch (t.token) {
        case CriteriaToken::Invalid:
          LogError("invalid syntax\n");
          return nullptr;
        case CriteriaToken::Column:
        case CriteriaToken::Value: {
          const bool isColumn = t.token == CriteriaToken::Column;
          const Symbol symbol = isColumn ? Symbol::Column : Symbol::Value;
          if (StartsOperand(top)) {
            if (!Shift(symbol, t)) return nullptr;
          } else if (top == Symbol::Comparison && Below(1) == (isColumn ? Symbol::Value : Symbol::Column)) {
            if (!Shift(symbol, t) || !ReduceLeaf()) return nullptr;
          } else {
            return SyntaxError();
          }
          break;
        }
        case CriteriaToken::Comparison:
          if (top != Symbol::Column && top != Symbol::Value) return SyntaxError();
          if (!Shift(Symbol::Comparison, t)) return nullptr;
          break;
        case CriteriaToken::And:
        case CriteriaToken::Or:
          if (top != Symbol::Expr) return SyntaxError();
          if (!Shift(t.token == CriteriaToken::And ? Symbol::And : Symbol::Or, t)) return nullptr;
          break;
        case CriteriaToken::LeftParen:
          if (!StartsOperand(top)) return SyntaxError();
          if (!Shift(Symbol::LeftParen, t)) return nullptr;
          break;
        case CriteriaToken::RightParen:
          if (top != Symbol::Expr) return SyntaxError();
          ReduceConnectives();
          if (Below(1) != Symbol::LeftParen) return SyntaxError();
          if (!Shift(Symbol::RightParen, t)) return nullptr;
          ReduceParentheses();
          break;
        case CriteriaToken::Newline:
          if (top != Symbol::Expr) return SyntaxError();
          ReduceConnectives();
          if (Below(1) != Symbol::Start) return SyntaxError();
          if (!Shift(Symbol::Newline, t)) return nullptr;
          // One expression per text: only separators may follow the newline that ends it.
          if (!OnlySeparatorsLeft(lexer.Rest())) return SyntaxError();
          return std::move(stack_[1].expr);
        case CriteriaToken::End:
          return SyntaxError();
      }
    }
  }

 private:
  Symbol Below(size_t depth) const {
    return stack_.size() > depth ? stack_[stack_.size() - 1 - depth].symbol : Symbol::Start;
  }

  // Pushes one entry, growing the stack from 200 entries by doubling up to the maximum.
  bool Shift(Symbol symbol, const CriteriaLexeme& t) {
    if (stack_.size() >= limit_) {
      if (limit_ >= static_cast<size_t>(kCriteriaStackMaximum)) {
        LogError("yacc stack overflow\n");
        return false;
      }
      limit_ = std::min(limit_ * 2, static_cast<size_t>(kCriteriaStackMaximum));
      stack_.reserve(limit_);
    }
    Entry& entry = stack_.emplace_back();
    entry.symbol = symbol;
    entry.text = t.text;
    entry.op = t.op;
    return true;
  }

  CriteriaPtr SyntaxError() {
    LogError("syntax error\n");
    return nullptr;
  }

  // column comparison value, or value comparison column (mirrored): a leaf.
  bool ReduceLeaf() {
    const size_t n = stack_.size();
    const Entry& first = stack_[n - 3];
    const Entry& comparison = stack_[n - 2];
    const Entry& last = stack_[n - 1];
    auto leaf = std::make_unique<CriteriaExpr>();
    if (first.symbol == Symbol::Column) {
      leaf->columnName = std::string(first.text);
      leaf->valueText = std::string(last.text);
      leaf->op = comparison.op;
    } else {
      leaf->columnName = std::string(last.text);
      leaf->valueText = std::string(first.text);
      leaf->op = MirrorComparison(comparison.op);
    }
    stack_.resize(n - 3);
    Entry& entry = stack_.emplace_back();
    entry.symbol = Symbol::Expr;
    entry.expr = std::move(leaf);
    return true;
  }

  // expr and expr / expr or expr, innermost (rightmost) first: right grouping.
  void ReduceConnectives() {
    while (stack_.size() >= 4 && stack_.back().symbol == Symbol::Expr &&
           (Below(1) == Symbol::And || Below(1) == Symbol::Or) && Below(2) == Symbol::Expr) {
      const size_t n = stack_.size();
      auto node = std::make_unique<CriteriaExpr>();
      node->op = stack_[n - 2].symbol == Symbol::And ? CRITERIA_OP_AND : CRITERIA_OP_OR;
      node->left = std::move(stack_[n - 3].expr);
      node->right = std::move(stack_[n - 1].expr);
      node->left->parent = node.get();
      node->right->parent = node.get();
      stack_.resize(n - 3);
      Entry& entry = stack_.emplace_back();
      entry.symbol = Symbol::Expr;
      entry.expr = std::move(node);
    }
  }

  // "(" expr ")" -> expr
  void ReduceParentheses() {
    const size_t n = stack_.size();
    CriteriaPtr inner = std::move(stack_[n - 2].expr);
    stack_.resize(n - 3);
    Entry& entry = stack_.emplace_back();
    entry.symbol = Symbol::Expr;
    entry.expr = std::move(inner);
  }

  std::vector<Entry> stack_;
  size_t limit_ = kCriteriaStackInitial;  // entries the stack may hold before it grows
};

}  // namespace

CriteriaPtr ParseCriteria(const char* text) {
  if (text == nullptr) return nullptr;
  std::string input(text);
  input += '\n';
  CriteriaLexer lexer(input);
  Parser parser;
  return parser.Run(lexer);
}

}  // namespace tessera
