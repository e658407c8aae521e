// Transactions: autocommit off between begin and commit or rollback.
#include "agent/log/log.h"
#include "tessera/db/odbc/odbc_connection.h"
#include "tessera/db/odbc/odbc_provider.h"

namespace tessera {
namespace {

bool Fail(odbc::OdbcConnection& connection, const char* message) {
  LogError(message);
  SQLCHAR state[6] = {0};
  SQLCHAR text[256] = {0};
  SQLINTEGER native = 0;
  SQLSMALLINT length = 0;
  SQLGetDiagRec(SQL_HANDLE_DBC, connection.dbc, 1, state, &native, text, sizeof text, &length);
  LogError("Error in starting transaction\n");
  LogError("STATE: %s\n", reinterpret_cast<char*>(state));
  LogError("NAT: %ld\n", static_cast<long>(native));
  LogError("MSG: %s\n", reinterpret_cast<char*>(text));
  return false;
}

bool SetAutocommit(odbc::OdbcConnection& connection, SQLULEN mode) {
  return odbc::Succeeded(SQLSetConnectAttr(connection.dbc, SQL_ATTR_AUTOCOMMIT,
                                           reinterpret_cast<SQLPOINTER>(mode), SQL_IS_INTEGER));
}

bool End(ConnectionHandle* handle, SQLSMALLINT completion, const char* failure) {
  odbc::OdbcConnection* connection = odbc::ConnectionOf(handle);
  if (connection == nullptr) return false;
  if (!odbc::Succeeded(SQLEndTran(SQL_HANDLE_DBC, connection->dbc, completion))) {
    Fail(*connection, failure);
    SetAutocommit(*connection, SQL_AUTOCOMMIT_ON);
    return false;
  }
  if (!SetAutocommit(*connection, SQL_AUTOCOMMIT_ON)) return Fail(*connection, "Error in setting SQL_AUTOCOMMIT_ON\n");
  return true;
}

}  // namespace

bool ODBCBeginTransaction(ConnectionHandle* handle) {
  LogTrace("\t@@@@@ ODBCBeginTransaction() @@@@@\n");
  odbc::OdbcConnection* connection = odbc::ConnectionOf(handle);
  if (connection == nullptr) return false;
  if (!SetAutocommit(*connection, SQL_AUTOCOMMIT_OFF)) return Fail(*connection, "Error in setting SQL_AUTOCOMMIT_OFF\n");
  return true;
}

bool ODBCCommitTransaction(ConnectionHandle* handle) {
  LogTrace("\t@@@@@ ODBCCommitTransaction() @@@@@\n");
  return End(handle, SQL_COMMIT, "Error in commiting transaction\n");
}

bool ODBCRollbackTransaction(ConnectionHandle* handle) {
  LogTrace("\t@@@@@ ODBCRollbackTransaction() @@@@@\n");
  return End(handle, SQL_ROLLBACK, "Error in rollbacking transaction\n");
}

}  // namespace tessera
