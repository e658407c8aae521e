#include "tessera/db/sql_escape.h"

#include "tessera/db/conn_params.h"
#include "tessera/db/data_source_map.h"
#include "tessera/db/dialect/dialect_facts.h"
#include "tessera/db/dialect/sql_literal.h"
#include "tessera/values/string_utils.h"

namespace tessera {

std::string EscapeSqlLiteral(std::string_view text, const char* dbType) {
  const bool mysql = dbType != nullptr && EqualsIgnoreCase(dbType, "MYSQL");
  return dialect::EscapeLiteral(text, mysql ? dialect::MysqlFacts() : dialect::PgsqlFacts());
}

const char* DialectOfTable(const char* tableName) {
  if (IsDSNMapValid()) {
    const DataSourceMapEntry* entry = tableName ? GetDataSourceMapEntry(tableName) : nullptr;
    const char* connection = entry ? entry->connectionName.c_str() : GetDefaultConnectionName();
    const ConnParams* params = connection ? GetConnParams(connection) : nullptr;
    return params ? params->dbType.c_str() : nullptr;
  }
  return DialectNameAt(GetDialectIndex());
}

}  // namespace tessera
