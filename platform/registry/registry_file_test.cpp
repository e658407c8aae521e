// The .reg grammar: what regedit writes and reads, round trips that keep every byte.
#include "platform/registry/registry_file.h"

#include <gtest/gtest.h>

#include <memory>

#include "platform/registry/registry_text.h"
#include "platform/registry/win_registry.h"

namespace hl::platform::reg {
namespace {

std::vector<uint8_t> Wide(std::u16string_view text) {
  std::vector<uint8_t> bytes;
  for (char16_t c : text) {
    bytes.push_back(static_cast<uint8_t>(c & 0xFF));
    bytes.push_back(static_cast<uint8_t>(c >> 8));
  }
  return bytes;
}

std::string Utf16File(std::u16string_view text) {
  std::string bytes = "\xFF\xFE";
  for (char16_t c : text) {
    bytes.push_back(static_cast<char>(c & 0xFF));
    bytes.push_back(static_cast<char>(c >> 8));
  }
  return bytes;
}

Tree Parse(std::string_view bytes, FileEncoding* encoding = nullptr) {
  ParsedFile file;
  ParseError error;
  EXPECT_TRUE(ParseRegFile(bytes, file, error)) << "line " << error.line << ": " << error.message;
  if (encoding) *encoding = file.encoding;
  return std::move(file.tree);
}

ParseError ParseFailure(std::string_view bytes) {
  ParsedFile file;
  ParseError error;
  EXPECT_FALSE(ParseRegFile(bytes, file, error));
  return error;
}

const Value* FindValue(const Tree& tree, Hive hive, const Path& path, std::u16string_view name) {
  const Key* key = tree.Find(hive, path);
  return key ? key->FindValue(name) : nullptr;
}

// A tree holding one value of every kind that must survive a rewrite byte for byte.
Tree EveryType() {
  Tree tree;
  Key& key = tree.Create(Hive::LocalMachine, {u"SOFTWARE", u"Types"});
  key.SetValue(u"", REG_SZ, Wide(std::u16string(u"default") + u'\0'));
  key.SetValue(u"plain", REG_SZ, Wide(std::u16string(u"C:\\Program Files\\\"q\"") + u'\0'));
  key.SetValue(u"empty sz", REG_SZ, Wide(std::u16string(1, u'\0')));
  key.SetValue(u"zero-byte sz", REG_SZ, {});
  key.SetValue(u"unterminated", REG_SZ, Wide(u"abc"));
  key.SetValue(u"embedded nul", REG_SZ, Wide(std::u16string(u"a\0b\0", 4)));
  key.SetValue(u"odd size", REG_SZ, {0x41, 0x00, 0x42});
  key.SetValue(u"lone surrogate", REG_SZ, Wide(std::u16string(u"x\xD800y") + u'\0'));
  key.SetValue(u"line\nbreak", REG_SZ, Wide(std::u16string(u"two\r\nlines\ttab") + u'\0'));
  key.SetValue(u"unicode \u00e9\u4e2d\U0001F600", REG_SZ, Wide(std::u16string(u"\u00fc\u4e2d\U0001F600") + u'\0'));
  key.SetValue(u"expand", REG_EXPAND_SZ, Wide(std::u16string(u"%ProgramFiles%\\x") + u'\0'));
  key.SetValue(u"multi", REG_MULTI_SZ, Wide(std::u16string(u"a\0bc\0\0", 6)));
  key.SetValue(u"binary", REG_BINARY, {0x00, 0xff, 0x10});
  key.SetValue(u"empty binary", REG_BINARY, {});
  key.SetValue(u"dword", REG_DWORD, {0x78, 0x56, 0x34, 0x12});
  key.SetValue(u"short dword", REG_DWORD, {1, 2, 3});
  key.SetValue(u"big endian", REG_DWORD_BIG_ENDIAN, {0, 0, 0, 1});
  key.SetValue(u"qword", REG_QWORD, {2, 0, 0, 0, 1, 0, 0, 0});
  key.SetValue(u"none", REG_NONE, {});
  key.SetValue(u"odd type", 0xabcd, {1});
  std::vector<uint8_t> big(300);
  for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<uint8_t>(i * 7);
  key.SetValue(u"long binary", REG_BINARY, big);
  tree.Create(Hive::CurrentUser, {u"Empty Key"});
  tree.Create(Hive::Users, {u".DEFAULT", u"Sub ] key"});
  return tree;
}

void ExpectSameTree(const Key& expected, const Key& actual, const std::string& where) {
  ASSERT_EQ(expected.values.size(), actual.values.size()) << where;
  for (size_t i = 0; i < expected.values.size(); ++i) {
    const Value& e = expected.values[i];
    const Value& a = actual.values[i];
    std::string name = where + " value \"" + Utf16ToUtf8(e.name) + "\"";
    EXPECT_EQ(e.name, a.name) << name;
    EXPECT_EQ(e.type, a.type) << name;
    EXPECT_EQ(e.data, a.data) << name;
  }
  ASSERT_EQ(expected.subkeys.size(), actual.subkeys.size()) << where;
  for (auto e = expected.subkeys.begin(), a = actual.subkeys.begin(); e != expected.subkeys.end(); ++e, ++a) {
    EXPECT_EQ(e->second->name, a->second->name) << where;
    ExpectSameTree(*e->second, *a->second, where + "\\" + Utf16ToUtf8(e->second->name));
  }
}

TEST(RegistryFile, EveryTypeSurvivesARoundTripInEachEncoding) {
  Tree original = EveryType();
  for (FileEncoding encoding : {FileEncoding::Utf8, FileEncoding::Utf8Bom, FileEncoding::Utf16LeBom}) {
    std::string bytes = FormatRegFile(original, encoding);
    FileEncoding readBack;
    Tree parsed = Parse(bytes, &readBack);
    EXPECT_EQ(readBack, encoding);
    for (size_t i = 0; i < kHiveCount; ++i)
      ExpectSameTree(original.hives[i], parsed.hives[i], HiveName(static_cast<Hive>(i)));
    EXPECT_EQ(FormatRegFile(parsed, encoding), bytes) << "a second rewrite changes nothing";
  }
}

TEST(RegistryFile, RegeditExportIsReadAndWrittenBackByteForByte) {
  std::u16string text =
      u"Windows Registry Editor Version 5.00\r\n\r\n"
      u"[HKEY_LOCAL_MACHINE\\SOFTWARE]\r\n\r\n"
      u"[HKEY_LOCAL_MACHINE\\SOFTWARE\\Corvanta]\r\n\r\n"
      u"[HKEY_LOCAL_MACHINE\\SOFTWARE\\Corvanta\\Harborline]\r\n"
      u"@=\"default text\"\r\n"
      u"\"InstallDir\"=\"C:\\\\Program Files (x86)\\\\Corvanta\"\r\n"
      u"\"Use \\\"quotes\\\"\"=\"double\\\"quote\"\r\n"
      u"\"Port\"=dword:0000abcd\r\n"
      u"\"Big\"=hex(b):02,00,00,00,01,00,00,00\r\n"
      u"\"Raw\"=hex:de,ad,be,ef\r\n"
      u"\"Unicode \u00e9\"=\"\u4e2d\u6587\"\r\n"
      u"\"String expansion\"=hex(2):25,00,48,00,4f,00,4d,00,45,00,25,00,5c,00,25,00,50,\\\r\n"
      u"  00,41,00,54,00,48,00,25,00,00,00\r\n"
      u"\"Multi\"=hex(7):61,00,00,00,62,00,00,00,00,00\r\n"
      u"\"Custom\"=hex(100):01\r\n"
      u"\"Nothing\"=hex(0):\r\n\r\n";
  std::string file = Utf16File(text);
  FileEncoding encoding;
  Tree tree = Parse(file, &encoding);
  EXPECT_EQ(encoding, FileEncoding::Utf16LeBom);
  EXPECT_EQ(FormatRegFile(tree, encoding), file);

  const Value* dir = FindValue(tree, Hive::LocalMachine, {u"software", u"CORVANTA", u"harborline"}, u"installdir");
  ASSERT_NE(dir, nullptr);
  EXPECT_EQ(dir->data, Wide(std::u16string(u"C:\\Program Files (x86)\\Corvanta") + u'\0'));
  const Value* quoted = FindValue(tree, Hive::LocalMachine, {u"SOFTWARE", u"Corvanta", u"Harborline"}, u"Use \"quotes\"");
  ASSERT_NE(quoted, nullptr);
  EXPECT_EQ(quoted->data, Wide(std::u16string(u"double\"quote") + u'\0'));
  const Value* expand =
      FindValue(tree, Hive::LocalMachine, {u"SOFTWARE", u"Corvanta", u"Harborline"}, u"String expansion");
  ASSERT_NE(expand, nullptr);
  EXPECT_EQ(expand->type, static_cast<DWORD>(REG_EXPAND_SZ));
  EXPECT_EQ(expand->data, Wide(std::u16string(u"%HOME%\\%PATH%") + u'\0'));
}

TEST(RegistryFile, ValueLinesAreFormattedAsRegeditWritesThem) {
  struct Case {
    Value value;
    std::u16string line;
  };
  const Case cases[] = {
      {{u"", REG_SZ, Wide(std::u16string(u"x") + u'\0')}, u"@=\"x\""},
      {{u"a\\b\"c", REG_SZ, Wide(std::u16string(1, u'\0'))}, u"\"a\\\\b\\\"c\"=\"\""},
      {{u"d", REG_DWORD, {0xef, 0xcd, 0xab, 0x00}}, u"\"d\"=dword:00abcdef"},
      {{u"d3", REG_DWORD, {1, 2, 3}}, u"\"d3\"=hex(4):01,02,03"},
      {{u"z", REG_SZ, {}}, u"\"z\"=hex(1):"},
      {{u"u", REG_SZ, Wide(u"ab")}, u"\"u\"=hex(1):61,00,62,00"},
      {{u"b", REG_BINARY, {0xAB}}, u"\"b\"=hex:ab"},
      {{u"q", REG_QWORD, {2, 0, 0, 0, 1, 0, 0, 0}}, u"\"q\"=hex(b):02,00,00,00,01,00,00,00"},
      {{u"t", 0xABCD, {}}, u"\"t\"=hex(abcd):"},
  };
  for (const auto& c : cases) EXPECT_EQ(FormatValueLine(c.value), c.line) << Utf16ToUtf8(c.line);
}

TEST(RegistryFile, LongHexDataWrapsAtRegeditsWidth) {
  Value value{u"v", REG_BINARY, std::vector<uint8_t>(100, 0x11)};
  std::string text = Utf16ToUtf8(FormatValueLine(value));
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t pos; (pos = text.find("\r\n", start)) != std::string::npos; start = pos + 2)
    lines.push_back(text.substr(start, pos - start));
  lines.push_back(text.substr(start));
  ASSERT_GE(lines.size(), 3u);
  for (size_t i = 0; i + 1 < lines.size(); ++i) {
    EXPECT_LE(lines[i].size(), 80u) << lines[i];
    EXPECT_EQ(lines[i].substr(lines[i].size() - 2), ",\\") << lines[i];
  }
  // Continuation lines hold 25 bytes: two spaces, 25 times "xx," and the backslash.
  std::string continuation = "  ";
  for (int i = 0; i < 25; ++i) continuation += "11,";
  EXPECT_EQ(lines[1], continuation + "\\");
  std::string file = "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\K]\r\n" + text + "\r\n";
  Tree parsed = Parse(file);
  const Value* back = FindValue(parsed, Hive::CurrentUser, {u"K"}, u"v");
  ASSERT_NE(back, nullptr);
  EXPECT_EQ(back->data, value.data);
}

TEST(RegistryFile, AcceptsWhatRegeditAccepts) {
  std::string file =
      "\xEF\xBB\xBF"
      "  Windows Registry Editor Version 5.00  \n"
      "; a comment\n"
      "# ignored as regedit ignores it\n"
      "\n"
      "[hkey_local_machine\\SOFTWARE\\A\\\\]   ; trailing backslashes and a comment\n"
      "  \"short\" = dword: 1\n"
      "\"spaced\"\t=\t\"text\" ; comment after data\n"
      "\"hex\"=hex:01,02,\\ ; comment after the continuation\n"
      "\n"
      "; comment between continuation lines\n"
      "   03 , 04\n"
      "\"trailing comma\"=hex:05,\r"
      "\"gone\"=\"x\"\r\n"
      "\"gone\" = - ; deleted again\r\n"
      "@=\"d\"\r\n"
      "@=-\r\n"
      "[HKCU\\Doomed\\Child]\n"
      "[-HKEY_CURRENT_USER\\Doomed]\n"
      "\"ignored after a deletion\"=\"x\"\n"
      "[HKLM\\SOFTWARE\\B]\n"
      "\"last line without newline\"=dword:ffffffff";
  FileEncoding encoding;
  Tree tree = Parse(file, &encoding);
  EXPECT_EQ(encoding, FileEncoding::Utf8Bom);
  Path a = {u"SOFTWARE", u"A"};
  ASSERT_NE(FindValue(tree, Hive::LocalMachine, a, u"short"), nullptr);
  EXPECT_EQ(FindValue(tree, Hive::LocalMachine, a, u"short")->data, (std::vector<uint8_t>{1, 0, 0, 0}));
  EXPECT_EQ(FindValue(tree, Hive::LocalMachine, a, u"spaced")->data, Wide(std::u16string(u"text") + u'\0'));
  EXPECT_EQ(FindValue(tree, Hive::LocalMachine, a, u"hex")->data, (std::vector<uint8_t>{1, 2, 3, 4}));
  EXPECT_EQ(FindValue(tree, Hive::LocalMachine, a, u"trailing comma")->data, (std::vector<uint8_t>{5}));
  EXPECT_EQ(FindValue(tree, Hive::LocalMachine, a, u"gone"), nullptr);
  EXPECT_EQ(FindValue(tree, Hive::LocalMachine, a, u""), nullptr);
  EXPECT_EQ(tree.Find(Hive::CurrentUser, {u"Doomed"}), nullptr);
  EXPECT_EQ(FindValue(tree, Hive::LocalMachine, {u"SOFTWARE", u"B"}, u"last line without newline")->data,
            (std::vector<uint8_t>{0xff, 0xff, 0xff, 0xff}));
}

TEST(RegistryFile, Regedit4StringBytesAreAnsi) {
  Tree tree = Parse(
      "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\K]\r\n\"path\"=hex(2):25,50,41,54,48,25,00\r\n"
      "\"text\"=\"caf\xC3\xA9\"\r\n");
  EXPECT_EQ(FindValue(tree, Hive::CurrentUser, {u"K"}, u"path")->data, Wide(std::u16string(u"%PATH%") + u'\0'));
  EXPECT_EQ(FindValue(tree, Hive::CurrentUser, {u"K"}, u"text")->data, Wide(std::u16string(u"caf\u00e9") + u'\0'));
}

TEST(RegistryFile, EmptyFileIsAnEmptyRegistry) {
  Tree tree = Parse("");
  EXPECT_TRUE(tree.Root(Hive::LocalMachine).subkeys.empty());
  Parse("\xFF\xFE");
  Parse("  \r\n");
}

TEST(RegistryFile, RefusesMalformedFilesNamingTheLine) {
  const std::string header = "Windows Registry Editor Version 5.00\r\n\r\n";
  struct Case {
    std::string file;
    size_t line;
  };
  const Case cases[] = {
      {"[HKEY_CURRENT_USER\\K]\r\n", 1},                                          // no header
      {"windows registry editor version 5.00\r\n", 1},                            // header is case-sensitive
      {"\r\nWindows Registry Editor Version 5.00\r\n", 1},                        // header must come first
      {header + "[HKEY_CURRENT_USERS\\K]\r\n", 3},                                // unknown root
      {header + "[ HKEY_CURRENT_USER\\K]\r\n", 3},                                // blank after [
      {header + "[HKEY_CURRENT_USER\\K\r\n", 3},                                  // no ]
      {header + "[HKEY_CURRENT_USER\\a\\\\b]\r\n", 3},                            // empty component
      {header + "\"v\"=\"x\"\r\n", 3},                                            // value before a key
      {header + "[HKEY_CURRENT_USER\\K]\r\n\"v\"=\"a\\0b\"\r\n", 4},              // \0 escape
      {header + "[HKEY_CURRENT_USER\\K]\r\n\"v\"=\"C:\\Temp\"\r\n", 4},           // unescaped backslash
      {header + "[HKEY_CURRENT_USER\\K]\r\n\"v\"=\"open\r\n", 4},                 // unterminated
      {header + "[HKEY_CURRENT_USER\\K]\r\n\"v\"=hex:01\\\r\n02\r\n", 4},         // continuation without comma
      {header + "[HKEY_CURRENT_USER\\K]\r\n\"v\"=hex:01,\\\r\n\"w\"=dword:1\r\n", 5},  // continuation not hex
      {header + "[HKEY_CURRENT_USER\\K]\r\n\"v\"=hex:01,\\\r\n", 4},              // continued past the end
      {header + "[HKEY_CURRENT_USER\\K]\r\n\"v\"=dword:123456789\r\n", 4},        // too many digits
      {header + "[HKEY_CURRENT_USER\\K]\r\n\"v\"=hex(0x2):00\r\n", 4},            // 0x prefix
      {header + "[HKEY_CURRENT_USER\\K]\r\n\"v\"=\"x\" #bad\r\n", 4},             // text after data
      {header + "[HKEY_CURRENT_USER\\K]\r\n\"v\"=word:1\r\n", 4},                 // unknown data
      {header + "[HKEY_CURRENT_USER\\K]\r\nv=\"x\"\r\n", 4},                      // unquoted name
      {header + "[HKEY_CURRENT_USER\\K]\r\n\"v\"=\"\xC3(\"\r\n", 4},              // invalid UTF-8
      {header + "[-HKEY_CURRENT_USER]\r\n", 3},                                   // deleting a root
      {std::string("\xFE\xFF\0W", 4), 1},                                         // big-endian UTF-16
      {std::string("W\0i\0", 4), 1},                                              // UTF-16 without BOM
  };
  for (const auto& c : cases) {
    ParseError error = ParseFailure(c.file);
    EXPECT_EQ(error.line, c.line) << c.file << " -> " << error.message;
    EXPECT_FALSE(error.message.empty());
  }
}

TEST(RegistryFile, LeavesOutKeysTheOmitRuleNames) {
  Tree tree;
  tree.Create(Hive::LocalMachine, {u"SOFTWARE"});
  tree.Create(Hive::LocalMachine, {u"SYSTEM", u"Setup"});
  std::string text = FormatRegFile(tree, FileEncoding::Utf8, [](Hive, const Path& path, const Key& key) {
    return path.size() == 1 && key.subkeys.empty();
  });
  EXPECT_EQ(text,
            "Windows Registry Editor Version 5.00\r\n\r\n"
            "[HKEY_LOCAL_MACHINE\\SYSTEM]\r\n\r\n"
            "[HKEY_LOCAL_MACHINE\\SYSTEM\\Setup]\r\n\r\n");
}

// A key `depth` levels deep below HKEY_LOCAL_MACHINE, every level named `name`.
std::string DeepKeyFile(size_t depth, const std::string& name = "k") {
  std::string path = "HKEY_LOCAL_MACHINE";
  for (size_t i = 0; i < depth; ++i) path += "\\" + name;
  return "Windows Registry Editor Version 5.00\r\n\r\n[" + path + "]\r\n\"v\"=\"x\"\r\n";
}

TEST(RegistryFile, RefusesKeysAndNamesBeyondWindowsLimits) {
  EXPECT_EQ(Parse(DeepKeyFile(512)).Find(Hive::LocalMachine, Path(512, u"k"))->values.size(), 1u);
  ParseError deep = ParseFailure(DeepKeyFile(513));
  EXPECT_EQ(deep.line, 3u);
  EXPECT_NE(deep.message.find("512"), std::string::npos) << deep.message;
  EXPECT_EQ(ParseFailure(DeepKeyFile(7500)).line, 3u);  // the shape of a file that once crashed the writer

  const std::string header = "Windows Registry Editor Version 5.00\r\n\r\n";
  Parse(header + "[HKEY_CURRENT_USER\\" + std::string(255, 'n') + "]\r\n");
  ParseError longName = ParseFailure(header + "[HKEY_CURRENT_USER\\a\\" + std::string(256, 'n') + "]\r\n");
  EXPECT_EQ(longName.line, 3u);
  EXPECT_NE(longName.message.find("255"), std::string::npos) << longName.message;

  Parse(header + "[HKEY_CURRENT_USER\\K]\r\n\"" + std::string(16383, 'v') + "\"=\"x\"\r\n");
  ParseError longValue =
      ParseFailure(header + "[HKEY_CURRENT_USER\\K]\r\n\"" + std::string(16384, 'v') + "\"=\"x\"\r\n");
  EXPECT_EQ(longValue.line, 4u);
  EXPECT_NE(longValue.message.find("16383"), std::string::npos) << longValue.message;
}

// Writing and freeing a tree walk it without recursion: depth costs no stack.
TEST(RegistryFile, VeryDeepTreesAreWrittenAndFreedWithoutRecursion) {
  auto tree = std::make_unique<Tree>();
  Key* key = &tree->Root(Hive::CurrentUser);
  constexpr size_t kDepth = 200000;
  for (size_t i = 0; i < kDepth; ++i) key = &key->CreateSubkey(u"d");
  key->SetValue(u"v", REG_DWORD, {1, 0, 0, 0});
  tree->Create(Hive::CurrentUser, {u"d", u"side"});
  std::string text = FormatRegFile(*tree, FileEncoding::Utf8, [](Hive, const Path&, const Key&) { return true; });
  // Empty keys are omitted: the hive line, the deep key with its value and nothing else.
  const std::string tail = "\"v\"=dword:00000001\r\n\r\n";
  EXPECT_EQ(text.rfind(tail), text.size() - tail.size());
  EXPECT_EQ(text.find("side"), std::string::npos);
  tree.reset();  // frees 200,000 levels
}

TEST(RegistryFile, WalkOrderIsDepthFirstWithSortedSubkeys) {
  Tree tree;
  tree.Create(Hive::CurrentUser, {u"b", u"x"}).SetValue(u"", REG_SZ, {0, 0});
  tree.Create(Hive::CurrentUser, {u"a"});
  tree.Create(Hive::LocalMachine, {u"S", u"T", u"U"});
  std::string text = FormatRegFile(tree, FileEncoding::Utf8, nullptr);
  EXPECT_EQ(text,
            "Windows Registry Editor Version 5.00\r\n\r\n"
            "[HKEY_CURRENT_USER\\a]\r\n\r\n"
            "[HKEY_CURRENT_USER\\b]\r\n\r\n"
            "[HKEY_CURRENT_USER\\b\\x]\r\n@=\"\"\r\n\r\n"
            "[HKEY_LOCAL_MACHINE\\S]\r\n\r\n"
            "[HKEY_LOCAL_MACHINE\\S\\T]\r\n\r\n"
            "[HKEY_LOCAL_MACHINE\\S\\T\\U]\r\n\r\n");
}

}  // namespace
}  // namespace hl::platform::reg
