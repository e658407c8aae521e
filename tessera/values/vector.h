// Vector: the store's locked, singly linked list.
//
// Elements sit in cells (VectorNode) that the vector owns. With raw pointers as elements the
// vector never frees what they point to; with std::unique_ptr elements the cell owns its object.
// An optional ordering callback (new, existing) -> negative / 0 / positive keeps the list sorted:
// AddElement finds the place by bisection and refuses an element that compares equal to a cell
// met on the way. Without a callback AddElement appends at the tail.
//
// AddElement, InsertElementAt, DeleteElement, DeleteElementAt, ElementAt, FreeVector and
// TakeFirst hold the vector's object lock (LockObject on its address) for their duration; the
// object lock is not re-entrant, so callbacks and predicates must not call back into the same
// vector. Walking (ElementAt(0) then next(), or range-for) takes no lock: callers that share a
// vector with writers on other threads lock it themselves (hl::ObjectLockGuard(&vector)).
#pragma once

#include <atomic>
#include <cstdint>
#include <cstddef>
#include <functional>
#include <iterator>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>

#include "agent/log/log.h"
#include "agent/log/object_lock.h"
#include "tessera/values/trace.h"

namespace tessera {

template <class T>
class Vector;

template <class T>
class VectorNode {
 public:
  explicit VectorNode(T value) : data(std::move(value)) {}
  T data;
  VectorNode* next() const { return next_.get(); }

 private:
  friend class Vector<T>;
  std::unique_ptr<VectorNode> next_;
};

namespace detail {
template <class T>
struct IsSmartPointer : std::false_type {};
template <class U, class D>
struct IsSmartPointer<std::unique_ptr<U, D>> : std::true_type {};
template <class U>
struct IsSmartPointer<std::shared_ptr<U>> : std::true_type {};

// The address an element stands for: the pointee for pointer-like elements.
template <class T>
const void* ElementAddress(const T& data) {
  if constexpr (std::is_pointer_v<T>) {
    return static_cast<const void*>(data);
  } else if constexpr (IsSmartPointer<T>::value) {
    return static_cast<const void*>(data.get());
  } else {
    return static_cast<const void*>(&data);
  }
}
}  // namespace detail

template <class T>
class Vector {
 public:
  using Node = VectorNode<T>;
  // Negative when `added` sorts before `existing`, 0 when equal, positive when after.
  using Compare = std::function<signed char(const T& added, const T& existing)>;

  explicit Vector(Compare compare = nullptr) { InitVector(std::move(compare)); }
  ~Vector() { ReleaseCells(); }
  Vector(const Vector&) = delete;
  Vector& operator=(const Vector&) = delete;

  // Empties the vector (freeing its cells) and sets the ordering callback (null: unordered).
  void InitVector(Compare compare) {
    TraceEntry("InitVector");
    ReleaseCells();
    compare_ = std::move(compare);
  }

  // 1 when the cell was taken (the vector now owns it), 0 when refused (the caller keeps it).
  int AddElement(std::unique_ptr<Node>& cell) {
    if (!cell) return 0;
    hl::ObjectLockGuard lock(this);
    return compare_ ? AddOrderedLocked(cell) : (AppendLocked(cell), 1);
  }

  // Puts `data` into a new cell and adds it; 0 when refused (the data is dropped) or on
  // allocation failure.
  int AddData(T data) {
    std::unique_ptr<Node> cell = MakeCell(std::move(data));
    return cell ? AddElement(cell) : 0;
  }

  // AddData unless an element for which exists(element) holds is already there, tested and
  // added under one hold of the lock (so two threads cannot both add "the missing one"); 0 when
  // such an element exists, when refused, or on allocation failure.
  template <class Pred>
  int AddDataUnless(T data, Pred exists) {
    std::unique_ptr<Node> cell = MakeCell(std::move(data));
    if (!cell) return 0;
    hl::ObjectLockGuard lock(this);
    for (Node* n = head_.get(); n != nullptr; n = n->next())
      if (exists(n->data)) return 0;
    return compare_ ? AddOrderedLocked(cell) : (AppendLocked(cell), 1);
  }

  // Index 0 inserts at the head, index == count appends; false for a negative index or one
  // greater than the count (the caller keeps the cell).
  bool InsertElementAt(std::unique_ptr<Node>& cell, int32_t index) {
    if (!cell) return false;
    hl::ObjectLockGuard lock(this);
    if (index < 0 || index > count_) return false;
    if (index == count_) {
      AppendLocked(cell);
    } else if (index == 0) {
      cell->next_ = std::move(head_);
      head_ = std::move(cell);
      ++count_;
    } else {
      Node* before = NodeAtLocked(index - 1);
      cell->next_ = std::move(before->next_);
      before->next_ = std::move(cell);
      ++count_;
    }
    return true;
  }
  bool InsertDataAt(T data, int32_t index) {
    std::unique_ptr<Node> cell = MakeCell(std::move(data));
    return cell && InsertElementAt(cell, index);
  }

  // Removes and frees the given cell (by identity); false only when the vector is empty.
  bool DeleteElement(const Node* cell) {
    hl::ObjectLockGuard lock(this);
    if (count_ == 0) return false;
    UnlinkLocked([cell](const Node& n) { return &n == cell; });
    return true;
  }

  // Removes and frees the cell at the 0-based index; 0 when out of range.
  int DeleteElementAt(int32_t index) {
    hl::ObjectLockGuard lock(this);
    if (index < 0 || index >= count_) return 0;
    int32_t i = 0;
    UnlinkLocked([&i, index](const Node&) { return i++ == index; });
    return 1;
  }

  // Removes the first cell whose element stands for `address` (the pointee of pointer-like
  // elements); false when absent.
  bool DeleteLCDVector(const void* address) {
    hl::ObjectLockGuard lock(this);
    return UnlinkLocked([address](const Node& n) { return detail::ElementAddress(n.data) == address; });
  }

  // The cell at the 0-based index, null when out of range.
  Node* ElementAt(int32_t index) {
    hl::ObjectLockGuard lock(this);
    return (index < 0 || index >= count_) ? nullptr : NodeAtLocked(index);
  }
  const Node* ElementAt(int32_t index) const { return const_cast<Vector*>(this)->ElementAt(index); }

  // The n-th cell counting from `start` (0 is `start` itself); null when n is negative or not
  // below the count. Takes no lock.
  Node* GetNthElement(int32_t n, Node* start) const {
    if (n < 0 || n >= count_) return nullptr;
    Node* cell = start;
    for (int32_t i = 0; i < n && cell != nullptr; ++i) cell = cell->next();
    return cell;
  }

  // Frees all cells and sets the count to 0.
  void FreeVector() {
    TraceEntry("FreeVector");
    hl::ObjectLockGuard lock(this);
    ReleaseCells();
  }

  // Removes the head cell and returns its element; nullopt when empty.
  std::optional<T> TakeFirst() {
    hl::ObjectLockGuard lock(this);
    if (!head_) return std::nullopt;
    std::unique_ptr<Node> first = std::move(head_);
    head_ = std::move(first->next_);
    if (!head_) tail_ = nullptr;
    --count_;
    return std::optional<T>(std::move(first->data));
  }

  // The first element for which pred(element) is true, under the lock; null when none.
  template <class Pred>
  T* FindFirst(Pred pred) {
    hl::ObjectLockGuard lock(this);
    for (Node* n = head_.get(); n != nullptr; n = n->next())
      if (pred(n->data)) return &n->data;
    return nullptr;
  }

  // The count may be read without the lock (it is atomic); what it says may change at once.
  int32_t count() const { return count_.load(std::memory_order_relaxed); }
  bool empty() const { return count() == 0; }
  Node* head() const { return head_.get(); }
  Node* tail() const { return tail_; }
  bool ordered() const { return static_cast<bool>(compare_); }

  // Walks the elements (no lock).
  template <class NodePtr, class Ref>
  class Iterator {
   public:
    using iterator_category = std::forward_iterator_tag;
    using value_type = T;
    using difference_type = std::ptrdiff_t;
    using reference = Ref;
    using pointer = std::remove_reference_t<Ref>*;

    Iterator() = default;
    explicit Iterator(NodePtr n) : n_(n) {}
    Ref operator*() const { return n_->data; }
    pointer operator->() const { return &n_->data; }
    Iterator& operator++() {
      n_ = n_->next();
      return *this;
    }
    Iterator operator++(int) {
      Iterator before = *this;
      n_ = n_->next();
      return before;
    }
    bool operator==(const Iterator& o) const { return n_ == o.n_; }

   private:
    NodePtr n_ = nullptr;
  };
  using iterator = Iterator<Node*, T&>;
  using const_iterator = Iterator<const Node*, const T&>;
  iterator begin() { return iterator(head_.get()); }
  iterator end() { return iterator(nullptr); }
  const_iterator begin() const { return const_iterator(head_.get()); }
  const_iterator end() const { return const_iterator(nullptr); }

 private:
  static std::unique_ptr<Node> MakeCell(T data) {
    try {
      return std::make_unique<Node>(std::move(data));
    } catch (const std::bad_alloc&) {
      return nullptr;
    }
  }

  // Iterative, so that long lists do not recurse through the cells' destructors.
  void ReleaseCells() {
    while (head_) head_ = std::move(head_->next_);
    tail_ = nullptr;
    count_ = 0;
  }

  Node* NodeAtLocked(int32_t index) const {
    Node* n = head_.get();
    for (int32_t i = 0; i < index; ++i) n = n->next();
    return n;
  }

  void AppendLocked(std::unique_ptr<Node>& cell) {
    Node* raw = cell.get();
    raw->next_.reset();
    if (tail_ == nullptr) head_ = std::move(cell);
    else tail_->next_ = std::move(cell);
    tail_ = raw;
    ++count_;
  }

  // Links `cell` after `before` (at the head when `before` is null).
  void LinkAfterLocked(Node* before, std::unique_ptr<Node>& cell) {
    Node* raw = cell.get();
    std::unique_ptr<Node>& slot = before ? before->next_ : head_;
    raw->next_ = std::move(slot);
    slot = std::move(cell);
    if (raw->next_ == nullptr) tail_ = raw;
    ++count_;
  }

  // Bisection over the list: the middle cell of the remaining range [a, b) is found by walking
  // from the cell at a.
  int AddOrderedLocked(std::unique_ptr<Node>& cell) {
    if (count_ == 0) {
      AppendLocked(cell);
      return 1;
    }
    const T& added = cell->data;
    int32_t a = 0, b = count_;
    Node* atA = head_.get();
    Node* beforeA = nullptr;
    while (b - a > 1) {
      int32_t mid = a + (b - a) / 2;
      Node* beforeMid = nullptr;
      Node* m = atA;
      for (int32_t i = a; i < mid; ++i) {
        beforeMid = m;
        m = m->next();
      }
      signed char order = compare_(added, m->data);
      if (order == 0) return 0;
      if (order < 0) {
        b = mid;
      } else {
        a = mid;
        atA = m;
        beforeA = beforeMid;
      }
    }
    signed char order = compare_(added, atA->data);
    if (order == 0) return 0;
    if (order < 0) {
      LinkAfterLocked(beforeA, cell);
      return 1;
    }
    Node* neighbour = atA->next();
    if (neighbour != nullptr && compare_(added, neighbour->data) > 0) {
      LinkAfterLocked(neighbour, cell);
    } else {
      LinkAfterLocked(atA, cell);
    }
    return 1;
  }

  // Unlinks and frees the first cell matching `match`; false when none does.
  template <class Match>
  bool UnlinkLocked(Match match) {
    Node* before = nullptr;
    for (Node* n = head_.get(); n != nullptr; before = n, n = n->next()) {
      if (!match(*n)) continue;
      std::unique_ptr<Node>& slot = before ? before->next_ : head_;
      std::unique_ptr<Node> removed = std::move(slot);
      slot = std::move(removed->next_);
      if (tail_ == removed.get()) tail_ = before;
      --count_;
      return true;
    }
    return false;
  }

  std::unique_ptr<Node> head_;
  // Changed only under the lock; atomic so that count() and empty() may read it without.
  std::atomic<int32_t> count_ = 0;
  Node* tail_ = nullptr;
  Compare compare_;
};

// A new empty unordered vector; null (with "MEMORY_ALLOCATION_FAILURE\n") on allocation failure.
template <class T>
std::unique_ptr<Vector<T>> CreateVector() {
  TraceEntry("CreateVector");
  try {
    return std::make_unique<Vector<T>>();
  } catch (const std::bad_alloc&) {
    LogError("MEMORY_ALLOCATION_FAILURE\n");
    return nullptr;
  }
}

// Moves every element of `source` into `target` (appended, or inserted in order; elements that an
// ordered target refuses are dropped), then frees the cells of `source`. 99 on allocation
// failure, else 1.
template <class T>
int MergeVector(Vector<T>& target, Vector<T>& source) {
  TraceEntry("MergeVector");
  if (&target == &source) return 1;
  int result = 1;
  for (VectorNode<T>* n = source.head(); n != nullptr; n = n->next()) {
    auto cell = std::unique_ptr<VectorNode<T>>();
    try {
      cell = std::make_unique<VectorNode<T>>(std::move(n->data));
    } catch (const std::bad_alloc&) {
      result = 99;
      break;
    }
    target.AddElement(cell);
  }
  source.FreeVector();
  return result;
}

namespace detail {
template <class T>
std::string_view ElementText(const T& data) {
  if constexpr (std::is_pointer_v<T>) {
    return data ? std::string_view(data) : std::string_view();
  } else if constexpr (IsSmartPointer<T>::value) {
    return data ? std::string_view(*data) : std::string_view();
  } else {
    return std::string_view(data);
  }
}
}  // namespace detail

// A new unordered vector of owned copies of the elements taken as text (strings, C strings, or
// pointers to strings; a null element gives an empty string). A null vector logs
// "Cannot clone vector.  Vector is NULL.\n" and gives null.
template <class T>
std::unique_ptr<Vector<std::string>> CloneVector(const Vector<T>* vector) {
  TraceEntry("CloneVector");
  if (vector == nullptr) {
    LogError("Cannot clone vector.  Vector is NULL.\n");
    return nullptr;
  }
  auto clone = CreateVector<std::string>();
  if (!clone) return nullptr;
  for (const VectorNode<T>* n = vector->head(); n != nullptr; n = n->next())
    clone->AddData(std::string(detail::ElementText(n->data)));
  return clone;
}

}  // namespace tessera
