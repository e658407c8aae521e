// RowValues storage: data_ points at capacity_ places of which the first size_ hold values;
// places of the row's block (inRow_) are never freed here, places of an own array are
// allocated and freed with std::allocator. Growing always moves the values to an own array.
#include "tessera/table/row_values.h"

#include <algorithm>
#include <stdexcept>

namespace tessera {
namespace {
std::allocator<Value>& Places() {
  static std::allocator<Value> allocator;
  return allocator;
}
}  // namespace

RowValues::RowValues(std::initializer_list<Value> values) {
  Grow(values.size());
  std::uninitialized_copy(values.begin(), values.end(), data_);
  size_ = static_cast<uint32_t>(values.size());
}

RowValues::RowValues(const RowValues& other) {
  Grow(other.size_);
  std::uninitialized_copy(other.begin(), other.end(), data_);
  size_ = other.size_;
}

RowValues::RowValues(RowValues&& other) {
  if (other.inRow_) {
    // The places belong to the other row's block: the values move to an own array.
    Grow(other.size_);
    std::uninitialized_move(other.begin(), other.end(), data_);
    size_ = other.size_;
    other.clear();
    return;
  }
  data_ = other.data_;
  size_ = other.size_;
  capacity_ = other.capacity_;
  other.data_ = nullptr;
  other.size_ = 0;
  other.capacity_ = 0;
}

RowValues& RowValues::operator=(const RowValues& other) {
  if (this != &other) {
    RowValues copy(other);
    *this = std::move(copy);
  }
  return *this;
}

RowValues& RowValues::operator=(RowValues&& other) {
  if (this == &other) return *this;
  if (other.inRow_ || inRow_) {
    // Keep each row's places with their own row: the values move across.
    clear();
    reserve(other.size_);
    std::uninitialized_move(other.begin(), other.end(), data_);
    size_ = other.size_;
    other.clear();
    return *this;
  }
  Release();
  data_ = other.data_;
  size_ = other.size_;
  capacity_ = other.capacity_;
  other.data_ = nullptr;
  other.size_ = 0;
  other.capacity_ = 0;
  return *this;
}

RowValues& RowValues::operator=(std::vector<Value> values) {
  clear();
  reserve(values.size());
  std::uninitialized_move(values.begin(), values.end(), data_);
  size_ = static_cast<uint32_t>(values.size());
  return *this;
}

void RowValues::Assign(std::vector<Value>& values) {
  Grow(values.size());
  std::uninitialized_move(values.begin(), values.end(), data_);
  size_ = static_cast<uint32_t>(values.size());
}

void RowValues::AdoptPlaces(Value* places, size_t capacity, std::vector<Value>& values) {
  Release();
  data_ = places;
  capacity_ = static_cast<uint32_t>(capacity) & 0x7FFFFFFFu;
  inRow_ = 1;
  std::uninitialized_move(values.begin(), values.end(), data_);
  size_ = static_cast<uint32_t>(values.size());
}

Value& RowValues::at(size_t i) {
  if (i >= size_) throw std::out_of_range("RowValues::at");
  return data_[i];
}

const Value& RowValues::at(size_t i) const {
  if (i >= size_) throw std::out_of_range("RowValues::at");
  return data_[i];
}

void RowValues::Grow(size_t capacity) {
  if (capacity > 0x7FFFFFFFu) throw std::length_error("RowValues");
  if (capacity <= capacity_) return;
  Value* fresh = capacity > 0 ? Places().allocate(capacity) : nullptr;
  std::uninitialized_move(begin(), end(), fresh);
  const uint32_t size = size_;
  Release();
  data_ = fresh;
  size_ = size;
  capacity_ = static_cast<uint32_t>(capacity);
}

void RowValues::reserve(size_t capacity) { Grow(capacity); }

void RowValues::resize(size_t size) {
  if (size < size_) {
    std::destroy(data_ + size, data_ + size_);
  } else if (size > size_) {
    Grow(std::max(size, static_cast<size_t>(size_) * 2));
    std::uninitialized_value_construct(data_ + size_, data_ + size);
  }
  size_ = static_cast<uint32_t>(size);
}

void RowValues::push_back(Value value) {
  if (size_ == capacity_) Grow(std::max<size_t>(4, static_cast<size_t>(size_) * 2));
  ::new (static_cast<void*>(data_ + size_)) Value(std::move(value));
  ++size_;
}

void RowValues::clear() {
  std::destroy(begin(), end());
  size_ = 0;
}

void RowValues::Release() noexcept {
  std::destroy(begin(), end());
  if (!inRow_ && data_ != nullptr) Places().deallocate(data_, capacity_);
  data_ = nullptr;
  size_ = 0;
  capacity_ = 0;
  inRow_ = 0;
}

bool RowValues::operator==(const RowValues& other) const { return std::equal(begin(), end(), other.begin(), other.end()); }

bool RowValues::operator==(const std::vector<Value>& other) const {
  return std::equal(begin(), end(), other.begin(), other.end());
}

}  // namespace tessera
