// Selection of the rows of a table that satisfy a bound criteria tree, in list order.
#pragma once

#include <memory>
#include <type_traits>

#include "tessera/query/criteria.h"
#include "tessera/table/row_directory.h"

namespace tessera {

// Called for each matching row; returning false ends the scan.
using RowMatchSink = bool (*)(void* context, RowObject* row);

// Calls sink(context, row) for every row of `rows`, in list order, for which EvaluateCriteria
// (row, root) is true; false when the sink ended the scan. `root` must be bound. The sink may
// not change the table (the rows are read ahead of the one it is given).
bool ScanMatchingRows(const RowDirectory& rows, const CriteriaExpr* root, RowMatchSink sink, void* context);

// The same with any callable bool(RowObject*).
template <class OnMatch>
bool ScanMatchingRows(const RowDirectory& rows, const CriteriaExpr* root, OnMatch&& onMatch) {
  using Callable = std::remove_reference_t<OnMatch>;
  return ScanMatchingRows(
      rows, root, [](void* context, RowObject* row) { return (*static_cast<Callable*>(context))(row); },
      const_cast<void*>(static_cast<const void*>(std::addressof(onMatch))));
}

}  // namespace tessera
