#include "agent/log/format.h"

#include <cstdio>
#include <cstring>

namespace hl {
namespace {

void AppendUtf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

// UTF-16 to UTF-8, at most maxUnits code units (-1: to the terminator); lone surrogates become U+FFFD.
std::string WideToUtf8(const WCHAR* w, long maxUnits) {
  std::string out;
  for (long i = 0; w[i] != 0 && (maxUnits < 0 || i < maxUnits); ++i) {
    char32_t c = static_cast<char16_t>(w[i]);
    if (c >= 0xD800 && c <= 0xDBFF && w[i + 1] >= 0xDC00 && w[i + 1] <= 0xDFFF &&
        (maxUnits < 0 || i + 1 < maxUnits)) {
      c = 0x10000 + ((c - 0xD800) << 10) + (static_cast<char16_t>(w[i + 1]) - 0xDC00);
      ++i;
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      c = 0xFFFD;
    }
    AppendUtf8(out, c);
  }
  return out;
}

struct Spec {
  std::string flags;
  int width = -1;
  int precision = -1;
  enum class Length { None, Short, Char, Long, LongLong, Size, Wide } length = Length::None;
  char conv = 0;
};

void Pad(std::string& out, const std::string& body, const Spec& spec) {
  bool left = spec.flags.find('-') != std::string::npos;
  size_t width = spec.width > 0 ? static_cast<size_t>(spec.width) : 0;
  if (body.size() >= width) {
    out += body;
  } else if (left) {
    out += body;
    out.append(width - body.size(), ' ');
  } else {
    out.append(width - body.size(), ' ');
    out += body;
  }
}

std::string NumericSpec(const Spec& spec, const char* length, char conv) {
  std::string f = "%" + spec.flags;
  if (spec.width >= 0) f += std::to_string(spec.width);
  if (spec.precision >= 0) f += "." + std::to_string(spec.precision);
  f += length;
  f.push_back(conv);
  return f;
}

template <class T>
std::string FormatNumber(const std::string& fmt, T value) {
  char small[128];
  int n = std::snprintf(small, sizeof small, fmt.c_str(), value);
  if (n < 0) return {};
  if (static_cast<size_t>(n) < sizeof small) return std::string(small, static_cast<size_t>(n));
  std::string big(static_cast<size_t>(n) + 1, '\0');
  std::snprintf(big.data(), big.size(), fmt.c_str(), value);
  big.resize(static_cast<size_t>(n));
  return big;
}

}  // namespace

long long FormatArg::AsSigned() const {
  switch (kind_) {
    case Kind::Signed: return i_;
    case Kind::Unsigned: return static_cast<long long>(u_);
    case Kind::Double: return static_cast<long long>(d_);
    case Kind::Pointer: return static_cast<long long>(reinterpret_cast<intptr_t>(p_));
    case Kind::Text: return static_cast<long long>(reinterpret_cast<intptr_t>(s_));
    case Kind::WideText: return static_cast<long long>(reinterpret_cast<intptr_t>(w_));
  }
  return 0;
}

unsigned long long FormatArg::AsUnsigned() const { return static_cast<unsigned long long>(AsSigned()); }

double FormatArg::AsDouble() const {
  switch (kind_) {
    case Kind::Double: return d_;
    case Kind::Unsigned: return static_cast<double>(u_);
    default: return static_cast<double>(AsSigned());
  }
}

const void* FormatArg::pointer() const {
  switch (kind_) {
    case Kind::Pointer: return p_;
    case Kind::Text: return s_;
    case Kind::WideText: return w_;
    default: return reinterpret_cast<const void*>(static_cast<intptr_t>(AsSigned()));
  }
}

std::string FormatPrintf(std::string_view format, std::span<const FormatArg> args) {
  std::string out;
  out.reserve(format.size() + 32);
  size_t next = 0;
  auto take = [&]() -> const FormatArg* { return next < args.size() ? &args[next++] : nullptr; };
  static const FormatArg kZero(0);

  for (size_t i = 0; i < format.size(); ++i) {
    char c = format[i];
    if (c != '%') {
      out.push_back(c);
      continue;
    }
    if (i + 1 >= format.size()) {
      out.push_back('%');
      break;
    }
    size_t start = i;
    Spec spec;
    ++i;
    while (i < format.size() && std::strchr("-+ #0", format[i]) != nullptr) spec.flags.push_back(format[i++]);
    if (i < format.size() && format[i] == '*') {
      const FormatArg* a = take();
      int w = static_cast<int>(a ? a->AsSigned() : 0);
      if (w < 0) {
        spec.flags.push_back('-');
        w = -w;
      }
      spec.width = w;
      ++i;
    } else {
      while (i < format.size() && format[i] >= '0' && format[i] <= '9') {
        spec.width = (spec.width < 0 ? 0 : spec.width) * 10 + (format[i] - '0');
        ++i;
      }
    }
    if (i < format.size() && format[i] == '.') {
      ++i;
      spec.precision = 0;
      if (i < format.size() && format[i] == '*') {
        const FormatArg* a = take();
        int p = static_cast<int>(a ? a->AsSigned() : 0);
        spec.precision = p < 0 ? -1 : p;
        ++i;
      } else {
        while (i < format.size() && format[i] >= '0' && format[i] <= '9') spec.precision = spec.precision * 10 + (format[i++] - '0');
      }
    }
    // Length modifiers, Microsoft forms included (I64, I32, w).
    for (bool more = true; more && i < format.size();) {
      switch (format[i]) {
        case 'h':
          spec.length = spec.length == Spec::Length::Short ? Spec::Length::Char : Spec::Length::Short;
          ++i;
          break;
        case 'l':
          spec.length = spec.length == Spec::Length::Long ? Spec::Length::LongLong : Spec::Length::Long;
          ++i;
          break;
        case 'L': case 'q': case 'j':
          spec.length = Spec::Length::LongLong;
          ++i;
          break;
        case 'z': case 't':
          spec.length = Spec::Length::Size;
          ++i;
          break;
        case 'w':
          spec.length = Spec::Length::Wide;
          ++i;
          break;
        case 'I':
          if (format.substr(i, 3) == "I64") {
            spec.length = Spec::Length::LongLong;
            i += 3;
          } else if (format.substr(i, 3) == "I32") {
            spec.length = Spec::Length::None;
            i += 3;
          } else {
            spec.length = Spec::Length::Size;
            ++i;
          }
          break;
        default:
          more = false;
      }
    }
    if (i >= format.size()) {
      out.append(format.substr(start));
      break;
    }
    spec.conv = format[i];
    switch (spec.conv) {
      case '%':
        out.push_back('%');
        break;
      case 'd': case 'i': {
        const FormatArg* a = take();
        long long v = (a ? *a : kZero).AsSigned();
        switch (spec.length) {
          case Spec::Length::Short: v = static_cast<short>(v); break;
          case Spec::Length::Char: v = static_cast<signed char>(v); break;
          case Spec::Length::LongLong: case Spec::Length::Size: break;
          default: v = static_cast<int32_t>(v); break;  // int and long are 32-bit on Windows
        }
        out += FormatNumber(NumericSpec(spec, "ll", spec.conv), v);
        break;
      }
      case 'u': case 'x': case 'X': case 'o': {
        const FormatArg* a = take();
        unsigned long long v = (a ? *a : kZero).AsUnsigned();
        switch (spec.length) {
          case Spec::Length::Short: v = static_cast<unsigned short>(v); break;
          case Spec::Length::Char: v = static_cast<unsigned char>(v); break;
          case Spec::Length::LongLong: case Spec::Length::Size: break;
          default: v = static_cast<uint32_t>(v); break;
        }
        out += FormatNumber(NumericSpec(spec, "ll", spec.conv), v);
        break;
      }
      case 'f': case 'F': case 'e': case 'E': case 'g': case 'G': case 'a': case 'A': {
        const FormatArg* a = take();
        out += FormatNumber(NumericSpec(spec, "", spec.conv), (a ? *a : kZero).AsDouble());
        break;
      }
      case 'c': case 'C': {
        const FormatArg* a = take();
        unsigned long long v = (a ? *a : kZero).AsUnsigned();
        std::string body;
        bool wide = spec.conv == 'C' || spec.length == Spec::Length::Long || spec.length == Spec::Length::Wide;
        if (wide)
          AppendUtf8(body, static_cast<char32_t>(v & 0xFFFF));
        else
          body.push_back(static_cast<char>(v));
        Pad(out, body, spec);
        break;
      }
      case 's': case 'S': case 'Z': {
        const FormatArg* a = take();
        std::string body;
        bool isNull = true;
        if (a && a->kind() == FormatArg::Kind::WideText && a->wideText()) {
          body = WideToUtf8(a->wideText(), spec.precision);
          isNull = false;
        } else if (a && a->kind() == FormatArg::Kind::Text && a->text()) {
          const char* s = a->text();
          size_t len = spec.precision >= 0 ? strnlen(s, static_cast<size_t>(spec.precision)) : std::strlen(s);
          body.assign(s, len);
          isNull = false;
        }
        if (isNull) {
          body = "(null)";
          if (spec.precision >= 0 && body.size() > static_cast<size_t>(spec.precision))
            body.resize(static_cast<size_t>(spec.precision));
        }
        Pad(out, body, spec);
        break;
      }
      case 'p': {
        const FormatArg* a = take();
        auto v = reinterpret_cast<uintptr_t>((a ? *a : kZero).pointer());
        std::string body = FormatNumber(std::string("%016llX"), static_cast<unsigned long long>(v));
        Pad(out, body, spec);
        break;
      }
      case 'n':
        take();
        break;
      default:
        out.append(format.substr(start, i - start + 1));  // unknown: copied as written
        break;
    }
  }
  return out;
}

void WriteStdout(std::string_view text) {
  std::fwrite(text.data(), 1, text.size(), stdout);
  std::fflush(stdout);
}

}  // namespace hl
