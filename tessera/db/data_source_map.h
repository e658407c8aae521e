// The data-source map: for each table name, the connection that holds it ("dsn_table_map.txt",
// one "table connection" pair per line).
#pragma once

#include <memory>
#include <string>

#include "platform/win32.h"

namespace tessera {

struct DataSourceMapEntry {
  std::string tableName;
  std::string connectionName;
};

std::unique_ptr<DataSourceMapEntry> CreateDataSourceMapEntry(const char* tableName, const char* connectionName);
bool AddDataSourceMapEntry(std::unique_ptr<DataSourceMapEntry> entry);
// Removes the first entry of that table (without regard to case).
bool DeleteDataSourceMapEntry(const char* tableName);
// Opens `path`, else "<root>/data/dsn_table_map.txt"; false with "Cannot open DataSourceMap
// Entry File.\n" when neither opens.
bool LoadDataSourceMapEntryFromFile(const char* path);
// The first entry of that table (without regard to case), or null.
const DataSourceMapEntry* GetDataSourceMapEntry(const char* tableName);
void FreeAllDataSourceMapEntries();

// DSN-map mode: each table's dialect comes from its connection. Status 1 switches it on;
// status 0 switches it off and selects the dialect at `dialectIndex` of "MYSQL", "PGSQL",
// "FIREBIRD", "SQLITE"; any other status logs "\nInvalid Status\n".
void SetDSNMapValid(BYTE status, BYTE dialectIndex);
bool IsDSNMapValid();
BYTE GetDialectIndex();
// The dialect name at an index of the fixed table, or null.
const char* DialectNameAt(BYTE index);

}  // namespace tessera
