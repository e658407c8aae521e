// QueryGenerator: the table of SQL builders of one dialect, and the process-wide generator list.
//
//   RegisterAllQueryGenerators();                       // PGSQL, MYSQL, SQLITE, FIREBIRD
//   const QueryGenerator* sqlite = GetQueryGenerator("sqlite");
//   std::optional<std::string> sql = sqlite->genInsertQuery("T", row);
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "tessera/db/result_set.h"
#include "tessera/query/select_query.h"
#include "tessera/table/row_object.h"

namespace tessera {

struct QueryGenerator {
  const char* name;  // "FIREBIRD", "SQLITE", "MYSQL", "PGSQL"
  std::optional<std::string> (*genSelectQuery)(const SelectQuery* query);
  std::optional<std::string> (*genUpdateQuery)(const char* tableName, const RowObject* row);
  std::optional<std::string> (*genInsertQuery)(const char* tableName, const RowObject* row);
  std::optional<std::string> (*genDeleteQuery)(const char* tableName, const RowObject* row);
  std::optional<std::string> (*genCreateQuery)(const char* tableName);
  std::unique_ptr<RowObject> (*convResultsetToRowobject)(const ResultSet* resultSet, const char* tableName);
};

// The four dialects' tables.
const QueryGenerator& FirebirdQueryGenerator();
const QueryGenerator& SqliteQueryGenerator();
const QueryGenerator& MysqlQueryGenerator();
const QueryGenerator& PgsqlQueryGenerator();

// Appends a table to the generator list.
void RegisterQueryGenerator(const QueryGenerator& generator);
// Registers the four in the order PGSQL, MYSQL, SQLITE, FIREBIRD.
void RegisterAllQueryGenerators();
// The first generator whose name matches without regard to case; null when none.
const QueryGenerator* GetQueryGenerator(const char* dialectName);
void FreeQueryGeneratorList();

}  // namespace tessera
