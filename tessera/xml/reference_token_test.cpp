#include "tessera/xml/reference_token.h"

#include <gtest/gtest.h>

#include <string>

#include "tessera/xml/xml_test_support.h"

namespace tessera {
namespace {

using test::DefineKeyedTable;
using test::Doc;
using test::Import;
using test::IntOf;
using test::RowCount;
using test::TextOf;
using test::ValueOf;

TEST(ReferenceTokenSplitTest, TwoColonsMakeAToken) {
  EXPECT_FALSE(IsReferenceToken("plain"));
  EXPECT_FALSE(IsReferenceToken("10:30"));
  EXPECT_TRUE(IsReferenceToken("10:30:00"));
  ReferenceToken token;
  ASSERT_TRUE(SplitReferenceToken("Person:NAME:x:y", token));
  EXPECT_EQ(token.table, "Person");
  EXPECT_EQ(token.column, "NAME");
  EXPECT_EQ(token.key, "x:y");
  EXPECT_FALSE(SplitReferenceToken("a:b", token));
}

class XmlTokenTest : public test::XmlStoreTest {
 protected:
  void SetUp() override {
    XmlStoreTest::SetUp();
    DefineKeyedTable("Person",
                     {{"ID", CRV_SQL_INT, std::nullopt, "PERSON_SEQ"}, {"NAME", CRV_SQL_NCHAR},
                      {"BORN", CRV_SQL_DATETIME}, {"SINCE", CRV_SQL_TIME}},
                     {"ID"});
    DefineKeyedTable("Address", {{"ADDR_ID", CRV_SQL_INT}, {"PERSON_ID", CRV_SQL_INT}, {"CITY", CRV_SQL_NCHAR}},
                     {"ADDR_ID"}, {{"PERSON_ID", "Person", "ID"}});
    DefineKeyedTable("Visit", {{"VISIT_ID", CRV_SQL_INT}, {"ADDR_ID", CRV_SQL_INT}}, {"VISIT_ID"},
                     {{"ADDR_ID", "Address", "ADDR_ID"}});
  }
};

TEST_F(XmlTokenTest, TwoEqualTokensGiveOneGeneratedIdentifier) {
  StartSequences({"PERSON_SEQ"});
  ASSERT_TRUE(Import(Doc("<Person ID=\"Person:ID:ann\" NAME=\"ann\"/>\n<Person ID=\"Person:ID:bob\" NAME=\"bob\"/>\n"
                         "<Address ADDR_ID=\"1\" PERSON_ID=\"Person:ID:bob\"/>\n"
                         "<Address ADDR_ID=\"2\" PERSON_ID=\"Person:ID:ann\"/>\n")))
      << log().Text();
  EXPECT_EQ(IntOf("Person", 0, "ID"), 1);
  EXPECT_EQ(IntOf("Person", 1, "ID"), 2);
  EXPECT_EQ(IntOf("Address", 0, "PERSON_ID"), 2);
  EXPECT_EQ(IntOf("Address", 1, "PERSON_ID"), 1);
  EXPECT_EQ(ValueOf("Address", 0, "PERSON_ID").length(), 4);
}

TEST_F(XmlTokenTest, ATokenWithoutAGeneratorAnywhereAlongItsChainGivesItsKey) {
  StartSequences({"PERSON_SEQ"});  // Visit -> Address -> (no generator, no further key)
  ASSERT_TRUE(Import(Doc("<Visit VISIT_ID=\"Visit:VISIT_ID:41\" ADDR_ID=\"Visit:ADDR_ID:17\"/>\n")));
  EXPECT_EQ(IntOf("Visit", 0, "VISIT_ID"), 41);
  EXPECT_EQ(IntOf("Visit", 0, "ADDR_ID"), 17);
}

TEST_F(XmlTokenTest, TheChaseFollowsForeignKeysToASequenceAndMapsEveryHop) {
  StartSequences({"PERSON_SEQ"});
  // Address.PERSON_ID has no generator; its foreign key leads to Person.ID, which has one.
  ASSERT_TRUE(Import(Doc("<Address ADDR_ID=\"1\" PERSON_ID=\"Address:PERSON_ID:p\"/>\n"
                         "<Person ID=\"Person:ID:p\" NAME=\"pat\"/>\n"
                         "<Address ADDR_ID=\"2\" PERSON_ID=\"Person:ID:p\"/>\n")));
  EXPECT_EQ(IntOf("Address", 0, "PERSON_ID"), 1);
  EXPECT_EQ(IntOf("Person", 0, "ID"), 1);  // the hop Person:ID:p was mapped by the chase
  EXPECT_EQ(IntOf("Address", 1, "PERSON_ID"), 1);
}

TEST_F(XmlTokenTest, WithoutASequenceAGeneratedColumnFallsBackToTheKey) {
  ASSERT_TRUE(Import(Doc("<Person ID=\"Person:ID:12\"/><Address ADDR_ID=\"1\" PERSON_ID=\"Person:ID:12\"/>")));
  EXPECT_EQ(IntOf("Person", 0, "ID"), 12);
  EXPECT_EQ(IntOf("Address", 0, "PERSON_ID"), 12);
}

TEST_F(XmlTokenTest, ATextColumnTakesTheKeyWithItsColons) {
  ASSERT_TRUE(Import(Doc("<Person ID=\"1\" NAME=\"Person:NAME:x:y\"/>")));
  EXPECT_EQ(TextOf("Person", 0, "NAME"), "x:y");
}

TEST_F(XmlTokenTest, DateAndTimeColumnsConvertTheWholeText) {
  ASSERT_TRUE(Import(Doc("<Person ID=\"1\" BORN=\"1990-04-01 12:30:15\" SINCE=\"08:15:00\"/>")));
  const Value& born = ValueOf("Person", 0, "BORN");
  ASSERT_NE(born.dateTime(), nullptr);
  EXPECT_EQ(*born.dateTime()->time, (CrvTime{12, 30, 15}));
  ASSERT_NE(ValueOf("Person", 0, "SINCE").time(), nullptr);
  EXPECT_EQ(*ValueOf("Person", 0, "SINCE").time(), (CrvTime{8, 15, 0}));
}

TEST_F(XmlTokenTest, ATokenNamingNoKnownColumnLeavesTheColumnEmpty) {
  ASSERT_TRUE(Import(Doc("<Address ADDR_ID=\"1\" PERSON_ID=\"Nowhere:ID:3\"/><Address ADDR_ID=\"2\" PERSON_ID=\"::3\"/>")));
  EXPECT_TRUE(ValueOf("Address", 0, "PERSON_ID").IsNull());
  EXPECT_TRUE(ValueOf("Address", 1, "PERSON_ID").IsNull());
  EXPECT_EQ(log().Count("[ERROR]", "Unable to get Column details for AutoID generation \n"), 2u);
  EXPECT_EQ(RowCount("Address"), 2u);
}

TEST_F(XmlTokenTest, ANestedRowTakesTheIdentifierOfItsParentsToken) {
  StartSequences({"PERSON_SEQ"});
  ASSERT_TRUE(Import(Doc("<Person ID=\"Person:ID:a\"/>\n<Person ID=\"Person:ID:b\">\n"
                         "  <Address ADDR_ID=\"5\" CITY=\"Oslo\"/>\n</Person>\n")));
  EXPECT_EQ(IntOf("Person", 1, "ID"), 2);
  EXPECT_EQ(IntOf("Address", 0, "PERSON_ID"), 2);
}

TEST_F(XmlTokenTest, TheNextStatementZeroOfAWorkflowStaysZero) {
  DefineKeyedTable("Workflow_Statements",
                   {{"STATEMENT_ID", CRV_SQL_INT, std::nullopt, "STMT_SEQ"}, {"NEXT_STATEMENT_ID", CRV_SQL_INT}},
                   {"STATEMENT_ID"}, {{"NEXT_STATEMENT_ID", "Workflow_Statements", "STATEMENT_ID"}});
  StartSequences({"STMT_SEQ"});
  ASSERT_TRUE(Import(Doc("<Workflow_Statements STATEMENT_ID=\"Workflow_Statements:STATEMENT_ID:last\" "
                         "NEXT_STATEMENT_ID=\"Workflow_Statements:STATEMENT_ID:0\"/>\n"
                         "<Workflow_Statements STATEMENT_ID=\"Workflow_Statements:STATEMENT_ID:first\" "
                         "NEXT_STATEMENT_ID=\"Workflow_Statements:STATEMENT_ID:last\"/>\n")));
  EXPECT_EQ(IntOf("Workflow_Statements", 0, "STATEMENT_ID"), 1);
  EXPECT_EQ(IntOf("Workflow_Statements", 0, "NEXT_STATEMENT_ID"), 0);
  EXPECT_EQ(IntOf("Workflow_Statements", 1, "STATEMENT_ID"), 2);
  EXPECT_EQ(IntOf("Workflow_Statements", 1, "NEXT_STATEMENT_ID"), 1);
}

TEST_F(XmlTokenTest, TheMapKeepsTheTokenAndTheAliasOfEachColumnThatUsedIt) {
  AutoIdMap map(kAutoIdMapBuckets);
  const TableDefn* address = GetTableDefn("Address");
  ASSERT_NE(address, nullptr);
  const ColumnDefn* personId = address->FindColumn("PERSON_ID");
  Value value;
  ASSERT_EQ(ConvertReferenceToken(map, "Address", *personId, "Person:ID:77", value), 1);
  EXPECT_EQ(value.ReadSigned(4), 77);
  ASSERT_NE(map.Get("Person:ID:77"), nullptr);
  ASSERT_NE(map.Get("Address:PERSON_ID:77"), nullptr);
  EXPECT_EQ(*map.Get("Address:PERSON_ID:77"), 77);
}

}  // namespace
}  // namespace tessera
