#include "tessera/xml/xml_export.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "tessera/values/value_convert.h"
#include "tessera/xml/value_text.h"
#include "tessera/xml/xml_test_support.h"

namespace tessera {
namespace {

using test::AddRow;
using test::DefineKeyedTable;
using test::Int;
using test::Text;

std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

constexpr const char* kDeclaration = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";

class XmlExportTest : public test::XmlStoreTest {
 protected:
  void SetUp() override {
    XmlStoreTest::SetUp();
    DefineKeyedTable("Person",
                     {{"ID", CRV_SQL_INT, std::nullopt, "PERSON_SEQ"}, {"NAME", CRV_SQL_NCHAR, "nobody"},
                      {"AGE", CRV_SQL_INT, "0"}},
                     {"ID"});
    DefineKeyedTable("Address", {{"ADDR_ID", CRV_SQL_INT}, {"PERSON_ID", CRV_SQL_INT}, {"CITY", CRV_SQL_NCHAR}},
                     {"ADDR_ID"}, {{"PERSON_ID", "Person", "ID"}});
    ASSERT_TRUE(CreateTable("Person"));
    ASSERT_TRUE(CreateTable("Address"));
  }
  std::string Dir() const { return dir_.str() + "/"; }
  hl::test::TempDir dir_;
};

TEST_F(XmlExportTest, TheBufferWriterLeavesOutDefaultsAndNulls) {
  auto row = test::MakeRow({Int(1), Text("nobody"), Int(30)});
  ASSERT_TRUE(AddNewRow("Person", row));
  row = test::MakeRow({Int(2), Text("bob"), Int(0)});
  ASSERT_TRUE(AddNewRow("Person", row));
  AddRow("Address", {Int(9), Value(), Text("Oslo")});
  const char* tables[] = {"Person", "Address", "NoSuchTable", nullptr};
  std::optional<std::string> text = ConvertDOtoXMLBuffer(tables, "PersonList");
  ASSERT_TRUE(text);
  EXPECT_EQ(*text, std::string(kDeclaration) +
                       "<PersonList>\n"
                       "<Person ID=\"1\" AGE=\"30\" />\n"
                       "<Person ID=\"2\" NAME=\"bob\" />\n"
                       "<Address ADDR_ID=\"9\" CITY=\"Oslo\" />\n"
                       "</PersonList>\n");
  EXPECT_TRUE(log().Has("[DEBUG]", "\n" + *text + "\n"));
}

TEST_F(XmlExportTest, TheFileWriterWritesEveryValueButNulls) {
  AddRow("Person", {Int(1), Text("nobody"), Value()});  // AGE gets its default 0
  AddRow("Address", {Int(9), Value(), Text("Oslo")});
  const char* tables[] = {"Person", "Address", nullptr};
  ASSERT_TRUE(ConvertDOtoXML(tables, "People", Dir().c_str()));
  EXPECT_EQ(ReadFile(dir_.path() / "People.xml"), std::string(kDeclaration) +
                                                     "<People>\n"
                                                     "<Person ID=\"1\" NAME=\"nobody\" AGE=\"0\" />\n"
                                                     "<Address ADDR_ID=\"9\" CITY=\"Oslo\" />\n"
                                                     "</People>\n");
  // Without a directory the file is named after the root alone (in the working directory).
  const std::filesystem::path here = std::filesystem::current_path();
  std::filesystem::current_path(dir_.path());
  EXPECT_TRUE(ConvertDOtoXML(tables, "Here", nullptr));
  std::filesystem::current_path(here);
  EXPECT_TRUE(std::filesystem::exists(dir_.path() / "Here.xml"));
}

TEST_F(XmlExportTest, TextsAreEscapedAndColonTextsAreWrittenAsTheyAre) {
  AddRow("Person", {Int(1), Text("Ann \"A&B\" <x>\tGrüße"), Int(3)});
  AddRow("Person", {Int(2), Text("https://host:8443/path"), Int(3)});
  AddRow("Person", {Int(3), Text("a:b:c"), Int(3)});
  AddRow("Person", {Int(4), Text("key:value"), Int(3)});
  const char* tables[] = {"Person", nullptr};
  std::optional<std::string> text = ConvertDOtoXMLBuffer(tables, "P");
  ASSERT_TRUE(text);
  EXPECT_NE(text->find("NAME=\"Ann &quot;A&amp;B&quot; &lt;x&gt;&#9;Grüße\" "), std::string::npos) << *text;
  EXPECT_NE(text->find("NAME=\"https://host:8443/path\" "), std::string::npos) << *text;
  EXPECT_NE(text->find("NAME=\"a:b:c\" "), std::string::npos) << *text;
  EXPECT_NE(text->find("NAME=\"key:value\" "), std::string::npos) << *text;
  // The import reads texts with fewer than two ":" back as they were; one with two or more is a
  // reference token to it, and a text column takes the part after the second ":".
  Reset();
  SetUp();
  ASSERT_TRUE(test::Import(*text)) << log().Text();
  EXPECT_EQ(test::TextOf("Person", 0, "NAME"), "Ann \"A&B\" <x>\tGrüße");
  EXPECT_EQ(test::TextOf("Person", 1, "NAME"), "8443/path");
  EXPECT_EQ(test::TextOf("Person", 2, "NAME"), "c");
  EXPECT_EQ(test::TextOf("Person", 3, "NAME"), "key:value");
}

TEST_F(XmlExportTest, AValueXmlCannotCarryFailsTheExportAndWritesNothing) {
  AddRow("Person", {Int(1), Text("bell\x07"), Int(3)});
  const char* tables[] = {"Person", nullptr};
  EXPECT_FALSE(ConvertDOtoXML(tables, "People", Dir().c_str()));
  EXPECT_FALSE(std::filesystem::exists(dir_.path() / "People.xml"));
  EXPECT_FALSE(ConvertDOtoXMLBuffer(tables, "People"));
  EXPECT_TRUE(log().Has("[ERROR]", "Cannot write Person.NAME as XML: the value holds a character XML cannot carry\n"));
}

TEST_F(XmlExportTest, AnUnopenableFileIsReported) {
  AddRow("Person", {Int(1), Text("ann"), Int(3)});
  const std::string missing = Dir() + "missing/";
  EXPECT_FALSE(ConvertTablesToXML("Everything", missing.c_str(), 0));
  EXPECT_TRUE(log().Has("[ERROR]", "Error in opening " + missing + "Everything.xml\n"));
  EXPECT_FALSE(std::filesystem::exists(missing));
}

TEST_F(XmlExportTest, ARootNameThatIsNoPlainXmlNameIsRefused) {
  const char* tables[] = {"Person", nullptr};
  EXPECT_FALSE(ConvertDOtoXML(tables, "../escape", Dir().c_str()));
  EXPECT_FALSE(ConvertDOtoXMLBuffer(tables, nullptr));
  EXPECT_FALSE(ConvertTablesToXML("a b", Dir().c_str(), 0));
  EXPECT_TRUE(std::filesystem::is_empty(dir_.path()));
}

TEST_F(XmlExportTest, RowsFlaggedDeletedAreWrittenUntilTheDeletionIsSaved) {
  AddRow("Person", {Int(1), Text("kept"), Int(3)}, ROW_STATE_PERSISTED);
  RowObject* flagged = AddRow("Person", {Int(2), Text("flagged"), Int(3)}, ROW_STATE_PERSISTED);
  ASSERT_TRUE(DeleteRowObject("Person", flagged));
  ASSERT_EQ(flagged->state, ROW_STATE_PERSISTED | ROW_STATE_DELETED);
  RowObject* fresh = AddRow("Person", {Int(3), Text("fresh"), Int(3)});
  ASSERT_TRUE(DeleteRowObject("Person", fresh));  // a new row is removed at once
  const char* tables[] = {"Person", nullptr};
  std::optional<std::string> text = ConvertDOtoXMLBuffer(tables, "P");
  ASSERT_TRUE(text);
  EXPECT_NE(text->find("kept"), std::string::npos);
  EXPECT_NE(text->find("NAME=\"flagged\""), std::string::npos) << *text;
  EXPECT_EQ(text->find("fresh"), std::string::npos);
  ASSERT_TRUE(ConvertTablesToXML("All", Dir().c_str(), 0));
  EXPECT_NE(ReadFile(dir_.path() / "All.xml").find("NAME=\"flagged\""), std::string::npos);
}

TEST_F(XmlExportTest, ReferenceModeWritesGeneratedAndForeignKeyColumnsAsTokens) {
  DefineKeyedTable("Tag", {{"TAG_NAME", CRV_SQL_NCHAR, std::nullopt, "TAG_SEQ"}, {"SEEN", CRV_SQL_DATE}}, {"TAG_NAME"});
  DefineKeyedTable("Tagged",
                   {{"TAG_NAME", CRV_SQL_NCHAR}, {"SEEN", CRV_SQL_DATE}, {"FLAG", CRV_SQL_BOOLEAN}},
                   {"TAG_NAME"}, {{"TAG_NAME", "Tag", "TAG_NAME"}, {"SEEN", "Tag", "SEEN"}, {"FLAG", "Tag", "FLAG"}});
  ASSERT_TRUE(CreateTable("Tag"));
  ASSERT_TRUE(CreateTable("Tagged"));
  AddRow("Person", {Int(1), Text("ann"), Int(3)});
  AddRow("Address", {Int(9), Int(1), Text("Oslo")});
  BYTE yes = 1;
  AddRow("Tag", {Text("red"), Value::FromDate(CrvDate{2024, 5, 6})});
  AddRow("Tagged", {Text("red"), Value::FromDate(CrvDate{2024, 5, 6}), Value::FromBytes(&yes, 1)});
  ASSERT_TRUE(ConvertTablesToXML("Everything", Dir().c_str(), 1));
  EXPECT_EQ(ReadFile(dir_.path() / "Everything.xml"),
            std::string(kDeclaration) +
                "<Everything>\n"
                "<Person ID=\"Person:ID:1\" NAME=\"ann\" AGE=\"3\" />\n"
                "<Address ADDR_ID=\"9\" PERSON_ID=\"Person:ID:1\" CITY=\"Oslo\" />\n"
                "<Tag TAG_NAME=\"Tag:TAG_NAME:&quot;red&quot;\" SEEN=\"2024-05-06\" />\n"
                "<Tagged TAG_NAME=\"Tag:TAG_NAME:red\" SEEN=\"2024-05-06\" FLAG=\"true\" />\n"
                "</Everything>\n");
  // Plain mode writes the same rows without tokens.
  ASSERT_TRUE(ConvertTablesToXML("Plain", Dir().c_str(), 0));
  EXPECT_NE(ReadFile(dir_.path() / "Plain.xml").find("<Address ADDR_ID=\"9\" PERSON_ID=\"1\" CITY=\"Oslo\" />"),
            std::string::npos);
}

TEST_F(XmlExportTest, ATableWithoutColumnsOrRowsWritesNoElements) {
  DefineKeyedTable("Hollow", {}, {});
  ASSERT_TRUE(CreateTable("Hollow"));
  const char* tables[] = {"Hollow", "Person", nullptr};
  std::optional<std::string> text = ConvertDOtoXMLBuffer(tables, "R");
  ASSERT_TRUE(text);
  EXPECT_EQ(*text, std::string(kDeclaration) + "<R>\n</R>\n");
}

TEST(XmlValueTextTest, EachTypeHasItsForm) {
  int32_t length = 0;
  const auto fromText = [&length](const char* text, BYTE code) {
    length = static_cast<int32_t>(std::strlen(text));
    return ConvertStringToValue(text, length, code);  // the width-exact form of defaults
  };
  BYTE one = 1, zero = 0;
  struct Case {
    BYTE code;
    Value value;
    std::optional<std::string> text;
  } cases[] = {
      {1, fromText("-5", 1), "-5"},
      {2, fromText("200", 2), "200"},
      {3, Value::FromNumber<int32_t>(-300), "-300"},
      {4, fromText("65535", 4), "65535"},
      {5, Value::FromNumber<int32_t>(-7), "-7"},
      {6, Value::FromNumber<uint32_t>(3000000000u), "3000000000"},
      {7, Value::FromNumber<int64_t>(-6000000000LL), "-6000000000"},
      {8, Value::FromNumber<int32_t>(42), "42"},  // the short form of older imports
      {9, Value::FromNumber<float>(2.5f), "2.500000"},
      {10, Value::FromNumber<double>(512.125), "512.125000"},
      {11, Value::FromNumber<double>(0.25), "0.250000"},
      {12, Value::FromText("7.8"), "7.8"},
      {14, Value::FromText("abc"), "abc"},
      {16, fromText("2024-01-02", 16), "2024-01-02"},
      {16, Value::FromDate(CrvDate{2024, 1, 2}), "2024-01-02"},
      {17, fromText("02:00:00", 17), "02:00:00"},
      {17, Value::FromTime(CrvTime{7, 5, 0}), "07:05:00"},
      {18, fromText("2024-01-02 03:04:05", 18), "2024-01-02 03:04:05"},
      {18, Value::FromDate(CrvDate{2024, 1, 2}), "2024-01-02"},
      {19, Value::FromBytes(&one, 1), "true"},
      {19, Value::FromBytes(&zero, 1), "false"},
      {0, Value::FromText("x"), std::nullopt},
      {14, Value(), std::nullopt},
  };
  for (const Case& c : cases) EXPECT_EQ(ColumnValueText(c.code, c.value), c.text) << int(c.code);
}

}  // namespace
}  // namespace tessera
