// What the loader builds from well-formed documents: column fields, allowed values, keys.
#include <gtest/gtest.h>

#include "tessera/schema/build_table_defn.h"
#include "tessera/schema/dict_xml_reader.h"
#include "tessera/schema/dict_test_support.h"
#include "tessera/values/value_convert.h"

namespace tessera {
namespace {

using test::Col;
using test::DictionaryTest;
using test::Table;

TEST_F(DictionaryTest, ColumnTypesAndTheTextPromotion) {
  LoadTables(Table("T", Col("A", "<data-type>bigint</data-type>") + Col("B", "<data-type>LONG</data-type>") +
                            Col("C", "<data-type>CHAR</data-type><max-size>255</max-size>") +
                            Col("D", "<data-type>CHAR</data-type><max-size>256</max-size>") +
                            Col("E", "<data-type>CRV_SQL_CHAR</data-type><max-size>300</max-size>") +
                            Col("F", "<data-type>nchar</data-type><max-size>1000</max-size>") +
                            Col("G", "<data-type>CRV_SQL_INT</data-type><max-size>300</max-size>") +
                            Col("H", "<data-type> CRV_SQL_DOUBLE </data-type>") +
                            Col("I", "<data-type>VARCHAR</data-type>")));
  const std::pair<const char*, BYTE> expected[] = {{"A", 5},  {"B", 5},  {"C", 15}, {"D", 22}, {"E", 22},
                                                   {"F", 22}, {"G", 5},  {"H", 10}, {"I", 0}};
  for (auto [name, code] : expected) {
    ASSERT_NE(Column("T", name), nullptr) << name;
    EXPECT_EQ(Column("T", name)->type, code) << name;
    EXPECT_EQ(GetColumnTypeFromDefn("T", name), code) << name;
  }
  const TableDefn* t = GetTableDefn("T");
  int32_t index = 0;
  for (const auto& column : *t->columns) EXPECT_EQ(column->name, std::string(1, static_cast<char>('A' + index++)));
}

TEST_F(DictionaryTest, FlagsSizesAndTexts) {
  hl::test::LogCapture log;
  LoadTables(Table("T", Col("plain", "<data-type>CRV_SQL_INT</data-type>") +
                            Col("n1", "<nullable>TRUE</nullable><unique>TRUE</unique>") +
                            Col("n2", "<nullable>True</nullable><unique>true</unique>") +
                            Col("n3", "<nullable>false</nullable><max-size>12a</max-size>") +
                            Col("n4", "<nullable>no</nullable><max-size>+40</max-size>") +
                            Col("n5", "<max-size>-3</max-size><description>  spaced text </description>") +
                            Col("gen", "<uniquevalue-generation><generator-name>SEQ_A</generator-name>"
                                       "</uniquevalue-generation>")));
  const ColumnDefn* plain = Column("T", "plain");
  EXPECT_EQ(plain->nullable, 1) << "nullable unless said otherwise";
  EXPECT_EQ(plain->unique, 0);
  EXPECT_EQ(plain->maxSize, 0);
  EXPECT_FALSE(plain->description);
  EXPECT_FALSE(plain->generatorName);
  EXPECT_TRUE(plain->defaultValue.IsNull());
  EXPECT_EQ(Column("T", "n1")->nullable, 1);
  EXPECT_EQ(Column("T", "n1")->unique, 0) << "only the exact text true sets unique";
  EXPECT_EQ(Column("T", "n2")->nullable, 1);
  EXPECT_EQ(Column("T", "n2")->unique, 1);
  EXPECT_EQ(Column("T", "n3")->nullable, 0);
  EXPECT_EQ(Column("T", "n3")->maxSize, -1);
  EXPECT_EQ(Column("T", "n4")->nullable, 0);
  EXPECT_EQ(Column("T", "n4")->maxSize, 40);
  EXPECT_EQ(Column("T", "n5")->maxSize, -3);
  EXPECT_EQ(Column("T", "n5")->description, "  spaced text ");
  EXPECT_EQ(Column("T", "gen")->generatorName, "SEQ_A");
  // Columns without data-type are code 0 with the dictionary's missing-type message.
  EXPECT_EQ(log.Count("[ERROR]", "Column data type not supported - Error while creating column definition.\n"), 6u);
}

TEST_F(DictionaryTest, FlagsNumbersAndBoundsAreReadExactlyAsTheyStand) {
  LoadTables(Table("X", Col("u1", "<unique> true </unique><max-size> 12 </max-size>") +
                            Col("u2", "<unique>true</unique><max-size>12</max-size>") +
                            Col("r", "<allowed-values><from> 1 </from><to>9 </to></allowed-values>")));
  EXPECT_EQ(Column("X", "u1")->unique, 0) << "only the exact text true";
  EXPECT_EQ(Column("X", "u1")->maxSize, -1) << "\" 12 \" is not a number";
  EXPECT_EQ(Column("X", "u2")->unique, 1);
  EXPECT_EQ(Column("X", "u2")->maxSize, 12);
  EXPECT_EQ(Column("X", "r")->allowedValues->values, (std::vector<std::string>{" 1 ", "9 "}));
}

TEST_F(DictionaryTest, DefaultsAreConvertedToTheColumnsForm) {
  hl::test::LogCapture log;
  LoadTables(Table("T", Col("S", "<data-type>CHAR</data-type><max-size>8</max-size><default-value>abc</default-value>") +
                            Col("I", "<data-type>CRV_SQL_SMALLINT</data-type><default-value>-2</default-value>") +
                            Col("D", "<data-type>DATE</data-type><default-value>2024-02-29</default-value>") +
                            Col("B", "<data-type>BOOLEAN</data-type><default-value>True</default-value>") +
                            Col("X", "<data-type>BOOLEAN</data-type><default-value>yes</default-value>") +
                            Col("SP", "<data-type>CHAR</data-type><default-value> </default-value>") +
                            Col("E", "<data-type>CHAR</data-type><default-value></default-value>")));
  const ColumnDefn* s = Column("T", "S");
  EXPECT_STREQ(s->defaultValue.c_str(), "abc");
  EXPECT_EQ(s->defaultLength, 3);
  EXPECT_EQ(Column("T", "I")->defaultLength, 2);
  EXPECT_EQ(Column("T", "I")->defaultValue.ReadSigned(2), -2);
  const ColumnDefn* d = Column("T", "D");
  EXPECT_EQ(d->defaultLength, 11);
  ASSERT_NE(d->defaultValue.dateTime(), nullptr);
  EXPECT_EQ(ConvertValueToString(d->defaultValue, d->type), "2024-02-29 00:00:00");
  EXPECT_EQ(Column("T", "B")->defaultLength, 1);
  EXPECT_EQ(Column("T", "B")->defaultValue.ReadUnsigned(1), 1u);
  EXPECT_TRUE(Column("T", "X")->defaultValue.IsNull());
  EXPECT_TRUE(log.Has("[ERROR]", "Default value yes of column T.X cannot be converted to its type; the column has no default.\n"));
  EXPECT_STREQ(Column("T", "SP")->defaultValue.c_str(), " ") << "blank defaults are kept";
  EXPECT_TRUE(Column("T", "E")->defaultValue.IsNull());

  BYTE found = 0;
  const Value* v = GetDefaultValue("t", "S", found);
  EXPECT_EQ(found, 1);
  ASSERT_NE(v, nullptr);
  EXPECT_STREQ(v->c_str(), "abc");
  EXPECT_EQ(GetDefaultValue("T", "E", found), nullptr);
  EXPECT_EQ(found, 1) << "the column exists without a default";
  EXPECT_EQ(GetDefaultValue("T", "missing", found), nullptr);
  EXPECT_EQ(found, 0);
}

TEST_F(DictionaryTest, AllowedValuesListsAndRanges) {
  LoadTables(Table("T", Col("L", "<allowed-values><value>red</value><value>green</value><value>blue</value>"
                                 "</allowed-values>") +
                            Col("R", "<allowed-values><from>1</from><to>9</to></allowed-values>") +
                            Col("E", "<allowed-values><value></value><value>x</value></allowed-values>") +
                            Col("N", "<data-type>INTEGER</data-type>")));
  const AllowedValues* list = Column("T", "L")->allowedValues.get();
  ASSERT_NE(list, nullptr);
  EXPECT_EQ(list->isRange, 0);
  EXPECT_EQ(list->values, (std::vector<std::string>{"red", "green", "blue"}));
  const AllowedValues* range = Column("T", "R")->allowedValues.get();
  ASSERT_NE(range, nullptr);
  EXPECT_EQ(range->isRange, 1);
  EXPECT_EQ(range->values, (std::vector<std::string>{"1", "9"}));
  EXPECT_EQ(Column("T", "E")->allowedValues->values, (std::vector<std::string>{"", "x"}));
  EXPECT_EQ(Column("T", "N")->allowedValues, nullptr);
}

TEST_F(DictionaryTest, KeysAndTheirListing) {
  LoadTables(Table("Parent", Col("A", "") + Col("B", "") + Col("C", ""),
                   "<primary-key><primary-key-column>A</primary-key-column><primary-key-column> B "
                   "</primary-key-column><primary-key-column>C</primary-key-column></primary-key>") +
             Table("Child", Col("ID", "") + Col("PA", "") + Col("PB", ""),
                   "<foreign-keys>"
                   "<foreign-key name=\"fk1\" reference-table-name=\"Parent\" isbidirectional=\"true\"><fk-columns>"
                   "<fk-column><fk-local-column>PA</fk-local-column><fk-reference-column>A</fk-reference-column></fk-column>"
                   "<fk-column><fk-local-column>PB</fk-local-column><fk-reference-column>B</fk-reference-column></fk-column>"
                   "</fk-columns><fk-constraints>ON-DELETE-CASCADE</fk-constraints></foreign-key>"
                   "<foreign-key name=\"fk2\" reference-table-name=\"Other\" isbidirectional=\"TRUE\"><fk-columns>"
                   "<fk-column><fk-local-column>ID</fk-local-column><fk-reference-column>X</fk-reference-column></fk-column>"
                   "</fk-columns><fk-constraints>on-delete-cascade</fk-constraints></foreign-key>"
                   "<foreign-key name=\"fk3\" reference-table-name=\"Parent\"><fk-constraints>ON-DELETE-CASCADE"
                   "</fk-constraints></foreign-key>"
                   "</foreign-keys>"));
  const TableDefn* parent = GetTableDefn("Parent");
  ASSERT_NE(parent, nullptr);
  EXPECT_EQ(parent->constraints->primaryKeys, (std::vector<std::string>{"A", "B", "C"}));
  EXPECT_EQ(parent->constraints->primaryKeyCount, 3);
  EXPECT_EQ(parent->constraints->foreignKeys, nullptr);

  const TableDefn* child = GetTableDefn("Child");
  ASSERT_NE(child->constraints->foreignKeys, nullptr);
  ASSERT_EQ(child->constraints->foreignKeys->count(), 3);
  const ForeignKeyDefn& first = *child->constraints->foreignKeys->ElementAt(0)->data;
  const ForeignKeyDefn& second = *child->constraints->foreignKeys->ElementAt(1)->data;
  const ForeignKeyDefn& third = *child->constraints->foreignKeys->ElementAt(2)->data;
  EXPECT_EQ(first.localColumn, "PA");
  EXPECT_EQ(first.referenceColumn, "A");
  EXPECT_EQ(first.referenceTable, "Parent");
  EXPECT_EQ(second.referenceTable, "Parent");
  EXPECT_EQ(first.bidirectional, 1);
  EXPECT_EQ(second.bidirectional, 0) << "only the first pair carries the flag";
  EXPECT_EQ(first.onDeleteCascade, 1);
  EXPECT_EQ(second.onDeleteCascade, 1);
  EXPECT_EQ(third.bidirectional, 0) << "isbidirectional is compared case-sensitively";
  EXPECT_EQ(third.onDeleteCascade, 0);
  EXPECT_EQ(GetForeignKeyDefn(child, "pb"), &second);
  EXPECT_EQ(GetForeignKeyDefn(child, "NONE"), nullptr);

  hl::test::LogCapture log;
  PrintTableDefinition(parent);
  EXPECT_EQ(log.Count("[DEBUG]", "Primary key : "), 3u);
  EXPECT_TRUE(log.Has("[DEBUG]", "Primary key : B\n\n"));
  log.Mark();
  PrintTableDefinition(child);
  std::string text = log.Text();
  for (const char* line : {"Table Name : Child\n", "Description: (null)\n", "Column Name : PB\n", "Column Type : 0\n",
                           "Unique Flag : FALSE\n", "Description : (null)\n", "Foreign key Constraints\n",
                           "Ref Column  : B\n", "Tablename : Other\n"})
    EXPECT_TRUE(log.Has("[DEBUG]", line)) << line;
  EXPECT_EQ(log.Count("[DEBUG]", "********************************\n"), 2u);
  EXPECT_EQ(log.Count("[DEBUG]", "---------------------------------------\n\n"), 4u);
  EXPECT_LT(text.find("Table Name : Child"), text.find("Column Name : ID"));
  EXPECT_LT(text.find("Column Name : PB"), text.find("Foreign key Constraints"));
}

TEST_F(DictionaryTest, ForeignKeyWithoutColumnsAndOtherAttributes) {
  hl::test::LogCapture log;
  LoadTables("<table name=\"T\" owner=\"me\"><columns>" + Col("A", "") +
             "</columns><foreign-keys><foreign-key name=\"f\" reference-table-name=\"X\">"
             "<fk-constraints>ON-DELETE-CASCADE</fk-constraints></foreign-key></foreign-keys></table>");
  const TableDefn* t = GetTableDefn("T");
  ASSERT_NE(t, nullptr) << "an element with an unknown attribute is still accepted";
  EXPECT_EQ(t->constraints->foreignKeys, nullptr);
  EXPECT_TRUE(log.Has("[DEBUG]", "fk-columns tag not found \n"));
  EXPECT_TRUE(log.Has("[ERROR]", "\n Not all Attributes were read\n"));
  EXPECT_TRUE(log.Has("[TRACE]", "@@@@Parsing Table Info : T @@@@\n"));
  EXPECT_TRUE(log.Has("[TRACE]", "\t@@@@ Loaded Table definition Successfully @@@@\n"));
  EXPECT_TRUE(log.Has("[TRACE]", "\nInside AllocateAndStrcpyAttrib\n\n"));
  EXPECT_TRUE(log.Has("[TRACE]", "\n Inside CreateandInitXmlTagInfo \n"));
}

TEST_F(DictionaryTest, TablesWithoutColumnsOrNamesAndColumnsWithoutNames) {
  hl::test::LogCapture log;
  LoadTables("<table name=\"Empty\"/>\n<table name=\"Described\"><description>only text</description></table>\n"
             "<table system=\"x\"><columns>" + Col("A", "") + "</columns></table>\n" +
             "<table name=\"Partial\"><columns><column><data-type>INTEGER</data-type></column>" + Col("B", "") +
             "</columns></table>\n");
  ASSERT_NE(GetTableDefn("Empty"), nullptr);
  EXPECT_EQ(GetTableDefn("Empty")->ColumnCount(), 0);
  EXPECT_EQ(GetTableDefn("Described")->description, "only text");
  EXPECT_EQ(GetDataDictionary().count(), 3) << "the table without a name is skipped";
  EXPECT_EQ(GetTableDefn("Partial")->ColumnCount(), 1);
  EXPECT_TRUE(log.Has("[ERROR]", "A table without a name attribute is skipped.\n"));
  log.Mark();
  PrintTableDefinition(GetTableDefn("Empty"));
  EXPECT_EQ(log.Text().find("Table Name"), std::string::npos) << "nothing printed for a table without columns";
}

TEST_F(DictionaryTest, TheReaderFlattensTheWrappers) {
  std::string path = WriteDocument(
      "tree.xml", "<table name=\"T\" system=\"s\"><columns>" +
                      Col("A", "<uniquevalue-generation><generator-name>G</generator-name></uniquevalue-generation>"
                               "<allowed-values><value>x</value><!-- c --><value>y</value></allowed-values>"
                               "<allowed-values><from>1</from><to>2</to></allowed-values>") +
                      "</columns></table>");
  auto tables = ReadDataDictTables(path.c_str());
  ASSERT_EQ(tables.size(), 1u);
  const XmlTagInfo& table = *tables[0];
  EXPECT_EQ(table.attributeNames, (std::vector<std::string>{"name", "system"}));
  EXPECT_EQ(table.attributeValues, (std::vector<std::string>{"T", "s"}));
  const XmlTagInfo& column = table.Child("columns")->children.at(0);
  std::vector<std::string> tags;
  for (const XmlTagInfo& child : column.children) tags.push_back(child.tagName);
  EXPECT_EQ(tags, (std::vector<std::string>{"generator-name", "value", "from", "to"}));
  EXPECT_EQ(column.Child("value")->textValues, (std::vector<std::string>{"x", "y"}));
  EXPECT_EQ(GetDataDictionary().count(), 0) << "reading alone builds nothing";
}

TEST_F(DictionaryTest, HandBuiltDefinitions) {
  auto columns = std::make_unique<ColumnVector>();
  columns->AddData(CreateColumnDefn("NAME", CRV_SQL_CHAR, 300, "x", "desc", nullptr));
  columns->AddData(CreateColumnDefn("N", CRV_SQL_INT, 0, "12", nullptr, "SEQ"));
  auto table = CreateTableDefn("Hand", nullptr, std::move(columns), nullptr);
  ASSERT_TRUE(AddTableDefn(std::move(table)));
  EXPECT_EQ(Column("Hand", "NAME")->type, CRV_SQL_TEXT);
  EXPECT_EQ(Column("Hand", "N")->defaultValue.ReadSigned(4), 12);
  EXPECT_EQ(GetTableDefn("HAND")->ColumnIndex("N"), 1);
  EXPECT_EQ(GetTableDefn("HAND")->ColumnIndex("n"), -1);
  EXPECT_FALSE(AddTableDefn(nullptr));
}

}  // namespace
}  // namespace tessera
