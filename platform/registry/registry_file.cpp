#include "platform/registry/registry_file.h"

#include <cstdio>
#include <map>
#include <optional>
#include <vector>

#include "platform/registry/registry_text.h"
#include "platform/registry/win_registry.h"

namespace hl::platform::reg {
namespace {

constexpr std::u16string_view kHeader5 = u"Windows Registry Editor Version 5.00";
constexpr std::u16string_view kHeader4 = u"REGEDIT4";
// The exporter breaks hex data once a line reaches this many characters.
constexpr size_t kMaxHexColumns = 77;

bool IsBlank(char16_t c) { return c == u' ' || c == u'\t'; }

int HexDigit(char16_t c) {
  if (c >= u'0' && c <= u'9') return c - u'0';
  if (c >= u'a' && c <= u'f') return c - u'a' + 10;
  if (c >= u'A' && c <= u'F') return c - u'A' + 10;
  return -1;
}

size_t SkipBlanks(std::u16string_view s, size_t pos) {
  while (pos < s.size() && IsBlank(s[pos])) ++pos;
  return pos;
}

bool RestIsEmptyOrComment(std::u16string_view s, size_t pos) {
  pos = SkipBlanks(s, pos);
  return pos == s.size() || s[pos] == u';';
}

bool StartsWithNoCase(std::u16string_view s, size_t pos, std::u16string_view prefix) {
  return s.size() - pos >= prefix.size() && NamesEqual(s.substr(pos, prefix.size()), prefix);
}

// Splits text at CRLF, LF or a lone CR.
template <class Str>
std::vector<Str> SplitLines(const Str& text) {
  std::vector<Str> lines;
  Str current;
  for (size_t i = 0; i < text.size(); ++i) {
    auto c = text[i];
    if (c == '\r' || c == '\n') {
      lines.push_back(std::move(current));
      current.clear();
      if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
    } else {
      current.push_back(c);
    }
  }
  if (!current.empty()) lines.push_back(std::move(current));
  return lines;
}

std::vector<uint8_t> Utf16Bytes(std::u16string_view text) { return utf::PackUtf16Le(text); }

class Parser {
 public:
  Parser(std::vector<std::u16string> lines, bool ansi, Tree& tree, ParseError& error)
      : lines_(std::move(lines)), ansi_(ansi), tree_(tree), error_(error) {}

  bool Run() {
    for (index_ = 1; index_ < lines_.size(); ++index_) {
      std::u16string_view line = lines_[index_];
      size_t pos = SkipBlanks(line, 0);
      if (pos == line.size() || line[pos] == u';' || line[pos] == u'#') continue;
      bool ok;
      if (line[pos] == u'[') {
        ok = KeyLine(line, pos);
      } else if (line[pos] == u'@' || line[pos] == u'"') {
        ok = ValueLine(line, pos);
      } else {
        ok = Fail("unexpected text (expected a [key] line, a value line or a ; comment)");
      }
      if (!ok) return false;
    }
    return true;
  }

 private:
  bool Fail(std::string message) {
    error_.line = index_ + 1;
    error_.message = std::move(message);
    return false;
  }

  bool KeyLine(std::u16string_view line, size_t pos) {
    ++pos;
    bool deletion = pos < line.size() && line[pos] == u'-';
    if (deletion) ++pos;
    if (pos < line.size() && IsBlank(line[pos])) return Fail("blank after '[' in a key line");
    size_t close = line.rfind(u']');
    if (close == std::u16string_view::npos || close < pos) return Fail("key line without closing ']'");
    if (!RestIsEmptyOrComment(line, close + 1)) return Fail("text after the closing ']' of a key line");
    std::u16string_view text = line.substr(pos, close - pos);
    while (!text.empty() && text.back() == u'\\') text.remove_suffix(1);  // trailing backslashes are tolerated
    std::vector<std::u16string> parts;
    size_t start = 0;
    for (;;) {
      size_t sep = text.find(u'\\', start);
      parts.emplace_back(text.substr(start, sep == std::u16string_view::npos ? sep : sep - start));
      if (sep == std::u16string_view::npos) break;
      start = sep + 1;
    }
    auto hive = HiveFromName(parts.front(), true);
    if (!hive) return Fail("unknown root key \"" + Utf16ToUtf8(parts.front()) + "\"");
    Path path(parts.begin() + 1, parts.end());
    for (const auto& part : path) {
      if (part.empty()) return Fail("empty key name in a key path");
      if (part.size() > kMaxKeyNameLength) return Fail("key name longer than 255 characters");
    }
    if (path.size() > kMaxKeyDepth) return Fail("key path deeper than 512 levels");
    if (deletion) {
      if (path.empty()) return Fail("a root key cannot be deleted");
      tree_.DeleteTree(*hive, path);
      current_ = nullptr;
      afterDeletion_ = true;
    } else {
      current_ = &tree_.Create(*hive, path);
      afterDeletion_ = false;
    }
    return true;
  }

  // Parses "..." at line[pos] == '"'; pos ends after the closing quote.
  bool Quoted(std::u16string_view line, size_t& pos, std::u16string& out) {
    out.clear();
    for (++pos; pos < line.size(); ++pos) {
      char16_t c = line[pos];
      if (c == u'"') {
        ++pos;
        return true;
      }
      if (c != u'\\') {
        out.push_back(c);
        continue;
      }
      if (++pos == line.size()) break;
      switch (line[pos]) {
        case u'\\': out.push_back(u'\\'); break;
        case u'"': out.push_back(u'"'); break;
        case u'n': out.push_back(u'\n'); break;
        case u'r': out.push_back(u'\r'); break;
        case u'0': return Fail("\\0 is not a valid escape (write \\\\0 for a backslash and 0)");
        default: return Fail("unknown escape \\" + Utf16ToUtf8(line.substr(pos, 1)) + " (write \\\\ for a backslash)");
      }
    }
    return Fail("unterminated quoted text");
  }

  bool ValueLine(std::u16string_view line, size_t pos) {
    if (!current_ && !afterDeletion_) return Fail("value line before any key line");
    std::u16string name;
    if (line[pos] == u'@') {
      ++pos;
    } else if (!Quoted(line, pos, name)) {
      return false;
    }
    if (name.size() > kMaxValueNameLength) return Fail("value name longer than 16383 characters");
    pos = SkipBlanks(line, pos);
    if (pos == line.size() || line[pos] != u'=') return Fail("expected '=' after the value name");
    pos = SkipBlanks(line, pos + 1);
    if (pos == line.size()) return Fail("missing value data after '='");

    DWORD type = 0;
    std::vector<uint8_t> data;
    bool remove = false;
    if (line[pos] == u'-') {
      if (!RestIsEmptyOrComment(line, pos + 1)) return Fail("text after '-' of a value deletion");
      remove = true;
    } else if (line[pos] == u'"') {
      std::u16string text;
      if (!Quoted(line, pos, text)) return false;
      if (!RestIsEmptyOrComment(line, pos)) return Fail("text after a quoted value");
      text.push_back(u'\0');
      type = REG_SZ;
      data = Utf16Bytes(text);
    } else if (StartsWithNoCase(line, pos, u"dword:")) {
      pos = SkipBlanks(line, pos + 6);
      uint32_t number = 0;
      size_t digits = 0;
      for (; pos < line.size() && HexDigit(line[pos]) >= 0; ++pos, ++digits)
        number = (number << 4) | static_cast<uint32_t>(HexDigit(line[pos]));
      if (digits == 0 || digits > 8) return Fail("dword: needs 1 to 8 hex digits");
      if (!RestIsEmptyOrComment(line, pos)) return Fail("text after dword data");
      type = REG_DWORD;
      data = {static_cast<uint8_t>(number), static_cast<uint8_t>(number >> 8), static_cast<uint8_t>(number >> 16),
              static_cast<uint8_t>(number >> 24)};
    } else if (StartsWithNoCase(line, pos, u"hex")) {
      pos += 3;
      type = REG_BINARY;
      if (pos < line.size() && line[pos] == u'(') {
        uint32_t number = 0;
        size_t digits = 0;
        for (++pos; pos < line.size() && HexDigit(line[pos]) >= 0; ++pos, ++digits)
          number = (number << 4) | static_cast<uint32_t>(HexDigit(line[pos]));
        if (digits == 0 || digits > 8 || pos == line.size() || line[pos] != u')')
          return Fail("hex(N): needs a type number of 1 to 8 hex digits");
        ++pos;
        type = number;
      }
      if (pos == line.size() || line[pos] != u':') return Fail("expected ':' after hex");
      if (!HexBytes(line, pos + 1, data)) return false;
      if (ansi_ && (type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ)) {
        std::string narrow(data.begin(), data.end());
        data = Utf16Bytes(Utf8ToUtf16(narrow));
      }
    } else {
      return Fail("unrecognised value data (expected \"text\", dword:, hex: or hex(N):)");
    }
    if (afterDeletion_) return true;  // values after a [-key] line are ignored, as regedit does
    if (remove) {
      current_->DeleteValue(name);
    } else {
      current_->SetValue(name, type, std::move(data));
    }
    return true;
  }

  // Comma-separated bytes, continued on following lines after ",\".
  bool HexBytes(std::u16string_view line, size_t pos, std::vector<uint8_t>& out) {
    for (;;) {
      pos = SkipBlanks(line, pos);
      if (pos == line.size() || line[pos] == u';') return true;
      int high = HexDigit(line[pos]);
      if (high < 0) return Fail("bad hex byte");
      int value = high;
      ++pos;
      if (pos < line.size() && HexDigit(line[pos]) >= 0) value = value * 16 + HexDigit(line[pos++]);
      out.push_back(static_cast<uint8_t>(value));
      pos = SkipBlanks(line, pos);
      if (pos == line.size() || line[pos] == u';') return true;
      if (line[pos] != u',') return Fail("expected ',' between hex bytes");
      pos = SkipBlanks(line, pos + 1);
      if (pos == line.size() || line[pos] != u'\\') continue;
      if (!RestIsEmptyOrComment(line, pos + 1)) return Fail("text after the continuation '\\'");
      for (;;) {
        if (++index_ >= lines_.size()) {
          index_ = lines_.size() - 1;
          return Fail("hex data continued past the end of the file");
        }
        line = lines_[index_];
        pos = SkipBlanks(line, 0);
        if (pos < line.size() && line[pos] != u';') break;
      }
      if (HexDigit(line[pos]) < 0) return Fail("continuation line does not start with a hex byte");
    }
  }

  std::vector<std::u16string> lines_;
  bool ansi_;
  Tree& tree_;
  ParseError& error_;
  size_t index_ = 0;
  Key* current_ = nullptr;
  bool afterDeletion_ = false;
};

bool DecodeLines(std::string_view bytes, ParsedFile& out, std::vector<std::u16string>& lines, ParseError& error) {
  auto at = [&](size_t i) { return static_cast<unsigned char>(bytes[i]); };
  if (bytes.size() >= 2 && at(0) == 0xFE && at(1) == 0xFF) {
    error = {1, "big-endian UTF-16 is not supported (save as UTF-16LE with BOM or UTF-8)"};
    return false;
  }
  if (bytes.size() >= 2 && at(0) == 0xFF && at(1) == 0xFE) {
    out.encoding = FileEncoding::Utf16LeBom;
    std::u16string text = utf::UnpackUtf16Le(reinterpret_cast<const uint8_t*>(bytes.data()) + 2, bytes.size() - 2);
    lines = SplitLines(text);
    if (bytes.size() % 2 != 0) {
      error = {lines.size() == 0 ? 1 : lines.size(), "UTF-16 file with an odd number of bytes"};
      return false;
    }
    return true;
  }
  if (bytes.size() >= 3 && at(0) == 0xEF && at(1) == 0xBB && at(2) == 0xBF) {
    out.encoding = FileEncoding::Utf8Bom;
    bytes.remove_prefix(3);
  } else {
    out.encoding = FileEncoding::Utf8;
    if (bytes.size() >= 2 && at(1) == 0 && at(0) != 0) {
      error = {1, "UTF-16 without byte-order mark is not supported"};
      return false;
    }
  }
  std::vector<std::string> raw = SplitLines(std::string(bytes));
  for (size_t i = 0; i < raw.size(); ++i) {
    auto decoded = Utf8ToUtf16Strict(raw[i]);
    if (!decoded) {
      error = {i + 1, "invalid UTF-8"};
      return false;
    }
    lines.push_back(std::move(*decoded));
  }
  return true;
}

std::u16string Trimmed(std::u16string_view s) {
  size_t begin = SkipBlanks(s, 0);
  size_t end = s.size();
  while (end > begin && IsBlank(s[end - 1])) --end;
  return std::u16string(s.substr(begin, end - begin));
}

std::u16string Escaped(std::u16string_view text) {
  std::u16string out;
  out.reserve(text.size());
  for (char16_t c : text) {
    switch (c) {
      case u'\\': out += u"\\\\"; break;
      case u'"': out += u"\\\""; break;
      case u'\n': out += u"\\n"; break;
      case u'\r': out += u"\\r"; break;
      default: out.push_back(c);
    }
  }
  return out;
}

// A REG_SZ that reads back identically from quoted text: one terminator, nothing after it, valid UTF-16.
std::optional<std::u16string> PlainString(const std::vector<uint8_t>& data) {
  if (data.size() < 2 || data.size() % 2 != 0) return std::nullopt;
  std::u16string text = utf::UnpackUtf16Le(data.data(), data.size());
  if (text.back() != u'\0') return std::nullopt;
  text.pop_back();
  if (text.find(u'\0') != std::u16string::npos || !IsValidUtf16(text)) return std::nullopt;
  return text;
}

std::u16string Ascii(const char* text) {
  std::u16string out;
  while (*text) out.push_back(static_cast<char16_t>(*text++));
  return out;
}

}  // namespace

bool ParseRegFile(std::string_view bytes, ParsedFile& out, ParseError& error) {
  out = ParsedFile{};
  std::vector<std::u16string> lines;
  if (!DecodeLines(bytes, out, lines, error)) return false;
  bool empty = true;
  for (const auto& line : lines)
    if (!Trimmed(line).empty()) empty = false;
  if (empty) return true;
  std::u16string header = Trimmed(lines.front());
  bool ansi = header == kHeader4;
  if (header != kHeader5 && !ansi) {
    error = {1, "missing header line \"Windows Registry Editor Version 5.00\""};
    return false;
  }
  if (ansi) out.encoding = FileEncoding::Utf8;  // rewritten as a 5.00 file in UTF-8, which loses nothing
  return Parser(std::move(lines), ansi, out.tree, error).Run();
}

std::u16string FormatValueLine(const Value& value) {
  std::u16string line = value.name.empty() ? std::u16string(u"@") : u"\"" + Escaped(value.name) + u"\"";
  line += u'=';
  if (value.type == REG_SZ) {
    if (auto text = PlainString(value.data)) return line + u"\"" + Escaped(*text) + u"\"";
  }
  char buffer[32];
  if (value.type == REG_DWORD && value.data.size() == 4) {
    uint32_t number = value.data[0] | (value.data[1] << 8) | (value.data[2] << 16) |
                      (static_cast<uint32_t>(value.data[3]) << 24);
    std::snprintf(buffer, sizeof buffer, "dword:%08x", number);
    return line + Ascii(buffer);
  }
  if (value.type == REG_BINARY) {
    line += u"hex:";
  } else {
    std::snprintf(buffer, sizeof buffer, "hex(%x):", static_cast<unsigned>(value.type));
    line += Ascii(buffer);
  }
  size_t column = line.size();
  for (size_t i = 0; i < value.data.size(); ++i) {
    std::snprintf(buffer, sizeof buffer, "%02x", value.data[i]);
    line += Ascii(buffer);
    if (i + 1 == value.data.size()) break;
    line += u',';
    column += 3;
    if (column >= kMaxHexColumns) {
      line += u"\\\r\n  ";
      column = 2;
    }
  }
  return line;
}

std::string FormatRegFile(const Tree& tree, FileEncoding encoding, const OmitKey& omit) {
  std::u16string text(kHeader5);
  text += u"\r\n\r\n";
  // Depth first with an explicit stack (no recursion, whatever the depth); each entry is a key with
  // its path, its shown name and the next of its subkeys to visit.
  struct Frame {
    const Key* key;
    std::map<std::u16string, std::unique_ptr<Key>>::const_iterator next;
    size_t shownLength;  // the shown name's length at this key
  };
  for (size_t i = 0; i < kHiveCount; ++i) {
    Hive hive = static_cast<Hive>(i);
    Path path;
    std::u16string shown = Ascii(HiveName(hive));
    std::vector<Frame> stack;
    auto visit = [&](const Key& key) {
      bool root = path.empty();
      bool skip = root ? key.values.empty() : (omit && key.values.empty() && omit(hive, path, key));
      if (!skip) {
        text += u"[" + shown + u"]\r\n";
        for (const auto& value : key.values) text += FormatValueLine(value) + u"\r\n";
        text += u"\r\n";
      }
      stack.push_back(Frame{&key, key.subkeys.begin(), shown.size()});
    };
    visit(tree.Root(hive));
    while (!stack.empty()) {
      Frame& top = stack.back();
      if (top.next == top.key->subkeys.end()) {
        stack.pop_back();
        if (!path.empty()) path.pop_back();
        if (!stack.empty()) shown.resize(stack.back().shownLength);
        continue;
      }
      const Key& sub = *top.next->second;
      ++top.next;
      path.push_back(sub.name);
      shown += u"\\" + sub.name;
      visit(sub);
    }
  }

  std::string bytes;
  if (encoding == FileEncoding::Utf16LeBom) {
    const std::vector<uint8_t> packed = utf::PackUtf16Le(text);
    bytes.reserve(2 + packed.size());
    bytes += "\xFF\xFE";
    bytes.append(packed.begin(), packed.end());
    return bytes;
  }
  if (encoding == FileEncoding::Utf8Bom) bytes += "\xEF\xBB\xBF";
  bytes += Utf16ToUtf8(text, true);
  return bytes;
}

}  // namespace hl::platform::reg
