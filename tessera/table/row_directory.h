// RowDirectory: the rows of one table in list (insertion) order, as an array of addresses.
//
// The rows themselves stay chained through `next`, the form every walker of a table reads; the
// directory is what scans walk. Reading row addresses from an array lets a scan ask for the
// memory of rows far ahead without first loading every row in between, so selections stream
// through memory instead of waiting on one pointer at a time.
//
// A row taken out of the list leaves an empty slot behind. An empty slot remembers where to look
// for the live row before it (path-halved jumps), so finding a row's predecessor stays cheap
// whatever the pattern of deletions, and Compact closes the gaps once they make up half of the
// slots. Compact renumbers slots: it runs only where no scan is in progress.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "tessera/table/row_object.h"

namespace tessera {

class RowDirectory {
 public:
  // Appends the row (the new tail of the list) and records its slot in the row.
  void Append(RowObject* row);
  // Whether `row` is one of this directory's live rows.
  bool Holds(const RowObject* row) const {
    return row != nullptr && row->directorySlot < slots_.size() &&
           slots_[row->directorySlot] == reinterpret_cast<uintptr_t>(row);
  }
  // The live row before `row` in list order; null for the first. `row` must be held.
  RowObject* Before(const RowObject* row);
  // Empties the slot of a held row (the row is being unlinked).
  void Remove(const RowObject* row);
  // Closes the gaps when empty slots make up half of the directory (never during a scan).
  void CompactIfSparse();
  void Clear();

  size_t slotCount() const { return slots_.size(); }
  size_t liveCount() const { return slots_.size() - empty_; }
  // The row in a slot, null for an empty one.
  RowObject* RowAt(size_t slot) const {
    const uintptr_t entry = slots_[slot];
    return (entry & 1) != 0 ? nullptr : reinterpret_cast<RowObject*>(entry);
  }

 private:
  // A live slot holds the row's address (even); an empty one holds (j << 1) | 1, meaning "look
  // at slot j - 1 next" (j == 0: there is nothing before).
  static uintptr_t EmptyEntry(size_t next) { return (static_cast<uintptr_t>(next) << 1) | 1; }
  void Compact();

  std::vector<uintptr_t> slots_;
  size_t empty_ = 0;
};

}  // namespace tessera
