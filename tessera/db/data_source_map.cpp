#include "tessera/db/data_source_map.h"

#include <atomic>
#include <mutex>
#include <vector>

#include "agent/log/log.h"
#include "tessera/db/db_provider.h"
#include "tessera/db/text_file_reader.h"
#include "tessera/values/string_utils.h"

namespace tessera {
namespace {

std::mutex g_mapMutex;
std::vector<std::unique_ptr<DataSourceMapEntry>> g_map;
std::atomic<BYTE> g_dsnMapValid{0};
std::atomic<BYTE> g_dialectIndex{0};
const char* const kDialectNames[] = {"MYSQL", "PGSQL", "FIREBIRD", "SQLITE"};

}  // namespace

std::unique_ptr<DataSourceMapEntry> CreateDataSourceMapEntry(const char* tableName, const char* connectionName) {
  if (tableName == nullptr || connectionName == nullptr) return nullptr;
  auto entry = std::make_unique<DataSourceMapEntry>();
  entry->tableName = tableName;
  entry->connectionName = connectionName;
  return entry;
}

bool AddDataSourceMapEntry(std::unique_ptr<DataSourceMapEntry> entry) {
  if (!entry) return false;
  std::lock_guard guard(g_mapMutex);
  g_map.push_back(std::move(entry));
  return true;
}

bool DeleteDataSourceMapEntry(const char* tableName) {
  if (tableName == nullptr) return false;
  std::lock_guard guard(g_mapMutex);
  for (auto it = g_map.begin(); it != g_map.end(); ++it) {
    if (EqualsIgnoreCase((*it)->tableName, tableName)) {
      g_map.erase(it);
      return true;
    }
  }
  return false;
}

bool LoadDataSourceMapEntryFromFile(const char* path) {
  LogTrace("@@@ Inside LoadDataSourceMapEntryFromFile @@@\n");
  FilePtr file = OpenDataFile(path, "dsn_table_map.txt");
  if (!file) {
    LogError("Cannot open DataSourceMap Entry File.\n");
    return false;
  }
  std::string table, connection;
  while (ReadToken(file.get(), table) && ReadToken(file.get(), connection))
    AddDataSourceMapEntry(CreateDataSourceMapEntry(table.c_str(), connection.c_str()));
  return true;
}

const DataSourceMapEntry* GetDataSourceMapEntry(const char* tableName) {
  if (tableName == nullptr) return nullptr;
  std::lock_guard guard(g_mapMutex);
  for (const auto& entry : g_map)
    if (EqualsIgnoreCase(entry->tableName, tableName)) return entry.get();
  return nullptr;
}

void FreeAllDataSourceMapEntries() {
  std::lock_guard guard(g_mapMutex);
  g_map.clear();
}

void SetDSNMapValid(BYTE status, BYTE dialectIndex) {
  LogTrace("@@@ Inside SetDSNMapValid @@@\n");
  if (status == 1) {
    g_dsnMapValid = 1;
  } else if (status == 0) {
    g_dsnMapValid = 0;
    g_dialectIndex = dialectIndex;
    LoadDBProvider(DialectNameAt(dialectIndex));
  } else {
    LogError("\nInvalid Status\n");
  }
}

bool IsDSNMapValid() { return g_dsnMapValid == 1; }
BYTE GetDialectIndex() { return g_dialectIndex; }

const char* DialectNameAt(BYTE index) { return index < 4 ? kDialectNames[index] : nullptr; }

}  // namespace tessera
