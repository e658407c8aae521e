#include "tessera/values/value.h"

#include <algorithm>

namespace tessera {

Value Value::FromBytes(const void* data, int32_t length) {
  Value value;
  if (length < 0 || (data == nullptr && length > 0)) return value;
  ByteBuffer buffer(static_cast<size_t>(length) + 1);
  if (length > 0) std::memcpy(buffer.data(), data, static_cast<size_t>(length));
  value.storage_ = std::move(buffer);
  value.length_ = length;
  return value;
}

Value Value::FromText(std::string_view text) {
  return FromBytes(text.data(), static_cast<int32_t>(text.size()));
}

Value Value::FromDateTime(const CrvDateTime& dateTime, int32_t length) {
  Value value;
  value.storage_ = dateTime;
  value.length_ = length;
  return value;
}

Value Value::FromDate(const CrvDate& date, int32_t length) {
  Value value;
  value.storage_ = date;
  value.length_ = length;
  return value;
}

Value Value::FromTime(const CrvTime& time, int32_t length) {
  Value value;
  value.storage_ = time;
  value.length_ = length;
  return value;
}

Value Value::FromCrvValue(const CrvValue& crv, int32_t length) {
  Value value;
  std::visit([&value](const auto& part) { value.storage_ = part; }, crv);
  value.length_ = length;
  return value;
}

Value::Kind Value::kind() const {
  switch (storage_.index()) {
    case 1: return Kind::Bytes;
    case 2: return Kind::Date;
    case 3: return Kind::Time;
    case 4: return Kind::DateTime;
    default: return Kind::Null;
  }
}

const BYTE* Value::data() const {
  const auto* buffer = std::get_if<ByteBuffer>(&storage_);
  return buffer ? buffer->data() : nullptr;
}

BYTE* Value::data() {
  auto* buffer = std::get_if<ByteBuffer>(&storage_);
  return buffer ? buffer->data() : nullptr;
}

std::string_view Value::bytes() const {
  const BYTE* p = data();
  if (p == nullptr) return {};
  return std::string_view(reinterpret_cast<const char*>(p), static_cast<size_t>(length_));
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
