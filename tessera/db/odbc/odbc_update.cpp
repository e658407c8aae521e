// ExecuteUpdate and ExecuteUpdateBlob: statements without a result, the blob one streaming its
// parameter through SQLPutData.
#include "agent/log/log.h"
#include "agent/log/object_lock.h"
#include "tessera/db/odbc/odbc_connection.h"
#include "tessera/db/odbc/odbc_provider.h"

namespace tessera {
namespace {

// SQL_NO_DATA is how ODBC 3 drivers answer a statement that changed no row: still a success.
bool Executed(SQLRETURN rc) { return odbc::Succeeded(rc) || rc == SQL_NO_DATA; }

void LogStatementDiagnostic(SQLHSTMT stmt) {
  std::string diagnostic = odbc::FirstDiagnostic(SQL_HANDLE_STMT, stmt);
  if (!diagnostic.empty()) LogError("ODBC: %s\n", diagnostic);
}

}  // namespace

BOOL ODBCExecuteUpdate(ConnectionHandle* handle, const char* sql) {
  odbc::OdbcConnection* connection = odbc::ConnectionOf(handle);
  if (connection == nullptr || sql == nullptr) return FALSE;
  hl::ObjectLockGuard lock(handle);
  odbc::Statement stmt;
  if (!odbc::Succeeded(SQLAllocStmt(connection->dbc, stmt.out()))) {
    LogError("Allocating Statement Handle failed\n");
    return FALSE;
  }
  if (!odbc::Succeeded(SQLPrepare(stmt.get(), reinterpret_cast<SQLCHAR*>(const_cast<char*>(sql)), SQL_NTS))) {
    LogError("SQLPrepare failed\n");
    LogStatementDiagnostic(stmt.get());
    return FALSE;
  }
  if (!Executed(SQLExecute(stmt.get()))) {
    LogError("SQLExecute failed\n");
    LogStatementDiagnostic(stmt.get());
    return FALSE;
  }
  SQLLEN rows = 0;
  if (!odbc::Succeeded(SQLRowCount(stmt.get(), &rows))) {
    LogError("No Rows Affected \n");
    return FALSE;
  }
  return TRUE;
}

BOOL ODBCExecuteUpdateBlob(ConnectionHandle* handle, const char* sql, ChunkSupplier supplier, void* context) {
  LogTrace("Inside ODBCExecuteUpdateBlob\n");
  odbc::OdbcConnection* connection = odbc::ConnectionOf(handle);
  if (connection == nullptr || sql == nullptr || supplier == nullptr) return FALSE;
  // Statements of one connection never overlap, blob ones included.
  hl::ObjectLockGuard lock(handle);
  odbc::Statement stmt;
  if (!odbc::Succeeded(SQLAllocStmt(connection->dbc, stmt.out()))) {
    LogError("Allocating Statement Handle failed\n");
    return FALSE;
  }
  if (!odbc::Succeeded(SQLPrepare(stmt.get(), reinterpret_cast<SQLCHAR*>(const_cast<char*>(sql)), SQL_NTS))) {
    LogError("SQLPrepare failed\n");
    LogStatementDiagnostic(stmt.get());
    return FALSE;
  }
  SQLLEN indicator = SQL_LEN_DATA_AT_EXEC(0);
  if (!odbc::Succeeded(SQLBindParameter(stmt.get(), 1, SQL_PARAM_INPUT, SQL_C_BINARY, SQL_LONGVARBINARY, 0, 0,
                                        reinterpret_cast<SQLPOINTER>(1), 0, &indicator))) {
    LogError("SQLBindParameter failed\n");
    LogStatementDiagnostic(stmt.get());
    return FALSE;
  }
  SQLRETURN rc = SQLExecute(stmt.get());
  while (rc == SQL_NEED_DATA) {
    SQLPOINTER token = nullptr;
    rc = SQLParamData(stmt.get(), &token);
    if (rc != SQL_NEED_DATA) break;
    const BYTE* chunk = nullptr;
    int32_t length = 0;
    bool sent = false;
    while (supplier(&chunk, &length, context) != kNoMoreChunks) {
      if (length <= 0 || chunk == nullptr) continue;
      if (!odbc::Succeeded(SQLPutData(stmt.get(), const_cast<BYTE*>(chunk), length))) {
        LogError("SQLPutData failed\n");
        LogStatementDiagnostic(stmt.get());
        return FALSE;
      }
      sent = true;
    }
    // An empty value still needs one (empty) piece before the statement can run.
    if (!sent) SQLPutData(stmt.get(), const_cast<char*>(""), 0);
  }
  if (!Executed(rc)) {
    LogError("SQLExecute failed\n");
    LogStatementDiagnostic(stmt.get());
    return FALSE;
  }
  SQLLEN rows = 0;
  if (!odbc::Succeeded(SQLRowCount(stmt.get(), &rows))) {
    LogError("No Rows Affected \n");
    return FALSE;
  }
  return TRUE;
}

}  // namespace tessera
