// The walk over a table's rows used by selection and deletion by criteria.
//
// The walk reads the table's RowDirectory, the rows' addresses in list order, rather than
// following `next` from row to row: the address of a row far ahead is known without loading the
// rows in between, so the walk asks for the memory of the row kRowAhead slots ahead and for the
// values of the row kValuesAhead slots ahead while it tests the current one. With the values held
// inside each row's value array (see Value), a row costs the reads of two short blocks that were
// allocated one after the other.
#pragma once

#include <cstddef>

#include "tessera/query/criteria.h"
#include "tessera/table/prefetch.h"
#include "tessera/table/row_directory.h"
#include "tessera/table/row_object.h"

namespace tessera {

// Calls visit(row) for every row of the directory in list order. `visit` may unlink the row it
// is given (RowDirectory::Remove, then free it), and no other; nothing may be appended and the
// directory is not compacted during the walk.
template <class Visit>
void ScanRows(const RowDirectory& rows, const CriteriaExpr* criteria, Visit visit) {
  constexpr size_t kRowAhead = 16;
  constexpr size_t kValuesAhead = 8;
  constexpr size_t kOperandsAhead = 4;  // values stored outside the value array (long texts)
  const size_t count = rows.slotCount();
  for (size_t slot = 0; slot < count; ++slot) {
    if (slot + kRowAhead < count) PrefetchForRead(rows.RowAt(slot + kRowAhead));
    if (slot + kValuesAhead < count)
      if (const RowObject* ahead = rows.RowAt(slot + kValuesAhead)) PrefetchForRead(ahead->values.data());
    if (criteria != nullptr && slot + kOperandsAhead < count)
      if (const RowObject* ahead = rows.RowAt(slot + kOperandsAhead)) PrefetchCriteriaOperands(*ahead, criteria);
    if (RowObject* row = rows.RowAt(slot)) visit(row);
  }
}

}  // namespace tessera
