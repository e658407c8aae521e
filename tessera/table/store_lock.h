// The store lock: the object lock on one process-wide lock object. Criteria parsing, selection
// and deletion by criteria, and the saving of a table hold it, so none of them runs while
// another does. It is not re-entrant: never take it twice on one thread.
#pragma once

#include "agent/log/object_lock.h"

namespace tessera {

// The address the store lock is taken on.
const void* GetStoreLockObject();

class StoreLockGuard {
 public:
  StoreLockGuard() : guard_(GetStoreLockObject()) {}
  StoreLockGuard(const StoreLockGuard&) = delete;
  StoreLockGuard& operator=(const StoreLockGuard&) = delete;

 private:
  hl::ObjectLockGuard guard_;
};

}  // namespace tessera
