// The records of database connections: connection parameters, open handles, provider tables.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "platform/win32.h"
#include "tessera/db/result_set.h"

namespace tessera {

// One entry of "connparams.txt".
struct ConnParams {
  std::string server;
  WORD port = 0;
  std::string dsn;
  std::string uid;
  std::optional<std::string> pwd;  // the token "NULL" leaves it absent
  std::string connectionName;
  BYTE useConnectionString = 0;
  std::optional<std::string> connectionString;
  std::string providerName;  // e.g. "ODBC"
  std::string dbType;        // "MYSQL", "PGSQL", "FIREBIRD" or "SQLITE"
};

// What a provider keeps per connection (the ODBC provider: its environment and connection).
struct ProviderConnection {
  virtual ~ProviderConnection() = default;
};

inline constexpr int32_t kHandleFree = -1;
inline constexpr int32_t kSharedHandleOwner = 1;  // the one handle of a single-handle pool

struct ConnectionHandle {
  std::unique_ptr<ProviderConnection> providerData;
  std::string connectionName;
  int32_t providerIndex = 0;
  int32_t ownerThread = kHandleFree;
  BYTE inTransaction = 0;
  DWORD openedAt = 0;  // seconds since 1970-01-01 UTC
};
using ConnectionHandlePtr = std::unique_ptr<ConnectionHandle>;

// Blob streaming. A supplier gives one chunk per call and returns kNoMoreChunks when done; a
// consumer gets each chunk of a binary value and then one (null, 0) call.
inline constexpr BYTE kNoMoreChunks = 2;
using ChunkSupplier = BYTE (*)(const BYTE** chunk, int32_t* length, void* context);
using ChunkConsumer = void (*)(const BYTE* chunk, int32_t length, void* context);

struct DBProvider {
  const char* name;
  ConnectionHandlePtr (*connect)(const ConnParams* params);
  BOOL (*executeUpdate)(ConnectionHandle* handle, const char* sql);
  ResultSetPtr (*executeQuery)(ConnectionHandle* handle, const char* sql);
  bool (*disconnect)(ConnectionHandle* handle);
  bool (*beginTransaction)(ConnectionHandle* handle);
  bool (*commitTransaction)(ConnectionHandle* handle);
  bool (*rollbackTransaction)(ConnectionHandle* handle);
  BOOL (*executeUpdateBlob)(ConnectionHandle* handle, const char* sql, ChunkSupplier supplier, void* context);
  ResultSetPtr (*executeQueryBlob)(ConnectionHandle* handle, const char* sql, ChunkConsumer consumer, void* context);
};

}  // namespace tessera
