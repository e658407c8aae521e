// The ODBC provider: the DBProvider "ODBC" over the unixODBC driver manager, and the creation
// of data sources through the ODBC installer.
#pragma once

#include "tessera/db/connection.h"

namespace tessera {

// The provider table: "ODBC", Connect, ExecuteUpdate, ExecuteQuery, Disconnect, the three
// transaction operations, ExecuteUpdateBlob, ExecuteQueryBlob.
const DBProvider& OdbcProvider();
// Adds the table to the provider registry.
void RegisterOdbcProvider();

// The connection string Connect passes to SQLDriverConnect, e.g. "DSN=x;UID=y;;Driver={ODBC}".
std::string OdbcConnectionString(const ConnParams& params);

ConnectionHandlePtr ODBCConnect(const ConnParams* params);
BOOL ODBCExecuteUpdate(ConnectionHandle* handle, const char* sql);
ResultSetPtr ODBCExecuteQuery(ConnectionHandle* handle, const char* sql);
bool ODBCDisconnect(ConnectionHandle* handle);
bool ODBCBeginTransaction(ConnectionHandle* handle);
bool ODBCCommitTransaction(ConnectionHandle* handle);
bool ODBCRollbackTransaction(ConnectionHandle* handle);
BOOL ODBCExecuteUpdateBlob(ConnectionHandle* handle, const char* sql, ChunkSupplier supplier, void* context);
ResultSetPtr ODBCExecuteQueryBlob(ConnectionHandle* handle, const char* sql, ChunkConsumer consumer, void* context);

// Reads "name description server uid pwd database driver..." lines and creates each DSN;
// false only when the file cannot be opened.
bool CreateDSNFromFile(const char* path);
// SQLConfigDataSource(ODBC_ADD_DSN) with "DSN=..;DESCRIPTION=..;SERVER=..;UID=..;PWD=..;
// DATABASE=..;", leaving out values that are "NULL" (any case).
bool CreateDSN(const char* dsnName, const char* description, const char* server, const char* uid, const char* pwd,
               const char* database, const char* driverName);

}  // namespace tessera
