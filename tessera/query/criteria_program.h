// The compiled form of a bound criteria tree, shared by the evaluators of criteria_eval.cpp and
// the row scans of criteria_scan.cpp.
//
// Every bound tree has a flat program of leaf tests and jumps (any shape). Trees of the common
// shapes, one leaf or two leaves joined by AND or OR, also get a ScanPlan: each leaf with its
// operand resolved ahead (row position, the literal as a range or as the text's bytes), so that a
// scan tests rows in a loop made for that pair of leaf kinds, without walking the program.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/win32.h"
#include "tessera/query/criteria.h"

namespace tessera {
namespace detail {

// One leaf ready for a scan.
struct ScanLeaf {
  enum class Kind : BYTE {
    Signed32,    // a 4-byte signed integer column
    Unsigned32,  // a 4-byte unsigned integer column
    TextEqual,   // = or != on a text column
    General,     // anything else: the general leaf test
  };
  Kind kind = Kind::General;
  int32_t column = 0;
  bool negate = false;  // the answer for values inside the range / equal texts is inverted (!=)
  // Integers: the row value x passes when lo <= x <= hi (both as 64-bit signed numbers), which
  // is tested as (x - lo) <= span in unsigned arithmetic.
  unsigned long long lo = 0;
  unsigned long long span = 0;
  // TextEqual: the literal with its zero byte; when it fits in 8 bytes, also as one little-endian
  // word (textWord) and a mask of the bytes it covers.
  const char* text = nullptr;
  int32_t textSize = 0;  // without the zero byte
  bool textInWord = false;
  unsigned long long textWord = 0;
  unsigned long long textMask = 0;
  const CriteriaExpr* leaf = nullptr;  // General
};

struct ScanPlan {
  enum class Shape : BYTE { None, One, And, Or };
  Shape shape = Shape::None;  // None: no plan, scans use the program
  ScanLeaf first;
  ScanLeaf second;
};

struct CriteriaProgram {
  enum class Step : BYTE { Leaf, False, JumpIfFalse, JumpIfTrue };
  struct Instruction {
    Step step;
    int32_t target;            // jumps: the instruction to continue at
    const CriteriaExpr* leaf;  // Leaf
  };
  std::vector<Instruction> code;
  std::vector<int32_t> columns;  // distinct row positions the leaves read
  ScanPlan plan;
};

// The general test of one bound leaf against a row (the reference for every specialised test).
bool EvaluateBoundLeaf(const RowObject& row, const CriteriaExpr& leaf);
// The program's answer for a row.
bool RunProgram(const RowObject& row, const CriteriaProgram& program);

}  // namespace detail
}  // namespace tessera
