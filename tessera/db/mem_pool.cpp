#include "tessera/db/mem_pool.h"

#include <cstring>
#include <mutex>

#include "tessera/values/apr_headers.h"

#include "agent/log/log.h"

namespace tessera {
namespace {

std::once_flag g_aprOnce;
bool g_aprReady = false;
std::mutex g_poolGuard;
apr_pool_t* g_processPool = nullptr;

// APR is initialised once and never terminated: pools made by callers that never started the
// store must stay valid until the process ends.
bool EnsureApr() {
  std::call_once(g_aprOnce, [] { g_aprReady = apr_initialize() == APR_SUCCESS; });
  return g_aprReady;
}

}  // namespace

bool InitializeMemPool() {
  LogTrace("@@@ Inside InitializeMemPool @@@\n");
  if (!EnsureApr()) return false;
  std::lock_guard guard(g_poolGuard);
  if (g_processPool == nullptr && apr_pool_create(&g_processPool, nullptr) != APR_SUCCESS) {
    g_processPool = nullptr;
    return false;
  }
  return true;
}

void ReleaseMemPool() {
  LogTrace("@@@ Inside ReleaseMemPool @@@\n");
  std::lock_guard guard(g_poolGuard);
  if (g_processPool != nullptr) apr_pool_destroy(g_processPool);
  g_processPool = nullptr;
}

apr_pool_t* GetProcessMemPool() {
  std::lock_guard guard(g_poolGuard);
  return g_processPool;
}

apr_pool_t* CreateChildMemPool() {
  if (!EnsureApr()) return nullptr;
  std::lock_guard guard(g_poolGuard);
  apr_pool_t* pool = nullptr;
  if (apr_pool_create(&pool, g_processPool) != APR_SUCCESS) return nullptr;
  return pool;
}

void DestroyMemPool(apr_pool_t* pool) {
  if (pool != nullptr) apr_pool_destroy(pool);
}

void* PoolAlloc(apr_pool_t* pool, size_t size) {
  if (pool == nullptr) return nullptr;
  return apr_pcalloc(pool, size == 0 ? 1 : size);
}

char* PoolStrDup(apr_pool_t* pool, const char* text) {
  if (pool == nullptr || text == nullptr) return nullptr;
  return apr_pstrdup(pool, text);
}

char* PoolMemDup(apr_pool_t* pool, const void* bytes, size_t length) {
  if (pool == nullptr || (bytes == nullptr && length > 0)) return nullptr;
  char* copy = static_cast<char*>(apr_palloc(pool, length + 1));
  if (copy == nullptr) return nullptr;
  if (length > 0) std::memcpy(copy, bytes, length);
  copy[length] = '\0';
  return copy;
}

}  // namespace tessera
