// Malformed documents: each structural error loses only its own table.
#include <gtest/gtest.h>

#include "tessera/schema/dict_test_support.h"

namespace tessera {
namespace {

using test::Col;
using test::DictionaryTest;
using test::Table;

const std::string kColumn = Col("A", "<data-type>INTEGER</data-type>");
const std::string kFkStart = "<foreign-keys><foreign-key name=\"f\" reference-table-name=\"Before\"><fk-columns>";
const std::string kFkEnd = "</fk-columns></foreign-key></foreign-keys>";

TEST_F(DictionaryTest, EachStructuralErrorLosesOnlyItsTable) {
  struct Case {
    const char* what;
    std::string badTable;
    const char* errorLine;
  } cases[] = {
      {"pk column without text", Table("Bad", kColumn, "<primary-key><primary-key-column/></primary-key>"),
       "\nMissing primary-key-column end tag\n"},
      {"pk column holding an element",
       Table("Bad", kColumn, "<primary-key><primary-key-column>A<x/></primary-key-column></primary-key>"),
       "\nMissing primary-key-column end tag\n"},
      {"stray element in primary-key", Table("Bad", kColumn, "<primary-key><column>A</column></primary-key>"),
       "\nMissing primary-key-column end tag\n"},
      {"fk column without local column",
       Table("Bad", kColumn, kFkStart + "<fk-column><fk-reference-column>A</fk-reference-column></fk-column>" + kFkEnd),
       "\n Missing endof FK-LOCAL-COLUMN tag\n"},
      {"empty local column",
       Table("Bad", kColumn,
             kFkStart + "<fk-column><fk-local-column></fk-local-column><fk-reference-column>A</fk-reference-column>"
                        "</fk-column>" + kFkEnd),
       "\n Missing endof FK-LOCAL-COLUMN tag\n"},
      {"fk column without reference column",
       Table("Bad", kColumn, kFkStart + "<fk-column><fk-local-column>A</fk-local-column></fk-column>" + kFkEnd),
       "\nMissing endof FK-REFERENCE-COLUMN\n"},
      {"stray element in fk-columns", Table("Bad", kColumn, kFkStart + "<other/>" + kFkEnd), "\nMissing end FK-COLUMNS\n"},
      {"three columns in one pair",
       Table("Bad", kColumn,
             kFkStart + "<fk-column><fk-local-column>A</fk-local-column><fk-reference-column>A</fk-reference-column>"
                        "<fk-local-column>B</fk-local-column></fk-column>" + kFkEnd),
       "\nMissing end FK-COLUMNS\n"},
      {"fk-constraints holding an element",
       Table("Bad", kColumn,
             "<foreign-keys><foreign-key reference-table-name=\"Before\"><fk-constraints><x/></fk-constraints>"
             "</foreign-key></foreign-keys>"),
       "\nMissing endof FK-CONSTRAINTS tag\n"},
      {"value holding an element", Table("Bad", Col("A", "<allowed-values><value>a<b/></value></allowed-values>")),
       "\n No ending Value tag\n"},
      {"from without text", Table("Bad", Col("A", "<allowed-values><from/><to>2</to></allowed-values>")),
       "\nNo Ending FROM tag \n"},
      {"to holding an element", Table("Bad", Col("A", "<allowed-values><from>1</from><to><x/></to></allowed-values>")),
       "\nNo ending TO tag \n"},
      {"column description holding an element", Table("Bad", Col("A", "<description>a<b/></description>")),
       "\nDescription tag ambiguity \n"},
      {"table description holding an element",
       "<table name=\"Bad\"><description><b/></description><columns>" + kColumn + "</columns></table>\n",
       "\nDescription tag ambiguity \n"},
      {"unknown element in table", Table("Bad", kColumn, "<indexes/>"), "\nTABLE tag missing\n"},
      {"primary-key after foreign-keys",
       Table("Bad", kColumn, "<foreign-keys/><primary-key><primary-key-column>A</primary-key-column></primary-key>"),
       "\nTABLE tag missing\n"},
      {"data-type holding an element", Table("Bad", Col("A", "<data-type><b/></data-type>")), "\nTABLE tag missing\n"},
      {"from without to", Table("Bad", Col("A", "<allowed-values><from>1</from></allowed-values>")),
       "In the allowed values attribute, 'to' tag is missing.\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    FreeDataDictionary();
    hl::test::LogCapture log;
    LoadTables(Table("Before", kColumn) + c.badTable + Table("After", kColumn));
    EXPECT_NE(GetTableDefn("Before"), nullptr);
    EXPECT_NE(GetTableDefn("After"), nullptr);
    EXPECT_EQ(GetTableDefn("Bad"), nullptr);
    EXPECT_EQ(GetDataDictionary().count(), 2);
    EXPECT_EQ(log.Count("[ERROR]", c.errorLine), 1u) << log.Text();
    EXPECT_EQ(log.Text().find("failed to parse"), std::string::npos);
  }
}

TEST_F(DictionaryTest, UnreadableDocumentsAreLoggedAndSkipped) {
  hl::test::LogCapture log;
  // Not well-formed: the reader fails inside the second table; the first stays. (The reader
  // parses ahead by chunks, so the error is placed well behind the first table.)
  std::string padding = "<!--" + std::string(200000, '.') + "-->\n";
  std::string broken = WriteDocument("broken.xml", Table("First", kColumn) + padding +
                                                       "<table name=\"Second\"><columns><column name=\"A\"></columns>");
  EXPECT_TRUE(LoadDataDictFromXMLFile(broken.c_str()));
  EXPECT_NE(GetTableDefn("First"), nullptr);
  EXPECT_EQ(GetTableDefn("Second"), nullptr);
  EXPECT_TRUE(log.Has("[ERROR]", "\nxmlTextReaderRead returned error \n")) << log.Text();
  EXPECT_TRUE(log.Has("[ERROR]", broken + " : failed to parse\n"));

  std::string missing = dir_.str() + "/data/missing.xml";
  EXPECT_TRUE(LoadDataDictFromXMLFile(missing.c_str()));
  EXPECT_TRUE(log.Has("[ERROR]", "Unable to open " + missing + "\n"));
  EXPECT_FALSE(LoadDataDictFromXMLFile(nullptr));
  EXPECT_TRUE(log.Has("[TRACE]", "\nInside LoadDataDictFromXMLFile() \n\n"));
  EXPECT_TRUE(log.Has("[TRACE]", "\n Inside XmlDataParser\n"));
}

TEST_F(DictionaryTest, ReaderMessagesOfOneDocumentAreBounded) {
  hl::test::LogCapture log;
  // Undeclared namespace prefixes are errors the reader reports and reads past, one per element.
  std::string flood;
  for (int i = 0; i < 20000; ++i) flood += "<p:x/>";
  std::string path = WriteDocument("flood.xml", Table("First", kColumn) + flood);
  EXPECT_TRUE(LoadDataDictFromXMLFile(path.c_str()));
  EXPECT_NE(GetTableDefn("First"), nullptr);
  const std::string text = log.Text();
  size_t lines = 0;
  for (size_t at = text.find("[DEBUG] libxml2: "); at != std::string::npos; at = text.find("[DEBUG] libxml2: ", at + 1))
    ++lines;
  EXPECT_EQ(lines, 11u) << "ten messages and the closing count";
  EXPECT_NE(text.find("more messages about this document were not logged\n"), std::string::npos) << text;
  EXPECT_LT(text.size(), 20000u);
}

TEST_F(DictionaryTest, DocumentDescriptionIsSkippedOrStopsTheReading) {
  hl::test::LogCapture log;
  dir_.Write("data/described.xml", "<data-dictionary><description>About <!-- note --> these</description>" +
                                       Table("One", kColumn) + "</data-dictionary>");
  LoadDataDictFromXMLFile((dir_.str() + "/data/described.xml").c_str());
  EXPECT_NE(GetTableDefn("One"), nullptr);
  EXPECT_EQ(log.Text().find("No Description end tag"), std::string::npos);

  dir_.Write("data/odd.xml", "<data-dictionary>" + Table("Two", kColumn) + "<description>x<b/></description>" +
                                 Table("Three", kColumn) + "</data-dictionary>");
  LoadDataDictFromXMLFile((dir_.str() + "/data/odd.xml").c_str());
  EXPECT_NE(GetTableDefn("Two"), nullptr);
  EXPECT_EQ(GetTableDefn("Three"), nullptr) << "reading stops";
  EXPECT_TRUE(log.Has("[ERROR]", "\nNo Description end tag\n"));
}

}  // namespace
}  // namespace tessera
