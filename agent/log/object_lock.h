// The process-wide object lock: addresses locked over one operating-system mutex.
#pragma once

#include "platform/win32.h"

// Creates the process-wide mutex (once; later calls keep it).
void InitMutex();
// Waits until the caller holds `address`; returns 1.
int LockObject(const void* address);
// 4 when the address was locked and is now free; 2 when it was not locked.
int UnlockObject(const void* address);
// Closes the mutex handle (shutdown).
void CloseObjectLockMutex();
// The shared wait counter (grows by 10 per busy attempt, never reset).
LONG ObjectLockWaitCounter();
// The counter after one more busy attempt: 10 more, restarting at 10 on zero or past the 32-bit range.
LONG NextWaitCounter(LONG current);

namespace hl {
// Holds the object lock on an address for a scope.
class ObjectLockGuard {
 public:
  explicit ObjectLockGuard(const void* address) : address_(address) { LockObject(address_); }
  ~ObjectLockGuard() { UnlockObject(address_); }
  ObjectLockGuard(const ObjectLockGuard&) = delete;
  ObjectLockGuard& operator=(const ObjectLockGuard&) = delete;

 private:
  const void* address_;
};
}  // namespace hl
