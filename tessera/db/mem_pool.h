// The process-wide memory pool and the per-owner pools made under it (APR pools).
//
// A select query (and, later, a data object) owns one child pool: every record and text it holds
// is allocated there, and destroying the pool frees them all at once. Objects that need their
// destructor run (Vectors, Values) are placed in the pool with PoolNew, which registers the
// destructor as a pool cleanup.
#pragma once

#include <cstddef>
#include <cstdint>
#include <new>
#include <type_traits>
#include <utility>

#include "tessera/values/apr_headers.h"

namespace tessera {

// Initialises APR once for the process and creates the process-wide pool; true when the pool
// exists afterwards (a second call keeps the first pool).
bool InitializeMemPool();
// Destroys the process-wide pool and every pool made under it (store shutdown: free every select
// query first). Pools created afterwards are top-level pools until InitializeMemPool runs again.
void ReleaseMemPool();
// The process-wide pool, or null before InitializeMemPool / after ReleaseMemPool.
apr_pool_t* GetProcessMemPool();

// A new pool under the process-wide pool (a top-level pool when there is none, so callers that
// never started the store still work); null on failure.
apr_pool_t* CreateChildMemPool();
// Destroys a pool made by CreateChildMemPool (null is ignored).
void DestroyMemPool(apr_pool_t* pool);

// Zero-filled block of `size` bytes from the pool; null for a null pool or on failure.
void* PoolAlloc(apr_pool_t* pool, size_t size);
// Pool copies of a text / of `length` bytes followed by one zero byte; null for null input.
char* PoolStrDup(apr_pool_t* pool, const char* text);
char* PoolMemDup(apr_pool_t* pool, const void* bytes, size_t length);

namespace detail {
template <class T>
apr_status_t RunDestructor(void* object) {
  static_cast<T*>(object)->~T();
  return APR_SUCCESS;
}
}  // namespace detail

// Constructs a T in the pool; its destructor runs when the pool is destroyed. Null on failure.
template <class T, class... A>
T* PoolNew(apr_pool_t* pool, A&&... args) {
  void* block = PoolAlloc(pool, sizeof(T));
  if (block == nullptr) return nullptr;
  static_assert(alignof(T) <= alignof(std::max_align_t), "pool blocks are max_align_t aligned");
  T* object = nullptr;
  try {
    object = new (block) T(std::forward<A>(args)...);
  } catch (...) {
    return nullptr;
  }
  if constexpr (!std::is_trivially_destructible_v<T>) {
    apr_pool_cleanup_register(pool, object, detail::RunDestructor<T>, apr_pool_cleanup_null);
  }
  return object;
}

}  // namespace tessera
