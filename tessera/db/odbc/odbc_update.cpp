// ExecuteUpdate and ExecuteUpdateBlob: statements without a result, the blob one streaming its
// parameter through SQLPutData.
#include <algorithm>
#include <vector>

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

constexpr SQLLEN kPutPiece = 65536;

bool NeedsLengthFirst(SQLHDBC dbc) {
  char answer[8] = {0};
  SQLSMALLINT length = 0;
  if (!odbc::Succeeded(SQLGetInfo(dbc, SQL_NEED_LONG_DATA_LEN, answer, sizeof answer, &length))) return true;
  return answer[0] == 'Y' || answer[0] == 'y';
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
  // Drivers that need the whole length before the first piece (SQLite's does) get the chunks
  // gathered first (copied: a supplier may reuse its buffer); the others get each chunk as the
  // supplier gives it.
  std::vector<BYTE> gathered;
  SQLLEN total = 0;
  if (NeedsLengthFirst(connection->dbc)) {
    const BYTE* chunk = nullptr;
    int32_t length = 0;
    while (supplier(&chunk, &length, context) != kNoMoreChunks) {
      if (length <= 0 || chunk == nullptr) continue;
      gathered.insert(gathered.end(), chunk, chunk + length);
      total += length;
    }
  }
  SQLLEN indicator = SQL_LEN_DATA_AT_EXEC(total);
  if (!odbc::Succeeded(SQLBindParameter(stmt.get(), 1, SQL_PARAM_INPUT, SQL_C_BINARY, SQL_LONGVARBINARY,
                                        static_cast<SQLULEN>(total), 0, reinterpret_cast<SQLPOINTER>(1), 0,
                                        &indicator))) {
    LogError("SQLBindParameter failed\n");
    LogStatementDiagnostic(stmt.get());
    return FALSE;
  }
  SQLRETURN rc = SQLExecute(stmt.get());
  bool supplied = false;
  while (rc == SQL_NEED_DATA) {
    SQLPOINTER token = nullptr;
    rc = SQLParamData(stmt.get(), &token);
    if (rc != SQL_NEED_DATA) break;
    if (supplied) {
      LogError("SQLParamData asks for a second parameter\n");
      return FALSE;
    }
    supplied = true;
    bool ok = true, sent = false;
    auto put = [&](const BYTE* chunk, int32_t length) {
      if (!ok || length <= 0 || chunk == nullptr) return;
      ok = odbc::Succeeded(SQLPutData(stmt.get(), const_cast<BYTE*>(chunk), length));
      sent = true;
    };
    if (total > 0) {
      for (SQLLEN at = 0; at < total; at += kPutPiece)
        put(gathered.data() + at, static_cast<int32_t>(std::min<SQLLEN>(kPutPiece, total - at)));
    } else if (!NeedsLengthFirst(connection->dbc)) {
      const BYTE* chunk = nullptr;
      int32_t length = 0;
      while (ok && supplier(&chunk, &length, context) != kNoMoreChunks) put(chunk, length);
    }
    // An empty value still needs one (empty) piece before the statement can run.
    if (ok && !sent) ok = odbc::Succeeded(SQLPutData(stmt.get(), const_cast<char*>(""), 0));
    if (!ok) {
      LogError("SQLPutData failed\n");
      LogStatementDiagnostic(stmt.get());
      return FALSE;
    }
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
