// Connect, Disconnect and the provider table.
#include "agent/log/log.h"
#include "tessera/db/db_provider.h"
#include "tessera/db/odbc/odbc_connection.h"
#include "tessera/db/odbc/odbc_provider.h"
#include "tessera/db/tessera_root.h"

namespace tessera {
namespace odbc {

std::string FirstDiagnostic(SQLSMALLINT handleType, SQLHANDLE handle) {
  SQLCHAR state[6] = {0};
  SQLCHAR message[256] = {0};
  SQLINTEGER native = 0;
  SQLSMALLINT length = 0;
  if (!Succeeded(SQLGetDiagRec(handleType, handle, 1, state, &native, message, sizeof message, &length))) return {};
  return std::string(reinterpret_cast<char*>(state)) + " " + reinterpret_cast<char*>(message);
}

BYTE StoreTypeOfOdbcType(SQLSMALLINT odbcType) {
  switch (odbcType) {
    case SQL_BIGINT: return 7;
    case SQL_SMALLINT: return 3;
    case SQL_INTEGER: return 5;
    case SQL_FLOAT: return 9;
    case SQL_DOUBLE: return 10;
    case SQL_CHAR: return 14;
    case SQL_VARCHAR: return 15;
    case SQL_LONGVARCHAR: return 20;
    case SQL_DATE: case SQL_TYPE_DATE: return 16;
    case SQL_TIME: case SQL_TYPE_TIME: return 17;
    case SQL_TIMESTAMP: case SQL_TYPE_TIMESTAMP: return 18;
    case SQL_BINARY: case SQL_VARBINARY: case SQL_LONGVARBINARY: return 20;
    case SQL_TINYINT: return 19;
    case SQL_NUMERIC: return 13;
    default: return 0;
  }
}

}  // namespace odbc

std::string OdbcConnectionString(const ConnParams& params) {
  if (params.useConnectionString == 1) {
    // "%TESSERA_DATA%" stands for the data directory, so that a connection string can name a
    // database file inside it wherever the store is installed.
    std::string text = params.connectionString.value_or("");
    const std::string token = "%TESSERA_DATA%";
    const char* root = GetTesseraRoot();
    for (size_t at = text.find(token); root != nullptr && at != std::string::npos; at = text.find(token, at)) {
      std::string data = std::string(root) + "/data";
      text.replace(at, token.size(), data);
      at += data.size();
    }
    return text;
  }
  std::string text;
  if (!params.dsn.empty()) text += "DSN=" + params.dsn;
  text += ";";
  if (!params.uid.empty()) text += "UID=" + params.uid;
  text += ";";
  if (params.pwd) text += "PWD=" + *params.pwd;
  text += ";";
  if (!params.providerName.empty()) text += "Driver={" + params.providerName + "}";
  return text;
}

ConnectionHandlePtr ODBCConnect(const ConnParams* params) {
  if (params == nullptr || params->dsn.empty()) {
    LogError("ODBC connection Parameter missing\n");
    return nullptr;
  }
  auto connection = std::make_unique<odbc::OdbcConnection>();
  if (!odbc::Succeeded(SQLAllocEnv(&connection->env))) {
    LogError("Allocating Env Handle failed\n");
    return nullptr;
  }
  if (!odbc::Succeeded(SQLAllocConnect(connection->env, &connection->dbc))) {
    LogError("Allocating connection Handle failed\n");
    SQLFreeHandle(SQL_HANDLE_ENV, connection->env);
    return nullptr;
  }
  std::string text = OdbcConnectionString(*params);
  SQLCHAR out[1025] = {0};
  SQLSMALLINT outLength = 0;
  SQLRETURN rc = SQLDriverConnect(connection->dbc, SQLHWND{}, reinterpret_cast<SQLCHAR*>(text.data()),
                                  static_cast<SQLSMALLINT>(text.size()), out, sizeof out, &outLength,
                                  SQL_DRIVER_NOPROMPT);
  if (!odbc::Succeeded(rc)) {
    LogError("Connecting to driver failed\n");
    std::string diagnostic = odbc::FirstDiagnostic(SQL_HANDLE_DBC, connection->dbc);
    if (!diagnostic.empty()) LogError("ODBC: %s\n", diagnostic);
    SQLFreeHandle(SQL_HANDLE_DBC, connection->dbc);
    SQLFreeHandle(SQL_HANDLE_ENV, connection->env);
    return nullptr;
  }
  auto handle = std::make_unique<ConnectionHandle>();
  handle->providerData = std::move(connection);
  handle->connectionName = params->connectionName;
  return handle;
}

bool ODBCDisconnect(ConnectionHandle* handle) {
  odbc::OdbcConnection* connection = odbc::ConnectionOf(handle);
  if (connection == nullptr) return false;
  SQLDisconnect(connection->dbc);
  SQLFreeHandle(SQL_HANDLE_DBC, connection->dbc);
  SQLFreeHandle(SQL_HANDLE_ENV, connection->env);
  handle->providerData.reset();
  return true;
}

const DBProvider& OdbcProvider() {
  static const DBProvider provider{"ODBC",
                                   ODBCConnect,
                                   ODBCExecuteUpdate,
                                   ODBCExecuteQuery,
                                   ODBCDisconnect,
                                   ODBCBeginTransaction,
                                   ODBCCommitTransaction,
                                   ODBCRollbackTransaction,
                                   ODBCExecuteUpdateBlob,
                                   ODBCExecuteQueryBlob};
  return provider;
}

void RegisterOdbcProvider() { RegisterDBProvider(OdbcProvider()); }

}  // namespace tessera
