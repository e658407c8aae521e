// Binding and evaluation of criteria trees.
//
// Binding converts each literal once (ConvertStringToValue for the column's type) into the form
// it is compared in, and compiles the tree into a flat program of leaf tests and jumps, so that
// evaluating a row needs neither recursion nor allocation.
#include <algorithm>
#include <cstring>
#include <vector>

#include "tessera/query/criteria.h"
#include "tessera/table/prefetch.h"
#include "tessera/table/value_read.h"
#include "tessera/values/string_utils.h"
#include "tessera/values/sql_data_type.h"
#include "tessera/values/value_convert.h"

namespace tessera {
namespace detail {

struct CriteriaProgram {
  enum class Step : BYTE { Leaf, False, JumpIfFalse, JumpIfTrue };
  struct Instruction {
    Step step;
    int32_t target;            // jumps: the instruction to continue at
    const CriteriaExpr* leaf;  // Leaf
  };
  std::vector<Instruction> code;
  std::vector<int32_t> columns;  // distinct row positions the leaves read
};

}  // namespace detail

namespace {

using detail::BoundLiteral;
using detail::CriteriaProgram;

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
      if (leaf.op == CRITERIA_OP_EQUAL || leaf.op == CRITERIA_OP_NOT_EQUAL) {
        // The same answer as strcmp: the literal holds no zero byte, so the texts are equal
        // exactly when the row's bytes match the literal and its zero byte; a shorter stored
        // value cannot hold them (and is not read past its own zero byte).
        const size_t size = literal.text.size();
        const bool equal = static_cast<size_t>(length) >= size && std::memcmp(p, literal.text.c_str(), size + 1) == 0;
        return equal == (leaf.op == CRITERIA_OP_EQUAL);
      }
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

// One step of an iterative walk over the tree.
struct Frame {
  const CriteriaExpr* node;
  BYTE stage;
  int32_t jump;
};

bool IsConnective(const CriteriaExpr* node) {
  return node != nullptr && !node->IsLeaf() && (node->op == CRITERIA_OP_AND || node->op == CRITERIA_OP_OR);
}

// Left child, a jump past the right child when the left one decides (false for AND, true for
// OR), right child. Evaluation has no side effects, so this gives the value of evaluating both
// children and combining them.
std::unique_ptr<CriteriaProgram> Compile(const CriteriaExpr* root) {
  auto program = std::make_unique<CriteriaProgram>();
  std::vector<Frame> stack;
  stack.push_back({root, 0, 0});
  while (!stack.empty()) {
    Frame& f = stack.back();
    const CriteriaExpr* node = f.node;
    if (node != nullptr && node->IsLeaf()) {
      program->code.push_back({CriteriaProgram::Step::Leaf, 0, node});
      const int32_t column = node->columnIndex;
      if (node->literal.kind != BoundLiteral::Kind::False &&
          std::find(program->columns.begin(), program->columns.end(), column) == program->columns.end())
        program->columns.push_back(column);
      stack.pop_back();
    } else if (!IsConnective(node)) {
      program->code.push_back({CriteriaProgram::Step::False, 0, nullptr});
      stack.pop_back();
    } else if (f.stage == 0) {
      f.stage = 1;
      stack.push_back({node->left.get(), 0, 0});
    } else if (f.stage == 1) {
      f.stage = 2;
      f.jump = static_cast<int32_t>(program->code.size());
      program->code.push_back({node->op == CRITERIA_OP_AND ? CriteriaProgram::Step::JumpIfFalse
                                                           : CriteriaProgram::Step::JumpIfTrue,
                               0, nullptr});
      stack.push_back({node->right.get(), 0, 0});
    } else {
      program->code[static_cast<size_t>(f.jump)].target = static_cast<int32_t>(program->code.size());
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
  if (program == nullptr) return EvaluateNode(row, root);
  const CriteriaProgram::Instruction* code = program->code.data();
  const size_t size = program->code.size();
  bool value = false;
  for (size_t pc = 0; pc < size;) {
    const CriteriaProgram::Instruction& in = code[pc];
    switch (in.step) {
      case CriteriaProgram::Step::Leaf: value = EvaluateLeaf(row, *in.leaf); ++pc; break;
      case CriteriaProgram::Step::False: value = false; ++pc; break;
      case CriteriaProgram::Step::JumpIfFalse: pc = value ? pc + 1 : static_cast<size_t>(in.target); break;
      case CriteriaProgram::Step::JumpIfTrue: pc = value ? static_cast<size_t>(in.target) : pc + 1; break;
    }
  }
  return value;
}

void PrefetchCriteriaOperands(const RowObject& row, const CriteriaExpr* root) {
  const CriteriaProgram* program = root ? root->program.get() : nullptr;
  if (program == nullptr) return;
  for (int32_t column : program->columns) {
    const Value* value = row.ValueAt(column);
    if (value != nullptr) PrefetchForRead(value->data());
  }
}

void FreeCriteria(CriteriaPtr root) { root.reset(); }

}  // namespace tessera
