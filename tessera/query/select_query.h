// The select query model: a tree of records describing one SQL SELECT, and the builder
// operations that assemble it. Every record, text and list of a query is allocated from the
// memory pool the query owns; FreeSelectQuery destroys the pool and with it everything in it.
#pragma once

#include <cstdint>
#include <memory>

#include "tessera/values/apr_headers.h"

#include "platform/win32.h"
#include "tessera/values/value.h"
#include "tessera/values/vector.h"

namespace tessera {

// SelectColumn::function: index into the function table.
enum SelectFunction : BYTE {
  SELECT_FUNCTION_NONE = 0,  // plain column ("INVALID TYPE")
  SELECT_FUNCTION_DISTINCT = 1,
  SELECT_FUNCTION_COUNT = 2,
  SELECT_FUNCTION_MIN = 3,
  SELECT_FUNCTION_MAX = 4,
  SELECT_FUNCTION_SUM = 5,
  SELECT_FUNCTION_AVG = 6,
};

// Criterion::op: index into the operator table (1-8 as the criteria language, 9 LIKE, 10 BETWEEN).
enum QueryOperator : BYTE {
  QUERY_OP_INVALID = 0,
  QUERY_OP_LESS = 1,
  QUERY_OP_GREATER = 2,
  QUERY_OP_LESS_EQUAL = 3,
  QUERY_OP_GREATER_EQUAL = 4,
  QUERY_OP_EQUAL = 5,
  QUERY_OP_NOT_EQUAL = 6,
  QUERY_OP_AND = 7,
  QUERY_OP_OR = 8,
  QUERY_OP_LIKE = 9,
  QUERY_OP_BETWEEN = 10,
};

enum JoinType : BYTE {
  JOIN_TYPE_INNER = 0,
  JOIN_TYPE_LEFT = 1,
};

// The largest data type a select column accepts.
inline constexpr BYTE kMaxSelectColumnType = 21;

// The SQL words of the two tables; an index outside the table gives null.
const char* SelectFunctionWord(BYTE function);   // "INVALID TYPE", "DISTINCT", "COUNT", ...
const char* QueryOperatorWord(BYTE op);          // "INVALID OPERATOR", "<", ..., "BETWEEN"
const char* JoinTypeWord(BYTE joinType);         // "INNER_JOIN", "LEFT_JOIN"

struct SelectColumn {
  const char* tableName = nullptr;   // pool texts, or null
  const char* tableAlias = nullptr;
  const char* columnName = nullptr;
  const char* columnAlias = nullptr;
  BYTE dataType = 0;  // SqlDataType, 0-21
  BYTE function = SELECT_FUNCTION_NONE;
};

using SelectColumnVector = Vector<SelectColumn*>;

struct TableEntry {
  const char* tableName = nullptr;
  const char* alias = nullptr;
};

struct Join {
  const char* baseTable = nullptr;
  const char* baseAlias = nullptr;
  const char* refTable = nullptr;
  const char* refAlias = nullptr;
  BYTE joinType = JOIN_TYPE_INNER;
  SelectColumnVector* baseColumns = nullptr;  // the n-th base column joins the n-th reference column
  SelectColumnVector* refColumns = nullptr;
};

// One node of the WHERE tree: a leaf (column, value, comparison) or an AND / OR node.
struct Criterion {
  SelectColumn* column = nullptr;  // null for AND / OR nodes
  const Value* value = nullptr;    // pool copy in the column type's in-memory form; BETWEEN: a text
  int32_t length = 0;
  BYTE op = QUERY_OP_INVALID;
  Criterion* left = nullptr;
  Criterion* right = nullptr;
  Criterion* parent = nullptr;
};

struct GroupBy {
  SelectColumnVector* columns = nullptr;
  Criterion* having = nullptr;  // a leaf whose column carries the aggregate function
};

struct SortSpec {
  SelectColumnVector* columns = nullptr;
  BYTE order = 1;  // nonzero ascending, 0 descending
};

struct SelectQuery {
  apr_pool_t* pool = nullptr;
  SelectColumnVector* columns = nullptr;  // empty: all columns
  Vector<Join*>* joins = nullptr;
  Criterion* criteria = nullptr;
  GroupBy* groupBy = nullptr;
  SortSpec* sort = nullptr;
  Vector<TableEntry*>* tables = nullptr;
  int32_t limit = 0;   // 0: none
  int32_t offset = 0;  // 0: none
};

// A new empty query with its own pool (under the process-wide pool); null with
// "\nMEMORY ALLOCATION FOR SELECTQUERYPTR FAILED\n" on failure.
SelectQuery* CreateSelectQuery();
// Destroys the query's pool and everything in it (the query record too).
void FreeSelectQuery(SelectQuery* query);

// Owns a query and frees it at the end of its scope.
struct SelectQueryDeleter {
  void operator()(SelectQuery* query) const { FreeSelectQuery(query); }
};
using SelectQueryPtr = std::unique_ptr<SelectQuery, SelectQueryDeleter>;

// A column. Refused without a column name for function 0 ("\nColumn Name is NULL\n") and for a
// data type above 21 ("\nInvalid Data Type\n").
SelectColumn* CreateSelectColumn(const char* tableName, const char* tableAlias, const char* columnName,
                                 const char* columnAlias, BYTE dataType, BYTE function, apr_pool_t* pool);
bool AddSelectColumn(SelectQuery* query, SelectColumn* column);
// Removes the first selected column with that column name and, when the column has a table
// name, that table name (both without regard to case); false with "Invalid Column Name" when
// none matches.
bool RemoveSelectColumn(SelectQuery* query, const char* columnName, const char* tableName);

// A leaf over a copy of `length` bytes of `value`; refused without a column ("\nEmpty Column
// Assigned\n").
Criterion* CreateCriterion(SelectColumn* column, const void* value, int32_t length, BYTE op, apr_pool_t* pool);
// A leaf over a copy of a value in any in-memory form (date/time values too).
Criterion* CreateCriterion(SelectColumn* column, const Value& value, BYTE op, apr_pool_t* pool);
bool SetCriteria(SelectQuery* query, Criterion* criterion);
// A node with operator 7 / 8 over the two criteria (both children get it as parent).
Criterion* AndCriteria(Criterion* left, Criterion* right, apr_pool_t* pool);
Criterion* OrCriteria(Criterion* left, Criterion* right, apr_pool_t* pool);

Join* CreateJoin(const char* baseTable, const char* baseAlias, const char* refTable, const char* refAlias, BYTE joinType,
                 SelectColumnVector* baseColumns, SelectColumnVector* refColumns, apr_pool_t* pool);
bool AddJoin(SelectQuery* query, Join* join);
TableEntry* CreateTableEntry(const char* tableName, const char* alias, apr_pool_t* pool);
bool AddTable(SelectQuery* query, TableEntry* entry);
GroupBy* CreateGroupBy(SelectColumnVector* columns, Criterion* having, apr_pool_t* pool);
bool SetGroupBy(SelectQuery* query, GroupBy* groupBy);
SortSpec* CreateSortSpec(SelectColumnVector* columns, BYTE order, apr_pool_t* pool);
bool SetSort(SelectQuery* query, SortSpec* sort);

// The column lists of joins (base and reference columns), group-by and sort: an empty list in
// the pool, a column (a column name is always required), and appending a column.
SelectColumnVector* CreateJoinBaseColumnList(apr_pool_t* pool);
SelectColumn* CreateJoinBaseColumn(const char* tableName, const char* tableAlias, const char* columnName,
                                   const char* columnAlias, BYTE dataType, BYTE function, apr_pool_t* pool);
bool AddJoinBaseColumn(SelectColumnVector* list, SelectColumn* column);
SelectColumnVector* CreateJoinRefColumnList(apr_pool_t* pool);
SelectColumn* CreateJoinRefColumn(const char* tableName, const char* tableAlias, const char* columnName,
                                  const char* columnAlias, BYTE dataType, BYTE function, apr_pool_t* pool);
bool AddJoinRefColumn(SelectColumnVector* list, SelectColumn* column);
SelectColumnVector* CreateGroupByColumnList(apr_pool_t* pool);
SelectColumn* CreateGroupByColumn(const char* tableName, const char* tableAlias, const char* columnName,
                                  const char* columnAlias, BYTE dataType, BYTE function, apr_pool_t* pool);
bool AddGroupByColumn(SelectColumnVector* list, SelectColumn* column);
SelectColumnVector* CreateSortColumnList(apr_pool_t* pool);
SelectColumn* CreateSortColumn(const char* tableName, const char* tableAlias, const char* columnName,
                               const char* columnAlias, BYTE dataType, BYTE function, apr_pool_t* pool);
bool AddSortColumn(SelectColumnVector* list, SelectColumn* column);

}  // namespace tessera
