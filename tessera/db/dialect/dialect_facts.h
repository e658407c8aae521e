// The differences between the four SQL dialects, as data: the shared statement builder reads
// one DialectFacts and its few hooks, so a dialect is its table in dialects.cpp, nothing more.
#pragma once

#include <optional>
#include <string>

#include "platform/win32.h"
#include "tessera/schema/table_defn.h"

namespace tessera::dialect {

enum class LimitForm : BYTE {
  FirstSkip,    // "select first %d skip %d ..." (FIREBIRD)
  LimitOffset,  // "... limit %d offset %d" (SQLITE, PGSQL)
  LimitComma,   // "... limit %d , %d" with the offset first (MYSQL)
};

struct DialectFacts {
  const char* name;         // "FIREBIRD", "SQLITE", "MYSQL", "PGSQL"
  const char* tracePrefix;  // "Firebird", "Sqlite", "Mysql", "Pgsql"
  LimitForm limitForm;
  const char* aliasInJoin;       // "%s " or "as %s "
  const char* aliasInTableList;  // " %s " or " as %s "
  const char* trueLiteral;       // booleans in every statement and criterion
  const char* falseLiteral;
  bool escapeBackslash;          // MYSQL: a backslash in a literal is doubled too
  bool quoteEveryUpdateKey;      // MYSQL: every key value of an update is quoted
  bool uniqueOnPrimaryKey;       // UNIQUE also on primary-key columns
  bool indexAfterForeignKey;     // MYSQL: "\tINDEX %s_IDX%d (%s)" after each foreign key
  bool foreignKeyTraces;         // per-group traces of the foreign keys
  bool insertTrace;              // "Insert query is @@@%s\n" after the insert
  const char* insertEnd;         // ");" or ")"
  const char* updateTrace;       // null: none
  const char* createEnd;         // "\n);\n\n" or "\n) ENGINE = InnoDB;\n\n"
  // Entry traces of update, insert, delete and create; null: none.
  const char* updateEntry;
  const char* insertEntry;
  const char* deleteEntry;
  const char* createEntry;
  const char* convEntry;
  // The column type of CREATE TABLE: the definition text (without NOT NULL / UNIQUE / the
  // separator), or nullopt when the dialect has no form for the type.
  std::optional<std::string> (*columnDefinition)(const ColumnDefn& column, const struct DialectFacts& facts);
};

const DialectFacts& FirebirdFacts();
const DialectFacts& SqliteFacts();
const DialectFacts& MysqlFacts();
const DialectFacts& PgsqlFacts();

}  // namespace tessera::dialect
