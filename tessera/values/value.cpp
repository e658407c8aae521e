// Value storage: the tag says what the 11 storage bytes hold (inline bytes, a bare date or time,
// or a unique_ptr to a heap buffer or date-time constructed in place); copies and moves follow
// the tag, and Release destroys what the tag names.
#include "tessera/values/value.h"

#include <algorithm>

namespace tessera {

void Value::Release() noexcept {
  if (tag_ == Tag::HeapBytes) Heap().~HeapBuffer();
  else if (tag_ == Tag::DateTime) HeapDateTime().~HeapStamp();
  tag_ = Tag::Null;
  length_ = 0;
}

void Value::CopyFrom(const Value& other) {
  switch (other.tag_) {
    case Tag::HeapBytes: {
      const size_t size = static_cast<size_t>(other.length_) + 1;
      HeapBuffer copy = std::make_unique_for_overwrite<BYTE[]>(size);
      std::memcpy(copy.get(), other.Heap().get(), size);
      new (storage_) HeapBuffer(std::move(copy));
      break;
    }
    case Tag::DateTime:
      new (storage_) HeapStamp(std::make_unique<CrvDateTime>(*other.HeapDateTime()));
      break;
    default:
      std::memcpy(storage_, other.storage_, kStorage);
      break;
  }
  tag_ = other.tag_;
  length_ = other.length_;
}

void Value::MoveFrom(Value& other) noexcept {
  switch (other.tag_) {
    case Tag::HeapBytes:
      new (storage_) HeapBuffer(std::move(other.Heap()));
      break;
    case Tag::DateTime:
      new (storage_) HeapStamp(std::move(other.HeapDateTime()));
      break;
    default:
      std::memcpy(storage_, other.storage_, kStorage);
      break;
  }
  tag_ = other.tag_;
  length_ = other.length_;
  other.Release();
}

Value& Value::operator=(const Value& other) {
  if (this != &other) {
    Value copy(other);  // may throw; this value stays as it was
    *this = std::move(copy);
  }
  return *this;
}

Value Value::FromBytes(const void* data, int32_t length) {
  Value value;
  if (length < 0 || (data == nullptr && length > 0)) return value;
  BYTE* target = nullptr;
  if (length <= kInlineBytes) {
    target = value.storage_;
    value.tag_ = Tag::InlineBytes;
  } else {
    HeapBuffer buffer = std::make_unique_for_overwrite<BYTE[]>(static_cast<size_t>(length) + 1);
    target = buffer.get();
    new (value.storage_) HeapBuffer(std::move(buffer));
    value.tag_ = Tag::HeapBytes;
  }
  if (length > 0) std::memcpy(target, data, static_cast<size_t>(length));
  target[length] = 0;
  value.length_ = length;
  return value;
}

Value Value::FromText(std::string_view text) {
  return FromBytes(text.data(), static_cast<int32_t>(text.size()));
}

Value Value::FromDateTime(const CrvDateTime& dateTime, int32_t length) {
  Value value;
  new (value.storage_) HeapStamp(std::make_unique<CrvDateTime>(dateTime));
  value.tag_ = Tag::DateTime;
  value.length_ = length;
  return value;
}

Value Value::FromDate(const CrvDate& date, int32_t length) {
  Value value;
  new (value.storage_) CrvDate(date);
  value.tag_ = Tag::Date;
  value.length_ = length;
  return value;
}

Value Value::FromTime(const CrvTime& time, int32_t length) {
  Value value;
  new (value.storage_) CrvTime(time);
  value.tag_ = Tag::Time;
  value.length_ = length;
  return value;
}

Value Value::FromCrvValue(const CrvValue& crv, int32_t length) {
  struct Make {
    int32_t length;
    Value operator()(const CrvDate& d) const { return FromDate(d, length); }
    Value operator()(const CrvTime& t) const { return FromTime(t, length); }
    Value operator()(const CrvDateTime& dt) const { return FromDateTime(dt, length); }
  };
  return std::visit(Make{length}, crv);
}

std::string_view Value::bytes() const {
  const BYTE* p = data();
  if (p == nullptr) return {};
  return std::string_view(reinterpret_cast<const char*>(p), static_cast<size_t>(length_));
}

bool Value::operator==(const Value& other) const {
  if (tag_ != other.tag_ || length_ != other.length_) return false;
  switch (tag_) {
    case Tag::InlineBytes:
    case Tag::HeapBytes: return std::memcmp(data(), other.data(), static_cast<size_t>(length_) + 1) == 0;
    case Tag::Date: return *date() == *other.date();
    case Tag::Time: return *time() == *other.time();
    case Tag::DateTime: return *dateTime() == *other.dateTime();
    default: return true;
  }
}

unsigned long long Value::ReadUnsigned(int32_t width) const {
  const BYTE* p = data();
  if (p == nullptr || width <= 0) return 0;
  int32_t n = std::min({width, length_, static_cast<int32_t>(sizeof(unsigned long long))});
  unsigned long long result = 0;
  for (int32_t i = n - 1; i >= 0; --i) result = (result << 8) | p[i];
  return result;
}

long long Value::ReadSigned(int32_t width) const {
  const BYTE* p = data();
  if (p == nullptr || width <= 0) return 0;
  int32_t n = std::min({width, length_, static_cast<int32_t>(sizeof(long long))});
  if (n <= 0) return 0;
  unsigned long long raw = ReadUnsigned(n);
  if (n < 8 && (raw & (1ULL << (n * 8 - 1))) != 0) raw |= ~0ULL << (n * 8);  // sign-extend
  return static_cast<long long>(raw);
}

double Value::ReadReal() const {
  const BYTE* p = data();
  if (p == nullptr) return 0;
  if (length_ >= 8) {
    double d = 0;
    std::memcpy(&d, p, sizeof d);
    return d;
  }
  if (length_ >= 4) {
    float f = 0;
    std::memcpy(&f, p, sizeof f);
    return f;
  }
  return 0;
}

}  // namespace tessera
