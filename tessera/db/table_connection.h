// The connection a table is loaded from and saved to, held for one operation.
//
// In DSN-map mode the table's DataSourceMapEntry names the connection and the dialect is that
// connection's; otherwise the default connection and the configured dialect are used.
#pragma once

#include <string>

#include "tessera/db/connection.h"

namespace tessera {

class TableConnection {
 public:
  // Takes the calling thread's handle; `ok()` is false (nothing held) when the table has no
  // entry in DSN-map mode or no handle can be given.
  explicit TableConnection(const char* tableName);
  ~TableConnection() { Release(); }
  TableConnection(const TableConnection&) = delete;
  TableConnection& operator=(const TableConnection&) = delete;

  bool ok() const { return handle_ != nullptr; }
  ConnectionHandle* handle() const { return handle_; }
  // The dialect name used to convert result rows ("SQLITE", ...); never null when ok().
  const char* dialect() const { return dialect_.c_str(); }
  // Gives the handle back to the pool (also done on destruction).
  void Release();

 private:
  ConnectionHandle* handle_ = nullptr;
  std::string connection_;  // empty: the unnamed default
  std::string dialect_;
};

}  // namespace tessera
