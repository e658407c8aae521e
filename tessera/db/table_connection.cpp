#include "tessera/db/table_connection.h"

#include "tessera/db/conn_params.h"
#include "tessera/db/connection_pool.h"
#include "tessera/db/data_source_map.h"

namespace tessera {

TableConnection::TableConnection(const char* tableName) {
  if (IsDSNMapValid()) {
    const DataSourceMapEntry* entry = tableName ? GetDataSourceMapEntry(tableName) : nullptr;
    if (entry == nullptr) return;
    const ConnParams* params = GetConnParams(entry->connectionName.c_str());
    if (params == nullptr) return;
    connection_ = entry->connectionName;
    dialect_ = params->dbType;
    handle_ = GetConnectionHandle(connection_.c_str());
    return;
  }
  const char* dialect = DialectNameAt(GetDialectIndex());
  dialect_ = dialect ? dialect : "";
  handle_ = GetConnectionHandle(nullptr);
  if (handle_ == nullptr) {
    // Several pools: the unnamed request finds none, the first entry is the default.
    if (const char* name = GetDefaultConnectionName()) {
      connection_ = name;
      handle_ = GetConnectionHandle(name);
    }
  }
}

void TableConnection::Release() {
  if (handle_ == nullptr) return;
  ReleaseConnectionHandle(connection_.empty() ? nullptr : connection_.c_str());
  handle_ = nullptr;
}

}  // namespace tessera
