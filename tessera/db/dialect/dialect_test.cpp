// Every statement text of the four dialects from one table of cases: a case gives the expected
// text per dialect (nullopt: the dialect refuses), so a gap in one dialect fails its case.
#include <gtest/gtest.h>

#include <array>
#include <functional>

#include "tessera/db/db_test_support.h"
#include "tessera/db/query_generator.h"
#include "tests/support/log_capture.h"

namespace tessera {
namespace {

using dbtest::Col;
using dbtest::Fk;
using dbtest::MakeTable;
using dbtest::Row;
using dbtest::V;
using Expected = std::array<std::optional<std::string>, 4>;  // FIREBIRD, SQLITE, MYSQL, PGSQL
using Build = std::function<std::optional<std::string>(const QueryGenerator&)>;

const QueryGenerator* const kDialects[4] = {&FirebirdQueryGenerator(), &SqliteQueryGenerator(),
                                            &MysqlQueryGenerator(), &PgsqlQueryGenerator()};

class DialectTest : public ::testing::Test {
 protected:
  void SetUp() override {
    InitDataDictionary();
    AddTableDefn(MakeTable("T",
                           {{"K", 5, 0, false, true},
                            {"NAME", 15, 20, true, true},
                            {"A", 19, 0, true, false, "TRUE"},
                            {"D", 16}},
                           {"K"}));
    AddTableDefn(MakeTable("E", {{"EVDATE", 16, 0, false}, {"N", 5}, {"B", 19}}, {"EVDATE"}));
    AddTableDefn(MakeTable("NOKEY", {{"N", 5}, {"S", 14, 10}}));
    AddTableDefn(MakeTable("BK", {{"FLAG", 19}, {"N", 5}}, {"FLAG"}));
    AddTableDefn(MakeTable("CK", {{"A", 5}, {"B", 14, 8}, {"V", 10}}, {"A", "B"}));
    AddTableDefn(MakeTable("C", {{"ID", 5, 0, false}, {"P1", 5}, {"P2", 5}, {"P3", 5}, {"TX", 22}}, {"ID"},
                           {{"P1", "P", "A", true}, {"P2", "P", "B", true}, {"P3", "Q", "Z", false}}));
  }
  void TearDown() override { FreeDataDictionary(); }

  void Check(const Expected& expected, const Build& build) {
    for (size_t i = 0; i < 4; ++i) {
      SCOPED_TRACE(kDialects[i]->name);
      EXPECT_EQ(build(*kDialects[i]), expected[i]);
    }
  }
};

std::unique_ptr<RowObject> TRow(const char* k, const std::string& name, const char* a, const char* d) {
  return Row({k ? V(5, k) : Value(), V(15, name), V(19, a), V(16, d)});
}

TEST_F(DialectTest, UpdateWritesKeyConditionsBooleansAndEscapedLiterals) {
  auto row = TRow("3", "ab", "TRUE", "2024-03-12");
  Check({"update T set NAME='ab',A=1,D='2024-03-12' where K=3", "update T set NAME='ab',A=1,D='2024-03-12' where K=3",
         "update T set NAME='ab',A=1,D='2024-03-12' where K='3'",
         "update T set NAME='ab',A=TRUE,D='2024-03-12' where K=3"},
        [&](const QueryGenerator& g) { return g.genUpdateQuery("T", row.get()); });

  auto quoted = TRow("4", "O'Br\\n", "FALSE", "2024-03-12");
  Check({"update T set NAME='O''Br\\n',A=0,D='2024-03-12' where K=4",
         "update T set NAME='O''Br\\n',A=0,D='2024-03-12' where K=4",
         "update T set NAME='O''Br\\\\n',A=0,D='2024-03-12' where K='4'",
         "update T set NAME='O''Br\\n',A=FALSE,D='2024-03-12' where K=4"},
        [&](const QueryGenerator& g) { return g.genUpdateQuery("T", quoted.get()); });

  auto boolKey = Row({V(19, "TRUE"), V(5, "7")});
  Check({"update BK set N=7 where FLAG=1", "update BK set N=7 where FLAG=1", "update BK set N=7 where FLAG=1",
         "update BK set N=7 where FLAG=TRUE"},
        [&](const QueryGenerator& g) { return g.genUpdateQuery("BK", boolKey.get()); });

  auto dateKey = Row({V(16, "2024-03-12"), V(5, "1"), Value()});
  Check({"update E set N=1,B=NULL where EVDATE='2024-03-12'", "update E set N=1,B=NULL where EVDATE='2024-03-12'",
         "update E set N=1,B=NULL where EVDATE='2024-03-12'", "update E set N=1,B=NULL where EVDATE='2024-03-12'"},
        [&](const QueryGenerator& g) { return g.genUpdateQuery("E", dateKey.get()); });
}

TEST_F(DialectTest, AbsentKeyValueLeavesOnlyItsOwnConditionOut) {
  auto row = Row({V(5, "1"), Value(), V(10, "2.5")});
  Check({"update CK set V=2.500000 where A=1", "update CK set V=2.500000 where A=1",
         "update CK set V=2.500000 where A='1'", "update CK set V=2.500000 where A=1"},
        [&](const QueryGenerator& g) { return g.genUpdateQuery("CK", row.get()); });
  // A delete keeps the condition B=NULL, which matches no row, rather than widening its reach.
  std::string text = "delete from CK  where A=1 and B=NULL";
  Check({text, text, text, text}, [&](const QueryGenerator& g) { return g.genDeleteQuery("CK", row.get()); });
}

TEST_F(DialectTest, UpdateAndDeleteWithoutKeyValueAreRefused) {
  hl::test::LogCapture log;
  auto noKeyValue = TRow(nullptr, "ab", "TRUE", "2024-03-12");
  auto noKeyTable = Row({V(5, "1"), V(14, "s")});
  Check({}, [&](const QueryGenerator& g) { return g.genUpdateQuery("T", noKeyValue.get()); });
  Check({}, [&](const QueryGenerator& g) { return g.genDeleteQuery("T", noKeyValue.get()); });
  Check({}, [&](const QueryGenerator& g) { return g.genUpdateQuery("NOKEY", noKeyTable.get()); });
  Check({}, [&](const QueryGenerator& g) { return g.genDeleteQuery("NOKEY", noKeyTable.get()); });
  EXPECT_EQ(log.Count("[ERROR]", "Refused to generate update query for table T"), 4u);
  EXPECT_EQ(log.Count("[ERROR]", "Refused to generate delete query for table NOKEY"), 4u);
  Check({}, [&](const QueryGenerator& g) { return g.genUpdateQuery("MISSING", noKeyTable.get()); });
}

TEST_F(DialectTest, InsertQuotesTextsAndDatesAndWritesBooleans) {
  auto row = TRow("1", "x'); DROP TABLE T; --", "FALSE", "2024-03-12");
  Check({"insert into  T values(1,'x''); DROP TABLE T; --',0,'2024-03-12');",
         "insert into  T values(1,'x''); DROP TABLE T; --',0,'2024-03-12');",
         "insert into  T values(1,'x''); DROP TABLE T; --',0,'2024-03-12')",
         "insert into  T values(1,'x''); DROP TABLE T; --',FALSE,'2024-03-12');"},
        [&](const QueryGenerator& g) { return g.genInsertQuery("T", row.get()); });
  auto truthy = Row({V(5, "2"), Value(), V(19, "TRUE"), Value()});
  Check({"insert into  T values(2,NULL,1,NULL);", "insert into  T values(2,NULL,1,NULL);",
         "insert into  T values(2,NULL,1,NULL)", "insert into  T values(2,NULL,TRUE,NULL);"},
        [&](const QueryGenerator& g) { return g.genInsertQuery("T", truthy.get()); });
}

TEST_F(DialectTest, DeleteWritesQuotedDateKeys) {
  auto row = Row({V(16, "2024-03-12"), V(5, "1"), V(19, "TRUE")});
  std::string text = "delete from E  where EVDATE='2024-03-12'";
  Check({text, text, text, text}, [&](const QueryGenerator& g) { return g.genDeleteQuery("E", row.get()); });
  auto boolKey = Row({V(19, "FALSE"), V(5, "7")});
  Check({"delete from BK  where FLAG=0", "delete from BK  where FLAG=0", "delete from BK  where FLAG=0",
         "delete from BK  where FLAG=FALSE"},
        [&](const QueryGenerator& g) { return g.genDeleteQuery("BK", boolKey.get()); });
}

TEST_F(DialectTest, CreateWritesTypesModifiersAndTableOption) {
  Check({"CREATE TABLE T(\n\tK int   NOT NULL,\n\tNAME varchar(20)   UNIQUE,\n\tA SMALLINT DEFAULT 1 ,\n\tD date,\n"
         "\tPRIMARY KEY(K)\n);\n\n",
         "CREATE TABLE T(\n\tK int   NOT NULL UNIQUE,\n\tNAME varchar(20)   UNIQUE,\n\tA boolean DEFAULT 1 ,\n"
         "\tD varchar(30),\n\tPRIMARY KEY(K)\n);\n\n",
         "CREATE TABLE T(\n\tK int   NOT NULL UNIQUE,\n\tNAME varchar(20)   UNIQUE,\n\tA tinyint DEFAULT 1 ,\n"
         "\tD date,\n\tPRIMARY KEY(K)\n) ENGINE = InnoDB;\n\n",
         "CREATE TABLE T(\n\tK int   NOT NULL UNIQUE,\n\tNAME varchar(21)   UNIQUE,\n\tA boolean DEFAULT 't' ,\n"
         "\tD date,\n\tPRIMARY KEY(K)\n);\n\n"},
        [&](const QueryGenerator& g) { return g.genCreateQuery("T"); });
}

TEST_F(DialectTest, CreateGroupsCompositeForeignKeysAndCascadesOnlyWhenAsked) {
  const std::string columns = "CREATE TABLE C(\n\tID int   NOT NULL,\n\tP1 int  ,\n\tP2 int  ,\n\tP3 int  ,\n";
  const std::string keys =
      "\tPRIMARY KEY(ID),\n\tFOREIGN KEY(P1,P2) REFERENCES P (A,B) ON DELETE CASCADE,\n"
      "\tFOREIGN KEY(P3) REFERENCES Q (Z)";
  Check({columns + "\tTX BLOB SUB_TYPE TEXT ,\n" + keys + "\n);\n\n",
         columns + "\tTX text ,\n" + keys + "\n);\n\n",
         columns + "\tTX text ,\n"
                   "\tPRIMARY KEY(ID),\n\tFOREIGN KEY(P1,P2) REFERENCES P (A,B) ON DELETE CASCADE,\n"
                   "\tINDEX C_IDX0 (P1,P2),\n\tFOREIGN KEY(P3) REFERENCES Q (Z),\n\tINDEX C_IDX1 (P3)"
                   "\n) ENGINE = InnoDB;\n\n",
         columns + "\tTX text ,\n" + keys + "\n);\n\n"},
        [&](const QueryGenerator& g) { return g.genCreateQuery("C"); });
}

// Select queries: each case builds its query in the query's own pool.
class SelectDialectTest : public DialectTest {
 protected:
  void SetUp() override {
    DialectTest::SetUp();
    query_.reset(CreateSelectQuery());
    pool_ = query_->pool;
  }
  void From(const char* table, const char* alias = nullptr) {
    AddTable(query_.get(), CreateTableEntry(table, alias, pool_));
  }
  SelectColumn* Column(const char* table, const char* alias, const char* name, BYTE type, BYTE function = 0,
                       const char* columnAlias = nullptr) {
    return CreateSelectColumn(table, alias, name, columnAlias, type, function, pool_);
  }
  void CheckSelect(const Expected& expected) {
    Check(expected, [&](const QueryGenerator& g) { return g.genSelectQuery(query_.get()); });
  }
  SelectQueryPtr query_;
  apr_pool_t* pool_ = nullptr;
};

TEST_F(SelectDialectTest, LimitAndOffsetForms) {
  From("T");
  query_->limit = 10;
  query_->offset = 20;
  CheckSelect({"select first 10 skip 20  * from T\n", "select * from T\nlimit 10 offset 20",
               "select * from T\nlimit 20 , 10", "select * from T\nlimit 10 offset 20"});
  query_->limit = 10;
  query_->offset = 0;
  CheckSelect({"select first 10  * from T\n", "select * from T\nlimit 10", "select * from T\nlimit 10",
               "select * from T\nlimit 10"});
  query_->limit = 0;
  query_->offset = 5;
  CheckSelect({"select skip 5  * from T\n", "select * from T\n", "select * from T\n", "select * from T\n"});
}

TEST_F(SelectDialectTest, ColumnsAliasesAndQuotedCriteria) {
  AddSelectColumn(query_.get(), Column(nullptr, "u", "a", 5, 0, "x"));
  AddSelectColumn(query_.get(), Column(nullptr, nullptr, nullptr, 5, SELECT_FUNCTION_COUNT));
  From("T", "u");
  Criterion* like = CreateCriterion(Column(nullptr, "u", "NAME", 15), V(15, "Jo'%"), QUERY_OP_LIKE, pool_);
  Criterion* flag = CreateCriterion(Column("T", nullptr, "A", 19), V(19, "TRUE"), QUERY_OP_EQUAL, pool_);
  Criterion* born = CreateCriterion(Column(nullptr, nullptr, "D", 16), V(16, "1990-05-01"), QUERY_OP_GREATER, pool_);
  SetCriteria(query_.get(), AndCriteria(AndCriteria(like, flag, pool_), born, pool_));
  const std::string where = "where  u.NAME LIKE  'Jo''%'  AND  T.A =  ";
  const std::string tail = "  AND D >  '1990-05-01' ";
  CheckSelect({"select u.a as x , COUNT(*) \nfrom T u \n" + where + "1" + tail,
               "select u.a as x , COUNT(*) \nfrom T as u \n" + where + "1" + tail,
               "select u.a as x , COUNT(*) \nfrom T as u \n" + where + "1" + tail,
               "select u.a as x , COUNT(*) \nfrom T as u \n" + where + "TRUE" + tail});
}

TEST_F(SelectDialectTest, JoinsGroupByHavingSortAndBetween) {
  SelectColumnVector* base = CreateJoinBaseColumnList(pool_);
  AddJoinBaseColumn(base, CreateJoinBaseColumn(nullptr, nullptr, "K", nullptr, 5, 0, pool_));
  SelectColumnVector* ref = CreateJoinRefColumnList(pool_);
  AddJoinRefColumn(ref, CreateJoinRefColumn(nullptr, nullptr, "N", nullptr, 5, 0, pool_));
  AddJoin(query_.get(), CreateJoin("T", "a", "E", "b", JOIN_TYPE_LEFT, base, ref, pool_));
  SetCriteria(query_.get(), CreateCriterion(Column(nullptr, "a", "K", 5), V(15, "1 and 5"), QUERY_OP_BETWEEN, pool_));
  SelectColumnVector* groups = CreateGroupByColumnList(pool_);
  AddGroupByColumn(groups, CreateGroupByColumn("T", nullptr, "NAME", nullptr, 15, 0, pool_));
  Criterion* having = CreateCriterion(Column(nullptr, nullptr, "K", 5, SELECT_FUNCTION_COUNT), V(5, "1"),
                                      QUERY_OP_GREATER, pool_);
  SetGroupBy(query_.get(), CreateGroupBy(groups, having, pool_));
  SelectColumnVector* sorts = CreateSortColumnList(pool_);
  AddSortColumn(sorts, CreateSortColumn(nullptr, "a", "K", nullptr, 5, 0, pool_));
  SetSort(query_.get(), CreateSortSpec(sorts, 0, pool_));
  const std::string rest =
      "where  a.K BETWEEN  1 and 5 group by T.NAME\nhaving  COUNT(K)  >  1 order by a.K  desc ";
  CheckSelect({"select  * from  T a  left join  E b  on a.K = b.N " + rest,
               "select * from  T as a  left join  E as b  on a.K = b.N " + rest,
               "select * from  T as a  left join  E as b  on a.K = b.N " + rest,
               "select * from  T as a  left join  E as b  on a.K = b.N " + rest});
}

TEST_F(SelectDialectTest, NoTablesAndBadJoinTypeGiveNothing) {
  hl::test::LogCapture log;
  CheckSelect({});
  EXPECT_TRUE(log.Has("[ERROR]", "\nNo Tables To Be Selected\n"));
  AddJoin(query_.get(), CreateJoin("T", nullptr, "E", nullptr, 7, nullptr, nullptr, pool_));
  CheckSelect({});
  EXPECT_TRUE(log.Has("[ERROR]", "Invalid Join Type\n"));
}

TEST(QueryGeneratorList, RegisteredInOrderAndFoundWithoutRegardToCase) {
  FreeQueryGeneratorList();
  RegisterAllQueryGenerators();
  EXPECT_EQ(GetQueryGenerator("sqlite"), &SqliteQueryGenerator());
  EXPECT_EQ(GetQueryGenerator("PgSql"), &PgsqlQueryGenerator());
  EXPECT_EQ(GetQueryGenerator("FIREBIRD"), &FirebirdQueryGenerator());
  EXPECT_EQ(GetQueryGenerator("mysql"), &MysqlQueryGenerator());
  EXPECT_EQ(GetQueryGenerator("ORACLE"), nullptr);
  FreeQueryGeneratorList();
  EXPECT_EQ(GetQueryGenerator("sqlite"), nullptr);
}

}  // namespace
}  // namespace tessera
