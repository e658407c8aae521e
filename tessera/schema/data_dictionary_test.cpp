// Lookups of the dictionary and its changes.
#include <gtest/gtest.h>

#include "tessera/schema/build_table_defn.h"
#include "tessera/schema/dict_test_support.h"

namespace tessera {
namespace {

using test::Col;
using test::DictionaryTest;
using test::Table;

TEST_F(DictionaryTest, LookupsFollowTheirCaseRulesAndFirstMatchWins) {
  LoadTables(Table("Person", Col("NAME", "<data-type>CHAR</data-type>")) +
             Table("PERSON", Col("OTHER", "")) + Table("Address", Col("CITY", "")));
  hl::test::LogCapture log;
  const TableDefn* first = GetTableDefn("PERSON");
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(first->name, "Person") << "case-insensitive, first in dictionary order";
  EXPECT_EQ(GetTableDefn("person"), first);
  EXPECT_EQ(GetTableDefnByTableName("PERSON")->name, "PERSON");
  EXPECT_EQ(GetTableDefnByTableName("person"), nullptr);
  EXPECT_TRUE(log.Has("[ERROR]", "No table definition available for person\n"));
  EXPECT_TRUE(log.Has("[TRACE]", "@@@ Inside GetTableDefnByTableName @@@\n"));
  EXPECT_EQ(GetTableDefn(nullptr), nullptr);
  EXPECT_TRUE(log.Has("[ERROR]", "Table Name is NULL.\n"));

  EXPECT_NE(GetColumnDefnEntry("person", "NAME"), nullptr);
  EXPECT_EQ(GetColumnDefnEntry("Person", "name"), nullptr) << "columns match case-sensitively";
  EXPECT_EQ(GetColumnDefnEntry("Person", "OTHER"), nullptr) << "the second PERSON is never reached";
  EXPECT_EQ(GetColumnTypeFromDefn("Person", "NAME"), CRV_SQL_NCHAR);
  EXPECT_EQ(GetColumnTypeFromDefn("Person", "nope"), 0);
  EXPECT_EQ(GetColumnDefnEntry("Nowhere", "NAME"), nullptr);
  EXPECT_EQ(GetColumnTypeFromDefn("Nowhere", "NAME"), 0);
  EXPECT_EQ(log.Count("[ERROR]", "No definition found for table Nowhere\n"), 2u);
  EXPECT_EQ(GetColumnDefnEntry(nullptr, "NAME"), nullptr);
  BYTE found = 1;
  EXPECT_EQ(GetDefaultValue("Person", nullptr, found), nullptr);
  EXPECT_EQ(found, 0);
  EXPECT_EQ(log.Count("[ERROR]", "Cannot fetch default value;\n"), 2u);
  EXPECT_TRUE(log.Has("[TRACE]", "@@@@ Inside GetColumnDefnEntry @@@@\n"));
  EXPECT_TRUE(log.Has("[TRACE]", "@@@@ Inside GetDefaultValue @@@@\n"));

  EXPECT_EQ(GetForeignKeyDefn(first, "NAME"), nullptr);
  EXPECT_TRUE(log.Has("[ERROR]", "No Foreignkey Entries in Definition \n"));
  TableDefn bare;
  EXPECT_EQ(GetForeignKeyDefn(&bare, "NAME"), nullptr);
  EXPECT_TRUE(log.Has("[ERROR]", "No constraint Definition \n"));
}

TEST_F(DictionaryTest, AddRemoveAndFree) {
  EXPECT_EQ(GetTableDefn("Any"), nullptr) << "an empty dictionary";
  LoadTables(Table("One", Col("A", "")) + Table("Two", Col("B", "")) + Table("one", Col("C", "")));
  ASSERT_EQ(GetDataDictionary().count(), 3);
  EXPECT_TRUE(RemoveTableDefn("ONE"));
  EXPECT_EQ(GetDataDictionary().count(), 2);
  EXPECT_EQ(GetTableDefn("one")->columns->ElementAt(0)->data->name, "C") << "the next match surfaces";
  EXPECT_TRUE(AddTableDefn(CreateTableDefn("Three", "third", nullptr, nullptr)));
  EXPECT_EQ(GetDataDictionary().tail()->data->name, "Three");
  EXPECT_FALSE(RemoveTableDefn("Missing"));
  hl::test::LogCapture log;
  PrintAllTableDefinitions();
  EXPECT_TRUE(log.Has("[DEBUG]", "Table Name : Two\n"));
  EXPECT_FALSE(log.Has("[DEBUG]", "Table Name : Three\n")) << "no columns, no listing";
  FreeDataDictionary();
  EXPECT_EQ(GetDataDictionary().count(), 0);
  EXPECT_EQ(GetTableDefn("Two"), nullptr);
}

TEST_F(DictionaryTest, TheStoreRoot) {
  hl::test::LogCapture log;
  EXPECT_EQ(GetTesseraRoot(), nullptr);
  SetTesseraRoot("/srv/tessera");
  SetTesseraRoot(nullptr);
  EXPECT_STREQ(GetTesseraRoot(), "/srv/tessera") << "an absent path keeps the root";
  EXPECT_TRUE(log.Has("[DEBUG]", "Default Path Used"));
}

TEST_F(DictionaryTest, ALargeDictionaryLoads) {
  std::string tables;
  for (int t = 0; t < 220; ++t) {
    std::string columns;
    for (int c = 0; c < 10; ++c)
      columns += Col("C" + std::to_string(c), "<data-type>CRV_SQL_INT</data-type><default-value>" + std::to_string(c) +
                                                  "</default-value>");
    tables += Table("Table" + std::to_string(t), columns,
                    "<primary-key><primary-key-column>C0</primary-key-column></primary-key>");
  }
  LoadTables(tables);
  EXPECT_EQ(GetDataDictionary().count(), 220);
  EXPECT_EQ(GetTableDefn("TABLE219")->ColumnCount(), 10);
  EXPECT_EQ(GetColumnDefnEntry("table100", "C9")->defaultValue.ReadSigned(4), 9);
}

}  // namespace
}  // namespace tessera
