// Documents that cannot be imported fail with the import's messages and change nothing that was
// there before (beyond the rows imported before a failing row).
#include <gtest/gtest.h>

#include <string>

#include "tessera/xml/xml_import.h"
#include "tessera/xml/xml_test_support.h"

namespace tessera {
namespace {

using test::DefineKeyedTable;
using test::Doc;
using test::Import;
using test::IntOf;
using test::RowCount;

constexpr const char* kParseFailed = "error: could not parse file file.xml\n";

class XmlMalformedTest : public test::XmlStoreTest {
 protected:
  void SetUp() override {
    XmlStoreTest::SetUp();
    DefineKeyedTable("Person", {{"ID", CRV_SQL_INT}, {"NAME", CRV_SQL_NCHAR}}, {"ID"});
    DefineKeyedTable("Address", {{"ADDR_ID", CRV_SQL_INT}, {"CITY", CRV_SQL_NCHAR}}, {"ADDR_ID"});
    ASSERT_TRUE(Import(Doc("<Person ID=\"1\"/><Person ID=\"2\"/><Address ADDR_ID=\"1\" CITY=\"Oslo\"/>")));
    log().Mark();
  }
  void ExpectEarlierTablesAsTheyWere(size_t persons = 2) {
    EXPECT_EQ(GetTableDataList().count(), 2);
    ASSERT_EQ(RowCount("Person"), persons);
    EXPECT_EQ(IntOf("Person", 1, "ID"), 2);
    EXPECT_EQ(RowCount("Address"), 1u);
  }
  hl::test::TempDir dir_;
};

TEST_F(XmlMalformedTest, AnUnclosedElementFailsToParse) {
  ::testing::internal::CaptureStderr();
  EXPECT_FALSE(Import("<Data><Person ID=\"3\"><Person ID=\"4\"/></Data>"));
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");  // libxml2's own account goes to the log
  EXPECT_TRUE(log().Has("[ERROR]", kParseFailed));
  EXPECT_NE(log().Text().find("[ERROR] libxml2: line 1: "), std::string::npos) << log().Text();
  ExpectEarlierTablesAsTheyWere();
}

TEST_F(XmlMalformedTest, AWronglyEncodedDocumentFailsToParse) {
  const std::string documents[] = {
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?><Data><Person ID=\"3\" NAME=\"caf\xe9\"/></Data>",
      "<?xml version=\"1.0\" encoding=\"no-such-charset\"?><Data><Person ID=\"3\"/></Data>",
  };
  for (const std::string& document : documents) {
    log().Mark();
    EXPECT_FALSE(Import(document)) << document;
    EXPECT_TRUE(log().Has("[ERROR]", kParseFailed)) << log().Text();
    ExpectEarlierTablesAsTheyWere();
  }
}

TEST_F(XmlMalformedTest, AnElementNamingNoTableEndsTheImportAfterTheRowsBeforeIt) {
  EXPECT_FALSE(Import(Doc("<Person ID=\"3\"/>\n<Stranger ID=\"9\"/>\n<Person ID=\"4\"/>\n<Address ADDR_ID=\"2\"/>\n")));
  EXPECT_TRUE(log().Has("[ERROR]", "No table can be found or created for the element Stranger\n"));
  EXPECT_TRUE(log().Has("[ERROR]", "Cannot create and add a new row while constructing tabledata from XML file.\n"));
  EXPECT_TRUE(log().Has("[ERROR]", "Cannot construct table data from XML buffer.\n"));
  EXPECT_FALSE(log().Has("[ERROR]", kParseFailed));
  ExpectEarlierTablesAsTheyWere(3);  // Person 3 came before the failure
  EXPECT_EQ(IntOf("Person", 2, "ID"), 3);
}

TEST_F(XmlMalformedTest, TheFileFormReportsTheSameFailures) {
  dir_.Write("broken.xml", "<Data><Person ID=\"3\"></Data>");
  dir_.Write("stranger.xml", Doc("<Stranger/>"));
  EXPECT_FALSE(LoadTableDataFromXMLFile((dir_.str() + "/broken.xml").c_str()));
  EXPECT_FALSE(LoadTableDataFromXMLFile((dir_.str() + "/missing.xml").c_str()));
  EXPECT_FALSE(LoadTableDataFromXMLFile(nullptr));
  EXPECT_EQ(log().Count("[ERROR]", kParseFailed), 3u);
  EXPECT_FALSE(LoadTableDataFromXMLFile((dir_.str() + "/stranger.xml").c_str()));
  EXPECT_TRUE(log().Has("[ERROR]", "Cannot construct table data from XML file.\n"));
  ExpectEarlierTablesAsTheyWere();
}

TEST_F(XmlMalformedTest, AnEmptyOrMissingBufferFailsToParse) {
  EXPECT_FALSE(LoadTableDataFromXMLBuffer(nullptr, 10));
  EXPECT_FALSE(LoadTableDataFromXMLBuffer("<Data/>", 0));
  EXPECT_FALSE(Import("   "));
  EXPECT_EQ(log().Count("[ERROR]", kParseFailed), 3u);
  ExpectEarlierTablesAsTheyWere();
}

TEST_F(XmlMalformedTest, ADocumentWithOnlyARootImportsNothing) {
  EXPECT_TRUE(Import("<Empty/>"));
  EXPECT_TRUE(Import(Doc("<!-- nothing -->")));
  ExpectEarlierTablesAsTheyWere();
}

// Occurrences of `part` in `text`.
size_t Count(const std::string& text, const std::string& part) {
  size_t n = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + part.size())) ++n;
  return n;
}

TEST_F(XmlMalformedTest, ParserErrorsOfOneDocumentAreBoundedInTheLog) {
  // The shape of a server answer that once wrote 17 MB of log: one row and 200,000 bare '&'.
  const std::string document = "<Data><Agentparams PARAM_NAME=\"x\"/>" + std::string(200000, '&') + "</Data>";
  EXPECT_FALSE(Import(document));
  const std::string text = log().Text();
  EXPECT_TRUE(log().Has("[ERROR]", kParseFailed));
  EXPECT_EQ(Count(text, "[ERROR] libxml2: line "), 10u);
  EXPECT_EQ(Count(text, "more messages about this document were not logged\n"), 1u) << text.substr(0, 2000);
  EXPECT_LT(text.size(), 16000u);
  // A later document starts its own count.
  log().Mark();
  EXPECT_FALSE(Import("<Data><Person ID=\"3\"></Data>"));
  EXPECT_NE(log().Text().find("[ERROR] libxml2: line 1: "), std::string::npos);
}

}  // namespace
}  // namespace tessera
