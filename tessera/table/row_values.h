// RowValues: the values of one row, with the interface of a std::vector<Value> (size, indexing,
// iteration, resize, push_back, comparison and conversion to and from std::vector<Value>).
//
// The difference is where the values may live: a row made by CreateNewRowObject keeps them in
// its own memory block, right after the row's fields (RowObject::Make), so a row is one
// allocation and a scan reads it with one memory access. Values that outgrow that space, and the
// values of rows made any other way, live in an array of their own, as in a vector.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <vector>

#include "tessera/values/value.h"

namespace tessera {

class RowValues {
 public:
  using value_type = Value;
  using size_type = size_t;
  using iterator = Value*;
  using const_iterator = const Value*;
  using reference = Value&;
  using const_reference = const Value&;

  RowValues() = default;
  RowValues(std::vector<Value> values) { Assign(values); }  // NOLINT: converts as a vector would
  RowValues(std::initializer_list<Value> values);
  RowValues(const RowValues& other);
  RowValues(RowValues&& other);
  RowValues& operator=(const RowValues& other);
  RowValues& operator=(RowValues&& other);
  RowValues& operator=(std::vector<Value> values);
  ~RowValues() { Release(); }

  size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  size_t capacity() const { return capacity_; }
  Value* data() { return data_; }
  const Value* data() const { return data_; }
  Value& operator[](size_t i) { return data_[i]; }
  const Value& operator[](size_t i) const { return data_[i]; }
  Value& at(size_t i);
  const Value& at(size_t i) const;
  Value& front() { return data_[0]; }
  const Value& front() const { return data_[0]; }
  Value& back() { return data_[size_ - 1]; }
  const Value& back() const { return data_[size_ - 1]; }
  iterator begin() { return data_; }
  iterator end() { return data_ + size_; }
  const_iterator begin() const { return data_; }
  const_iterator end() const { return data_ + size_; }

  void reserve(size_t capacity);
  // New places hold NULL.
  void resize(size_t size);
  void push_back(Value value);
  template <class... Args>
  Value& emplace_back(Args&&... args) {
    push_back(Value(std::forward<Args>(args)...));
    return back();
  }
  void clear();

  // Whether the values live in their row's own block.
  bool inRow() const { return inRow_; }

  operator std::vector<Value>() const { return std::vector<Value>(begin(), end()); }  // NOLINT
  bool operator==(const RowValues& other) const;
  bool operator==(const std::vector<Value>& other) const;

 private:
  friend struct RowObject;
  // Takes `capacity` places of memory (no values in them) that the owner frees; the values then
  // move in. Used by RowObject::Make for the space after the row's fields.
  void AdoptPlaces(Value* places, size_t capacity, std::vector<Value>& values);
  void Assign(std::vector<Value>& values);
  void Grow(size_t capacity);
  void Release() noexcept;

  Value* data_ = nullptr;  // size_ values, then capacity_ - size_ unused places
  uint32_t size_ = 0;
  uint32_t capacity_ : 31 = 0;
  uint32_t inRow_ : 1 = 0;  // the places belong to the row's block, not to this object
};

static_assert(sizeof(RowValues) == sizeof(void*) + 8);

}  // namespace tessera
