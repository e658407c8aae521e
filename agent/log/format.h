// printf-compatible, type-safe formatting (no C varargs). Conversions follow the Microsoft
// runtime: %d/%i/%u/%x/%X/%o/%c (l modifier 32-bit as on Windows, ll/I64 64-bit), %s (8-bit text),
// %S, %ws, %ls (UTF-16 text, written as UTF-8), %p, %f/%e/%g, %%; flags - + 0 space #, width and
// precision (also *). A null text prints "(null)". A wrong argument kind is converted sensibly.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>

#include "platform/win32.h"

namespace hl {

class FormatArg {
 public:
  enum class Kind { Signed, Unsigned, Double, Text, WideText, Pointer };

  template <class T>
    requires(std::is_integral_v<T> || std::is_enum_v<T>)
  FormatArg(T v) {  // NOLINT(google-explicit-constructor)
    if constexpr (std::is_enum_v<T>) {
      kind_ = Kind::Signed;
      i_ = static_cast<long long>(v);
    } else if constexpr (std::is_signed_v<T>) {
      kind_ = Kind::Signed;
      i_ = static_cast<long long>(v);
    } else {
      kind_ = Kind::Unsigned;
      u_ = static_cast<unsigned long long>(v);
    }
  }
  FormatArg(double v) : kind_(Kind::Double), d_(v) {}  // NOLINT
  FormatArg(float v) : kind_(Kind::Double), d_(v) {}   // NOLINT
  FormatArg(const char* s) : kind_(Kind::Text), s_(s) {}  // NOLINT
  FormatArg(char* s) : kind_(Kind::Text), s_(s) {}        // NOLINT
  FormatArg(const unsigned char* s) : kind_(Kind::Text), s_(reinterpret_cast<const char*>(s)) {}  // NOLINT
  FormatArg(unsigned char* s) : kind_(Kind::Text), s_(reinterpret_cast<const char*>(s)) {}        // NOLINT
  FormatArg(const std::string& s) : kind_(Kind::Text), s_(s.c_str()) {}  // NOLINT
  // A view need not end with a zero: its length travels with it.
  FormatArg(std::string_view s) : kind_(Kind::Text), s_(s.data()), textLength_(s.size()) {}  // NOLINT
  FormatArg(const std::optional<std::string>& s) : kind_(Kind::Text), s_(s ? s->c_str() : nullptr) {}  // NOLINT
  FormatArg(const WCHAR* s) : kind_(Kind::WideText), w_(s) {}  // NOLINT
  FormatArg(WCHAR* s) : kind_(Kind::WideText), w_(s) {}        // NOLINT
  FormatArg(const std::basic_string<WCHAR>& s) : kind_(Kind::WideText), w_(s.c_str()) {}  // NOLINT
  FormatArg(const std::optional<std::basic_string<WCHAR>>& s)  // NOLINT
      : kind_(Kind::WideText), w_(s ? s->c_str() : nullptr) {}
  FormatArg(std::nullptr_t) : kind_(Kind::Pointer), p_(nullptr) {}  // NOLINT
  FormatArg(const void* p) : kind_(Kind::Pointer), p_(p) {}        // NOLINT
  FormatArg(void* p) : kind_(Kind::Pointer), p_(p) {}              // NOLINT

  Kind kind() const { return kind_; }
  long long AsSigned() const;
  unsigned long long AsUnsigned() const;
  double AsDouble() const;
  const char* text() const { return kind_ == Kind::Text ? s_ : nullptr; }
  // The text's length when it is known without a terminator (views), else npos.
  size_t textLength() const { return textLength_; }
  const WCHAR* wideText() const { return kind_ == Kind::WideText ? w_ : nullptr; }
  const void* pointer() const;

 private:
  Kind kind_;
  union {
    long long i_;
    unsigned long long u_;
    double d_;
    const char* s_;
    const WCHAR* w_;
    const void* p_;
  };
  size_t textLength_ = std::string_view::npos;
};

// Formats like sprintf; missing arguments format as 0 / "(null)".
std::string FormatPrintf(std::string_view format, std::span<const FormatArg> args);

template <class... A>
std::string Sprintf(std::string_view format, const A&... args) {
  if constexpr (sizeof...(A) == 0) {
    return FormatPrintf(format, {});
  } else {
    const FormatArg list[] = {FormatArg(args)...};
    return FormatPrintf(format, list);
  }
}

// Writes to standard output (printf).
void WriteStdout(std::string_view text);
template <class... A>
void Printf(std::string_view format, const A&... args) {
  WriteStdout(Sprintf(format, args...));
}

}  // namespace hl
