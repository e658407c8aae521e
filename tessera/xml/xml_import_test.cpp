#include "tessera/xml/xml_import.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "tessera/table/result_data.h"
#include "tessera/table/select_rows.h"
#include "tessera/xml/xml_test_support.h"

namespace tessera {
namespace {

using test::ColumnSketch;
using test::DefineKeyedTable;
using test::Doc;
using test::Import;
using test::IntOf;
using test::RowCount;
using test::TextOf;
using test::ValueOf;

class XmlImportTest : public test::XmlStoreTest {
 protected:
  void SetUp() override {
    XmlStoreTest::SetUp();
    DefineKeyedTable("Person",
                     {{"ID", CRV_SQL_INT, std::nullopt, "PERSON_SEQ"}, {"NAME", CRV_SQL_NCHAR, "nobody"},
                      {"AGE", CRV_SQL_INT}},
                     {"ID"});
    DefineKeyedTable("Address",
                     {{"ADDR_ID", CRV_SQL_INT, std::nullopt, "ADDR_SEQ"}, {"PERSON_ID", CRV_SQL_INT},
                      {"CITY", CRV_SQL_NCHAR}},
                     {"ADDR_ID"}, {{"PERSON_ID", "Person", "ID"}});
    DefineKeyedTable("Orders", {{"ORDER_ID", CRV_SQL_INT}, {"PERSON_ID", CRV_SQL_INT}}, {"ORDER_ID"},
                     {{"PERSON_ID", "Person", "ID"}});
    DefineKeyedTable("OrderLine", {{"LINE_ID", CRV_SQL_INT}, {"ORDER_ID", CRV_SQL_INT}, {"PERSON_ID", CRV_SQL_INT}},
                     {"LINE_ID"}, {{"ORDER_ID", "Orders", "ORDER_ID"}, {"PERSON_ID", "Orders", "PERSON_ID"}});
    DefineKeyedTable("Note", {{"ID", CRV_SQL_INT}, {"BODY", CRV_SQL_TEXT}}, {"ID"});
  }
};

TEST_F(XmlImportTest, AWrapperListElementIsSkippedAndItsChildrenAreRows) {
  ASSERT_TRUE(Import(Doc("<PersonList>\n  <Person ID=\"1\" NAME=\"ann\"/>\n  <Person ID=\"2\" NAME=\"bob\" AGE=\"41\"/>\n"
                         "</PersonList>\n")))
      << log().Text();
  ASSERT_EQ(RowCount("Person"), 2u);
  EXPECT_EQ(TextOf("Person", 0, "NAME"), "ann");
  EXPECT_EQ(IntOf("Person", 1, "ID"), 2);
  EXPECT_EQ(IntOf("Person", 1, "AGE"), 41);
  EXPECT_EQ(GetTableDataByName("PersonList"), nullptr);
  EXPECT_EQ(log().Text().find("[ERROR]"), std::string::npos) << log().Text();
}

TEST_F(XmlImportTest, AChildRowTakesTheKeyOfTheParentElement) {
  ASSERT_TRUE(Import(Doc("<Person ID=\"7\" NAME=\"ann\">\n  <Address ADDR_ID=\"1\" CITY=\"Oslo\"/>\n"
                         "  <Address ADDR_ID=\"2\" CITY=\"Bergen\" PERSON_ID=\"8\"/>\n</Person>\n")));
  EXPECT_EQ(IntOf("Address", 0, "PERSON_ID"), 7);
  EXPECT_EQ(IntOf("Address", 1, "PERSON_ID"), 8);  // an attribute of the row itself wins
  EXPECT_TRUE(log().Has("[TRACE]", "Column Name : PERSON_ID\n"));
  EXPECT_TRUE(log().Has("[TRACE]", "Ref Column  : ID\n"));
  EXPECT_TRUE(log().Has("[TRACE]", "Tablename : Person\n"));
}

TEST_F(XmlImportTest, AGrandchildTakesAKeyThroughItsParentsOwnForeignKey) {
  // OrderLine.PERSON_ID refers to Orders.PERSON_ID, which the Orders element does not carry;
  // Orders' own foreign key resolves it from the Person element above.
  ASSERT_TRUE(Import(Doc("<Person ID=\"5\">\n <Orders ORDER_ID=\"10\">\n  <OrderLine LINE_ID=\"1\"/>\n </Orders>\n"
                         "</Person>\n")));
  EXPECT_EQ(IntOf("Orders", 0, "PERSON_ID"), 5);
  EXPECT_EQ(IntOf("OrderLine", 0, "ORDER_ID"), 10);
  EXPECT_EQ(IntOf("OrderLine", 0, "PERSON_ID"), 5);
}

TEST_F(XmlImportTest, AForeignKeyIsFoundDownwardAlongTheChainOfFirstChildElements) {
  const char* shapes[] = {
      "<Address ADDR_ID=\"1\" CITY=\"Oslo\">\n  <Person ID=\"9\"/>\n</Address>\n",          // indented
      "<Address ADDR_ID=\"1\" CITY=\"Oslo\"><Person ID=\"9\"/></Address>\n",                // compact
      "<Address ADDR_ID=\"1\"><PersonList><Person ID=\"9\"/></PersonList></Address>\n",  // deeper
  };
  for (const char* rows : shapes) {
    Reset();
    SetUp();
    ASSERT_TRUE(Import(Doc(rows))) << rows;
    EXPECT_EQ(IntOf("Address", 0, "PERSON_ID"), 9) << rows;
    EXPECT_EQ(RowCount("Person"), 1u);
  }
}

TEST_F(XmlImportTest, TheDownwardSearchFollowsOnlyTheFirstChildElement) {
  ASSERT_TRUE(Import(Doc("<Address ADDR_ID=\"1\"><Note ID=\"1\"/><Person ID=\"9\"/></Address>\n")));
  EXPECT_TRUE(ValueOf("Address", 0, "PERSON_ID").IsNull());
}

TEST_F(XmlImportTest, APrimaryKeyThatIsNoForeignKeyComesFromAnAncestorAttribute) {
  ASSERT_TRUE(Import(Doc("<Person ID=\"3\" NAME=\"ann\"><Note BODY=\"hello\"/></Person>\n")));
  EXPECT_EQ(IntOf("Note", 0, "ID"), 3);
  EXPECT_EQ(TextOf("Note", 0, "BODY"), "hello");
}

TEST_F(XmlImportTest, MissingColumnsGetTheirDefaultsOrGenerators) {
  StartSequences({"PERSON_SEQ"});
  ASSERT_TRUE(Import(Doc("<Person AGE=\"30\"/><Person ID=\"50\" NAME=\"\"/>\n")));
  EXPECT_EQ(IntOf("Person", 0, "ID"), 1);
  EXPECT_EQ(TextOf("Person", 0, "NAME"), "nobody");
  EXPECT_EQ(IntOf("Person", 1, "ID"), 50);
  EXPECT_FALSE(ValueOf("Person", 1, "NAME").IsNull());  // an empty attribute is an empty text
  EXPECT_EQ(TextOf("Person", 1, "NAME"), "");
  EXPECT_TRUE(ValueOf("Person", 1, "AGE").IsNull());
}

TEST_F(XmlImportTest, TagsAndAttributeNamesMatchWithoutRegardToCase) {
  ASSERT_TRUE(Import(Doc("<person id=\"4\" name=\"dora\"/><PERSON Id=\"5\"/>\n")));
  ASSERT_EQ(RowCount("Person"), 2u);
  EXPECT_EQ(GetTableDataByName("Person")->name, "Person");  // created under the definition's name
  EXPECT_EQ(TextOf("Person", 0, "NAME"), "dora");
  EXPECT_EQ(IntOf("Person", 1, "ID"), 5);
}

TEST_F(XmlImportTest, RowsAreAddedToATableThatIsAlreadyLoaded) {
  ASSERT_TRUE(CreateTable("Person"));
  test::AddRow("Person", {test::Int(1), test::Text("first"), Value()});
  ASSERT_TRUE(Import(Doc("<Person ID=\"2\"/>")));
  ASSERT_EQ(RowCount("Person"), 2u);
  EXPECT_EQ(TextOf("Person", 0, "NAME"), "first");
  EXPECT_EQ(GetTableDataList().count(), 1);
}

TEST_F(XmlImportTest, CyclicForeignKeysEndTheSearch) {
  DefineKeyedTable("Ping", {{"PING_ID", CRV_SQL_INT}, {"PONG_ID", CRV_SQL_INT}}, {"PING_ID"},
                   {{"PONG_ID", "Pong", "PONG_ID"}});
  DefineKeyedTable("Pong", {{"PONG_ID", CRV_SQL_INT}, {"PING_ID", CRV_SQL_INT}}, {"PONG_ID"},
                   {{"PING_ID", "Ping", "PING_ID"}});
  ASSERT_TRUE(Import(Doc("<Pong><Ping><Pong/></Ping></Pong>")));
  EXPECT_EQ(RowCount("Ping"), 1u);
  EXPECT_EQ(RowCount("Pong"), 2u);
  EXPECT_TRUE(ValueOf("Ping", 0, "PONG_ID").IsNull());
}

TEST_F(XmlImportTest, DeeplyNestedRowsOfASelfReferencingTableStayTractable) {
  DefineKeyedTable("Folder", {{"FOLDER_ID", CRV_SQL_INT}, {"PARENT_ID", CRV_SQL_INT}}, {"FOLDER_ID"},
                   {{"PARENT_ID", "Folder", "FOLDER_ID"}});
  std::string rows, ends;
  for (int depth = 0; depth < 60; ++depth) {
    rows += "<Folder>";
    ends += "</Folder>";
  }
  ASSERT_TRUE(Import(Doc(rows + ends)));
  EXPECT_EQ(RowCount("Folder"), 60u);
  EXPECT_TRUE(log().Has("[ERROR]", "The search for the keys of element Folder stopped after 64 related elements\n"));
  // With the keys present, each folder takes its parent's.
  Reset();
  SetUp();
  DefineKeyedTable("Folder", {{"FOLDER_ID", CRV_SQL_INT}, {"PARENT_ID", CRV_SQL_INT}}, {"FOLDER_ID"},
                   {{"PARENT_ID", "Folder", "FOLDER_ID"}});
  ASSERT_TRUE(Import(Doc("<Folder FOLDER_ID=\"1\"><Folder FOLDER_ID=\"2\"><Folder FOLDER_ID=\"3\"/></Folder></Folder>")));
  EXPECT_EQ(IntOf("Folder", 0, "PARENT_ID"), 2);  // no ancestor: the downward search finds the folder below
  EXPECT_EQ(IntOf("Folder", 1, "PARENT_ID"), 1);
  EXPECT_EQ(IntOf("Folder", 2, "PARENT_ID"), 2);
}

TEST_F(XmlImportTest, AFailedRowLeavesNoTableCreatedForIt) {
  DefineKeyedTable("Hollow", {}, {});  // a definition without columns: AddNewRow refuses its rows
  ASSERT_TRUE(Import(Doc("<Person ID=\"1\"/>")));
  EXPECT_FALSE(Import(Doc("<Person ID=\"2\"/><Hollow/><Person ID=\"3\"/>")));
  EXPECT_EQ(GetTableDataByName("Hollow"), nullptr);
  ASSERT_EQ(RowCount("Person"), 2u);  // the rows imported before the failure stay
  EXPECT_EQ(IntOf("Person", 1, "ID"), 2);
  EXPECT_TRUE(log().Has("[ERROR]", "Cannot create and add a new row while constructing tabledata from XML file.\n"));
  EXPECT_TRUE(log().Has("[ERROR]", "Cannot construct table data from XML buffer.\n"));
}

TEST_F(XmlImportTest, TheNodeFormImportsTheChildrenOfAnyNodeAndHandsOverTheTokenMap) {
  const std::string text = Doc("<Group><Person ID=\"Person:ID:12\"/></Group><Person ID=\"99\"/>");
  xmlDoc* doc = xmlParseMemory(text.data(), static_cast<int>(text.size()));
  ASSERT_NE(doc, nullptr);
  xmlNode* group = xmlDocGetRootElement(doc)->children;
  while (group && group->type != XML_ELEMENT_NODE) group = group->next;
  std::unique_ptr<AutoIdMap> map = LoadTableDataFromXMLNode(doc, group);
  ASSERT_NE(map, nullptr);
  EXPECT_NE(map->Get("Person:ID:12"), nullptr);
  ASSERT_EQ(RowCount("Person"), 1u);  // only the rows below the node
  EXPECT_EQ(IntOf("Person", 0, "ID"), 12);
  EXPECT_EQ(LoadTableDataFromXMLNode(doc, nullptr), nullptr);
  EXPECT_TRUE(log().Has("[ERROR]", "Cannot construct table data from buffer node.\n"));
  xmlFreeDoc(doc);
}

TEST_F(XmlImportTest, TheServersParameterDocumentIsReadTheWayTheAgentReadsIt) {
  test::LoadExampleDictionary();
  ASSERT_TRUE(LoadTableDataFromXMLFile(test::ExampleDataPath("agentparams_resource_id.xml").c_str()))
      << log().Text();
  std::unique_ptr<ResultData> result = SelectRows("Agentparams", "PARAM_NAME='RESOURCE_ID'");
  ASSERT_NE(result, nullptr);
  ASSERT_NE(GotoNextRowObject(result.get()), nullptr);
  int32_t length = 0;
  const Value* value = GetColumnValueByName("param_Value", &length, result.get());
  ASSERT_NE(value, nullptr);
  EXPECT_STREQ(value->c_str(), "4f1c9b2e-7a3d-4c55-9e0b-2d6f8a1c3e47");
  EXPECT_EQ(length, 36);
  EXPECT_EQ(GotoNextRowObject(result.get()), nullptr);
  EXPECT_EQ(RowCount("Agentparams"), 2u);
}

TEST_F(XmlImportTest, TheExampleInventoryDocumentRelatesItsRows) {
  test::LoadExampleDictionary();
  ASSERT_TRUE(LoadTableDataFromXMLFile(test::ExampleDataPath("inventory_with_deployments.xml").c_str()))
      << log().Text();
  EXPECT_EQ(log().Text().find("[ERROR]"), std::string::npos) << log().Text();
  ASSERT_EQ(RowCount("NetworkAdapter"), 2u);
  for (size_t row = 0; row < 2; ++row) {
    EXPECT_EQ(TextOf("NetworkAdapter", row, "DOMAIN_NAME"), "corp.example");
    EXPECT_EQ(TextOf("NetworkAdapter", row, "COMPUTER_NAME"), "WS-0142");
  }
  EXPECT_EQ(TextOf("NetworkAdapter", 1, "IP_ADDRESS"), "0.0.0.0");  // the default
  EXPECT_EQ(TextOf("InstalledProduct", 0, "COMPUTER_NAME"), "WS-0142");
  ASSERT_EQ(RowCount("Patch"), 3u);
  EXPECT_EQ(TextOf("Patch", 0, "TITLE"), "Windows Recovery Environment update & BitLocker bypass fix");
  // Without a sequence, each token's Key is its identifier.
  EXPECT_EQ(IntOf("Patch", 2, "PATCH_ID"), 5034763);
  ASSERT_EQ(RowCount("PatchDeployment"), 2u);
  EXPECT_EQ(IntOf("PatchDeployment", 0, "PATCH_ID"), 5034763);  // from the Patch around it
  EXPECT_EQ(TextOf("PatchDeployment", 0, "COMPUTER_NAME"), "WS-0142");  // from the Computer above
  EXPECT_EQ(IntOf("PatchDeployment", 1, "PATCH_ID"), 5035845);
}

TEST_F(XmlImportTest, TheExampleInventoryDocumentGetsGeneratedIdentifiersFromSequences) {
  test::LoadExampleDictionary();
  StartSequences({"PATCH_SEQ", "DEPLOYMENT_SEQ", "PRODUCT_SEQ"});
  ASSERT_TRUE(LoadTableDataFromXMLFile(test::ExampleDataPath("inventory_with_deployments.xml").c_str()));
  EXPECT_EQ(IntOf("Patch", 0, "PATCH_ID"), 1);
  EXPECT_EQ(IntOf("Patch", 1, "PATCH_ID"), 2);
  EXPECT_EQ(IntOf("Patch", 2, "PATCH_ID"), 3);
  EXPECT_EQ(IntOf("PatchDeployment", 0, "PATCH_ID"), 3);
  EXPECT_EQ(IntOf("PatchDeployment", 1, "PATCH_ID"), 2);
  EXPECT_EQ(IntOf("PatchDeployment", 1, "DEPLOYMENT_ID"), 2);
}

// libxml2 is set up once and never torn down while another thread parses: four threads import
// at once, from buffers and from files (the file form goes through the registered input handler).
TEST_F(XmlImportTest, FourThreadsImportAtOnce) {
  hl::test::TempDir dir;
  const char* tables[] = {"Person", "Orders", "Note", "Address"};
  ASSERT_TRUE(Import(Doc("<Person ID=\"1\"/><Orders ORDER_ID=\"1\"/><Note ID=\"1\"/><Address ADDR_ID=\"1\"/>")));
  std::vector<std::string> files;
  for (int t = 0; t < 4; ++t) {
    const std::string row = std::string("<") + tables[t] + (t == 0 ? " ID" : t == 1 ? " ORDER_ID" : t == 2 ? " ID" : " ADDR_ID") +
                            "=\"7\"/>";
    dir.Write("t" + std::to_string(t) + ".xml", Doc(row));
    files.push_back((dir.path() / ("t" + std::to_string(t) + ".xml")).string());
  }
  constexpr int kRounds = 20;
  std::atomic<int> failures{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([&, t] {
      const std::string document = Doc(std::string("<") + tables[t] + (t == 0 ? " ID" : t == 1 ? " ORDER_ID" : t == 2 ? " ID" : " ADDR_ID") + "=\"8\"/>");
      for (int i = 0; i < kRounds; ++i) {
        if (!Import(document)) ++failures;
        if (!LoadTableDataFromXMLFile(files[static_cast<size_t>(t)].c_str())) ++failures;
      }
    });
  for (auto& t : threads) t.join();
  EXPECT_EQ(failures.load(), 0);
  for (const char* table : tables) EXPECT_EQ(RowCount(table), 1u + 2 * kRounds) << table;
}

}  // namespace
}  // namespace tessera
