#include "tessera/db/init_tessera.h"

#include <atomic>

#include "agent/log/log.h"
#include "tessera/db/conn_params.h"
#include "tessera/db/connection_pool.h"
#include "tessera/db/data_source_map.h"
#include "tessera/db/db_dispatch.h"
#include "tessera/db/db_provider.h"
#include "tessera/db/mem_pool.h"
#include "tessera/db/persistence_steps.h"
#include "tessera/db/query_generator.h"
#include "tessera/db/tessera_root.h"
#include "tessera/schema/data_dictionary.h"
#include "tessera/schema/dict_loader.h"
#include "tessera/seqgen/seq_gen_state.h"
#include "tessera/seqgen/sequence_map.h"
#include "tessera/table/table_data.h"
#include "tessera/values/string_utils.h"

namespace tessera {
namespace {

StoreLoadSteps g_steps = PersistenceSteps();
std::atomic<bool> g_createdTables{false};

bool Stop(const char* message) {
  LogError(message);
  return false;
}

bool IsKnownDialect(const std::string& dbType) {
  for (BYTE i = 0; i < 4; ++i)
    if (EqualsIgnoreCase(dbType, DialectNameAt(i))) return true;
  return false;
}

}  // namespace

void SetStoreLoadSteps(const StoreLoadSteps& steps) { g_steps = steps; }
bool TesseraCreatedTables() { return g_createdTables; }

bool InitTessera(const char* rootPath) {
  LogTrace("@@ Inside InitTessera @@\n");
  SetTesseraRoot(rootPath);
  if (!InitLogDefaults() || !OpenLogFileAppend()) return false;
  if (!InitializeMemPool()) return Stop("InitializeMemPool failed.\n");
  if (!InitDBProvider()) LogError("InitDBProvider failed. Already initialized.\n");

  InitDataDictionary();
  FreeQueryGeneratorList();
  RegisterAllQueryGenerators();
  InitSequenceMap();
  SetSequenceRefill(&UpdateSeqGen);
  if (!LoadAllDataDictFiles()) return Stop("LoadAllDataDictFiles failed.\n");
  if (!LoadDataSourceMapEntryFromFile("..\\data\\dsn_table_map.txt"))
    return Stop("LoadDataSourceMapEntryFromFile failed.\n");
  if (!LoadConnParamsEntryFromFile("..\\data\\connparams.txt")) return Stop("LoadConnParamsEntryFromFile failed.\n");
  std::vector<const ConnParams*> entries = AllConnParams();
  if (entries.empty()) return Stop("No entires in data source vector. InitTessera failed.\n");

  // Each table's dialect follows its connection whenever the first entry names a dialect, also
  // for an entry given by a complete connection string (SQLite's embedded default is one):
  // statements of another dialect would fail on its engine.
  if (IsKnownDialect(entries.front()->dbType))
    SetDSNMapValid(1, 0);
  else
    SetDSNMapValid(0, 0);

  if (!EstablishDBConnections()) return Stop("EstablishDBConnections failed.\n");
  g_createdTables = CreateAllTables();
  if (g_steps.sequenceGenerator && !g_steps.sequenceGenerator()) return Stop("SequenceGenerator failed.\n");
  if (g_steps.loadAllTables && !g_steps.loadAllTables())
    LogError(
        "Error in loading tables from loadtablelist.txt.  Please check if there are any entries in your "
        "loadtablelist.txt or load the required tables manually.\n");
  if (g_createdTables && g_steps.saveDefaultData && !g_steps.saveDefaultData())
    return Stop("Cannot save default data.\n");
  LogDebug(
      "\nWelcome to Tessera.  You have successfully initialised the appropriate parameters, loaded the mentioned "
      "files/tables and established connection with the DB.\n");
  return true;
}

void DeInitTessera() {
  LogTrace("Inside DeInitTessera.\n");
  if (g_steps.unloadAllTables)
    g_steps.unloadAllTables();
  else
    FreeAllTableData();
  FreeSequenceMap();
  CloseAllConnectionPools();
  FreeAllConnParams();
  FreeAllDataSourceMapEntries();
  FreeDataDictionary();
  FreeQueryGeneratorList();
  FreeDBProviders();
  SetDSNMapValid(0, 0);
  ReleaseMemPool();
  CloseLogFile();
  FreeLogSettings();
}

}  // namespace tessera
