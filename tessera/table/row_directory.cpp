#include "tessera/table/row_directory.h"

namespace tessera {

namespace {
constexpr size_t kCompactAtLeast = 64;  // small directories are not worth renumbering
}  // namespace

void RowDirectory::Append(RowObject* row) {
  row->directorySlot = static_cast<uint32_t>(slots_.size());
  slots_.push_back(reinterpret_cast<uintptr_t>(row));
}

RowObject* RowDirectory::Before(const RowObject* row) {
  size_t j = row->directorySlot;  // candidate: slot j - 1
  while (j > 0) {
    const uintptr_t entry = slots_[j - 1];
    if ((entry & 1) == 0) return reinterpret_cast<RowObject*>(entry);
    const size_t next = static_cast<size_t>(entry >> 1);
    // Path halving: let this empty slot point where its successor points.
    if (next > 0 && (slots_[next - 1] & 1) != 0) slots_[j - 1] = slots_[next - 1];
    j = static_cast<size_t>(slots_[j - 1] >> 1);
  }
  return nullptr;
}

void RowDirectory::Remove(const RowObject* row) {
  const size_t slot = row->directorySlot;
  slots_[slot] = EmptyEntry(slot);
  ++empty_;
}

void RowDirectory::CompactIfSparse() {
  if (empty_ >= kCompactAtLeast && empty_ * 2 >= slots_.size()) Compact();
}

void RowDirectory::Compact() {
  size_t kept = 0;
  for (size_t i = 0; i < slots_.size(); ++i) {
    const uintptr_t entry = slots_[i];
    if ((entry & 1) != 0) continue;
    reinterpret_cast<RowObject*>(entry)->directorySlot = static_cast<uint32_t>(kept);
    slots_[kept++] = entry;
  }
  slots_.resize(kept);
  slots_.shrink_to_fit();
  empty_ = 0;
}

void RowDirectory::Clear() {
  slots_.clear();
  slots_.shrink_to_fit();
  empty_ = 0;
}

}  // namespace tessera
