#include "agent/log/format.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "platform/win32.h"

namespace hl {
namespace {

// UTF-16 to the ANSI code page, as the C runtime's %S does: at most maxUnits code units (-1: to
// the terminator); a surrogate pair cut by the limit, like any lone surrogate, becomes U+FFFD.
std::string WideToUtf8(const WCHAR* w, long maxUnits) {
  long n = 0;
  while (w[n] != 0 && (maxUnits < 0 || n < maxUnits)) ++n;
  if (n == 0) return {};
  int needed = WideCharToMultiByte(CP_ACP, 0, w, static_cast<int>(n), nullptr, 0, nullptr, nullptr);
  if (needed <= 0) return {};
  std::string out(static_cast<size_t>(needed), '\0');
  WideCharToMultiByte(CP_ACP, 0, w, static_cast<int>(n), out.data(), needed, nullptr, nullptr);
  return out;
}

// One UTF-16 code unit (%lc, %C) in the ANSI code page.
void AppendUtf8(std::string& out, char32_t unit) {
  const WCHAR wide[2] = {static_cast<WCHAR>(unit), 0};
  out += WideToUtf8(wide, 1);
}

struct Directive {
  std::string flags;
  int width = -1;
  int precision = -1;
  enum class Length { None, Short, Char, Long, LongLong, Size, Wide } length = Length::None;
  char conv = 0;
};

void Pad(std::string& out, const std::string& body, const Directive& directive) {
  bool left = directive.flags.find('-') != std::string::npos;
  size_t width = directive.width > 0 ? static_cast<size_t>(directive.width) : 0;
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

std::string NumericDirective(const Directive& directive, const char* length, char conv) {
  std::string f = "%" + directive.flags;
  if (directive.width >= 0) f += std::to_string(directive.width);
  if (directive.precision >= 0) f += "." + std::to_string(directive.precision);
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

namespace {

// The arguments in order; a missing one reads as 0 (or a null text).
class ArgCursor {
 public:
  explicit ArgCursor(std::span<const FormatArg> args) : args_(args) {}
  const FormatArg* Next() { return next_ < args_.size() ? &args_[next_++] : nullptr; }
  const FormatArg& NextOrZero() {
    static const FormatArg kZero(0);
    const FormatArg* a = Next();
    return a ? *a : kZero;
  }

 private:
  std::span<const FormatArg> args_;
  size_t next_ = 0;
};

// Parses the directive after the '%' at format[i]: flags, width, precision (both may be '*',
// taken from the arguments), length modifiers (Microsoft forms included: I64, I32, w) and the
// conversion. Returns the index of the conversion character, or npos when the text ends first.
size_t ParseDirective(std::string_view format, size_t i, ArgCursor& args, Directive& directive) {
  ++i;
  while (i < format.size() && std::strchr("-+ #0", format[i]) != nullptr) directive.flags.push_back(format[i++]);
  if (i < format.size() && format[i] == '*') {
    const FormatArg* a = args.Next();
    int w = static_cast<int>(a ? a->AsSigned() : 0);
    if (w < 0) {
      directive.flags.push_back('-');
      w = -w;
    }
    directive.width = w;
    ++i;
  } else {
    while (i < format.size() && format[i] >= '0' && format[i] <= '9') {
      directive.width = (directive.width < 0 ? 0 : directive.width) * 10 + (format[i] - '0');
      ++i;
    }
  }
  if (i < format.size() && format[i] == '.') {
    ++i;
    directive.precision = 0;
    if (i < format.size() && format[i] == '*') {
      const FormatArg* a = args.Next();
      int p = static_cast<int>(a ? a->AsSigned() : 0);
      directive.precision = p < 0 ? -1 : p;
      ++i;
    } else {
      while (i < format.size() && format[i] >= '0' && format[i] <= '9')
        directive.precision = directive.precision * 10 + (format[i++] - '0');
    }
  }
  using Length = Directive::Length;
  for (bool more = true; more && i < format.size();) {
    switch (format[i]) {
      case 'h':
        directive.length = directive.length == Length::Short ? Length::Char : Length::Short;
        ++i;
        break;
      case 'l':
        directive.length = directive.length == Length::Long ? Length::LongLong : Length::Long;
        ++i;
        break;
      case 'L': case 'q': case 'j':
        directive.length = Length::LongLong;
        ++i;
        break;
      case 'z': case 't':
        directive.length = Length::Size;
        ++i;
        break;
      case 'w':
        directive.length = Length::Wide;
        ++i;
        break;
      case 'I':
        if (format.substr(i, 3) == "I64") {
          directive.length = Length::LongLong;
          i += 3;
        } else if (format.substr(i, 3) == "I32") {
          directive.length = Length::None;
          i += 3;
        } else {
          directive.length = Length::Size;
          ++i;
        }
        break;
      default:
        more = false;
    }
  }
  if (i >= format.size()) return std::string_view::npos;
  directive.conv = format[i];
  return i;
}

// %d %i: int and long are 32-bit on Windows.
std::string FormatSigned(const Directive& directive, const FormatArg& arg) {
  long long v = arg.AsSigned();
  switch (directive.length) {
    case Directive::Length::Short: v = static_cast<short>(v); break;
    case Directive::Length::Char: v = static_cast<signed char>(v); break;
    case Directive::Length::LongLong: case Directive::Length::Size: break;
    default: v = static_cast<int32_t>(v); break;
  }
  return FormatNumber(NumericDirective(directive, "ll", directive.conv), v);
}

// %u %x %X %o.
std::string FormatUnsigned(const Directive& directive, const FormatArg& arg) {
  unsigned long long v = arg.AsUnsigned();
  switch (directive.length) {
    case Directive::Length::Short: v = static_cast<unsigned short>(v); break;
    case Directive::Length::Char: v = static_cast<unsigned char>(v); break;
    case Directive::Length::LongLong: case Directive::Length::Size: break;
    default: v = static_cast<uint32_t>(v); break;
  }
  return FormatNumber(NumericDirective(directive, "ll", directive.conv), v);
}

// %f %e %g %a and their capitals.
std::string FormatReal(const Directive& directive, const FormatArg& arg) {
  return FormatNumber(NumericDirective(directive, "", directive.conv), arg.AsDouble());
}

// %c (8-bit) and %C / %lc / %wc (one UTF-16 unit, written as UTF-8).
void FormatChar(std::string& out, const Directive& directive, const FormatArg& arg) {
  unsigned long long v = arg.AsUnsigned();
  std::string body;
  bool wide = directive.conv == 'C' || directive.length == Directive::Length::Long ||
              directive.length == Directive::Length::Wide;
  if (wide)
    AppendUtf8(body, static_cast<char32_t>(v & 0xFFFF));
  else
    body.push_back(static_cast<char>(v));
  Pad(out, body, directive);
}

// %s %S %Z: 8-bit or UTF-16 text (written as UTF-8); a null text prints "(null)".
void FormatText(std::string& out, const Directive& directive, const FormatArg* arg) {
  std::string body;
  bool isNull = true;
  if (arg && arg->kind() == FormatArg::Kind::WideText && arg->wideText()) {
    body = WideToUtf8(arg->wideText(), directive.precision);
    isNull = false;
  } else if (arg && arg->kind() == FormatArg::Kind::Text && arg->text()) {
    const char* s = arg->text();
    size_t len = arg->textLength() != std::string_view::npos ? arg->textLength() : std::strlen(s);
    if (directive.precision >= 0)
      len = std::min(len, strnlen(s, std::min(len, static_cast<size_t>(directive.precision))));
    body.assign(s, len);
    isNull = false;
  }
  if (isNull) {
    body = "(null)";
    if (directive.precision >= 0 && body.size() > static_cast<size_t>(directive.precision))
      body.resize(static_cast<size_t>(directive.precision));
  }
  Pad(out, body, directive);
}

// %p: 16 upper-case hex digits.
void FormatPointer(std::string& out, const Directive& directive, const FormatArg& arg) {
  auto v = reinterpret_cast<uintptr_t>(arg.pointer());
  Pad(out, FormatNumber(std::string("%016llX"), static_cast<unsigned long long>(v)), directive);
}

}  // namespace

std::string FormatPrintf(std::string_view format, std::span<const FormatArg> args) {
  std::string out;
  out.reserve(format.size() + 32);
  ArgCursor cursor(args);
  for (size_t i = 0; i < format.size(); ++i) {
    if (format[i] != '%') {
      out.push_back(format[i]);
      continue;
    }
    if (i + 1 >= format.size()) {
      out.push_back('%');
      break;
    }
    const size_t start = i;
    Directive directive;
    i = ParseDirective(format, i, cursor, directive);
    if (i == std::string_view::npos) {
      out.append(format.substr(start));
      break;
    }
    switch (directive.conv) {
      case '%': out.push_back('%'); break;
      case 'd': case 'i': out += FormatSigned(directive, cursor.NextOrZero()); break;
      case 'u': case 'x': case 'X': case 'o': out += FormatUnsigned(directive, cursor.NextOrZero()); break;
      case 'f': case 'F': case 'e': case 'E': case 'g': case 'G': case 'a': case 'A':
        out += FormatReal(directive, cursor.NextOrZero());
        break;
      case 'c': case 'C': FormatChar(out, directive, cursor.NextOrZero()); break;
      case 's': case 'S': case 'Z': FormatText(out, directive, cursor.Next()); break;
      case 'p': FormatPointer(out, directive, cursor.NextOrZero()); break;
      case 'n': cursor.Next(); break;
      default: out.append(format.substr(start, i - start + 1)); break;  // unknown: copied as written
    }
  }
  return out;
}

void WriteStdout(std::string_view text) {
  std::fwrite(text.data(), 1, text.size(), stdout);
  std::fflush(stdout);
}

}  // namespace hl
