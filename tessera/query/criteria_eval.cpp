// Binding and evaluation of criteria trees.
//
// Binding converts each literal once (ConvertStringToValue for the column's type) into the form
// it is compared in, and compiles the tree into a flat program of leaf tests and jumps, so that
// evaluating a row needs neither recursion nor allocation. Trees of one or two leaves also get a
// scan plan (criteria_program.h), which the row scans of criteria_scan.cpp run instead.
#include <algorithm>
#include <climits>
#include <cstring>
#include <vector>

#include "tessera/query/criteria.h"
#include "tessera/query/criteria_program.h"
#include "tessera/table/prefetch.h"
#include "tessera/table/value_read.h"
#include "tessera/values/string_utils.h"
#include "tessera/values/sql_data_type.h"
#include "tessera/values/value_convert.h"

namespace tessera {
namespace {

using detail::BoundLiteral;
using detail::CriteriaProgram;
using detail::ScanLeaf;
using detail::ScanPlan;

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

}  // namespace

bool detail::EvaluateBoundLeaf(const RowObject& row, const CriteriaExpr& leaf) {
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

namespace {

// Reference semantics, used for trees without a program (a subtree of a bound tree).
bool EvaluateNode(const RowObject& row, const CriteriaExpr* node) {
  if (node == nullptr) return false;
  if (node->IsLeaf()) return detail::EvaluateBoundLeaf(row, *node);
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

// The range [lo, hi] of 64-bit values x for which "x op literal" holds (= and != share one, the
// latter negated); false for an operator that is not a comparison.
bool SetRange(ScanLeaf& scan, BYTE op, long long literal) {
  long long lo = LLONG_MIN, hi = LLONG_MAX;
  switch (op) {
    case CRITERIA_OP_LESS: hi = literal - 1; break;  // the literal is a 32-bit value: no overflow
    case CRITERIA_OP_GREATER: lo = literal + 1; break;
    case CRITERIA_OP_LESS_EQUAL: hi = literal; break;
    case CRITERIA_OP_GREATER_EQUAL: lo = literal; break;
    case CRITERIA_OP_EQUAL: lo = hi = literal; break;
    case CRITERIA_OP_NOT_EQUAL: lo = hi = literal; scan.negate = true; break;
    default: return false;
  }
  scan.lo = static_cast<unsigned long long>(lo);
  scan.span = static_cast<unsigned long long>(hi) - static_cast<unsigned long long>(lo);
  return true;
}

// The scan form of a bound leaf; General when no specialised test gives the same answers.
ScanLeaf MakeScanLeaf(const CriteriaExpr& leaf) {
  ScanLeaf scan;
  scan.leaf = &leaf;
  scan.column = leaf.columnIndex;
  const BoundLiteral& literal = leaf.literal;
  switch (literal.kind) {
    case BoundLiteral::Kind::Signed:
      if (literal.width == 4 && SetRange(scan, leaf.op, literal.i)) scan.kind = ScanLeaf::Kind::Signed32;
      break;
    case BoundLiteral::Kind::Unsigned:
      // Row values and literal both fit in 32 bits, so they compare as signed 64-bit numbers.
      if (literal.width == 4 && literal.u <= 0xFFFFFFFFull && SetRange(scan, leaf.op, static_cast<long long>(literal.u)))
        scan.kind = ScanLeaf::Kind::Unsigned32;
      break;
    case BoundLiteral::Kind::Text:
      if (leaf.op == CRITERIA_OP_EQUAL || leaf.op == CRITERIA_OP_NOT_EQUAL) {
        scan.kind = ScanLeaf::Kind::TextEqual;
        scan.negate = leaf.op == CRITERIA_OP_NOT_EQUAL;
        scan.text = literal.text.c_str();
        scan.textSize = static_cast<int32_t>(literal.text.size());
        if (literal.text.size() + 1 <= sizeof(unsigned long long)) {
          scan.textInWord = true;
          for (size_t i = 0; i <= literal.text.size(); ++i) {
            const unsigned long long byte = static_cast<unsigned char>(scan.text[i]);  // the last is the zero byte
            scan.textWord |= byte << (8 * i);
            scan.textMask |= 0xFFull << (8 * i);
          }
        }
      }
      break;
    default: break;
  }
  return scan;
}

// A plan for one leaf, or two leaves under one AND / OR; none for other shapes.
ScanPlan MakeScanPlan(const CriteriaExpr* root) {
  ScanPlan plan;
  if (root == nullptr) return plan;
  if (root->IsLeaf()) {
    plan.shape = ScanPlan::Shape::One;
    plan.first = MakeScanLeaf(*root);
  } else if (IsConnective(root) && root->left && root->left->IsLeaf() && root->right && root->right->IsLeaf()) {
    plan.shape = root->op == CRITERIA_OP_AND ? ScanPlan::Shape::And : ScanPlan::Shape::Or;
    plan.first = MakeScanLeaf(*root->left);
    plan.second = MakeScanLeaf(*root->right);
  }
  return plan;
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
  program->plan = MakeScanPlan(root);
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

bool detail::RunProgram(const RowObject& row, const CriteriaProgram& program) {
  const CriteriaProgram::Instruction* code = program.code.data();
  const size_t size = program.code.size();
  bool value = false;
  for (size_t pc = 0; pc < size;) {
    const CriteriaProgram::Instruction& in = code[pc];
    switch (in.step) {
      case CriteriaProgram::Step::Leaf: value = EvaluateBoundLeaf(row, *in.leaf); ++pc; break;
      case CriteriaProgram::Step::False: value = false; ++pc; break;
      case CriteriaProgram::Step::JumpIfFalse: pc = value ? pc + 1 : static_cast<size_t>(in.target); break;
      case CriteriaProgram::Step::JumpIfTrue: pc = value ? static_cast<size_t>(in.target) : pc + 1; break;
    }
  }
  return value;
}

bool EvaluateCriteria(const RowObject& row, const CriteriaExpr* root) {
  if (root == nullptr) return false;
  const CriteriaProgram* program = root->program.get();
  if (program == nullptr) return EvaluateNode(row, root);
  return detail::RunProgram(row, *program);
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
