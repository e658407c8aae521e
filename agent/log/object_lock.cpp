// How: the list of locked addresses is examined and changed while holding the process-wide OS
// mutex, and that handle is only created, used and closed under g_handleGuard, so a shutdown that
// closes the mutex can never leave one thread on the old handle while another makes a fresh one.
// Both are held only for the list operation itself, never while the caller's work runs.
#include "agent/log/object_lock.h"

#include <algorithm>
#include <atomic>
#include <limits>
#include <mutex>
#include <vector>

#include "agent/log/log.h"

namespace {

std::mutex g_handleGuard;
HANDLE g_mutex = nullptr;
std::vector<const void*> g_locked;  // each address at most once, in locking order
std::atomic<LONG> g_waitCounter{0};

HANDLE ListMutexLocked() {
  if (g_mutex == nullptr) g_mutex = CreateMutexA(nullptr, FALSE, nullptr);
  return g_mutex;
}

// Runs `edit` on the list while holding the mutex.
template <class Edit>
auto WithList(Edit edit) {
  std::lock_guard guard(g_handleGuard);
  HANDLE mutex = ListMutexLocked();
  WaitForSingleObject(mutex, INFINITE);
  auto result = edit(g_locked);
  ReleaseMutex(mutex);
  return result;
}

enum class Attempt { Acquired, Busy };

Attempt TryLock(const void* address) {
  return WithList([address](std::vector<const void*>& locked) {
    if (std::find(locked.begin(), locked.end(), address) != locked.end()) return Attempt::Busy;
    locked.push_back(address);
    return Attempt::Acquired;
  });
}

}  // namespace

LONG NextWaitCounter(LONG current) {
  // 10 more; a result of zero (or one past the 32-bit range) restarts at 10.
  if (current > std::numeric_limits<LONG>::max() - 10) return 10;
  LONG next = current + 10;
  return next == 0 ? 10 : next;
}

void InitMutex() {
  LogTrace("\n\t@@@@@ Inside InitMutex() @@@@@\n");
  std::lock_guard guard(g_handleGuard);
  ListMutexLocked();
}

int LockObject(const void* address) {
  while (TryLock(address) == Attempt::Busy) {
    // Shared by every waiter and never reset: early waits only yield, later ones sleep longer.
    LONG current = g_waitCounter.load();
    LONG next = NextWaitCounter(current);
    while (!g_waitCounter.compare_exchange_weak(current, next)) next = NextWaitCounter(current);
    Sleep(static_cast<DWORD>(next) / 1000);
  }
  return 1;
}

int UnlockObject(const void* address) {
  return WithList([address](std::vector<const void*>& locked) {
    auto it = std::find(locked.begin(), locked.end(), address);
    if (it == locked.end()) return 2;
    locked.erase(it);
    return 4;
  });
}

void CloseObjectLockMutex() {
  std::lock_guard guard(g_handleGuard);
  if (g_mutex != nullptr) {
    CloseHandle(g_mutex);
    g_mutex = nullptr;
  }
}

LONG ObjectLockWaitCounter() { return g_waitCounter.load(); }
