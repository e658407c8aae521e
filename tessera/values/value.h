// Value: one column value in its in-memory form, owned, with its 32-bit byte length.
//
// A Value is SQL NULL (no buffer), a byte buffer, or a date/time object:
//  - byte buffers hold `length` bytes followed by one zero byte that the length does not count,
//    so text values can be read as C strings (c_str());
//  - integers are stored little-endian at their width, floats and doubles as IEEE bytes;
//  - date/time codes hold a CrvDateTime (length 11) or, from the XML import, a bare CrvDate or
//    CrvTime (with the length the producer gives).
// Values copy deeply; the numeric readers never read beyond the stored length.
//
// A Value takes 16 bytes. Byte buffers of up to kInlineBytes bytes (with their zero byte: every
// integer, float and double, and short texts) and bare dates and times sit inside the Value;
// longer buffers and date-times own one heap block. An array of a row's Values therefore holds
// most of the row's data itself, which is what makes row scans read memory in sequence.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <variant>
#include <vector>

#include "platform/win32.h"
#include "tessera/values/crv_datetime.h"

namespace tessera {

class Value {
 public:
  enum class Kind { Null, Bytes, Date, Time, DateTime };
  // Longest byte buffer kept inside the Value (its zero byte takes the last place).
  static constexpr int32_t kInlineBytes = 10;
  // data() of a byte buffer can always be read for at least this many bytes, whatever its length:
  // inline buffers have their whole storage, heap buffers are longer. (Scans compare short texts
  // a word at a time.)
  static constexpr int32_t kMinReadableBytes = kInlineBytes + 1;

  Value() = default;  // SQL NULL
  Value(const Value& other) { CopyFrom(other); }
  Value(Value&& other) noexcept { MoveFrom(other); }
  Value& operator=(const Value& other);
  Value& operator=(Value&& other) noexcept {
    if (this != &other) {
      Release();
      MoveFrom(other);
    }
    return *this;
  }
  ~Value() { Release(); }

  // A copy of `length` bytes (plus the zero byte). A null `data` with length > 0 gives NULL.
  static Value FromBytes(const void* data, int32_t length);
  // A copy of the text; length = text length.
  static Value FromText(std::string_view text);
  // The integer's bytes at the width of T (little-endian).
  template <class T>
    requires std::is_arithmetic_v<T>
  static Value FromNumber(T number) {
    return FromBytes(&number, static_cast<int32_t>(sizeof(T)));
  }
  static Value FromDateTime(const CrvDateTime& dateTime, int32_t length = 11);
  static Value FromDate(const CrvDate& date, int32_t length = 4);
  static Value FromTime(const CrvTime& time, int32_t length = 3);
  static Value FromCrvValue(const CrvValue& value, int32_t length = 11);

  Kind kind() const {
    switch (tag_) {
      case Tag::InlineBytes:
      case Tag::HeapBytes: return Kind::Bytes;
      case Tag::Date: return Kind::Date;
      case Tag::Time: return Kind::Time;
      case Tag::DateTime: return Kind::DateTime;
      default: return Kind::Null;
    }
  }
  bool IsNull() const { return tag_ == Tag::Null; }
  explicit operator bool() const { return !IsNull(); }
  int32_t length() const { return length_; }

  // Byte buffers: the bytes (length() of them, then a zero byte); null for other kinds.
  const BYTE* data() const {
    if (tag_ == Tag::InlineBytes) return storage_;
    return tag_ == Tag::HeapBytes ? Heap().get() : nullptr;
  }
  BYTE* data() { return const_cast<BYTE*>(static_cast<const Value*>(this)->data()); }
  const char* c_str() const { return reinterpret_cast<const char*>(data()); }
  // The bytes as text (length() bytes); empty for other kinds.
  std::string_view bytes() const;

  const CrvDate* date() const { return tag_ == Tag::Date ? std::launder(reinterpret_cast<const CrvDate*>(storage_)) : nullptr; }
  const CrvTime* time() const { return tag_ == Tag::Time ? std::launder(reinterpret_cast<const CrvTime*>(storage_)) : nullptr; }
  const CrvDateTime* dateTime() const { return tag_ == Tag::DateTime ? HeapDateTime().get() : nullptr; }

  // Little-endian integer of min(width, length()) bytes, sign- or zero-extended; 0 for non-bytes.
  long long ReadSigned(int32_t width) const;
  unsigned long long ReadUnsigned(int32_t width) const;
  // A float when 4 <= length() < 8, a double when length() >= 8, else 0.
  double ReadReal() const;

  bool operator==(const Value& other) const;

 private:
  enum class Tag : BYTE { Null, InlineBytes, HeapBytes, Date, Time, DateTime };
  using HeapBuffer = std::unique_ptr<BYTE[]>;
  using HeapStamp = std::unique_ptr<CrvDateTime>;
  static constexpr size_t kStorage = 11;
  static_assert(sizeof(HeapBuffer) <= kStorage && sizeof(HeapStamp) <= kStorage);
  static_assert(kStorage >= static_cast<size_t>(kMinReadableBytes) && kInlineBytes + 1 <= static_cast<int32_t>(kStorage));
  static_assert(sizeof(CrvDate) <= kStorage && sizeof(CrvTime) <= kStorage);
  static_assert(std::is_trivially_copyable_v<CrvDate> && std::is_trivially_copyable_v<CrvTime>);

  const HeapBuffer& Heap() const { return *std::launder(reinterpret_cast<const HeapBuffer*>(storage_)); }
  HeapBuffer& Heap() { return *std::launder(reinterpret_cast<HeapBuffer*>(storage_)); }
  const HeapStamp& HeapDateTime() const { return *std::launder(reinterpret_cast<const HeapStamp*>(storage_)); }
  HeapStamp& HeapDateTime() { return *std::launder(reinterpret_cast<HeapStamp*>(storage_)); }

  void Release() noexcept;
  void CopyFrom(const Value& other);
  void MoveFrom(Value& other) noexcept;

  alignas(8) BYTE storage_[kStorage] = {};
  Tag tag_ = Tag::Null;
  int32_t length_ = 0;
};

static_assert(sizeof(Value) == 16, "a Value is meant to take 16 bytes");

}  // namespace tessera
