// Row scans for criteria selections.
//
// A tree with a scan plan (one leaf, or two under AND / OR) is tested by a loop compiled for its
// pair of leaf kinds: the operands were resolved when the tree was bound (row position, the
// literal as a 64-bit range or as the text's bytes in one word), so testing a row is a few loads
// and compares, with no dispatch per leaf. Two specialised leaves are both tested and combined
// without a branch: their answers are hard to predict row by row, while the loads are already in
// the cache. Every other tree runs its program for each row. Both give the answers of the general
// leaf test (EvaluateBoundLeaf), which tests check on random rows.
#include "tessera/query/criteria_scan.h"

#include <cstring>

#include "tessera/query/criteria_program.h"
#include "tessera/table/row_scan.h"
#include "tessera/table/value_read.h"

namespace tessera {
namespace {

using detail::ScanLeaf;
using detail::ScanPlan;
using Kind = ScanLeaf::Kind;
using Shape = ScanPlan::Shape;

static_assert(Value::kMinReadableBytes >= static_cast<int32_t>(sizeof(unsigned long long)),
              "a text literal of one word is compared by reading one word of the stored value");

template <Kind K>
inline bool TestLeaf(const RowObject& row, const ScanLeaf& leaf) {
  if constexpr (K == Kind::General) {
    return detail::EvaluateBoundLeaf(row, *leaf.leaf);
  } else {
    const Value* value = row.ValueAt(leaf.column);
    if (value == nullptr) return false;
    const BYTE* p = value->data();
    if (p == nullptr) return false;  // NULL: no comparison holds, != included
    const int32_t length = value->length();
    if constexpr (K == Kind::Signed32 || K == Kind::Unsigned32) {
      long long x;
      if (length >= 4) {
        if constexpr (K == Kind::Signed32) {
          int32_t v;
          std::memcpy(&v, p, sizeof v);
          x = v;
        } else {
          uint32_t v;
          std::memcpy(&v, p, sizeof v);
          x = v;
        }
      } else {
        // A shorter stored value is read at its own length, as the general test does.
        x = K == Kind::Signed32 ? LoadSignedLE(p, length) : static_cast<long long>(LoadUnsignedLE(p, length));
      }
      return ((static_cast<unsigned long long>(x) - leaf.lo) <= leaf.span) != leaf.negate;
    } else {
      // Equal exactly when the stored bytes match the literal and its zero byte (as strcmp): a
      // value shorter than the literal cannot. A byte buffer can always be read for one word.
      bool equal;
      if (leaf.textInWord) {
        unsigned long long word;
        std::memcpy(&word, p, sizeof word);
        equal = (length >= leaf.textSize) & (((word ^ leaf.textWord) & leaf.textMask) == 0);
      } else {
        equal = length >= leaf.textSize && std::memcmp(p, leaf.text, static_cast<size_t>(leaf.textSize) + 1) == 0;
      }
      return equal != leaf.negate;
    }
  }
}

template <Shape S, Kind A, Kind B>
bool ScanWithPlan(const RowDirectory& rows, const ScanPlan& plan, RowMatchSink sink, void* context) {
  const ScanLeaf first = plan.first;  // copies: kept in registers, not reloaded after each row
  const ScanLeaf second = plan.second;
  return ScanRowsWhile(rows, [&](RowObject* row) {
    bool match;
    if constexpr (S == Shape::One) {
      match = TestLeaf<A>(*row, first);
    } else if constexpr (A != Kind::General && B != Kind::General) {
      const bool a = TestLeaf<A>(*row, first);
      const bool b = TestLeaf<B>(*row, second);
      match = S == Shape::And ? (a & b) : (a | b);
    } else if constexpr (S == Shape::And) {
      match = TestLeaf<A>(*row, first) && TestLeaf<B>(*row, second);
    } else {
      match = TestLeaf<A>(*row, first) || TestLeaf<B>(*row, second);
    }
    return !match || sink(context, row);
  });
}

using ScanFunction = bool (*)(const RowDirectory&, const ScanPlan&, RowMatchSink, void*);

template <Shape S, Kind A>
ScanFunction PickSecond(Kind second) {
  if constexpr (S == Shape::One) {
    return &ScanWithPlan<S, A, Kind::General>;
  } else {
    switch (second) {
      case Kind::Signed32: return &ScanWithPlan<S, A, Kind::Signed32>;
      case Kind::Unsigned32: return &ScanWithPlan<S, A, Kind::Unsigned32>;
      case Kind::TextEqual: return &ScanWithPlan<S, A, Kind::TextEqual>;
      case Kind::General: break;
    }
    return &ScanWithPlan<S, A, Kind::General>;
  }
}

template <Shape S>
ScanFunction PickFirst(Kind first, Kind second) {
  switch (first) {
    case Kind::Signed32: return PickSecond<S, Kind::Signed32>(second);
    case Kind::Unsigned32: return PickSecond<S, Kind::Unsigned32>(second);
    case Kind::TextEqual: return PickSecond<S, Kind::TextEqual>(second);
    case Kind::General: break;
  }
  return PickSecond<S, Kind::General>(second);
}

ScanFunction PickScan(const ScanPlan& plan) {
  switch (plan.shape) {
    case Shape::One: return PickFirst<Shape::One>(plan.first.kind, plan.second.kind);
    case Shape::And: return PickFirst<Shape::And>(plan.first.kind, plan.second.kind);
    case Shape::Or: return PickFirst<Shape::Or>(plan.first.kind, plan.second.kind);
    case Shape::None: break;
  }
  return nullptr;
}

}  // namespace

bool ScanMatchingRows(const RowDirectory& rows, const CriteriaExpr* root, RowMatchSink sink, void* context) {
  if (root == nullptr) return true;  // no tree: nothing matches
  const detail::CriteriaProgram* program = root->program.get();
  if (program != nullptr)
    if (ScanFunction scan = PickScan(program->plan)) return scan(rows, program->plan, sink, context);
  return ScanRowsWhile(rows, [&](RowObject* row) { return !EvaluateCriteria(*row, root) || sink(context, row); });
}

}  // namespace tessera
