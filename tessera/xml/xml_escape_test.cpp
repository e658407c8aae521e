#include "tessera/xml/xml_escape.h"

#include <gtest/gtest.h>

#include <string>

#include <libxml/parser.h>
#include <libxml/tree.h>

namespace tessera {
namespace {

std::string Escaped(std::string_view text) {
  std::string out = "x";
  EXPECT_TRUE(AppendAttributeText(out, text)) << text;
  return out.substr(1);
}

// What a parser reads back from an attribute written with the escaped text.
std::string ParsedBack(const std::string& text) {
  const std::string document = "<r a=\"" + Escaped(text) + "\"/>";
  xmlDoc* doc = xmlReadMemory(document.data(), static_cast<int>(document.size()), nullptr, "UTF-8", XML_PARSE_NOERROR);
  EXPECT_NE(doc, nullptr) << document;
  if (doc == nullptr) return {};
  xmlChar* value = xmlGetProp(xmlDocGetRootElement(doc), reinterpret_cast<const xmlChar*>("a"));
  std::string result(value ? reinterpret_cast<const char*>(value) : "");
  xmlFree(value);
  xmlFreeDoc(doc);
  return result;
}

TEST(XmlEscapeTest, ReservedCharactersBecomeReferences) {
  EXPECT_EQ(Escaped("a&b<c>d\"e'f"), "a&amp;b&lt;c&gt;d&quot;e'f");
  EXPECT_EQ(Escaped("tab\tline\nreturn\r"), "tab&#9;line&#10;return&#13;");
  EXPECT_EQ(Escaped("Grüße, Ελλάδα, 日本, 😀"), "Grüße, Ελλάδα, 日本, 😀");
}

TEST(XmlEscapeTest, AParserReadsBackTheOriginalText) {
  for (const std::string text : {"He said \"hi\" & left <now>", "a\tb\nc\r\nd", "  two  blanks  ", "Zürich:\"x\":y", ""})
    EXPECT_EQ(ParsedBack(text), text);
}

TEST(XmlEscapeTest, WhatXmlCannotCarryIsRefusedAndLeavesTheOutputAsItWas) {
  const std::string refused[] = {
      std::string("bell\x07"), std::string("nul\0x", 5), std::string("esc\x1b[0m"),
      "latin1 \xe9t\xe9",             // not UTF-8
      "\xc0\xaf",                     // overlong "/"
      "\xed\xa0\x80",                 // a surrogate
      "\xef\xbf\xbe",                 // U+FFFE
      "\xe2\x82",                     // cut short
  };
  for (const std::string& text : refused) {
    std::string out = "kept";
    EXPECT_FALSE(AppendAttributeText(out, text)) << text;
    EXPECT_EQ(out, "kept");
  }
}

TEST(XmlEscapeTest, PlainNames) {
  EXPECT_TRUE(IsPlainXmlName("PersonList"));
  EXPECT_TRUE(IsPlainXmlName("param_Value"));
  EXPECT_TRUE(IsPlainXmlName("_a-b.c9"));
  EXPECT_FALSE(IsPlainXmlName(""));
  EXPECT_FALSE(IsPlainXmlName("9lives"));
  EXPECT_FALSE(IsPlainXmlName("a b"));
  EXPECT_FALSE(IsPlainXmlName("../etc/x"));
  EXPECT_FALSE(IsPlainXmlName("a:b"));
}

}  // namespace
}  // namespace tessera
