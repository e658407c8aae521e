#include "tessera/db/db_dispatch.h"

#include <cctype>

#include "agent/log/log.h"
#include "tessera/db/conn_params.h"
#include "tessera/db/connection_pool.h"
#include "tessera/db/data_source_map.h"
#include "tessera/db/db_provider.h"
#include "tessera/schema/data_dictionary.h"

namespace tessera {
namespace {

const DBProvider* ProviderOf(const ConnectionHandle* handle) { return GetActiveProvider(handle->providerIndex); }

std::optional<std::string> Logged(const char* format, std::optional<std::string> sql) {
  LogDebug(format, sql ? sql->c_str() : "(null)");
  return sql;
}

}  // namespace

BOOL ExecuteUpdate(ConnectionHandle* handle, const char* sql) {
  if (handle == nullptr) {
    LogError("ConnectionHandle NULL in ExecuteUpdate for Query %s \n", sql ? sql : "(null)");
    return 0;
  }
  if (sql == nullptr) {
    LogError(" No Query To be Updated \n");
    return 0;
  }
  const DBProvider* provider = ProviderOf(handle);
  return provider ? provider->executeUpdate(handle, sql) : 0;
}

BOOL ExecuteUpdateBlob(ConnectionHandle* handle, const char* sql, ChunkSupplier supplier, void* context) {
  if (handle == nullptr) {
    LogError("ConnectionHandle NULL in ExecuteUpdateBlob for Query %s \n", sql ? sql : "(null)");
    return 0;
  }
  if (sql == nullptr) {
    LogError(" No Query To be Updated \n");
    return 0;
  }
  const DBProvider* provider = ProviderOf(handle);
  return provider ? provider->executeUpdateBlob(handle, sql, supplier, context) : 0;
}

ResultSetPtr ExecuteQuery(ConnectionHandle* handle, const char* sql) {
  if (handle == nullptr) {
    LogError("ConnectionHandle NULL in ExecuteQuery for Query %s \n", sql ? sql : "(null)");
    return nullptr;
  }
  if (sql == nullptr) {
    LogError(" No Query To be Executed \n");
    return nullptr;
  }
  const DBProvider* provider = ProviderOf(handle);
  return provider ? provider->executeQuery(handle, sql) : nullptr;
}

ResultSetPtr ExecuteQueryBlob(ConnectionHandle* handle, const char* sql, ChunkConsumer consumer, void* context) {
  if (handle == nullptr) {
    LogError("ConnectionHandle NULL in ExecuteQueryBlob for Query %s \n", sql ? sql : "(null)");
    return nullptr;
  }
  if (sql == nullptr) {
    LogError(" No Query To be Executed \n");
    return nullptr;
  }
  const DBProvider* provider = ProviderOf(handle);
  return provider ? provider->executeQueryBlob(handle, sql, consumer, context) : nullptr;
}

bool BeginTransaction(ConnectionHandle* handle) {
  if (handle == nullptr) return false;
  const DBProvider* provider = ProviderOf(handle);
  if (provider == nullptr || !provider->beginTransaction(handle)) return false;
  handle->inTransaction = 1;
  return true;
}

bool CommitTransaction(ConnectionHandle* handle) {
  if (handle == nullptr || handle->inTransaction != 1) return false;
  const DBProvider* provider = ProviderOf(handle);
  handle->inTransaction = 0;
  return provider != nullptr && provider->commitTransaction(handle);
}

bool RollbackTransaction(ConnectionHandle* handle) {
  if (handle == nullptr || handle->inTransaction != 1) return false;
  const DBProvider* provider = ProviderOf(handle);
  handle->inTransaction = 0;
  return provider != nullptr && provider->rollbackTransaction(handle);
}

const QueryGenerator* GeneratorForTable(const char* tableName) {
  const char* dialect = nullptr;
  if (IsDSNMapValid()) {
    const DataSourceMapEntry* entry = GetDataSourceMapEntry(tableName);
    if (entry == nullptr) {
      LogError("No DataSourceMap Entry for Table name %s \n", tableName ? tableName : "(null)");
      return nullptr;
    }
    const ConnParams* params = GetConnParams(entry->connectionName.c_str());
    if (params == nullptr) {
      LogError("dbConnPtr is NULL for Connection Name %s \n", entry->connectionName);
      return nullptr;
    }
    dialect = params->dbType.c_str();
  } else {
    dialect = DialectNameAt(GetDialectIndex());
  }
  return GetQueryGenerator(dialect);
}

std::optional<std::string> GenerateSelectQuery(const SelectQuery* query) {
  const char* table = nullptr;
  if (query != nullptr && query->tables != nullptr && !query->tables->empty())
    table = query->tables->head()->data->tableName;
  else if (query != nullptr && query->joins != nullptr && !query->joins->empty())
    table = query->joins->head()->data->baseTable;
  if (table == nullptr) {
    LogError("No Tables selected in select query.\n");
    return std::nullopt;
  }
  const QueryGenerator* generator = GeneratorForTable(table);
  return Logged("Generated Select Query: %s\n", generator ? generator->genSelectQuery(query) : std::nullopt);
}

std::optional<std::string> GenerateUpdateQuery(const char* tableName, const RowObject* row) {
  const QueryGenerator* generator = GeneratorForTable(tableName);
  return Logged("Generated Update Query: %s\n", generator ? generator->genUpdateQuery(tableName, row) : std::nullopt);
}

std::optional<std::string> GenerateInsertQuery(const char* tableName, const RowObject* row) {
  const QueryGenerator* generator = GeneratorForTable(tableName);
  return Logged("Generated Insert Query: %s\n", generator ? generator->genInsertQuery(tableName, row) : std::nullopt);
}

std::optional<std::string> GenerateDeleteQuery(const char* tableName, const RowObject* row) {
  const QueryGenerator* generator = GeneratorForTable(tableName);
  return Logged("Generated Delete Query: %s\n", generator ? generator->genDeleteQuery(tableName, row) : std::nullopt);
}

std::optional<std::string> GenerateCreateTableQuery(const char* tableName) {
  const QueryGenerator* generator = GeneratorForTable(tableName);
  return Logged("Generated Create Table Query: %s\n", generator ? generator->genCreateQuery(tableName) : std::nullopt);
}

std::unique_ptr<RowObject> ConvResultsetToRowobject(const ResultSet* resultSet, const char* dbType,
                                                    const char* tableName) {
  const QueryGenerator* generator = GetQueryGenerator(dbType);
  return generator ? generator->convResultsetToRowobject(resultSet, tableName) : nullptr;
}

bool CreateTable(const char* tableName, const char* connectionName) {
  std::optional<std::string> sql = GenerateCreateTableQuery(tableName);
  ConnectionHandle* handle = GetConnectionHandle(connectionName);
  BOOL created = ExecuteUpdate(handle, sql ? sql->c_str() : nullptr);
  ReleaseConnectionHandle(connectionName);
  return created != 0;
}

bool CreateAllTables() {
  std::vector<std::string> names;
  for (const auto& table : GetDataDictionary()) names.push_back(table->name);
  for (const std::string& name : names) {
    // An unmapped table lives on the default connection (the first pool, named, so that it is
    // found when there are several pools).
    const DataSourceMapEntry* entry = GetDataSourceMapEntry(name.c_str());
    const char* connection = entry ? entry->connectionName.c_str() : GetDefaultConnectionName();
    if (!CreateTable(name.c_str(), connection)) return false;
  }
  return true;
}

bool CreateDB(const char* name) {
  LogTrace("@@ Inside CreateDB @@\n");
  if (name == nullptr) return false;
  std::string_view text(name);
  bool plain = !text.empty();
  for (char c : text) plain = plain && (std::isalnum(static_cast<unsigned char>(c)) || c == '_');
  if (text.size() > static_cast<size_t>(kMaxDatabaseNameLength) || !plain) {
    LogError("Cannot create database %s: a name has 1 to %d letters, digits or '_'.\n", name,
             kMaxDatabaseNameLength);
    return false;
  }
  ConnectionHandle* handle = GetConnectionHandle(nullptr);
  if (handle == nullptr) {
    LogError("Cannot create DB.  Connection not established.\n");
    return false;
  }
  std::string sql = hl::Sprintf("create database %s", name);
  BOOL created = ExecuteUpdate(handle, sql.c_str());
  ReleaseConnectionHandle(nullptr);
  if (!created) {
    LogError("Cannot create database %s.\n", name);
    return false;
  }
  return true;
}

}  // namespace tessera
