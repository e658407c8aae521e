// An owned, zero-filled byte buffer that keeps short contents inline: the numbers and short texts
// that make up most column values then need no heap block of their own.
#pragma once

#include <cstddef>
#include <cstring>
#include <memory>

#include "platform/win32.h"

namespace tessera {

class ByteBuffer {
 public:
  static constexpr size_t kInlineSize = 24;

  explicit ByteBuffer(size_t size) : size_(size) {
    if (size_ > kInlineSize) heap_ = std::make_unique<BYTE[]>(size_);  // value-initialised: zeroed
  }
  ByteBuffer(const ByteBuffer& other) : ByteBuffer(other.size_) { std::memcpy(data(), other.data(), size_); }
  ByteBuffer& operator=(const ByteBuffer& other) {
    if (this != &other) *this = ByteBuffer(other);
    return *this;
  }
  ByteBuffer(ByteBuffer&& other) noexcept : size_(other.size_), heap_(std::move(other.heap_)) {
    std::memcpy(inline_, other.inline_, sizeof inline_);
    other.size_ = 0;
  }
  ByteBuffer& operator=(ByteBuffer&& other) noexcept {
    size_ = other.size_;
    heap_ = std::move(other.heap_);
    std::memcpy(inline_, other.inline_, sizeof inline_);
    other.size_ = 0;
    return *this;
  }

  BYTE* data() { return heap_ ? heap_.get() : inline_; }
  const BYTE* data() const { return heap_ ? heap_.get() : inline_; }
  size_t size() const { return size_; }

  bool operator==(const ByteBuffer& other) const {
    return size_ == other.size_ && std::memcmp(data(), other.data(), size_) == 0;
  }

 private:
  size_t size_;
  BYTE inline_[kInlineSize] = {};
  std::unique_ptr<BYTE[]> heap_;
};

}  // namespace tessera
