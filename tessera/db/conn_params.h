// The connection parameters: one ConnParams per line of "connparams.txt", in file order; the
// first entry is the default connection.
//
// A line holds ten tokens - server port dsn uid pwd (ignored) connectionName providerName
// dbType YES-word - and, when the YES-word is "YES" (any case), the rest of the line after one
// blank is the complete connection string, e.g.
//   localhost 0 tessera NULL NULL x maindb ODBC SQLITE YES Driver=SQLite3;Database=/d/t.db
#pragma once

#include <memory>
#include <vector>

#include "tessera/db/connection.h"

namespace tessera {

// Opens `path`, else "<root>/data/connparams.txt"; false with "Cannot open Connection
// Parameters File.\n" when neither opens. True even for an empty file.
bool LoadConnParamsEntryFromFile(const char* path);
// The entry of that exact connection name, or null.
const ConnParams* GetConnParams(const char* connectionName);
bool AddConnParams(const ConnParams& params);
bool DeleteConnParams(const char* connectionName);
void FreeAllConnParams();
// The entries in file order (for connection set-up).
std::vector<const ConnParams*> AllConnParams();
// The first entry's connection name; null with "Connection Name IS NULL\n" when there is none.
const char* GetDefaultConnectionName();

}  // namespace tessera
