// How: the pools are a process-wide vector guarded by one mutex. A handle's owner id is the id
// of the thread that took it (1 for the single handle of a one-handle pool, -1 when free); the
// mutex makes taking and releasing atomic, so two threads never take the same free handle.
#include "tessera/db/connection_pool.h"

#include <ctime>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "agent/log/log.h"
#include "tessera/db/conn_params.h"
#include "tessera/db/db_provider.h"

namespace tessera {
namespace {

struct ConnectionPool {
  std::string name;
  std::vector<ConnectionHandlePtr> handles;
};

std::recursive_mutex g_poolMutex;
std::vector<std::unique_ptr<ConnectionPool>> g_pools;

ConnectionPool* FindPool(const char* name, bool firstWhenUnnamed) {
  if (name == nullptr) {
    if (g_pools.empty()) return nullptr;
    if (firstWhenUnnamed || g_pools.size() == 1) return g_pools.front().get();
    return nullptr;
  }
  for (const auto& pool : g_pools)
    if (pool->name == name) return pool.get();
  return nullptr;
}

void Disconnect(ConnectionHandle& handle) {
  if (const DBProvider* provider = GetActiveProvider(handle.providerIndex); provider && handle.providerData)
    provider->disconnect(&handle);
  handle.providerData.reset();
}

int32_t ThreadIdFor(const ConnectionPool& pool) {
  return pool.handles.size() == 1 ? kSharedHandleOwner : static_cast<int32_t>(GetCurrentThreadId());
}

}  // namespace

DWORD CurrentEpochSeconds() { return static_cast<DWORD>(std::time(nullptr)); }

ConnectionHandlePtr OpenDBConnection(const ConnParams* params) {
  LogTrace("## Inside OpenDBConnection ##\n");
  if (params == nullptr) return nullptr;
  int32_t slot = FindActiveProviderSlot(params->providerName.c_str());
  const DBProvider* provider = GetActiveProvider(slot);
  if (provider == nullptr) return nullptr;
  ConnectionHandlePtr handle = provider->connect(params);
  if (!handle) return nullptr;
  handle->providerIndex = slot;
  handle->ownerThread = kHandleFree;
  handle->inTransaction = 0;
  handle->openedAt = CurrentEpochSeconds();
  return handle;
}

bool EstablishDBConnections() {
  std::vector<const ConnParams*> entries = AllConnParams();
  if (entries.empty()) return false;
  for (const ConnParams* params : entries) {
    auto pool = std::make_unique<ConnectionPool>();
    ConnectionHandlePtr handle = OpenDBConnection(params);
    if (!handle) {
      LogError("Cannot establish connection.\n");
      return false;
    }
    pool->handles.push_back(std::move(handle));
    LogDebug(" %s : Connection Established\n", params->connectionName);
    pool->name = params->connectionName;
    std::lock_guard guard(g_poolMutex);
    g_pools.push_back(std::move(pool));
  }
  return true;
}

bool EstablishDBConnectionsWithCount(int32_t count) {
  std::vector<const ConnParams*> entries = AllConnParams();
  if (entries.empty()) {
    LogError("There is no entry in data source vector\n");
    return false;
  }
  if (count <= 0) count = kDefaultHandlesPerPool;
  for (const ConnParams* params : entries) {
    auto pool = std::make_unique<ConnectionPool>();
    for (int32_t i = 0; i < count; ++i) {
      ConnectionHandlePtr handle = OpenDBConnection(params);
      if (!handle) continue;
      pool->handles.push_back(std::move(handle));
      LogDebug(" %d : %s : Connection Established\n", i + 1, params->connectionName);
    }
    pool->name = params->connectionName;
    std::lock_guard guard(g_poolMutex);
    g_pools.push_back(std::move(pool));
  }
  return true;
}

ConnectionHandle* GetConnectionHandle(const char* connectionName) {
  std::lock_guard guard(g_poolMutex);
  if (g_pools.empty()) return nullptr;
  DWORD now = CurrentEpochSeconds();
  ConnectionPool* pool = FindPool(connectionName, /*firstWhenUnnamed=*/false);
  if (pool == nullptr) return nullptr;
  int32_t threadId = ThreadIdFor(*pool);

  size_t index = pool->handles.size();
  for (size_t i = 0; i < pool->handles.size() && index == pool->handles.size(); ++i)
    if (pool->handles[i]->ownerThread == threadId) index = i;
  if (index == pool->handles.size()) {
    for (size_t i = 0; i < pool->handles.size() && index == pool->handles.size(); ++i)
      if (pool->handles[i]->ownerThread == kHandleFree) index = i;
    if (index == pool->handles.size()) return nullptr;
    pool->handles[index]->ownerThread = threadId;
  }
  ConnectionHandle* handle = pool->handles[index].get();
  if (static_cast<DWORD>(now - handle->openedAt) <= kConnectionMaxAgeSeconds) return handle;

  // Too old: replace it by a fresh connection, owned by the same thread.
  const ConnParams* params = GetConnParams(handle->connectionName.c_str());
  if (params == nullptr) {
    LogError("Cannot return connection handle. Error in fetching connection parameters.\n");
    return nullptr;
  }
  ConnectionHandlePtr old = std::move(pool->handles[index]);
  pool->handles.erase(pool->handles.begin() + static_cast<std::ptrdiff_t>(index));
  Disconnect(*old);
  ConnectionHandlePtr fresh = OpenDBConnection(params);
  if (!fresh) {
    LogError("Cannot return connection handle. Error in opening connection while re-establishing connection hanlde.\n");
    return nullptr;
  }
  fresh->ownerThread = threadId;
  ConnectionHandle* raw = fresh.get();
  pool->handles.push_back(std::move(fresh));
  LogDebug(" %s : Connection Established\n", params->connectionName);
  pool->name = params->connectionName;
  return raw;
}

bool ReleaseConnectionHandle(const char* connectionName) {
  std::lock_guard guard(g_poolMutex);
  ConnectionPool* pool = FindPool(connectionName, /*firstWhenUnnamed=*/true);
  if (pool == nullptr) return false;
  int32_t threadId = ThreadIdFor(*pool);
  for (const auto& handle : pool->handles) {
    if (handle->ownerThread == threadId) {
      handle->ownerThread = kHandleFree;
      return true;
    }
  }
  return false;
}

bool CloseConnection(ConnectionHandlePtr handle) {
  if (!handle) return false;
  if (GetActiveProvider(handle->providerIndex) == nullptr) return false;
  Disconnect(*handle);
  return true;
}

void CloseAllConnectionPools() {
  std::lock_guard guard(g_poolMutex);
  for (const auto& pool : g_pools)
    for (const auto& handle : pool->handles) Disconnect(*handle);
  g_pools.clear();
}

int32_t ConnectionPoolCount() {
  std::lock_guard guard(g_poolMutex);
  return static_cast<int32_t>(g_pools.size());
}

int32_t ConnectionPoolSize(const char* connectionName) {
  std::lock_guard guard(g_poolMutex);
  ConnectionPool* pool = FindPool(connectionName, true);
  return pool ? static_cast<int32_t>(pool->handles.size()) : -1;
}

}  // namespace tessera
