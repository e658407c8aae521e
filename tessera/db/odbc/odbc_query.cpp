// ExecuteQuery and ExecuteQueryBlob: results read into a ResultSet.
//
// How: every column is read with SQLGetData in pieces until the driver has given all of it, so
// no value is cut at the column size the driver reports (a bound buffer of that size would cut
// longer texts silently). Binary columns are read as bytes; for ExecuteQueryBlob they go to the
// consumer in pieces of at most 1024 bytes instead and stay absent in the result.
#include <cstdio>

#include "agent/log/log.h"
#include "agent/log/object_lock.h"
#include "tessera/db/odbc/odbc_connection.h"
#include "tessera/db/odbc/odbc_provider.h"
#include "tessera/values/crv_datetime.h"
#include "tessera/values/sql_data_type.h"
#include "tessera/values/value_convert.h"

namespace tessera {
namespace {

constexpr SQLLEN kBlobChunk = 1024;

struct ColumnInfo {
  SQLSMALLINT odbcType = 0;
  BYTE storeType = 0;
  bool binary() const {
    return odbcType == SQL_BINARY || odbcType == SQL_VARBINARY || odbcType == SQL_LONGVARBINARY;
  }
};

enum class Read { Value, Null, Failed };

// The whole value of a column; `binary` reads bytes, otherwise text.
Read ReadWhole(SQLHSTMT stmt, SQLUSMALLINT column, bool binary, std::string& out) {
  out.clear();
  char buffer[4096];
  const SQLSMALLINT cType = binary ? SQL_C_BINARY : SQL_C_CHAR;
  const SQLLEN room = binary ? static_cast<SQLLEN>(sizeof buffer) : static_cast<SQLLEN>(sizeof buffer) - 1;
  for (;;) {
    SQLLEN indicator = 0;
    SQLRETURN rc = SQLGetData(stmt, column, cType, buffer, sizeof buffer, &indicator);
    if (rc == SQL_NO_DATA) return Read::Value;
    if (!odbc::Succeeded(rc)) return Read::Failed;
    if (indicator == SQL_NULL_DATA) return Read::Null;
    SQLLEN piece = (indicator == SQL_NO_TOTAL || indicator > room) ? room : indicator;
    out.append(buffer, static_cast<size_t>(piece));
    if (rc == SQL_SUCCESS) return Read::Value;
  }
}

void StreamBlob(SQLHSTMT stmt, SQLUSMALLINT column, ChunkConsumer consumer, void* context) {
  BYTE buffer[kBlobChunk];
  for (;;) {
    SQLLEN indicator = 0;
    SQLRETURN rc = SQLGetData(stmt, column, SQL_C_BINARY, buffer, kBlobChunk, &indicator);
    if (!odbc::Succeeded(rc) || indicator == SQL_NULL_DATA) break;
    SQLLEN piece = (indicator == SQL_NO_TOTAL || indicator > kBlobChunk) ? kBlobChunk : indicator;
    if (piece > 0) consumer(buffer, static_cast<int32_t>(piece), context);
    if (rc == SQL_SUCCESS) break;
  }
  consumer(nullptr, 0, context);
}

// The in-memory form of one fetched text; false when it cannot be converted.
bool ConvertFetched(const std::string& text, BYTE type, Value& value) {
  if (type == 19) {
    const char* word = text == "1" ? "TRUE" : "FALSE";
    int32_t length = static_cast<int32_t>(std::char_traits<char>::length(word));
    value = ConvertStringToValue(word, length, type);
    return !value.IsNull();
  }
  if (IsDateTimeType(type)) {
    int a = 0, b = 0, c = 0, d = 0, e = 0, f = 0;
    CrvDateTime dateTime;
    if (type == 16 && std::sscanf(text.c_str(), "%d-%d-%d", &a, &b, &c) == 3) {
      dateTime.date = CreateCrvDate(a, b, c);
    } else if (type == 17 && std::sscanf(text.c_str(), "%d:%d:%d", &a, &b, &c) == 3) {
      dateTime.time = CreateCrvTime(a, b, c);
    } else if (type == 18 && std::sscanf(text.c_str(), "%d-%d-%d %d:%d:%d", &a, &b, &c, &d, &e, &f) == 6) {
      dateTime.date = CreateCrvDate(a, b, c);
      dateTime.time = CreateCrvTime(d, e, f);
    } else {
      return false;
    }
    value = Value::FromDateTime(dateTime, kDateTimeValueLength);
    return true;
  }
  if (type == 0 || IsRawBytesType(type)) {
    value = Value::FromBytes(text.data(), static_cast<int32_t>(text.size()));
    return true;
  }
  int32_t length = static_cast<int32_t>(text.size());
  value = ConvertStringToValue(text.c_str(), length, type);
  return !value.IsNull() || text.empty();
}

// Describes the columns, fetches every row and builds the result; `consumer` set: binary
// columns are streamed to it.
ResultSetPtr FetchAll(SQLHSTMT stmt, ChunkConsumer consumer, void* context) {
  SQLLEN rows = 0;
  if (!odbc::Succeeded(SQLRowCount(stmt, &rows))) {
    LogError("No Rows Affected\n");
    return nullptr;
  }
  SQLSMALLINT count = 0;
  if (!odbc::Succeeded(SQLNumResultCols(stmt, &count))) {
    LogError("SQLNumResultCols Failed\n");
    return nullptr;
  }
  std::vector<ResultColumn> columns;
  std::vector<ColumnInfo> info;
  for (SQLUSMALLINT i = 1; i <= static_cast<SQLUSMALLINT>(count); ++i) {
    SQLCHAR name[99] = {0};
    SQLSMALLINT nameLength = 0, type = 0, digits = 0, nullable = 0;
    SQLULEN size = 0;
    if (!odbc::Succeeded(SQLDescribeCol(stmt, i, name, sizeof name, &nameLength, &type, &size, &digits, &nullable))) {
      LogError("SQLDescribeCol failed\n");
      return nullptr;
    }
    info.push_back({type, odbc::StoreTypeOfOdbcType(type)});
    columns.push_back({reinterpret_cast<char*>(name), info.back().storeType});
  }
  std::vector<std::vector<Value>> fetched;
  std::string text;
  for (;;) {
    SQLRETURN rc = SQLFetch(stmt);
    if (rc == SQL_NO_DATA) break;
    if (!odbc::Succeeded(rc)) {
      LogError("SQLFetch failed\n");
      return nullptr;
    }
    std::vector<Value> row(info.size());
    for (size_t c = 0; c < info.size(); ++c) {
      auto column = static_cast<SQLUSMALLINT>(c + 1);
      if (consumer != nullptr && info[c].storeType == 20) {
        StreamBlob(stmt, column, consumer, context);
        continue;
      }
      Read read = ReadWhole(stmt, column, info[c].binary(), text);
      if (read == Read::Failed) {
        LogError("SQLGetData failed\n");
        return nullptr;
      }
      if (read == Read::Null) continue;
      if (!ConvertFetched(text, info[c].storeType, row[c])) {
        LogError("Cannot convert the value of column %s\n", columns[c].name);
        return nullptr;
      }
    }
    fetched.push_back(std::move(row));
  }
  SQLCloseCursor(stmt);
  return CreateResultSet(std::move(fetched), std::move(columns));
}

}  // namespace

ResultSetPtr ODBCExecuteQuery(ConnectionHandle* handle, const char* sql) {
  LogTrace("Inside ODBCExecuteQuery\n");
  odbc::OdbcConnection* connection = odbc::ConnectionOf(handle);
  if (connection == nullptr || sql == nullptr) return nullptr;
  hl::ObjectLockGuard lock(handle);
  odbc::Statement stmt;
  if (!odbc::Succeeded(SQLAllocStmt(connection->dbc, stmt.out()))) {
    LogError("Allocating Statement Handle failed\n");
    return nullptr;
  }
  if (!odbc::Succeeded(SQLExecDirect(stmt.get(), reinterpret_cast<SQLCHAR*>(const_cast<char*>(sql)), SQL_NTS))) {
    LogError("SQLExecDirect failed\n");
    std::string diagnostic = odbc::FirstDiagnostic(SQL_HANDLE_STMT, stmt.get());
    if (!diagnostic.empty()) LogError("ODBC: %s\n", diagnostic);
    return nullptr;
  }
  return FetchAll(stmt.get(), nullptr, nullptr);
}

ResultSetPtr ODBCExecuteQueryBlob(ConnectionHandle* handle, const char* sql, ChunkConsumer consumer, void* context) {
  LogTrace("Inside ODBCExecuteQueryBlob\n");
  odbc::OdbcConnection* connection = odbc::ConnectionOf(handle);
  if (connection == nullptr || sql == nullptr || consumer == nullptr) return nullptr;
  hl::ObjectLockGuard lock(handle);
  odbc::Statement stmt;
  if (!odbc::Succeeded(SQLAllocStmt(connection->dbc, stmt.out()))) {
    LogError("Allocating Statement Handle failed\n");
    return nullptr;
  }
  if (!odbc::Succeeded(SQLPrepare(stmt.get(), reinterpret_cast<SQLCHAR*>(const_cast<char*>(sql)), SQL_NTS))) {
    LogError("SQLPrepare failed\n");
    return nullptr;
  }
  if (!odbc::Succeeded(SQLExecute(stmt.get()))) {
    LogError("SQLExecute failed\n");
    return nullptr;
  }
  return FetchAll(stmt.get(), consumer, context);
}

}  // namespace tessera
