// Binding and evaluation of criteria trees.
//
// Binding converts each literal once (ConvertStringToValue for the column's type) into the form
// it is compared in, and compiles the tree into a postfix program. The program evaluates the
// child that needs the deeper stack first; since AND and OR have no side effects this gives the
// result of evaluating both children in order, with a stack no deeper than log2(leaves) + 1.
#include <algorithm>
#include <climits>
#include <cstring>
#include <vector>

#include "tessera/query/criteria.h"
#include "tessera/table/value_read.h"
#include "tessera/values/string_utils.h"
#include "tessera/values/sql_data_type.h"
#include "tessera/values/value_convert.h"

namespace tessera {
namespace detail {

struct CriteriaProgram {
  enum class Step : BYTE { Leaf, And, Or, False };
  struct Instruction {
    Step step;
    const CriteriaExpr* leaf;
  };
  std::vector<Instruction> code;
  int32_t depth = 0;  // evaluation stack entries needed
};

}  // namespace detail

namespace {

using detail::BoundLiteral;
using detail::CriteriaProgram;

constexpr int32_t kInlineStack = 64;

// Frees a subtree one node at a time (rotating left children up), without recursion.
void ReleaseSubtree(CriteriaPtr node) {
  while (node) {
    if (node->left) {
      CriteriaPtr child = std::move(node->left);
      node->left = std::move(child->right);
      child->right = std::move(node);
      node = std::move(child);
    } else {
      node = std::move(node->right);
    }
  }
}

template <class T>
bool Compare(const T& row, const T& literal, BYTE op) {
  switch (op) {
    case CRITERIA_OP_LESS: return row < literal;
    case CRITERIA_OP_GREATER: return row > literal;
    case CRITERIA_OP_LESS_EQUAL: return row <= literal;
    case CRITERIA_OP_GREATER_EQUAL: return row >= literal;
    case CRITERIA_OP_EQUAL: return row == literal;
    case CRITERIA_OP_NOT_EQUAL: return row != literal;
    default: return false;
  }
}

bool EvaluateLeaf(const RowObject& row, const CriteriaExpr& leaf) {
  const BoundLiteral& literal = leaf.literal;
  if (literal.kind == BoundLiteral::Kind::Unbound || literal.kind == BoundLiteral::Kind::False) return false;
  const Value* value = row.ValueAt(leaf.columnIndex);
  if (value == nullptr) return false;
  const BYTE* p = value->data();
  if (p == nullptr) return false;  // SQL NULL (or a value that is not a byte buffer): never matches
  const int32_t length = value->length();
  const int32_t n = literal.width < length ? literal.width : length;
  switch (literal.kind) {
    case BoundLiteral::Kind::Signed: return Compare(LoadSignedLE(p, n), literal.i, leaf.op);
    case BoundLiteral::Kind::Unsigned: return Compare(LoadUnsignedLE(p, n), literal.u, leaf.op);
    case BoundLiteral::Kind::Float: {
      float f = 0;
      if (length >= 8) {
        double d;
        std::memcpy(&d, p, sizeof d);
        f = static_cast<float>(d);
      } else if (length >= 4) {
        std::memcpy(&f, p, sizeof f);
      } else {
        return false;
      }
      return Compare(f, literal.f, leaf.op);
    }
    case BoundLiteral::Kind::Text: {
      const int order = std::strcmp(reinterpret_cast<const char*>(p), literal.text.c_str());
      return Compare(order, 0, leaf.op);
    }
    default: return false;
  }
}

// Reference semantics, used for trees without a program (a subtree of a bound tree).
bool EvaluateNode(const RowObject& row, const CriteriaExpr* node) {
  if (node == nullptr) return false;
  if (node->IsLeaf()) return EvaluateLeaf(row, *node);
  if (node->op != CRITERIA_OP_AND && node->op != CRITERIA_OP_OR) return false;
  const bool left = EvaluateNode(row, node->left.get());
  const bool right = EvaluateNode(row, node->right.get());
  return node->op == CRITERIA_OP_AND ? (left && right) : (left || right);
}

void BindLeaf(std::span<const CriteriaColumn> columns, CriteriaExpr& leaf) {
  leaf.columnIndex = 0;
  leaf.columnType = 0;
  for (size_t i = 0; i < columns.size(); ++i) {
    if (EqualsIgnoreCase(columns[i].name, *leaf.columnName)) {
      leaf.columnIndex = static_cast<int32_t>(i);
      leaf.columnType = columns[i].type;
      break;
    }
  }
  BoundLiteral& literal = leaf.literal;
  literal = BoundLiteral{};
  literal.kind = BoundLiteral::Kind::False;
  const BYTE type = leaf.columnType;
  const bool compared = IsStringType(type) || type == CRV_SQL_FLOAT || type == CRV_SQL_TINYINT ||
                        type == CRV_SQL_SMALLINT || type == CRV_SQL_INT || type == CRV_SQL_UNSIGNED_TINYINT ||
                        type == CRV_SQL_UNSIGNED_SMALLINT || type == CRV_SQL_UNSIGNED_INT;
  if (!compared) return;
  int32_t length = static_cast<int32_t>(leaf.valueText->size());
  Value converted = ConvertStringToValue(leaf.valueText->c_str(), length, type);
  if (converted.IsNull()) return;
  switch (type) {
    case CRV_SQL_TINYINT:
    case CRV_SQL_SMALLINT:
    case CRV_SQL_INT:
      literal.kind = BoundLiteral::Kind::Signed;
      literal.width = static_cast<BYTE>(ValueWidthOfType(type));
      literal.i = converted.ReadSigned(literal.width);
      break;
    case CRV_SQL_UNSIGNED_TINYINT:
    case CRV_SQL_UNSIGNED_SMALLINT:
    case CRV_SQL_UNSIGNED_INT:
      literal.kind = BoundLiteral::Kind::Unsigned;
      literal.width = static_cast<BYTE>(ValueWidthOfType(type));
      literal.u = converted.ReadUnsigned(literal.width);
      break;
    case CRV_SQL_FLOAT:
      literal.kind = BoundLiteral::Kind::Float;
      literal.f = static_cast<float>(converted.ReadReal());
      break;
    default: {
      // The literal without its first and last character (the quotes); a literal of fewer than
      // two characters leaves the empty text.
      std::string_view text = converted.c_str() ? std::string_view(converted.c_str()) : std::string_view();
      literal.kind = BoundLiteral::Kind::Text;
      literal.text = text.size() >= 2 ? std::string(text.substr(1, text.size() - 2)) : std::string();
      break;
    }
  }
}

// One step of an iterative post-order walk.
struct Frame {
  const CriteriaExpr* node;
  BYTE stage;
};

bool IsConnective(const CriteriaExpr* node) {
  return node != nullptr && !node->IsLeaf() && (node->op == CRITERIA_OP_AND || node->op == CRITERIA_OP_OR);
}

std::unique_ptr<CriteriaProgram> Compile(const CriteriaExpr* root) {
  auto program = std::make_unique<CriteriaProgram>();
  // Pass 1: the connective nodes in post-order (children before their parent).
  std::vector<const CriteriaExpr*> order;
  std::vector<Frame> stack;
  stack.push_back({root, 0});
  while (!stack.empty()) {
    Frame& f = stack.back();
    if (!IsConnective(f.node)) {
      stack.pop_back();
    } else if (f.stage == 0) {
      f.stage = 1;
      stack.push_back({f.node->left.get(), 0});
    } else if (f.stage == 1) {
      f.stage = 2;
      stack.push_back({f.node->right.get(), 0});
    } else {
      order.push_back(f.node);
      stack.pop_back();
    }
  }
  // Stack needs: a leaf (or a constant) needs 1; a connective the larger of its children's
  // needs, plus one when they are equal.
  std::vector<std::pair<const CriteriaExpr*, int32_t>> needs;
  needs.reserve(order.size());
  for (const CriteriaExpr* node : order) needs.emplace_back(node, 0);
  std::sort(needs.begin(), needs.end());
  auto slot = [&](const CriteriaExpr* node) -> int32_t* {
    if (!IsConnective(node)) return nullptr;
    return &std::lower_bound(needs.begin(), needs.end(), std::make_pair(node, INT32_MIN))->second;
  };
  auto need = [&](const CriteriaExpr* node) {
    const int32_t* s = slot(node);
    return s ? *s : 1;
  };
  for (const CriteriaExpr* node : order) {
    const int32_t a = need(node->left.get());
    const int32_t b = need(node->right.get());
    *slot(node) = a == b ? a + 1 : (a > b ? a : b);
  }
  program->depth = need(root);
  // Pass 2: emission, the child with the larger need first.
  stack.push_back({root, 0});
  while (!stack.empty()) {
    Frame& f = stack.back();
    const CriteriaExpr* node = f.node;
    if (node != nullptr && node->IsLeaf()) {
      program->code.push_back({CriteriaProgram::Step::Leaf, node});
      stack.pop_back();
      continue;
    }
    if (!IsConnective(node)) {
      program->code.push_back({CriteriaProgram::Step::False, nullptr});
      stack.pop_back();
      continue;
    }
    const bool rightFirst = need(node->right.get()) > need(node->left.get());
    const CriteriaExpr* first = rightFirst ? node->right.get() : node->left.get();
    const CriteriaExpr* second = rightFirst ? node->left.get() : node->right.get();
    if (f.stage == 0) {
      f.stage = 1;
      stack.push_back({first, 0});
    } else if (f.stage == 1) {
      f.stage = 2;
      stack.push_back({second, 0});
    } else {
      program->code.push_back(
          {node->op == CRITERIA_OP_AND ? CriteriaProgram::Step::And : CriteriaProgram::Step::Or, nullptr});
      stack.pop_back();
    }
  }
  return program;
}

}  // namespace

CriteriaExpr::CriteriaExpr() = default;

CriteriaExpr::~CriteriaExpr() {
  ReleaseSubtree(std::move(left));
  ReleaseSubtree(std::move(right));
}

void BindCriteriaColumns(std::span<const CriteriaColumn> columns, CriteriaExpr* root) {
  if (root == nullptr) return;
  std::vector<CriteriaExpr*> pending{root};
  while (!pending.empty()) {
    CriteriaExpr* node = pending.back();
    pending.pop_back();
    if (node->IsLeaf()) BindLeaf(columns, *node);
    if (node->left) pending.push_back(node->left.get());
    if (node->right) pending.push_back(node->right.get());
  }
  root->program = Compile(root);
}

void BindCriteria(const ColumnVector& columns, CriteriaExpr* root) {
  std::vector<CriteriaColumn> list;
  list.reserve(static_cast<size_t>(columns.count()));
  for (const auto& column : columns) list.push_back({column ? std::string_view(column->name) : std::string_view(), column ? column->type : BYTE{0}});
  BindCriteriaColumns(list, root);
}

bool EvaluateCriteria(const RowObject& row, const CriteriaExpr* root) {
  if (root == nullptr) return false;
  const CriteriaProgram* program = root->program.get();
  if (program == nullptr || program->depth > kInlineStack) return EvaluateNode(row, root);
  bool stack[kInlineStack];
  int32_t top = 0;
  for (const CriteriaProgram::Instruction& in : program->code) {
    switch (in.step) {
      case CriteriaProgram::Step::Leaf: stack[top++] = EvaluateLeaf(row, *in.leaf); break;
      case CriteriaProgram::Step::False: stack[top++] = false; break;
      case CriteriaProgram::Step::And:
        --top;
        stack[top - 1] = stack[top - 1] && stack[top];
        break;
      case CriteriaProgram::Step::Or:
        --top;
        stack[top - 1] = stack[top - 1] || stack[top];
        break;
    }
  }
  return top == 1 && stack[0];
}

void FreeCriteria(CriteriaPtr root) { root.reset(); }

}  // namespace tessera
