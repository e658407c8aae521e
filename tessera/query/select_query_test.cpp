#include "tessera/query/select_query.h"

#include <gtest/gtest.h>

#include <cstring>

#include "tessera/db/mem_pool.h"
#include "tests/support/log_capture.h"
#include "tessera/values/sql_data_type.h"

namespace tessera {
namespace {

TEST(SelectQuery, NewQueryIsEmptyWithItsOwnPool) {
  SelectQueryPtr query(CreateSelectQuery());
  ASSERT_TRUE(query);
  EXPECT_NE(query->pool, nullptr);
  EXPECT_EQ(query->columns->count(), 0);
  EXPECT_EQ(query->joins->count(), 0);
  EXPECT_EQ(query->tables->count(), 0);
  EXPECT_EQ(query->criteria, nullptr);
  EXPECT_EQ(query->groupBy, nullptr);
  EXPECT_EQ(query->sort, nullptr);
  EXPECT_EQ(query->limit, 0);
  EXPECT_EQ(query->offset, 0);
}

TEST(SelectQuery, ColumnsAreRefusedWithoutNameOrWithBadType) {
  SelectQueryPtr query(CreateSelectQuery());
  apr_pool_t* pool = query->pool;
  hl::test::LogCapture log;
  EXPECT_EQ(CreateSelectColumn("T", nullptr, nullptr, nullptr, CRV_SQL_INT, SELECT_FUNCTION_NONE, pool), nullptr);
  EXPECT_TRUE(log.Has("[ERROR]", "\nColumn Name is NULL\n"));
  EXPECT_NE(CreateSelectColumn("T", nullptr, nullptr, "n", CRV_SQL_INT, SELECT_FUNCTION_COUNT, pool), nullptr);  // COUNT(*)
  EXPECT_EQ(CreateSelectColumn("T", nullptr, "C", nullptr, CRV_SQL_TEXT, SELECT_FUNCTION_NONE, pool), nullptr);
  EXPECT_TRUE(log.Has("[ERROR]", "\nInvalid Data Type\n"));
  EXPECT_NE(CreateSelectColumn("T", nullptr, "C", nullptr, CRV_SQL_CLOB, SELECT_FUNCTION_NONE, pool), nullptr);
  // The four column lists always need a name.
  EXPECT_EQ(CreateSortColumn("T", nullptr, nullptr, nullptr, CRV_SQL_INT, SELECT_FUNCTION_MAX, pool), nullptr);
  EXPECT_EQ(CreateGroupByColumn("T", nullptr, nullptr, nullptr, CRV_SQL_INT, SELECT_FUNCTION_SUM, pool), nullptr);
  EXPECT_EQ(CreateJoinBaseColumn("T", nullptr, nullptr, nullptr, CRV_SQL_INT, 0, pool), nullptr);
  EXPECT_EQ(CreateJoinRefColumn("T", nullptr, "C", nullptr, 22, 0, pool), nullptr);
}

TEST(SelectQuery, ColumnsCopyTheirTextsIntoThePool) {
  SelectQueryPtr query(CreateSelectQuery());
  char name[] = "NAME";
  SelectColumn* column = CreateSelectColumn("Person", "p", name, "n", CRV_SQL_NCHAR, 0, query->pool);
  ASSERT_NE(column, nullptr);
  name[0] = 'X';
  EXPECT_STREQ(column->columnName, "NAME");
  EXPECT_STREQ(column->tableAlias, "p");
  EXPECT_EQ(column->dataType, CRV_SQL_NCHAR);
  EXPECT_TRUE(AddSelectColumn(query.get(), column));
  EXPECT_FALSE(AddSelectColumn(query.get(), nullptr));
}

TEST(SelectQuery, RemoveSelectColumnMatchesNameAndTableWithoutCase) {
  SelectQueryPtr query(CreateSelectQuery());
  apr_pool_t* pool = query->pool;
  AddSelectColumn(query.get(), CreateSelectColumn("Person", nullptr, "ID", nullptr, CRV_SQL_INT, 0, pool));
  AddSelectColumn(query.get(), CreateSelectColumn(nullptr, nullptr, "NAME", nullptr, CRV_SQL_NCHAR, 0, pool));
  AddSelectColumn(query.get(), CreateSelectColumn("Address", nullptr, "ID", nullptr, CRV_SQL_INT, 0, pool));
  hl::test::LogCapture log;
  EXPECT_FALSE(RemoveSelectColumn(query.get(), "ID", "Order"));
  EXPECT_TRUE(log.Has("[ERROR]", "Invalid Column Name"));
  EXPECT_FALSE(RemoveSelectColumn(query.get(), "ID", nullptr));  // both IDs carry a table name
  EXPECT_TRUE(RemoveSelectColumn(query.get(), "id", "ADDRESS"));
  EXPECT_TRUE(RemoveSelectColumn(query.get(), "name", "anything"));  // no table name on the column
  ASSERT_EQ(query->columns->count(), 1);
  EXPECT_STREQ(query->columns->head()->data->tableName, "Person");
}

TEST(SelectQuery, CriteriaTreesJoinsGroupingAndSort) {
  SelectQueryPtr query(CreateSelectQuery());
  apr_pool_t* pool = query->pool;
  SelectColumn* age = CreateSelectColumn("Person", nullptr, "AGE", nullptr, CRV_SQL_INT, 0, pool);
  int32_t five = 5;
  hl::test::LogCapture log;
  EXPECT_EQ(CreateCriterion(nullptr, &five, 4, QUERY_OP_GREATER, pool), nullptr);
  EXPECT_TRUE(log.Has("[ERROR]", "\nEmpty Column Assigned\n"));
  Criterion* left = CreateCriterion(age, &five, 4, QUERY_OP_GREATER, pool);
  five = 9;  // the criterion holds its own copy
  Criterion* right = CreateCriterion(age, Value::FromText("1 and 5"), QUERY_OP_BETWEEN, pool);
  Criterion* both = AndCriteria(left, right, pool);
  ASSERT_TRUE(left && right && both);
  EXPECT_EQ(left->value->ReadSigned(4), 5);
  EXPECT_EQ(left->length, 4);
  EXPECT_EQ(right->value->bytes(), "1 and 5");
  EXPECT_EQ(both->op, QUERY_OP_AND);
  EXPECT_EQ(left->parent, both);
  EXPECT_EQ(right->parent, both);
  EXPECT_EQ(OrCriteria(left, right, pool)->op, QUERY_OP_OR);
  EXPECT_TRUE(SetCriteria(query.get(), both));

  SelectColumnVector* base = CreateJoinBaseColumnList(pool);
  SelectColumnVector* ref = CreateJoinRefColumnList(pool);
  EXPECT_TRUE(AddJoinBaseColumn(base, CreateJoinBaseColumn(nullptr, nullptr, "ID", nullptr, CRV_SQL_INT, 0, pool)));
  EXPECT_TRUE(AddJoinRefColumn(ref, CreateJoinRefColumn(nullptr, nullptr, "PERSON_ID", nullptr, CRV_SQL_INT, 0, pool)));
  Join* join = CreateJoin("Person", "p", "Address", "a", JOIN_TYPE_LEFT, base, ref, pool);
  ASSERT_TRUE(AddJoin(query.get(), join));
  EXPECT_STREQ(query->joins->head()->data->refAlias, "a");
  EXPECT_TRUE(AddTable(query.get(), CreateTableEntry("Person", nullptr, pool)));
  EXPECT_EQ(query->tables->head()->data->alias, nullptr);

  SelectColumnVector* groupColumns = CreateGroupByColumnList(pool);
  AddGroupByColumn(groupColumns, CreateGroupByColumn("Person", nullptr, "CITY", nullptr, CRV_SQL_NCHAR, 0, pool));
  SelectColumn* counted = CreateSelectColumn("Person", nullptr, "ID", nullptr, CRV_SQL_INT, SELECT_FUNCTION_COUNT, pool);
  int32_t two = 2;
  EXPECT_TRUE(SetGroupBy(query.get(), CreateGroupBy(groupColumns, CreateCriterion(counted, &two, 4, QUERY_OP_GREATER, pool), pool)));
  SelectColumnVector* sortColumns = CreateSortColumnList(pool);
  AddSortColumn(sortColumns, CreateSortColumn("Person", nullptr, "AGE", nullptr, CRV_SQL_INT, 0, pool));
  EXPECT_TRUE(SetSort(query.get(), CreateSortSpec(sortColumns, 0, pool)));
  EXPECT_EQ(query->sort->order, 0);
  EXPECT_EQ(query->groupBy->having->column->function, SELECT_FUNCTION_COUNT);
}

TEST(SelectQuery, WordTables) {
  EXPECT_STREQ(SelectFunctionWord(0), "INVALID TYPE");
  EXPECT_STREQ(SelectFunctionWord(6), "AVG");
  EXPECT_EQ(SelectFunctionWord(7), nullptr);
  EXPECT_STREQ(QueryOperatorWord(0), "INVALID OPERATOR");
  EXPECT_STREQ(QueryOperatorWord(6), "!=");
  EXPECT_STREQ(QueryOperatorWord(10), "BETWEEN");
  EXPECT_EQ(QueryOperatorWord(11), nullptr);
  EXPECT_STREQ(JoinTypeWord(1), "LEFT_JOIN");
  EXPECT_EQ(JoinTypeWord(2), nullptr);
}

TEST(MemPool, ProcessPoolAndChildPools) {
  ASSERT_TRUE(InitializeMemPool());
  apr_pool_t* process = GetProcessMemPool();
  ASSERT_NE(process, nullptr);
  EXPECT_TRUE(InitializeMemPool());
  EXPECT_EQ(GetProcessMemPool(), process);  // a second start keeps the pool
  apr_pool_t* child = CreateChildMemPool();
  ASSERT_NE(child, nullptr);
  char* copy = PoolMemDup(child, "ab\0c", 4);
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(std::memcmp(copy, "ab\0c\0", 5), 0);
  EXPECT_STREQ(PoolStrDup(child, "text"), "text");
  EXPECT_EQ(PoolStrDup(child, nullptr), nullptr);
  EXPECT_EQ(PoolStrDup(nullptr, "x"), nullptr);
  auto* zeros = static_cast<unsigned char*>(PoolAlloc(child, 16));
  ASSERT_NE(zeros, nullptr);
  EXPECT_EQ(zeros[15], 0);
  DestroyMemPool(child);
  // A query made while the store runs lives under the process pool.
  SelectQueryPtr query(CreateSelectQuery());
  ASSERT_TRUE(query);
  query.reset();
  ReleaseMemPool();
  EXPECT_EQ(GetProcessMemPool(), nullptr);
  SelectQueryPtr without(CreateSelectQuery());  // still works with no store started
  EXPECT_TRUE(without);
}

}  // namespace
}  // namespace tessera
