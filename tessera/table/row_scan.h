// The walk over a table's rows used by selection and deletion by criteria. Rows are separate
// allocations chained in a list, so the walk asks for the memory of the rows ahead while the
// current one is tested: the row node kAhead rows ahead, the value array kValuesAt rows ahead
// and the values the criteria read kOperandsAt rows ahead.
#pragma once

#include <cstddef>

#include "tessera/query/criteria.h"
#include "tessera/table/prefetch.h"
#include "tessera/table/row_object.h"

namespace tessera {

// Calls visit(row) for every row from `first` in list order. `visit` may unlink and free the
// row it is given, and no other.
template <class Visit>
void ScanRows(RowObject* first, const CriteriaExpr* criteria, Visit visit) {
  constexpr size_t kAhead = 8;       // the ring holds the current row and the kAhead after it
  constexpr size_t kValuesAt = 6;    // distance of the value-array request
  constexpr size_t kOperandsAt = 3;  // distance of the operand request
  RowObject* ring[kAhead + 1] = {};
  ring[0] = first;
  for (size_t i = 1; i <= kAhead; ++i) ring[i] = ring[i - 1] ? ring[i - 1]->next.get() : nullptr;
  size_t head = 0;  // ring[head] is the current row
  auto at = [&](size_t distance) { return ring[(head + distance) % (kAhead + 1)]; };
  while (RowObject* row = at(0)) {
    PrefetchForRead(at(kAhead));
    if (RowObject* values = at(kValuesAt)) PrefetchForRead(values->values.data());
    if (RowObject* operands = at(kOperandsAt)) PrefetchCriteriaOperands(*operands, criteria);
    RowObject* last = at(kAhead);
    RowObject* following = last ? last->next.get() : nullptr;
    visit(row);
    ring[head] = following;  // the slot of the row just visited now holds the row kAhead + 1 ahead
    head = (head + 1) % (kAhead + 1);
  }
}

}  // namespace tessera
