#include "tessera/query/select_query.h"

#include <string_view>

#include "agent/log/log.h"
#include "tessera/db/mem_pool.h"
#include "tessera/values/string_utils.h"

namespace tessera {
namespace {

const char* const kFunctionWords[] = {"INVALID TYPE", "DISTINCT", "COUNT", "MIN", "MAX", "SUM", "AVG"};
const char* const kOperatorWords[] = {"INVALID OPERATOR", "<", ">", "<=", ">=", "=", "!=", "AND", "OR", "LIKE", "BETWEEN"};
const char* const kJoinWords[] = {"INNER_JOIN", "LEFT_JOIN"};

template <size_t N>
const char* WordAt(const char* const (&words)[N], BYTE index) {
  return index < N ? words[index] : nullptr;
}

// The column shared by every create operation; `nameRequired` for the four column lists.
SelectColumn* MakeColumn(const char* tableName, const char* tableAlias, const char* columnName, const char* columnAlias,
                         BYTE dataType, BYTE function, apr_pool_t* pool, bool nameRequired) {
  if (columnName == nullptr && (nameRequired || function == SELECT_FUNCTION_NONE)) {
    LogError("\nColumn Name is NULL\n");
    return nullptr;
  }
  if (dataType > kMaxSelectColumnType) {
    LogError("\nInvalid Data Type\n");
    return nullptr;
  }
  SelectColumn* column = PoolNew<SelectColumn>(pool);
  if (column == nullptr) return nullptr;
  column->tableName = PoolStrDup(pool, tableName);
  column->tableAlias = PoolStrDup(pool, tableAlias);
  column->columnName = PoolStrDup(pool, columnName);
  column->columnAlias = PoolStrDup(pool, columnAlias);
  column->dataType = dataType;
  column->function = function;
  return column;
}

SelectColumnVector* MakeColumnList(apr_pool_t* pool) { return PoolNew<SelectColumnVector>(pool); }

bool Append(SelectColumnVector* list, SelectColumn* column) {
  return list != nullptr && column != nullptr && list->AddData(column) == 1;
}

Criterion* MakeConnective(Criterion* left, Criterion* right, BYTE op, apr_pool_t* pool) {
  Criterion* node = PoolNew<Criterion>(pool);
  if (node == nullptr) return nullptr;
  node->op = op;
  node->left = left;
  node->right = right;
  if (left) left->parent = node;
  if (right) right->parent = node;
  return node;
}

}  // namespace

const char* SelectFunctionWord(BYTE function) { return WordAt(kFunctionWords, function); }
const char* QueryOperatorWord(BYTE op) { return WordAt(kOperatorWords, op); }
const char* JoinTypeWord(BYTE joinType) { return WordAt(kJoinWords, joinType); }

SelectQuery* CreateSelectQuery() {
  apr_pool_t* pool = CreateChildMemPool();
  SelectQuery* query = PoolNew<SelectQuery>(pool);
  if (query != nullptr) {
    query->pool = pool;
    query->columns = MakeColumnList(pool);
    query->joins = PoolNew<Vector<Join*>>(pool);
    query->tables = PoolNew<Vector<TableEntry*>>(pool);
  }
  if (query == nullptr || !query->columns || !query->joins || !query->tables) {
    LogError("\nMEMORY ALLOCATION FOR SELECTQUERYPTR FAILED\n");
    DestroyMemPool(pool);
    return nullptr;
  }
  return query;
}

void FreeSelectQuery(SelectQuery* query) {
  if (query != nullptr) DestroyMemPool(query->pool);
}

SelectColumn* CreateSelectColumn(const char* tableName, const char* tableAlias, const char* columnName,
                                 const char* columnAlias, BYTE dataType, BYTE function, apr_pool_t* pool) {
  return MakeColumn(tableName, tableAlias, columnName, columnAlias, dataType, function, pool, false);
}

bool AddSelectColumn(SelectQuery* query, SelectColumn* column) {
  return query != nullptr && Append(query->columns, column);
}

bool RemoveSelectColumn(SelectQuery* query, const char* columnName, const char* tableName) {
  if (query != nullptr && query->columns != nullptr && columnName != nullptr) {
    SelectColumn** found = query->columns->FindFirst([&](SelectColumn* c) {
      if (c == nullptr || c->columnName == nullptr || !EqualsIgnoreCase(c->columnName, columnName)) return false;
      return c->tableName == nullptr || (tableName != nullptr && EqualsIgnoreCase(c->tableName, tableName));
    });
    if (found != nullptr) return query->columns->DeleteLCDVector(*found);
  }
  LogError("Invalid Column Name");
  return false;
}

Criterion* CreateCriterion(SelectColumn* column, const Value& value, BYTE op, apr_pool_t* pool) {
  if (column == nullptr) {
    LogError("\nEmpty Column Assigned\n");
    return nullptr;
  }
  Criterion* criterion = PoolNew<Criterion>(pool);
  const Value* copy = criterion ? PoolNew<Value>(pool, value) : nullptr;
  if (copy == nullptr) return nullptr;
  criterion->column = column;
  criterion->value = copy;
  criterion->length = copy->length();
  criterion->op = op;
  return criterion;
}

Criterion* CreateCriterion(SelectColumn* column, const void* value, int32_t length, BYTE op, apr_pool_t* pool) {
  if (column == nullptr) {
    LogError("\nEmpty Column Assigned\n");
    return nullptr;
  }
  return CreateCriterion(column, Value::FromBytes(value, length), op, pool);
}

bool SetCriteria(SelectQuery* query, Criterion* criterion) {
  if (query == nullptr) return false;
  query->criteria = criterion;
  return true;
}

Criterion* AndCriteria(Criterion* left, Criterion* right, apr_pool_t* pool) {
  return MakeConnective(left, right, QUERY_OP_AND, pool);
}

Criterion* OrCriteria(Criterion* left, Criterion* right, apr_pool_t* pool) {
  return MakeConnective(left, right, QUERY_OP_OR, pool);
}

Join* CreateJoin(const char* baseTable, const char* baseAlias, const char* refTable, const char* refAlias, BYTE joinType,
                 SelectColumnVector* baseColumns, SelectColumnVector* refColumns, apr_pool_t* pool) {
  Join* join = PoolNew<Join>(pool);
  if (join == nullptr) return nullptr;
  join->baseTable = PoolStrDup(pool, baseTable);
  join->baseAlias = PoolStrDup(pool, baseAlias);
  join->refTable = PoolStrDup(pool, refTable);
  join->refAlias = PoolStrDup(pool, refAlias);
  join->joinType = joinType;
  join->baseColumns = baseColumns;
  join->refColumns = refColumns;
  return join;
}

bool AddJoin(SelectQuery* query, Join* join) {
  return query != nullptr && join != nullptr && query->joins->AddData(join) == 1;
}

TableEntry* CreateTableEntry(const char* tableName, const char* alias, apr_pool_t* pool) {
  TableEntry* entry = PoolNew<TableEntry>(pool);
  if (entry == nullptr) return nullptr;
  entry->tableName = PoolStrDup(pool, tableName);
  entry->alias = PoolStrDup(pool, alias);
  return entry;
}

bool AddTable(SelectQuery* query, TableEntry* entry) {
  return query != nullptr && entry != nullptr && query->tables->AddData(entry) == 1;
}

GroupBy* CreateGroupBy(SelectColumnVector* columns, Criterion* having, apr_pool_t* pool) {
  GroupBy* groupBy = PoolNew<GroupBy>(pool);
  if (groupBy == nullptr) return nullptr;
  groupBy->columns = columns;
  groupBy->having = having;
  return groupBy;
}

bool SetGroupBy(SelectQuery* query, GroupBy* groupBy) {
  if (query == nullptr) return false;
  query->groupBy = groupBy;
  return true;
}

SortSpec* CreateSortSpec(SelectColumnVector* columns, BYTE order, apr_pool_t* pool) {
  SortSpec* sort = PoolNew<SortSpec>(pool);
  if (sort == nullptr) return nullptr;
  sort->columns = columns;
  sort->order = order;
  return sort;
}

bool SetSort(SelectQuery* query, SortSpec* sort) {
  if (query == nullptr) return false;
  query->sort = sort;
  return true;
}

SelectColumnVector* CreateJoinBaseColumnList(apr_pool_t* pool) { return MakeColumnList(pool); }
SelectColumnVector* CreateJoinRefColumnList(apr_pool_t* pool) { return MakeColumnList(pool); }
SelectColumnVector* CreateGroupByColumnList(apr_pool_t* pool) { return MakeColumnList(pool); }
SelectColumnVector* CreateSortColumnList(apr_pool_t* pool) { return MakeColumnList(pool); }

SelectColumn* CreateJoinBaseColumn(const char* tableName, const char* tableAlias, const char* columnName,
                                   const char* columnAlias, BYTE dataType, BYTE function, apr_pool_t* pool) {
  return MakeColumn(tableName, tableAlias, columnName, columnAlias, dataType, function, pool, true);
}
SelectColumn* CreateJoinRefColumn(const char* tableName, const char* tableAlias, const char* columnName,
                                  const char* columnAlias, BYTE dataType, BYTE function, apr_pool_t* pool) {
  return MakeColumn(tableName, tableAlias, columnName, columnAlias, dataType, function, pool, true);
}
SelectColumn* CreateGroupByColumn(const char* tableName, const char* tableAlias, const char* columnName,
                                  const char* columnAlias, BYTE dataType, BYTE function, apr_pool_t* pool) {
  return MakeColumn(tableName, tableAlias, columnName, columnAlias, dataType, function, pool, true);
}
SelectColumn* CreateSortColumn(const char* tableName, const char* tableAlias, const char* columnName,
                               const char* columnAlias, BYTE dataType, BYTE function, apr_pool_t* pool) {
  return MakeColumn(tableName, tableAlias, columnName, columnAlias, dataType, function, pool, true);
}

bool AddJoinBaseColumn(SelectColumnVector* list, SelectColumn* column) { return Append(list, column); }
bool AddJoinRefColumn(SelectColumnVector* list, SelectColumn* column) { return Append(list, column); }
bool AddGroupByColumn(SelectColumnVector* list, SelectColumn* column) { return Append(list, column); }
bool AddSortColumn(SelectColumnVector* list, SelectColumn* column) { return Append(list, column); }

}  // namespace tessera
