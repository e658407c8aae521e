// Bringing the whole store up from its data directory and taking it down again.
//
//   if (!InitTessera("/opt/tessera")) return;   // reads /opt/tessera/data/...
//   ConnectionHandle* db = GetConnectionHandle("maindb");
//   ...
//   DeInitTessera();
#pragma once

namespace tessera {

// The steps that belong to the table loading and sequence layers; each returns true on success.
// The defaults are the store's persistence (persistence_steps.h); a member left null skips
// its step.
struct StoreLoadSteps {
  bool (*sequenceGenerator)() = nullptr;  // primes the identifier batches from the database
  bool (*loadAllTables)() = nullptr;      // loads the tables "loadtablelist.txt" names
  bool (*saveDefaultData)() = nullptr;    // saves "defaultdata.txt" into a fresh database
  void (*unloadAllTables)() = nullptr;    // at shutdown; default: every table is freed
};
void SetStoreLoadSteps(const StoreLoadSteps& steps);

// Log, memory pool, providers, dictionary, data-source map, connection parameters,
// connections, tables on the database, sequences, table loading, default data - in this
// order; false (with the failing step's ERROR line) at the first step that must succeed.
bool InitTessera(const char* rootPath);
// Frees everything InitTessera set up, in reverse, and closes the log.
void DeInitTessera();
// Whether the last InitTessera created the dictionary's tables (a fresh database).
bool TesseraCreatedTables();

}  // namespace tessera
