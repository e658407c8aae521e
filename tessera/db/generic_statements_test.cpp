// The statements written without a dialect generator, and the foreign-key walks of the index
// tables, over hand-made dictionaries.
#include "tessera/db/generic_statements.h"

#include <gtest/gtest.h>

#include "tessera/db/data_source_map.h"
#include "tessera/db/db_test_support.h"
#include "tests/support/log_capture.h"

namespace tessera {
namespace {

using dbtest::Col;
using dbtest::Fk;
using dbtest::MakeTable;
using dbtest::V;

class GenericStatementsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    InitDataDictionary();
    SetDSNMapValid(0, 1);  // PGSQL
    AddTableDefn(MakeTable("T",
                           {{"ID", CRV_SQL_INT}, {"NAME", CRV_SQL_CHAR}, {"FLAG", CRV_SQL_BOOLEAN},
                            {"AT", CRV_SQL_DATETIME}},
                           {"ID"}));
    AddTableDefn(MakeTable("NOKEY", {{"NAME", CRV_SQL_CHAR}}));
  }
  void TearDown() override {
    FreeDataDictionary();
    SetDSNMapValid(0, 0);
  }
  static std::unique_ptr<RowObject> Row(const std::string& name, const char* at = nullptr) {
    return dbtest::Row({V(CRV_SQL_INT, "7"), Value::FromText(name), V(CRV_SQL_BOOLEAN, "TRUE"),
                        at ? V(CRV_SQL_DATETIME, at) : Value()});
  }
};

TEST_F(GenericStatementsTest, ValuesAreQuotedAndEscapedAndNullsWrittenBare) {
  const TableDefn* t = GetTableDefn("T");
  auto row = Row("O'Brien'); DROP TABLE T; --");
  EXPECT_EQ(GenerateGenericInsertQuery("T", row.get(), t),
            "insert into  T values(7,'O''Brien''); DROP TABLE T; --',1,NULL)");
  EXPECT_EQ(GenerateGenericUpdateQuery("T", row.get(), t),
            "update T set ID=7,NAME='O''Brien''); DROP TABLE T; --',FLAG=1,AT=NULL where ID=7");
  EXPECT_EQ(GenerateGenericDeleteQuery("T", row.get(), t), "delete from T where ID=7");

  auto dated = Row("back\\slash", "2024-03-01 10:20:30");
  std::optional<std::string> insert = GenerateGenericInsertQuery("T", dated.get(), t);
  ASSERT_TRUE(insert);
  EXPECT_NE(insert->find(",'back\\slash',1,'2024-03-01 10:20:30')"), std::string::npos) << *insert;
  SetDSNMapValid(0, 0);  // MYSQL also doubles the backslash
  insert = GenerateGenericInsertQuery("T", dated.get(), t);
  ASSERT_TRUE(insert);
  EXPECT_NE(insert->find("'back\\\\slash'"), std::string::npos) << *insert;
}

TEST_F(GenericStatementsTest, UpdatesAndDeletesThatCannotPickOutTheirRowAreRefused) {
  auto keyless = dbtest::Row({Value::FromText("x")});
  const TableDefn* noKey = GetTableDefn("NOKEY");
  hl::test::LogCapture log;
  EXPECT_FALSE(GenerateGenericUpdateQuery("NOKEY", keyless.get(), noKey));
  EXPECT_FALSE(GenerateGenericDeleteQuery("NOKEY", keyless.get(), noKey));
  EXPECT_EQ(GenerateGenericInsertQuery("NOKEY", keyless.get(), noKey), "insert into  NOKEY values('x')");
  EXPECT_TRUE(log.Has("[ERROR]", "Cannot write a delete of NOKEY without a complete primary key\n"));

  auto nullKey = Row("n");
  nullKey->values[0] = Value();
  EXPECT_FALSE(GenerateGenericDeleteQuery("T", nullKey.get(), GetTableDefn("T")));
  EXPECT_FALSE(GenerateGenericUpdateQuery("T", nullKey.get(), GetTableDefn("T")));
  EXPECT_FALSE(GenerateGenericInsertQuery("T", nullKey.get(), nullptr));
}

TEST_F(GenericStatementsTest, ColumnPositionsAndRootTablesFollowTheDictionary) {
  const TableDefn* t = GetTableDefn("T");
  EXPECT_EQ(GetColIndex("ID", "T", t), 0);
  EXPECT_EQ(GetColIndex("AT", "T", t), 3);
  EXPECT_EQ(GetColIndex("at", "T", t), -1);
  EXPECT_EQ(GetColIndex("NONE", "T", t), -1);

  AddTableDefn(MakeTable("ROOT", {{"ID", CRV_SQL_INT}}, {"ID"}));
  AddTableDefn(MakeTable("MID", {{"ID", CRV_SQL_INT}, {"ROOT_ID", CRV_SQL_INT}}, {"ID"}, {{"ROOT_ID", "ROOT", "ID"}}));
  AddTableDefn(MakeTable("LEAF", {{"MID_ID", CRV_SQL_INT}, {"OWNER", CRV_SQL_INT}, {"LOST", CRV_SQL_INT}}, {},
                         {{"MID_ID", "MID", "ID"}, {"OWNER", "ROOT", "ID"}, {"LOST", "GONE", "ID"}}));
  AddTableDefn(MakeTable("LOOP_A", {{"B", CRV_SQL_INT}}, {}, {{"B", "LOOP_B", "A"}}));
  AddTableDefn(MakeTable("LOOP_B", {{"A", CRV_SQL_INT}}, {}, {{"A", "LOOP_A", "B"}}));

  std::vector<std::string> tables, columns;
  hl::test::LogCapture log;
  // MID is reached through its column ID, which is none of its foreign keys: no root that way.
  FindRootTable("LEAF", nullptr, tables, columns);
  EXPECT_EQ(tables, (std::vector<std::string>{"ROOT"}));
  EXPECT_EQ(columns, (std::vector<std::string>{"ID"}));
  EXPECT_TRUE(log.Has("[ERROR]", "No table definition found for GONE\n"));

  tables.clear(), columns.clear();
  FindRootTable("MID", nullptr, tables, columns);
  FindRootTable("LEAF", "OWNER", tables, columns);
  EXPECT_EQ(tables, (std::vector<std::string>{"ROOT", "ROOT"}));
  FindRootTable("LEAF", "owner", tables, columns);  // local columns match exactly
  EXPECT_EQ(tables.size(), 2u);
  FindRootTable("ROOT", "KEY", tables, columns);
  EXPECT_EQ(tables, (std::vector<std::string>{"ROOT", "ROOT", "ROOT"}));
  EXPECT_EQ(columns, (std::vector<std::string>{"ID", "ID", "KEY"}));

  tables.clear(), columns.clear();
  FindRootTable("LOOP_A", nullptr, tables, columns);  // a cycle ends without a root
  EXPECT_TRUE(tables.empty());
}

TEST_F(GenericStatementsTest, IndexEntriesNeedForeignKeysAndANewOrDeletedRow) {
  hl::test::LogCapture log;
  auto row = Row("x");
  EXPECT_TRUE(AddEntryToIndexTable("T", row.get()));
  EXPECT_TRUE(log.Has("[TRACE]", "No References.\n"));
  EXPECT_FALSE(AddEntryToIndexTable("T", nullptr));
}

}  // namespace
}  // namespace tessera
