// Value: one column value in its in-memory form, owned, with its 32-bit byte length.
//
// A Value is SQL NULL (no buffer), a byte buffer, or a date/time object:
//  - byte buffers hold `length` bytes followed by one zero byte that the length does not count,
//    so text values can be read as C strings (c_str());
//  - integers are stored little-endian at their width, floats and doubles as IEEE bytes;
//  - date/time codes hold a CrvDateTime (length 11) or, from the XML import, a bare CrvDate or
//    CrvTime (with the length the producer gives).
// Values copy deeply; the numeric readers never read beyond the stored length.
#pragma once

#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <variant>
#include <vector>

#include "platform/win32.h"
#include "tessera/values/byte_buffer.h"
#include "tessera/values/crv_datetime.h"

namespace tessera {

class Value {
 public:
  enum class Kind { Null, Bytes, Date, Time, DateTime };

  Value() = default;  // SQL NULL

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

  Kind kind() const;
  bool IsNull() const { return kind() == Kind::Null; }
  explicit operator bool() const { return !IsNull(); }
  int32_t length() const { return length_; }

  // Byte buffers: the bytes (length() of them, then a zero byte); null for other kinds.
  const BYTE* data() const;
  BYTE* data();
  const char* c_str() const { return reinterpret_cast<const char*>(data()); }
  // The bytes as text (length() bytes); empty for other kinds.
  std::string_view bytes() const;

  const CrvDate* date() const { return std::get_if<CrvDate>(&storage_); }
  const CrvTime* time() const { return std::get_if<CrvTime>(&storage_); }
  const CrvDateTime* dateTime() const { return std::get_if<CrvDateTime>(&storage_); }

  // Little-endian integer of min(width, length()) bytes, sign- or zero-extended; 0 for non-bytes.
  long long ReadSigned(int32_t width) const;
  unsigned long long ReadUnsigned(int32_t width) const;
  // A float when 4 <= length() < 8, a double when length() >= 8, else 0.
  double ReadReal() const;

  bool operator==(const Value& other) const = default;

 private:
  using Storage = std::variant<std::monostate, ByteBuffer, CrvDate, CrvTime, CrvDateTime>;
  Storage storage_;
  int32_t length_ = 0;
};

}  // namespace tessera
