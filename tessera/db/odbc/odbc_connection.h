// The ODBC provider's private state of one connection and the helpers its files share.
#pragma once

#include <string>

#include "tessera/db/connection.h"
#include "tessera/db/odbc/odbc_api.h"

namespace tessera::odbc {

// Each connection has its own environment, so closing one never invalidates another.
struct OdbcConnection : ProviderConnection {
  SQLHENV env = SQL_NULL_HENV;
  SQLHDBC dbc = SQL_NULL_HDBC;
};

inline OdbcConnection* ConnectionOf(ConnectionHandle* handle) {
  return handle ? dynamic_cast<OdbcConnection*>(handle->providerData.get()) : nullptr;
}

inline bool Succeeded(SQLRETURN rc) { return rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO; }

// Closes and frees a statement at the end of its scope.
class Statement {
 public:
  explicit Statement(SQLHSTMT stmt = SQL_NULL_HSTMT) : stmt_(stmt) {}
  ~Statement() {
    if (stmt_ != SQL_NULL_HSTMT) {
      SQLFreeStmt(stmt_, SQL_CLOSE);
      SQLFreeHandle(SQL_HANDLE_STMT, stmt_);
    }
  }
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;
  SQLHSTMT* out() { return &stmt_; }
  SQLHSTMT get() const { return stmt_; }

 private:
  SQLHSTMT stmt_;
};

// The first diagnostic record of a handle as "STATE message" (empty when there is none).
std::string FirstDiagnostic(SQLSMALLINT handleType, SQLHANDLE handle);

// The store type code of an ODBC column type.
BYTE StoreTypeOfOdbcType(SQLSMALLINT odbcType);

}  // namespace tessera::odbc
