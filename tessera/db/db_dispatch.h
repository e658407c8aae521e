// The store's way to its databases: statements, transactions and statement generation, each
// dispatched to the provider of the handle or the dialect of the table.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "tessera/db/connection.h"
#include "tessera/db/query_generator.h"

namespace tessera {

// Nonzero on success; 0 without handle or text (logged), or when the handle's provider is gone.
BOOL ExecuteUpdate(ConnectionHandle* handle, const char* sql);
BOOL ExecuteUpdateBlob(ConnectionHandle* handle, const char* sql, ChunkSupplier supplier, void* context);
ResultSetPtr ExecuteQuery(ConnectionHandle* handle, const char* sql);
ResultSetPtr ExecuteQueryBlob(ConnectionHandle* handle, const char* sql, ChunkConsumer consumer, void* context);

bool BeginTransaction(ConnectionHandle* handle);
// False without reaching the provider unless a transaction was begun on the handle.
bool CommitTransaction(ConnectionHandle* handle);
bool RollbackTransaction(ConnectionHandle* handle);

// The generator of a table's dialect: in DSN-map mode through the table's connection, else the
// dialect selected by SetDSNMapValid. Null (logged) when none can be found.
const QueryGenerator* GeneratorForTable(const char* tableName);

std::optional<std::string> GenerateSelectQuery(const SelectQuery* query);
std::optional<std::string> GenerateUpdateQuery(const char* tableName, const RowObject* row);
std::optional<std::string> GenerateInsertQuery(const char* tableName, const RowObject* row);
std::optional<std::string> GenerateDeleteQuery(const char* tableName, const RowObject* row);
std::optional<std::string> GenerateCreateTableQuery(const char* tableName);
std::unique_ptr<RowObject> ConvResultsetToRowobject(const ResultSet* resultSet, const char* dbType,
                                                    const char* tableName);

// Creates every dictionary table on its connection; false at the first failure (which is how
// an existing database is recognised).
bool CreateAllTables();
bool CreateTable(const char* tableName, const char* connectionName);

// The longest database name "create database %s" takes.
inline constexpr int32_t kMaxDatabaseNameLength = 19;
// Runs "create database <name>" on the default connection. Names longer than 19 characters or
// with characters other than letters, digits and '_' are refused.
bool CreateDB(const char* name);

}  // namespace tessera
