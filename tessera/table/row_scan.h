// The walk over a table's rows used by selection and deletion by criteria.
//
// The walk reads the table's RowDirectory, the rows' addresses in list order, rather than
// following `next` from row to row: the address of a row far ahead is known without loading the
// rows in between, so the walk asks for the memory of the row kRowAhead slots ahead (its first
// two cache lines: the fields and the first values of a row made in one block) and for the
// values of the row kValuesAhead slots ahead (which are elsewhere only for rows not made in one
// block) while it tests the current one. Values of up to Value::kInlineBytes bytes sit inside
// the value itself, so a row costs the read of one short block; only longer texts live elsewhere.
#pragma once

#include <cstddef>

#include "tessera/table/prefetch.h"
#include "tessera/table/row_directory.h"
#include "tessera/table/row_object.h"

namespace tessera {

// Calls visit(row) for every row of the directory in list order, while visit returns true;
// false when a visit returned false. `visit` may unlink the row it is given (RowDirectory::Remove,
// then free it), and no other; nothing may be appended and the directory is not compacted during
// the walk.
template <class Visit>
bool ScanRowsWhile(const RowDirectory& rows, Visit visit) {
  constexpr size_t kRowAhead = 16;
  constexpr size_t kValuesAhead = 8;
  constexpr size_t kCacheLine = 64;
  const size_t count = rows.slotCount();
  for (size_t slot = 0; slot < count; ++slot) {
    if (slot + kRowAhead < count)
      if (const RowObject* ahead = rows.RowAt(slot + kRowAhead)) {
        PrefetchForRead(ahead);
        PrefetchForRead(reinterpret_cast<const char*>(ahead) + kCacheLine);
      }
    if (slot + kValuesAhead < count)
      if (const RowObject* ahead = rows.RowAt(slot + kValuesAhead))
        if (!ahead->values.inRow()) PrefetchForRead(ahead->values.data());
    if (RowObject* row = rows.RowAt(slot))
      if (!visit(row)) return false;
  }
  return true;
}

// Calls visit(row) for every row of the directory in list order (as ScanRowsWhile).
template <class Visit>
void ScanRows(const RowDirectory& rows, Visit visit) {
  ScanRowsWhile(rows, [&](RowObject* row) {
    visit(row);
    return true;
  });
}

}  // namespace tessera
