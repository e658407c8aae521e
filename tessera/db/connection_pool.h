// Connection pools: one per connection-parameters entry, from which each thread takes its own
// ConnectionHandle.
//
//   ConnectionHandle* handle = GetConnectionHandle("maindb");   // this thread's handle
//   ExecuteUpdate(handle, "delete from T where K=1");
//   ReleaseConnectionHandle("maindb");                          // free for other threads
//
// A pool of one handle shares it between all threads under the owner id 1; the provider's
// statement lock keeps their statements apart.
#pragma once

#include <cstdint>

#include "tessera/db/connection.h"

namespace tessera {

// Handles older than this many seconds are re-opened when next asked for.
inline constexpr DWORD kConnectionMaxAgeSeconds = 27900;
inline constexpr int32_t kDefaultHandlesPerPool = 5;

// One pool per entry with one open handle each; false (and the reason logged) when there is no
// entry or a connection cannot be opened.
bool EstablishDBConnections();
// `count` handles per pool (5 when 0); handles that fail are skipped.
bool EstablishDBConnectionsWithCount(int32_t count);
// Opens a connection through the active provider named by the entry; null when none answers.
ConnectionHandlePtr OpenDBConnection(const ConnParams* params);
// The calling thread's handle of the named pool (no name: the only pool), taking a free one
// when the thread holds none; null when there is none to give.
ConnectionHandle* GetConnectionHandle(const char* connectionName);
// Frees the calling thread's handle of the named pool (no name: the first pool).
bool ReleaseConnectionHandle(const char* connectionName);
// Disconnects and frees a handle that is in no pool.
bool CloseConnection(ConnectionHandlePtr handle);
// Disconnects every handle of every pool and frees the pools.
void CloseAllConnectionPools();
// Number of pools / handles in a named pool (-1 when there is no such pool).
int32_t ConnectionPoolCount();
int32_t ConnectionPoolSize(const char* connectionName);

// Seconds since 1970-01-01 UTC, as handles record their opening.
DWORD CurrentEpochSeconds();

}  // namespace tessera
